#include "report_child_statements.h"

#include "ddd/ddd_repository_values.h"
#include "storage/sql_connection.h"
#include "sync/merge_statements.h"
#include "sync/merge_tables.h"

using namespace Qt::StringLiterals;
using tessaron::storage::quoteIdentifier;

namespace tessaron::sync {

namespace {

// The temporary tables of one child table's merge: the incoming rows that go to reports the local file held, as the
// local table would store them, with the round of their report and their incoming order; and the rows (compared
// columns) of which some such report may hold more copies than the local one.
const QString keptRowsTable = u"temp.tessaron_kept_rows"_s;
const QString candidatesTable = u"temp.tessaron_candidates"_s;

// The statements of the candidates: compared are the quoted columns rows are compared in, the report id first;
// copied those of the local table that a row is inserted with; rows the kept and local rows; insert the insert of
// the local table's columns up to its SELECT list. A candidate that the local report lacks and one incoming report
// holds (whole) takes every kept copy as it is; only the others are numbered.
void addCandidateStatements(ChildRowStatements *statements, const QString &insert, const QStringList &compared,
    const QString &copied, const QString &rows)
{
    const QString partition = compared.join(u", "_s);
    QStringList sameRow;
    for (const QString &column : compared)
        sameRow.append(u"c.%1 IS u.%1"_s.arg(column));
    const QString dropCandidates = u"DROP TABLE IF EXISTS "_s + candidatesTable;
    const QString indexCandidates
        = u"CREATE INDEX temp.tessaron_candidates_row ON tessaron_candidates (%1)"_s.arg(partition);
    statements->makeCandidates = {dropCandidates,
        u"CREATE TABLE %1 AS SELECT %2, sum(tessaron_round < 0) = 0 AS tessaron_whole FROM %3 GROUP BY %2 "
        "HAVING sum(tessaron_round >= 0) > sum(tessaron_round < 0)"_s.arg(candidatesTable, partition, rows),
        indexCandidates};
    statements->makeCandidatesOfRounds = {dropCandidates,
        u"CREATE TABLE %1 AS SELECT %2, max(CASE WHEN tessaron_round < 0 THEN tessaron_count END) IS NULL "
        "AND count(CASE WHEN tessaron_round >= 0 THEN 1 END) = 1 AS tessaron_whole "
        "FROM (SELECT %2, tessaron_round, count(*) AS tessaron_count FROM %3 GROUP BY %2, tessaron_round) GROUP BY %2 "
        "HAVING max(CASE WHEN tessaron_round >= 0 THEN tessaron_count END) "
        "> coalesce(max(CASE WHEN tessaron_round < 0 THEN tessaron_count END), 0)"_s.arg(
            candidatesTable, partition, rows),
        indexCandidates};
    statements->findCandidates = u"SELECT min(tessaron_whole) FROM "_s + candidatesTable;
    const QString candidate = u"EXISTS (SELECT 1 FROM %1 AS c WHERE %2 AND %3c.tessaron_whole)"_s;
    const QString selected = copied + u", tessaron_round, tessaron_order"_s;
    statements->copyWhole = insert + copied
        + u" FROM %1 AS u WHERE %2 ORDER BY tessaron_round, tessaron_order"_s.arg(
            keptRowsTable, candidate.arg(candidatesTable, sameRow.join(u" AND "_s), QString()));
    statements->copyMissing = insert + copied
        + u" FROM (SELECT %1 FROM %2 AS u WHERE %3 UNION ALL "
          "SELECT %1 FROM (SELECT *, max(tessaron_count) OVER (PARTITION BY %4 ORDER BY tessaron_round "
          "RANGE BETWEEN UNBOUNDED PRECEDING AND 1 PRECEDING) AS tessaron_before "
          "FROM (SELECT *, row_number() OVER copies AS tessaron_copy, "
          "count(*) OVER (copies ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING) AS tessaron_count "
          "FROM %5 AS u WHERE %6 WINDOW copies AS (PARTITION BY %4, tessaron_round ORDER BY tessaron_order))) "
          "WHERE tessaron_round >= 0 AND tessaron_copy > coalesce(tessaron_before, 0)) "
          "ORDER BY tessaron_round, tessaron_order"_s.arg(selected, keptRowsTable,
              candidate.arg(candidatesTable, sameRow.join(u" AND "_s), QString()), partition, rows,
              candidate.arg(candidatesTable, sameRow.join(u" AND "_s), u"NOT "_s));
}

} // namespace

const int cardReportType = ddd::storedReportType(ddd::DddFileType::DriverCard);
const int unitReportType = ddd::storedReportType(ddd::DddFileType::Tachograph);
const QString reportLinksTable = u"temp.tessaron_report_links"_s;

QList<ChildTable> reportChildTables(const QSqlDatabase &source, const QList<TableInfo> &localTables)
{
    QList<ChildTable> children;
    for (const TableInfo &incoming : tables(source, u"driver_cards.db"_s)) {
        const TableInfo local = findTable(localTables, incoming.name);
        if (!local.exists() || incoming.name.compare(u"DriverCardReports"_s, Qt::CaseInsensitive) == 0
            || incoming.name.compare(u"TachographReports"_s, Qt::CaseInsensitive) == 0)
            continue;
        const int typeField = indexOfName(incoming.columns, u"ReportType"_s);
        if (indexOfName(incoming.columns, reportIdColumnName) < 0 || indexOfName(local.columns, reportIdColumnName) < 0)
            children.append({incoming, local, {}});
        else if (!incoming.name.startsWith(u"Ddd"_s, Qt::CaseInsensitive))
            children.append({incoming, local,
                QString::number(
                    incoming.name.startsWith(u"Tacho"_s, Qt::CaseInsensitive) ? unitReportType : cardReportType)});
        else if (typeField >= 0) // the generic tables say in ReportType which header a row hangs on
            children.append({incoming, local,
                u"(CASE WHEN CAST(s.%1 AS INTEGER) = %2 THEN %2 ELSE %3 END)"_s.arg(
                    quoteIdentifier(incoming.columns.at(typeField)), QString::number(unitReportType),
                    QString::number(cardReportType))});
    }
    return children;
}

ChildRowStatements childRowStatements(const ChildTable &table)
{
    const QStringList columns = insertColumnsFor(commonColumns(table.incoming, table.local), table.local);
    if (columns.isEmpty())
        return {};
    const QString reportColumn
        = quoteIdentifier(table.incoming.columns.at(indexOfName(table.incoming.columns, reportIdColumnName)));
    const QString localReport
        = quoteIdentifier(table.local.columns.at(indexOfName(table.local.columns, reportIdColumnName)));
    QStringList fresh;
    QStringList localRows;
    QStringList compared;
    for (const QString &column : columns) {
        const bool isReport = column.compare(reportIdColumnName, Qt::CaseInsensitive) == 0;
        const QString quoted = quoteIdentifier(column);
        fresh.append(isReport ? u"l.NewId"_s : u"s."_s + quoted);
        localRows.append(u"t.%1 AS %1"_s.arg(quoted));
        if (isReport)
            compared.prepend(quoted);
        else if (!isGeneratedColumn(column))
            compared.append(quoted);
    }
    const QString source = quoteIdentifier(incomingSchema) + u'.' + quoteIdentifier(table.incoming.name);
    const QString target = u"main."_s + quoteIdentifier(table.local.name);
    const QString insert = u"INSERT %1 INTO %2 (%3) SELECT "_s.arg(
        table.local.isSingleKeyed() ? QString() : u"OR IGNORE"_s, target, quotedList(columns));
    const QString incomingOrder
        = table.incoming.isSingleKeyed() ? u"s."_s + quoteIdentifier(table.incoming.keyColumn()) : u"NULL"_s;
    // The incoming table is the outer loop (CROSS JOIN keeps it there): each row finds its link by the links' key.
    const QString linked = u"FROM %1 AS s CROSS JOIN %2 AS l WHERE l.Kind = %3 AND l.OldId = s.%4"_s.arg(
        source, reportLinksTable, table.reportType, reportColumn);
    ChildRowStatements statements;
    statements.copyFresh = insert + fresh.join(u", "_s) + u' ' + linked + u" AND l.Fresh ORDER BY "_s + incomingOrder;
    fresh.prepend(incomingOrder);
    fresh.prepend(u"l.Round"_s);
    statements.makeKeptRows = {u"DROP TABLE IF EXISTS "_s + keptRowsTable,
        u"CREATE TABLE %1 AS SELECT 0 AS tessaron_round, 0 AS tessaron_order, %2 FROM %3 AS t WHERE 0"_s.arg(
            keptRowsTable, localRows.join(u", "_s), target)};
    statements.fillKeptRows
        = u"INSERT INTO %1 SELECT %2 %3 AND NOT l.Fresh"_s.arg(keptRowsTable, fresh.join(u", "_s), linked);
    // The kept rows and the local rows of the reports they go to (round -1).
    const QString rows = u"(SELECT -1 AS tessaron_round, NULL AS tessaron_order, %1 FROM %2 AS t WHERE t.%3 IN "
                         "(SELECT NewId FROM %4 WHERE NOT Fresh) UNION ALL SELECT * FROM %5)"_s.arg(
                             localRows.join(u", "_s), target, localReport, reportLinksTable, keptRowsTable);
    addCandidateStatements(&statements, insert, compared, quotedList(columns), rows);
    return statements;
}

} // namespace tessaron::sync
