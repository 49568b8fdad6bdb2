#include "byte_reader.h"
#include "checked_growth.h"
#include "code_page_text.h"
#include "ddd_decoder.h"
#include "ddd_readers.h"
#include "decode_stop.h"
#include "driven_distance.h"
#include "record_names.h"
#include "vu_records.h"

#include <QTimeZone>

#include <algorithm>
#include <numeric>
#include <optional>
#include <vector>

namespace tessaron::ddd {

namespace vu {

namespace {

using namespace Qt::StringLiterals;

constexpr qsizetype SignatureLength = 128;

// Seconds of 2000-01-01 and of 2101-01-01 (UTC): a stored time is plausible between them.
constexpr quint32 FirstPlausibleSecond = 946684800u;
constexpr quint32 FirstImplausibleSecond = 4133980800u;
constexpr qint64 SecondsPerDay = 86400;
constexpr qint64 JulianDayOfEpoch = 2440588;

void putDigits(char16_t *&out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char16_t(u'0' + value % 10);
        value /= 10;
    }
    out += width;
}

bool readDigits(QStringView text, qsizetype offset, qsizetype width, int &value)
{
    value = 0;
    for (qsizetype i = offset; i < offset + width; ++i) {
        const char16_t ch = text[i].unicode();
        if (ch < u'0' || ch > u'9')
            return false;
        value = value * 10 + (ch - u'0');
    }
    return true;
}

// "dd.MM.yyyy", then optionally " H:mm:ss" or " HH:mm:ss"; invalid for any other shape.
QDateTime parseFixedShape(QStringView text, bool allowDateOnly)
{
    int day = 0, month = 0, year = 0;
    if (text.size() < 10 || text[2] != u'.' || text[5] != u'.' || !readDigits(text, 0, 2, day)
        || !readDigits(text, 3, 2, month) || !readDigits(text, 6, 4, year)) {
        return {};
    }
    const QDate date(year, month, day);
    if (!date.isValid())
        return {};
    if (text.size() == 10)
        return allowDateOnly ? QDateTime(date, QTime(0, 0), QTimeZone::utc()) : QDateTime();
    const qsizetype hourWidth = text.size() - 17;
    int hour = 0, minute = 0, second = 0;
    if ((hourWidth != 1 && hourWidth != 2) || text[10] != u' ' || text[11 + hourWidth] != u':'
        || text[14 + hourWidth] != u':' || !readDigits(text, 11, hourWidth, hour)
        || !readDigits(text, 12 + hourWidth, 2, minute) || !readDigits(text, 15 + hourWidth, 2, second)) {
        return {};
    }
    const QTime time(hour, minute, second);
    return time.isValid() ? QDateTime(date, time, QTimeZone::utc()) : QDateTime();
}

} // namespace

const QString &undefinedTimeText()
{
    static const QString text = u"01.01.0001 0:00:00"_s;
    return text;
}

namespace {

QString formatParts(QDate date, int hour, int minute, int second, bool withTime)
{
    char16_t buffer[19];
    char16_t *out = buffer;
    putDigits(out, date.day(), 2);
    *out++ = u'.';
    putDigits(out, date.month(), 2);
    *out++ = u'.';
    putDigits(out, date.year(), 4);
    if (withTime) {
        *out++ = u' ';
        putDigits(out, hour, hour < 10 ? 1 : 2);
        *out++ = u':';
        putDigits(out, minute, 2);
        *out++ = u':';
        putDigits(out, second, 2);
    }
    return QString(reinterpret_cast<const QChar *>(buffer), out - buffer);
}

} // namespace

QString formatVuDateTime(const QDateTime &dateTime, bool withTime)
{
    if (!dateTime.isValid())
        return {};
    const QDate date = dateTime.date();
    if (date.year() < 1 || date.year() > 9999)
        return dateTime.toString(withTime ? u"dd.MM.yyyy H:mm:ss"_s : u"dd.MM.yyyy"_s);
    const QTime time = dateTime.time();
    return formatParts(date, time.hour(), time.minute(), time.second(), withTime);
}

QString formatVuSeconds(quint32 seconds, bool withTime)
{
    const qint64 days = qint64(seconds) / SecondsPerDay;
    const int secondOfDay = int(qint64(seconds) - days * SecondsPerDay);
    return formatParts(QDate::fromJulianDay(JulianDayOfEpoch + days), secondOfDay / 3600, secondOfDay / 60 % 60,
        secondOfDay % 60, withTime);
}

bool isPlausibleVuSeconds(quint32 seconds)
{
    return seconds >= FirstPlausibleSecond && seconds < FirstImplausibleSecond;
}

qsizetype effectiveLength(const QByteArray &data)
{
    return data.size() > SignatureLength + 1 ? data.size() - SignatureLength : data.size();
}

// Times are stored most significant byte first: that reading wins whenever it is plausible. The little-endian
// reading in local time only rescues a value that is not, as older files written by some units need.
QString vuTimeText(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset > data.size() - 4)
        return undefinedTimeText();
    const quint32 bigEndian = readBe32(data, offset);
    if (isPlausibleVuSeconds(bigEndian))
        return formatVuSeconds(bigEndian, true);
    const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(readLe32(data, offset)));
    const int year = local.date().year();
    if (year >= 2000 && year <= 2100)
        return formatVuDateTime(local, true);
    return undefinedTimeText();
}

QDateTime parseVuDateTime(const QString &text)
{
    if (text.isEmpty())
        return {};
    const QDateTime fast = parseFixedShape(text, false);
    if (fast.isValid())
        return fast;
    for (const QString &format : {u"dd.MM.yyyy H:mm:ss"_s, u"dd.MM.yyyy HH:mm:ss"_s}) {
        const QDateTime parsed = QDateTime::fromString(text, format);
        if (parsed.isValid())
            return QDateTime(parsed.date(), parsed.time(), QTimeZone::utc());
    }
    return {};
}

void widenDateRange(QDateTime &earliest, QDateTime &latest, const QString &text)
{
    if (text.isEmpty())
        return;
    QDateTime value = parseVuDateTime(text);
    if (!value.isValid()) {
        value = parseFixedShape(text, true);
        if (!value.isValid()) {
            const QDate date = QDate::fromString(text, u"dd.MM.yyyy"_s);
            if (date.isValid())
                value = QDateTime(date, QTime(0, 0), QTimeZone::utc());
        }
    }
    if (!value.isValid())
        return;
    if (!earliest.isValid() || value < earliest)
        earliest = value;
    if (!latest.isValid() || value > latest)
        latest = value;
}

QString vuCardNumberText(const QByteArray &data, qsizetype offset)
{
    const qsizetype begin = qMax<qsizetype>(offset, 0);
    const qsizetype end = offset > data.size() - 18 ? data.size() : offset + 18;
    QString text;
    for (qsizetype i = begin; i < end; ++i) {
        const auto byte = static_cast<quint8>(data.constData()[i]);
        if (byte >= 0x20 && byte <= 0x7E)
            text.append(QChar(char16_t(byte)));
    }
    text = text.trimmed();
    return text.isEmpty() ? u" "_s : text;
}

QString vuNameField(const QByteArray &data, qsizetype &cursor)
{
    if (cursor >= 0 && cursor < data.size() && data.constData()[cursor] == 0x05)
        ++cursor;
    if (cursor < 0 || cursor > data.size() - 35) {
        cursor = data.size();
        return {};
    }
    const QString text = readCalibrationText(data, cursor, 35);
    cursor += 35;
    return text;
}

void appendVuIdentificationRow(DddReport &report, const QString &description, const QString &value)
{
    report.vuIdentification.append(QVariantMap {{u"description"_s, description}, {u"value"_s, value}});
}

namespace {

constexpr qsizetype IdentificationOffset = 390;
constexpr qsizetype IdentificationEnd = 422;
constexpr qsizetype DownloadActivityLength = 58;
constexpr qsizetype CompanyLockLength = 98;
constexpr qsizetype ControlActivityLength = 31;

QVariantMap timeRow(const QString &description, const QByteArray &data, qsizetype offset)
{
    return {
        {u"description"_s, description},
        {u"value"_s, vuTimeText(data, offset)},
        {u"hexData"_s, hexText(data, offset, 4)},
    };
}

QVariantMap fieldRow(const QString &description, const QString &value)
{
    return {{u"description"_s, description}, {u"value"_s, value}};
}

QString slotCardText(quint8 cardType)
{
    return cardType == 0 ? u"No card inserted"_s : cardTypeName(cardType);
}

// A count byte at cursor and as many of its records as fit; the cursor ends behind the last one read.
void readRecordList(const QByteArray &data, qsizetype &cursor, qsizetype recordLength, QVariantList &rows)
{
    const ByteReader reader(data);
    const int count = reader.byteAt(cursor);
    ++cursor;
    for (int i = 0; i < count && recordLength <= data.size() - cursor; ++i) {
        rows.append(QVariantMap {{u"recordIndex"_s, i}, {u"hexData"_s, hexText(data, cursor, recordLength)}});
        cursor += recordLength;
    }
}

} // namespace

// VuOverview transfer block. Each group is read only when it lies wholly inside the effective length; the
// cursor moves past a group only when it was read.
void decodeOverviewBlock(DddReport &report, const DddBlock &block)
{
    const QByteArray data = QByteArray::fromRawData(block.data.constData(), effectiveLength(block.data));
    const ByteReader reader(data);
    const qsizetype len = data.size();

    qsizetype cursor = IdentificationOffset;
    if (len >= IdentificationEnd) {
        report.vin = readFixedText(data, IdentificationOffset, 17);
        report.vehicleRegistrationNation = countryName(reader.byteAt(407));
        report.registrationNumber = readCodePageText(data, 408, 13);
        report.currentUsage.append(QVariantMap {
            {u"description"_s, u"vehicleIdentification"_s},
            {u"vin"_s, report.vin},
            {u"vehicleRegistrationNation"_s, report.vehicleRegistrationNation},
            {u"vehicleRegistrationNumber"_s, report.registrationNumber},
            {u"hexData"_s, hexText(data, IdentificationOffset, IdentificationEnd - IdentificationOffset)},
        });
        cursor = IdentificationEnd;
    }
    if (cursor <= len - 4) {
        report.currentDateTime.append(timeRow(u"currentDateTime"_s, data, cursor));
        cursor += 4;
    }
    if (cursor <= len - 8) {
        report.downloadablePeriod.append(timeRow(u"minDownloadableTime"_s, data, cursor));
        report.downloadablePeriod.append(timeRow(u"maxDownloadableTime"_s, data, cursor + 4));
        cursor += 8;
    }
    if (cursor < len) {
        const quint8 slotStatus = reader.byteAt(cursor);
        const QString slotsHex = hexText(data, cursor, 1);
        report.insertedCardType.append(QVariantMap {{u"description"_s, u"driverCardSlot"_s},
            {u"value"_s, slotCardText(slotStatus & 0x0F)}, {u"hexData"_s, slotsHex}});
        report.insertedCardType.append(QVariantMap {{u"description"_s, u"co-driverCardSlot"_s},
            {u"value"_s, slotCardText(slotStatus >> 4)}, {u"hexData"_s, slotsHex}});
        if (cursor + 1 <= len - DownloadActivityLength) {
            const qsizetype activity = cursor + 1;
            report.downloadActivity.append(timeRow(u"downloadingTime"_s, data, activity));
            report.downloadActivity.append(fieldRow(u"cardType"_s, cardTypeName(reader.byteAt(activity + 4))));
            report.downloadActivity.append(
                fieldRow(u"cardIssuingMemberState"_s, countryName(reader.byteAt(activity + 5))));
            report.downloadActivity.append(fieldRow(u"driverCardNumber"_s, readFixedText(data, activity + 6, 16)));
            report.downloadActivity.append(
                fieldRow(u"companyOrWorkshopName"_s, readCodePageText(data, activity + 22, 35)));
            cursor = activity + DownloadActivityLength;
        } else {
            cursor += 1;
        }
    }
    if (cursor < len)
        readRecordList(data, cursor, CompanyLockLength, report.companyLocks);
    if (cursor < len)
        readRecordList(data, cursor, ControlActivityLength, report.controlActivity);

    report.vehicleIdentification = {
        fieldRow(u"VIN номер"_s, report.vin),
        fieldRow(u"Страна регистрации"_s, report.vehicleRegistrationNation),
        fieldRow(u"Регистрационный номер"_s, report.registrationNumber),
    };
}

} // namespace vu

namespace {

using namespace Qt::StringLiterals;

// The map a row variant holds, changed in place; null for a row that is not a map.
QVariantMap *rowMap(QVariant &row)
{
    return row.metaType() == QMetaType::fromType<QVariantMap>() ? static_cast<QVariantMap *>(row.data()) : nullptr;
}

QString rowText(const QVariant &row, const QString &key)
{
    if (row.metaType() != QMetaType::fromType<QVariantMap>())
        return {};
    return static_cast<const QVariantMap *>(row.constData())->value(key).toString();
}

QVariant rowValue(const QVariant &row, const QString &key)
{
    if (row.metaType() != QMetaType::fromType<QVariantMap>())
        return {};
    return static_cast<const QVariantMap *>(row.constData())->value(key);
}

int intOf(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<int>())
        return *static_cast<const int *>(value.constData());
    return value.toInt();
}

// Sort key of a time text: rows whose time does not parse come first.
struct TimeKey
{
    bool valid = false;
    qint64 msecs = 0;

    explicit TimeKey(const QDateTime &time)
        : valid(time.isValid())
        , msecs(valid ? time.toMSecsSinceEpoch() : 0)
    { }
    bool operator<(const TimeKey &other) const { return valid != other.valid ? !valid : msecs < other.msecs; }
    bool operator==(const TimeKey &other) const { return valid == other.valid && msecs == other.msecs; }
};

template<typename Key> void sortRowsBy(QVariantList &rows, const QList<Key> &keys)
{
    // Not a QList: its sized constructor takes a failed allocation as silently as its reserve.
    std::vector<qsizetype> order(size_t(rows.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&keys](qsizetype a, qsizetype b) { return keys[a] < keys[b]; });
    QVariantList sorted;
    reserveChecked(sorted, rows.size());
    for (qsizetype index : std::as_const(order))
        sorted.append(std::move(rows[index]));
    rows = std::move(sorted);
}

QList<TimeKey> timeKeys(const QVariantList &rows, const QString &key)
{
    QList<TimeKey> keys;
    reserveChecked(keys, rows.size());
    for (const QVariant &row : rows)
        keys.append(TimeKey(vu::parseVuDateTime(rowText(row, key))));
    return keys;
}

// Days in time order, and each activity change with the date of its day.
void orderDays(DddReport &report)
{
    sortRowsBy(report.dayInformation, timeKeys(report.dayInformation, u"timeReal"_s));

    CheckedHash<int, QString> dates;
    for (const QVariant &row : std::as_const(report.dayInformation)) {
        const QDateTime time = vu::parseVuDateTime(rowText(row, u"timeReal"_s));
        if (time.isValid())
            dates.insert_or_assign(intOf(rowValue(row, u"dayNo"_s)), vu::formatVuDateTime(time, false));
    }
    const QString activityDate = u"activityDate"_s;
    const QString dayNo = u"dayNo"_s;
    for (QVariant &row : report.activityDaily) {
        QVariantMap *map = rowMap(row);
        if (!map)
            continue;
        const QString date = valueOf(dates, intOf(map->value(dayNo)));
        if (const auto it = map->find(activityDate); it != map->end())
            it.value() = date;
        else
            map->insert(activityDate, date);
    }
}

struct CardRecordKey
{
    int dayNo;
    TimeKey insertion;
    bool coDriver;

    bool operator<(const CardRecordKey &other) const
    {
        if (dayNo != other.dayNo)
            return dayNo < other.dayNo;
        if (!(insertion == other.insertion))
            return insertion < other.insertion;
        return !coDriver && other.coDriver;
    }
};

// Card insertions in day, time and slot order, each once, numbered by the insertion day.
void orderCardRecords(DddReport &report)
{
    QVariantList &rows = report.cardIwData;
    const QList<TimeKey> insertions = timeKeys(rows, u"cardInsertionDate"_s);
    QList<CardRecordKey> keys;
    reserveChecked(keys, rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString slot = rowText(rows[i], u"cardSlot"_s);
        const bool coDriver
            = slot.contains(u"сопряж", Qt::CaseInsensitive) || slot.contains(u"co-driver", Qt::CaseInsensitive);
        keys.append({intOf(rowValue(rows[i], u"dayNo"_s)), insertions[i], coDriver});
    }
    sortRowsBy(rows, keys);

    CheckedSet<QString> seen;
    QVariantList unique;
    reserveChecked(unique, rows.size());
    for (QVariant &row : rows) {
        const QString key = rowText(row, u"cardHolderSurname"_s) % u'|' % rowText(row, u"cardHolderFirstNames"_s) % u'|'
            % rowText(row, u"driverCardNumber"_s) % u'|' % rowText(row, u"cardInsertionDate"_s) % u'|'
            % rowText(row, u"vehicleOdometerValueAtInsertion"_s);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        unique.append(std::move(row));
    }
    rows = std::move(unique);

    int counter = 0;
    QDate previous;
    const QString dayNo = u"dayNo"_s;
    for (QVariant &row : rows) {
        const QDate date = vu::parseVuDateTime(rowText(row, u"cardInsertionDate"_s)).date();
        if (!date.isValid() || date != previous)
            ++counter;
        previous = date;
        if (QVariantMap *map = rowMap(row))
            map->insert(dayNo, counter);
    }
}

void fillDataRange(DddReport &report)
{
    QDateTime earliest;
    QDateTime latest;
    const auto widen = [&](const QVariantList &rows, std::initializer_list<QString> keys) {
        for (const QVariant &row : rows) {
            for (const QString &key : keys)
                vu::widenDateRange(earliest, latest, rowText(row, key));
        }
    };
    widen(report.dayInformation, {u"timeReal"_s});
    widen(report.tachoEvents, {u"eventBeginTime"_s, u"eventEndTime"_s});
    widen(report.tachoFaults, {u"faultBeginTime"_s, u"faultEndTime"_s});
    widen(report.calibrationData, {u"oldTimeValue"_s, u"newTimeValue"_s});
    if (report.dataStartDate.isEmpty() && earliest.isValid())
        report.dataStartDate = vu::formatVuDateTime(earliest, true);
    if (report.dataEndDate.isEmpty() && latest.isValid())
        report.dataEndDate = vu::formatVuDateTime(latest, true);
}

// The next calibration of the latest calibration record: the one whose calibration (its new time, else its old
// time) is latest, the later one in the file on equal times; records without a next date are passed over.
// Nothing changes when the report has a date already or no record gives one.
void fillNextCalibrationDate(DddReport &report)
{
    if (!report.nextCalibrationDate.isEmpty())
        return;
    const QString nextKey = u"nextCalibrationDate"_s;
    std::optional<TimeKey> latest;
    QString next;
    for (const QVariant &row : std::as_const(report.calibrationData)) {
        const QString date = rowText(row, nextKey);
        if (date.isEmpty())
            continue;
        QDateTime calibrated = vu::parseVuDateTime(rowText(row, u"newTimeValue"_s));
        if (!calibrated.isValid())
            calibrated = vu::parseVuDateTime(rowText(row, u"oldTimeValue"_s));
        const TimeKey key(calibrated);
        if (!latest || !(key < *latest)) {
            latest = key;
            next = date;
        }
    }
    report.nextCalibrationDate = next;
}

qint32 distinctDays(const QVariantList &rows, const QString &key, const QString &fallbackKey = {})
{
    CheckedSet<qint64> days;
    for (const QVariant &row : rows) {
        QString text = rowText(row, key);
        if (text.isEmpty() && !fallbackKey.isEmpty())
            text = rowText(row, fallbackKey);
        const QDateTime time = vu::parseVuDateTime(text);
        if (time.isValid())
            days.insert(time.date().toJulianDay());
    }
    return qint32(days.size());
}

// Speeds weighted by the valid seconds of each speed block. A speed row's own maxSpeed is the largest of its
// listed speeds; only a row without one has its list scanned.
void fillSpeeds(DddReport &report)
{
    if (report.maxSpeed != 0 && report.averageSpeed != 0.0)
        return;
    const QString validCountKey = u"validSpeedCount"_s;
    const QString maxSpeedKey = u"maxSpeed"_s;
    double sum = 0;
    qint64 weight = 0;
    int maxSpeed = 0;
    for (const QVariant &row : std::as_const(report.detailedSpeed)) {
        if (row.metaType() != QMetaType::fromType<QVariantMap>())
            continue;
        const auto &map = *static_cast<const QVariantMap *>(row.constData());
        const QVariantList speeds = map.value(u"speedValues"_s).toList();
        const auto validCount = map.constFind(validCountKey);
        if (validCount == map.cend()) {
            for (const QVariant &speed : speeds) {
                sum += speed.toDouble();
                ++weight;
            }
        } else {
            const int count = intOf(*validCount);
            if (count < 1 || count > speeds.size())
                continue;
            weight += count;
            sum += count * map.value(u"averageSpeed"_s).toDouble();
        }
        if (const auto rowMaximum = map.constFind(maxSpeedKey); rowMaximum != map.cend()) {
            maxSpeed = qMax(maxSpeed, intOf(*rowMaximum));
        } else {
            for (const QVariant &speed : speeds)
                maxSpeed = qMax(maxSpeed, intOf(speed));
        }
    }
    report.maxSpeed = maxSpeed;
    report.averageSpeed = weight > 0 ? sum / double(weight) : 0.0;
}

void finishTachographData(DddReport &report)
{
    orderDays(report);
    orderCardRecords(report);
    fillDataRange(report);
    fillNextCalibrationDate(report);
    if (report.totalDays == 0)
        report.totalDays = qint32(report.dayInformation.size());
    if (report.totalOverSpeeding == 0)
        report.totalOverSpeeding = qint32(report.overSpeedingEvents.size());
    if (report.totalCalibrations == 0)
        report.totalCalibrations = qint32(report.calibrationData.size());
    if (!report.dayInformation.isEmpty())
        fillTotalDistance(report);
    report.daysWithFaults = distinctDays(report.tachoFaults, u"faultBeginTime"_s);
    report.daysWithOverSpeeding = distinctDays(report.overSpeedingEvents, u"eventBeginTime1"_s, u"eventBeginTime"_s);
    fillSpeeds(report);
}

} // namespace

void Decoder::parseTachographData(DddReport &report)
{
    vu::reserveDetailedSpeedRows(report);
    for (const DddBlock &block : std::as_const(report.blocks)) {
        if (stopRequested())
            return;
        if (block.fileNumber == u"7601") {
            if (block.occurrence == 1)
                vu::decodeOverviewBlock(report, block);
        } else if (block.fileNumber == u"7602") {
            vu::decodeActivityBlock(report, block);
        } else if (block.fileNumber == u"7603") {
            vu::decodeEventsAndFaultsBlock(report, block);
        } else if (block.fileNumber == u"7604") {
            vu::decodeDetailedSpeedBlock(report, block);
        } else if (block.fileNumber == u"7605") {
            vu::decodeTechnicalDataBlock(report, block);
        }
    }
    finishTachographData(report);
}

} // namespace tessaron::ddd
