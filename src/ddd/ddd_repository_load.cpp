// Loading a stored report back into a DddReport.

#include "ddd_repository.h"

#include "checked_growth.h"
#include "ddd_decoder.h"
#include "ddd_repository_values.h"
#include "logging/shown_failure.h"
#include "storage/busy_wait.h"
#include "storage/sql_connection.h"
#include "storage/transaction_guard.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <limits>
#include <new>
#include <span>
#include <utility>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

namespace {

const QString loadFailureText = u"Не удалось прочитать сохранённый отчёт"_s;

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

// Prepares and runs a read with its values bound, forward only; false when either fails, the cause in the query's
// lastError (a prepare needs the file too: SQLite may have to read the schema again).
bool runRead(QSqlQuery &query, const QString &statement, const QVariantList &values)
{
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        return false;
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}

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

DddReport DddRepository::loadReport(qint64 reportId, DddFileType type, QString *error) const
{
    if (!isOpen() || type == DddFileType::Unknown)
        return {};
    // The rows' JSON is parsed into maps that grow with the report. Running out of memory for them unwinds through
    // the read transaction's guard, which ends the read, and frees what was read: the load fails whole, as a failed
    // statement makes it.
    try {
        return rebuildReport(reportId, type, error);
    } catch (const std::bad_alloc &) {
        setError(loadOutOfMemoryText());
        if (error)
            *error = m_lastError;
        return {};
    }
}

QString DddRepository::loadOutOfMemoryText()
{
    return loadFailureText + u": недостаточно памяти"_s;
}

DddReport DddRepository::rebuildReport(qint64 reportId, DddFileType type, QString *error) const
{
    DddReport report;
    report.fileType = type;
    switch (readStoredReport(report, reportId)) {
    case Lookup::Found:
        break;
    case Lookup::Failed:
        if (error)
            *error = m_lastError;
        return {};
    case Lookup::Missing:
        return {};
    }

    const bool isTachograph = type == DddFileType::Tachograph;
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
    report.structureText = u"Сохранённый отчёт: %1, разделов: %2"_s
                               .arg(Decoder::typeName(isTachograph ? DddFileType::Tachograph : DddFileType::DriverCard))
                               .arg(report.blocks.size());
    return report;
}

DddRepository::Lookup DddRepository::readStoredReport(DddReport &report, qint64 reportId) const
{
    // Without it each statement would take the file anew: another program's write between two of them would
    // leave the report half read (rows of a deleted report gone, a dataset missing after a busy wait).
    storage::TransactionGuard transaction(m_connection->database());
    if (!transaction.isActive()) {
        setError(storage::shownSqlFailure(loadFailureText, transaction.error(), u"ddd"_s));
        return Lookup::Failed;
    }
    const Lookup header = loadHeader(report, reportId);
    if (header != Lookup::Found)
        return header;
    const bool read = loadMeta(report, reportId) && loadDatasets(report, reportId) && loadSections(report, reportId);
    return read ? Lookup::Found : Lookup::Failed;
}

bool DddRepository::loadDatasets(DddReport &report, qint64 reportId) const
{
    for (const DddDataset &entry : allDatasets) {
        if (!readRows(reportId, report.fileType, QString(entry.name), &(report.*entry.member)))
            return false;
    }
    const std::span<const LegacyTable> legacyTables = report.fileType == DddFileType::Tachograph
        ? std::span<const LegacyTable>(tachographLegacyTables)
        : driverCardLegacyTables;
    for (const LegacyTable &legacy : legacyTables) {
        QVariantList *rows = dataset(report, QStringView(legacy.dataset));
        if (rows->isEmpty() && !readLegacyRows(reportId, QStringView(legacy.table).toString(), rows))
            return false;
    }
    return true;
}

bool DddRepository::loadFailed(const QSqlQuery &query) const
{
    const QSqlError error = query.lastError();
    QString sentence = loadFailureText;
    if (storage::isWaitedOut(error))
        sentence = u"%1: базу отчётов держит другая программа дольше %2 с"_s.arg(loadFailureText)
                       .arg(storage::busyWait.count());
    else if (storage::sqliteCode(error) == 7) // SQLITE_NOMEM: SQLite's own allocation failed
        sentence = loadOutOfMemoryText();
    setError(logging::shownFailure(sentence, error.text(), u"ddd"_s));
    return false;
}

bool DddRepository::rowsRanOut(const QSqlQuery &query) const
{
    return !query.lastError().isValid() || loadFailed(query);
}

DddRepository::Lookup DddRepository::loadHeader(DddReport &report, qint64 reportId) const
{
    QSqlQuery query(m_connection->database());
    if (!runRead(query, u"SELECT * FROM %1 WHERE ReportId = ?"_s.arg(headerTable(report.fileType)), {reportId})) {
        loadFailed(query);
        return Lookup::Failed;
    }
    if (!query.next())
        return rowsRanOut(query) ? Lookup::Missing : Lookup::Failed;
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
    return Lookup::Found;
}

bool DddRepository::loadMeta(DddReport &report, qint64 reportId) const
{
    QSqlQuery query(m_connection->database());
    if (!runRead(query, u"SELECT Json FROM DddReportMeta WHERE ReportId = ? AND ReportType = ?"_s,
            {reportId, storedReportType(report.fileType)}))
        return loadFailed(query);
    // A report stored before the meta existed has none: its header alone.
    if (!query.next())
        return rowsRanOut(query);
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
    // Absent from the meta of a whole file and of every report stored before the member existed.
    readText(report.truncatedBlock, meta, u"truncatedBlock"_s);

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
    return true;
}

bool DddRepository::loadSections(DddReport &report, qint64 reportId) const
{
    QSqlQuery query(m_connection->database());
    if (!runRead(query,
            u"SELECT FileNumber, Name, Occurrence, Offset, Length, RecordCount, RecordLength, PayloadHex, "
            "RecordsJson FROM DddSections WHERE ReportId = ? AND ReportType = ? ORDER BY SectionId"_s,
            {reportId, storedReportType(report.fileType)}))
        return loadFailed(query);
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
    return rowsRanOut(query);
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
    QVariantList rows;
    return isOpen() && readRows(reportId, type, dataset, &rows) ? rows : QVariantList();
}

bool DddRepository::readRows(qint64 reportId, DddFileType type, const QString &dataset, QVariantList *rows) const
{
    rows->clear();
    QSqlQuery query(m_connection->database());
    if (!runRead(query,
            u"SELECT Json FROM DddRows WHERE ReportId = ? AND ReportType = ? AND Dataset = ? ORDER BY RowIndex"_s,
            {reportId, storedReportType(type), dataset}))
        return loadFailed(query);
    // Equal rows (a vehicle unit's repeated chart points) are parsed once and share one map again. The cache grows
    // with the report, so it is one that reports a failed allocation.
    CheckedHash<QString, QVariant> parsed;
    while (query.next()) {
        const QString json = query.value(0).toString();
        auto known = parsed.find(json);
        if (known == parsed.end()) {
            const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8());
            known = parsed.emplace(json, document.isObject() ? QVariant(document.object().toVariantMap()) : QVariant())
                        .first;
        }
        if (known->second.isValid())
            rows->append(known->second);
    }
    return rowsRanOut(query);
}

QVariantList DddRepository::loadLegacyRows(qint64 reportId, const QString &table) const
{
    QVariantList rows;
    return isOpen() && readLegacyRows(reportId, table, &rows) ? rows : QVariantList();
}

bool DddRepository::readLegacyRows(qint64 reportId, const QString &table, QVariantList *rows) const
{
    rows->clear();
    {
        QSqlQuery exists(m_connection->database());
        if (!runRead(exists, u"SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? LIMIT 1"_s, {table}))
            return loadFailed(exists);
        // A file of a layout that never had the table.
        if (!exists.next())
            return rowsRanOut(exists);
    }
    QSqlQuery query(m_connection->database());
    if (!runRead(query, u"SELECT * FROM %1 WHERE ReportId = ?"_s.arg(storage::quoteIdentifier(table)), {reportId}))
        return loadFailed(query);
    const QSqlRecord record = query.record();
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
        rows->append(row);
    }
    return rowsRanOut(query);
}

void DddRepository::appendRows(DddReport &report, const QString &dataset, const QVariantList &rows)
{
    if (QVariantList *list = ddd::dataset(report, dataset))
        *list = rows;
}

} // namespace tessaron::ddd
