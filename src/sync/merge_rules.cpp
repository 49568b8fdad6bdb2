#include "merge_rules.h"

#include "logging/shown_failure.h"
#include "storage/sql_connection.h"
#include "sync/merge_statements.h"
#include "sync/merge_tables.h"
#include "sync/report_child_statements.h"
#include "sync/report_matching.h"
#include "sync/report_merge.h"
#include "sync/table_pass.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;
using tessaron::storage::quoteIdentifier;

namespace tessaron::sync {

namespace {

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
    if (!upsert.prepare(settingsUpsert())) {
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

} // namespace

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

} // namespace tessaron::sync
