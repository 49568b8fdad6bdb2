#pragma once

#include <QSqlDatabase>
#include <QString>

// The rules by which an incoming database is merged into the local one, chosen by the local file's name, and the
// statements by which each reads the incoming file. Only the synchronisation code and its tests include this header.
namespace tessaron::sync {

// Merges the incoming file open on source into the local database on target by the rule of the local file's name
// (exact letter case): "SettingsDB.db", "MasterDB.db", "CustomersDB.db", "VehicleConfigurations.db", "VehicleDB.db"
// and "driver_cards.db" have their own rules, any other name the generic one. The incoming file must be attached to
// target as attachIncoming does. False, with the error set, when a read or write fails; the caller's transaction
// then rolls back what was written.
bool mergeByRule(
    const QString &fileName, const QSqlDatabase &source, const QSqlDatabase &target, int *added, QString *error);

// Adds each name of the incoming list that the local one lacks (exact comparison); names already present
// keep their local row. Counts each insert.
bool mergeNamedList(const QSqlDatabase &source, const QSqlDatabase &target, const QString &table,
    const QString &nameColumn, int *added, QString *error);

// What of an incoming file the merge under its name's rule could not read.
struct MergeReadFault
{
    // The table a statement that SQLite cannot prepare reads (as the program names it); empty with systemText set when
    // the preparation itself failed, and with both empty when every statement is prepared.
    QString table;
    // A column the rule reads by name and the table lacks; SQLite was not asked.
    QString missingColumn;
    // SQLite's words.
    QString systemText;

    bool isNone() const { return table.isEmpty() && systemText.isEmpty(); }
};

// Prepares, and runs none of, every statement by which the merge under the file name's rule reads the incoming file
// open on source: those it runs on source itself and those it runs on target, a connection to a database of the
// program's own layout for that name (empty) to which the same file is attached by attachIncoming; under a name
// without a layout target is not used. Only temporary tables of target are made. The first statement SQLite cannot
// prepare, or a column the rule reads by name and the table lacks, gives the fault.
MergeReadFault prepareMergeReads(const QSqlDatabase &source, const QSqlDatabase &target, const QString &fileName);

} // namespace tessaron::sync
