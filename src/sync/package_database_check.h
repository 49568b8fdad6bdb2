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

// Makes the layout ownLayout gives for the file name, so that a package database is checked against it. True when it
// is made (or the name has none). False when the program cannot make it (its temporary folder cannot be made or
// written: a full or read-only disk): a failure of this installation's, not of the package, which *error tells as a
// Russian clause naming the temporary folder, and the log says why.
bool prepareOwnLayout(const QString &fileName, QString *error);

// Whether the merge under the file name's rule reads the incoming table of that name: a table of the program's
// own layout for that name (in any letter case), or any table at all under a name the program keeps no database
// under.
bool isReadTable(const QString &fileName, const QString &table);

// Keeps the schema of a file that arrived from outside from running code through this connection: its views,
// triggers and defaults may call only functions without side effects. For a connection that only reads such a
// file, checkPackageDatabase also turns off CHECK constraints, which SQLite's own check would evaluate.
void distrustSchema(const QSqlDatabase &database);

// The name under which a package database file is opened and attached: a URI that makes SQLite read that one file
// as it lies, read only and immutable. A rollback journal, WAL or shared-memory file beside it is then never read,
// played back or deleted, and none is made: a hot journal would rewrite the file and then delete whatever file its
// super-journal name points at, anywhere. A connection opens it with packageConnectOptions(); one that attaches it
// must have been opened with uriConnectOption().
QString packageDatabaseUri(const QString &path);
// Qt's connect options for a connection on packageDatabaseUri: the name read as a URI, the file opened read only.
QString packageConnectOptions();
// Qt's connect option under which SQLite reads the names a connection attaches as URIs.
QString uriConnectOption();

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
// grows with the file and never with what its schema would compute or hold. In order, first before SQLite has built
// the file's schema (the connection opened on packageDatabaseUri, or on the file's path, and not used yet): the size
// of its schema, read from the file the connection names (schemaSize; at most 256 KB, where the program's largest is
// under 10 KB, as SQLite builds all of it in memory at up to a hundred times its size); the text encoding (UTF-8, as
// the program's own files, which the file is attached to); every table the merge under the file name's rule reads is an
// ordinary table (no view or virtual table under its name) without generated columns, and has the program's key
// columns; SQLite finds those tables whole ("PRAGMA quick_check" of each, nothing else: a view, trigger or table the
// merge does not read stays unread); no row holds NULL in a column the program declares NOT NULL; every statement by
// which the merge reads the file can be prepared (prepareMergeReads, the file attached to an empty database of the
// program's own layout made in memory): what the merge will read is shown readable before any change. The file is
// only read.
PackageDatabaseFault checkPackageDatabase(const QSqlDatabase &database, const QString &fileName);

// The same for the file at path, opened for this check alone.
PackageDatabaseFault checkPackageDatabaseFile(const QString &path, const QString &fileName);

} // namespace tessaron::sync
