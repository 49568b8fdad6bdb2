#include "table_pass.h"

#include "logging/shown_failure.h"
#include "storage/sql_connection.h"
#include "sync/merge_statements.h"
#include "sync/merge_tables.h"

#include <QSqlError>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace tessaron::sync {

namespace {

// Runs a prepared insert; the number of rows it wrote, or -1 (error set) when it failed.
int execInsert(QSqlQuery &query, const QList<QVariant> &values, qint64 *insertedId, QString *error)
{
    bindAll(query, values);
    if (!query.exec()) {
        *error = storage::shownSqlFailure(u"Не удалось добавить запись в базу"_s, query.lastError(), u"sync"_s);
        return -1;
    }
    if (insertedId)
        *insertedId = query.lastInsertId().toLongLong();
    return query.numRowsAffected();
}

// Where each target column lies in a "SELECT *" row of the source: the first source column of exactly that
// name, or -1.
QList<int> fieldPositions(const QStringList &targetColumns, const QStringList &sourceColumns)
{
    QList<int> positions;
    positions.reserve(targetColumns.size());
    for (const QString &column : targetColumns)
        positions.append(int(sourceColumns.indexOf(column)));
    return positions;
}

} // namespace

TablePass::TablePass(const QSqlDatabase &target, const TableInfo &sourceInfo, const TableInfo &targetInfo,
    const QStringList &columns, bool ignoreOnConflict)
    : m_target(targetInfo)
    , m_columns(columns)
    , m_fields(fieldPositions(columns, sourceInfo.columns))
    , m_probe(target)
    , m_insert(target)
{
    QStringList compared;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (!isGeneratedColumn(columns.at(i))) {
            compared.append(columns.at(i));
            m_compared.append(int(i));
        }
    }
    m_probeReady = targetInfo.isSingleKeyed() && !compared.isEmpty()
        && m_probe.prepare(probeStatement(targetInfo.name, compared, targetInfo.keyColumn()));
    const bool orIgnore = ignoreOnConflict && !targetInfo.isSingleKeyed();
    if (!columns.isEmpty() && !m_insert.prepare(insertStatement(targetInfo.name, columns, orIgnore)))
        m_insertError
            = logging::shownFailure(u"Не удалось подготовить добавление записей в таблицу %1"_s.arg(targetInfo.name),
                m_insert.lastError().text(), u"sync"_s);
}

QList<QVariant> TablePass::values(const QSqlQuery &row) const
{
    QList<QVariant> values;
    values.reserve(m_fields.size());
    for (const int field : m_fields)
        values.append(field >= 0 ? row.value(field) : QVariant());
    return values;
}

QList<QVariant> TablePass::values(const QSqlQuery &row, int mappedColumn, qint64 localId) const
{
    QList<QVariant> mapped = values(row);
    if (mappedColumn >= 0)
        mapped[mappedColumn] = QVariant(localId);
    return mapped;
}

bool TablePass::findDuplicate(const QList<QVariant> &values, qint64 *foundId)
{
    if (!m_probeReady)
        return false;
    QList<QVariant> compared;
    compared.reserve(m_compared.size());
    for (const int index : std::as_const(m_compared))
        compared.append(values.at(index));
    return execProbe(m_probe, compared, foundId);
}

int TablePass::insert(const QList<QVariant> &values, qint64 *insertedId, QString *error)
{
    if (!m_insertError.isEmpty()) {
        *error = m_insertError;
        return -1;
    }
    return execInsert(m_insert, values, insertedId, error);
}

bool TablePass::append(const QList<QVariant> &values, int *added, QString *error)
{
    const int written = insert(values, nullptr, error);
    if (written > 0)
        ++*added;
    return written >= 0;
}

bool TablePass::store(const QList<QVariant> &values, int *added, QString *error)
{
    qint64 foundId = 0;
    if (m_target.isSingleKeyed() && findDuplicate(values, &foundId))
        return true;
    return append(values, added, error);
}

bool readTable(QSqlQuery &query, const QString &table, QString *error, const QStringList &more)
{
    query.setForwardOnly(true);
    if (query.exec(selectAll(table, more)))
        return true;
    *error = logging::shownFailure(
        u"Не удалось прочитать таблицу %1 из базы пакета"_s.arg(table), query.lastError().text(), u"sync"_s);
    return false;
}

void bindAll(QSqlQuery &query, const QList<QVariant> &values)
{
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
}

bool execProbe(QSqlQuery &query, const QList<QVariant> &values, qint64 *foundId)
{
    bindAll(query, values);
    const bool found = query.exec() && query.next();
    if (found)
        *foundId = query.value(0).toLongLong();
    query.finish();
    return found;
}

QList<QVariant> rowValues(const QSqlRecord &row, const QStringList &targetColumns, const QStringList &sourceColumns,
    const QHash<QString, QVariant> &overrides)
{
    const QList<int> positions = fieldPositions(targetColumns, sourceColumns);
    QList<QVariant> values;
    values.reserve(targetColumns.size());
    for (qsizetype i = 0; i < targetColumns.size(); ++i) {
        const auto override = overrides.constFind(targetColumns.at(i));
        if (override != overrides.constEnd())
            values.append(*override);
        else
            values.append(positions.at(i) >= 0 ? row.value(positions.at(i)) : QVariant());
    }
    return values;
}

bool sameValue(QSqlQuery &query, const QString &table, const QStringList &columns, const QList<QVariant> &values,
    qint64 *foundId, const QString &idColumn)
{
    if (columns.isEmpty())
        return false;
    const QString statement = probeStatement(table, columns, idColumn);
    if (query.lastQuery() != statement && !query.prepare(statement))
        return false;
    return execProbe(query, values.mid(0, columns.size()), foundId);
}

bool insertRow(const QSqlDatabase &target, const QString &table, const QStringList &columns,
    const QList<QVariant> &values, qint64 *insertedId, QString *error, bool ignoreOnConflict)
{
    if (columns.isEmpty())
        return false;
    QSqlQuery query(target);
    if (!query.prepare(insertStatement(table, columns, ignoreOnConflict))) {
        *error = logging::shownFailure(
            u"Не удалось подготовить добавление записи в таблицу %1"_s.arg(table), query.lastError().text(), u"sync"_s);
        return false;
    }
    return execInsert(query, values, insertedId, error) >= 0;
}

bool mergeSimpleTable(const QSqlDatabase &source, const QSqlDatabase &target, const TableInfo &sourceInfo,
    const TableInfo &targetInfo, const QHash<qint64, qint64> *reportIdMap, int *added, QString *error)
{
    const QStringList common = commonColumns(sourceInfo, targetInfo);
    TablePass pass(target, sourceInfo, targetInfo, insertColumnsFor(common, targetInfo), true);
    if (pass.columns().isEmpty())
        return true;
    QSqlQuery rows(source);
    if (!readTable(rows, sourceInfo.name, error))
        return false;
    // The report id is found in any letter case: a row must never keep an incoming id that names another
    // local report.
    const bool mapped = reportIdMap && indexOfName(common, reportIdColumnName) >= 0;
    const int reportField = mapped ? indexOfName(sourceInfo.columns, reportIdColumnName) : -1;
    const int reportColumn = mapped ? indexOfName(pass.columns(), reportIdColumnName) : -1;
    while (rows.next()) {
        qint64 localId = 0;
        if (reportField >= 0) {
            const auto found = reportIdMap->constFind(rows.value(reportField).toLongLong());
            if (found == reportIdMap->constEnd())
                continue;
            localId = *found;
        }
        if (!pass.store(pass.values(rows, reportColumn, localId), added, error))
            return false;
    }
    return true;
}

} // namespace tessaron::sync
