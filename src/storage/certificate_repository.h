#pragma once

#include "sql_connection.h"

#include <QDateTime>
#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

namespace tessaron::storage {

// The issued certificates ("CertificateData" in "CertificateDB.db"): one row per certificate with the 30 values
// of its record in field-set order (certificate_field.h), the paths of its documents, a success flag and an
// error text. Rows read back are column name -> the driver's value, all 37 columns for a whole row. Failures
// are false, -1 or an empty result with the driver's text in lastError(). Lives on the thread that made it;
// several repositories may be open at once.
class CertificateRepository
{
public:
    // Makes sure the application folders exist, opens databasePath (the default "CertificateDB.db" when empty)
    // and creates the table and its indexes when missing; an existing table is used as it is. When the file
    // cannot be opened, testConnection() is false, lastError() keeps the driver's text and every call fails.
    // When it opens but the table cannot be set up (a file that is no database), lastError() says why and every
    // statement fails with the driver's text.
    explicit CertificateRepository(const QString &databasePath = {});
    ~CertificateRepository();
    CertificateRepository(const CertificateRepository &) = delete;
    CertificateRepository &operator=(const CertificateRepository &) = delete;

    // Whether the database is open.
    bool testConnection() const;
    QString databasePath() const { return m_connection.path(); }
    // The text of the last failure; later successes do not clear it.
    QString lastError() const { return m_lastError; }

    // The 30 keys of the certificate field set in field-set order: the value columns of the table.
    static QStringList fields();

    // Inserts a row with the record's 30 values (NULL for a key the record lacks), the two paths and the
    // success flag; the timestamps take the database's UTC clock. Returns the new id, or -1.
    int saveCertificate(
        const QVariantMap &record, const QString &documentPath, const QString &pdfPath, bool isSuccess = true);

    // The four changes below answer false on a database error (lastError() set) and for an id without a row
    // (lastError() unchanged).

    // Marks the row failed with the reason.
    bool saveCertificateWithError(int id, const QString &errorMessage);
    bool updateCertificateFilePaths(int id, const QString &documentPath, const QString &pdfPath);
    // Rewrites all 30 value columns; a key the record lacks sets its column to NULL.
    bool updateCertificate(int id, const QVariantMap &record);
    bool deleteCertificate(int id);

    // The row, or an empty map when there is none or on failure.
    QVariantMap certificate(int id) const;
    // The lists below are newest CreationTimestamp first; empty on failure.
    QList<QVariantMap> allCertificates() const;
    QList<QVariantMap> certificatesBySerialNumber(const QString &serialNumber) const;
    // Rows whose order number, customer name or serial number contains text (SQLite's LIKE: ASCII letters
    // without regard to case; "%" and "_" in text are wildcards). The empty text matches every row with one
    // of the three not NULL.
    QList<QVariantMap> searchCertificates(const QString &text) const;
    // Rows created within [from, to], both bounds included; the bounds may be in any time zone.
    QList<QVariantMap> certificatesByDateRange(const QDateTime &from, const QDateTime &to) const;

private:
    // Creates the table and its three indexes, stopping at the first failure.
    bool initialize();
    // Prepares sql on the connection, binds values in order and executes; a failure becomes lastError().
    bool run(QSqlQuery &query, const QString &sql, const QList<QVariant> &values) const;
    bool executeUpdate(const QString &sql, const QList<QVariant> &values, int *rowsAffected = nullptr);
    // Runs an UPDATE or DELETE of one row: true when it ran and changed a row.
    bool changeRow(const QString &sql, const QList<QVariant> &values);
    QList<QVariantMap> selectRecords(const QString &sql, const QList<QVariant> &values = {}) const;

    SqlConnection m_connection;
    mutable QString m_lastError;
};

} // namespace tessaron::storage
