#pragma once

#include "sync/table_catalogue.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The tables of a merge: which of a database's tables the merge looks into, and how the columns of an incoming table
// pair with those of the local one. Only the synchronisation code and its tests include this header.
namespace tessaron::sync {

// The column by which a report's rows name their report, in any letter case.
inline const QString reportIdColumnName = QStringLiteral("ReportId");

// "ImportDate" and "CreationTimestamp", in any letter case: stamps of when a row was stored, left out of
// every duplicate test.
bool isGeneratedColumn(const QString &column);

// Every ordinary table of the database except SQLite's own, in name order; with readUnder, a file name, only those the
// merge under that name's rule reads from an incoming file (isReadTable), and no other is looked into. A table whose
// columns cannot be read is left out; a failing catalogue query gives an empty list.
QList<TableInfo> tables(const QSqlDatabase &database, const QString &readUnder = {});

// The table of tables() whose name equals the given one in any letter case, else an empty TableInfo; no other table
// is looked into.
TableInfo tableInfo(const QSqlDatabase &database, const QString &table);

// The columns of a, in a's order and spelling, that b has in any letter case.
QStringList commonColumns(const TableInfo &a, const TableInfo &b);

// The position of the first name equal to name in any letter case, or -1.
int indexOfName(const QStringList &names, const QString &name);

// The table of the list whose name equals the given one in any letter case, else an empty TableInfo.
TableInfo findTable(const QList<TableInfo> &list, const QString &table);

// The columns a row is inserted with: a single-keyed target assigns its own key.
QStringList insertColumnsFor(const QStringList &common, const TableInfo &target);

} // namespace tessaron::sync
