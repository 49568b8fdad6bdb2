#include "merge_tables.h"

#include "sync/package_database_check.h"

using namespace Qt::StringLiterals;

namespace tessaron::sync {

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
        if (entry.kind != CatalogueKind::Table || (!readUnder.isEmpty() && !isReadTable(readUnder, entry.name)))
            continue;
        if (TableInfo info = describeTable(database, entry); info.exists())
            list.append(info);
    }
    return list;
}

TableInfo tableInfo(const QSqlDatabase &database, const QString &table)
{
    QList<CatalogueEntry> entries;
    readCatalogue(database, &entries);
    for (const CatalogueEntry &entry : std::as_const(entries)) {
        if (entry.kind == CatalogueKind::Table && entry.name.compare(table, Qt::CaseInsensitive) == 0)
            return describeTable(database, entry);
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

QStringList insertColumnsFor(const QStringList &common, const TableInfo &target)
{
    QStringList columns;
    for (const QString &column : common) {
        if (!target.isSingleKeyed() || indexOfName(target.primaryKeyColumns, column) < 0)
            columns.append(column);
    }
    return columns;
}

} // namespace tessaron::sync
