#pragma once

#include "sync/merge_rules.h"
#include "sync/table_catalogue.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QString>

// The rule of the report database: its report headers matched to the local reports, then the rows of every child
// table moved to the local report ids. Only the synchronisation code and its tests include this header.
namespace tessaron::sync {

struct ChildTable;

// One incoming report and the local one its rows go to. Fresh: the local report was inserted for it by this
// merge and has no rows yet. Round: how many incoming reports before it (by id) go to the same local one; the rows
// of each round are compared with what the local report holds after the rounds before.
struct ReportLink
{
    int reportType;
    qint64 incomingId;
    qint64 localId;
    bool fresh;
    int round;
};

// What the links hold: whether any report is fresh, whether any goes to a report the local file held, and whether any
// local report takes more than one incoming report (rounds).
struct LinkSummary
{
    bool hasFresh = false;
    bool hasKept = false;
    bool hasRounds = false;
};

// Fills the links table of this connection. False with the error set when a statement fails.
bool writeReportLinks(const QSqlDatabase &target, const QList<ReportLink> &links, LinkSummary *summary, QString *error);

// The links of one header table's map, incoming reports in id order.
void appendLinks(QList<ReportLink> *links, int reportType, const QHash<qint64, qint64> &ids, const QSet<qint64> &fresh);

// Merges one child table of the report database inside SQLite, the incoming file attached as "incoming", by the
// statements of childRowStatements: the rows of reports new here if any, then, if any report goes to one the local file
// held, the missing copies of the candidates if any. False, with the error set, when a statement fails.
bool mergeReportChildren(
    const QSqlDatabase &target, const ChildTable &table, const LinkSummary &links, int *added, QString *error);

// The legacy report file has no index by which the merge can find the rows of one report in its typed child tables,
// so each lookup would scan the whole table. These indexes (the report id first) add no row and change no value;
// they serve later merges too.
void ensureReportIndexes(const QSqlDatabase &target, const QList<TableInfo> &localTables);

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

// Prepares every statement by which mergeDriverCards reads the incoming file: on source, the report headers and their
// meta and the tables without report ids; on target, to which the file is attached, the copies of the child rows,
// through link and kept-row tables made here empty and temporary.
void prepareDriverCardReads(const QSqlDatabase &source, const QSqlDatabase &target, MergeReads *reads);

} // namespace tessaron::sync
