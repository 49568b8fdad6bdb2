#include "vu_records.h"

#include "byte_reader.h"
#include "code_page_text.h"
#include "ddd_readers.h"
#include "record_names.h"

#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace tessaron::ddd::vu {

namespace {

constexpr qsizetype FaultRecordSize = 82; // VuFaultRecord
constexpr qsizetype EventRecordSize = 83; // VuEventRecord
constexpr qsizetype OverspeedControlSize = 9; // VuOverSpeedingControlData
constexpr qsizetype OverspeedingRecordSize = 31; // VuOverSpeedingEventRecord
constexpr qsizetype TimeAdjustmentRecordSize = 98; // VuTimeAdjustmentRecord

// One record of the block: the block's bytes and where the record starts in them. Texts are read through the
// shared readers at absolute offsets, which test every range themselves.
struct Record
{
    const QByteArray &data;
    qsizetype start;
    qsizetype size;

    quint8 byte(qsizetype offset) const { return ByteReader(data).u8At(start + offset).value_or(0); }
    // A TimeReal field; four bytes that are not all inside the data read as 0.
    quint32 seconds(qsizetype offset) const { return ByteReader(data).u32BeAt(start + offset).value_or(0); }
    QString timeText(qsizetype offset) const { return formatUnixCSharp(seconds(offset), false); }
    QString cardNumber(qsizetype offset) const { return vuCardNumberText(data, start + offset); }
    QString hex() const { return hexText(QByteArrayView(data).sliced(start, size)); }
};

// A count byte followed by records of one size. Decodes records while the count lasts and each whole record lies
// inside the reader; a record that does not fit ends the section and is not skipped.
template<typename DecodeRecord>
void walkRecordsWhileTheyFit(ByteReader &reader, qsizetype recordSize, DecodeRecord decode)
{
    const auto count = reader.readU8();
    if (!count)
        return;
    for (int i = 0; i < *count && reader.hasRoom(recordSize); ++i) {
        decode(reader.position());
        reader.skip(recordSize);
    }
}

// A count byte followed by records of one size, taken only when all of them fit; otherwise none is taken.
template<typename DecodeRecord>
void walkRecordsWhenAllFit(ByteReader &reader, qsizetype recordSize, DecodeRecord decode)
{
    const auto count = reader.readU8();
    if (!count || *count == 0 || reader.remaining() / recordSize < *count)
        return;
    for (int i = 0; i < *count; ++i) {
        decode(reader.position());
        reader.skip(recordSize);
    }
}

QVariantMap faultRow(const Record &r)
{
    const quint8 type = r.byte(0);
    const quint8 purpose = r.byte(1);
    return {
        {u"faultType"_s, faultName(type)},
        {u"faultTypeEnglish"_s, vuFaultTypeEnglish(type)},
        {u"faultRecordPurpose"_s, recordPurposeName(purpose)},
        {u"faultRecordPurposeEnglish"_s, vuFaultPurposeEnglish(purpose)},
        {u"faultBeginTime"_s, r.timeText(2)},
        {u"faultEndTime"_s, r.timeText(6)},
        {u"cardNumberDriverSlotBegin"_s, r.cardNumber(10)},
        {u"cardNumberCoDriverSlotBegin"_s, r.cardNumber(28)},
        {u"cardNumberDriverSlotEnd"_s, r.cardNumber(46)},
        {u"cardNumberCoDriverSlotEnd"_s, r.cardNumber(64)},
        {u"hex"_s, r.hex()},
    };
}

QVariantMap eventRow(const Record &r)
{
    const quint8 type = r.byte(0);
    const quint8 purpose = r.byte(1);
    const QString driverBegin = r.cardNumber(10);
    const QString coDriverBegin = r.cardNumber(28);
    const QString driverEnd = r.cardNumber(46);
    const QString coDriverEnd = r.cardNumber(64);
    return {
        {u"eventType"_s, eventName(type)},
        {u"eventTypeEnglish"_s, vuEventTypeEnglish(type)},
        {u"eventRecordPurpose"_s, recordPurposeName(purpose)},
        {u"eventRecordPurposeEnglish"_s, vuEventPurposeEnglish(purpose)},
        {u"eventBeginTime"_s, r.timeText(2)},
        {u"eventEndTime"_s, r.timeText(6)},
        {u"cardNumberDriverSlotBegin"_s, driverBegin},
        {u"cardNumberDriverSlotBegin1"_s, driverBegin},
        {u"cardNumberCoDriverSlotBegin"_s, coDriverBegin},
        {u"cardNumberCoDriverSlotBegin1"_s, coDriverBegin},
        {u"cardNumberDriverSlotEnd"_s, driverEnd},
        {u"cardNumberDriverSlotEnd1"_s, driverEnd},
        {u"cardNumberCoDriverSlotEnd"_s, coDriverEnd},
        {u"cardNumberCoDriverSlotEnd1"_s, coDriverEnd},
        {u"similarEventsNumber"_s, int(r.byte(82))},
        {u"hex"_s, r.hex()},
    };
}

// The overspeed control's times show the epoch itself for a stored 0, unlike every other time of the block.
QString overspeedControlTimeText(quint32 seconds)
{
    return seconds == 0 ? u"01.01.1970 0:00:00"_s : formatUnixCSharp(seconds, false);
}

void appendOverspeedControlRows(DddReport &report, const Record &r)
{
    const QByteArrayView bytes = QByteArrayView(r.data).sliced(r.start, r.size);
    report.overSpeedingControl.append(QVariantMap {
        {u"description"_s, u"lastOverspeedControlTime"_s},
        {u"value"_s, overspeedControlTimeText(r.seconds(0))},
        {u"hex"_s, hexText(bytes.sliced(0, 4))},
    });
    report.overSpeedingControl.append(QVariantMap {
        {u"description"_s, u"firstOverspeedSince"_s},
        {u"value"_s, overspeedControlTimeText(r.seconds(4))},
        {u"hex"_s, hexText(bytes.sliced(4, 4))},
    });
    report.overSpeedingControl.append(QVariantMap {
        {u"description"_s, u"numberOfOverspeedSince"_s},
        {u"value"_s, int(r.byte(8))},
        {u"hex"_s, hexText(bytes.sliced(8, 1))},
    });
}

// The printable bytes of the overspeeding record's tail from the card number on, the similar-events byte with it.
QString overspeedingCardNumberText(const Record &r)
{
    QString text;
    for (qsizetype i = 14; i < OverspeedingRecordSize; ++i) {
        const quint8 b = r.byte(i);
        if (b >= 0x20 && b <= 0x7E)
            text.append(QLatin1Char(char(b)));
    }
    text = text.trimmed();
    return text.isEmpty() ? u" "_s : text;
}

QVariantMap overspeedingRow(const Record &r)
{
    return {
        {u"eventType1"_s, eventName(r.byte(0))},
        {u"eventRecordPurpose1"_s, recordPurposeName(r.byte(1))},
        {u"eventBeginTime1"_s, r.timeText(2)},
        {u"eventEndTime1"_s, r.timeText(6)},
        {u"maxSpeedValue"_s, int(r.byte(10))},
        {u"averageSpeedValue"_s, int(r.byte(11))},
        {u"cardNumberDriverSlotBegin11"_s, overspeedingCardNumberText(r)},
        {u"hex"_s, r.hex()},
    };
}

// VuTimeAdjustmentRecord: old and new time, the workshop's name and address (each a code-page byte and 35
// characters, at 8 and 44) and its FullCardNumber at 80 (card type, nation, then the 16-character number).
QVariantMap timeAdjustmentRow(const Record &r)
{
    return {
        {u"oldTimeValue"_s, r.timeText(0)},
        {u"newTimeValue"_s, r.timeText(4)},
        {u"workshopName"_s, readCodePageText(r.data, r.start + 8, 35)},
        {u"workshopAddress"_s, readCodePageText(r.data, r.start + 44, 35)},
        {u"workshopCardNumber"_s, readFixedText(r.data, r.start + 82, 16)},
        {u"hexData"_s, r.hex()},
    };
}

} // namespace

void decodeEventsAndFaultsBlock(DddReport &report, const DddBlock &block)
{
    const QByteArray &data = block.data;
    // Every section must lie inside the effective length; the signature is never read as records.
    ByteReader reader(QByteArrayView(data).first(effectiveLength(data)));
    if (!reader.seek(2))
        return;

    walkRecordsWhileTheyFit(reader, FaultRecordSize, [&](qsizetype start) {
        const QVariantMap row = faultRow(Record {data, start, FaultRecordSize});
        report.tachoFaults.append(row);
        report.faults.append(row);
    });
    walkRecordsWhileTheyFit(reader, EventRecordSize, [&](qsizetype start) {
        const QVariantMap row = eventRow(Record {data, start, EventRecordSize});
        report.tachoEvents.append(row);
        report.events.append(row);
    });

    if (reader.hasRoom(OverspeedControlSize)) {
        appendOverspeedControlRows(report, Record {data, reader.position(), OverspeedControlSize});
        reader.skip(OverspeedControlSize);
    }

    if (reader.atEnd())
        return;
    walkRecordsWhenAllFit(reader, OverspeedingRecordSize, [&](qsizetype start) {
        report.overSpeedingEvents.append(overspeedingRow(Record {data, start, OverspeedingRecordSize}));
    });

    walkRecordsWhenAllFit(reader, TimeAdjustmentRecordSize, [&](qsizetype start) {
        report.timeAdjustments.append(timeAdjustmentRow(Record {data, start, TimeAdjustmentRecordSize}));
    });
}

} // namespace tessaron::ddd::vu
