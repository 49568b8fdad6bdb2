#include "byte_reader.h"
#include "card_records.h"
#include "ddd_readers.h"
#include "record_names.h"

#include <QByteArrayView>
#include <QTimeZone>

#include <algorithm>
#include <array>

namespace tessaron::ddd::card {
namespace {

// CardVehicleRecord, 31 bytes after the 2-byte newest-record pointer: odometer begin (3), odometer end (3), first
// use (4), last use (4), registration nation (1), code page (1), number (13), VU data block counter (2).
constexpr qsizetype VehiclesStart = 2;
constexpr qsizetype VehicleRecordLength = 31;
// PlaceRecord, 10 bytes after the 1-byte newest-record pointer: entry time (4), entry type (1), country (1),
// region (1), odometer (3).
constexpr qsizetype PlacesStart = 1;
constexpr qsizetype PlaceRecordLength = 10;
// SpecificConditionRecord, 5 bytes: entry time (4), condition type (1).
constexpr qsizetype ConditionRecordLength = 5;

constexpr quint32 NoTime = 0xFFFFFFFF;

bool isPlausibleYear(int year)
{
    return year >= 2000 && year <= 2100;
}

bool isPresentTime(quint32 seconds)
{
    return seconds != 0 && seconds != NoTime;
}

bool isBlankRegistration(QByteArrayView number)
{
    for (const char c : number) {
        const auto byte = static_cast<quint8>(c);
        if (byte != 0x00 && byte != 0x20 && byte != 0xFF)
            return false;
    }
    return true;
}

QDateTime localTime(quint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()).toLocalTime();
}

// A card time shown in local time: the big-endian reading when its local year is plausible, else the little-endian
// one; invalid for 0, all ones, a time outside the data or no plausible reading.
QDateTime readLocalCardTime(const ByteReader &reader, qsizetype offset)
{
    ByteReader field(reader.bytesAt(offset, 4).value_or(QByteArrayView()));
    const auto bigEndian = field.u32BeAt(0);
    const auto littleEndian = field.readU32Le();
    if (!bigEndian || !littleEndian || !isPresentTime(*bigEndian))
        return {};
    const QDateTime first = localTime(*bigEndian);
    if (isPlausibleYear(first.date().year()))
        return first;
    const QDateTime second = localTime(*littleEndian);
    if (isPlausibleYear(second.date().year()))
        return second;
    return {};
}

} // namespace

void decodeVehicles(DddReport &report, const DddBlock &block)
{
    static const QString odometerBeginKey = QStringLiteral("vehicleOdometerBegin");
    static const QString odometerEndKey = QStringLiteral("vehicleOdometerEnd");
    static const QString firstUsedKey = QStringLiteral("vehicleFirstUsed");
    static const QString lastUsedKey = QStringLiteral("vehicleLastUsed");
    static const QString nationKey = QStringLiteral("vehicleRegistrationNation1");
    static const QString numberKey = QStringLiteral("vehicleRegistrationNumber1");
    static const QString counterKey = QStringLiteral("vuDataBlockCounter");
    static const QString noData = QStringLiteral("НЕТ ДАННЫХ");
    const QByteArray &data = block.data;
    if (data.size() <= VehiclesStart + VehicleRecordLength - 1)
        return;
    const ByteReader reader(data);
    const auto odometer
        = [&](std::optional<quint32> value) { return value ? QVariant(int(*value)) : QVariant(noData); };
    const auto useTime = [&](quint32 seconds) { return isPresentTime(seconds) ? formatUnix(seconds) : noData; };
    for (qsizetype offset = VehiclesStart; offset <= data.size() - VehicleRecordLength; offset += VehicleRecordLength) {
        const std::optional<quint32> odometerBegin = readOdometerShort(data, offset);
        const std::optional<quint32> odometerEnd = readOdometerShort(data, offset + 3);
        const quint32 firstUse = reader.u32BeAt(offset + 6).value_or(0);
        const quint32 lastUse = reader.u32BeAt(offset + 10).value_or(0);
        if (odometerBegin == 0u && odometerEnd == 0u && !isPresentTime(firstUse) && !isPresentTime(lastUse)
            && isBlankRegistration(reader.bytesAt(offset + 16, 13).value_or(QByteArrayView())))
            continue;
        report.vehicles.append(QVariantMap {
            {odometerBeginKey, odometer(odometerBegin)},
            {odometerEndKey, odometer(odometerEnd)},
            {firstUsedKey, useTime(firstUse)},
            {lastUsedKey, useTime(lastUse)},
            {nationKey, countryName(reader.u8At(offset + 14).value_or(0))},
            {numberKey, readCalibrationText(data, offset + 16, 13)},
            {counterKey, QStringLiteral("%1").arg(reader.u16BeAt(offset + 29).value_or(0), 4, 10, QLatin1Char('0'))},
        });
    }
}

void decodePlaces(DddReport &report, const DddBlock &block)
{
    static const QString entryTimeKey = QStringLiteral("entryTime");
    static const QString entryTypeKey = QStringLiteral("entryTypeDailyWorkPeriod");
    static const QString countryKey = QStringLiteral("dailyWorkPeriodCountry");
    static const QString regionKey = QStringLiteral("dailyWorkPeriodRegion");
    static const QString odometerKey = QStringLiteral("vehicleOdometerValue");
    static const QString noData = QStringLiteral("Нет данных");
    static const QString begin = QStringLiteral("Begin");
    static const QString end = QStringLiteral("End");
    const QByteArray &data = block.data;
    if (data.size() <= PlacesStart + PlaceRecordLength - 1)
        return;
    const ByteReader reader(data);
    for (qsizetype offset = PlacesStart; offset <= data.size() - PlaceRecordLength; offset += PlaceRecordLength) {
        const QString entryTime = formatUnix(reader.u32BeAt(offset).value_or(0));
        if (entryTime.isEmpty())
            continue;
        const std::optional<quint32> odometer = readOdometerShort(data, offset + 7);
        report.places.append(QVariantMap {
            {entryTimeKey, entryTime},
            {entryTypeKey, reader.u8At(offset + 4).value_or(0) == 0 ? begin : end},
            {countryKey, countryName(reader.u8At(offset + 5).value_or(0))},
            {regionKey, noData},
            {odometerKey, odometer ? QString::number(*odometer) : noData},
        });
    }
}

void decodeCurrentUsage(DddReport &report, const DddBlock &block)
{
    const QByteArray &data = block.data;
    const ByteReader reader(data);
    QVariantList &rows = report.currentUsage;
    qsizetype nationOffset = 0;
    if (const auto sessionOpen = reader.u32BeAt(0)) {
        appendFieldRow(rows, QStringLiteral("sessionOpenTime"),
            *sessionOpen == 0 ? QStringLiteral("Invalid timestamp") : formatUnix(*sessionOpen));
        nationOffset = 4;
    }
    if (const auto nation = reader.u8At(nationOffset))
        appendFieldRow(rows, QStringLiteral("vehicleRegistrationNation"), countryName(*nation));
    // The registration number fills the 13 bytes after its code page; a shorter file gives what it holds.
    if (data.size() >= 15)
        appendFieldRow(rows, QStringLiteral("vehicleRegistrationNumber"),
            readCalibrationText(data, 6, std::min<qsizetype>(data.size() - 6, 13)));
}

void decodeControlActivity(DddReport &report, const DddBlock &block)
{
    const QByteArray &data = block.data;
    ByteReader reader(data);
    QVariantList &rows = report.controlActivity;
    const auto controlType = reader.readU8();
    if (!controlType)
        return;
    static const std::array<QString, 5> controlTypes = {QStringLiteral("No Activity"), QStringLiteral("Control"),
        QStringLiteral("Surveillance"), QStringLiteral("Technical Control"), QStringLiteral("Company Control")};
    appendFieldRow(rows, QStringLiteral("controlType"),
        *controlType < controlTypes.size()
            ? controlTypes[*controlType]
            : QStringLiteral("Unknown (0x%1)").arg(uint(*controlType), 2, 16, QLatin1Char('0')));
    const auto timeText = [&reader](const QString &format, const QString &none) {
        const QDateTime time = readLocalCardTime(reader, reader.position());
        reader.skip(4);
        return time.isValid() ? time.toString(format) : none;
    };
    if (!reader.hasRoom(4))
        return;
    appendFieldRow(
        rows, QStringLiteral("controlTime"), timeText(QStringLiteral("dd.MM.yyyy"), QStringLiteral("01.01.1970")));
    if (const auto cardType = reader.readU8())
        appendFieldRow(rows, QStringLiteral("cardType"), cardTypeName(*cardType));
    else
        return;
    if (const auto nation = reader.readU8())
        appendFieldRow(rows, QStringLiteral("cardIssuingMemberState"), countryName(*nation));
    else
        return;
    if (!reader.hasRoom(16))
        return;
    appendFieldRow(rows, QStringLiteral("cardNumber"), readFixedText(data, reader.position(), 16));
    reader.skip(16);
    if (const auto nation = reader.readU8())
        appendFieldRow(rows, QStringLiteral("vehicleRegistrationNation"), countryName(*nation));
    else
        return;
    if (!reader.hasRoom(14))
        return;
    appendFieldRow(rows, QStringLiteral("vehicleRegistrationNumber"), readCalibrationText(data, reader.position(), 14));
    reader.skip(14);
    for (const QString &description :
        {QStringLiteral("controlDownloadPeriodBegin"), QStringLiteral("controlDownloadPeriodEnd")}) {
        if (!reader.hasRoom(4))
            return;
        appendFieldRow(rows, description, timeText(QStringLiteral("dd.MM.yyyy H:mm:ss"), QString()));
    }
}

void decodeSpecificConditions(DddReport &report, const DddBlock &block)
{
    static const QString entryTimeKey = QStringLiteral("entryTime");
    static const QString typeKey = QStringLiteral("specificConditionType");
    static const QString codeKey = QStringLiteral("conditionCode");
    static const QString hexKey = QStringLiteral("hexData");
    const QByteArray &data = block.data;
    const ByteReader reader(data);
    for (qsizetype offset = 0; offset <= data.size() - ConditionRecordLength; offset += ConditionRecordLength) {
        const quint32 seconds = reader.u32BeAt(offset).value_or(0);
        if (!isPresentTime(seconds))
            continue;
        const QDateTime entry = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
        if (!isPlausibleYear(entry.date().year()))
            continue;
        const quint8 type = reader.u8At(offset + 4).value_or(0);
        report.specificConditions.append(QVariantMap {
            {entryTimeKey, entry.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))},
            {typeKey, specificConditionName(type)},
            {codeKey, int(type)},
            {hexKey, hexText(reader.bytesAt(offset, ConditionRecordLength).value_or(QByteArrayView()))},
        });
    }
}

} // namespace tessaron::ddd::card
