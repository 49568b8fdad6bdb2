#include "calibration_repository.h"

#include "database_catalog.h"
#include "logging/shown_failure.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <array>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

struct Column
{
    QStringView name;
    // The column's definition in CREATE TABLE.
    QStringView definition;
    // Its definition when it is added to an older table: SQLite refuses a non-constant default there.
    QStringView addedDefinition;
};

constexpr std::array columns = {
    Column {u"RecordDateTime", u"DATETIME DEFAULT CURRENT_TIMESTAMP", u"DATETIME"},
    Column {u"OrderNumber", u"INTEGER", u"INTEGER"},
    Column {u"CustomerName", u"TEXT", u"TEXT"},
    Column {u"VuSerialNumber", u"TEXT", u"TEXT"},
    Column {u"NextCalibrationDate", u"DATETIME", u"DATETIME"},
    Column {u"VehicleRegistrationNumber", u"TEXT", u"TEXT"},
    Column {u"VehicleIdentificationNumber", u"TEXT", u"TEXT"},
    Column {u"TyreSize", u"TEXT", u"TEXT"},
    Column {u"HighResOdometer", u"TEXT", u"TEXT"},
    Column {u"VuManufacturerName", u"TEXT", u"TEXT"},
    Column {u"SkziNumber", u"TEXT", u"TEXT"},
    Column {u"VuManufacturingDate", u"TEXT", u"TEXT"},
    Column {u"WVehicleCharacteristicConstant", u"TEXT", u"TEXT"},
    Column {u"KConstantOfRecordingEquipment", u"TEXT", u"TEXT"},
    Column {u"LTyreCircumference", u"TEXT", u"TEXT"},
    Column {u"VuPartNumber", u"TEXT", u"TEXT"},
    Column {u"WriteResult", u"INTEGER DEFAULT 0", u"INTEGER DEFAULT 0"},
    Column {u"WriteTimestamp", u"DATETIME", u"DATETIME"},
};

bool isDuplicateColumn(const QSqlError &error)
{
    return error.databaseText().contains(u"duplicate column name"_s, Qt::CaseInsensitive);
}

} // namespace

CalibrationRepository::CalibrationRepository(const QString &databasePath)
    : m_connection(u"TessaronCalibrations"_s,
        databasePath.isEmpty() ? DatabaseCatalog::path(KnownDatabase::Calibrations) : databasePath)
{
    if (!m_connection.isOpen()) {
        m_lastError = m_connection.openError();
        return;
    }
    if (const QString error = m_connection.settle(createAndUpgradeTable(), u"Calibrations"_s); !error.isEmpty())
        m_lastError = error;
}

CalibrationRepository::~CalibrationRepository() = default;

bool CalibrationRepository::isOpen() const
{
    return m_connection.isOpen();
}

QStringList CalibrationRepository::columnNames()
{
    QStringList names;
    for (const Column &column : columns)
        names.append(column.name.toString());
    return names;
}

QSqlError CalibrationRepository::createAndUpgradeTable()
{
    QString statement = u"CREATE TABLE IF NOT EXISTS Calibrations (Id INTEGER PRIMARY KEY AUTOINCREMENT"_s;
    for (const Column &column : columns)
        statement += u", "_s + quoteIdentifier(column.name.toString()) + u' ' + column.definition;
    statement += u')';

    QSqlQuery query(m_connection.database());
    if (!query.exec(statement)) {
        m_lastError = shownSqlFailure(u"Не удалось подготовить журнал калибровок"_s, query.lastError(), u"storage"_s);
        return query.lastError();
    }
    // A column that cannot be added leaves the journal usable without it, unless the disk is full or the file
    // damaged: that is the store's state, told as such.
    QSqlError upgradeError;
    for (const Column &column : columns) {
        QSqlQuery alter(m_connection.database());
        const QString add = u"ALTER TABLE Calibrations ADD COLUMN "_s + quoteIdentifier(column.name.toString()) + u' '
            + column.addedDefinition;
        if (alter.exec(add) || isDuplicateColumn(alter.lastError()))
            continue;
        m_lastError = shownSqlFailure(u"Не удалось обновить журнал калибровок"_s, alter.lastError(), u"storage"_s);
        if (!upgradeError.isValid() && (isDiskFull(alter.lastError()) || isDamaged(alter.lastError())))
            upgradeError = alter.lastError();
    }
    return upgradeError;
}

QList<QVariantMap> CalibrationRepository::searchSuccessfulCalibrations(
    const QString &registrationFilter, const QString &customerFilter) const
{
    QList<QVariantMap> rows;
    if (!isOpen())
        return rows;
    QSqlQuery query(m_connection.database());
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT * FROM Calibrations WHERE WriteResult = 1 ORDER BY WriteTimestamp DESC"_s)) {
        m_lastError = shownSqlFailure(u"Не удалось найти калибровки в журнале"_s, query.lastError(), u"storage"_s);
        return rows;
    }
    // SQLite's LIKE and lower() fold only ASCII letters, so Cyrillic filters are matched here.
    const QString registration = registrationFilter.trimmed();
    const QString customer = customerFilter.trimmed();
    while (query.next()) {
        QVariantMap row = rowFromRecord(query.record());
        if (!registration.isEmpty()
            && !row.value(u"VehicleRegistrationNumber"_s).toString().contains(registration, Qt::CaseInsensitive))
            continue;
        if (!customer.isEmpty() && !row.value(u"CustomerName"_s).toString().contains(customer, Qt::CaseInsensitive))
            continue;
        rows.append(std::move(row));
    }
    return rows;
}

QVariantMap CalibrationRepository::calibration(int id) const
{
    if (!isOpen())
        return {};
    QSqlQuery query(m_connection.database());
    query.prepare(u"SELECT * FROM Calibrations WHERE Id = ?"_s);
    query.addBindValue(id);
    if (!query.exec()) {
        m_lastError
            = shownSqlFailure(u"Не удалось прочитать запись журнала калибровок"_s, query.lastError(), u"storage"_s);
        return {};
    }
    if (!query.next())
        return {};
    return rowFromRecord(query.record());
}

bool CalibrationRepository::updateCustomerAndOrder(int id, const QString &customerName, int orderNumber, QString *error)
{
    return updateRecord(u"UPDATE Calibrations SET CustomerName = ?, OrderNumber = ? WHERE Id = ?"_s,
        {customerName, orderNumber, id}, error);
}

bool CalibrationRepository::updateCustomer(int id, const QString &customerName, QString *error)
{
    return updateRecord(u"UPDATE Calibrations SET CustomerName = ? WHERE Id = ?"_s, {customerName, id}, error);
}

bool CalibrationRepository::updateRecord(const QString &statement, const QVariantList &values, QString *error)
{
    if (!isOpen()) {
        if (error)
            *error = m_lastError;
        return false;
    }
    QSqlQuery query(m_connection.database());
    query.prepare(statement);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        m_lastError
            = shownSqlFailure(u"Не удалось изменить запись журнала калибровок"_s, query.lastError(), u"storage"_s);
        if (error)
            *error = m_lastError;
        return false;
    }
    return query.numRowsAffected() > 0;
}

bool CalibrationRepository::deleteCalibration(int id)
{
    if (!isOpen())
        return false;
    QSqlQuery query(m_connection.database());
    query.prepare(u"DELETE FROM Calibrations WHERE Id = ?"_s);
    query.addBindValue(id);
    if (!query.exec()) {
        m_lastError
            = shownSqlFailure(u"Не удалось удалить запись журнала калибровок"_s, query.lastError(), u"storage"_s);
        return false;
    }
    return query.numRowsAffected() > 0;
}

int CalibrationRepository::insertCalibration(const QVariantMap &values)
{
    if (!isOpen())
        return -1;
    const QStringList known = columnNames();
    QStringList names;
    QVariantList bound;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!known.contains(it.key())) {
            m_lastError = u"Неизвестный столбец записи калибровки: %1"_s.arg(it.key());
            return -1;
        }
        names.append(quoteIdentifier(it.key()));
        bound.append(it.value());
    }
    if (!values.contains(u"RecordDateTime"_s)) {
        names.append(quoteIdentifier(u"RecordDateTime"_s));
        bound.append(QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s));
    }
    QStringList placeholders;
    placeholders.fill(u"?"_s, names.size());

    QSqlQuery query(m_connection.database());
    query.prepare(
        u"INSERT INTO Calibrations ("_s + names.join(u", "_s) + u") VALUES ("_s + placeholders.join(u", "_s) + u')');
    for (const QVariant &value : std::as_const(bound))
        query.addBindValue(value);
    if (!query.exec()) {
        m_lastError
            = shownSqlFailure(u"Не удалось добавить запись в журнал калибровок"_s, query.lastError(), u"storage"_s);
        return -1;
    }
    return query.lastInsertId().toInt();
}

} // namespace tessaron::storage
