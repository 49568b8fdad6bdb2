#pragma once

#include "sync/table_catalogue.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

class QSqlQuery;
class QSqlRecord;

// The row-by-row merge of an incoming SQLite database into the local one. Only the synchronisation code and
// its tests include this header. Every function works on the connections it is handed (the incoming one is
// only read) and keeps no state; callers with an error argument pass a non-null text, written only on failure.
namespace tessaron::sync {

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

// One value per target column: the override under that exact name, else the row's field of the source column
// of exactly that name, else null. The row is the current row of a "SELECT *" over the source table.
QList<QVariant> rowValues(const QSqlRecord &row, const QStringList &targetColumns, const QStringList &sourceColumns,
    const QHash<QString, QVariant> &overrides);

// The duplicate probe: true when the table holds a row equal in every given column (IS, so NULL equals NULL),
// with that row's id column in *foundId. No columns, no row or a failing statement give false. The query is
// prepared only when it does not already hold this statement, so one query can serve a whole table pass.
bool sameValue(QSqlQuery &query, const QString &table, const QStringList &columns, const QList<QVariant> &values,
    qint64 *foundId, const QString &idColumn);

// Inserts one row ("INSERT OR IGNORE" when ignoreOnConflict). False with no columns (error untouched) or when
// the statement fails (error set). On success *insertedId, when given, receives the last insert id.
bool insertRow(const QSqlDatabase &target, const QString &table, const QStringList &columns,
    const QList<QVariant> &values, qint64 *insertedId, QString *error, bool ignoreOnConflict);

// Merges one table: rows of the source that the target lacks are inserted and counted in *added. A single-keyed
// target assigns its own keys and drops rows equal to one it has (generated columns aside); any other target
// takes every common column through "INSERT OR IGNORE". With a report-id map, rows whose ReportId the map lacks
// are dropped and the others take the mapped id. False, with the error set, when a read or insert fails.
bool mergeSimpleTable(const QSqlDatabase &source, const QSqlDatabase &target, const TableInfo &sourceInfo,
    const TableInfo &targetInfo, const QHash<qint64, qint64> *reportIdMap, int *added, QString *error);

// Merges the incoming database file into the local one by the rule of the local file's name (exact letter
// case): "SettingsDB.db", "MasterDB.db", "CustomersDB.db", "VehicleConfigurations.db", "VehicleDB.db" and
// "driver_cards.db" have their own rules, any other name the generic one. A missing incoming file is nothing
// to merge. A missing local file is made with the program's own layout for its name (the package databases
// and "ReportsDB.db"; any other name is not taken, and nothing is made) and the incoming rows are merged into
// it like into an existing one, so nothing but the program's tables, columns and indexes arrives and the rows
// are counted; the file appears only when complete. Only the tables of the program's layout for the name are read
// from the incoming file (every table under another name). An incoming file that checkPackageDatabase does not
// pass is refused first ("База данных в пакете повреждена", or "База данных в пакете не принята: " and the
// reason). The merge runs in one transaction: on false the local file is as it was, *added is unchanged and
// *error says why; on success the rows that changed the local file (inserted, or settings updated to other
// values) are added to *added. A missing local file is made at buildingDatabasePath(localPath, buildId) (a fresh
// id when buildId is empty), so that what a killed process leaves there can be told by the id of its owner.
bool mergeDatabase(
    const QString &incomingPath, const QString &localPath, int *added, QString *error, const QString &buildId = {});

// Where mergeDatabase makes a missing database until it is complete: "<localPath>.<buildId>.new".
QString buildingDatabasePath(const QString &localPath, const QString &buildId);

// Adds each name of the incoming list that the local one lacks (exact comparison); names already present
// keep their local row. Counts each insert.
bool mergeNamedList(const QSqlDatabase &source, const QSqlDatabase &target, const QString &table,
    const QString &nameColumn, int *added, QString *error);

// Merges one report header table and returns the map from each incoming report id to the id of the local
// report of the same download, inserted when missing (its id then also goes into *inserted when given). The
// same download is the archive's own duplicate rule over the reports' meta: the same fingerprint, or, where
// either has none, the same path. A report whose meta names neither is matched only with a local report that
// names neither either and whose header row is equal in every column but the key and the generated ones. A
// download the incoming file holds more than once (the same fingerprint) is in the map once, under its first
// report, which brings its rows. A failure shows only in a non-empty *error (the map is then empty); a table
// missing or not single-keyed on either side gives an empty map and no error.
QHash<qint64, qint64> mergeReportParents(const QSqlDatabase &source, const QSqlDatabase &target, const QString &table,
    int *added, QString *error, QSet<qint64> *inserted = nullptr);

// The rule of the legacy report database: report headers first, then every child table of the program's layout
// with its rows moved to the local report ids; rows of reports the incoming file lacks are dropped. A report new
// here takes all its rows; for a report both sides hold, each child table keeps, row by row, as many copies as the
// side holding more has (rows compared in every column but the key, the report id and the generated ones), so that rows
// that repeat within a report survive and a repeated merge adds nothing. The child rows are copied inside SQLite: the
// incoming file must be attached to the target connection as schema "incoming" (mergeDatabase does so).
bool mergeDriverCards(const QSqlDatabase &source, const QSqlDatabase &target, int *added, QString *error);

// Attaches the incoming file to the connection under the schema name by which the merge's statements read it, as
// mergeDatabase attaches it to the local connection. False, with SQLite's words in *error, when SQLite cannot.
bool attachIncoming(const QSqlDatabase &target, const QString &incomingPath, QString *error);

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

// Creates the parent folder of the file path with every missing parent. On failure *error is
// "Не удалось создать каталог: <folder>" and the result false.
bool ensureParent(const QString &filePath, QString *error);

} // namespace tessaron::sync
