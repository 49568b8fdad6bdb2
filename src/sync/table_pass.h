#pragma once

#include "sync/table_catalogue.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

class QSqlRecord;

// The row pass of the merge: an incoming table read row by row, each row written into the local table unless the
// local table has it, and the helpers every rule binds and runs its statements with. Only the synchronisation code
// and its tests include this header.
namespace tessaron::sync {

// One pass over a table of the incoming database into a local table: the columns rows are written with,
// where their values lie in a source row, and the probe and insert, each prepared once and bound again for
// every row, so that a large table of duplicates costs one indexed lookup per row.
class TablePass
{
public:
    TablePass(const QSqlDatabase &target, const TableInfo &sourceInfo, const TableInfo &targetInfo,
        const QStringList &columns, bool ignoreOnConflict);

    const QStringList &columns() const { return m_columns; }

    // The values of the pass's columns in the current row of a "SELECT *" over the source table.
    QList<QVariant> values(const QSqlQuery &row) const;

    // The same, with the column at mappedColumn (when >= 0) holding the local id of a mapped record.
    QList<QVariant> values(const QSqlQuery &row, int mappedColumn, qint64 localId) const;

    // True when the local table holds a row equal in every column but the generated ones.
    bool findDuplicate(const QList<QVariant> &values, qint64 *foundId);

    // The number of rows written, or -1 with the error set.
    int insert(const QList<QVariant> &values, qint64 *insertedId, QString *error);

    // Writes the row without a probe and counts it when the statement wrote it.
    bool append(const QList<QVariant> &values, int *added, QString *error);

    // Writes the row unless the local table has it: a single-keyed table is probed first, any other is left to
    // the insert ("INSERT OR IGNORE" when the pass was made with ignoreOnConflict).
    bool store(const QList<QVariant> &values, int *added, QString *error);

private:
    TableInfo m_target;
    QStringList m_columns;
    QList<int> m_fields;
    QList<int> m_compared;
    bool m_probeReady = false;
    QString m_insertError;
    QSqlQuery m_probe;
    QSqlQuery m_insert;
};

// "SELECT *" over a table of the incoming database, read forward only, with the expressions of more. False, with the
// error set, when it fails.
bool readTable(QSqlQuery &query, const QString &table, QString *error, const QStringList &more = {});

// Binds the values to the prepared statement's parameters in order.
void bindAll(QSqlQuery &query, const QList<QVariant> &values);

// Runs a prepared duplicate probe; a failing one finds nothing.
bool execProbe(QSqlQuery &query, const QList<QVariant> &values, qint64 *foundId);

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

} // namespace tessaron::sync
