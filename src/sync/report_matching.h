#pragma once

#include "sync/table_catalogue.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

// How the report database's rule finds, for an incoming report, the local report of the same download. Only the
// synchronisation code and its tests include this header.
namespace tessaron::sync {

// What tells one stored download from another: the fingerprint of its bytes and the path it was read from, as
// the report's meta object holds them (empty when it has none).
struct ReportIdentity
{
    QString fingerprint;
    QString path;

    bool isEmpty() const { return fingerprint.isEmpty() && path.isEmpty(); }
};

// The meta of the reports whose header is in the table, their identities read from it (the report type bound).
QString identitiesSelect(const TableInfo &header);

// The identities of the stored reports of one type whose header is in the table; a database without readable
// meta has none.
QHash<qint64, ReportIdentity> reportIdentities(const QSqlDatabase &database, const TableInfo &header, int reportType);

// The local reports of one type by identity, under the archive's own duplicate rule: the same fingerprint, or,
// where either fingerprint is missing, the same non-empty path; the newest (highest id) of several wins.
class ReportIndex
{
public:
    void add(qint64 id, const ReportIdentity &identity);

    // The matching local report, 0 when none.
    qint64 find(const ReportIdentity &identity) const;

    bool isIdentified(qint64 id) const { return m_identified.contains(id); }

private:
    QHash<QString, qint64> m_byFingerprint;
    QHash<QString, qint64> m_byPath;
    QHash<QString, qint64> m_byPathWithoutFingerprint;
    QSet<qint64> m_identified;
};

// The local reports of one header table that have no identity, each with its header row as the local table stores it,
// indexed by that row: reports saved before the meta existed can be told apart by nothing else. Kept in a temporary
// table of the local connection, whose columns take the local table's types, so that an incoming value is compared
// as the local column would compare it; a lookup costs the same however many reports share a header row.
class UnidentifiedReports
{
public:
    explicit UnidentifiedReports(const QSqlDatabase &target);

    // Made for the compared columns (none: every lookup finds nothing), from every local report the index does not
    // identify. False, with the error set, when a statement fails.
    bool make(const TableInfo &local, const QStringList &compared, const ReportIndex &index, QString *error);

    // Adds the local report of that id, inserted without an identity.
    bool add(qint64 id, QString *error);

    // The newest of these reports whose header row equals the compared values in every column, 0 when none.
    qint64 find(const QList<QVariant> &compared);

private:
    static bool failed(const QSqlQuery &query, QString *error);

    QSqlDatabase m_target;
    bool m_ready = false;
    QSqlQuery m_add;
    QSqlQuery m_find;
};

} // namespace tessaron::sync
