#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// What the import checks in a package database before its first change, against the layout the program's own
// repositories give a database of that name. Only the synchronisation code and its tests include this header.
namespace tessaron::sync {

// One table of the program's own layout, as its repository creates it.
struct OwnTable
{
    QString name;
    // The columns a row cannot be placed without: its key, the columns that refer to another row (a report's
    // rows to their report) and those declared NOT NULL without a default.
    QStringList keyColumns;
    // Every column declared NOT NULL.
    QStringList notNullColumns;
};

// Creates at path an empty database of the program's own layout for the file name: its tables, columns and
// indexes and nothing else (a settings store also gets its defaults, stamped older than any change). False with
// *known false for a name the program keeps no database under; false with the error set when it fails.
bool createOwnDatabase(const QString &fileName, const QString &path, bool *known, QString *error);

// The tables of the program's own layout for the file name, made once per process by createOwnDatabase in a
// temporary folder and read back. Empty with *known false for a name the program keeps no database under; empty
// with *known true when the layout could not be made.
QList<OwnTable> ownLayout(const QString &fileName, bool *known);

// Whether the merge under the file name's rule reads the incoming table of that name: a table of the program's
// own layout for that name (in any letter case), or any table at all under a name the program keeps no database
// under.
bool isReadTable(const QString &fileName, const QString &table);

// Keeps the schema of a file that arrived from outside from running code through this connection: its views,
// triggers and defaults may call only functions without side effects. For a connection that only reads such a
// file, checkPackageDatabase also turns off CHECK constraints, which SQLite's own check would evaluate.
void distrustSchema(const QSqlDatabase &database);

// What the check of a package database found.
struct PackageDatabaseFault
{
    // SQLite cannot read the file or finds it damaged; its own words are in the log.
    bool damaged = false;
    // Otherwise what the file holds that the program does not take, as a Russian clause naming the table or the
    // column ("на месте таблицы DddReportMeta лежит представление"); empty when the file is sound.
    QString reason;

    bool isNone() const { return !damaged && reason.isEmpty(); }
};

// Checks the incoming file, open read only on this connection, before anything is merged from it, at a cost that
// grows with the file and never with what its schema would compute. In order: the text encoding (UTF-8, as the
// program's own files, which the file is attached to); every table the merge under the file name's rule reads is
// an ordinary table (no view or virtual table under its name) without generated columns, and has the program's
// key columns; SQLite finds those tables whole ("PRAGMA quick_check" of each, nothing else: a view, trigger or
// table the merge does not read stays unread); no row holds NULL in a column the program declares NOT NULL; every
// statement by which the merge reads the file can be prepared (prepareMergeReads, the file attached to an empty
// database of the program's own layout made in memory): what the merge will read is shown readable before any change.
// The file is only read.
PackageDatabaseFault checkPackageDatabase(const QSqlDatabase &database, const QString &fileName);

// The same for the file at path, opened for this check alone.
PackageDatabaseFault checkPackageDatabaseFile(const QString &path, const QString &fileName);

} // namespace tessaron::sync
