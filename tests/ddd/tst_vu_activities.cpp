#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "ddd/vu_records.h"
#include "ddd/vu_sample_blocks.h"

#include <QJsonArray>
#include <QTest>
#include <QTimeZone>

#include <ctime>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;

class TestVuActivities : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
        setCurrentDateTimeForTesting(QDateTime(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc()));
    }
    void cleanupTestCase() { setCurrentDateTimeForTesting({}); }

    void realFile_data();
    void realFile();
};

void TestVuActivities::realFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addRow("gen1 download") << u"vu-gen1-a"_s;
    QTest::addRow("anonymised gen1 download, days of 122 and 136 changes") << u"vu-gen1-anon"_s;
}

void TestVuActivities::realFile()
{
    QFETCH(QString, name);
    TESSARON_REQUIRE_VU_SAMPLE(sample, name);
    const QJsonArray days = sample.expected.value(u"vu"_s).toObject().value(u"activity_days"_s).toArray();

    qsizetype dayIndex = 0;
    for (const DddBlock &block : std::as_const(sample.report.blocks)) {
        if (block.fileNumber != u"7602")
            continue;
        QVERIFY(dayIndex < days.size());
        const QJsonObject day = days.at(dayIndex++).toObject();
        DddReport report;
        vu::decodeActivityBlock(report, block);
        const QByteArray where = "day " + day.value(u"date"_s).toString().toLatin1();

        QVERIFY2(report.dayInformation.size() == 1, where.constData());
        const QVariantMap info = report.dayInformation.first().toMap();
        QCOMPARE(vu::parseVuDateTime(info.value(u"timeReal"_s).toString()),
            QDateTime::fromString(day.value(u"time_real"_s).toString(), Qt::ISODate).toUTC());
        QCOMPARE(info.value(u"odometerValueMidnight"_s).toInt(), day.value(u"odometer_midnight"_s).toInt());

        QVERIFY2(report.cardIwData.size() == day.value(u"card_iw_records"_s).toInt(), where.constData());
        int driver = 0;
        int coDriver = 0;
        for (const QVariant &row : std::as_const(report.activityDaily))
            (row.toMap().value(u"slot"_s).toString() == u"Водитель"_s ? driver : coDriver)++;
        const QJsonObject changes = day.value(u"activity_changes"_s).toObject();
        QVERIFY2(driver == changes.value(u"driver_slot"_s).toInt(), where.constData());
        QVERIFY2(coDriver == changes.value(u"codriver_slot"_s).toInt(), where.constData());
        QCOMPARE(report.activityChanges.size(), report.activityDaily.size());
        QVERIFY2(report.placeDailyWorkPeriod.size() == day.value(u"places"_s).toInt(), where.constData());
    }
    QCOMPARE(dayIndex, days.size());

    // The whole walk: days in date order, each change dated by its day, the distance of the period.
    DddReport &report = sample.report;
    Decoder::parseTachographData(report);
    QCOMPARE(report.dayInformation.size(), days.size());
    QCOMPARE(report.totalDays, qint32(days.size()));
    QDateTime previous;
    for (const QVariant &row : std::as_const(report.dayInformation)) {
        const QDateTime time = vu::parseVuDateTime(row.toMap().value(u"timeReal"_s).toString());
        QVERIFY(!previous.isValid() || previous <= time);
        previous = time;
    }
    for (const QVariant &row : std::as_const(report.activityDaily)) {
        const QVariantMap map = row.toMap();
        const QString date = days.at(map.value(u"dayNo"_s).toInt() - 1).toObject().value(u"date"_s).toString();
        QCOMPARE(
            map.value(u"activityDate"_s).toString(), QDate::fromString(date, Qt::ISODate).toString(u"dd.MM.yyyy"_s));
    }
    int lowest = std::numeric_limits<int>::max();
    int highest = 0;
    for (const QJsonValue &day : days) {
        const int reading = day.toObject().value(u"odometer_midnight"_s).toInt();
        lowest = qMin(lowest, reading);
        highest = qMax(highest, reading);
    }
    QCOMPARE(report.totalDistanceKm, highest - lowest);
    // Events, faults and calibrations may widen the period beyond the days.
    QVERIFY(vu::parseVuDateTime(report.dataStartDate).date()
        <= QDate::fromString(days.first().toObject().value(u"date"_s).toString(), Qt::ISODate));
    QVERIFY(vu::parseVuDateTime(report.dataEndDate) >= previous);
}

QTEST_GUILESS_MAIN(TestVuActivities)
#include "tst_vu_activities.moc"
