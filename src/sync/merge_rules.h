#pragma once

#include <QSqlDatabase>
#include <QString>

// The rules by which an incoming database is merged into the local one, chosen by the local file's name, and the
// statements by which each reads the incoming file. Only the synchronisation code and its tests include this header.
namespace tessaron::sync {

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

// The preparation of the statements by which a rule reads an incoming file: each is prepared, and none run, until the
// first fault, which is kept.
class MergeReads
{
public:
    // True when SQLite prepares the statement on the database; otherwise false, the fault naming the table it reads.
    bool prepare(const QSqlDatabase &database, const QString &statement, const QString &table);
    // The rule reads the column by name and the table lacks it.
    void lacks(const QString &table, const QString &column);
    // What the statements read could not be made ready (SQLite's words).
    void failed(const QString &systemText);
    bool isSound() const { return m_fault.isNone(); }
    const MergeReadFault &fault() const { return m_fault; }

private:
    MergeReadFault m_fault;
};

// What a rule works on. source: the incoming file, only read. target: the local database, to which the same file is
// attached as attachIncoming does; when the check prepares the reads, an empty database of the program's own layout
// for the name, of which only temporary tables are made. fileName: the local file's name, which chose the rule.
struct MergeSides
{
    const QSqlDatabase &source;
    const QSqlDatabase &target;
    const QString &fileName;
};

// One rule of the merge: how it merges an incoming file and every statement by which it reads one, side by side, so
// that the check prepares what the merge runs.
struct MergeRule
{
    // The local file's name the rule is for, in its exact letter case; empty for the generic rule, which takes any
    // other name.
    QString fileName;
    // For the named-list rule, the list's table and its name column.
    QString listTable;
    QString nameColumn;
    // Merges the incoming file into the local one. False, with the error set, when a read or write fails; the caller's
    // transaction then rolls back what was written.
    bool (*merge)(const MergeRule &rule, const MergeSides &sides, int *added, QString *error);
    // Prepares every statement by which merge reads the incoming file, on source or on target.
    void (*prepareReads)(const MergeRule &rule, const MergeSides &sides, MergeReads *reads);
};

// The rule of the local file's name (exact letter case): "SettingsDB.db", "MasterDB.db", "CustomersDB.db",
// "VehicleConfigurations.db", "VehicleDB.db" and "driver_cards.db" have their own rules, any other name the generic
// one.
const MergeRule &mergeRule(const QString &fileName);

// Merges the incoming file open on source into the local database on target by the rule of the file name, as
// MergeRule::merge does.
bool mergeByRule(
    const QString &fileName, const QSqlDatabase &source, const QSqlDatabase &target, int *added, QString *error);

// Prepares, and runs none of, every statement by which the merge under the file name's rule reads the incoming file
// open on source: those it runs on source itself and those it runs on target, a connection to a database of the
// program's own layout for that name (empty) to which the same file is attached by attachIncoming; under a name
// without a layout target is not used. Only temporary tables of target are made. The first statement SQLite cannot
// prepare, or a column the rule reads by name and the table lacks, gives the fault.
MergeReadFault prepareMergeReads(const QSqlDatabase &source, const QSqlDatabase &target, const QString &fileName);

// Adds each name of the incoming list that the local one lacks (exact comparison); names already present
// keep their local row. Counts each insert.
bool mergeNamedList(const QSqlDatabase &source, const QSqlDatabase &target, const QString &table,
    const QString &nameColumn, int *added, QString *error);

} // namespace tessaron::sync
