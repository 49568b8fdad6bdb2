#include "activity_test_rows.h"

#include "ddd/activity_analyzer.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

using namespace tessaron::ddd;
using namespace tessaron::test;
using namespace Qt::StringLiterals;

namespace {

QVariantMap analyzeRows(const QVariantList &rows)
{
    return ActivityAnalyzer::analyze(rows, {}, {});
}

QStringList dayKeys(const QVariantMap &analysis)
{
    QStringList keys;
    const QVariantList days = analysis.value(u"workingHours"_s).toList();
    for (const QVariant &day : days)
        keys.append(day.toMap().value(u"dayKey"_s).toString());
    return keys;
}

QVariantMap row(std::initializer_list<std::pair<QString, QVariant>> values)
{
    QVariantMap map;
    for (const auto &[key, value] : values)
        map.insert(key, value);
    return map;
}

} // namespace

class TestActivityEvents : public QObject
{
    Q_OBJECT

private slots:
    void dayOrder_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<QStringList>("expectedDays");

        QTest::addRow("a row without day keys belongs to day 0, before every numeric day") << QVariantList {
            cardChange(u"5"_s, 60, Act::Work), row({{u"time"_s, u"08:00"_s}})} << QStringList {u"0"_s, u"5"_s};
        QTest::addRow("an empty counter falls back to dayKey") << QVariantList {row(
            {{u"activityDailyPresenceCounter1"_s, QString()}, {u"dayKey"_s, u"7"_s}, {u"day"_s, u"9"_s}})}
                                                               << QStringList {u"7"_s};
        QTest::addRow("an empty dayKey is not replaced by day")
            << QVariantList {row({{u"dayKey"_s, QString()}, {u"day"_s, u"9"_s}})} << QStringList {u"0"_s};
        QTest::addRow("day when there is no dayKey")
            << QVariantList {row({{u"day"_s, u"9"_s}})} << QStringList {u"9"_s};
        QTest::addRow("12 and 012 stay two days, ordered by text") << QVariantList {cardChange(u"12"_s, 60, Act::Work),
            cardChange(u"012"_s, 60, Act::Work)} << QStringList {u"012"_s, u"12"_s};
        QTest::addRow("vehicle-unit day numbers sort as numbers")
            << QVariantList {vuChange(10, 60, Act::Work), vuChange(2, 60, Act::Work)} << QStringList {u"2"_s, u"10"_s};
        QTest::addRow("hexadecimal counters sort by their value") << QVariantList {cardChange(u"0420"_s, 60, Act::Work),
            cardChange(u"01A3"_s, 60, Act::Work), cardChange(u"0418"_s, 60, Act::Work)}
                                                                  << QStringList {u"0418"_s, u"01A3"_s, u"0420"_s};
        QTest::addRow("keys that are no number sort after every number") << QVariantList {
            cardChange(u"2024-03-01"_s, 60, Act::Work), cardChange(u"99999"_s, 60, Act::Work),
            cardChange(u"0"_s, 60, Act::Work)} << QStringList {u"0"_s, u"99999"_s, u"2024-03-01"_s};
        QTest::addRow("keys that are no number among themselves by text")
            << QVariantList {cardChange(u"b-day"_s, 60, Act::Work), cardChange(u"a-day"_s, 60, Act::Work)}
            << QStringList {u"a-day"_s, u"b-day"_s};
        QTest::addRow("a negative key before day 0") << QVariantList {cardChange(u"0"_s, 60, Act::Work),
            cardChange(u"-3"_s, 60, Act::Work)} << QStringList {u"-3"_s, u"0"_s};
    }

    void dayOrder()
    {
        QFETCH(QVariantList, rows);
        QFETCH(QStringList, expectedDays);
        const QVariantMap analysis = analyzeRows(rows);
        QCOMPARE(dayKeys(analysis), expectedDays);
        const QVariantList days = analysis.value(u"workingHours"_s).toList();
        for (const QVariant &day : days)
            QCOMPARE(day.toMap().value(u"dayNumber"_s), day.toMap().value(u"dayKey"_s));
    }

    void daysWithTheSameOrderKeyKeepTheirOwnEvents()
    {
        QVariantList rows = cardDay(u"12"_s, {{480, Act::Work}, {540, Act::NoCard}});
        rows += cardDay(u"012"_s, {{600, Act::Drive}, {630, Act::Work}, {700, Act::NoCard}});
        const QVariantMap analysis = analyzeRows(rows);
        QCOMPARE(dayEntry(analysis, 0).value(u"dayKey"_s).toString(), u"012"_s);
        QCOMPARE(dayEntry(analysis, 0).value(u"activityChangesCount"_s).toLongLong(), 3);
        QCOMPARE(dayEntry(analysis, 0).value(u"workMinutes"_s).toInt(), 100);
        QCOMPARE(dayEntry(analysis, 1).value(u"activityChangesCount"_s).toLongLong(), 2);
        QCOMPARE(dayEntry(analysis, 1).value(u"workMinutes"_s).toInt(), 60);
    }

    // A card change at the given time, then a cardless one at 23:00: the day's work starts at the first
    // change when its time reads, else at its "minutes"; without either it sorts last, after the card is out,
    // and keeps card time only when its minutes name a time after 23:00.
    void timeOfChange_data()
    {
        QTest::addColumn<QVariant>("time");
        QTest::addColumn<QVariant>("minutes");
        QTest::addColumn<QString>("expectedStart");

        const QVariant none;
        QTest::addRow("hh:mm") << QVariant(u"07:45"_s) << none << u"07:45"_s;
        QTest::addRow("with seconds") << QVariant(u"07:45:30"_s) << none << u"07:45"_s;
        QTest::addRow("date and time") << QVariant(u"01.03.2024 07:45"_s) << none << u"07:45"_s;
        QTest::addRow("date and time with seconds") << QVariant(u"01.03.2024 07:45:10"_s) << none << u"07:45"_s;
        QTest::addRow("blanks around") << QVariant(u"  07:45 "_s) << none << u"07:45"_s;
        QTest::addRow("last minute of the day") << QVariant(u"22:59"_s) << none << u"22:59"_s;
        QTest::addRow("24:00 is no time") << QVariant(u"24:00"_s) << QVariant(100) << u"01:40"_s;
        QTest::addRow("12:60 is no time") << QVariant(u"12:60"_s) << QVariant(100) << u"01:40"_s;
        QTest::addRow("no blank before the hour") << QVariant(u"2024-03-01T07:45:00"_s) << QVariant(100) << u"01:40"_s;
        QTest::addRow("one-digit hour") << QVariant(u"7:45"_s) << QVariant(100) << u"01:40"_s;
        QTest::addRow("no time text") << none << QVariant(100) << u"01:40"_s;
        QTest::addRow("non-numeric minutes read as midnight") << none << QVariant(u"abc"_s) << u"00:00"_s;
        QTest::addRow("neither time nor minutes") << QVariant(u"soon"_s) << none << QString();
        QTest::addRow("minutes beyond the day are no time") << none << QVariant(1500) << QString();
        QTest::addRow("negative minutes are no time: 23:59, lasting until midnight")
            << none << QVariant(-1) << u"23:59"_s;
    }

    void timeOfChange()
    {
        QFETCH(QVariant, time);
        QFETCH(QVariant, minutes);
        QFETCH(QString, expectedStart);

        QVariantMap first = cardChange(u"1"_s, 0, Act::Work);
        first.remove(u"time"_s);
        first.remove(u"minutes"_s);
        if (time.isValid())
            first.insert(u"time"_s, time);
        if (minutes.isValid())
            first.insert(u"minutes"_s, minutes);
        const QVariantMap analysis = analyzeRows({first, cardChange(u"1"_s, 23 * 60, Act::NoCard)});
        QCOMPARE(dayEntry(analysis, 0).value(u"workStart"_s).toString(), expectedStart);
    }

    void untimedChangeSortsAfterTimedOnes()
    {
        QVariantMap untimed = cardChange(u"1"_s, 0, Act::Work);
        untimed.remove(u"time"_s);
        untimed.insert(u"minutes"_s, 1500);
        const QVariantMap analysis = analyzeRows({untimed, cardChange(u"1"_s, 600, Act::NoCard)});
        const QVariantMap day = dayEntry(analysis, 0);
        QCOMPARE(day.value(u"restMinutes"_s).toInt(), 900);
        QCOMPARE(day.value(u"workMinutes"_s).toInt(), 0);
        QCOMPARE(day.value(u"workStart"_s).toString(), QString());
    }

    void activityKind_data()
    {
        QTest::addColumn<QString>("activity");
        QTest::addColumn<QString>("expectedKey");

        QTest::addRow("card Drive") << u"Drive"_s << u"drivingMinutes"_s;
        QTest::addRow("Russian driving") << u"Вождение"_s << u"drivingMinutes"_s;
        QTest::addRow("driving stems come first") << u"Driver available"_s << u"drivingMinutes"_s;
        QTest::addRow("case and blanks") << u"  DRIVE "_s << u"drivingMinutes"_s;
        QTest::addRow("card Availability") << u"Availability"_s << u"availabilityMinutes"_s;
        QTest::addRow("Russian availability") << u"Доступность"_s << u"availabilityMinutes"_s;
        QTest::addRow("ready") << u"Готовность"_s << u"availabilityMinutes"_s;
        QTest::addRow("card Work") << u"Work"_s << u"workMinutes"_s;
        QTest::addRow("work before rest") << u"Работа/отдых"_s << u"workMinutes"_s;
        QTest::addRow("card Rest") << u"Rest"_s << u"restMinutes"_s;
        QTest::addRow("Russian break or rest") << u"Перерыв/отдых"_s << u"restMinutes"_s;
        QTest::addRow("working time holds no stem") << u"Рабочее время"_s << QString();
        QTest::addRow("empty") << QString() << QString();
    }

    void activityKind()
    {
        QFETCH(QString, activity);
        QFETCH(QString, expectedKey);

        QVariantMap change = cardChange(u"1"_s, 480, Act::Work);
        change.insert(u"activity"_s, activity);
        const QVariantMap analysis = analyzeRows({change, cardChange(u"1"_s, 540, Act::NoCard)});
        const QVariantMap classification = group(analysis, u"classification"_s);
        for (const QString &key : {u"drivingMinutes"_s, u"availabilityMinutes"_s, u"workMinutes"_s, u"restMinutes"_s}) {
            QCOMPARE(classification.value(key).toInt(), key == expectedKey ? 60 : 0);
        }
        QCOMPARE(dayEntry(analysis, 0).value(u"workMinutes"_s).toInt(), 60);
    }

    void cardStatus_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("expectedInserted");

        QTest::addRow("Inserted") << u"Inserted"_s << true;
        QTest::addRow("upper case") << u"INSERTED"_s << true;
        QTest::addRow("blanks around") << u"  Inserted "_s << true;
        QTest::addRow("Inserted Card") << u"Inserted Card"_s << true;
        QTest::addRow("Russian card inserted") << u"Карта вставлена"_s << true;
        QTest::addRow("Russian inserted") << u"Вставлена"_s << true;
        QTest::addRow("Russian inserted card, lower case") << u"вставлена карта"_s << true;
        QTest::addRow("Card inserted is not one of the texts") << u"Card inserted"_s << false;
        QTest::addRow("Not Inserted") << u"Not Inserted"_s << false;
        QTest::addRow("not-inserted") << u"not-inserted"_s << false;
        QTest::addRow("Russian not inserted") << u"Не вставлена"_s << false;
        QTest::addRow("empty") << QString() << false;
    }

    void cardStatus()
    {
        QFETCH(QString, status);
        QFETCH(bool, expectedInserted);

        QVariantMap change = cardChange(u"1"_s, 480, Act::Work);
        change.insert(u"cardStatus"_s, status);
        const QVariantMap day = dayEntry(analyzeRows({change, cardChange(u"1"_s, 540, Act::NoCard)}), 0);
        QCOMPARE(day.value(u"workMinutes"_s).toInt(), expectedInserted ? 60 : 0);
        QCOMPARE(day.value(u"restMinutes"_s).toInt(), expectedInserted ? 900 : 960);
    }

    void manualRecord_data()
    {
        QTest::addColumn<QVariant>("flag");
        QTest::addColumn<QVariant>("manualInput");
        QTest::addColumn<int>("expectedCount");

        const QVariant none;
        QTest::addRow("Да") << QVariant(u"Да"_s) << none << 1;
        QTest::addRow("1") << QVariant(u"1"_s) << none << 1;
        QTest::addRow("Нет") << QVariant(u"Нет"_s) << none << 0;
        QTest::addRow("NO in capitals") << QVariant(u"NO"_s) << none << 0;
        QTest::addRow("no, but manualInput true") << QVariant(u"no"_s) << QVariant(true) << 1;
        QTest::addRow("0 without manualInput") << QVariant(u"0"_s) << none << 0;
        QTest::addRow("only manualInput") << none << QVariant(true) << 1;
        QTest::addRow("neither") << none << none << 0;
    }

    void manualRecord()
    {
        QFETCH(QVariant, flag);
        QFETCH(QVariant, manualInput);
        QFETCH(int, expectedCount);

        QVariantMap change = vuChange(1, 480, Act::Work);
        if (flag.isValid())
            change.insert(u"manualInputFlag"_s, flag);
        if (manualInput.isValid())
            change.insert(u"manualInput"_s, manualInput);
        const QVariantMap day = dayEntry(analyzeRows({change}), 0);
        QCOMPARE(day.value(u"manualInputCount"_s).toInt(), expectedCount);
    }

    void rowsThatHoldNoMapFallIntoDayZero()
    {
        const QVariantMap analysis = analyzeRows({QVariant(u"not a row"_s), QVariant(), QVariant(42)});
        QCOMPARE(dayKeys(analysis), QStringList {u"0"_s});
        QCOMPARE(dayEntry(analysis, 0).value(u"activityChangesCount"_s).toLongLong(), 3);
        TESSARON_VERIFY_NOTHING_NEGATIVE(analysis);
    }

    // The decoders' sorts are not stable and neither is the analysis's: what it measures must not depend on
    // the order of the rows (no two rows here share a day and a minute).
    void rowOrderDoesNotMatter()
    {
        QVariantList rows;
        rows += cardDay(u"0101"_s,
            {{300, Act::NoCard}, {360, Act::Drive}, {600, Act::Rest}, {640, Act::Drive}, {900, Act::NoCard},
                {905, Act::Work}, {1000, Act::NoCard}});
        rows += cardDay(u"0102"_s, {{420, Act::Available}, {500, Act::Drive}, {800, Act::NoCard}});
        rows += cardDay(u"0104"_s, {{100, Act::Work}, {1300, Act::NoCard}, {1330, Act::Drive}});
        rows += cardDay(u"01A3"_s, {{10, Act::Drive}, {20, Act::NoCard}});
        const QVariantMap expected = analyzeRows(rows);

        QRandomGenerator random(20240301);
        for (int round = 0; round < 25; ++round) {
            QVariantList shuffled = rows;
            std::shuffle(shuffled.begin(), shuffled.end(), random);
            QCOMPARE(analyzeRows(shuffled), expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestActivityEvents)
#include "tst_activity_events.moc"
