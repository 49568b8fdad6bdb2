#include "database_merge.h"

#include "ddd/ddd_repository_values.h"
#include "logging/shown_failure.h"
#include "storage/sql_connection.h"
#include "storage/transaction_guard.h"
#include "sync/package_database_check.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <algorithm>

using namespace Qt::StringLiterals;
using tessaron::storage::quoteIdentifier;

namespace tessaron::sync {

namespace {

const QString reportIdColumnName = u"ReportId"_s;

int indexOfName(const QStringList &names, const QString &name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

TableInfo findTable(const QList<TableInfo> &list, const QString &table)
{
    for (const TableInfo &info : list) {
        if (info.name.compare(table, Qt::CaseInsensitive) == 0)
            return info;
    }
    return {};
}

QString quotedList(const QStringList &names)
{
    QStringList quoted;
    quoted.reserve(names.size());
    for (const QString &name : names)
        quoted.append(quoteIdentifier(name));
    return quoted.join(u", "_s);
}

// The columns a row is inserted with: a single-keyed target assigns its own key.
QStringList insertColumnsFor(const QStringList &common, const TableInfo &target)
{
    QStringList columns;
    for (const QString &column : common) {
        if (!target.isSingleKeyed() || indexOfName(target.primaryKeyColumns, column) < 0)
            columns.append(column);
    }
    return columns;
}

// Every column of every row of a table of the incoming database, on its own connection; the expressions of more, when
// given, follow the table's own fields.
QString selectAll(const QString &table, const QStringList &more = {})
{
    const QString fields = more.isEmpty() ? u"*"_s : u"*, "_s + more.join(u", "_s);
    return u"SELECT %1 FROM main.%2"_s.arg(fields, quoteIdentifier(table));
}

// "SELECT *" over a table of the incoming database, read forward only, with the expressions of more.
bool readTable(QSqlQuery &query, const QString &table, QString *error, const QStringList &more = {})
{
    query.setForwardOnly(true);
    if (query.exec(selectAll(table, more)))
        return true;
    *error = logging::shownFailure(
        u"Не удалось прочитать таблицу %1 из базы пакета"_s.arg(table), query.lastError().text(), u"sync"_s);
    return false;
}

QString insertStatement(const QString &table, const QStringList &columns, bool ignoreOnConflict)
{
    return u"INSERT %1 INTO main.%2 (%3) VALUES (%4)"_s.arg(ignoreOnConflict ? u"OR IGNORE"_s : QString(),
        quoteIdentifier(table), quotedList(columns), QStringList(columns.size(), u"?"_s).join(u", "_s));
}

// The first row equal in every column.
QString probeStatement(const QString &table, const QStringList &columns, const QString &idColumn)
{
    QStringList conditions;
    conditions.reserve(columns.size());
    for (const QString &column : columns)
        conditions.append(quoteIdentifier(column) + u" IS ?"_s);
    return u"SELECT %1 FROM main.%2 WHERE %3 LIMIT 1"_s.arg(
        quoteIdentifier(idColumn), quoteIdentifier(table), conditions.join(u" AND "_s));
}

void bindAll(QSqlQuery &query, const QList<QVariant> &values)
{
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
}

// Runs a prepared insert; the number of rows it wrote, or -1 (error set) when it failed.
int execInsert(QSqlQuery &query, const QList<QVariant> &values, qint64 *insertedId, QString *error)
{
    bindAll(query, values);
    if (!query.exec()) {
        *error = logging::shownFailure(u"Не удалось добавить запись в базу"_s, query.lastError().text(), u"sync"_s);
        return -1;
    }
    if (insertedId)
        *insertedId = query.lastInsertId().toLongLong();
    return query.numRowsAffected();
}

// Runs a prepared duplicate probe; a failing one finds nothing.
bool execProbe(QSqlQuery &query, const QList<QVariant> &values, qint64 *foundId)
{
    bindAll(query, values);
    const bool found = query.exec() && query.next();
    if (found)
        *foundId = query.value(0).toLongLong();
    query.finish();
    return found;
}

// Where each target column lies in a "SELECT *" row of the source: the first source column of exactly that
// name, or -1.
QList<int> fieldPositions(const QStringList &targetColumns, const QStringList &sourceColumns)
{
    QList<int> positions;
    positions.reserve(targetColumns.size());
    for (const QString &column : targetColumns)
        positions.append(int(sourceColumns.indexOf(column)));
    return positions;
}

// One pass over a table of the incoming database into a local table: the columns rows are written with,
// where their values lie in a source row, and the probe and insert, each prepared once and bound again for
// every row, so that a large table of duplicates costs one indexed lookup per row.
class TablePass
{
public:
    TablePass(const QSqlDatabase &target, const TableInfo &sourceInfo, const TableInfo &targetInfo,
        const QStringList &columns, bool ignoreOnConflict)
        : m_target(targetInfo)
        , m_columns(columns)
        , m_fields(fieldPositions(columns, sourceInfo.columns))
        , m_probe(target)
        , m_insert(target)
    {
        QStringList compared;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            if (!isGeneratedColumn(columns.at(i))) {
                compared.append(columns.at(i));
                m_compared.append(int(i));
            }
        }
        m_probeReady = targetInfo.isSingleKeyed() && !compared.isEmpty()
            && m_probe.prepare(probeStatement(targetInfo.name, compared, targetInfo.keyColumn()));
        const bool orIgnore = ignoreOnConflict && !targetInfo.isSingleKeyed();
        if (!columns.isEmpty() && !m_insert.prepare(insertStatement(targetInfo.name, columns, orIgnore)))
            m_insertError = logging::shownFailure(
                u"Не удалось подготовить добавление записей в таблицу %1"_s.arg(targetInfo.name),
                m_insert.lastError().text(), u"sync"_s);
    }

    const QStringList &columns() const { return m_columns; }

    // The values of the pass's columns in the current row of a "SELECT *" over the source table.
    QList<QVariant> values(const QSqlQuery &row) const
    {
        QList<QVariant> values;
        values.reserve(m_fields.size());
        for (const int field : m_fields)
            values.append(field >= 0 ? row.value(field) : QVariant());
        return values;
    }

    // The same, with the column at mappedColumn (when >= 0) holding the local id of a mapped record.
    QList<QVariant> values(const QSqlQuery &row, int mappedColumn, qint64 localId) const
    {
        QList<QVariant> mapped = values(row);
        if (mappedColumn >= 0)
            mapped[mappedColumn] = QVariant(localId);
        return mapped;
    }

    // True when the local table holds a row equal in every column but the generated ones.
    bool findDuplicate(const QList<QVariant> &values, qint64 *foundId)
    {
        if (!m_probeReady)
            return false;
        QList<QVariant> compared;
        compared.reserve(m_compared.size());
        for (const int index : std::as_const(m_compared))
            compared.append(values.at(index));
        return execProbe(m_probe, compared, foundId);
    }

    // The number of rows written, or -1 with the error set.
    int insert(const QList<QVariant> &values, qint64 *insertedId, QString *error)
    {
        if (!m_insertError.isEmpty()) {
            *error = m_insertError;
            return -1;
        }
        return execInsert(m_insert, values, insertedId, error);
    }

    // Writes the row without a probe and counts it when the statement wrote it.
    bool append(const QList<QVariant> &values, int *added, QString *error)
    {
        const int written = insert(values, nullptr, error);
        if (written > 0)
            ++*added;
        return written >= 0;
    }

    // Writes the row unless the local table has it: a single-keyed table is probed first, any other is left to
    // the insert ("INSERT OR IGNORE" when the pass was made with ignoreOnConflict).
    bool store(const QList<QVariant> &values, int *added, QString *error)
    {
        qint64 foundId = 0;
        if (m_target.isSingleKeyed() && findDuplicate(values, &foundId))
            return true;
        return append(values, added, error);
    }

private:
    TableInfo m_target;
    QStringList m_columns;
    QList<int> m_fields;
    QList<int> m_compared;
    bool m_probeReady = false;
    QString m_insertError;
    QSqlQuery m_probe;
    QSqlQuery m_insert;
};

// The settings' columns, read by name: each is written over the local value of its key (LastModified decides), so none
// can be read as absent.
const QStringList settingsColumns {
    u"Section"_s, u"Key"_s, u"Value"_s, u"ValueType"_s, u"Description"_s, u"LastModified"_s};

QString settingsSelect()
{
    return u"SELECT %1 FROM main.Settings"_s.arg(settingsColumns.join(u", "_s));
}

// A key takes the incoming row when it is at least as new as the local one. A row equal in every field is not
// written again, so that only a change is counted.
bool mergeSettings(const QSqlDatabase &source, const QSqlDatabase &target, int *added, QString *error)
{
    if (!tableInfo(source, u"Settings"_s).exists() || !tableInfo(target, u"Settings"_s).exists())
        return true;
    QSqlQuery rows(source);
    rows.setForwardOnly(true);
    if (!rows.exec(settingsSelect())) {
        *error = logging::shownFailure(
            u"Не удалось прочитать настройки из базы пакета"_s, rows.lastError().text(), u"sync"_s);
        return false;
    }
    QSqlQuery upsert(target);
    if (!upsert.prepare(u"INSERT INTO main.Settings(Section,Key,Value,ValueType,Description,LastModified) "
                        "VALUES(?,?,?,?,?,?) ON CONFLICT(Section,Key) DO UPDATE SET Value=excluded.Value,"
                        "ValueType=excluded.ValueType,Description=excluded.Description,"
                        "LastModified=excluded.LastModified WHERE excluded.LastModified >= Settings.LastModified "
                        "AND (Value IS NOT excluded.Value OR ValueType IS NOT excluded.ValueType "
                        "OR Description IS NOT excluded.Description OR LastModified IS NOT excluded.LastModified)"_s)) {
        *error
            = logging::shownFailure(u"Не удалось записать настройки из пакета"_s, upsert.lastError().text(), u"sync"_s);
        return false;
    }
    while (rows.next()) {
        for (int field = 0; field < int(settingsColumns.size()); ++field)
            upsert.bindValue(field, rows.value(field));
        if (!upsert.exec()) {
            *error = logging::shownFailure(
                u"Не удалось записать настройки из пакета"_s, upsert.lastError().text(), u"sync"_s);
            return false;
        }
        if (upsert.numRowsAffected() > 0)
            ++*added;
    }
    return true;
}

// A configuration's name as the rule compares it: surrounding white space removed and Latin letters folded, as the
// table's NOCASE collation folds them and the program's own store matches names ("КАМАЗ " is "КАМАЗ", "man" is "MAN",
// "камаз" is another name there as here).
QString configurationName(const QVariant &text)
{
    QString name = text.toString().trimmed();
    for (QChar &c : name) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return name;
}

using ConfigurationKey = std::pair<QString, QString>;

// The column's value as SQLite's text of it, the text a TEXT column stores for a number.
QString asText(const QString &column)
{
    return u"CAST(%1 AS TEXT)"_s.arg(quoteIdentifier(column));
}

// A configuration's manufacturer and model as SQLite's text of them, read after the incoming row's own fields; empty
// when the table lacks either.
QStringList configurationNameFields(const TableInfo &incoming)
{
    const int manufacturer = indexOfName(incoming.columns, u"Manufacturer"_s);
    const int model = indexOfName(incoming.columns, u"Model"_s);
    if (manufacturer < 0 || model < 0)
        return {};
    return {asText(incoming.columns.at(manufacturer)), asText(incoming.columns.at(model))};
}

// The manufacturer and model of every local configuration, compared as the rule compares them. The names are read as
// SQLite's text of them, as the incoming ones are, so that a number compares as the text the column would store.
bool localConfigurations(const QSqlDatabase &target, const TableInfo &local, const QString &manufacturerColumn,
    const QString &modelColumn, QSet<ConfigurationKey> *keys, QString *error)
{
    QSqlQuery query(target);
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT %1, %2 FROM main.%3"_s.arg(
            asText(manufacturerColumn), asText(modelColumn), quoteIdentifier(local.name)))) {
        *error = logging::shownFailure(
            u"Не удалось сверить модели транспортных средств"_s, query.lastError().text(), u"sync"_s);
        return false;
    }
    while (query.next())
        keys->insert({configurationName(query.value(0)), configurationName(query.value(1))});
    return true;
}

// A configuration is matched by its trimmed manufacturer and model on both sides, letter case aside: one that arrived
// with a blank ("КАМАЗ ") and is stored so is found the next time too, so the table's UNIQUE(Manufacturer, Model)
// never refuses a configuration that is already here. A configuration found is never replaced; the others are inserted
// as stored.
bool mergeVehicleConfigurations(const QSqlDatabase &source, const QSqlDatabase &target, int *added, QString *error)
{
    const TableInfo incoming = tableInfo(source, u"VehicleConfigurations"_s);
    const TableInfo local = tableInfo(target, u"VehicleConfigurations"_s);
    if (!incoming.exists() || !local.exists())
        return true;
    const QStringList common = commonColumns(incoming, local);
    const QStringList nameFields = configurationNameFields(incoming);
    if (nameFields.isEmpty() || indexOfName(common, u"Manufacturer"_s) < 0 || indexOfName(common, u"Model"_s) < 0)
        return true;
    QSet<ConfigurationKey> present;
    if (!localConfigurations(target, local, local.columns.at(indexOfName(local.columns, u"Manufacturer"_s)),
            local.columns.at(indexOfName(local.columns, u"Model"_s)), &present, error))
        return false;
    TablePass pass(target, incoming, local, insertColumnsFor(common, local), false);
    QSqlQuery rows(source);
    // The names as SQLite's text follow the row's own fields.
    const int names = int(incoming.columns.size());
    if (!readTable(rows, incoming.name, error, nameFields))
        return false;
    while (rows.next()) {
        const ConfigurationKey key {configurationName(rows.value(names)), configurationName(rows.value(names + 1))};
        if (present.contains(key))
            continue;
        if (!pass.append(pass.values(rows), added, error))
            return false;
        present.insert(key);
    }
    return true;
}

// The manufacturers' columns read from the incoming file: Id and Name, which the check finds in every file it passes,
// and CreatedAt where the file has it. Without it a manufacturer new here takes the local default stamp: the column is
// no key, and a manufacturer the installation has keeps its own.
QStringList manufacturerColumns(const TableInfo &incoming)
{
    QStringList columns {u"Id"_s, u"Name"_s};
    if (indexOfName(incoming.columns, u"CreatedAt"_s) >= 0)
        columns.append(u"CreatedAt"_s);
    return columns;
}

QString manufacturersSelect(const TableInfo &incoming)
{
    return u"SELECT %1 FROM main.Manufacturers"_s.arg(manufacturerColumns(incoming).join(u", "_s));
}

bool mergeVehicleCatalog(const QSqlDatabase &source, const QSqlDatabase &target, int *added, QString *error)
{
    const TableInfo manufacturers = tableInfo(source, u"Manufacturers"_s);
    if (!manufacturers.exists() || !tableInfo(target, u"Manufacturers"_s).exists())
        return true;
    QHash<qint64, qint64> manufacturerIds;
    {
        QSqlQuery rows(source);
        rows.setForwardOnly(true);
        if (!rows.exec(manufacturersSelect(manufacturers))) {
            *error = logging::shownFailure(
                u"Не удалось прочитать производителей из базы пакета"_s, rows.lastError().text(), u"sync"_s);
            return false;
        }
        // The incoming row without its Id.
        const QStringList inserted = manufacturerColumns(manufacturers).mid(1);
        QSqlQuery insert(target);
        if (!insert.prepare(insertStatement(u"Manufacturers"_s, inserted, false))) {
            *error
                = logging::shownFailure(u"Не удалось добавить производителя"_s, insert.lastError().text(), u"sync"_s);
            return false;
        }
        QSqlQuery probe(target);
        const bool probeReady = probe.prepare(u"SELECT Id FROM main.Manufacturers WHERE Name IS ? LIMIT 1"_s);
        while (rows.next()) {
            const qint64 oldId = rows.value(0).toLongLong();
            qint64 localId = 0;
            if (probeReady && execProbe(probe, {rows.value(1)}, &localId)) {
                manufacturerIds.insert(oldId, localId);
                continue;
            }
            QList<QVariant> values;
            for (int field = 1; field <= int(inserted.size()); ++field)
                values.append(rows.value(field));
            bindAll(insert, values);
            if (!insert.exec()) {
                *error = logging::shownFailure(
                    u"Не удалось добавить производителя"_s, insert.lastError().text(), u"sync"_s);
                return false;
            }
            manufacturerIds.insert(oldId, insert.lastInsertId().toLongLong());
            ++*added;
        }
    }

    const TableInfo incoming = tableInfo(source, u"Models"_s);
    const TableInfo local = tableInfo(target, u"Models"_s);
    if (!incoming.exists() || !local.exists())
        return true;
    QSqlQuery rows(source);
    rows.setForwardOnly(true);
    if (!rows.exec(selectAll(incoming.name))) {
        *error = logging::shownFailure(
            u"Не удалось прочитать модели из базы пакета"_s, rows.lastError().text(), u"sync"_s);
        return false;
    }
    const int manufacturerField = indexOfName(incoming.columns, u"ManufacturerId"_s);
    const int nameField = indexOfName(incoming.columns, u"Name"_s);
    TablePass pass(target, incoming, local, insertColumnsFor(commonColumns(incoming, local), local), false);
    const int manufacturerColumn = indexOfName(pass.columns(), u"ManufacturerId"_s);
    QSqlQuery probe(target);
    const bool probeReady = probe.prepare(u"SELECT Id FROM main.Models WHERE ManufacturerId=? AND Name=? LIMIT 1"_s);
    while (manufacturerField >= 0 && nameField >= 0 && rows.next()) {
        const auto mapped = manufacturerIds.constFind(rows.value(manufacturerField).toLongLong());
        if (mapped == manufacturerIds.constEnd())
            continue;
        qint64 foundId = 0;
        if (probeReady && execProbe(probe, {*mapped, rows.value(nameField)}, &foundId))
            continue;
        if (!pass.append(pass.values(rows, manufacturerColumn, *mapped), added, error))
            return false;
    }
    return true;
}

bool mergeGeneric(
    const QString &fileName, const QSqlDatabase &source, const QSqlDatabase &target, int *added, QString *error)
{
    const QList<TableInfo> localTables = tables(target);
    for (const TableInfo &incoming : tables(source, fileName)) {
        const TableInfo local = findTable(localTables, incoming.name);
        if (local.exists() && !mergeSimpleTable(source, target, incoming, local, nullptr, added, error))
            return false;
    }
    return true;
}

// The report types the generic report tables store in ReportType; a child row of the typed tables hangs on the
// header its table's name gives (a "Tacho" table on a vehicle unit, any other on a card).
const int cardReportType = ddd::storedReportType(ddd::DddFileType::DriverCard);
const int unitReportType = ddd::storedReportType(ddd::DddFileType::Tachograph);

// The schema name under which mergeDatabase attaches the incoming file to the local connection.
const QString incomingSchema = u"incoming"_s;
const QString reportLinksTable = u"temp.tessaron_report_links"_s;

// What tells one stored download from another: the fingerprint of its bytes and the path it was read from, as
// the report's meta object holds them (empty when it has none).
struct ReportIdentity
{
    QString fingerprint;
    QString path;

    bool isEmpty() const { return fingerprint.isEmpty() && path.isEmpty(); }
};

// The meta of the reports whose header is in the table, their identities read from it (the report type bound).
QString identitiesSelect(const TableInfo &header)
{
    return u"SELECT ReportId, %1, %2 FROM main.DddReportMeta WHERE ReportType = ? AND json_valid(Json) "
           "AND json_type(Json) = 'object' AND ReportId IN (SELECT %3 FROM main.%4)"_s.arg(
               ddd::metaText(u"sourceFingerprint"_s), ddd::metaText(u"filePath"_s), quoteIdentifier(header.keyColumn()),
               quoteIdentifier(header.name));
}

// The identities of the stored reports of one type whose header is in the table; a database without readable
// meta has none.
QHash<qint64, ReportIdentity> reportIdentities(const QSqlDatabase &database, const TableInfo &header, int reportType)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(identitiesSelect(header));
    query.bindValue(0, reportType);
    QHash<qint64, ReportIdentity> identities;
    if (!query.exec())
        return identities;
    while (query.next()) {
        ReportIdentity identity {query.value(1).toString(), query.value(2).toString()};
        if (!identity.isEmpty())
            identities.insert(query.value(0).toLongLong(), identity);
    }
    return identities;
}

// The local reports of one type by identity, under the archive's own duplicate rule: the same fingerprint, or,
// where either fingerprint is missing, the same non-empty path; the newest (highest id) of several wins.
class ReportIndex
{
public:
    void add(qint64 id, const ReportIdentity &identity)
    {
        if (identity.isEmpty())
            return;
        m_identified.insert(id);
        const auto keep = [id](QHash<QString, qint64> &ids, const QString &key) {
            if (!key.isEmpty())
                ids[key] = std::max(ids.value(key), id);
        };
        keep(m_byFingerprint, identity.fingerprint);
        keep(m_byPath, identity.path);
        if (identity.fingerprint.isEmpty())
            keep(m_byPathWithoutFingerprint, identity.path);
    }

    // The matching local report, 0 when none.
    qint64 find(const ReportIdentity &identity) const
    {
        if (identity.path.isEmpty() && identity.fingerprint.isEmpty())
            return 0;
        if (identity.fingerprint.isEmpty())
            return m_byPath.value(identity.path);
        const qint64 byPath = identity.path.isEmpty() ? 0 : m_byPathWithoutFingerprint.value(identity.path);
        return std::max(m_byFingerprint.value(identity.fingerprint), byPath);
    }

    bool isIdentified(qint64 id) const { return m_identified.contains(id); }

private:
    QHash<QString, qint64> m_byFingerprint;
    QHash<QString, qint64> m_byPath;
    QHash<QString, qint64> m_byPathWithoutFingerprint;
    QSet<qint64> m_identified;
};

// The local reports of one header table that have no identity, each with its header row as the local table stores it,
// indexed by that row: reports saved before the meta existed can be told apart by nothing else. Kept in a temporary
// table of the local connection, whose columns take the local table's types, so that an incoming value is compared
// as the local column would compare it; a lookup costs the same however many reports share a header row.
class UnidentifiedReports
{
public:
    explicit UnidentifiedReports(const QSqlDatabase &target)
        : m_target(target)
        , m_add(target)
        , m_find(target)
    { }

    // Made for the compared columns (none: every lookup finds nothing), from every local report the index does not
    // identify. False, with the error set, when a statement fails.
    bool make(const TableInfo &local, const QStringList &compared, const ReportIndex &index, QString *error)
    {
        if (compared.isEmpty())
            return true;
        QStringList columns;
        QStringList conditions;
        for (const QString &column : compared) {
            columns.append(u"t.%1 AS %1"_s.arg(quoteIdentifier(column)));
            conditions.append(quoteIdentifier(column) + u" IS ?"_s);
        }
        const QString key = quoteIdentifier(local.keyColumn());
        const QString header = quoteIdentifier(local.name);
        QSqlQuery query(m_target);
        const QStringList statements {u"DROP TABLE IF EXISTS temp.tessaron_unidentified"_s,
            u"CREATE TABLE temp.tessaron_unidentified AS SELECT t.%1 AS tessaron_id, %2 FROM main.%3 AS t WHERE 0"_s
                .arg(key, columns.join(u", "_s), header),
            u"CREATE INDEX temp.tessaron_unidentified_row ON tessaron_unidentified (%1, tessaron_id)"_s.arg(
                quotedList(compared))};
        for (const QString &statement : statements) {
            if (!query.exec(statement))
                return failed(query, error);
        }
        m_ready = m_add.prepare(
                      u"INSERT INTO temp.tessaron_unidentified SELECT t.%1, %2 FROM main.%3 AS t WHERE t.%1 = ?"_s.arg(
                          key, columns.join(u", "_s), header))
            && m_find.prepare(u"SELECT tessaron_id FROM temp.tessaron_unidentified WHERE %1 ORDER BY tessaron_id DESC "
                              "LIMIT 1"_s.arg(conditions.join(u" AND "_s)));
        if (!m_ready)
            return failed(m_add.lastError().isValid() ? m_add : m_find, error);
        QSqlQuery keys(m_target);
        keys.setForwardOnly(true);
        if (!keys.exec(u"SELECT %1 FROM main.%2"_s.arg(key, header)))
            return failed(keys, error);
        while (keys.next()) {
            if (const qint64 id = keys.value(0).toLongLong(); !index.isIdentified(id) && !add(id, error))
                return false;
        }
        return true;
    }

    // Adds the local report of that id, inserted without an identity.
    bool add(qint64 id, QString *error)
    {
        if (!m_ready)
            return true;
        m_add.bindValue(0, id);
        return m_add.exec() || failed(m_add, error);
    }

    // The newest of these reports whose header row equals the compared values in every column, 0 when none.
    qint64 find(const QList<QVariant> &compared)
    {
        qint64 found = 0;
        return m_ready && execProbe(m_find, compared, &found) ? found : 0;
    }

private:
    static bool failed(const QSqlQuery &query, QString *error)
    {
        *error = logging::shownFailure(
            u"Не удалось сопоставить отчёты пакета с отчётами базы"_s, query.lastError().text(), u"sync"_s);
        return false;
    }

    QSqlDatabase m_target;
    bool m_ready = false;
    QSqlQuery m_add;
    QSqlQuery m_find;
};

// One incoming report and the local one its rows go to. Fresh: the local report was inserted for it by this
// merge and has no rows yet. Round: how many incoming reports before it (by id) go to the same local one; the rows
// of each round are compared with what the local report holds after the rounds before.
struct ReportLink
{
    int reportType;
    qint64 incomingId;
    qint64 localId;
    bool fresh;
    int round;
};

// What the links hold: whether any report is fresh, whether any goes to a report the local file held, and whether any
// local report takes more than one incoming report (rounds).
struct LinkSummary
{
    bool hasFresh = false;
    bool hasKept = false;
    bool hasRounds = false;
};

// Fills the links table of this connection. False with the error set when a statement fails.
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
            *error = logging::shownFailure(linksFailure, query.lastError().text(), u"sync"_s);
            return false;
        }
    }
    if (!query.prepare(u"INSERT INTO %1 VALUES (?, ?, ?, ?, ?)"_s.arg(reportLinksTable))) {
        *error = logging::shownFailure(linksFailure, query.lastError().text(), u"sync"_s);
        return false;
    }
    for (const ReportLink &link : links) {
        bindAll(query, {link.reportType, link.incomingId, link.localId, link.fresh ? 1 : 0, link.round});
        if (!query.exec()) {
            *error = logging::shownFailure(linksFailure, query.lastError().text(), u"sync"_s);
            return false;
        }
        summary->hasFresh = summary->hasFresh || link.fresh;
        summary->hasKept = summary->hasKept || !link.fresh;
        summary->hasRounds = summary->hasRounds || link.round > 0;
    }
    return true;
}

// The links of one header table's map, incoming reports in id order.
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

// One child table of the report file as the rule merges it: the incoming table into the local one of its name.
struct ChildTable
{
    TableInfo incoming;
    TableInfo local;
    // The SQL expression over the incoming row "s" that names the header its row hangs on (a report type); empty for
    // a table without report ids, merged as a simple table.
    QString reportType;
};

// The child tables of the incoming report file that the rule reads, each with the local table of its name; a table
// the local file lacks, and a generic one without ReportType, are left out.
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

// The temporary tables of one child table's merge: the incoming rows that go to reports the local file held, as the
// local table would store them, with the round of their report and their incoming order; and the rows (compared
// columns) of which some such report may hold more copies than the local one.
const QString keptRowsTable = u"temp.tessaron_kept_rows"_s;
const QString candidatesTable = u"temp.tessaron_candidates"_s;

// The statements that merge the rows of one child table (with report ids; none when the tables share no column).
struct ChildRowStatements
{
    // Copies every row of the reports new here, in their incoming order.
    QString copyFresh;
    // Make the table of kept rows anew, empty, its columns of the local table's types.
    QStringList makeKeptRows;
    // Fills it in one pass over the incoming table.
    QString fillKeptRows;
    // Make the table of candidates, indexed by the compared columns, each marked whole or not: when every local report
    // takes one incoming report at most, by one count of the kept rows and the local rows of their reports; otherwise
    // (rounds) by a count of each round's copies, then of their most in any round.
    QStringList makeCandidates;
    QStringList makeCandidatesOfRounds;
    // Whether every candidate is whole: null when there is none.
    QString findCandidates;
    // Inserts every kept row of the candidates, all whole, in rounds and incoming order.
    QString copyWhole;
    // Inserts each kept row of a candidate whose copy is one more than the local report held (after the rounds
    // before; every copy of a whole one), in rounds and incoming order.
    QString copyMissing;
};

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

// Rows are compared in every column but the key, the report id and the generated ones. A report new here takes every
// row of its incoming report. For one the local file held, each copy of a row is numbered within its incoming report,
// and a copy is inserted when its number exceeds how often the local report held the row before (its own rows, and
// the most any earlier round brought), so the local report ends with as many copies as the side holding more had.
// The kept rows and the local rows of their reports are counted by a sort or two; only a row of which some incoming
// report holds more copies than the local report (a candidate) is numbered. The incoming table is read once, whatever
// the number of rounds, and values are compared as the local table stores them, whatever types the sender's file
// declares.
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

// Merges one child table of the report database inside SQLite, the incoming file attached as "incoming", by the
// statements above: the rows of reports new here if any, then, if any report goes to one the local file held, the
// missing copies of the candidates if any. False, with the error set, when a statement fails.
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
            *error = logging::shownFailure(
                u"Не удалось перенести строки таблицы %1 из базы пакета"_s.arg(table.local.name),
                query.lastError().text(), u"sync"_s);
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

// The legacy report file has no index by which the merge can find the rows of one report in its typed child tables,
// so each lookup would scan the whole table. These indexes (the report id first) add no row and change no value;
// they serve later merges too.
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

bool mergeByRule(
    const QString &fileName, const QSqlDatabase &source, const QSqlDatabase &target, int *added, QString *error)
{
    if (fileName == u"VehicleConfigurations.db"_s)
        return mergeVehicleConfigurations(source, target, added, error);
    if (fileName == u"SettingsDB.db"_s)
        return mergeSettings(source, target, added, error);
    if (fileName == u"MasterDB.db"_s)
        return mergeNamedList(source, target, u"Masters"_s, u"FullName"_s, added, error);
    if (fileName == u"CustomersDB.db"_s)
        return mergeNamedList(source, target, u"Customers"_s, u"CustomerName"_s, added, error);
    if (fileName == u"VehicleDB.db"_s)
        return mergeVehicleCatalog(source, target, added, error);
    if (fileName == u"driver_cards.db"_s)
        return mergeDriverCards(source, target, added, error);
    return mergeGeneric(fileName, source, target, added, error);
}

// Merges the incoming file (open as source) into the existing local file by the rule of ruleName, in one
// transaction. The incoming file is also attached to the local connection as "incoming", so that a rule can
// copy rows inside SQLite; SQLite attaches no file inside a transaction, so this comes first.
bool mergeInto(
    const storage::SqlConnection &source, const QString &localPath, const QString &ruleName, int *added, QString *error)
{
    storage::SqlConnection target(u"TessaronMergeTarget"_s, localPath, uriConnectOption());
    if (!target.isOpen()) {
        *error = target.openError();
        return false;
    }
    distrustSchema(target.database());
    if (QString failure; !attachIncoming(target.database(), source.path(), &failure)) {
        *error = logging::shownFailure(u"Не удалось открыть базу пакета для %1"_s.arg(ruleName), failure, u"sync"_s);
        return false;
    }
    storage::TransactionGuard transaction(target.database());
    if (!transaction.isActive()) {
        *error = logging::shownFailure(
            u"Не удалось начать запись в базу %1"_s.arg(ruleName), transaction.errorText(), u"sync"_s);
        return false;
    }
    if (!mergeByRule(ruleName, source.database(), target.database(), added, error))
        return false;
    if (!transaction.commit()) {
        *error = logging::shownFailure(
            u"Не удалось завершить запись в базу %1"_s.arg(ruleName), transaction.errorText(), u"sync"_s);
        return false;
    }
    return true;
}

bool mergeFiles(
    const QString &incomingPath, const QString &localPath, const QString &buildId, int *added, QString *error)
{
    storage::SqlConnection source(u"TessaronMergeSource"_s, packageDatabaseUri(incomingPath), packageConnectOptions());
    if (!source.isOpen()) {
        *error = source.openError();
        return false;
    }
    const QString fileName = QFileInfo(localPath).fileName();
    if (const PackageDatabaseFault fault = checkPackageDatabase(source.database(), fileName); !fault.isNone()) {
        *error = fault.damaged ? u"База данных в пакете повреждена"_s
                               : u"База данных в пакете не принята: %1"_s.arg(fault.reason);
        return false;
    }
    if (QFileInfo::exists(localPath))
        return mergeInto(source, localPath, fileName, added, error);

    // A file taken as it is would bring whatever its sender's file holds besides the program's tables (a
    // trigger, a view). The new database is made with the program's own layout beside the local path, takes the
    // incoming rows like an existing one, and is renamed into place only when complete.
    if (!ensureParent(localPath, error))
        return false;
    const QString fresh = buildingDatabasePath(
        localPath, buildId.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : buildId);
    bool known = true;
    bool made = createOwnDatabase(fileName, fresh, &known, error) && mergeInto(source, fresh, fileName, added, error);
    if (made && !QFile::rename(fresh, localPath)) {
        *error = u"Не удалось перенести новую базу: %1"_s.arg(localPath);
        made = false;
    }
    if (!made) {
        QFile::remove(fresh);
        QFile::remove(fresh + u"-journal"_s);
    }
    return made || !known;
}

} // namespace

bool isGeneratedColumn(const QString &column)
{
    return column.compare(u"ImportDate"_s, Qt::CaseInsensitive) == 0
        || column.compare(u"CreationTimestamp"_s, Qt::CaseInsensitive) == 0;
}

QList<TableInfo> tables(const QSqlDatabase &database, const QString &readUnder)
{
    QList<CatalogueEntry> entries;
    readCatalogue(database, &entries);
    QList<TableInfo> list;
    for (const CatalogueEntry &entry : std::as_const(entries)) {
        if (entry.isView || (!readUnder.isEmpty() && !isReadTable(readUnder, entry.name)))
            continue;
        if (TableInfo info = describeTable(database, entry.name); info.exists() && !info.isVirtual)
            list.append(info);
    }
    return list;
}

TableInfo tableInfo(const QSqlDatabase &database, const QString &table)
{
    QList<CatalogueEntry> entries;
    readCatalogue(database, &entries);
    for (const CatalogueEntry &entry : std::as_const(entries)) {
        if (!entry.isView && entry.name.compare(table, Qt::CaseInsensitive) == 0) {
            const TableInfo info = describeTable(database, entry.name);
            return info.isVirtual ? TableInfo() : info;
        }
    }
    return {};
}

QStringList commonColumns(const TableInfo &a, const TableInfo &b)
{
    QStringList common;
    for (const QString &column : a.columns) {
        if (indexOfName(b.columns, column) >= 0)
            common.append(column);
    }
    return common;
}

QList<QVariant> rowValues(const QSqlRecord &row, const QStringList &targetColumns, const QStringList &sourceColumns,
    const QHash<QString, QVariant> &overrides)
{
    const QList<int> positions = fieldPositions(targetColumns, sourceColumns);
    QList<QVariant> values;
    values.reserve(targetColumns.size());
    for (qsizetype i = 0; i < targetColumns.size(); ++i) {
        const auto override = overrides.constFind(targetColumns.at(i));
        if (override != overrides.constEnd())
            values.append(*override);
        else
            values.append(positions.at(i) >= 0 ? row.value(positions.at(i)) : QVariant());
    }
    return values;
}

bool sameValue(QSqlQuery &query, const QString &table, const QStringList &columns, const QList<QVariant> &values,
    qint64 *foundId, const QString &idColumn)
{
    if (columns.isEmpty())
        return false;
    const QString statement = probeStatement(table, columns, idColumn);
    if (query.lastQuery() != statement && !query.prepare(statement))
        return false;
    return execProbe(query, values.mid(0, columns.size()), foundId);
}

bool insertRow(const QSqlDatabase &target, const QString &table, const QStringList &columns,
    const QList<QVariant> &values, qint64 *insertedId, QString *error, bool ignoreOnConflict)
{
    if (columns.isEmpty())
        return false;
    QSqlQuery query(target);
    if (!query.prepare(insertStatement(table, columns, ignoreOnConflict))) {
        *error = logging::shownFailure(
            u"Не удалось подготовить добавление записи в таблицу %1"_s.arg(table), query.lastError().text(), u"sync"_s);
        return false;
    }
    return execInsert(query, values, insertedId, error) >= 0;
}

bool mergeSimpleTable(const QSqlDatabase &source, const QSqlDatabase &target, const TableInfo &sourceInfo,
    const TableInfo &targetInfo, const QHash<qint64, qint64> *reportIdMap, int *added, QString *error)
{
    const QStringList common = commonColumns(sourceInfo, targetInfo);
    TablePass pass(target, sourceInfo, targetInfo, insertColumnsFor(common, targetInfo), true);
    if (pass.columns().isEmpty())
        return true;
    QSqlQuery rows(source);
    if (!readTable(rows, sourceInfo.name, error))
        return false;
    // The report id is found in any letter case: a row must never keep an incoming id that names another
    // local report.
    const bool mapped = reportIdMap && indexOfName(common, reportIdColumnName) >= 0;
    const int reportField = mapped ? indexOfName(sourceInfo.columns, reportIdColumnName) : -1;
    const int reportColumn = mapped ? indexOfName(pass.columns(), reportIdColumnName) : -1;
    while (rows.next()) {
        qint64 localId = 0;
        if (reportField >= 0) {
            const auto found = reportIdMap->constFind(rows.value(reportField).toLongLong());
            if (found == reportIdMap->constEnd())
                continue;
            localId = *found;
        }
        if (!pass.store(pass.values(rows, reportColumn, localId), added, error))
            return false;
    }
    return true;
}

bool mergeDatabase(
    const QString &incomingPath, const QString &localPath, int *added, QString *error, const QString &buildId)
{
    if (!QFileInfo::exists(incomingPath))
        return true;
    // Rows and text are kept apart until the outcome is known: the caller's counter grows only by a committed
    // merge, and a text left in the caller's variable can never be taken for a failure of this one.
    int count = 0;
    QString failure;
    if (!mergeFiles(incomingPath, localPath, buildId, &count, &failure)) {
        *error = failure.isEmpty() ? u"Не удалось объединить базу данных: %1"_s.arg(localPath) : failure;
        return false;
    }
    *added += count;
    return true;
}

QString buildingDatabasePath(const QString &localPath, const QString &buildId)
{
    return localPath + u'.' + buildId + u".new"_s;
}

bool mergeNamedList(const QSqlDatabase &source, const QSqlDatabase &target, const QString &table,
    const QString &nameColumn, int *added, QString *error)
{
    const TableInfo incoming = tableInfo(source, table);
    const TableInfo local = tableInfo(target, table);
    if (!incoming.exists() || !local.exists())
        return true;
    const QStringList common = commonColumns(incoming, local);
    if (indexOfName(common, nameColumn) < 0)
        return true;
    TablePass pass(target, incoming, local, insertColumnsFor(common, local), false);
    QSqlQuery rows(source);
    if (!readTable(rows, incoming.name, error))
        return false;
    const int nameField = indexOfName(incoming.columns, nameColumn);
    const QString keyColumn = local.primaryKeyColumns.value(0);
    QSqlQuery probe(target);
    const bool probeReady = probe.prepare(u"SELECT %1 FROM main.%2 WHERE %3 IS ? LIMIT 1"_s.arg(
        quoteIdentifier(keyColumn), quoteIdentifier(table), quoteIdentifier(nameColumn)));
    while (rows.next()) {
        qint64 foundId = 0;
        if (probeReady && execProbe(probe, {rows.value(nameField)}, &foundId))
            continue;
        if (!pass.append(pass.values(rows), added, error))
            return false;
    }
    return true;
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

bool attachIncoming(const QSqlDatabase &target, const QString &incomingPath, QString *error)
{
    QSqlQuery attach(target);
    attach.prepare(u"ATTACH DATABASE ? AS "_s + quoteIdentifier(incomingSchema));
    attach.bindValue(0, incomingPath);
    if (attach.exec())
        return true;
    *error = attach.lastError().text();
    return false;
}

MergeReadFault prepareMergeReads(const QSqlDatabase &source, const QSqlDatabase &target, const QString &fileName)
{
    MergeReadFault fault;
    const auto prepares = [&fault](const QSqlDatabase &database, const QString &statement, const QString &table) {
        QSqlQuery query(database);
        if (query.prepare(statement))
            return true;
        fault = {table, {}, query.lastError().text()};
        return false;
    };
    if (fileName == u"SettingsDB.db"_s) {
        const TableInfo settings = tableInfo(source, u"Settings"_s);
        if (!settings.exists() || !tableInfo(target, u"Settings"_s).exists())
            return fault;
        for (const QString &column : settingsColumns) {
            if (indexOfName(settings.columns, column) < 0)
                return {u"Settings"_s, column, {}};
        }
        prepares(source, settingsSelect(), u"Settings"_s);
        return fault;
    }
    if (fileName == u"VehicleDB.db"_s) {
        const TableInfo manufacturers = tableInfo(source, u"Manufacturers"_s);
        const TableInfo models = tableInfo(source, u"Models"_s);
        if (manufacturers.exists() && prepares(source, manufacturersSelect(manufacturers), u"Manufacturers"_s)
            && models.exists())
            prepares(source, selectAll(models.name), u"Models"_s);
        return fault;
    }
    if (fileName != u"driver_cards.db"_s) {
        // Every other rule reads the tables it takes whole; the configurations' rule their names as text too.
        const bool configurations = fileName == u"VehicleConfigurations.db"_s;
        for (const TableInfo &incoming : tables(source, fileName)) {
            const QStringList more = configurations ? configurationNameFields(incoming) : QStringList();
            if (!prepares(source, selectAll(incoming.name, more), incoming.name))
                break;
        }
        return fault;
    }
    const bool hasMeta = tableInfo(source, u"DddReportMeta"_s).exists();
    for (const QString &header : {u"DriverCardReports"_s, u"TachographReports"_s}) {
        const TableInfo incoming = tableInfo(source, header);
        if (incoming.exists()
            && (!prepares(source, selectAll(incoming.name), header)
                || (hasMeta && incoming.isSingleKeyed() && !prepares(source, identitiesSelect(incoming), header))))
            return fault;
    }
    // The child rows are read through the links and the kept rows, made here empty in temporary tables.
    LinkSummary links;
    QString failure;
    if (!writeReportLinks(target, {}, &links, &failure))
        return {{}, {}, failure};
    for (const ChildTable &child : reportChildTables(source, tables(target))) {
        if (child.reportType.isEmpty()) {
            if (!prepares(source, selectAll(child.incoming.name), child.local.name))
                break;
            continue;
        }
        const ChildRowStatements statements = childRowStatements(child);
        if (statements.copyFresh.isEmpty())
            continue;
        QSqlQuery make(target);
        for (const QString &statement : statements.makeKeptRows) {
            if (!make.exec(statement))
                return {{}, {}, make.lastError().text()};
        }
        if (!prepares(target, statements.copyFresh, child.local.name)
            || !prepares(target, statements.fillKeptRows, child.local.name))
            break;
    }
    return fault;
}

bool ensureParent(const QString &filePath, QString *error)
{
    const QString folder = QFileInfo(filePath).absolutePath();
    if (QDir().mkpath(folder))
        return true;
    *error = u"Не удалось создать каталог: %1"_s.arg(folder);
    return false;
}

} // namespace tessaron::sync
