#include "card_records.h"
#include "ddd_decoder.h"
#include "ddd_readers.h"
#include "decode_stop.h"
#include "driven_distance.h"

#include <QStringList>
#include <QTimeZone>

namespace tessaron::ddd {
namespace card {
namespace {

bool isPlausibleYear(int year)
{
    return year >= 2000 && year <= 2100;
}

} // namespace

void appendFieldRow(QVariantList &list, const QString &description, const QVariant &value)
{
    static const QString descriptionKey = QStringLiteral("description");
    static const QString valueKey = QStringLiteral("value");
    list.append(QVariantMap {{descriptionKey, description}, {valueKey, value}});
}

void appendBlockRow(QVariantList &list, const DddBlock &block, const QString &description, const QStringList &fields)
{
    QVariantMap row {
        {QStringLiteral("fileNumber"), block.fileNumber},
        {QStringLiteral("name"), block.name},
        {QStringLiteral("description"), description},
        {QStringLiteral("length"), qint64(block.data.size())},
        {QStringLiteral("decodedText"), fields.join(QStringLiteral(" | "))},
        {QStringLiteral("hexData"), hexText(block.data)},
    };
    if (!fields.isEmpty())
        row.insert(QStringLiteral("fields"), fields);
    list.append(row);
}

QDateTime readCardTime(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset > data.size() - 4)
        return {};
    const QDateTime bigEndian = QDateTime::fromSecsSinceEpoch(readBe32(data, offset), QTimeZone::utc());
    if (isPlausibleYear(bigEndian.date().year()))
        return bigEndian;
    const QDateTime littleEndian = QDateTime::fromSecsSinceEpoch(readLe32(data, offset));
    if (isPlausibleYear(littleEndian.date().year()))
        return littleEndian;
    return {};
}

QDate readCardDate(const QByteArray &data, qsizetype offset)
{
    return readCardTime(data, offset).date();
}

QString formatRussianDate(QDate date)
{
    static const QStringList months = {
        QStringLiteral("января"),
        QStringLiteral("февраля"),
        QStringLiteral("марта"),
        QStringLiteral("апреля"),
        QStringLiteral("мая"),
        QStringLiteral("июня"),
        QStringLiteral("июля"),
        QStringLiteral("августа"),
        QStringLiteral("сентября"),
        QStringLiteral("октября"),
        QStringLiteral("ноября"),
        QStringLiteral("декабря"),
    };
    if (!date.isValid())
        return QStringLiteral("Invalid date");
    return QStringLiteral("%1 %2 %3 г.").arg(date.day()).arg(months.at(date.month() - 1)).arg(date.year());
}

} // namespace card

namespace {

// The file identifier of a first-generation data block; 0 for anything else (signatures, second-generation
// files, malformed numbers), which no decoder handles.
uint dataFileId(const DddBlock &block)
{
    if (block.fileType != 0 || block.fileNumber.size() != 4)
        return 0;
    bool ok = false;
    const uint id = block.fileNumber.toUInt(&ok, 16);
    return ok ? id : 0;
}

// The card's data period: the earliest and the latest of its activity record dates, as their rows write them.
// Nothing changes when the report has a period already or no row holds a date.
void fillCardDataRange(DddReport &report)
{
    if (!report.dataStartDate.isEmpty() || !report.dataEndDate.isEmpty())
        return;
    const QString dateKey = QStringLiteral("activityRecordDate");
    const QString format = QStringLiteral("dd.MM.yyyy");
    QDate first;
    QDate last;
    for (const QVariant &row : std::as_const(report.activities)) {
        const QString text = row.toMap().value(dateKey).toString();
        const QDate date = QDate::fromString(text, format);
        if (!date.isValid())
            continue;
        if (!first.isValid() || date < first) {
            first = date;
            report.dataStartDate = text;
        }
        if (!last.isValid() || date > last) {
            last = date;
            report.dataEndDate = text;
        }
    }
}

} // namespace

void Decoder::parseDriverCardData(DddReport &report)
{
    card::ActivityChangeKeys changeKeys;
    // Activities, events, faults, vehicles and places first; identification and the small files after them.
    for (const DddBlock &block : std::as_const(report.blocks)) {
        if (stopRequested())
            return;
        switch (dataFileId(block)) {
        case 0x0502:
            card::decodeEventRecords(report, block, card::EventFile::Events);
            break;
        case 0x0503:
            card::decodeEventRecords(report, block, card::EventFile::Faults);
            break;
        case 0x0504:
            card::decodeActivities(report, block, changeKeys);
            break;
        case 0x0505:
            card::decodeVehicles(report, block);
            break;
        case 0x0506:
            card::decodePlaces(report, block);
            break;
        default:
            break;
        }
    }
    for (const DddBlock &block : std::as_const(report.blocks)) {
        switch (dataFileId(block)) {
        case 0x0002:
            card::decodeIcc(report, block);
            break;
        case 0x0005:
            card::decodeIc(report, block);
            break;
        case 0x0501:
            card::decodeApplicationIdentification(report, block);
            break;
        case 0x0521:
            card::decodeDrivingLicence(report, block);
            break;
        case 0x050E:
            card::decodeCardDownload(report, block);
            break;
        case 0x0520:
            card::decodeIdentification(report, block);
            break;
        case 0x0507:
            card::decodeCurrentUsage(report, block);
            break;
        case 0x0508:
            card::decodeControlActivity(report, block);
            break;
        case 0x0522:
            card::decodeSpecificConditions(report, block);
            break;
        default:
            break;
        }
    }
    if (report.driverName.isEmpty())
        report.driverName = QStringLiteral("%1 %2").arg(report.driverSurname, report.driverFirstName).trimmed();
    card::sortActivityChanges(report.activityChanges, changeKeys);
    fillCardDataRange(report);
    fillTotalDistance(report);
}

} // namespace tessaron::ddd
