#include "byte_reader.h"
#include "card_records.h"
#include "checked_growth.h"
#include "ddd_readers.h"
#include "row_template.h"

#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <vector>

namespace tessaron::ddd::card {
namespace {

// The activity file: two 2-byte pointers (oldest and newest daily record, offsets into the ring that follows
// them), then the ring of CardActivityDailyRecords.
constexpr qsizetype PointersLength = 4;
// CardActivityDailyRecord: previous length (2), own length (2), date (4), presence counter (2, BCD), distance
// (2), then 2-byte ActivityChangeInfo words.
constexpr qsizetype RecordHeaderLength = 12;
constexpr qsizetype MinimumRecordLength = 14;
constexpr int MinutesPerDay = 1440;

const QString &minuteText(int minute)
{
    static const std::array<QString, MinutesPerDay> texts = [] {
        std::array<QString, MinutesPerDay> result;
        for (int i = 0; i < MinutesPerDay; ++i)
            result[size_t(i)] = formatMinutes(i);
        return result;
    }();
    return texts[size_t(minute)];
}

struct Keys
{
    // activities
    QString previousRecordLength = QStringLiteral("activityPreviousRecordLength");
    QString recordLength = QStringLiteral("activityRecordLength");
    QString recordDate = QStringLiteral("activityRecordDate");
    QString presenceCounter = QStringLiteral("activityDailyPresenceCounter");
    QString dayDistance = QStringLiteral("activityDayDistance");
    QString changeCount = QStringLiteral("activityChangeCount");
    // activityChanges
    QString presenceCounter1 = QStringLiteral("activityDailyPresenceCounter1");
    QString slot = QStringLiteral("slot");
    QString drivingStatus = QStringLiteral("drivingStatus");
    QString cardStatus = QStringLiteral("cardStatus");
    QString activity = QStringLiteral("activity");
    QString time = QStringLiteral("time");
    QString day = QStringLiteral("day");
    QString minutes = QStringLiteral("minutes");
    // charts
    QString value = QStringLiteral("value");
    // texts
    QString driver = QStringLiteral("Driver");
    QString coDriver = QStringLiteral("Co-Driver");
    QString single = QStringLiteral("Single");
    QString crew = QStringLiteral("Crew");
    QString unknown = QStringLiteral("Unknown");
    QString inserted = QStringLiteral("Inserted");
    QString notInserted = QStringLiteral("Not Inserted");
    std::array<QString, 4> activities
        = {QStringLiteral("Rest"), QStringLiteral("Availability"), QStringLiteral("Work"), QStringLiteral("Drive")};
};

const Keys &keys()
{
    static const Keys instance;
    return instance;
}

struct RowShapes
{
    RowTemplate activity;
    RowTemplate change;
    RowTemplate chart;
};

const RowShapes &rowShapes()
{
    static const RowShapes shapes = [] {
        const Keys &k = keys();
        return RowShapes {
            RowTemplate {
                k.changeCount, k.presenceCounter, k.dayDistance, k.previousRecordLength, k.recordDate, k.recordLength},
            RowTemplate {
                k.activity, k.presenceCounter1, k.cardStatus, k.day, k.drivingStatus, k.minutes, k.slot, k.time},
            RowTemplate {k.activity, k.day, k.time, k.value},
        };
    }();
    return shapes;
}

// One daily record whose length the walk has tested (even, at least 14, all inside the record view). False when
// its date is not a plausible one, which ends the walk.
bool decodeDailyRecord(DddReport &report, QByteArrayView record, ActivityChangeKeys &changeKeys)
{
    const ByteReader reader(record);
    const QString dateText = formatUnix(reader.u32BeAt(4).value_or(0));
    if (dateText.isEmpty())
        return false;
    const Keys &k = keys();
    const qsizetype length = record.size();
    const QString counter = hexText(record.sliced(8, 2));
    const RowShapes &shapes = rowShapes();
    report.activities.append(shapes.activity.row(int((length - RecordHeaderLength) / 2), counter,
        int(reader.u16BeAt(10).value_or(0)), int(reader.u16BeAt(0).value_or(0)), dateText.left(10), int(length)));
    const QVariant counterValue(counter);
    const int day = counter.toInt();
    for (qsizetype offset = RecordHeaderLength; offset <= length - 2; offset += 2) {
        const quint8 first = reader.u8At(offset).value_or(0);
        const int minute = (first & 0x07) * 256 + reader.u8At(offset + 1).value_or(0);
        if (minute >= MinutesPerDay)
            continue;
        const bool isInserted = (first & 0x20) == 0;
        const int activity = (first >> 3) & 0x03;
        const QString &activityText = isInserted ? k.activities[size_t(activity)] : QString();
        const QString &drivingStatus = !isInserted ? k.unknown : ((first & 0x40) ? k.crew : k.single);
        report.activityChanges.append(
            shapes.change.row(activityText, counterValue, isInserted ? k.inserted : k.notInserted, counterValue,
                drivingStatus, minute, (first & 0x80) ? k.coDriver : k.driver, minuteText(minute)));
        changeKeys.push_back({day, minute});
        // Chart level: driving 3, work 2, availability 1, rest or no card 0.
        const int level = isInserted ? activity : 0;
        report.charts.append(shapes.chart.row(isInserted ? activityText : k.unknown, counterValue, minute, level));
    }
    return true;
}

bool isWalkableLength(quint16 length, qsizetype room)
{
    return length >= MinimumRecordLength && length % 2 == 0 && length <= room;
}

// Records one after another from the start of the ring, for a file whose pointers cannot be trusted.
void walkPlain(DddReport &report, QByteArrayView ring, ActivityChangeKeys &changeKeys)
{
    const ByteReader reader(ring);
    qsizetype position = 0;
    while (position <= ring.size() - RecordHeaderLength) {
        const quint16 length = reader.u16BeAt(position + 2).value_or(0);
        if (!isWalkableLength(length, ring.size() - position)
            || !decodeDailyRecord(report, ring.sliced(position, length), changeKeys))
            return;
        position += length;
    }
}

// From the oldest record to the newest, each record's length leading to the next; a record may continue at the
// start of the ring. The records together never cover more than the ring, so a damaged chain ends.
void walkRing(
    DddReport &report, QByteArrayView ring, qsizetype oldest, qsizetype newest, ActivityChangeKeys &changeKeys)
{
    const qsizetype size = ring.size();
    const ByteReader reader(ring);
    const auto ringByte = [&reader, size](qsizetype position) { return reader.byteAt(position % size); };
    QByteArray joined;
    qsizetype position = oldest;
    qsizetype walked = 0;
    for (;;) {
        const auto length = static_cast<quint16>(ringByte(position + 2) << 8 | ringByte(position + 3));
        if (!isWalkableLength(length, size - walked))
            return;
        QByteArrayView record;
        if (length <= size - position) {
            record = ring.sliced(position, length);
        } else {
            joined = ring.sliced(position).toByteArray();
            joined.append(ring.first(length - (size - position)));
            record = joined;
        }
        if (!decodeDailyRecord(report, record, changeKeys))
            return;
        walked += length;
        if (position == newest)
            return;
        position = (position + length) % size;
    }
}

} // namespace

void decodeActivities(DddReport &report, const DddBlock &block, ActivityChangeKeys &changeKeys)
{
    const QByteArray &data = block.data;
    if (data.size() <= 15)
        return;
    const ByteReader reader(data);
    const QByteArrayView ring = QByteArrayView(data).sliced(PointersLength);
    const qsizetype oldest = reader.u16BeAt(0).value_or(0);
    const qsizetype newest = reader.u16BeAt(2).value_or(0);
    // At most one change per two bytes of the ring: reserving once spares the lists their regrowth.
    const qsizetype mostChanges = ring.size() / 2;
    reserveMore(report.activityChanges, mostChanges);
    reserveMore(report.charts, mostChanges);
    reserveChecked(changeKeys, qsizetype(changeKeys.size()) + mostChanges);
    if (oldest < ring.size() && newest < ring.size())
        walkRing(report, ring, oldest, newest, changeKeys);
    else
        walkPlain(report, ring, changeKeys);
}

void sortActivityChanges(QVariantList &changes, const ActivityChangeKeys &changeKeys)
{
    const size_t count = size_t(changes.size());
    ActivityChangeKeys rowKeys;
    if (changeKeys.size() != count) {
        const Keys &k = keys();
        reserveChecked(rowKeys, qsizetype(count));
        for (const QVariant &change : std::as_const(changes)) {
            const QVariantMap row = change.toMap();
            rowKeys.push_back({row.value(k.day).toInt(), row.value(k.minutes).toInt()});
        }
    }
    const ActivityChangeKeys &sortKeys = changeKeys.size() == count ? changeKeys : rowKeys;
    const auto before = [&sortKeys](size_t a, size_t b) {
        return sortKeys[a].day != sortKeys[b].day ? sortKeys[a].day < sortKeys[b].day
                                                  : sortKeys[a].minutes < sortKeys[b].minutes;
    };
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = i;
    // A ring read oldest first is mostly in order already.
    if (std::is_sorted(order.cbegin(), order.cend(), before))
        return;
    std::stable_sort(order.begin(), order.end(), before);
    // Row i takes the row at order[i], cycle by cycle, without a second list.
    QVariant *rows = changes.data();
    std::vector<bool> placed(count, false);
    for (size_t start = 0; start < count; ++start) {
        if (placed[start] || order[start] == start)
            continue;
        QVariant first = std::move(rows[start]);
        size_t at = start;
        while (order[at] != start) {
            rows[at] = std::move(rows[order[at]]);
            placed[at] = true;
            at = order[at];
        }
        rows[at] = std::move(first);
        placed[at] = true;
    }
}

} // namespace tessaron::ddd::card
