#include "vu_records.h"

#include "byte_reader.h"
#include "checked_growth.h"
#include "code_page_text.h"
#include "ddd_readers.h"
#include "decode_stop.h"
#include "record_names.h"
#include "row_template.h"

#include <QDate>
#include <QVariantMap>

#include <algorithm>
#include <array>
#include <vector>

using namespace Qt::StringLiterals;

namespace tessaron::ddd::vu {

namespace {

constexpr qsizetype SpeedBlockSize = 64; // VuDetailedSpeedBlock: begin time and sixty one-second speeds
constexpr int SpeedsPerBlock = 60;
constexpr quint8 NoSpeed = 0xFF;

constexpr qsizetype VuIdentificationSize = 116;
constexpr qsizetype SensorPairedSize = 20;
constexpr qsizetype CalibrationRecordSize = 167; // VuCalibrationRecord
constexpr qsizetype ShortFormLimit = 117; // a block this short carries no VU identification

// Keys and values made once: a month of detailed speed builds 1,440 speed rows and 86,400 chart rows.
struct SpeedTables
{
    QString activityKey = u"activity"_s;
    QString dayKey = u"day"_s;
    QString timeKey = u"time"_s;
    QString valueKey = u"value"_s;
    QString averageKey = u"averageSpeed"_s;
    QString hexKey = u"hex"_s;
    QString maxKey = u"maxSpeed"_s;
    QString beginKey = u"speedBlockBeginDate"_s;
    QString valuesKey = u"speedValues"_s;
    QString perSecondKey = u"speedsPerSecond"_s;
    QString validKey = u"validSpeedCount"_s;
    std::array<QVariant, 256> numbers;
    std::array<QVariant, 256> activities;
    RowTemplate chartRow {activityKey, dayKey, timeKey, valueKey};
    RowTemplate speedRow {averageKey, hexKey, maxKey, beginKey, valuesKey, perSecondKey, validKey};

    SpeedTables()
    {
        for (int i = 0; i < 256; ++i) {
            numbers[i] = i;
            activities[i] = u"Скорость %1 км/ч"_s.arg(i);
        }
    }
};

const SpeedTables &speedTables()
{
    static const SpeedTables tables;
    return tables;
}

// One chart row per second of speed. Rows of the same block occurrence, second and speed are equal, so each
// distinct row is built once and shared by every second it describes.
class ChartRows
{
public:
    explicit ChartRows(int day)
        : m_day(day)
    { }

    // Valid until the next call, which may add a row.
    const QVariant &row(int second, int speed)
    {
        int &index = m_index[second * 256 + speed];
        if (index < 0) {
            index = int(m_rows.size());
            m_rows.append(build(second, speed));
        }
        return m_rows.at(index);
    }

private:
    QVariant build(int second, int speed) const
    {
        const SpeedTables &tables = speedTables();
        return tables.chartRow.row(tables.activities[speed], m_day, tables.numbers[second], tables.numbers[speed]);
    }

    int m_day;
    std::vector<int> m_index = std::vector<int>(SpeedsPerBlock * 256, -1);
    QVariantList m_rows;
};

// One speed of a second: 0xFF marks a second without a valid speed, shown as 0.
int speedValue(char raw)
{
    return quint8(raw) == NoSpeed ? 0 : quint8(raw);
}

QVariant detailedSpeedRow(quint32 beginSeconds, QByteArrayView speeds, QByteArrayView wholeBlock)
{
    const SpeedTables &tables = speedTables();
    const auto digits = [](int speed) { return speed >= 100 ? 3 : speed >= 10 ? 2 : 1; };
    qsizetype textLength = 2 * (speeds.size() - 1);
    for (const char raw : speeds)
        textLength += digits(speedValue(raw));
    QString perSecond(std::max<qsizetype>(textLength, 0), Qt::Uninitialized);
    QChar *out = perSecond.data();

    QVariantList values;
    reserveChecked(values, speeds.size());
    int valid = 0;
    int sum = 0;
    int max = 0;
    for (const char raw : speeds) {
        const int speed = speedValue(raw);
        values.emplaceBack(tables.numbers[speed]);
        if (out != perSecond.data()) {
            *out++ = u',';
            *out++ = u' ';
        }
        if (speed >= 100)
            *out++ = QChar(u'0' + speed / 100);
        if (speed >= 10)
            *out++ = QChar(u'0' + speed / 10 % 10);
        *out++ = QChar(u'0' + speed % 10);
        if (quint8(raw) != NoSpeed) {
            ++valid;
            sum += speed;
            max = std::max(max, speed);
        }
    }

    return tables.speedRow.row(valid > 0 ? double(sum) / valid : 0.0, hexText(wholeBlock), tables.numbers[max],
        formatUnixCSharp(beginSeconds, false), values, perSecond, valid);
}

// "Unknown (0x%1)" with the code as two hex digits, the whole text upper-cased.
QString unknownCodeText(quint8 code)
{
    return u"Unknown (0x%1)"_s.arg(uint(code), 2, 16, QLatin1Char('0')).toUpper();
}

// Two BCD bytes (month, year) as four digits: 0x03 0x19 gives "0319".
QString bcdPairText(quint8 month, quint8 year)
{
    const auto bcd = [](quint8 b) { return QString::number((b >> 4) * 10 + (b & 0x0F)).rightJustified(2, u'0'); };
    return u"%1%2"_s.arg(bcd(month), bcd(year));
}

// VuIdentification, 116 bytes at start: name and address (code page and 35 characters each), part number 16,
// ExtendedSerialNumber 8, software version 4 and installation date 4, manufacturing date 4, approval number 8.
void appendVuIdentificationRows(DddReport &report, const QByteArray &data, qsizetype start)
{
    const ByteReader reader(data);

    appendVuIdentificationRow(report, u"vuManufacturerName"_s, readCodePageText(data, start, 35));
    appendVuIdentificationRow(report, u"vuManufacturerAddress"_s, readCodePageText(data, start + 36, 35));
    appendVuIdentificationRow(report, u"vuPartNumber"_s, readWindows1251Text(data, start + 72, 16).trimmed());
    appendVuIdentificationRow(report, u"vuSerialNumber"_s, QString::number(reader.u32BeAt(start + 88).value_or(0)));
    appendVuIdentificationRow(
        report, u"monthYear"_s, bcdPairText(reader.byteAt(start + 92), reader.byteAt(start + 93)));
    const quint8 type = reader.byteAt(start + 94);
    appendVuIdentificationRow(report, u"type"_s,
        type == 6                       ? u"Vehicle Unit"_s
            : type == 0 || type == 0x43 ? QString()
                                        : unknownCodeText(type));
    appendVuIdentificationRow(report, u"manufacturerCode"_s, QString::number(reader.byteAt(start + 95)));
    appendVuIdentificationRow(report, u"vuSoftwareVersion"_s, readAsciiWithReplacement(data, start + 96, 4));
    appendVuIdentificationRow(report, u"vuSoftInstallationDate"_s, vuTimeText(data, start + 100));
    appendVuIdentificationRow(report, u"vuManufacturingDate"_s, vuTimeText(data, start + 104).left(10));
    appendVuIdentificationRow(report, u"vuApprovalNumber"_s, readCalibrationText(data, start + 108, 8));
}

// SensorPaired, 20 bytes at start: ExtendedSerialNumber 8, approval number 8, first pairing date 4.
void appendSensorRows(DddReport &report, const QByteArray &data, qsizetype start)
{
    const ByteReader reader(data);
    const auto append = [&](const QString &description, const QVariant &value) {
        report.sensorPaired.append(QVariantMap {{u"description"_s, description}, {u"value"_s, value}});
    };

    append(u"sensorSerialNumber"_s, QString::number(reader.u32BeAt(start).value_or(0)));
    append(u"monthYear"_s, bcdPairText(reader.byteAt(start + 4), reader.byteAt(start + 5)));
    const quint8 type = reader.byteAt(start + 6);
    append(u"type"_s, type == 0 ? u"Reserved"_s : type == 1 ? u"Motion Sensor"_s : unknownCodeText(type));
    append(u"manufacturerCode"_s, QString::number(reader.byteAt(start + 7)));
    const QString approval = readFixedText(data, start + 8, 8);
    report.sensorPaired.append(QVariantMap {
        {u"description"_s, u"sensorApprovalNumber"_s},
        {u"value"_s, approval},
        {u"semanticValue"_s, approval},
    });
    QString pairing = formatUnixCSharp(reader.u32BeAt(start + 16).value_or(0), true);
    if (pairing.isEmpty())
        pairing = u"01.01.1970 0:00:00"_s;
    report.sensorPaired.append(QVariantMap {
        {u"description"_s, u"sensorPairingDateFirst"_s},
        {u"value"_s, pairing},
        {u"hexData"_s, hexText(QByteArrayView(data).sliced(start, SensorPairedSize))},
    });
}

// VuCalibrationRecord, 167 bytes: purpose 1; workshop name 36 and address 36 (code page and 35 characters);
// workshop FullCardNumber 18 (type, nation, 16 characters); card expiry 4; VIN 17; registration 15 (nation,
// code page, 13 characters); W, K and L 2 each; tyre size 15; authorised speed 1; old and new odometer 3 each;
// old time, new time and next calibration date 4 each.
QVariantMap calibrationRow(const QByteArray &data, qsizetype start)
{
    const ByteReader reader(QByteArrayView(data).sliced(start, CalibrationRecordSize));
    const auto number16 = [&](qsizetype offset) { return QString::number(reader.u16BeAt(offset).value_or(0)); };
    const auto odometer
        = [&](qsizetype offset) { return QString::number(readOdometerShort(reader.bytes(), offset).value_or(0)); };
    const auto timeText = [&](qsizetype offset) { return formatUnixCSharp(reader.u32BeAt(offset).value_or(0), false); };

    const CalibrationPurposeNames purpose = calibrationPurposeName(reader.byteAt(0));
    QString registration = readCodePageText(data, start + 113, 13);
    if (registration.isEmpty())
        registration = u"?????????????"_s;
    return {
        {u"calibrationPurpose"_s, purpose.russian},
        {u"calibrationPurposeEnglish"_s, purpose.english},
        {u"workshopName"_s, readCodePageText(data, start + 1, 35)},
        {u"workshopAddress"_s, readCodePageText(data, start + 37, 35)},
        {u"workshopCardNumber"_s, readFixedText(data, start + 75, 16)},
        {u"workshopCardExpiryDate"_s, timeText(91)},
        {u"vehicleIdentificationNumber"_s, readFixedText(data, start + 95, 17)},
        {u"vehicleRegistrationNation"_s, countryName(reader.byteAt(112))},
        {u"vehicleRegistrationNumber"_s, registration},
        {u"wVehicleCharacteristicConstant"_s, number16(127)},
        {u"kConstantOfRecordingEquipment"_s, number16(129)},
        {u"iTyreCircumference"_s, number16(131)},
        {u"tyreSize"_s, readFixedText(data, start + 133, 15)},
        {u"authorisedSpeed"_s, QString::number(reader.byteAt(148))},
        {u"oldOdometerValue"_s, odometer(149)},
        {u"newOdometerValue"_s, odometer(152)},
        {u"oldTimeValue"_s, timeText(155)},
        {u"newTimeValue"_s, timeText(159)},
        {u"nextCalibrationDate"_s, timeText(163)},
        {u"hexData"_s, hexText(reader.bytes())},
    };
}

bool isCalibrationPurpose(quint8 purpose)
{
    return purpose >= 1 && purpose <= 5;
}

// The offsets of the calibration records of the area that starts at areaStart. A well-formed block carries the
// record count there, right before its records: when the count's records fit and each has a plausible purpose,
// those are the records. Otherwise the first record is searched for by the head of a workshop name in the
// Cyrillic code page (a name beginning with "О" or "ИП"), and records follow it while their purposes are
// plausible.
QList<qsizetype> calibrationRecordOffsets(const QByteArray &data, qsizetype areaStart, qsizetype end)
{
    const ByteReader reader(QByteArrayView(data).first(end));
    QList<qsizetype> offsets;

    const int count = reader.byteAt(areaStart);
    const qsizetype first = areaStart + 1;
    if (count > 0 && first <= end && (end - first) / CalibrationRecordSize >= count) {
        for (int i = 0; i < count; ++i)
            offsets.append(first + i * CalibrationRecordSize);
        const bool plausible = std::all_of(offsets.cbegin(), offsets.cend(),
            [&](qsizetype offset) { return isCalibrationPurpose(reader.byteAt(offset)); });
        if (plausible)
            return offsets;
        offsets.clear();
    }

    const auto recordFits = [&](qsizetype offset) { return offset < end && end - offset >= CalibrationRecordSize; };
    qsizetype q = areaStart;
    for (; recordFits(q); ++q) {
        const bool cyrillicName
            = reader.byteAt(q + 2) == 0xBE || (reader.byteAt(q + 2) == 0xB8 && reader.byteAt(q + 3) == 0xBF);
        if (isCalibrationPurpose(reader.byteAt(q)) && reader.byteAt(q + 1) == 0x05 && cyrillicName)
            break;
    }
    for (; recordFits(q) && isCalibrationPurpose(reader.byteAt(q)); q += CalibrationRecordSize)
        offsets.append(q);
    return offsets;
}

// The speed blocks of a detailed-speed block as stored (tag, count, then the count's 64-byte blocks), cut to the
// whole blocks present; empty when there are none.
QByteArrayView speedBlockBytes(const QByteArray &data)
{
    ByteReader reader(QByteArrayView(data).first(effectiveLength(data)));
    if (!reader.seek(2))
        return {};
    const qsizetype count = reader.readU16Be().value_or(0);
    const qsizetype blocks = std::min<qsizetype>(count, reader.remaining() / SpeedBlockSize);
    return reader.readBytes(blocks * SpeedBlockSize).value_or(QByteArrayView());
}

} // namespace

void reserveDetailedSpeedRows(DddReport &report)
{
    qsizetype speedBlocks = 0;
    for (const DddBlock &block : std::as_const(report.blocks)) {
        if (block.fileNumber == u"7604")
            speedBlocks += speedBlockBytes(block.data).size() / SpeedBlockSize;
    }
    reserveMore(report.detailedSpeed, speedBlocks);
    reserveMore(report.charts, speedBlocks * SpeedsPerBlock);
}

void decodeDetailedSpeedBlock(DddReport &report, const DddBlock &block)
{
    const QByteArrayView speedBlocks = speedBlockBytes(block.data);
    const qsizetype blocks = speedBlocks.size() / SpeedBlockSize;
    if (blocks == 0)
        return;

    // The speed rows first, then the chart rows: building each list in one run keeps its memory together.
    reserveMore(report.detailedSpeed, blocks);
    ByteReader rows(speedBlocks);
    while (auto speedBlock = rows.subReader(SpeedBlockSize)) {
        if (stopRequested())
            return;
        const quint32 begin = speedBlock->readU32Be().value_or(0);
        const QByteArrayView speeds = speedBlock->readBytes(SpeedsPerBlock).value_or(QByteArrayView());
        report.detailedSpeed.append(detailedSpeedRow(begin, speeds, speedBlock->bytes()));
    }

    reserveMore(report.charts, blocks * SpeedsPerBlock);
    ChartRows charts(block.occurrence);
    ByteReader seconds(speedBlocks);
    while (auto speedBlock = seconds.subReader(SpeedBlockSize)) {
        if (stopRequested())
            return;
        int second = 0;
        for (const char raw : speedBlock->bytes().sliced(4))
            report.charts.append(charts.row(second++, speedValue(raw)));
    }
}

void decodeTechnicalDataBlock(DddReport &report, const DddBlock &block)
{
    const QByteArray &data = block.data;
    const qsizetype end = effectiveLength(data);
    qsizetype sensorStart = 2;
    if (end > ShortFormLimit) {
        appendVuIdentificationRows(report, data, 2);
        sensorStart = 2 + VuIdentificationSize;
    }
    if (end - sensorStart < SensorPairedSize)
        return;
    appendSensorRows(report, data, sensorStart);

    for (const qsizetype offset : calibrationRecordOffsets(data, sensorStart + SensorPairedSize, end))
        report.calibrationData.append(calibrationRow(data, offset));
}

} // namespace tessaron::ddd::vu
