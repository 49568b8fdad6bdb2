#pragma once

#include "sync/table_catalogue.h"

#include <QString>
#include <QStringList>

// The text of the statements by which the merge reads an incoming database and writes the local one, built in one
// place for the merge and for the check that prepares them first. Every run-time name is quoted; every value is a
// parameter. Only the synchronisation code and its tests include this header.
namespace tessaron::sync {

// The schema name under which the incoming file is attached to the local connection.
inline const QString incomingSchema = QStringLiteral("incoming");

// The names, quoted, joined by ", ".
QString quotedList(const QStringList &names);

// Every column of every row of a table of the incoming database, on its own connection; the expressions of more, when
// given, follow the table's own fields.
QString selectAll(const QString &table, const QStringList &more = {});

// Inserts one row of the columns into the local table, its values bound in the columns' order.
QString insertStatement(const QString &table, const QStringList &columns, bool ignoreOnConflict);

// The id of the first row of the local table equal in every column (IS, so NULL equals NULL), the values bound.
QString probeStatement(const QString &table, const QStringList &columns, const QString &idColumn);

// The settings' columns, read by name: each is written over the local value of its key (LastModified decides), so none
// can be read as absent.
extern const QStringList settingsColumns;
// The incoming settings, in the order of settingsColumns.
QString settingsSelect();
// Writes one incoming setting (settingsColumns bound in order) over the local value of its key when it is at least as
// new and differs.
QString settingsUpsert();

// The manufacturers' columns read from the incoming file: Id and Name, which the check finds in every file it passes,
// and CreatedAt where the file has it.
QStringList manufacturerColumns(const TableInfo &incoming);
// The incoming manufacturers, in the order of manufacturerColumns.
QString manufacturersSelect(const TableInfo &incoming);

// The column's value as SQLite's text of it, the text a TEXT column stores for a number.
QString asText(const QString &column);
// A configuration's manufacturer and model as SQLite's text of them, read after the incoming row's own fields; empty
// when the table lacks either.
QStringList configurationNameFields(const TableInfo &incoming);

} // namespace tessaron::sync
