#include "ddd_report.h"

#include "checked_growth.h"
#include "ddd_decoder.h"
#include "ddd_file_splitter.h"
#include "ddd_readers.h"

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

namespace {

QString generationText(const CheckedSet<int> &generations)
{
    QStringList parts;
    if (generations.contains(1))
        parts.append(u"поколение 1"_s);
    if (generations.contains(2))
        parts.append(u"поколение 2"_s);
    if (generations.contains(3))
        parts.append(u"поколение 2 версии 2"_s);
    return parts.join(u", "_s);
}

// Which generations the blocks carry and how much of the file stayed unsplit.
QString formatNoteOf(const DddReport &report)
{
    if (report.fileType == DddFileType::Unknown)
        return u"Формат файла не распознан"_s;
    CheckedSet<int> generations;
    for (const DddBlock &block : report.blocks) {
        if (block.fileNumber == u"RAW")
            continue;
        if (report.fileType == DddFileType::DriverCard) {
            generations.insert(block.fileType == 2 || block.fileType == 3 ? 2 : 1);
        } else if (const auto parameter
            = block.data.size() > 1 ? std::optional<quint8>(quint8(block.data.at(1))) : std::nullopt) {
            generations.insert(FileSplitter::transferGeneration(*parameter));
        }
    }
    generations.erase(0);
    QString note = Decoder::typeName(report.fileType);
    if (!generations.empty())
        note += u": "_s + generationText(generations);
    if (const qint64 rawBytes = report.unsplitByteCount(); rawBytes > 0)
        note += u"; не разобрано байт: %1"_s.arg(rawBytes);
    return note;
}

QString blockDescription(const DddBlock &block, DddFileType fileType)
{
    if (block.fileNumber == u"RAW")
        return u"Неразобранные данные, %1 байт"_s.arg(block.length);
    if (fileType == DddFileType::DriverCard)
        return u"Файл %1 (%2), тип %3, %4 байт"_s.arg(block.fileNumber, block.name)
            .arg(block.fileType)
            .arg(block.length);
    return u"Блок %1 (%2), %3 байт, групп записей: %4"_s.arg(block.fileNumber, block.name)
        .arg(block.length)
        .arg(block.recordCount);
}

// The block as stored in the file: a card file with its 5-byte header, a transfer response as it is.
QString storedBlockHex(const DddBlock &block, DddFileType fileType, const QString &payloadHex)
{
    if (fileType != DddFileType::DriverCard || block.fileNumber == u"RAW")
        return payloadHex;
    const QString header = u"%1%2%3"_s.arg(block.fileNumber)
                               .arg(block.fileType & 0xFF, 2, 16, QLatin1Char('0'))
                               .arg(block.length & 0xFFFF, 4, 16, QLatin1Char('0'))
                               .toUpper();
    return header + payloadHex;
}

qint32 count(const QVariantList &rows)
{
    return qint32(rows.size());
}

} // namespace

QVariantMap asn1IdentityMap(const Asn1Identity &identity)
{
    return {
        {u"version"_s, identity.version},
        {u"vin"_s, identity.vin},
        {u"registrationNumber"_s, identity.registrationNumber},
        {u"vehicleFirstUseDate"_s, identity.vehicleFirstUseDate},
        {u"driverSurname"_s, identity.driverSurname},
        {u"driverFirstName"_s, identity.driverFirstName},
        {u"cardNumber"_s, identity.cardNumber},
        {u"dataStartDate"_s, identity.dataStartDate},
        {u"dataEndDate"_s, identity.dataEndDate},
        {u"cardWithdrawalTime"_s, identity.cardWithdrawalTime},
    };
}

QString DddReport::truncationText() const
{
    return truncatedBlock.isEmpty() ? QString() : u"Файл обрезан: блок %1 короче заявленного"_s.arg(truncatedBlock);
}

qint64 DddReport::unsplitByteCount() const
{
    qint64 bytes = 0;
    for (const DddBlock &block : blocks) {
        if (block.fileNumber == u"RAW")
            bytes += block.length;
    }
    return bytes;
}

qint32 DddReport::undecodedSecondGenerationBlockCount() const
{
    qint32 count = 0;
    for (const DddBlock &block : blocks) {
        switch (fileType) {
        case DddFileType::DriverCard:
            if (block.fileType == 2 && block.fileNumber.startsWith(u"05"))
                ++count;
            break;
        case DddFileType::Tachograph:
            if (block.fileNumber.startsWith(u"76") && block.data.size() > 1
                && FileSplitter::transferGeneration(quint8(block.data.at(1))) >= 2)
                ++count;
            break;
        case DddFileType::Unknown:
            break;
        }
    }
    return count;
}

QVariantMap DddReport::summary() const
{
    const QVariantMap compliance = analysis.value(u"compliance"_s).toMap();
    const int overallScore = compliance.value(u"overallScore"_s).toInt();
    return {
        {u"fileName"_s, fileName},
        {u"filePath"_s, filePath},
        {u"fileType"_s, Decoder::typeName(fileType)},
        {u"size"_s, size},
        {u"blockCount"_s, qint32(blocks.size())},
        {u"issuingAuthorityName"_s, issuingAuthorityName},
        {u"vin"_s, vin},
        {u"registrationNumber"_s, registrationNumber},
        {u"vehicleRegistrationNation"_s, vehicleRegistrationNation},
        {u"cardNumber"_s, cardNumber},
        {u"driverName"_s, driverName},
        {u"driverFirstName"_s, driverFirstName},
        {u"driverSurname"_s, driverSurname},
        {u"birthDate"_s, birthDate},
        {u"expiryDate"_s, expiryDate},
        {u"lastCardDownload"_s, lastCardDownload},
        {u"lastCardDownloadString"_s, lastCardDownloadString},
        {u"drivingLicenceNumber"_s, drivingLicenceNumber},
        {u"drivingLicenceIssuingAuthority"_s, drivingLicenceIssuingAuthority},
        {u"drivingLicenceIssuingNation"_s, drivingLicenceIssuingNation},
        {u"dataStartDate"_s, dataStartDate},
        {u"dataEndDate"_s, dataEndDate},
        {u"cardWithdrawalTime"_s, cardWithdrawalTime},
        {u"nextCalibrationDate"_s, nextCalibrationDate},
        {u"vehicleFirstUseDate"_s, vehicleFirstUseDate},
        {u"asn1Version"_s, asn1Version},
        {u"asn1Identity"_s, asn1IdentityMap(asn1Identity)},
        {u"version"_s, asn1Identity.version},
        {u"eventCount"_s, count(events)},
        {u"faultCount"_s, count(faults)},
        {u"activityCount"_s, count(activities)},
        {u"activityChangeCount"_s, count(activityChanges)},
        {u"vehicleCount"_s, count(vehicles)},
        {u"placeCount"_s, count(places)},
        {u"dayInformationCount"_s, count(dayInformation)},
        {u"cardIwCount"_s, count(cardIwData)},
        {u"tachoEventCount"_s, count(tachoEvents)},
        {u"tachoFaultCount"_s, count(tachoFaults)},
        {u"overSpeedingCount"_s, count(overSpeedingEvents)},
        {u"detailedSpeedCount"_s, count(detailedSpeed)},
        {u"calibrationCount"_s, count(calibrationData)},
        {u"activityDailyCount"_s, count(activityDaily)},
        {u"placeDailyWorkPeriodCount"_s, count(placeDailyWorkPeriod)},
        {u"specificConditionCount"_s, count(specificConditions)},
        {u"companyLockCount"_s, count(companyLocks)},
        {u"controlActivityCount"_s, count(controlActivity)},
        {u"totalOverSpeeding"_s, totalOverSpeeding},
        {u"totalCalibrations"_s, totalCalibrations},
        {u"totalDays"_s, totalDays},
        {u"totalDistanceKm"_s, totalDistanceKm},
        {u"averageSpeed"_s, averageSpeed},
        {u"maxSpeed"_s, maxSpeed},
        {u"daysWithOverSpeeding"_s, daysWithOverSpeeding},
        {u"daysWithFaults"_s, daysWithFaults},
        {u"asn1FieldCount"_s, count(asn1Fields)},
        {u"overallScore"_s, overallScore},
        {u"complianceScore"_s, overallScore},
        {u"compliance"_s, compliance},
        {u"formatNote"_s, formatNoteOf(*this)},
    };
}

QVariantList DddReport::blockRows() const
{
    QVariantList rows;
    reserveChecked(rows, blocks.size());
    for (const DddBlock &block : blocks) {
        const QString payloadHex = shownHexText(block.data);
        rows.append(QVariantMap {
            {u"fileNumber"_s, block.fileNumber},
            {u"name"_s, block.name},
            {u"occurrence"_s, block.occurrence},
            {u"offset"_s, block.offset},
            {u"length"_s, block.length},
            {u"recordCount"_s, block.recordCount},
            {u"recordLength"_s, block.recordLength},
            {u"blockStartPosition"_s, block.offset},
            {u"fileType"_s, block.fileType},
            {u"description"_s, blockDescription(block, fileType)},
            {u"data"_s, QVariantMap {{u"size"_s, block.length}, {u"hex"_s, payloadHex}}},
            {u"hex"_s, storedBlockHex(block, fileType, payloadHex)},
            {u"payloadHex"_s, payloadHex},
        });
    }
    return rows;
}

const QVariantList *dataset(const DddReport &report, QStringView name)
{
    for (const DddDataset &entry : allDatasets) {
        if (entry.name == name)
            return &(report.*entry.member);
    }
    return nullptr;
}

QVariantList *dataset(DddReport &report, QStringView name)
{
    return const_cast<QVariantList *>(dataset(std::as_const(report), name));
}

} // namespace tessaron::ddd
