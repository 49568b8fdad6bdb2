#include "merge_statements.h"

#include "storage/sql_connection.h"
#include "sync/merge_tables.h"

using namespace Qt::StringLiterals;
using tessaron::storage::quoteIdentifier;

namespace tessaron::sync {

QString quotedList(const QStringList &names)
{
    QStringList quoted;
    quoted.reserve(names.size());
    for (const QString &name : names)
        quoted.append(quoteIdentifier(name));
    return quoted.join(u", "_s);
}

QString selectAll(const QString &table, const QStringList &more)
{
    const QString fields = more.isEmpty() ? u"*"_s : u"*, "_s + more.join(u", "_s);
    return u"SELECT %1 FROM main.%2"_s.arg(fields, quoteIdentifier(table));
}

QString insertStatement(const QString &table, const QStringList &columns, bool ignoreOnConflict)
{
    return u"INSERT %1 INTO main.%2 (%3) VALUES (%4)"_s.arg(ignoreOnConflict ? u"OR IGNORE"_s : QString(),
        quoteIdentifier(table), quotedList(columns), QStringList(columns.size(), u"?"_s).join(u", "_s));
}

QString probeStatement(const QString &table, const QStringList &columns, const QString &idColumn)
{
    QStringList conditions;
    conditions.reserve(columns.size());
    for (const QString &column : columns)
        conditions.append(quoteIdentifier(column) + u" IS ?"_s);
    return u"SELECT %1 FROM main.%2 WHERE %3 LIMIT 1"_s.arg(
        quoteIdentifier(idColumn), quoteIdentifier(table), conditions.join(u" AND "_s));
}

const QStringList settingsColumns {
    u"Section"_s, u"Key"_s, u"Value"_s, u"ValueType"_s, u"Description"_s, u"LastModified"_s};

QString settingsSelect()
{
    return u"SELECT %1 FROM main.Settings"_s.arg(settingsColumns.join(u", "_s));
}

QString settingsUpsert()
{
    return u"INSERT INTO main.Settings(Section,Key,Value,ValueType,Description,LastModified) "
           "VALUES(?,?,?,?,?,?) ON CONFLICT(Section,Key) DO UPDATE SET Value=excluded.Value,"
           "ValueType=excluded.ValueType,Description=excluded.Description,"
           "LastModified=excluded.LastModified WHERE excluded.LastModified >= Settings.LastModified "
           "AND (Value IS NOT excluded.Value OR ValueType IS NOT excluded.ValueType "
           "OR Description IS NOT excluded.Description OR LastModified IS NOT excluded.LastModified)"_s;
}

// Without CreatedAt a manufacturer new here takes the local default stamp: the column is no key, and a manufacturer the
// installation has keeps its own.
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

QString asText(const QString &column)
{
    return u"CAST(%1 AS TEXT)"_s.arg(quoteIdentifier(column));
}

QStringList configurationNameFields(const TableInfo &incoming)
{
    const int manufacturer = indexOfName(incoming.columns, u"Manufacturer"_s);
    const int model = indexOfName(incoming.columns, u"Model"_s);
    if (manufacturer < 0 || model < 0)
        return {};
    return {asText(incoming.columns.at(manufacturer)), asText(incoming.columns.at(model))};
}

} // namespace tessaron::sync
