// Saving a report: header, typed child rows, dataset rows, sections and meta, in one transaction.

#include "ddd_repository.h"

#include "checked_growth.h"
#include "ddd_repository_values.h"
#include "driven_distance.h"
#include "logging/shown_failure.h"
#include "storage/sql_connection.h"
#include "storage/transaction_guard.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <new>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

namespace {

// How a typed column takes its value from a dataset row.
enum class ColumnValue {
    Text, // the first key by textValue, bound as text
    Held, // the first key exactly, bound with its own type
    Found, // rowValue over the keys, bound with its own type
    Json, // jsonText of rowValue over the keys
};

struct TypedColumn
{
    QString name;
    QStringList keys;
    ColumnValue value;
};

TypedColumn text(const QString &name, const QString &key = {})
{
    return {name, {key.isEmpty() ? lowerFirst(name) : key}, ColumnValue::Text};
}

TypedColumn held(const QString &name)
{
    return {name, {lowerFirst(name)}, ColumnValue::Held};
}

TypedColumn single(const QString &name)
{
    return {name, {lowerFirst(name)}, ColumnValue::Found};
}

// The decoder's camelCase key, then the column's own name.
TypedColumn pair(const QString &name)
{
    return {name, {lowerFirst(name), name}, ColumnValue::Found};
}

TypedColumn found(const QString &name, const QStringList &keys)
{
    return {name, keys, ColumnValue::Found};
}

QVariant columnValue(const QVariantMap &row, const TypedColumn &column)
{
    switch (column.value) {
    case ColumnValue::Text:
        return textValue(row, column.keys.constFirst());
    case ColumnValue::Held:
        return row.value(column.keys.constFirst());
    case ColumnValue::Found:
        return rowValue(row, column.keys);
    case ColumnValue::Json:
        return jsonText(rowValue(row, column.keys));
    }
    return {};
}

// An over-speeding row with neither an event type nor a maximum speed carries nothing worth a typed row.
bool isEmptyOverSpeeding(const QVariantMap &row)
{
    // Made once: a list made per row is an allocation per row that could fail silently.
    static const QStringList eventTypeKeys {u"eventType1"_s, u"eventType"_s, u"EventType"_s};
    return rowValue(row, eventTypeKeys).toString().isEmpty() && !row.contains(u"maxSpeedValue"_s)
        && !row.contains(u"MaxSpeedValue"_s);
}

} // namespace

// One typed child table filled from one dataset. The vehicle-unit tables name the statement in their error.
struct TypedTable
{
    QString table;
    QString dataset;
    QList<TypedColumn> columns;
    bool statementInError = false;
    bool (*skip)(const QVariantMap &row) = nullptr;

    QString statement() const
    {
        QStringList names {u"ReportId"_s};
        for (const TypedColumn &column : columns)
            names.append(column.name);
        const QString marks = u"?, "_s.repeated(names.size()).chopped(2);
        return u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(table, names.join(u", "_s), marks);
    }
};

namespace {

const QList<TypedTable> &driverCardTables()
{
    static const QList<TypedTable> tables {
        {u"Events"_s, u"events"_s,
            {text(u"EventType"_s), text(u"EventBeginTime"_s), text(u"EventEndTime"_s),
                text(u"VehicleRegistrationNumber"_s), text(u"VehicleRegistrationNation"_s)}},
        {u"Faults"_s, u"faults"_s,
            {text(u"FaultType"_s), text(u"FaultBeginTime"_s), text(u"FaultEndTime"_s),
                text(u"VehicleRegistrationNumber"_s, u"faultVehicleRegistrationNumber"_s),
                text(u"VehicleRegistrationNation"_s, u"faultVehicleRegistrationNation"_s)}},
        {u"Vehicles"_s, u"vehicles"_s,
            {text(u"VehicleRegistrationNumber1"_s), text(u"VehicleRegistrationNation1"_s), text(u"VehicleFirstUsed"_s),
                text(u"VehicleLastUsed"_s), held(u"VehicleOdometerBegin"_s), held(u"VehicleOdometerEnd"_s)}},
        {u"ActivityChanges"_s, u"activityChanges"_s,
            {text(u"ActivityDailyPresenceCounter1"_s), text(u"Slot"_s), text(u"DrivingStatus"_s), text(u"CardStatus"_s),
                text(u"Activity"_s), text(u"Time"_s)}},
        {u"DriverActivities"_s, u"activities"_s,
            {text(u"ActivityRecordDate"_s), held(u"ActivityDayDistance"_s), held(u"ActivityDailyPresenceCounter"_s)}},
        {u"Places"_s, u"places"_s,
            {text(u"VehicleOdometerValue"_s), text(u"EntryTime"_s), text(u"EntryTypeDailyWorkPeriod"_s),
                text(u"DailyWorkPeriodRegion"_s), text(u"DailyWorkPeriodCountry"_s)}},
    };
    return tables;
}

QList<TypedColumn> singles(const QStringList &names)
{
    QList<TypedColumn> columns;
    for (const QString &name : names)
        columns.append(single(name));
    return columns;
}

const QList<TypedTable> &tachographTables()
{
    const QList<TypedColumn> cardNumbers {pair(u"CardNumberDriverSlotBegin"_s), pair(u"CardNumberCoDriverSlotBegin"_s),
        pair(u"CardNumberDriverSlotEnd"_s), pair(u"CardNumberCoDriverSlotEnd"_s)};
    static const QList<TypedTable> tables {
        {u"TachoEvents"_s, u"tachoEvents"_s,
            QList<TypedColumn> {
                pair(u"EventType"_s), pair(u"EventRecordPurpose"_s), pair(u"EventBeginTime"_s), pair(u"EventEndTime"_s)}
                + cardNumbers + QList<TypedColumn> {pair(u"SimilarEventsNumber"_s)},
            true},
        {u"TachoFaults"_s, u"tachoFaults"_s,
            QList<TypedColumn> {
                pair(u"FaultType"_s), pair(u"FaultRecordPurpose"_s), pair(u"FaultBeginTime"_s), pair(u"FaultEndTime"_s)}
                + cardNumbers,
            true},
        {u"TachoOverSpeedingEvents"_s, u"overSpeedingEvents"_s,
            {found(u"EventType"_s, {u"eventType1"_s, u"eventType"_s, u"EventType"_s}),
                found(u"EventRecordPurpose"_s,
                    {u"eventRecordPurpose1"_s, u"eventRecordPurpose"_s, u"EventRecordPurpose"_s}),
                found(u"EventBeginTime"_s, {u"eventBeginTime1"_s, u"eventBeginTime"_s, u"EventBeginTime"_s}),
                found(u"EventEndTime"_s, {u"eventEndTime1"_s, u"eventEndTime"_s, u"EventEndTime"_s}),
                pair(u"MaxSpeedValue"_s), pair(u"AverageSpeedValue"_s),
                found(u"CardNumberDriverSlotBegin"_s,
                    {u"cardNumberDriverSlotBegin11"_s, u"cardNumberDriverSlotBegin"_s, u"CardNumberDriverSlotBegin"_s}),
                found(u"SimilarEventsNumber"_s,
                    {u"similarEventsNumber1"_s, u"similarEventsNumber"_s, u"SimilarEventsNumber"_s})},
            true, isEmptyOverSpeeding},
        {u"TachoCalibrationData"_s, u"calibrationData"_s,
            singles({u"CalibrationPurpose"_s, u"WorkshopName"_s, u"WorkshopAddress"_s, u"WorkshopCardNumber"_s,
                u"WorkshopCardExpiryDate"_s, u"VehicleIdentificationNumber"_s, u"VehicleRegistrationNation"_s,
                u"VehicleRegistrationNumber"_s, u"WVehicleCharacteristicConstant"_s, u"KConstantOfRecordingEquipment"_s,
                u"ITyreCircumference"_s, u"TyreSize"_s, u"AuthorisedSpeed"_s, u"OldOdometerValue"_s,
                u"NewOdometerValue"_s, u"OldTimeValue"_s, u"NewTimeValue"_s, u"NextCalibrationDate"_s}),
            true},
        {u"TachoDayInformation"_s, u"dayInformation"_s,
            singles({u"DayNo"_s, u"TimeReal"_s, u"OdometerValueMidnight"_s}), true},
        {u"TachoCardIWData"_s, u"cardIwData"_s,
            singles({u"DayNo"_s, u"CardHolderSurname"_s, u"CardHolderFirstNames"_s, u"CardType"_s,
                u"CardIssuingMemberState"_s, u"DriverCardNumber"_s, u"CardExpiryDate"_s, u"CardInsertionDate"_s,
                u"VehicleOdometerValueAtInsertion"_s, u"CardSlot"_s, u"CardWithdrawalTime"_s,
                u"VehicleOdometerValueAtWithdrawal"_s, u"PrevVehicleRegistrationNation"_s,
                u"PrevVehicleRegistrationNumber"_s, u"PrevCardWithdrawalTime"_s, u"ManualInputFlag"_s}),
            true},
        {u"TachoActivityDaily"_s, u"activityDaily"_s,
            singles({u"DayNo"_s, u"Slot"_s, u"DrivingStatus"_s, u"CardStatus"_s, u"Activity"_s})
                + QList<TypedColumn> {found(u"TimeOfChange"_s, {u"timeOfChange"_s, u"time"_s})},
            true},
        {u"TachoPlaceDailyWorkPeriod"_s, u"placeDailyWorkPeriod"_s,
            singles({u"DayNo"_s, u"CardType"_s, u"CardIssuingMemberState"_s, u"DriverCardNumber"_s, u"EntryTime"_s,
                u"EntryTypeDailyWorkPeriod"_s, u"DailyWorkPeriodCountry"_s, u"DailyWorkPeriodRegion"_s,
                u"VehicleOdometerValue"_s}),
            true},
        {u"TachoSpecificConditionData"_s, u"specificConditions"_s,
            singles({u"DayNo"_s, u"EntryTime"_s, u"SpecificConditionType"_s}), true},
        {u"TachoDetailedSpeedData"_s, u"detailedSpeed"_s,
            {single(u"SpeedBlockBeginDate"_s), {u"SpeedsPerSecond"_s, {u"speedsPerSecond"_s}, ColumnValue::Json},
                {u"SpeedValuesJson"_s, {u"speedValues"_s, u"speedsPerSecond"_s}, ColumnValue::Json}},
            true},
        {u"TachoVUIdentification"_s, u"vuIdentification"_s, singles({u"Description"_s, u"Value"_s}), true},
        {u"TachoSensorPaired"_s, u"sensorPaired"_s, singles({u"Description"_s, u"Value"_s}), true},
    };
    return tables;
}

qint64 rowCount(const QVariantList &rows, const QVariantList &fallback = {})
{
    return rows.isEmpty() ? fallback.size() : rows.size();
}

qint64 positiveOr(qint32 value, qsizetype fallback)
{
    return value > 0 ? value : fallback;
}

QVariantMap reportMeta(const DddReport &report)
{
    QVariantMap meta {
        {u"filePath"_s, report.filePath},
        {u"fileName"_s, report.fileName},
        {u"sourceFingerprint"_s, report.sourceFingerprint},
        {u"fileType"_s, int(report.fileType)},
        {u"size"_s, report.size},
        {u"vin"_s, report.vin},
        {u"registrationNumber"_s, report.registrationNumber},
        {u"vehicleRegistrationNation"_s, report.vehicleRegistrationNation},
        {u"cardNumber"_s, report.cardNumber},
        {u"driverName"_s, report.driverName},
        {u"driverFirstName"_s, report.driverFirstName},
        {u"driverSurname"_s, report.driverSurname},
        {u"issuingAuthorityName"_s, report.issuingAuthorityName},
        {u"birthDate"_s, report.birthDate},
        {u"expiryDate"_s, report.expiryDate},
        {u"lastCardDownload"_s, report.lastCardDownload},
        {u"lastCardDownloadString"_s, report.lastCardDownloadString},
        {u"drivingLicenceNumber"_s, report.drivingLicenceNumber},
        {u"drivingLicenceIssuingAuthority"_s, report.drivingLicenceIssuingAuthority},
        {u"drivingLicenceIssuingNation"_s, report.drivingLicenceIssuingNation},
        {u"dataStartDate"_s, report.dataStartDate},
        {u"dataEndDate"_s, report.dataEndDate},
        {u"nextCalibrationDate"_s, report.nextCalibrationDate},
        {u"vehicleFirstUseDate"_s, report.vehicleFirstUseDate},
        {u"cardWithdrawalTime"_s, report.cardWithdrawalTime},
        {u"asn1Version"_s, report.asn1Version},
        {u"asn1Identity"_s, asn1IdentityMap(report.asn1Identity)},
        {u"totalOverSpeeding"_s, report.totalOverSpeeding},
        {u"totalCalibrations"_s, report.totalCalibrations},
        {u"totalDays"_s, report.totalDays},
        {u"totalDistanceKm"_s, report.totalDistanceKm},
        {u"averageSpeed"_s, report.averageSpeed},
        {u"maxSpeed"_s, report.maxSpeed},
        {u"daysWithOverSpeeding"_s, report.daysWithOverSpeeding},
        {u"daysWithFaults"_s, report.daysWithFaults},
        {u"printableStrings"_s, report.printableStrings},
        {u"analysis"_s, report.analysis},
    };
    // Only a file cut inside a block has it: a whole report's meta stays as every earlier version wrote it, and an
    // archive without the member reads as whole.
    if (!report.truncatedBlock.isEmpty())
        meta.insert(u"truncatedBlock"_s, report.truncatedBlock);
    return meta;
}

} // namespace

qint64 DddRepository::save(const DddReport &report)
{
    if (!isOpen())
        return -1;
    // The rows' JSON text grows with the report. Running out of memory for it unwinds through the transaction's
    // guard, which rolls back before the handler runs: nothing of the report stays stored.
    try {
        return report.fileType == DddFileType::Tachograph ? saveTachograph(report) : saveDriverCard(report);
    } catch (const std::bad_alloc &) {
        setError(u"Не удалось сохранить отчёт в базу: недостаточно памяти"_s);
        return -1;
    }
}

qint64 DddRepository::saveDriverCard(const DddReport &report)
{
    return saveInTransaction(report, DddFileType::DriverCard);
}

qint64 DddRepository::saveTachograph(const DddReport &report)
{
    return saveInTransaction(report, DddFileType::Tachograph);
}

qint64 DddRepository::saveInTransaction(const DddReport &report, DddFileType storedType)
{
    storage::TransactionGuard transaction(m_connection->database());
    if (!transaction.isActive()) {
        setError(storage::shownSqlFailure(u"Не удалось сохранить отчёт в базу"_s, transaction.error(), u"ddd"_s));
        return -1;
    }
    const bool isTachograph = storedType == DddFileType::Tachograph;
    const qint64 id = isTachograph ? insertTachographHeader(report) : insertDriverCardHeader(report);
    if (id < 0)
        return -1;
    const bool childrenSaved = isTachograph
        ? saveTachographChildren(id, report)
        : std::all_of(driverCardTables().cbegin(), driverCardTables().cend(),
            [&](const TypedTable &table) { return saveTypedRows(id, report, table); });
    if (!childrenSaved)
        return -1;
    for (const DddDataset &entry : allDatasets) {
        if (!saveRows(id, storedType, QString(entry.name), report.*entry.member))
            return -1;
    }
    if (!saveSections(id, storedType, report))
        return -1;
    // A failed commit is rolled back at once, so the connection is never left inside the transaction.
    if (!transaction.commit()) {
        setError(storage::shownSqlFailure(u"Не удалось сохранить отчёт в базу"_s, transaction.error(), u"ddd"_s));
        return -1;
    }
    return id;
}

qint64 DddRepository::insertDriverCardHeader(const DddReport &report) const
{
    const QVariantMap efficiency = report.analysis.value(u"efficiency"_s).toMap();
    QSqlQuery query(m_connection->database());
    query.prepare(u"INSERT INTO DriverCardReports (ReportDate, CardNumber, DriverFirstName, DriverSurname, "
                  "DriverFullName, IssuingAuthorityName, BirthDate, ExpiryDate, LastCardDownload, "
                  "LastCardDownloadString, DrivingLicenceNumber, DrivingLicenceIssuingAuthority, "
                  "DrivingLicenceIssuingNation, TotalEvents, TotalFaults, TotalVehiclesUsed, TotalActivityRecords, "
                  "TotalActivityChanges, DataStartDate, DataEndDate, TotalDrivingHours, TotalRestHours, "
                  "TotalDistanceKm) VALUES (CURRENT_TIMESTAMP, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                  "?, ?, ?, ?, ?)"_s);
    const QVariantList values {
        report.cardNumber,
        report.driverFirstName,
        report.driverSurname,
        report.driverName,
        report.issuingAuthorityName,
        report.birthDate,
        report.expiryDate,
        report.lastCardDownload,
        report.lastCardDownloadString,
        report.drivingLicenceNumber,
        report.drivingLicenceIssuingAuthority,
        report.drivingLicenceIssuingNation,
        rowCount(report.events),
        rowCount(report.faults),
        rowCount(report.vehicles),
        rowCount(report.activities),
        rowCount(report.activityChanges),
        report.dataStartDate,
        report.dataEndDate,
        efficiency.value(u"totalWorkMinutes"_s, 0),
        efficiency.value(u"totalRestMinutes"_s, 0),
        totalDrivenDistance(report),
    };
    return execBound(query, values) ? query.lastInsertId().toLongLong() : -1;
}

qint64 DddRepository::insertTachographHeader(const DddReport &report) const
{
    QSqlQuery query(m_connection->database());
    query.prepare(u"INSERT INTO TachographReports (ReportDate, VIN, VehicleRegistration, VehicleRegistrationNation, "
                  "TotalEvents, TotalFaults, TotalOverSpeeding, TotalCalibrations, TotalDays, TotalDistanceKm, "
                  "DataStartDate, DataEndDate, AverageSpeed, MaxSpeed, DaysWithOverSpeeding, DaysWithFaults, "
                  "NextCalibrationDate) VALUES (CURRENT_TIMESTAMP, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
    const QVariantList values {
        report.vin,
        report.registrationNumber,
        report.vehicleRegistrationNation,
        rowCount(report.events, report.tachoEvents),
        rowCount(report.faults, report.tachoFaults),
        positiveOr(report.totalOverSpeeding, report.overSpeedingEvents.size()),
        positiveOr(report.totalCalibrations, report.calibrationData.size()),
        positiveOr(report.totalDays, report.analysis.value(u"workingHours"_s).toList().size()),
        totalDrivenDistance(report),
        report.dataStartDate,
        report.dataEndDate,
        report.averageSpeed,
        report.maxSpeed,
        report.daysWithOverSpeeding,
        report.daysWithFaults,
        report.nextCalibrationDate,
    };
    return execBound(query, values) ? query.lastInsertId().toLongLong() : -1;
}

bool DddRepository::saveTypedRows(qint64 reportId, const DddReport &report, const TypedTable &table) const
{
    const QVariantList *rows = dataset(report, table.dataset);
    if (!rows || rows->isEmpty())
        return true;
    const QString statement = table.statement();
    QSqlQuery query(m_connection->database());
    query.prepare(statement);
    for (const QVariant &element : *rows) {
        const QVariantMap row = element.toMap();
        if (table.skip && table.skip(row))
            continue;
        query.bindValue(0, reportId);
        for (qsizetype i = 0; i < table.columns.size(); ++i)
            query.bindValue(int(i + 1), columnValue(row, table.columns.at(i)));
        if (!query.exec()) {
            const QSqlError failure = query.lastError();
            const QString text = table.statementInError ? u"%1: %2"_s.arg(failure.text(), statement) : failure.text();
            setError(storage::shownSqlFailure(u"Не удалось сохранить строки отчёта (таблица %1)"_s.arg(table.table),
                QSqlError(QString(), text, failure.type(), failure.nativeErrorCode()), u"ddd"_s));
            return false;
        }
    }
    return true;
}

bool DddRepository::saveTachographChildren(qint64 reportId, const DddReport &report) const
{
    for (const TypedTable &table : tachographTables()) {
        if (!saveTypedRows(reportId, report, table))
            return false;
    }
    return true;
}

bool DddRepository::saveRows(qint64 reportId, DddFileType type, const QString &dataset, const QVariantList &rows) const
{
    if (rows.isEmpty())
        return true;
    QSqlQuery query(m_connection->database());
    query.prepare(u"INSERT INTO DddRows (ReportId, ReportType, Dataset, RowIndex, Json) VALUES (?, ?, ?, ?, ?)"_s);
    // Rows that share one map (a vehicle unit's repeated chart points) are written to JSON once; the address of
    // the shared map's first entry names it while the rows are alive.
    CheckedHash<const void *, QString> written;
    const auto jsonOf = [&written](const QVariant &row) {
        const QVariantMap *map = row.metaType().id() == QMetaType::QVariantMap
            ? static_cast<const QVariantMap *>(row.constData())
            : nullptr;
        if (!map || map->isEmpty())
            return QString::fromUtf8(compactJson(row));
        const void *identity = &*map->constBegin();
        auto cached = written.find(identity);
        if (cached == written.end())
            cached = written.emplace(identity, QString::fromUtf8(compactJson(row))).first;
        return cached->second;
    };
    for (qsizetype index = 0; index < rows.size(); ++index) {
        query.bindValue(0, reportId);
        query.bindValue(1, storedReportType(type));
        query.bindValue(2, dataset);
        query.bindValue(3, qint64(index));
        query.bindValue(4, jsonOf(rows.at(index)));
        if (!query.exec()) {
            setError(storage::shownSqlFailure(
                u"Не удалось сохранить строки отчёта (%1)"_s.arg(dataset), query.lastError(), u"ddd"_s));
            return false;
        }
    }
    return true;
}

bool DddRepository::saveSections(qint64 reportId, DddFileType type, const DddReport &report) const
{
    const int reportType = storedReportType(type);
    {
        QSqlQuery query(m_connection->database());
        query.prepare(u"DELETE FROM DddSections WHERE ReportId = ? AND ReportType = ?"_s);
        if (!execBound(query, {reportId, reportType}))
            return false;
    }
    if (!report.sections.isEmpty()) {
        static const QStringList keys {u"fileNumber"_s, u"name"_s, u"occurrence"_s, u"offset"_s, u"length"_s,
            u"recordCount"_s, u"recordLength"_s, u"payloadHex"_s};
        QSqlQuery query(m_connection->database());
        query.prepare(u"INSERT INTO DddSections (ReportId, ReportType, FileNumber, Name, Occurrence, Offset, Length, "
                      "RecordCount, RecordLength, PayloadHex, RecordsJson) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
        for (const QVariant &element : report.sections) {
            const QVariantMap section = element.toMap();
            query.bindValue(0, reportId);
            query.bindValue(1, reportType);
            for (qsizetype i = 0; i < keys.size(); ++i)
                query.bindValue(int(i + 2), section.value(keys.at(i)));
            const QVariant records = section.value(u"records"_s);
            const int recordsType = records.metaType().id();
            query.bindValue(10,
                recordsType == QMetaType::QVariantList || recordsType == QMetaType::QVariantMap
                    ? QVariant(QString::fromUtf8(compactJson(records)))
                    : QVariant());
            if (!query.exec()) {
                setError(
                    storage::shownSqlFailure(u"Не удалось сохранить разделы отчёта"_s, query.lastError(), u"ddd"_s));
                return false;
            }
        }
    }
    QSqlQuery query(m_connection->database());
    query.prepare(u"INSERT OR REPLACE INTO DddReportMeta (ReportId, ReportType, Json) VALUES (?, ?, ?)"_s);
    return execBound(query, {reportId, reportType, QString::fromUtf8(compactJson(reportMeta(report)))});
}

} // namespace tessaron::ddd
