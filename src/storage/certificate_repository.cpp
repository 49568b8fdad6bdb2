#include "certificate_repository.h"

#include "app_paths.h"
#include "certificate_field.h"
#include "database_catalog.h"
#include "logging/shown_failure.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

// The folders must exist before SQLite is asked to create the file in one of them.
QString preparedPath(const QString &databasePath)
{
    AppPaths::ensureDirectories();
    return databasePath.isEmpty() ? DatabaseCatalog::path(KnownDatabase::Certificates) : databasePath;
}

QStringList quotedFieldNames()
{
    QStringList names;
    for (const QString &name : certificateFieldNames())
        names.append(quoteIdentifier(name));
    return names;
}

QList<QVariant> fieldValues(const QVariantMap &record)
{
    QList<QVariant> values;
    for (const QString &name : certificateFieldNames())
        values.append(record.value(name));
    return values;
}

// A bound as SQLite's datetime() reads it. Qt writes a local date-time without its offset, which SQLite would
// take for UTC, the zone of the stored stamps.
QString sqlDateTime(const QDateTime &dateTime)
{
    return dateTime.toUTC().toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

} // namespace

CertificateRepository::CertificateRepository(const QString &databasePath)
    : m_connection(u"TessaronCertificates"_s, preparedPath(databasePath))
{
    if (!m_connection.isOpen()) {
        m_lastError = m_connection.openError();
        return;
    }
    initialize();
}

CertificateRepository::~CertificateRepository() = default;

bool CertificateRepository::testConnection() const
{
    return m_connection.isOpen();
}

QStringList CertificateRepository::fields()
{
    return certificateFieldNames();
}

bool CertificateRepository::initialize()
{
    QStringList columns
        = {u"Id INTEGER PRIMARY KEY AUTOINCREMENT"_s, u"RecordDateTime DATETIME DEFAULT CURRENT_TIMESTAMP"_s};
    for (const QString &name : quotedFieldNames())
        columns.append(name + u" TEXT"_s);
    columns += {u"DocumentPath TEXT"_s, u"PdfPath TEXT"_s, u"IsSuccess INTEGER DEFAULT 1"_s, u"ErrorMessage TEXT"_s,
        u"CreationTimestamp DATETIME DEFAULT CURRENT_TIMESTAMP"_s};
    const QStringList statements = {
        u"CREATE TABLE IF NOT EXISTS CertificateData ("_s + columns.join(u", "_s) + u')',
        u"CREATE INDEX IF NOT EXISTS idx_order_number ON CertificateData(OrderNumber)"_s,
        u"CREATE INDEX IF NOT EXISTS idx_serial_number ON CertificateData(TachographSerialNumber)"_s,
        u"CREATE INDEX IF NOT EXISTS idx_creation_date ON CertificateData(CreationTimestamp)"_s,
    };
    for (const QString &statement : statements) {
        if (!executeUpdate(statement, {}))
            return false;
    }
    return true;
}

bool CertificateRepository::run(QSqlQuery &query, const QString &sql, const QList<QVariant> &values) const
{
    // A closed connection has no statement error of its own: the reason it could not open stays the last error.
    if (!m_connection.isOpen())
        return false;
    if (!query.prepare(sql)) {
        m_lastError = shownSqlFailure(u"Не удалось обратиться к базе свидетельств"_s, query.lastError(), u"storage"_s);
        return false;
    }
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        m_lastError = shownSqlFailure(u"Не удалось обратиться к базе свидетельств"_s, query.lastError(), u"storage"_s);
        return false;
    }
    return true;
}

bool CertificateRepository::executeUpdate(const QString &sql, const QList<QVariant> &values, int *rowsAffected)
{
    QSqlQuery query(m_connection.database());
    if (!run(query, sql, values))
        return false;
    if (rowsAffected)
        *rowsAffected = query.numRowsAffected();
    return true;
}

bool CertificateRepository::changeRow(const QString &sql, const QList<QVariant> &values)
{
    int rows = 0;
    return executeUpdate(sql, values, &rows) && rows > 0;
}

QList<QVariantMap> CertificateRepository::selectRecords(const QString &sql, const QList<QVariant> &values) const
{
    QList<QVariantMap> rows;
    QSqlQuery query(m_connection.database());
    query.setForwardOnly(true);
    if (!run(query, sql, values))
        return rows;
    while (query.next())
        rows.append(rowFromRecord(query.record()));
    return rows;
}

int CertificateRepository::saveCertificate(
    const QVariantMap &record, const QString &documentPath, const QString &pdfPath, bool isSuccess)
{
    const QStringList names = quotedFieldNames() + QStringList {u"DocumentPath"_s, u"PdfPath"_s, u"IsSuccess"_s};
    QStringList placeholders;
    placeholders.fill(u"?"_s, names.size());
    const QList<QVariant> values = fieldValues(record) + QList<QVariant> {documentPath, pdfPath, isSuccess ? 1 : 0};

    QSqlQuery query(m_connection.database());
    if (!run(query, u"INSERT INTO CertificateData(%1) VALUES(%2)"_s.arg(names.join(u','), placeholders.join(u',')),
            values))
        return -1;
    return query.lastInsertId().toInt();
}

bool CertificateRepository::saveCertificateWithError(int id, const QString &errorMessage)
{
    return changeRow(u"UPDATE CertificateData SET IsSuccess = 0, ErrorMessage = ? WHERE Id = ?"_s, {errorMessage, id});
}

bool CertificateRepository::updateCertificateFilePaths(int id, const QString &documentPath, const QString &pdfPath)
{
    return changeRow(
        u"UPDATE CertificateData SET DocumentPath = ?, PdfPath = ? WHERE Id = ?"_s, {documentPath, pdfPath, id});
}

bool CertificateRepository::updateCertificate(int id, const QVariantMap &record)
{
    QStringList assignments;
    for (const QString &name : quotedFieldNames())
        assignments.append(name + u" = ?"_s);
    return changeRow(u"UPDATE CertificateData SET %1 WHERE Id = ?"_s.arg(assignments.join(u',')),
        fieldValues(record) + QList<QVariant> {id});
}

bool CertificateRepository::deleteCertificate(int id)
{
    return changeRow(u"DELETE FROM CertificateData WHERE Id = ?"_s, {id});
}

QVariantMap CertificateRepository::certificate(int id) const
{
    const QList<QVariantMap> rows = selectRecords(u"SELECT * FROM CertificateData WHERE Id = ?"_s, {id});
    return rows.isEmpty() ? QVariantMap() : rows.first();
}

QList<QVariantMap> CertificateRepository::allCertificates() const
{
    return selectRecords(u"SELECT * FROM CertificateData ORDER BY CreationTimestamp DESC"_s);
}

QList<QVariantMap> CertificateRepository::certificatesBySerialNumber(const QString &serialNumber) const
{
    return selectRecords(
        u"SELECT * FROM CertificateData WHERE TachographSerialNumber = ? ORDER BY CreationTimestamp DESC"_s,
        {serialNumber});
}

QList<QVariantMap> CertificateRepository::searchCertificates(const QString &text) const
{
    const QString pattern = u'%' + text + u'%';
    return selectRecords(u"SELECT * FROM CertificateData WHERE OrderNumber LIKE ? OR CustomerName LIKE ? OR "
                         u"TachographSerialNumber LIKE ? ORDER BY CreationTimestamp DESC"_s,
        {pattern, pattern, pattern});
}

QList<QVariantMap> CertificateRepository::certificatesByDateRange(const QDateTime &from, const QDateTime &to) const
{
    return selectRecords(u"SELECT * FROM CertificateData WHERE datetime(CreationTimestamp) BETWEEN datetime(?) AND "
                         u"datetime(?) ORDER BY CreationTimestamp DESC"_s,
        {sqlDateTime(from), sqlDateTime(to)});
}

} // namespace tessaron::storage
