#include "ddd_repository.h"

#include "checked_growth.h"
#include "ddd_repository_values.h"
#include "logging/shown_failure.h"
#include "storage/busy_wait.h"
#include "storage/database_catalog.h"
#include "storage/sql_connection.h"
#include "storage/transaction_guard.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <limits>
#include <vector>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

namespace {

const QString driverCardForeignKey
    = u"FOREIGN KEY(ReportId) REFERENCES DriverCardReports(ReportId) ON DELETE CASCADE"_s;
const QString tachographForeignKey
    = u"FOREIGN KEY(ReportId) REFERENCES TachographReports(ReportId) ON DELETE CASCADE"_s;

QString createTable(const QString &table, const QStringList &columns)
{
    return u"CREATE TABLE IF NOT EXISTS %1 (%2)"_s.arg(table, columns.join(u", "_s));
}

// The schema, in the order it is created. Driver-card child rows carry a nullable ReportId and their import
// time; tachograph child rows a mandatory ReportId.
QStringList schemaStatements()
{
    const QString importDate = u"ImportDate DATETIME DEFAULT CURRENT_TIMESTAMP"_s;
    const QString cardReportId = u"ReportId INTEGER"_s;
    const QString tachoReportId = u"ReportId INTEGER NOT NULL"_s;
    const QString cardNumbers = u"CardNumberDriverSlotBegin TEXT, CardNumberCoDriverSlotBegin TEXT, "
                                "CardNumberDriverSlotEnd TEXT, CardNumberCoDriverSlotEnd TEXT"_s;
    return {
        createTable(u"DriverCardReports"_s,
            {u"ReportId INTEGER PRIMARY KEY AUTOINCREMENT"_s, u"ReportDate DATETIME DEFAULT CURRENT_TIMESTAMP"_s,
                u"CardNumber TEXT"_s, u"DriverFirstName TEXT"_s, u"DriverSurname TEXT"_s, u"DriverFullName TEXT"_s,
                u"IssuingAuthorityName TEXT"_s, u"BirthDate TEXT"_s, u"ExpiryDate TEXT"_s, u"LastCardDownload TEXT"_s,
                u"LastCardDownloadString TEXT"_s, u"DrivingLicenceNumber TEXT"_s,
                u"DrivingLicenceIssuingAuthority TEXT"_s, u"DrivingLicenceIssuingNation TEXT"_s,
                u"TotalEvents INTEGER"_s, u"TotalFaults INTEGER"_s, u"TotalVehiclesUsed INTEGER"_s,
                u"TotalActivityRecords INTEGER"_s, u"TotalActivityChanges INTEGER"_s, u"DataStartDate TEXT"_s,
                u"DataEndDate TEXT"_s, u"TotalDrivingHours INTEGER"_s, u"TotalRestHours INTEGER"_s,
                u"TotalDistanceKm INTEGER"_s, importDate}),
        createTable(u"Events"_s,
            {u"EventId INTEGER PRIMARY KEY AUTOINCREMENT"_s, cardReportId, u"EventType TEXT"_s,
                u"EventBeginTime TEXT"_s, u"EventEndTime TEXT"_s, u"VehicleRegistrationNumber TEXT"_s,
                u"VehicleRegistrationNation TEXT"_s, importDate, driverCardForeignKey}),
        createTable(u"Faults"_s,
            {u"FaultId INTEGER PRIMARY KEY AUTOINCREMENT"_s, cardReportId, u"FaultType TEXT"_s,
                u"FaultBeginTime TEXT"_s, u"FaultEndTime TEXT"_s, u"VehicleRegistrationNumber TEXT"_s,
                u"VehicleRegistrationNation TEXT"_s, importDate, driverCardForeignKey}),
        createTable(u"Vehicles"_s,
            {u"VehicleId INTEGER PRIMARY KEY AUTOINCREMENT"_s, cardReportId, u"VehicleRegistrationNumber1 TEXT"_s,
                u"VehicleRegistrationNation1 TEXT"_s, u"VehicleRegistrationNumber2 TEXT"_s,
                u"VehicleRegistrationNation2 TEXT"_s, u"VehicleFirstUsed TEXT"_s, u"VehicleLastUsed TEXT"_s,
                u"VehicleOdometerBegin TEXT"_s, u"VehicleOdometerEnd TEXT"_s, importDate, driverCardForeignKey}),
        createTable(u"ActivityChanges"_s,
            {u"ActivityChangeId INTEGER PRIMARY KEY AUTOINCREMENT"_s, cardReportId,
                u"ActivityDailyPresenceCounter1 TEXT"_s, u"Slot TEXT"_s, u"DrivingStatus TEXT"_s, u"CardStatus TEXT"_s,
                u"Activity TEXT"_s, u"Time TEXT"_s, importDate, driverCardForeignKey}),
        createTable(u"DriverActivities"_s,
            {u"ActivityId INTEGER PRIMARY KEY AUTOINCREMENT"_s, cardReportId, u"ActivityRecordDate TEXT"_s,
                u"ActivityDayDistance TEXT"_s, u"ActivityDailyPresenceCounter TEXT"_s, importDate,
                driverCardForeignKey}),
        createTable(u"Places"_s,
            {u"PlaceId INTEGER PRIMARY KEY AUTOINCREMENT"_s, cardReportId, u"VehicleOdometerValue TEXT"_s,
                u"EntryTime TEXT"_s, u"EntryTypeDailyWorkPeriod TEXT"_s, u"DailyWorkPeriodRegion TEXT"_s,
                u"DailyWorkPeriodCountry TEXT"_s, importDate, driverCardForeignKey}),
        createTable(u"TachographReports"_s,
            {u"ReportId INTEGER PRIMARY KEY AUTOINCREMENT"_s, u"ReportDate DATETIME DEFAULT CURRENT_TIMESTAMP"_s,
                u"VIN TEXT"_s, u"VehicleRegistration TEXT"_s, u"TotalEvents INTEGER"_s, u"TotalFaults INTEGER"_s,
                u"TotalOverSpeeding INTEGER"_s, u"TotalCalibrations INTEGER"_s, u"TotalDays INTEGER"_s,
                u"TotalDistanceKm INTEGER"_s, u"DataStartDate TEXT"_s, u"DataEndDate TEXT"_s, u"AverageSpeed REAL"_s,
                u"MaxSpeed INTEGER"_s, u"DaysWithOverSpeeding INTEGER"_s, u"DaysWithFaults INTEGER"_s,
                u"NextCalibrationDate TEXT"_s, importDate}),
        createTable(u"TachoEvents"_s,
            {u"EventId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"EventType TEXT"_s,
                u"EventRecordPurpose TEXT"_s, u"EventBeginTime TEXT"_s, u"EventEndTime TEXT"_s, cardNumbers,
                u"SimilarEventsNumber TEXT"_s, tachographForeignKey}),
        createTable(u"TachoFaults"_s,
            {u"FaultId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"FaultType TEXT"_s,
                u"FaultRecordPurpose TEXT"_s, u"FaultBeginTime TEXT"_s, u"FaultEndTime TEXT"_s, cardNumbers,
                tachographForeignKey}),
        createTable(u"TachoOverSpeedingEvents"_s,
            {u"OverSpeedingId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"EventType TEXT"_s,
                u"EventRecordPurpose TEXT"_s, u"EventBeginTime TEXT"_s, u"EventEndTime TEXT"_s, u"MaxSpeedValue TEXT"_s,
                u"AverageSpeedValue TEXT"_s, u"CardNumberDriverSlotBegin TEXT"_s, u"SimilarEventsNumber TEXT"_s,
                tachographForeignKey}),
        createTable(u"TachoCalibrationData"_s,
            {u"CalibrationId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"CalibrationPurpose TEXT"_s,
                u"WorkshopName TEXT"_s, u"WorkshopAddress TEXT"_s, u"WorkshopCardNumber TEXT"_s,
                u"WorkshopCardExpiryDate TEXT"_s, u"VehicleIdentificationNumber TEXT"_s,
                u"VehicleRegistrationNation TEXT"_s, u"VehicleRegistrationNumber TEXT"_s,
                u"WVehicleCharacteristicConstant TEXT"_s, u"KConstantOfRecordingEquipment TEXT"_s,
                u"ITyreCircumference TEXT"_s, u"TyreSize TEXT"_s, u"AuthorisedSpeed TEXT"_s, u"OldOdometerValue TEXT"_s,
                u"NewOdometerValue TEXT"_s, u"OldTimeValue TEXT"_s, u"NewTimeValue TEXT"_s,
                u"NextCalibrationDate TEXT"_s, tachographForeignKey}),
        createTable(u"TachoDayInformation"_s,
            {u"DayInfoId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"DayNo INTEGER"_s,
                u"TimeReal DATETIME"_s, u"OdometerValueMidnight INTEGER"_s, tachographForeignKey}),
        createTable(u"TachoCardIWData"_s,
            {u"CardIWId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"DayNo INTEGER"_s,
                u"CardHolderSurname TEXT"_s, u"CardHolderFirstNames TEXT"_s, u"CardType TEXT"_s,
                u"CardIssuingMemberState TEXT"_s, u"DriverCardNumber TEXT"_s, u"CardExpiryDate TEXT"_s,
                u"CardInsertionDate TEXT"_s, u"VehicleOdometerValueAtInsertion INTEGER"_s, u"CardSlot TEXT"_s,
                u"CardWithdrawalTime TEXT"_s, u"VehicleOdometerValueAtWithdrawal INTEGER"_s,
                u"PrevVehicleRegistrationNation TEXT"_s, u"PrevVehicleRegistrationNumber TEXT"_s,
                u"PrevCardWithdrawalTime TEXT"_s, u"ManualInputFlag TEXT"_s, tachographForeignKey}),
        createTable(u"TachoActivityDaily"_s,
            {u"ActivityId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"DayNo INTEGER"_s, u"Slot TEXT"_s,
                u"DrivingStatus TEXT"_s, u"CardStatus TEXT"_s, u"Activity TEXT"_s, u"TimeOfChange TEXT"_s,
                tachographForeignKey}),
        createTable(u"TachoPlaceDailyWorkPeriod"_s,
            {u"PlaceId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"DayNo INTEGER"_s, u"CardType TEXT"_s,
                u"CardIssuingMemberState TEXT"_s, u"DriverCardNumber TEXT"_s, u"EntryTime TEXT"_s,
                u"EntryTypeDailyWorkPeriod TEXT"_s, u"DailyWorkPeriodCountry TEXT"_s, u"DailyWorkPeriodRegion TEXT"_s,
                u"VehicleOdometerValue TEXT"_s, tachographForeignKey}),
        createTable(u"TachoSpecificConditionData"_s,
            {u"ConditionId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"DayNo INTEGER"_s, u"EntryTime TEXT"_s,
                u"SpecificConditionType TEXT"_s, tachographForeignKey}),
        createTable(u"TachoDetailedSpeedData"_s,
            {u"SpeedId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"SpeedBlockBeginDate TEXT"_s,
                u"SpeedsPerSecond TEXT"_s, u"SpeedValuesJson TEXT"_s, tachographForeignKey}),
        createTable(u"TachoVUIdentification"_s,
            {u"IdentificationId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"Description TEXT"_s,
                u"Value TEXT"_s, tachographForeignKey}),
        createTable(u"TachoSensorPaired"_s,
            {u"SensorId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"Description TEXT"_s, u"Value TEXT"_s,
                tachographForeignKey}),
        createTable(u"DddRows"_s,
            {u"RowId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"ReportType INTEGER NOT NULL"_s,
                u"Dataset TEXT NOT NULL"_s, u"RowIndex INTEGER NOT NULL"_s, u"Json TEXT NOT NULL"_s}),
        u"CREATE INDEX IF NOT EXISTS idx_ddd_rows_report ON DddRows(ReportId, ReportType, Dataset, RowIndex)"_s,
        createTable(u"DddSections"_s,
            {u"SectionId INTEGER PRIMARY KEY AUTOINCREMENT"_s, tachoReportId, u"ReportType INTEGER NOT NULL"_s,
                u"FileNumber TEXT"_s, u"Name TEXT"_s, u"Occurrence INTEGER"_s, u"Offset INTEGER"_s, u"Length INTEGER"_s,
                u"RecordCount INTEGER"_s, u"RecordLength INTEGER"_s, u"PayloadHex TEXT"_s, u"RecordsJson TEXT"_s}),
        u"CREATE INDEX IF NOT EXISTS idx_ddd_sections_report ON DddSections(ReportId, ReportType)"_s,
        createTable(u"DddReportMeta"_s,
            {tachoReportId, u"ReportType INTEGER NOT NULL"_s, u"Json TEXT NOT NULL"_s,
                u"PRIMARY KEY(ReportId, ReportType)"_s}),
        u"CREATE INDEX IF NOT EXISTS idx_driver_reports_date ON DriverCardReports(ReportDate)"_s,
        u"CREATE INDEX IF NOT EXISTS idx_tacho_reports_date ON TachographReports(ReportDate)"_s,
    };
}

struct ColumnUpgrade
{
    const char16_t *table;
    const char16_t *column;
    const char16_t *type;
};

// Columns that earlier layouts lacked. TachographReports.VehicleRegistrationNation exists only through this
// list, so it runs on every open.
constexpr ColumnUpgrade columnUpgrades[] = {
    {u"DriverCardReports", u"DriverFirstName", u"TEXT"},
    {u"DriverCardReports", u"DriverSurname", u"TEXT"},
    {u"DriverCardReports", u"IssuingAuthorityName", u"TEXT"},
    {u"DriverCardReports", u"BirthDate", u"TEXT"},
    {u"DriverCardReports", u"ExpiryDate", u"TEXT"},
    {u"DriverCardReports", u"LastCardDownload", u"TEXT"},
    {u"DriverCardReports", u"LastCardDownloadString", u"TEXT"},
    {u"DriverCardReports", u"DrivingLicenceNumber", u"TEXT"},
    {u"DriverCardReports", u"DrivingLicenceIssuingAuthority", u"TEXT"},
    {u"DriverCardReports", u"DrivingLicenceIssuingNation", u"TEXT"},
    {u"DriverCardReports", u"DataStartDate", u"TEXT"},
    {u"DriverCardReports", u"DataEndDate", u"TEXT"},
    {u"DriverCardReports", u"TotalDrivingHours", u"INTEGER"},
    {u"DriverCardReports", u"TotalRestHours", u"INTEGER"},
    {u"DriverCardReports", u"TotalDistanceKm", u"INTEGER"},
    {u"TachographReports", u"VehicleRegistrationNation", u"TEXT"},
    {u"TachographReports", u"TotalOverSpeeding", u"INTEGER"},
    {u"TachographReports", u"TotalCalibrations", u"INTEGER"},
    {u"TachographReports", u"DataStartDate", u"TEXT"},
    {u"TachographReports", u"DataEndDate", u"TEXT"},
    {u"TachographReports", u"AverageSpeed", u"REAL"},
    {u"TachographReports", u"MaxSpeed", u"INTEGER"},
    {u"TachographReports", u"DaysWithOverSpeeding", u"INTEGER"},
    {u"TachographReports", u"DaysWithFaults", u"INTEGER"},
    {u"TachographReports", u"NextCalibrationDate", u"TEXT"},
    {u"TachoDetailedSpeedData", u"SpeedValuesJson", u"TEXT"},
};

const QString notOpenText = u"DDD report database is not open"_s;

qint64 sortKey(const QVariant &reportDate)
{
    const QDateTime date = storedDateTime(reportDate);
    return date.isValid() ? date.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

} // namespace

DddRepository::DddRepository(const QString &path)
{
    QString databasePath = path;
    if (databasePath.isEmpty()) {
        if (!storage::DatabaseCatalog::prepareReportsDatabase(&m_lastError))
            return;
        databasePath = storage::DatabaseCatalog::path(storage::KnownDatabase::Reports);
    }
    m_connection = std::make_unique<storage::SqlConnection>(u"TessaronDdd"_s, databasePath,
        u"QSQLITE_BUSY_TIMEOUT=%1"_s.arg(std::chrono::milliseconds(storage::busyWait).count()));
    if (!m_connection->isOpen()) {
        m_lastError = m_connection->openError();
        return;
    }
    QSqlQuery(m_connection->database()).exec(u"PRAGMA foreign_keys = ON"_s);
    initialize();
}

DddRepository::~DddRepository() = default;

bool DddRepository::isOpen() const
{
    return m_connection && m_connection->isOpen();
}

void DddRepository::setError(const QString &text) const
{
    m_lastError = text;
}

bool DddRepository::exec(const QString &sql) const
{
    QSqlQuery query(m_connection->database());
    if (query.exec(sql))
        return true;
    setError(storage::shownSqlFailure(u"Ошибка базы отчётов"_s, query.lastError(), u"ddd"_s));
    return false;
}

bool DddRepository::execBound(QSqlQuery &query, const QVariantList &values) const
{
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
    if (query.exec())
        return true;
    setError(storage::shownSqlFailure(u"Ошибка базы отчётов"_s, query.lastError(), u"ddd"_s));
    return false;
}

bool DddRepository::initialize()
{
    const QStringList statements = schemaStatements();
    for (const QString &statement : statements) {
        if (!exec(statement))
            return false;
    }
    for (const ColumnUpgrade &upgrade : columnUpgrades) {
        if (!ensureColumn(QStringView(upgrade.table).toString(), QStringView(upgrade.column).toString(),
                QStringView(upgrade.type).toString()))
            return false;
    }
    return true;
}

bool DddRepository::ensureColumn(const QString &table, const QString &column, const QString &type)
{
    {
        QSqlQuery query(m_connection->database());
        if (!query.exec(u"PRAGMA table_info(%1)"_s.arg(storage::quoteIdentifier(table)))) {
            setError(storage::shownSqlFailure(u"Не удалось обновить базу отчётов"_s, query.lastError(), u"ddd"_s));
            return false;
        }
        bool found = false;
        while (query.next())
            found = found || query.value(1).toString().compare(column, Qt::CaseInsensitive) == 0;
        if (found)
            return true;
    }
    return exec(u"ALTER TABLE %1 ADD COLUMN %2 %3"_s.arg(
        storage::quoteIdentifier(table), storage::quoteIdentifier(column), type));
}

QVariantList DddRepository::listReports(QString *error) const
{
    if (!isOpen())
        return {};
    QSqlQuery query(m_connection->database());
    query.setForwardOnly(true);
    query.prepare(u"SELECT ReportId, ReportDate, CardNumber AS KeyValue, DriverFullName AS Description, "
                  "TotalEvents, TotalFaults, 'Карта водителя' AS ReportType, ? AS FileKind FROM DriverCardReports "
                  "UNION ALL SELECT ReportId, ReportDate, VIN AS KeyValue, VehicleRegistration AS Description, "
                  "TotalEvents, TotalFaults, 'Тахограф' AS ReportType, ? AS FileKind FROM TachographReports"_s);
    if (!execBound(query, {int(DddFileType::DriverCard), int(DddFileType::Tachograph)})) {
        if (error)
            *error = m_lastError;
        return {};
    }
    struct Entry
    {
        qint64 date;
        qint64 id;
        QVariantMap map;
    };
    std::vector<Entry> entries;
    while (query.next()) {
        QVariantMap map {
            {u"reportId"_s, query.value(0)},
            {u"reportDate"_s, query.value(1)},
            {u"keyValue"_s, query.value(2)},
            {u"description"_s, query.value(3)},
            {u"eventCount"_s, query.value(4)},
            {u"faultCount"_s, query.value(5)},
            {u"reportType"_s, query.value(6)},
            {u"fileKind"_s, query.value(7).toInt()},
        };
        entries.push_back({sortKey(query.value(1)), query.value(0).toLongLong(), std::move(map)});
    }
    // Each key is computed once; the stable sort keeps the query's order where both keys are equal.
    std::stable_sort(entries.begin(), entries.end(),
        [](const Entry &a, const Entry &b) { return a.date != b.date ? a.date > b.date : a.id > b.id; });
    QVariantList list;
    reserveChecked(list, qsizetype(entries.size()));
    for (Entry &entry : entries)
        list.append(std::move(entry.map));
    return list;
}

qint64 DddRepository::findDuplicateReport(const DddReport &report) const
{
    if (!isOpen() || report.fileType == DddFileType::Unknown) {
        setError(notOpenText);
        return -1;
    }
    // The newest stored report of the same type whose fingerprint equals this one's; where either fingerprint
    // is missing, whose file path equals this one's. Rows whose meta is not a JSON object are passed over.
    QString fileMatch = u"(? <> '' AND Path = ?)"_s;
    QVariantList values {storedReportType(report.fileType)};
    if (!report.sourceFingerprint.isEmpty()) {
        fileMatch = u"(Fingerprint <> '' AND Fingerprint = ?) OR (Fingerprint = '' AND "_s + fileMatch + u')';
        values.append(report.sourceFingerprint);
    }
    values.append({report.filePath, report.filePath});
    QSqlQuery query(m_connection->database());
    query.setForwardOnly(true);
    query.prepare(
        u"SELECT ReportId FROM (SELECT ReportId, %1 AS Fingerprint, %2 AS Path FROM DddReportMeta "
        "WHERE ReportType = ? AND json_valid(Json) AND json_type(Json) = 'object') WHERE %3 "
        "ORDER BY ReportId DESC LIMIT 1"_s.arg(metaText(u"sourceFingerprint"_s), metaText(u"filePath"_s), fileMatch));
    if (!execBound(query, values))
        return -1;
    return query.next() ? query.value(0).toLongLong() : 0;
}

qint64 DddRepository::storedReportId(qint64 reportId, DddFileType type) const
{
    if (!isOpen()) {
        setError(notOpenText);
        return -1;
    }
    QSqlQuery query(m_connection->database());
    query.setForwardOnly(true);
    query.prepare(u"SELECT ReportId FROM %1 WHERE ReportId = ?"_s.arg(headerTable(type)));
    if (!execBound(query, {reportId}))
        return -1;
    return query.next() ? reportId : 0;
}

bool DddRepository::remove(qint64 reportId, DddFileType type)
{
    if (!isOpen())
        return false;
    storage::TransactionGuard transaction(m_connection->database());
    if (!transaction.isActive()) {
        setError(storage::shownSqlFailure(u"Не удалось удалить отчёт из базы"_s, transaction.error(), u"ddd"_s));
        return false;
    }
    const QString header = headerTable(type);
    const QStringList statements {
        u"DELETE FROM DddRows WHERE ReportId = ? AND ReportType = ?"_s,
        u"DELETE FROM DddSections WHERE ReportId = ? AND ReportType = ?"_s,
        u"DELETE FROM DddReportMeta WHERE ReportId = ? AND ReportType = ?"_s,
        // The typed child rows go with their header through ON DELETE CASCADE.
        u"DELETE FROM %1 WHERE ReportId = ?"_s.arg(header),
    };
    for (const QString &statement : statements) {
        QSqlQuery query(m_connection->database());
        query.prepare(statement);
        const QVariantList values {reportId, storedReportType(type)};
        if (!execBound(query, values.mid(0, statement.count(u'?'))))
            return false;
    }
    if (!transaction.commit()) {
        setError(storage::shownSqlFailure(u"Не удалось удалить отчёт из базы"_s, transaction.error(), u"ddd"_s));
        return false;
    }
    return true;
}

} // namespace tessaron::ddd
