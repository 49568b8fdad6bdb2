#include "report_merge.h"

#include "storage/sql_connection.h"
#include "sync/merge_statements.h"
#include "sync/merge_tables.h"
#include "sync/report_child_statements.h"
#include "sync/report_matching.h"
#include "sync/table_pass.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;
using tessaron::storage::quoteIdentifier;

namespace tessaron::sync {

bool writeReportLinks(const QSqlDatabase &target, const QList<ReportLink> &links, LinkSummary *summary, QString *error)
{
    const QString linksFailure = u"Не удалось сопоставить отчёты пакета с отчётами базы"_s;
    QSqlQuery query(target);
    const QStringList statements {u"DROP TABLE IF EXISTS "_s + reportLinksTable,
        u"CREATE TABLE "_s + reportLinksTable
            + u" (Kind INTEGER NOT NULL, OldId INTEGER NOT NULL, NewId INTEGER NOT NULL, Fresh INTEGER NOT NULL, "
              "Round INTEGER NOT NULL, PRIMARY KEY (Kind, OldId))"_s};
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            *error = storage::shownSqlFailure(linksFailure, query.lastError(), u"sync"_s);
            return false;
        }
    }
    if (!query.prepare(u"INSERT INTO %1 VALUES (?, ?, ?, ?, ?)"_s.arg(reportLinksTable))) {
        *error = storage::shownSqlFailure(linksFailure, query.lastError(), u"sync"_s);
        return false;
    }
    for (const ReportLink &link : links) {
        bindAll(query, {link.reportType, link.incomingId, link.localId, link.fresh ? 1 : 0, link.round});
        if (!query.exec()) {
            *error = storage::shownSqlFailure(linksFailure, query.lastError(), u"sync"_s);
            return false;
        }
        summary->hasFresh = summary->hasFresh || link.fresh;
        summary->hasKept = summary->hasKept || !link.fresh;
        summary->hasRounds = summary->hasRounds || link.round > 0;
    }
    return true;
}

void appendLinks(QList<ReportLink> *links, int reportType, const QHash<qint64, qint64> &ids, const QSet<qint64> &fresh)
{
    QList<qint64> incoming = ids.keys();
    std::sort(incoming.begin(), incoming.end());
    QHash<qint64, int> taken;
    for (const qint64 incomingId : std::as_const(incoming)) {
        const qint64 localId = ids.value(incomingId);
        const int round = taken.value(localId);
        taken.insert(localId, round + 1);
        links->append({reportType, incomingId, localId, round == 0 && fresh.contains(localId), round});
    }
}

bool mergeReportChildren(
    const QSqlDatabase &target, const ChildTable &table, const LinkSummary &links, int *added, QString *error)
{
    const ChildRowStatements statements = childRowStatements(table);
    if (statements.copyFresh.isEmpty())
        return true;
    QSqlQuery query(target);
    // Runs one statement; a counted one adds the rows it wrote.
    const auto run = [&](const QString &statement, bool counted) {
        if (!query.exec(statement)) {
            *error = storage::shownSqlFailure(
                u"Не удалось перенести строки таблицы %1 из базы пакета"_s.arg(table.local.name), query.lastError(),
                u"sync"_s);
            return false;
        }
        if (counted)
            *added += std::max(0, query.numRowsAffected());
        return true;
    };
    if (links.hasFresh && !run(statements.copyFresh, true))
        return false;
    if (!links.hasKept)
        return true;
    for (const QString &statement : statements.makeKeptRows + QStringList {statements.fillKeptRows}
            + (links.hasRounds ? statements.makeCandidatesOfRounds : statements.makeCandidates)) {
        if (!run(statement, false))
            return false;
    }
    if (!run(statements.findCandidates, false))
        return false;
    // The aggregate's one row: null without candidates.
    const QVariant allWhole = query.next() ? query.value(0) : QVariant();
    query.finish();
    if (allWhole.isNull())
        return true;
    return run(allWhole.toBool() ? statements.copyWhole : statements.copyMissing, true);
}

void ensureReportIndexes(const QSqlDatabase &target, const QList<TableInfo> &localTables)
{
    static const struct
    {
        QString table;
        QStringList columns;
    } indexes[] = {
        {u"Events"_s, {u"ReportId"_s, u"EventBeginTime"_s}},
        {u"Faults"_s, {u"ReportId"_s, u"FaultBeginTime"_s}},
        {u"Vehicles"_s, {u"ReportId"_s, u"VehicleFirstUsed"_s}},
        {u"ActivityChanges"_s, {u"ReportId"_s, u"ActivityDailyPresenceCounter1"_s, u"Time"_s}},
        {u"DriverActivities"_s, {u"ReportId"_s, u"ActivityRecordDate"_s}},
        {u"Places"_s, {u"ReportId"_s, u"EntryTime"_s}},
        {u"TachoEvents"_s, {u"ReportId"_s, u"EventBeginTime"_s}},
        {u"TachoFaults"_s, {u"ReportId"_s, u"FaultBeginTime"_s}},
        {u"TachoOverSpeedingEvents"_s, {u"ReportId"_s, u"EventBeginTime"_s}},
        {u"TachoCalibrationData"_s, {u"ReportId"_s}},
        {u"TachoDayInformation"_s, {u"ReportId"_s, u"DayNo"_s}},
        {u"TachoCardIWData"_s, {u"ReportId"_s, u"CardInsertionDate"_s}},
        {u"TachoActivityDaily"_s, {u"ReportId"_s, u"DayNo"_s, u"TimeOfChange"_s}},
        {u"TachoPlaceDailyWorkPeriod"_s, {u"ReportId"_s, u"DayNo"_s, u"EntryTime"_s}},
        {u"TachoSpecificConditionData"_s, {u"ReportId"_s, u"DayNo"_s, u"EntryTime"_s}},
        {u"TachoDetailedSpeedData"_s, {u"ReportId"_s, u"SpeedBlockBeginDate"_s}},
        {u"TachoVUIdentification"_s, {u"ReportId"_s, u"Description"_s}},
        {u"TachoSensorPaired"_s, {u"ReportId"_s, u"Description"_s}},
    };
    for (const auto &index : indexes) {
        const TableInfo local = findTable(localTables, index.table);
        bool complete = local.exists();
        for (const QString &column : index.columns)
            complete = complete && indexOfName(local.columns, column) >= 0;
        if (!complete)
            continue;
        // A failure only leaves the merge slower: the probes find the same rows without the index.
        QSqlQuery query(target);
        query.exec(u"CREATE INDEX IF NOT EXISTS main.%1 ON %2 (%3)"_s.arg(
            quoteIdentifier(u"idx_merge_"_s + index.table), quoteIdentifier(local.name), quotedList(index.columns)));
    }
}

QHash<qint64, qint64> mergeReportParents(const QSqlDatabase &source, const QSqlDatabase &target, const QString &table,
    int *added, QString *error, QSet<qint64> *inserted)
{
    const TableInfo incoming = tableInfo(source, table);
    const TableInfo local = tableInfo(target, table);
    if (!incoming.exists() || !local.exists() || !incoming.isSingleKeyed() || !local.isSingleKeyed())
        return {};
    const int reportType
        = table.compare(u"TachographReports"_s, Qt::CaseInsensitive) == 0 ? unitReportType : cardReportType;
    const QHash<qint64, ReportIdentity> incomingIdentities = reportIdentities(source, incoming, reportType);
    ReportIndex index;
    const QHash<qint64, ReportIdentity> localIdentities = reportIdentities(target, local, reportType);
    for (auto it = localIdentities.cbegin(); it != localIdentities.cend(); ++it)
        index.add(it.key(), it.value());

    TablePass pass(target, incoming, local, insertColumnsFor(commonColumns(incoming, local), local), false);
    QStringList comparedColumns;
    QList<int> compared;
    for (qsizetype i = 0; i < pass.columns().size(); ++i) {
        if (!isGeneratedColumn(pass.columns().at(i))) {
            comparedColumns.append(pass.columns().at(i));
            compared.append(int(i));
        }
    }
    UnidentifiedReports unidentified(target);
    if (!unidentified.make(local, comparedColumns, index, error))
        return {};
    QSqlQuery rows(source);
    if (!readTable(rows, incoming.name, error))
        return {};
    const int keyField = indexOfName(incoming.columns, incoming.keyColumn());
    QHash<qint64, qint64> ids;
    QSet<QString> fingerprints;
    while (rows.next()) {
        const qint64 oldId = rows.value(keyField).toLongLong();
        const QList<QVariant> values = pass.values(rows);
        const ReportIdentity identity = incomingIdentities.value(oldId);
        // The same download saved again holds the same rows: its first report brings them.
        if (!identity.fingerprint.isEmpty()) {
            if (fingerprints.contains(identity.fingerprint))
                continue;
            fingerprints.insert(identity.fingerprint);
        }
        QList<QVariant> comparedValues;
        for (const int column : std::as_const(compared))
            comparedValues.append(values.at(column));
        qint64 localId = identity.isEmpty() ? unidentified.find(comparedValues) : index.find(identity);
        if (localId == 0) {
            if (pass.columns().isEmpty() || pass.insert(values, &localId, error) < 0
                || (identity.isEmpty() && !unidentified.add(localId, error)))
                return {};
            ++*added;
            index.add(localId, identity);
            if (inserted)
                inserted->insert(localId);
        }
        ids.insert(oldId, localId);
    }
    return ids;
}

bool mergeDriverCards(const QSqlDatabase &source, const QSqlDatabase &target, int *added, QString *error)
{
    QString failure;
    QSet<qint64> freshCards;
    QSet<qint64> freshUnits;
    const QHash<qint64, qint64> cardIds
        = mergeReportParents(source, target, u"DriverCardReports"_s, added, &failure, &freshCards);
    if (!failure.isEmpty()) {
        *error = failure;
        return false;
    }
    const QHash<qint64, qint64> tachographIds
        = mergeReportParents(source, target, u"TachographReports"_s, added, &failure, &freshUnits);
    if (!failure.isEmpty()) {
        *error = failure;
        return false;
    }
    QList<ReportLink> links;
    appendLinks(&links, cardReportType, cardIds, freshCards);
    appendLinks(&links, unitReportType, tachographIds, freshUnits);
    LinkSummary summary;
    if (!writeReportLinks(target, links, &summary, error))
        return false;
    const QList<TableInfo> localTables = tables(target);
    ensureReportIndexes(target, localTables);
    for (const ChildTable &child : reportChildTables(source, localTables)) {
        const bool merged = child.reportType.isEmpty()
            ? mergeSimpleTable(source, target, child.incoming, child.local, nullptr, added, error)
            : mergeReportChildren(target, child, summary, added, error);
        if (!merged)
            return false;
    }
    return true;
}

void prepareDriverCardReads(const QSqlDatabase &source, const QSqlDatabase &target, MergeReads *reads)
{
    const bool hasMeta = tableInfo(source, u"DddReportMeta"_s).exists();
    for (const QString &header : {u"DriverCardReports"_s, u"TachographReports"_s}) {
        const TableInfo incoming = tableInfo(source, header);
        if (incoming.exists()
            && (!reads->prepare(source, selectAll(incoming.name), header)
                || (hasMeta && incoming.isSingleKeyed()
                    && !reads->prepare(source, identitiesSelect(incoming), header))))
            return;
    }
    // The child rows are read through the links and the kept rows, made here empty in temporary tables.
    LinkSummary links;
    QString failure;
    if (!writeReportLinks(target, {}, &links, &failure))
        return reads->failed(failure);
    for (const ChildTable &child : reportChildTables(source, tables(target))) {
        if (child.reportType.isEmpty()) {
            if (!reads->prepare(source, selectAll(child.incoming.name), child.local.name))
                return;
            continue;
        }
        const ChildRowStatements statements = childRowStatements(child);
        if (statements.copyFresh.isEmpty())
            continue;
        QSqlQuery make(target);
        for (const QString &statement : statements.makeKeptRows) {
            if (!make.exec(statement))
                return reads->failed(make.lastError().text());
        }
        if (!reads->prepare(target, statements.copyFresh, child.local.name)
            || !reads->prepare(target, statements.fillKeptRows, child.local.name))
            return;
    }
}

} // namespace tessaron::sync
