// The driver card's activity file: a ring of daily records found through its oldest and newest pointers.

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "support/ddd_file_builder.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <ctime>
#include <random>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;
using tessaron::test::be32;
using tessaron::test::beBytes;

namespace {

QByteArray be16(quint16 value)
{
    return beBytes(value, 2);
}

quint32 dayOf(int day)
{
    return quint32(QDateTime(QDate(2024, 3, 1).addDays(day), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch());
}

// CardActivityDailyRecord: the length field counts the header and the change words.
QByteArray dailyRecord(int day, quint16 counter, const QList<quint16> &words, quint16 previousLength = 0)
{
    QByteArray record = be16(previousLength) + be16(quint16(12 + 2 * words.size())) + be32(dayOf(day)) + be16(counter)
        + be16(quint16(100 + day));
    for (const quint16 word : words)
        record += be16(word);
    return record;
}

// Driver, single, inserted, work from minute `minute`.
quint16 work(int minute)
{
    return quint16(0x1000 | minute);
}

QByteArray activityFile(quint16 oldest, quint16 newest, const QByteArray &ring)
{
    return be16(oldest) + be16(newest) + ring;
}

// Lays the records around a ring of `size` bytes from `oldest` on; the rest of the ring holds `filler`.
QByteArray ringFile(qsizetype size, qsizetype oldest, const QList<QByteArray> &records, char filler = '\xAA')
{
    QByteArray ring(size, filler);
    qsizetype position = oldest;
    qsizetype newest = oldest;
    for (const QByteArray &record : records) {
        newest = position;
        for (qsizetype i = 0; i < record.size(); ++i)
            ring[(position + i) % size] = record.at(i);
        position = (position + record.size()) % size;
    }
    return activityFile(quint16(oldest), quint16(newest), ring);
}

DddReport decodeActivities(const QList<QByteArray> &files)
{
    DddReport report;
    report.fileType = DddFileType::DriverCard;
    for (const QByteArray &file : files) {
        DddBlock block;
        block.fileNumber = u"0504"_s;
        block.data = file;
        report.blocks.append(block);
    }
    Decoder::parseDriverCardData(report);
    return report;
}

QStringList recordDates(const DddReport &report)
{
    QStringList dates;
    for (const QVariant &row : report.activities)
        dates.append(row.toMap().value(u"activityRecordDate"_s).toString());
    return dates;
}

QString dateOf(int day)
{
    return QDate(2024, 3, 1).addDays(day).toString(u"dd.MM.yyyy"_s);
}

QList<QByteArray> threeDays()
{
    return {dailyRecord(0, 0x0001, {work(0), work(480)}), dailyRecord(1, 0x0002, {work(0), work(60), work(600)}),
        dailyRecord(2, 0x0003, {work(10)})};
}

} // namespace

class TestCardActivities : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void everyOldestPositionOfAWrappedRing();
    void outOfRangePointersWalkFromTheStart_data();
    void outOfRangePointersWalkFromTheStart();
    void badRecordEndsTheWalk_data();
    void badRecordEndsTheWalk();
    void pointerOffTheChainStopsAfterOneRound();
    void tooSmallFile();
    void changeWords_data();
    void changeWords();
    void changesSortedByDayAndMinute();
};

// Every position of the oldest record, so that each record in turn is split across the end at every byte.
void TestCardActivities::everyOldestPositionOfAWrappedRing()
{
    const QList<QByteArray> records = threeDays();
    constexpr qsizetype ringSize = 60;
    for (qsizetype oldest = 0; oldest < ringSize; ++oldest) {
        const DddReport report = decodeActivities({ringFile(ringSize, oldest, records)});
        QCOMPARE(recordDates(report), QStringList({dateOf(0), dateOf(1), dateOf(2)}));
        QCOMPARE(report.activityChanges.size(), 6);
        QCOMPARE(report.charts.size(), 6);
        const QVariantMap second = report.activities.at(1).toMap();
        QCOMPARE(second.value(u"activityDailyPresenceCounter"_s).toString(), u"0002"_s);
        QCOMPARE(second.value(u"activityDayDistance"_s).toInt(), 101);
        QCOMPARE(report.charts.at(4).toMap().value(u"time"_s).toInt(), 600);
    }
}

void TestCardActivities::outOfRangePointersWalkFromTheStart_data()
{
    QTest::addColumn<quint16>("oldest");
    QTest::addColumn<quint16>("newest");
    QTest::addRow("oldest past the ring") << quint16(80) << quint16(0);
    QTest::addRow("newest past the ring") << quint16(0) << quint16(80);
}

void TestCardActivities::outOfRangePointersWalkFromTheStart()
{
    QFETCH(quint16, oldest);
    QFETCH(quint16, newest);
    const QList<QByteArray> records = threeDays();
    const QByteArray ring = records.join() + QByteArray(80 - records.join().size(), '\0');
    const DddReport report = decodeActivities({activityFile(oldest, newest, ring)});
    QCOMPARE(recordDates(report), QStringList({dateOf(0), dateOf(1), dateOf(2)}));
}

void TestCardActivities::badRecordEndsTheWalk_data()
{
    QTest::addColumn<QByteArray>("bad");
    QByteArray odd = dailyRecord(5, 0x0005, {work(1)});
    odd[3] = 15;
    QByteArray twelve = dailyRecord(5, 0x0005, {});
    QByteArray longerThanRing = dailyRecord(5, 0x0005, {work(1)});
    longerThanRing[2] = 0x10;
    QByteArray zeroDate = dailyRecord(5, 0x0005, {work(1)});
    zeroDate.replace(4, 4, QByteArray(4, '\0'));
    QTest::addRow("odd length") << odd;
    QTest::addRow("length 12, below 14") << twelve;
    QTest::addRow("longer than the ring") << longerThanRing;
    QTest::addRow("date 0") << zeroDate;
}

// In the ring and in the plain walk alike, the first bad record ends the walk and keeps what came before.
void TestCardActivities::badRecordEndsTheWalk()
{
    QFETCH(QByteArray, bad);
    const QList<QByteArray> records = {dailyRecord(0, 0x0001, {work(0)}), bad, dailyRecord(2, 0x0003, {work(0)})};
    const DddReport ring = decodeActivities({ringFile(80, 50, records)});
    QCOMPARE(recordDates(ring), QStringList({dateOf(0)}));
    const QByteArray chain = records.join() + QByteArray(80, '\0');
    const DddReport plain = decodeActivities({activityFile(0xFFFF, 0xFFFF, chain)});
    QCOMPARE(recordDates(plain), QStringList({dateOf(0)}));
}

// A newest pointer that no record starts at: the walk still ends once the records have covered the ring.
void TestCardActivities::pointerOffTheChainStopsAfterOneRound()
{
    QByteArray ring;
    for (int day = 0; day < 10; ++day)
        ring += dailyRecord(day, quint16(day), {work(day)});
    QCOMPARE(ring.size(), 140);
    const DddReport report = decodeActivities({activityFile(0, 7, ring)});
    QCOMPARE(report.activities.size(), 10);
}

void TestCardActivities::tooSmallFile()
{
    // 16 bytes: the record at offset 4 claims 12 bytes, below the minimum.
    const QByteArray file = activityFile(0, 0, dailyRecord(0, 1, {}));
    QCOMPARE(file.size(), 16);
    QVERIFY(decodeActivities({file}).activities.isEmpty());
    QVERIFY(decodeActivities({file.left(15)}).activities.isEmpty());
}

void TestCardActivities::changeWords_data()
{
    QTest::addColumn<quint16>("word");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("drivingStatus");
    QTest::addColumn<QString>("cardStatus");
    QTest::addColumn<QString>("activity");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("chartValue");
    QTest::addColumn<QString>("chartActivity");
    QTest::addRow("availability at 23:59") << quint16(0x0D9F) << u"Driver"_s << u"Single"_s << u"Inserted"_s
                                           << u"Availability"_s << 1439 << 1 << u"Availability"_s;
    QTest::addRow("not inserted hides the activity bits")
        << quint16(0x7800) << u"Driver"_s << u"Unknown"_s << u"Not Inserted"_s << QString() << 0 << 0 << u"Unknown"_s;
}

void TestCardActivities::changeWords()
{
    QFETCH(quint16, word);
    QFETCH(QString, slot);
    QFETCH(QString, drivingStatus);
    QFETCH(QString, cardStatus);
    QFETCH(QString, activity);
    QFETCH(int, minutes);
    QFETCH(int, chartValue);
    QFETCH(QString, chartActivity);
    // Minute 1440 is skipped; the word after it is still read.
    const QByteArray file = activityFile(0, 0, dailyRecord(0, 0x0123, {0x05A0, word}) + QByteArray(20, '\0'));
    const DddReport report = decodeActivities({file});
    QCOMPARE(report.activities.first().toMap().value(u"activityChangeCount"_s).toInt(), 2);
    QCOMPARE(report.activityChanges.size(), 1);
    const QVariantMap change = report.activityChanges.first().toMap();
    QCOMPARE(change.value(u"activityDailyPresenceCounter1"_s).toString(), u"0123"_s);
    QCOMPARE(change.value(u"slot"_s).toString(), slot);
    QCOMPARE(change.value(u"drivingStatus"_s).toString(), drivingStatus);
    QCOMPARE(change.value(u"cardStatus"_s).toString(), cardStatus);
    QCOMPARE(change.value(u"activity"_s).toString(), activity);
    QCOMPARE(change.value(u"time"_s).toString(), formatMinutes(minutes));
    QCOMPARE(change.value(u"day"_s).toString(), u"0123"_s);
    QCOMPARE(change.value(u"minutes"_s).toInt(), minutes);
    QCOMPARE(report.charts.size(), 1);
    const QVariantMap point = report.charts.first().toMap();
    QCOMPARE(point.value(u"day"_s).toString(), u"0123"_s);
    QCOMPARE(point.value(u"time"_s).toInt(), minutes);
    QCOMPARE(point.value(u"value"_s).toInt(), chartValue);
    QCOMPARE(point.value(u"activity"_s).toString(), chartActivity);
}

// Rows leave sorted by day (the counter as a number; one that is not a number counts as 0) and minute, from
// every activity file; activities and chart points stay in ring order.
void TestCardActivities::changesSortedByDayAndMinute()
{
    const QByteArray first = ringFile(60, 40,
        {dailyRecord(0, 0x0012, {work(300), work(5)}), dailyRecord(1, 0x0003, {work(7)}),
            dailyRecord(2, 0x1A2B, {work(9)})});
    const QByteArray second = ringFile(30, 0, {dailyRecord(3, 0x0004, {work(1)})});
    const DddReport report = decodeActivities({first, second});
    QStringList order;
    for (const QVariant &row : report.activityChanges) {
        const QVariantMap map = row.toMap();
        order.append(map.value(u"day"_s).toString() + u'/' + map.value(u"minutes"_s).toString());
    }
    QCOMPARE(order, QStringList({u"1A2B/9"_s, u"0003/7"_s, u"0004/1"_s, u"0012/5"_s, u"0012/300"_s}));
    QCOMPARE(recordDates(report), QStringList({dateOf(0), dateOf(1), dateOf(2), dateOf(3)}));
    QCOMPARE(report.charts.first().toMap().value(u"time"_s).toInt(), 300);
}

QTEST_GUILESS_MAIN(TestCardActivities)
#include "tst_card_activities.moc"
