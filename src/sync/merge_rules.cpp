#include "merge_rules.h"

#include "logging/shown_failure.h"
#include "storage/sql_connection.h"
#include "sync/merge_statements.h"
#include "sync/merge_tables.h"
#include "sync/report_merge.h"
#include "sync/table_pass.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <iterator>

using namespace Qt::StringLiterals;
using tessaron::storage::quoteIdentifier;

namespace tessaron::sync {

namespace {

// A key takes the incoming row when it is at least as new as the local one. A row equal in every field is not
// written again, so that only a change is counted.
bool mergeSettings(const MergeRule &, const MergeSides &sides, int *added, QString *error)
{
    if (!tableInfo(sides.source, u"Settings"_s).exists() || !tableInfo(sides.target, u"Settings"_s).exists())
        return true;
    QSqlQuery rows(sides.source);
    rows.setForwardOnly(true);
    if (!rows.exec(settingsSelect())) {
        *error = logging::shownFailure(
            u"Не удалось прочитать настройки из базы пакета"_s, rows.lastError().text(), u"sync"_s);
        return false;
    }
    QSqlQuery upsert(sides.target);
    if (!upsert.prepare(settingsUpsert())) {
        *error = storage::shownSqlFailure(u"Не удалось записать настройки из пакета"_s, upsert.lastError(), u"sync"_s);
        return false;
    }
    while (rows.next()) {
        for (int field = 0; field < int(settingsColumns.size()); ++field)
            upsert.bindValue(field, rows.value(field));
        if (!upsert.exec()) {
            *error
                = storage::shownSqlFailure(u"Не удалось записать настройки из пакета"_s, upsert.lastError(), u"sync"_s);
            return false;
        }
        if (upsert.numRowsAffected() > 0)
            ++*added;
    }
    return true;
}

// Each settings column is read by name, as each is written over the local value of its key.
void prepareSettingsReads(const MergeRule &, const MergeSides &sides, MergeReads *reads)
{
    const TableInfo settings = tableInfo(sides.source, u"Settings"_s);
    if (!settings.exists() || !tableInfo(sides.target, u"Settings"_s).exists())
        return;
    for (const QString &column : settingsColumns) {
        if (indexOfName(settings.columns, column) < 0)
            return reads->lacks(u"Settings"_s, column);
    }
    reads->prepare(sides.source, settingsSelect(), u"Settings"_s);
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
bool mergeVehicleConfigurations(const MergeRule &, const MergeSides &sides, int *added, QString *error)
{
    const TableInfo incoming = tableInfo(sides.source, u"VehicleConfigurations"_s);
    const TableInfo local = tableInfo(sides.target, u"VehicleConfigurations"_s);
    if (!incoming.exists() || !local.exists())
        return true;
    const QStringList common = commonColumns(incoming, local);
    const QStringList nameFields = configurationNameFields(incoming);
    if (nameFields.isEmpty() || indexOfName(common, u"Manufacturer"_s) < 0 || indexOfName(common, u"Model"_s) < 0)
        return true;
    QSet<ConfigurationKey> present;
    if (!localConfigurations(sides.target, local, local.columns.at(indexOfName(local.columns, u"Manufacturer"_s)),
            local.columns.at(indexOfName(local.columns, u"Model"_s)), &present, error))
        return false;
    TablePass pass(sides.target, incoming, local, insertColumnsFor(common, local), false);
    QSqlQuery rows(sides.source);
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

// The configurations are read whole, their names as SQLite's text of them too.
void prepareConfigurationReads(const MergeRule &, const MergeSides &sides, MergeReads *reads)
{
    if (const TableInfo incoming = tableInfo(sides.source, u"VehicleConfigurations"_s); incoming.exists())
        reads->prepare(sides.source, selectAll(incoming.name, configurationNameFields(incoming)), incoming.name);
}

bool mergeVehicleCatalog(const MergeRule &, const MergeSides &sides, int *added, QString *error)
{
    const TableInfo manufacturers = tableInfo(sides.source, u"Manufacturers"_s);
    if (!manufacturers.exists() || !tableInfo(sides.target, u"Manufacturers"_s).exists())
        return true;
    QHash<qint64, qint64> manufacturerIds;
    {
        QSqlQuery rows(sides.source);
        rows.setForwardOnly(true);
        if (!rows.exec(manufacturersSelect(manufacturers))) {
            *error = logging::shownFailure(
                u"Не удалось прочитать производителей из базы пакета"_s, rows.lastError().text(), u"sync"_s);
            return false;
        }
        // The incoming row without its Id.
        const QStringList inserted = manufacturerColumns(manufacturers).mid(1);
        QSqlQuery insert(sides.target);
        if (!insert.prepare(insertStatement(u"Manufacturers"_s, inserted, false))) {
            *error = storage::shownSqlFailure(u"Не удалось добавить производителя"_s, insert.lastError(), u"sync"_s);
            return false;
        }
        QSqlQuery probe(sides.target);
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
                *error
                    = storage::shownSqlFailure(u"Не удалось добавить производителя"_s, insert.lastError(), u"sync"_s);
                return false;
            }
            manufacturerIds.insert(oldId, insert.lastInsertId().toLongLong());
            ++*added;
        }
    }

    const TableInfo incoming = tableInfo(sides.source, u"Models"_s);
    const TableInfo local = tableInfo(sides.target, u"Models"_s);
    if (!incoming.exists() || !local.exists())
        return true;
    QSqlQuery rows(sides.source);
    rows.setForwardOnly(true);
    if (!rows.exec(selectAll(incoming.name))) {
        *error = logging::shownFailure(
            u"Не удалось прочитать модели из базы пакета"_s, rows.lastError().text(), u"sync"_s);
        return false;
    }
    const int manufacturerField = indexOfName(incoming.columns, u"ManufacturerId"_s);
    const int nameField = indexOfName(incoming.columns, u"Name"_s);
    TablePass pass(sides.target, incoming, local, insertColumnsFor(commonColumns(incoming, local), local), false);
    const int manufacturerColumn = indexOfName(pass.columns(), u"ManufacturerId"_s);
    QSqlQuery probe(sides.target);
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

void prepareVehicleCatalogReads(const MergeRule &, const MergeSides &sides, MergeReads *reads)
{
    const TableInfo manufacturers = tableInfo(sides.source, u"Manufacturers"_s);
    const TableInfo models = tableInfo(sides.source, u"Models"_s);
    if (manufacturers.exists() && reads->prepare(sides.source, manufacturersSelect(manufacturers), u"Manufacturers"_s)
        && models.exists())
        reads->prepare(sides.source, selectAll(models.name), u"Models"_s);
}

bool mergeGeneric(const MergeRule &, const MergeSides &sides, int *added, QString *error)
{
    const QList<TableInfo> localTables = tables(sides.target);
    for (const TableInfo &incoming : tables(sides.source, sides.fileName)) {
        const TableInfo local = findTable(localTables, incoming.name);
        if (local.exists() && !mergeSimpleTable(sides.source, sides.target, incoming, local, nullptr, added, error))
            return false;
    }
    return true;
}

// Every table the rule reads is read whole.
void prepareGenericReads(const MergeRule &, const MergeSides &sides, MergeReads *reads)
{
    for (const TableInfo &incoming : tables(sides.source, sides.fileName)) {
        if (!reads->prepare(sides.source, selectAll(incoming.name), incoming.name))
            return;
    }
}

bool mergeList(const MergeRule &rule, const MergeSides &sides, int *added, QString *error)
{
    return mergeNamedList(sides.source, sides.target, rule.listTable, rule.nameColumn, added, error);
}

// A list is read whole.
void prepareListReads(const MergeRule &rule, const MergeSides &sides, MergeReads *reads)
{
    if (const TableInfo incoming = tableInfo(sides.source, rule.listTable); incoming.exists())
        reads->prepare(sides.source, selectAll(incoming.name), incoming.name);
}

bool mergeReports(const MergeRule &, const MergeSides &sides, int *added, QString *error)
{
    return mergeDriverCards(sides.source, sides.target, added, error);
}

void prepareReportReads(const MergeRule &, const MergeSides &sides, MergeReads *reads)
{
    prepareDriverCardReads(sides.source, sides.target, reads);
}

} // namespace

bool MergeReads::prepare(const QSqlDatabase &database, const QString &statement, const QString &table)
{
    if (!isSound())
        return false;
    QSqlQuery query(database);
    if (query.prepare(statement))
        return true;
    m_fault = {table, {}, query.lastError().text()};
    return false;
}

void MergeReads::lacks(const QString &table, const QString &column)
{
    if (isSound())
        m_fault = {table, column, {}};
}

void MergeReads::failed(const QString &systemText)
{
    if (isSound())
        m_fault = {{}, {}, systemText};
}

const MergeRule &mergeRule(const QString &fileName)
{
    static const MergeRule rules[] = {
        {u"VehicleConfigurations.db"_s, {}, {}, mergeVehicleConfigurations, prepareConfigurationReads},
        {u"SettingsDB.db"_s, {}, {}, mergeSettings, prepareSettingsReads},
        {u"MasterDB.db"_s, u"Masters"_s, u"FullName"_s, mergeList, prepareListReads},
        {u"CustomersDB.db"_s, u"Customers"_s, u"CustomerName"_s, mergeList, prepareListReads},
        {u"VehicleDB.db"_s, {}, {}, mergeVehicleCatalog, prepareVehicleCatalogReads},
        {u"driver_cards.db"_s, {}, {}, mergeReports, prepareReportReads},
        {{}, {}, {}, mergeGeneric, prepareGenericReads},
    };
    for (const MergeRule &rule : rules) {
        if (rule.fileName == fileName)
            return rule;
    }
    // The generic rule, last.
    return rules[std::size(rules) - 1];
}

bool mergeByRule(
    const QString &fileName, const QSqlDatabase &source, const QSqlDatabase &target, int *added, QString *error)
{
    const MergeRule &rule = mergeRule(fileName);
    return rule.merge(rule, {source, target, fileName}, added, error);
}

MergeReadFault prepareMergeReads(const QSqlDatabase &source, const QSqlDatabase &target, const QString &fileName)
{
    const MergeRule &rule = mergeRule(fileName);
    MergeReads reads;
    rule.prepareReads(rule, {source, target, fileName}, &reads);
    return reads.fault();
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

} // namespace tessaron::sync
