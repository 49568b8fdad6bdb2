#include "activity_test_rows.h"

#include "ddd/ddd_decoder.h"
#include "support/test_paths.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
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
    QFile file(samplePath(u"expected/"_s + QString(sampleName).replace(u".ddd"_s, u".json"_s)));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QJsonObject facts = QJsonDocument::fromJson(file.readAll()).object();
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

bool isClockText(const QString &text)
{
    return text.size() == 5 && text.at(2) == u':' && text.left(2).toInt() < 24 && text.mid(3).toInt() < 60;
}

} // namespace

class TestActivitySamples : public QObject
{
    Q_OBJECT

private slots:
    void realFiles_data()
    {
        QTest::addColumn<QString>("sampleName");
        for (const QString &name : {u"vu-gen1-a.ddd"_s, u"vu-gen1-anon.ddd"_s, u"card-gen1-a.ddd"_s,
                 u"card-gen1-2007.ddd"_s, u"card-gen2-anon.ddd"_s, u"card-nonstandard.ddd"_s})
            QTest::addRow("%s", qPrintable(name)) << name;
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

        qint64 changes = 0;
        for (const QVariant &entry : days) {
            const QVariantMap day = entry.toMap();
            changes += day.value(u"activityChangesCount"_s).toLongLong();
            const int cardTime = day.value(u"workMinutes"_s).toInt();
            QVERIFY(cardTime + day.value(u"restMinutes"_s).toInt() < 1440);
            QVERIFY(day.value(u"drivingMinutes"_s).toInt() + day.value(u"workActivityMinutes"_s).toInt()
                    + day.value(u"availableMinutes"_s).toInt() + day.value(u"restActivityMinutes"_s).toInt()
                <= cardTime);
            QVERIFY(day.value(u"unknownMinutes"_s).toInt() <= day.value(u"restMinutes"_s).toInt());
            const QString start = day.value(u"workStart"_s).toString();
            const QString end = day.value(u"workEnd"_s).toString();
            QCOMPARE(start.isEmpty(), end.isEmpty());
            QVERIFY(start.isEmpty() || (isClockText(start) && isClockText(end)));
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
