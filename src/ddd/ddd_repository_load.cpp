// Loading a stored report back into a DddReport.

#include "ddd_repository.h"

#include "ddd_decoder.h"
#include "ddd_repository_values.h"
#include "storage/sql_connection.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <limits>
#include <span>
#include <utility>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

namespace {

struct LegacyTable
{
    const char16_t *table;
    const char16_t *dataset;
};

// The typed tables a dataset is read from when it has no JSON rows (reports stored before DddRows existed).
constexpr LegacyTable driverCardLegacyTables[] = {
    {u"Events", u"events"},
    {u"Faults", u"faults"},
    {u"Vehicles", u"vehicles"},
    {u"ActivityChanges", u"activityChanges"},
    {u"DriverActivities", u"activities"},
    {u"Places", u"places"},
};

constexpr LegacyTable tachographLegacyTables[] = {
    {u"TachoEvents", u"tachoEvents"},
    {u"TachoFaults", u"tachoFaults"},
    {u"TachoOverSpeedingEvents", u"overSpeedingEvents"},
    {u"TachoCalibrationData", u"calibrationData"},
    {u"TachoDayInformation", u"dayInformation"},
    {u"TachoCardIWData", u"cardIwData"},
    {u"TachoActivityDaily", u"activityDaily"},
    {u"TachoPlaceDailyWorkPeriod", u"placeDailyWorkPeriod"},
    {u"TachoSpecificConditionData", u"specificConditions"},
    {u"TachoDetailedSpeedData", u"detailedSpeed"},
    {u"TachoVUIdentification", u"vuIdentification"},
    {u"TachoSensorPaired", u"sensorPaired"},
};

// The datasets the viewer's map leaves out.
constexpr QLatin1StringView datasetsNotInMap[] = {
    QLatin1StringView("charts"),
    QLatin1StringView("asn1Fields"),
    QLatin1StringView("cardIcc"),
    QLatin1StringView("cardIc"),
    QLatin1StringView("applicationIdentification"),
    QLatin1StringView("cardIdentification"),
    QLatin1StringView("cardDownload"),
    QLatin1StringView("drivingLicence"),
};

QVariantMap jsonObject(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object().toVariantMap();
}

void readText(QString &field, const QVariantMap &map, const QString &key)
{
    field = map.value(key, field).toString();
}

void readInteger(qint32 &field, const QVariantMap &map, const QString &key)
{
    field = map.value(key, field).toInt();
}

// Section rows rebuilt from DddSections lack the decoder's "fileType"; the DddRows copy of the same section
// still has it.
void keepFileType(QVariantMap &section, const QVariantList &storedRows, qsizetype position)
{
    if (position >= storedRows.size())
        return;
    const QVariantMap stored = storedRows.at(position).toMap();
    if (stored.contains(u"fileType"_s) && stored.value(u"fileNumber"_s) == section.value(u"fileNumber"_s)
        && stored.value(u"occurrence"_s).toLongLong() == section.value(u"occurrence"_s).toLongLong())
        section.insert(u"fileType"_s, stored.value(u"fileType"_s));
}

} // namespace

DddReport DddRepository::loadReport(qint64 reportId, DddFileType type) const
{
    DddReport report;
    if (!isOpen() || type == DddFileType::Unknown)
        return report;
    report.fileType = type;
    if (!loadHeader(report, reportId)) {
        report.fileType = DddFileType::Unknown;
        return report;
    }
    loadMeta(report, reportId);
    for (const DddDataset &entry : allDatasets)
        appendRows(report, QString(entry.name), loadRows(reportId, type, QString(entry.name)));

    const bool isTachograph = type == DddFileType::Tachograph;
    const std::span<const LegacyTable> legacyTables
        = isTachograph ? std::span<const LegacyTable>(tachographLegacyTables) : driverCardLegacyTables;
    for (const LegacyTable &legacy : legacyTables) {
        QVariantList *rows = dataset(report, QStringView(legacy.dataset));
        if (rows->isEmpty())
            *rows = loadLegacyRows(reportId, QStringView(legacy.table).toString());
    }
    if (isTachograph) {
        if (report.events.isEmpty())
            report.events = report.tachoEvents;
        if (report.faults.isEmpty())
            report.faults = report.tachoFaults;
        for (QVariant &element : report.detailedSpeed) {
            QVariantMap row = element.toMap();
            const QVariant speedValues = row.value(u"speedValues"_s);
            if (!row.isEmpty() && !(speedValues.isValid() && !speedValues.isNull())
                && row.contains(u"speedValuesJson"_s)) {
                const QByteArray json = row.value(u"speedValuesJson"_s).toString().toUtf8();
                row.insert(u"speedValues"_s, QJsonDocument::fromJson(json).array().toVariantList());
                element = row;
            }
        }
    }
    if (report.analysis.isEmpty())
        Decoder::analyze(report);
    loadSections(report, reportId);
    report.structureText = u"Сохранённый отчёт: %1, разделов: %2"_s
                               .arg(Decoder::typeName(isTachograph ? DddFileType::Tachograph : DddFileType::DriverCard))
                               .arg(report.blocks.size());
    return report;
}

bool DddRepository::loadHeader(DddReport &report, qint64 reportId) const
{
    QSqlQuery query(m_connection->database());
    query.setForwardOnly(true);
    query.prepare(u"SELECT * FROM %1 WHERE ReportId = ?"_s.arg(headerTable(report.fileType)));
    query.addBindValue(reportId);
    if (!query.exec() || !query.next())
        return false;
    const QSqlRecord record = query.record();
    const auto value = [&](const QString &column) {
        const int index = record.indexOf(column);
        return index < 0 ? QVariant() : query.value(index);
    };
    if (report.fileType == DddFileType::Tachograph) {
        report.vin = value(u"VIN"_s).toString();
        report.registrationNumber = value(u"VehicleRegistration"_s).toString();
        report.vehicleRegistrationNation = value(u"VehicleRegistrationNation"_s).toString();
        report.totalOverSpeeding = value(u"TotalOverSpeeding"_s).toInt();
        report.totalCalibrations = value(u"TotalCalibrations"_s).toInt();
        report.totalDays = value(u"TotalDays"_s).toInt();
        report.averageSpeed = value(u"AverageSpeed"_s).toDouble();
        report.maxSpeed = value(u"MaxSpeed"_s).toInt();
        report.daysWithOverSpeeding = value(u"DaysWithOverSpeeding"_s).toInt();
        report.daysWithFaults = value(u"DaysWithFaults"_s).toInt();
        report.nextCalibrationDate = value(u"NextCalibrationDate"_s).toString();
    } else {
        report.cardNumber = value(u"CardNumber"_s).toString();
        report.driverFirstName = value(u"DriverFirstName"_s).toString();
        report.driverSurname = value(u"DriverSurname"_s).toString();
        report.driverName = value(u"DriverFullName"_s).toString();
        report.issuingAuthorityName = value(u"IssuingAuthorityName"_s).toString();
        report.birthDate = value(u"BirthDate"_s).toString();
        report.expiryDate = value(u"ExpiryDate"_s).toString();
        report.lastCardDownload = value(u"LastCardDownload"_s).toString();
        report.lastCardDownloadString = value(u"LastCardDownloadString"_s).toString();
        report.drivingLicenceNumber = value(u"DrivingLicenceNumber"_s).toString();
        report.drivingLicenceIssuingAuthority = value(u"DrivingLicenceIssuingAuthority"_s).toString();
        report.drivingLicenceIssuingNation = value(u"DrivingLicenceIssuingNation"_s).toString();
    }
    // The stored total is a 64-bit sum; the report holds at most the largest 32-bit value.
    report.totalDistanceKm
        = qint32(std::clamp<qint64>(value(u"TotalDistanceKm"_s).toLongLong(), 0, std::numeric_limits<qint32>::max()));
    report.dataStartDate = value(u"DataStartDate"_s).toString();
    report.dataEndDate = value(u"DataEndDate"_s).toString();
    return true;
}

void DddRepository::loadMeta(DddReport &report, qint64 reportId) const
{
    QSqlQuery query(m_connection->database());
    query.setForwardOnly(true);
    query.prepare(u"SELECT Json FROM DddReportMeta WHERE ReportId = ? AND ReportType = ?"_s);
    query.addBindValue(reportId);
    query.addBindValue(storedReportType(report.fileType));
    if (!query.exec() || !query.next())
        return;
    const QVariantMap meta = jsonObject(query.value(0).toString().toUtf8());
    report.filePath = meta.value(u"filePath"_s).toString();
    report.fileName = meta.value(u"fileName"_s).toString();
    report.sourceFingerprint = meta.value(u"sourceFingerprint"_s).toString();
    report.size = meta.value(u"size"_s).toInt();
    report.printableStrings = meta.value(u"printableStrings"_s).toStringList();
    readText(report.driverName, meta, u"driverName"_s);
    readText(report.vehicleFirstUseDate, meta, u"vehicleFirstUseDate"_s);
    readText(report.cardWithdrawalTime, meta, u"cardWithdrawalTime"_s);
    readInteger(report.asn1Version, meta, u"asn1Version"_s);

    const QVariantMap identity = meta.value(u"asn1Identity"_s).toMap();
    Asn1Identity &asn1 = report.asn1Identity;
    asn1.version = identity.value(u"version"_s, report.asn1Version).toInt();
    asn1.vin = identity.value(u"vin"_s, report.vin).toString();
    asn1.registrationNumber = identity.value(u"registrationNumber"_s, report.registrationNumber).toString();
    asn1.vehicleFirstUseDate = identity.value(u"vehicleFirstUseDate"_s, report.vehicleFirstUseDate).toString();
    asn1.driverSurname = identity.value(u"driverSurname"_s, report.driverSurname).toString();
    asn1.driverFirstName = identity.value(u"driverFirstName"_s, report.driverFirstName).toString();
    asn1.cardNumber = identity.value(u"cardNumber"_s, report.cardNumber).toString();
    asn1.dataStartDate = identity.value(u"dataStartDate"_s, report.dataStartDate).toString();
    asn1.dataEndDate = identity.value(u"dataEndDate"_s, report.dataEndDate).toString();
    asn1.cardWithdrawalTime = identity.value(u"cardWithdrawalTime"_s, report.cardWithdrawalTime).toString();

    report.analysis = meta.value(u"analysis"_s).toMap();
}

void DddRepository::loadSections(DddReport &report, qint64 reportId) const
{
    QSqlQuery query(m_connection->database());
    query.setForwardOnly(true);
    query.prepare(u"SELECT FileNumber, Name, Occurrence, Offset, Length, RecordCount, RecordLength, PayloadHex, "
                  "RecordsJson FROM DddSections WHERE ReportId = ? AND ReportType = ? ORDER BY SectionId"_s);
    query.addBindValue(reportId);
    query.addBindValue(storedReportType(report.fileType));
    if (!query.exec())
        return;
    const QVariantList storedRows = std::exchange(report.sections, {});
    while (query.next()) {
        QVariantMap section {
            {u"fileNumber"_s, query.value(0)},
            {u"name"_s, query.value(1)},
            {u"occurrence"_s, query.value(2)},
            {u"offset"_s, query.value(3)},
            {u"length"_s, query.value(4)},
            {u"recordCount"_s, query.value(5)},
            {u"recordLength"_s, query.value(6)},
            {u"payloadHex"_s, query.value(7)},
            {u"records"_s, QJsonDocument::fromJson(query.value(8).toString().toUtf8()).array().toVariantList()},
        };
        keepFileType(section, storedRows, report.sections.size());
        DddBlock block;
        block.fileNumber = section.value(u"fileNumber"_s).toString();
        block.name = section.value(u"name"_s).toString();
        block.occurrence = section.value(u"occurrence"_s).toInt();
        block.offset = section.value(u"offset"_s).toInt();
        block.length = section.value(u"length"_s).toInt();
        block.recordCount = section.value(u"recordCount"_s).toInt();
        block.recordLength = section.value(u"recordLength"_s).toInt();
        block.data = QByteArray::fromHex(section.value(u"payloadHex"_s).toString().toLatin1());
        report.blocks.append(block);
        report.sections.append(section);
    }
}

QVariantMap DddRepository::load(qint64 reportId, DddFileType type) const
{
    const DddReport report = loadReport(reportId, type);
    if (report.fileType == DddFileType::Unknown)
        return {};
    QVariantMap map = report.summary();
    map.insert(u"reportId"_s, reportId);
    map.insert(u"analysis"_s, report.analysis);
    for (const DddDataset &entry : allDatasets) {
        if (std::find(std::begin(datasetsNotInMap), std::end(datasetsNotInMap), entry.name)
            == std::end(datasetsNotInMap))
            map.insert(QString(entry.name), report.*entry.member);
    }
    return map;
}

QVariantList DddRepository::loadRows(qint64 reportId, DddFileType type, const QString &dataset) const
{
    if (!isOpen())
        return {};
    QSqlQuery query(m_connection->database());
    query.setForwardOnly(true);
    query.prepare(u"SELECT Json FROM DddRows WHERE ReportId = ? AND ReportType = ? AND Dataset = ? "
                  "ORDER BY RowIndex"_s);
    if (!execBound(query, {reportId, storedReportType(type), dataset}))
        return {};
    // Equal rows (a vehicle unit's repeated chart points) are parsed once and share one map again.
    QHash<QString, QVariant> parsed;
    QVariantList rows;
    while (query.next()) {
        const QString json = query.value(0).toString();
        auto known = parsed.constFind(json);
        if (known == parsed.constEnd()) {
            const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8());
            known = parsed.insert(json, document.isObject() ? QVariant(document.object().toVariantMap()) : QVariant());
        }
        if (known->isValid())
            rows.append(*known);
    }
    return rows;
}

QVariantList DddRepository::loadLegacyRows(qint64 reportId, const QString &table) const
{
    if (!isOpen())
        return {};
    {
        QSqlQuery exists(m_connection->database());
        exists.prepare(u"SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? LIMIT 1"_s);
        exists.addBindValue(table);
        if (!exists.exec() || !exists.next())
            return {};
    }
    QSqlQuery query(m_connection->database());
    query.setForwardOnly(true);
    query.prepare(u"SELECT * FROM %1 WHERE ReportId = ?"_s.arg(storage::quoteIdentifier(table)));
    if (!execBound(query, {reportId}))
        return {};
    const QSqlRecord record = query.record();
    QVariantList rows;
    while (query.next()) {
        QVariantMap row;
        for (int i = 0; i < record.count(); ++i) {
            const QString name = record.fieldName(i);
            const QVariant value = query.value(i);
            row.insert(name, value);
            if (!name.isEmpty()) {
                const QString twin = lowerFirst(name);
                if (!row.contains(twin))
                    row.insert(twin, value);
            }
        }
        rows.append(row);
    }
    return rows;
}

void DddRepository::appendRows(DddReport &report, const QString &dataset, const QVariantList &rows)
{
    if (QVariantList *list = ddd::dataset(report, dataset))
        *list = rows;
}

} // namespace tessaron::ddd
