#include "report_matching.h"

#include "ddd/ddd_repository_values.h"
#include "logging/shown_failure.h"
#include "storage/sql_connection.h"
#include "sync/merge_statements.h"
#include "sync/table_pass.h"

#include <QSqlError>

#include <algorithm>

using namespace Qt::StringLiterals;
using tessaron::storage::quoteIdentifier;

namespace tessaron::sync {

QString identitiesSelect(const TableInfo &header)
{
    return u"SELECT ReportId, %1, %2 FROM main.DddReportMeta WHERE ReportType = ? AND json_valid(Json) "
           "AND json_type(Json) = 'object' AND ReportId IN (SELECT %3 FROM main.%4)"_s.arg(
               ddd::metaText(u"sourceFingerprint"_s), ddd::metaText(u"filePath"_s), quoteIdentifier(header.keyColumn()),
               quoteIdentifier(header.name));
}

QHash<qint64, ReportIdentity> reportIdentities(const QSqlDatabase &database, const TableInfo &header, int reportType)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(identitiesSelect(header));
    query.bindValue(0, reportType);
    QHash<qint64, ReportIdentity> identities;
    if (!query.exec())
        return identities;
    while (query.next()) {
        ReportIdentity identity {query.value(1).toString(), query.value(2).toString()};
        if (!identity.isEmpty())
            identities.insert(query.value(0).toLongLong(), identity);
    }
    return identities;
}

void ReportIndex::add(qint64 id, const ReportIdentity &identity)
{
    if (identity.isEmpty())
        return;
    m_identified.insert(id);
    const auto keep = [id](QHash<QString, qint64> &ids, const QString &key) {
        if (!key.isEmpty())
            ids[key] = std::max(ids.value(key), id);
    };
    keep(m_byFingerprint, identity.fingerprint);
    keep(m_byPath, identity.path);
    if (identity.fingerprint.isEmpty())
        keep(m_byPathWithoutFingerprint, identity.path);
}

qint64 ReportIndex::find(const ReportIdentity &identity) const
{
    if (identity.path.isEmpty() && identity.fingerprint.isEmpty())
        return 0;
    if (identity.fingerprint.isEmpty())
        return m_byPath.value(identity.path);
    const qint64 byPath = identity.path.isEmpty() ? 0 : m_byPathWithoutFingerprint.value(identity.path);
    return std::max(m_byFingerprint.value(identity.fingerprint), byPath);
}

UnidentifiedReports::UnidentifiedReports(const QSqlDatabase &target)
    : m_target(target)
    , m_add(target)
    , m_find(target)
{ }

bool UnidentifiedReports::make(
    const TableInfo &local, const QStringList &compared, const ReportIndex &index, QString *error)
{
    if (compared.isEmpty())
        return true;
    QStringList columns;
    QStringList conditions;
    for (const QString &column : compared) {
        columns.append(u"t.%1 AS %1"_s.arg(quoteIdentifier(column)));
        conditions.append(quoteIdentifier(column) + u" IS ?"_s);
    }
    const QString key = quoteIdentifier(local.keyColumn());
    const QString header = quoteIdentifier(local.name);
    QSqlQuery query(m_target);
    const QStringList statements {u"DROP TABLE IF EXISTS temp.tessaron_unidentified"_s,
        u"CREATE TABLE temp.tessaron_unidentified AS SELECT t.%1 AS tessaron_id, %2 FROM main.%3 AS t WHERE 0"_s.arg(
            key, columns.join(u", "_s), header),
        u"CREATE INDEX temp.tessaron_unidentified_row ON tessaron_unidentified (%1, tessaron_id)"_s.arg(
            quotedList(compared))};
    for (const QString &statement : statements) {
        if (!query.exec(statement))
            return failed(query, error);
    }
    m_ready = m_add.prepare(
                  u"INSERT INTO temp.tessaron_unidentified SELECT t.%1, %2 FROM main.%3 AS t WHERE t.%1 = ?"_s.arg(
                      key, columns.join(u", "_s), header))
        && m_find.prepare(u"SELECT tessaron_id FROM temp.tessaron_unidentified WHERE %1 ORDER BY tessaron_id DESC "
                          "LIMIT 1"_s.arg(conditions.join(u" AND "_s)));
    if (!m_ready)
        return failed(m_add.lastError().isValid() ? m_add : m_find, error);
    QSqlQuery keys(m_target);
    keys.setForwardOnly(true);
    if (!keys.exec(u"SELECT %1 FROM main.%2"_s.arg(key, header)))
        return failed(keys, error);
    while (keys.next()) {
        if (const qint64 id = keys.value(0).toLongLong(); !index.isIdentified(id) && !add(id, error))
            return false;
    }
    return true;
}

bool UnidentifiedReports::add(qint64 id, QString *error)
{
    if (!m_ready)
        return true;
    m_add.bindValue(0, id);
    return m_add.exec() || failed(m_add, error);
}

qint64 UnidentifiedReports::find(const QList<QVariant> &compared)
{
    qint64 found = 0;
    return m_ready && execProbe(m_find, compared, &found) ? found : 0;
}

bool UnidentifiedReports::failed(const QSqlQuery &query, QString *error)
{
    *error = logging::shownFailure(
        u"Не удалось сопоставить отчёты пакета с отчётами базы"_s, query.lastError().text(), u"sync"_s);
    return false;
}

} // namespace tessaron::sync
