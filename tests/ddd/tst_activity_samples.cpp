#include "activity_test_rows.h"

#include "ddd/ddd_decoder.h"
#include "support/test_paths.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QTest>

using namespace tessaron::ddd;
using namespace tessaron::test;
using namespace Qt::StringLiterals;

namespace {

// Days with at least one activity change, as the facts file of a sample lists them: the daily records of the
// card's first-generation application, or the vehicle unit's day blocks.
int expectedActivityDays(const QString &sampleName)
{
    const QJsonObject facts = tessaron::test::sampleFacts(sampleName);
    if (facts.isEmpty())
        return -1;
    int days = 0;
    if (facts.value(u"kind"_s).toString() == u"card") {
        const QJsonArray records = facts.value(u"card"_s)[u"gen1"_s][u"activity"_s][u"days"_s].toArray();
        for (const QJsonValue &record : records)
            days += record[u"changes"_s].toArray().isEmpty() ? 0 : 1;
    } else {
        const QJsonArray blocks = facts.value(u"vu"_s)[u"activity_days"_s].toArray();
        for (const QJsonValue &block : blocks) {
            const QJsonValue changes = block[u"activity_changes"_s];
            days += changes[u"driver_slot"_s].toInt() + changes[u"codriver_slot"_s].toInt() > 0 ? 1 : 0;
        }
    }
    return days;
}

// The minute of "hh:mm", 24:00 included; -1 for any other text.
int clockMinutes(const QString &text)
{
    bool hoursOk = false;
    bool minutesOk = false;
    const int hours = text.left(2).toInt(&hoursOk);
    const int minutes = text.mid(3).toInt(&minutesOk);
    if (text.size() != 5 || text.at(2) != u':' || !hoursOk || !minutesOk || minutes >= 60)
        return -1;
    const int total = hours * 60 + minutes;
    return total <= 1440 ? total : -1;
}

// The first minute of every day whose changes all carry a readable time, by day key.
QHash<QString, int> firstMinutesOfTimedDays(const QVariantList &activityChanges)
{
    QHash<QString, int> first;
    QSet<QString> untimed;
    for (const QVariant &value : activityChanges) {
        const QVariantMap row = value.toMap();
        const QString key = row.value(u"activityDailyPresenceCounter1"_s).toString();
        const int minute = clockMinutes(row.value(u"time"_s).toString());
        if (minute < 0 || minute >= 1440)
            untimed.insert(key);
        else
            first[key] = std::min(first.value(key, minute), minute);
    }
    for (const QString &key : untimed)
        first.remove(key);
    return first;
}

} // namespace

class TestActivitySamples : public QObject
{
    Q_OBJECT

private slots:
    void realFiles_data()
    {
        QTest::addColumn<QString>("sampleName");
        for (const QString &name : tessaron::test::sampleNames())
            QTest::addRow("%s", qPrintable(name)) << name + u".ddd"_s;
    }

    void realFiles()
    {
        QFETCH(QString, sampleName);
        TESSARON_REQUIRE_SAMPLE(path, sampleName);

        const DddReport report = Decoder::decodeFile(path);
        const QVariantMap &analysis = report.analysis;
        QVERIFY(!report.activityChanges.isEmpty());
        TESSARON_VERIFY_NOTHING_NEGATIVE(analysis);

        // One analysed day per day key of the activity changes, and every change in its day.
        QSet<QString> dayKeys;
        for (const QVariant &row : report.activityChanges)
            dayKeys.insert(row.toMap().value(u"activityDailyPresenceCounter1"_s).toString());
        const QVariantList days = analysis.value(u"workingHours"_s).toList();
        QCOMPARE(days.size(), dayKeys.size());
        QCOMPARE(report.totalDays, days.size());
        QCOMPARE(days.size(), expectedActivityDays(sampleName));

        // Every activity lasts until the next change and the last one until midnight, so a day whose changes
        // all carry a time is accounted from its first change to 24:00.
        const QHash<QString, int> firstMinutes = firstMinutesOfTimedDays(report.activityChanges);
        QVERIFY(!firstMinutes.isEmpty());
        qint64 changes = 0;
        for (const QVariant &entry : days) {
            const QVariantMap day = entry.toMap();
            changes += day.value(u"activityChangesCount"_s).toLongLong();
            const int cardTime = day.value(u"workMinutes"_s).toInt();
            const auto first = firstMinutes.constFind(day.value(u"dayKey"_s).toString());
            if (first != firstMinutes.cend())
                QCOMPARE(cardTime + day.value(u"restMinutes"_s).toInt(), 1440 - first.value());
            QVERIFY(day.value(u"drivingMinutes"_s).toInt() + day.value(u"workActivityMinutes"_s).toInt()
                    + day.value(u"availableMinutes"_s).toInt() + day.value(u"restActivityMinutes"_s).toInt()
                <= cardTime);
            QVERIFY(day.value(u"unknownMinutes"_s).toInt() <= day.value(u"restMinutes"_s).toInt());
            const QString start = day.value(u"workStart"_s).toString();
            const QString end = day.value(u"workEnd"_s).toString();
            QCOMPARE(start.isEmpty(), end.isEmpty());
            QVERIFY(start.isEmpty() || (clockMinutes(start) >= 0 && clockMinutes(end) >= 0));
        }
        QCOMPARE(changes, report.activityChanges.size());

        const QVariantMap compliance = group(analysis, u"compliance"_s);
        for (const QString &score :
            {u"overallScore"_s, u"dailyDrivingScore"_s, u"restBreaksScore"_s, u"weeklyRestScore"_s})
            QVERIFY(compliance.value(score).toInt() <= 100);
        const QVariantMap summary = report.summary();
        QCOMPARE(summary.value(u"overallScore"_s), compliance.value(u"overallScore"_s));
        QCOMPARE(summary.value(u"complianceScore"_s), compliance.value(u"overallScore"_s));
        QCOMPARE(summary.value(u"compliance"_s).toMap(), compliance);

        // Analysing the decoded report again gives the same map.
        DddReport reopened = report;
        reopened.analysis.clear();
        Decoder::analyze(reopened);
        QCOMPARE(reopened.analysis, analysis);
    }
};

QTEST_GUILESS_MAIN(TestActivitySamples)
#include "tst_activity_samples.moc"
