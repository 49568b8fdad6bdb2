#include "byte_reader.h"
#include "code_page_text.h"
#include "ddd_readers.h"
#include "record_names.h"
#include "row_template.h"
#include "vu_records.h"

#include <array>

namespace tessaron::ddd::vu {

namespace {

using namespace Qt::StringLiterals;

constexpr qsizetype CardRecordLength = 129;
constexpr qsizetype PlaceRecordLength = 28;
constexpr int MaxCardRecords = 100;
constexpr int MaxSearchedActivityCount = 120;
constexpr int MinutesPerDay = 1440;
constexpr quint32 LastValidSeconds = 0xF0000000u;

// A vehicle unit's odometer reading as its rows keep it: 0 for none.
int odometerValue(const QByteArray &data, qsizetype offset)
{
    return int(readOdometerShort(data, offset).value_or(0));
}

bool isUsableSeconds(quint32 seconds)
{
    return seconds >= 1 && seconds <= LastValidSeconds && isPlausibleVuSeconds(seconds);
}

// A time of a card record, UTC, stored order first; "01.01.0001 0:00:00" when neither order is plausible.
QString vuTimeTextAs(const QByteArray &data, qsizetype offset, bool withTime)
{
    if (offset < 0 || offset > data.size() - 4)
        return undefinedTimeText();
    if (const quint32 bigEndian = readBe32(data, offset); isUsableSeconds(bigEndian))
        return formatVuSeconds(bigEndian, withTime);
    if (const quint32 littleEndian = readLe32(data, offset); isUsableSeconds(littleEndian))
        return formatVuSeconds(littleEndian, withTime);
    return undefinedTimeText();
}

QString entryTypeText(quint8 code)
{
    static constexpr std::array<QStringView, 5> names = {u"Begin", u"Start", u"End", u"Complete", u"Intermediate"};
    if (code < names.size())
        return names[code].toString();
    return u"Unknown (0x%1)"_s.arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

QString regionText(quint8 code)
{
    if (code == 0)
        return u"No information available"_s;
    if (code == 0x2B)
        return u"Moscow Region"_s;
    return u"Region 0x%1"_s.arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

QString cardSlotText(quint8 code)
{
    static constexpr std::array<QStringView, 5> names
        = {u"Водитель", u"Сопряжённый водитель", u"Мастерская", u"Контроль", u"Компания"};
    if (code < names.size())
        return names[code].toString();
    return u"Неизвестный слот (0x%1)"_s.arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

// Length of the run from start that ends before a stop byte, after maxLength bytes or at the data's end.
qsizetype runLength(const QByteArray &data, qsizetype start, qsizetype maxLength, QByteArrayView stopBytes)
{
    qsizetype length = 0;
    while (length < maxLength && start + length < data.size() && !stopBytes.contains(data.at(start + length)))
        ++length;
    return length;
}

QString runText(const QByteArray &data, qsizetype start, qsizetype length)
{
    return length > 0 ? readCalibrationText(data, start, length).trimmed() : QString();
}

// A Name of the published layout: its code-page byte, then up to 35 characters that end at a NUL.
QString nameText(const QByteArray &record, qsizetype codePageOffset)
{
    const ByteReader reader(record);
    const qsizetype start = codePageOffset + 1;
    if (codePageOffset < 0 || start > record.size())
        return {};
    const qsizetype length = runLength(record, start, 35, QByteArrayView("\0", 1));
    return decodeCodePageText(QByteArrayView(record).sliced(start, length), reader.byteAt(codePageOffset));
}

// The fields from the card expiry date on, read at the cursor in their fixed order. A field that does not fit
// is skipped and the next is tried at the same place. A record of the published layout always carries the
// previous vehicle's nation; a searched one takes a code-page byte 0x05 there for the start of the number.
void readCardRecordTail(const QByteArray &record, qsizetype cursor, bool publishedLayout, QVariantMap &row)
{
    const ByteReader reader(record);
    const auto fits = [&](qsizetype width) { return cursor <= record.size() - width; };
    if (fits(4)) {
        row.insert(u"cardExpiryDate"_s, vuTimeTextAs(record, cursor, false));
        cursor += 4;
    }
    if (fits(4)) {
        row.insert(u"cardInsertionDate"_s, vuTimeTextAs(record, cursor, true));
        cursor += 4;
    }
    if (fits(3)) {
        row.insert(u"vehicleOdometerValueAtInsertion"_s, odometerValue(record, cursor));
        cursor += 3;
    }
    if (fits(1)) {
        const QString slot = cardSlotText(reader.byteAt(cursor));
        row.insert(u"cardSlot"_s, slot);
        row.insert(u"cardSlotNumber"_s, slot);
        cursor += 1;
    }
    if (fits(4)) {
        row.insert(u"cardWithdrawalTime"_s, vuTimeTextAs(record, cursor, true));
        cursor += 4;
    }
    if (fits(3)) {
        row.insert(u"vehicleOdometerValueAtWithdrawal"_s, odometerValue(record, cursor));
        cursor += 3;
    }
    if (fits(1) && (publishedLayout || reader.byteAt(cursor) != 0x05)) {
        row.insert(u"prevVehicleRegistrationNation"_s, countryName(reader.byteAt(cursor)));
        cursor += 1;
    }
    const qsizetype numberLength = qMin<qsizetype>(14, record.size() - cursor);
    if (numberLength > 0) {
        row.insert(u"prevVehicleRegistrationNumber"_s, readCalibrationText(record, cursor, numberLength));
        cursor += numberLength;
    }
    if (fits(4)) {
        row.insert(u"prevCardWithdrawalTime"_s, vuTimeTextAs(record, cursor, true));
        cursor += 4;
    }
    if (fits(1))
        row.insert(u"manualInputFlag"_s, reader.byteAt(cursor) == 1 ? u"Да"_s : u"Нет"_s);
}

QString cardTypeText(quint8 code)
{
    return code == 2 ? u"Мастерская"_s : u"Водитель"_s;
}

// VuCardIWRecord, 129 bytes. A record whose card type byte sits where the published layout puts it is read
// at its fixed offsets, whatever code page its names use; any other is taken apart by its code-page and
// separator bytes.
void decodeCardIwRecord(DddReport &report, const QByteArray &record, int dayNo)
{
    const ByteReader reader(record);
    QVariantMap row {
        {u"dayNo"_s, dayNo},
        {u"blockNumber"_s, 0},
        {u"recordInBlock"_s, 0},
        {u"hexData"_s, hexText(record)},
    };
    constexpr qsizetype CardTypeOffset = 72;
    const bool publishedLayout
        = record.size() == CardRecordLength && reader.byteAt(CardTypeOffset) >= 1 && reader.byteAt(CardTypeOffset) <= 5;
    if (publishedLayout) {
        row.insert(u"cardHolderSurname"_s, nameText(record, 0));
        row.insert(u"cardHolderFirstNames"_s, nameText(record, 36));
        row.insert(u"cardType"_s, cardTypeText(reader.byteAt(CardTypeOffset)));
        row.insert(u"cardIssuingMemberState"_s, countryName(reader.byteAt(CardTypeOffset + 1)));
        row.insert(u"driverCardNumber"_s, readCalibrationText(record, CardTypeOffset + 2, 16));
        readCardRecordTail(record, CardTypeOffset + 18, true, row);
        report.cardIwData.append(row);
        return;
    }

    qsizetype cursor = 10;
    qsizetype codePage = -1;
    for (qsizetype i = 0; i <= 10 && i < record.size(); ++i) {
        if (reader.byteAt(i) == 0x05) {
            codePage = i;
            break;
        }
    }
    if (codePage >= 0) {
        const qsizetype start = codePage + 1;
        const qsizetype length = runLength(record, start, 36, QByteArrayView("\x00\x05", 2));
        row.insert(u"cardHolderSurname"_s, runText(record, start, length));
        cursor = start + length;
        while (cursor < record.size() && reader.byteAt(cursor) == 0)
            ++cursor;
        if (cursor < record.size() && reader.byteAt(cursor) == 0x05) {
            const qsizetype namesStart = cursor + 1;
            const qsizetype namesLength = runLength(record, namesStart, 36, QByteArrayView("\x00\x01\x02\x05", 4));
            row.insert(u"cardHolderFirstNames"_s, runText(record, namesStart, namesLength));
            cursor = namesStart + namesLength;
        }
    }
    while (cursor < record.size() && reader.byteAt(cursor) == 0)
        ++cursor;
    if (cursor < record.size()) {
        row.insert(u"cardType"_s, cardTypeText(reader.byteAt(cursor)));
        ++cursor;
    }
    if (cursor < record.size()) {
        row.insert(u"cardIssuingMemberState"_s, countryName(reader.byteAt(cursor)));
        ++cursor;
    }
    const qsizetype numberLength = qMin<qsizetype>(16, record.size() - cursor);
    if (numberLength > 0) {
        row.insert(u"driverCardNumber"_s, readCalibrationText(record, cursor, numberLength));
        cursor += numberLength;
    }
    readCardRecordTail(record, cursor, false, row);
    report.cardIwData.append(row);
}

// "HH:MM" of a minute of the day, as formatMinutes writes it, without its formatting machinery.
QString minuteText(int minute)
{
    QString text(5, Qt::Uninitialized);
    QChar *out = text.data();
    const int hours = minute / 60;
    const int minutes = minute % 60;
    out[0] = QChar(char16_t(u'0' + hours / 10));
    out[1] = QChar(char16_t(u'0' + hours % 10));
    out[2] = QLatin1Char(':');
    out[3] = QChar(char16_t(u'0' + minutes / 10));
    out[4] = QChar(char16_t(u'0' + minutes % 10));
    return text;
}

QString staticText(QStringView text)
{
    return QString::fromRawData(text.data(), text.size());
}

// ActivityChangeInfo, 2 bytes: slot, driving status, card status, activity and the minute of the day.
void appendActivity(DddReport &report, int dayNo, const QString &activityDate, quint8 first, quint8 second)
{
    const int minute = (first & 0x07) * 256 + second;
    if (minute >= MinutesPerDay)
        return;
    const bool coDriver = first & 0x80;
    const bool crew = first & 0x40;
    const bool notInserted = first & 0x20;
    const int activity = (first >> 3) & 0x03;
    static constexpr std::array<QStringView, 4> activities = {u"Перерыв/отдых", u"Доступность", u"Работа", u"Вождение"};
    static constexpr std::array<QStringView, 4> activitiesEnglish = {u"Rest", u"Availability", u"Work", u"Drive"};

    const QString slot = coDriver ? u"Сопряжённый водитель"_s : driverSlotText.toString();
    const QString drivingStatus = crew ? u"Экипаж"_s : u"Одиночный режим"_s;
    const QString time = minuteText(minute);
    static const RowTemplate dailyRow {u"activity"_s, u"activityDate"_s, u"cardStatus"_s, u"day"_s, u"dayNo"_s,
        u"drivingStatus"_s, u"minutes"_s, u"slot"_s, u"timeOfChange"_s};
    static const RowTemplate changeRow {u"activity"_s, u"activityDailyPresenceCounter1"_s, u"cardStatus"_s, u"day"_s,
        u"dayNo"_s, u"drivingStatus"_s, u"minutes"_s, u"slot"_s, u"time"_s, u"timeOfChange"_s};
    report.activityDaily.append(dailyRow.row(staticText(activities[activity]), activityDate,
        notInserted ? u"Не вставлена"_s : u"Вставлена"_s, dayNo, dayNo, drivingStatus, minute, slot, time));
    report.activityChanges.append(changeRow.row(staticText(activitiesEnglish[activity]), dayNo,
        notInserted ? u"Not Inserted"_s : u"Inserted"_s, dayNo, dayNo, drivingStatus, minute, slot, time, time));
}

// VuPlaceDailyWorkPeriodRecord, 28 bytes: full card number, entry time, entry type, country, region, odometer.
void decodePlaceRecord(DddReport &report, const QByteArray &record, int dayNo)
{
    const ByteReader reader(record);
    const quint8 cardType = reader.byteAt(0);
    const QString cardNumber = readFixedText(record, 2, 16);
    const QString entryTime = vuTimeText(record, 18);
    const bool hasControlCharacter
        = std::any_of(cardNumber.cbegin(), cardNumber.cend(), [](QChar ch) { return ch.unicode() < 0x20; });
    if (cardNumber.size() <= 4 || hasControlCharacter || entryTime.startsWith(u"01.01.0001")
        || entryTime.startsWith(u"01.01.1970") || cardType < 1 || cardType > 5) {
        return;
    }
    report.placeDailyWorkPeriod.append(QVariantMap {
        {u"dayNo"_s, dayNo},
        {u"cardType"_s, cardTypeName(cardType)},
        {u"cardIssuingMemberState"_s, countryName(reader.byteAt(1))},
        {u"driverCardNumber"_s, cardNumber},
        {u"entryTime"_s, entryTime},
        {u"entryTypeDailyWorkPeriod"_s, entryTypeText(reader.byteAt(22))},
        {u"dailyWorkPeriodCountry"_s, countryName(reader.byteAt(23))},
        {u"dailyWorkPeriodRegion"_s, regionText(reader.byteAt(24))},
        {u"vehicleOdometerValue"_s, odometerValue(record, 25)},
        {u"hexData"_s, hexText(record)},
    });
}

// Where the activity count stands: at its published place right behind the card records when its words fit,
// else the first position that looks like a count. -1 when there is none.
qsizetype findActivityCount(const QByteArray &data, qsizetype start, bool atPublishedPlace)
{
    const ByteReader reader(data);
    if (atPublishedPlace && start <= data.size() - 2) {
        const int count = reader.u16BeAt(start).value_or(0);
        if (count <= MinutesPerDay && count <= (data.size() - start - 2) / 2)
            return start;
    }
    for (qsizetype q = start; q >= 0 && q < data.size() - 1; ++q) {
        const int count = reader.byteAt(q + 1);
        if (reader.byteAt(q) == 0 && count >= 1 && count <= MaxSearchedActivityCount
            && 2 * count <= data.size() - q - 2) {
            return q;
        }
    }
    return -1;
}

} // namespace

// VuActivities transfer block: the day's date and midnight odometer, the card insertions and withdrawals, the
// activity changes and the places. Everything is read inside the block's effective length.
void decodeActivityBlock(DddReport &report, const DddBlock &block)
{
    const QByteArray data = QByteArray::fromRawData(block.data.constData(), effectiveLength(block.data));
    const ByteReader reader(data);
    const qsizetype len = data.size();
    const int dayNo = block.occurrence;

    qsizetype countPosition = 2;
    QString activityDate;
    if (len >= 9) {
        const QString timeReal = vuTimeText(data, 2);
        const QDateTime day = parseVuDateTime(timeReal);
        if (day.isValid() && day.date().year() >= 2000 && day.date().year() <= 2100) {
            report.dayInformation.append(QVariantMap {
                {u"dayNo"_s, dayNo},
                {u"timeReal"_s, timeReal},
                {u"odometerValueMidnight"_s, odometerValue(data, 6)},
                {u"hexData"_s, hexText(data, 2, 7)},
            });
            activityDate = formatVuDateTime(day, false);
        }
        countPosition = 9;
    }
    if (len <= countPosition + 1)
        return;

    qsizetype searchStart = countPosition;
    const int cardCount = reader.byteAt(countPosition + 1);
    const bool cardCountAccepted = (reader.byteAt(countPosition) & 0xDF) == 0 && cardCount <= MaxCardRecords
        && CardRecordLength * cardCount <= len - countPosition - 2;
    if (cardCountAccepted) {
        for (int i = 0; i < cardCount; ++i) {
            const QByteArray record = QByteArray::fromRawData(
                data.constData() + countPosition + 2 + CardRecordLength * i, CardRecordLength);
            decodeCardIwRecord(report, record, dayNo);
        }
        searchStart = countPosition + 2 + CardRecordLength * cardCount;
    }

    qsizetype placePosition = searchStart;
    if (const qsizetype countAt = findActivityCount(data, searchStart, cardCountAccepted); countAt >= 0) {
        const int count = reader.u16BeAt(countAt).value_or(0);
        const qsizetype first = countAt + 2;
        for (int j = 0; j < count; ++j)
            appendActivity(report, dayNo, activityDate, reader.byteAt(first + 2 * j), reader.byteAt(first + 2 * j + 1));
        placePosition = first + 2 * qsizetype(count);
    }

    if (placePosition >= len)
        return;
    const int placeCount = reader.byteAt(placePosition);
    qsizetype position = placePosition + 1;
    for (int i = 0; i < placeCount && PlaceRecordLength <= len - position; ++i) {
        decodePlaceRecord(report, QByteArray::fromRawData(data.constData() + position, PlaceRecordLength), dayNo);
        position += PlaceRecordLength;
    }
}

} // namespace tessaron::ddd::vu
