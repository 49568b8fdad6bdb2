#pragma once

#include "sql_connection.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace tessaron::storage {

// The calibration records ("Calibrations" in "CalibrationDB.db"). An older table is upgraded on opening by
// adding every known column it lacks; its rows stay. Lives on one thread.
class CalibrationRepository
{
public:
    // Opens databasePath, or the default location when it is empty, and creates or upgrades the table. When
    // the store cannot be opened or read, isOpen() is false, lastError() says why and every call fails
    // cleanly. A column that cannot be added leaves the store open with lastError() set.
    explicit CalibrationRepository(const QString &databasePath = {});
    ~CalibrationRepository();
    CalibrationRepository(const CalibrationRepository &) = delete;
    CalibrationRepository &operator=(const CalibrationRepository &) = delete;

    bool isOpen() const;
    // Open for reading only: the file, its folder or its disk refuses writes. lastError() says why, and every
    // write fails with the driver's text.
    bool isReadOnly() const { return m_connection.isReadOnly(); }

    // Every column of the table after "Id", in table order.
    static QStringList columnNames();

    // The successfully written records, newest WriteTimestamp first, as column name -> value, kept when
    // VehicleRegistrationNumber contains the trimmed registrationFilter and CustomerName the trimmed
    // customerFilter, both without regard to case (Cyrillic included); an empty filter keeps every row.
    // Empty when the query fails.
    QList<QVariantMap> searchSuccessfulCalibrations(
        const QString &registrationFilter, const QString &customerFilter) const;

    // The record as column name -> value; empty when there is none or on failure.
    QVariantMap calibration(int id) const;

    // True only when the record exists and was changed; a database error becomes lastError() and, when error
    // is given, is written there too (so a caller can tell this failure from an older one).
    bool updateCustomerAndOrder(int id, const QString &customerName, int orderNumber, QString *error = nullptr);
    // As updateCustomerAndOrder, leaving the stored OrderNumber as it is: for an order number that is no number.
    bool updateCustomer(int id, const QString &customerName, QString *error = nullptr);

    // True only when the record existed and was removed; a database error becomes lastError().
    bool deleteCalibration(int id);

    // Inserts a record from column name -> value; every key must be one of columnNames(). RecordDateTime,
    // when not given, is the local time now as "yyyy-MM-dd HH:mm:ss". Returns the new id, or -1 with
    // lastError() set.
    int insertCalibration(const QVariantMap &values);

    // The text of the last failure; later successes do not clear it.
    QString lastError() const { return m_lastError; }

private:
    // The error that leaves the journal as it cannot be used (with SQLite's code, for SqlConnection::settle); not
    // valid when it is ready.
    QSqlError createAndUpgradeTable();
    // Runs an UPDATE of one record: true when it changed a row.
    bool updateRecord(const QString &statement, const QVariantList &values, QString *error);

    SqlConnection m_connection;
    mutable QString m_lastError;
};

} // namespace tessaron::storage
