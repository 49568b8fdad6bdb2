#include "byte_reader.h"
#include "card_records.h"
#include "ddd_readers.h"
#include "record_names.h"

#include <QByteArrayView>
#include <QTimeZone>

namespace tessaron::ddd::card {
namespace {

using namespace Qt::StringLiterals;

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

void decodeEventRecords(DddReport &report, const DddBlock &block, EventFile file)
{
    struct Keys
    {
        QString type, typeEnglish, begin, end, nation, number;
    };
    static const Keys eventKeys {u"eventType"_s, u"eventTypeEnglish"_s, u"eventBeginTime"_s, u"eventEndTime"_s,
        u"vehicleRegistrationNation"_s, u"vehicleRegistrationNumber"_s};
    static const Keys faultKeys {u"faultType"_s, {}, u"faultBeginTime"_s, u"faultEndTime"_s,
        u"faultVehicleRegistrationNation"_s, u"faultVehicleRegistrationNumber"_s};
    static const QString faultTimeFormat = u"dd.MM.yyyy H:mm:ss"_s;
    const bool isEvent = file == EventFile::Events;
    const Keys &keys = isEvent ? eventKeys : faultKeys;
    QVariantList &rows = isEvent ? report.events : report.faults;

    const QByteArray &data = block.data;
    const ByteReader reader(data);
    for (qsizetype offset = 0; offset <= data.size() - EventRecordLength; offset += EventRecordLength) {
        if (rows.size() >= MaximumEventRows)
            return;
        const quint8 type = reader.byteAt(offset);
        QVariantMap row;
        if (isEvent) {
            const quint32 begin = reader.u32BeAt(offset + 1).value_or(0);
            const quint32 end = reader.u32BeAt(offset + 5).value_or(0);
            // A type this decoder has no name for is still an event the card recorded: it shows under its code.
            if (type == 0 && begin == 0 && end == 0)
                continue;
            row = {{keys.type, eventName(type)}, {keys.typeEnglish, eventNameEnglish(type)},
                {keys.begin, eventTimeText(begin)}, {keys.end, eventTimeText(end)},
                {keys.number, readWindows1251Text(data, offset + 11, 13).simplified()}};
        } else {
            if (type == 0)
                continue;
            const QString begin = formatUnixUniversalCSharp(data, offset + 1, faultTimeFormat);
            const QString end = formatUnixUniversalCSharp(data, offset + 5, faultTimeFormat);
            if (begin.isEmpty() || end.isEmpty())
                continue;
            row = {{keys.type, faultName(type)}, {keys.begin, begin}, {keys.end, end},
                {keys.number, readAsciiWithReplacement(data, offset + 11, 13)}};
        }
        row.insert(keys.nation, countryName(reader.byteAt(offset + 9)));
        rows.append(row);
    }
}

} // namespace tessaron::ddd::card
