#include "table_catalogue.h"

#include "storage/sql_connection.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;
using tessaron::storage::quoteIdentifier;

namespace tessaron::sync {

namespace {

// What "PRAGMA table_xinfo" says in its column "hidden" of a generated column: 2 computed when read, 3 stored.
constexpr int virtualGeneratedColumn = 2;
constexpr int storedGeneratedColumn = 3;

// The names SQLite keeps for its own tables and indexes.
const QString notSqlitesOwn = u"name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"_s;

// Runs the statement; false, with SQLite's words in *error when given, when it fails.
bool run(QSqlQuery &query, const QString &statement, QString *error)
{
    query.setForwardOnly(true);
    if (query.exec(statement))
        return true;
    if (error)
        *error = query.lastError().text();
    return false;
}

} // namespace

bool readCatalogue(const QSqlDatabase &database, QList<CatalogueEntry> *entries, QString *error)
{
    entries->clear();
    QSqlQuery query(database);
    if (!run(query,
            u"SELECT type, name FROM main.sqlite_schema WHERE type IN ('table', 'view') AND "_s + notSqlitesOwn
                + u" ORDER BY name"_s,
            error))
        return false;
    while (query.next())
        entries->append({query.value(1).toString(), query.value(0).toString() == u"view"_s});
    return true;
}

TableInfo describeTable(const QSqlDatabase &database, const QString &name, QString *error)
{
    QSqlQuery query(database);
    if (!run(query, u"PRAGMA main.table_list(%1)"_s.arg(quoteIdentifier(name)), error) || !query.next())
        return {};
    TableInfo info;
    if (query.value(2).toString() == u"virtual"_s) {
        info.name = name;
        info.isVirtual = true;
        return info;
    }
    query.finish();
    if (!run(query, u"PRAGMA main.table_xinfo(%1)"_s.arg(quoteIdentifier(name)), error))
        return {};
    while (query.next()) {
        const int hidden = query.value(6).toInt();
        const ColumnInfo column {query.value(1).toString(), query.value(3).toInt() != 0, !query.value(4).isNull(),
            query.value(5).toInt() > 0, hidden == virtualGeneratedColumn || hidden == storedGeneratedColumn};
        info.declared.append(column);
        if (!column.generated)
            info.columns.append(column.name);
        if (column.inPrimaryKey)
            info.primaryKeyColumns.append(column.name);
    }
    if (!info.declared.isEmpty())
        info.name = name;
    return info;
}

bool readReferencingColumns(const QSqlDatabase &database, const QString &table, QStringList *columns)
{
    QSqlQuery query(database);
    if (!run(query, u"PRAGMA main.foreign_key_list(%1)"_s.arg(quoteIdentifier(table)), nullptr))
        return false;
    while (query.next())
        columns->append(query.value(3).toString());
    return true;
}

bool readSchemaStatements(const QSqlDatabase &database, QStringList *statements)
{
    QSqlQuery query(database);
    if (!run(query,
            u"SELECT sql FROM main.sqlite_schema WHERE type IN ('table', 'index') AND sql IS NOT NULL AND "_s
                + notSqlitesOwn + u" ORDER BY rowid"_s,
            nullptr))
        return false;
    while (query.next())
        statements->append(query.value(0).toString());
    return true;
}

} // namespace tessaron::sync
