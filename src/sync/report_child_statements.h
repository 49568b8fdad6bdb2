#pragma once

#include "sync/table_catalogue.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The statements by which the report database's rule moves the rows of the report file's child tables inside SQLite,
// the incoming file attached to the local connection. Only the synchronisation code and its tests include this header.
namespace tessaron::sync {

// The report types the generic report tables store in ReportType; a child row of the typed tables hangs on the
// header its table's name gives (a "Tacho" table on a vehicle unit, any other on a card).
extern const int cardReportType;
extern const int unitReportType;

// The temporary table of the local connection that links each incoming report to the local one its rows go to.
extern const QString reportLinksTable;

// One child table of the report file as the rule merges it: the incoming table into the local one of its name.
struct ChildTable
{
    TableInfo incoming;
    TableInfo local;
    // The SQL expression over the incoming row "s" that names the header its row hangs on (a report type); empty for
    // a table without report ids, merged as a simple table.
    QString reportType;
};

// The child tables of the incoming report file that the rule reads, each with the local table of its name; a table
// the local file lacks, and a generic one without ReportType, are left out.
QList<ChildTable> reportChildTables(const QSqlDatabase &source, const QList<TableInfo> &localTables);

// The statements that merge the rows of one child table (with report ids; none when the tables share no column).
struct ChildRowStatements
{
    // Copies every row of the reports new here, in their incoming order.
    QString copyFresh;
    // Make the table of kept rows anew, empty, its columns of the local table's types.
    QStringList makeKeptRows;
    // Fills it in one pass over the incoming table.
    QString fillKeptRows;
    // Make the table of candidates, indexed by the compared columns, each marked whole or not: when every local report
    // takes one incoming report at most, by one count of the kept rows and the local rows of their reports; otherwise
    // (rounds) by a count of each round's copies, then of their most in any round.
    QStringList makeCandidates;
    QStringList makeCandidatesOfRounds;
    // Whether every candidate is whole: null when there is none.
    QString findCandidates;
    // Inserts every kept row of the candidates, all whole, in rounds and incoming order.
    QString copyWhole;
    // Inserts each kept row of a candidate whose copy is one more than the local report held (after the rounds
    // before; every copy of a whole one), in rounds and incoming order.
    QString copyMissing;
};

// Rows are compared in every column but the key, the report id and the generated ones. A report new here takes every
// row of its incoming report. For one the local file held, each copy of a row is numbered within its incoming report,
// and a copy is inserted when its number exceeds how often the local report held the row before (its own rows, and
// the most any earlier round brought), so the local report ends with as many copies as the side holding more had.
// The kept rows and the local rows of their reports are counted by a sort or two; only a row of which some incoming
// report holds more copies than the local report (a candidate) is numbered. The incoming table is read once, whatever
// the number of rounds, and values are compared as the local table stores them, whatever types the sender's file
// declares.
ChildRowStatements childRowStatements(const ChildTable &table);

} // namespace tessaron::sync
