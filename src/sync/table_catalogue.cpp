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

// The characters SQLite's tokenizer skips as blanks.
bool isSqlBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
}

// The characters of a word to SQLite's tokenizer: ASCII letters and digits, "_", "$" and every character beyond ASCII.
bool isSqlWordCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'$'
        || c.unicode() > 0x7f;
}

// The next word of an SQL statement from *position on, after the blanks and comments SQLite skips between words (a
// comment left open runs to the end); empty where none begins. *position moves past it.
QStringView nextWord(QStringView sql, qsizetype *position)
{
    qsizetype i = *position;
    while (i < sql.size()) {
        if (isSqlBlank(sql.at(i))) {
            ++i;
        } else if (sql.mid(i).startsWith(u"--")) {
            const qsizetype end = sql.indexOf(u'\n', i);
            i = end < 0 ? sql.size() : end + 1;
        } else if (sql.mid(i).startsWith(u"/*")) {
            const qsizetype end = sql.indexOf(u"*/", i + 2);
            i = end < 0 ? sql.size() : end + 2;
        } else {
            break;
        }
    }
    const qsizetype start = i;
    while (i < sql.size() && isSqlWordCharacter(sql.at(i)))
        ++i;
    *position = i;
    return sql.sliced(start, i - start);
}

} // namespace

bool readCatalogue(const QSqlDatabase &database, QList<CatalogueEntry> *entries, QString *error)
{
    entries->clear();
    QSqlQuery query(database);
    if (!run(query,
            u"SELECT type, name, sql FROM main.sqlite_schema WHERE type IN ('table', 'view') AND "_s + notSqlitesOwn
                + u" ORDER BY name"_s,
            error))
        return false;
    while (query.next()) {
        CatalogueKind kind = CatalogueKind::Table;
        if (query.value(0).toString() == u"view"_s)
            kind = CatalogueKind::View;
        else if (makesVirtualTable(query.value(2).toString()))
            kind = CatalogueKind::VirtualTable;
        entries->append({query.value(1).toString(), kind});
    }
    return true;
}

bool makesVirtualTable(QStringView statement)
{
    qsizetype position = 0;
    return nextWord(statement, &position).compare(u"CREATE", Qt::CaseInsensitive) == 0
        && nextWord(statement, &position).compare(u"VIRTUAL", Qt::CaseInsensitive) == 0;
}

TableInfo describeTable(const QSqlDatabase &database, const CatalogueEntry &entry, QString *error)
{
    TableInfo info;
    switch (entry.kind) {
    case CatalogueKind::View:
        return info;
    case CatalogueKind::VirtualTable:
        info.name = entry.name;
        info.isVirtual = true;
        return info;
    case CatalogueKind::Table:
        break;
    }
    QSqlQuery query(database);
    if (!run(query, u"PRAGMA main.table_xinfo(%1)"_s.arg(quoteIdentifier(entry.name)), error))
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
        info.name = entry.name;
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
