#include "byte_reader.h"
#include "card_records.h"
#include "ddd_readers.h"
#include "record_names.h"

#include <QByteArrayView>
#include <QTimeZone>

namespace tessaron::ddd::card {
namespace {

// CardEventRecord and CardFaultRecord, 24 bytes: type (1), begin (4), end (4), registration nation (1), code page
// (1), registration number (13).
constexpr qsizetype EventRecordLength = 24;
constexpr qsizetype MaximumEventRows = 1000;

QString eventTimeText(quint32 seconds)
{
    if (seconds == 0)
        return QStringLiteral("01.01.1970 00:00:00");
    return QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()).toString(QStringLiteral("dd.MM.yyyy H:mm:ss"));
}

} // namespace

void decodeEvents(DddReport &report, const DddBlock &block)
{
    static const QString typeKey = QStringLiteral("eventType");
    static const QString typeEnglishKey = QStringLiteral("eventTypeEnglish");
    static const QString beginKey = QStringLiteral("eventBeginTime");
    static const QString endKey = QStringLiteral("eventEndTime");
    static const QString nationKey = QStringLiteral("vehicleRegistrationNation");
    static const QString numberKey = QStringLiteral("vehicleRegistrationNumber");
    const QByteArray &data = block.data;
    const ByteReader reader(data);
    for (qsizetype offset = 0; offset <= data.size() - EventRecordLength; offset += EventRecordLength) {
        if (report.events.size() >= MaximumEventRows)
            return;
        const quint8 type = reader.u8At(offset).value_or(0);
        const quint32 begin = reader.u32BeAt(offset + 1).value_or(0);
        const quint32 end = reader.u32BeAt(offset + 5).value_or(0);
        // A type this decoder has no name for is still an event the card recorded: it shows under its code.
        if (type == 0 && begin == 0 && end == 0)
            continue;
        report.events.append(QVariantMap {
            {typeKey, eventName(type)},
            {typeEnglishKey, eventNameEnglish(type)},
            {beginKey, eventTimeText(begin)},
            {endKey, eventTimeText(end)},
            {nationKey, countryName(reader.u8At(offset + 9).value_or(0))},
            {numberKey, readWindows1251Text(data, offset + 11, 13).simplified()},
        });
    }
}

void decodeFaults(DddReport &report, const DddBlock &block)
{
    static const QString typeKey = QStringLiteral("faultType");
    static const QString beginKey = QStringLiteral("faultBeginTime");
    static const QString endKey = QStringLiteral("faultEndTime");
    static const QString nationKey = QStringLiteral("faultVehicleRegistrationNation");
    static const QString numberKey = QStringLiteral("faultVehicleRegistrationNumber");
    static const QString timeFormat = QStringLiteral("dd.MM.yyyy H:mm:ss");
    const QByteArray &data = block.data;
    const ByteReader reader(data);
    for (qsizetype offset = 0; offset <= data.size() - EventRecordLength; offset += EventRecordLength) {
        if (report.faults.size() >= MaximumEventRows)
            return;
        const quint8 type = reader.u8At(offset).value_or(0);
        if (type == 0)
            continue;
        const QString begin = formatUnixUniversalCSharp(data, offset + 1, timeFormat);
        const QString end = formatUnixUniversalCSharp(data, offset + 5, timeFormat);
        if (begin.isEmpty() || end.isEmpty())
            continue;
        report.faults.append(QVariantMap {
            {typeKey, faultName(type)},
            {beginKey, begin},
            {endKey, end},
            {nationKey, countryName(reader.u8At(offset + 9).value_or(0))},
            {numberKey, readAsciiWithReplacement(data, offset + 11, 13)},
        });
    }
}

} // namespace tessaron::ddd::card
