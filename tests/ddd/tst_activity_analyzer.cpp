#include "activity_test_rows.h"

#include "ddd/activity_analyzer.h"
#include "ddd/ddd_decoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <climits>

using namespace tessaron::ddd;
using namespace tessaron::test;
using namespace Qt::StringLiterals;

namespace {

const QStringList resultGroups {u"compliance"_s, u"conditions"_s, u"drivingCycles"_s, u"classification"_s,
    u"efficiency"_s, u"restBreaks"_s, u"violations"_s, u"workingHours"_s};

QVariantMap analyzeRows(const QVariantList &rows)
{
    return ActivityAnalyzer::analyze(rows, {}, {});
}

// One day with card time from start to end, of one activity, and no card before or after.
QVariantList workday(int dayNo, int start, int end, Act act = Act::Work)
{
    return vuDay(dayNo, {{start, act}, {end, Act::NoCard}});
}

QVariantList restDay(int dayNo)
{
    return vuDay(dayNo, {{0, Act::NoCard}, {720, Act::NoCard}});
}

QVariantMap specificCondition(int code, const QString &clock)
{
    return {
        {u"entryTime"_s, QString(u"05.03.2024 "_s + clock + u":00"_s)},
        {u"specificConditionType"_s, code == 3 ? u"Паром/поезд — начало"_s : u"Паром/поезд — окончание"_s},
        {u"conditionCode"_s, code},
        {u"hexData"_s, u"65E6E0A0%1"_s.arg(code, 2, 10, QLatin1Char('0'))},
    };
}

QVariantMap manualCardIwRow()
{
    return {{u"dayNo"_s, 1}, {u"cardHolderSurname"_s, u"SAMPLE"_s}, {u"manualInputFlag"_s, u"Да"_s}};
}

QStringList texts(const QVariantMap &analysis, const QString &groupName, const QString &key)
{
    return group(analysis, groupName).value(key).toStringList();
}

QString text(const QVariantMap &analysis, const QString &groupName, const QString &key)
{
    return group(analysis, groupName).value(key).toString();
}

int number(const QVariantMap &analysis, const QString &groupName, const QString &key)
{
    return group(analysis, groupName).value(key).toInt();
}

bool flag(const QVariantMap &analysis, const QString &groupName, const QString &key)
{
    return group(analysis, groupName).value(key).toBool();
}

const QString highLoad = u"Высокая загрузка. Рекомендуется увеличить время отдыха."_s;
const QString lowEfficiency = u"Низкая эффективность вождения. Рассмотрите оптимизацию маршрутов."_s;

} // namespace

class TestActivityAnalyzer : public QObject
{
    Q_OBJECT

private slots:
    void emptyInputGroups()
    {
        const QVariantList cardIwData {manualCardIwRow()};
        const QVariantList conditions {specificCondition(3, u"23:30"_s), specificCondition(4, u"00:15"_s)};
        const QVariantMap analysis = ActivityAnalyzer::analyze({}, cardIwData, conditions);
        QCOMPARE(QSet<QString>(analysis.keyBegin(), analysis.keyEnd()),
            QSet<QString>(resultGroups.cbegin(), resultGroups.cend()));

        // Stored as JSON with every report: read back from its text, an empty analysis keeps its zero figures.
        const QJsonObject json
            = QJsonDocument::fromJson(QJsonDocument::fromVariant(analysis).toJson(QJsonDocument::Compact)).object();
        QCOMPARE(json.value(u"workingHours"_s), QJsonValue(QJsonArray {}));
        QCOMPARE(json.value(u"classification"_s), QJsonValue(QJsonObject {}));
        QCOMPARE(json.value(u"drivingCycles"_s)[u"dailyDrivingTime"_s], QJsonValue(u"00:00"_s));
        QCOMPARE(json.value(u"violations"_s)[u"tooShortBreakCount"_s], QJsonValue(0));
        QCOMPARE(json.value(u"compliance"_s)[u"warnings"_s], QJsonValue(QJsonArray {}));

        // The conditions are still those of the two other lists; no recommendation is made.
        const QVariantMap conditionsMap = group(analysis, u"conditions"_s);
        QCOMPARE(conditionsMap.value(u"manualInputCount"_s).toLongLong(), 1);
        QCOMPARE(conditionsMap.value(u"specificConditionCount"_s).toLongLong(), 2);
        QCOMPARE(conditionsMap.value(u"ferryTrainMinutes"_s).toInt(), 45);
        QVERIFY(texts(analysis, u"compliance"_s, u"recommendations"_s).isEmpty());
        QCOMPARE(flag(analysis, u"compliance"_s, u"isCompliant"_s), false);
    }

    // One day: driving with the card from 07:00, the card withdrawn at 17:00 and out until midnight.
    void tenHoursOfDriving_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addRow("driver card rows") << cardDay(u"0042"_s, {{7 * 60, Act::Drive}, {17 * 60, Act::NoCard}});
        QTest::addRow("vehicle-unit rows") << vuDay(3, {{7 * 60, Act::Drive}, {17 * 60, Act::NoCard}});
    }

    void tenHoursOfDriving()
    {
        QFETCH(QVariantList, rows);
        const QVariantMap analysis = analyzeRows(rows);

        const QStringList violations {
            u"Превышен дневной лимит вождения: 10:00 > 9:00"_s, u"Превышено непрерывное вождение: 10:00 > 4:30"_s};
        QCOMPARE(texts(analysis, u"violations"_s, u"items"_s), violations);
        QCOMPARE(texts(analysis, u"compliance"_s, u"violations"_s), violations);
        QCOMPARE(texts(analysis, u"compliance"_s, u"warnings"_s), QStringList {u"Общее сверхурочное время: 01:00"_s});
        QCOMPARE(texts(analysis, u"violations"_s, u"tooLongWorkSessions"_s), QStringList {u"10:00"_s});
        QCOMPARE(flag(analysis, u"drivingCycles"_s, u"dailyLimitExceeded"_s), true);
        QCOMPARE(flag(analysis, u"drivingCycles"_s, u"limit4_5HourExceeded"_s), true);
        QCOMPARE(text(analysis, u"drivingCycles"_s, u"maxContinuousDriving"_s), u"10:00"_s);
        QCOMPARE(number(analysis, u"compliance"_s, u"dailyDrivingScore"_s), 50);
        QCOMPARE(number(analysis, u"compliance"_s, u"restBreaksScore"_s), 70);
        QCOMPARE(number(analysis, u"compliance"_s, u"weeklyRestScore"_s), 100);
        QCOMPARE(number(analysis, u"compliance"_s, u"overallScore"_s), 73);
        QCOMPARE(flag(analysis, u"compliance"_s, u"isCompliant"_s), false);
        QCOMPARE(group(analysis, u"efficiency"_s).value(u"utilizationRate"_s).toDouble(), 600 * 100.0 / 1020);
        QCOMPARE(group(analysis, u"efficiency"_s).value(u"drivingEfficiency"_s).toDouble(), 100.0);
        QCOMPARE(texts(analysis, u"compliance"_s, u"recommendations"_s), QStringList());
        QCOMPARE(text(analysis, u"efficiency"_s, u"averageWorkSession"_s), u"10:00"_s);
        QCOMPARE(group(analysis, u"efficiency"_s).value(u"sessionCount"_s).toLongLong(), 1);

        const QVariantMap day = dayEntry(analysis, 0);
        QCOMPARE(day.value(u"workTime"_s).toString(), u"10:00"_s);
        QCOMPARE(day.value(u"restTime"_s).toString(), u"07:00"_s);
        QCOMPARE(day.value(u"workStart"_s).toString(), u"07:00"_s);
        QCOMPARE(day.value(u"workEnd"_s).toString(), u"17:00"_s);
        QCOMPARE(day.value(u"drivingMinutes"_s).toInt(), 600);
        QCOMPARE(day.value(u"activityChangesCount"_s).toLongLong(), 2);
    }

    // An activity holds until the next change, and the last one of a day until midnight.
    void lastChangeLastsUntilMidnight_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<QString>("counter");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QString>("workStart");
        QTest::addColumn<QString>("workEnd");

        QTest::addRow("rest with the card from 08:00")
            << vuDay(4, {{480, Act::Rest}}) << u"restActivityMinutes"_s << 960 << u"08:00"_s << u"24:00"_s;
        QTest::addRow("driving from 08:00")
            << vuDay(4, {{480, Act::Drive}}) << u"drivingMinutes"_s << 960 << u"08:00"_s << u"24:00"_s;
        QTest::addRow("no card from 08:00")
            << cardDay(u"4"_s, {{480, Act::NoCard}}) << u"unknownMinutes"_s << 960 << QString() << QString();
        QTest::addRow("every change at 00:00") << vuDay(4, {{0, Act::NoCard}, {0, Act::Work}})
                                               << u"workActivityMinutes"_s << 1440 << u"00:00"_s << u"24:00"_s;
        QTest::addRow("work, then the card out at 22:00") << vuDay(4, {{1200, Act::Work}, {1320, Act::NoCard}})
                                                          << u"restMinutes"_s << 120 << u"20:00"_s << u"22:00"_s;
    }

    void lastChangeLastsUntilMidnight()
    {
        QFETCH(QVariantList, rows);
        QFETCH(QString, counter);
        QFETCH(int, minutes);
        QFETCH(QString, workStart);
        QFETCH(QString, workEnd);

        QVariantMap first = rows.first().toMap();
        first.insert(u"manualInputFlag"_s, u"Да"_s);
        rows.first() = first;
        const QVariantMap day = dayEntry(analyzeRows(rows), 0);
        QCOMPARE(day.value(counter).toInt(), minutes);
        QCOMPARE(day.value(u"workMinutes"_s).toInt() + day.value(u"restMinutes"_s).toInt(),
            1440 - rows.first().toMap().value(u"minutes"_s).toInt());
        QCOMPARE(day.value(u"workStart"_s).toString(), workStart);
        QCOMPARE(day.value(u"workEnd"_s).toString(), workEnd);
        QCOMPARE(day.value(u"activityChangesCount"_s).toLongLong(), rows.size());
        QCOMPARE(day.value(u"manualInputCount"_s).toInt(), 1);
    }

    void cardlessTimeWithoutActivity()
    {
        // A driver card records no activity while it is out; a vehicle unit records one.
        const QVariantMap cardAnalysis = analyzeRows(cardDay(u"1"_s, {{60, Act::NoCard}, {180, Act::Work}}));
        QCOMPARE(dayEntry(cardAnalysis, 0).value(u"unknownMinutes"_s).toInt(), 120);
        QCOMPARE(dayEntry(cardAnalysis, 0).value(u"unknownTime"_s).toString(), u"02:00"_s);
        const QVariantMap vuAnalysis = analyzeRows(vuDay(1, {{60, Act::NoCard}, {180, Act::Work}}));
        QCOMPARE(dayEntry(vuAnalysis, 0).value(u"unknownMinutes"_s).toInt(), 0);
        QCOMPARE(dayEntry(vuAnalysis, 0).value(u"restMinutes"_s).toInt(), 120);
    }

    // Driving from 08:00, the card out at 09:00, in again after the break and out at 11:00.
    void breaks_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<QStringList>("tooShort");
        QTest::addColumn<QStringList>("shortBreaks");
        QTest::addColumn<QStringList>("longBreaks");

        const auto withBreak = [](int minutes) {
            return cardDay(
                u"1"_s, {{480, Act::Drive}, {540, Act::NoCard}, {540 + minutes, Act::Drive}, {660, Act::NoCard}});
        };
        QTest::addRow("14 minutes: too short")
            << withBreak(14) << QStringList {u"00:14"_s} << QStringList() << QStringList();
        QTest::addRow("15 minutes: short")
            << withBreak(15) << QStringList() << QStringList {u"00:15"_s} << QStringList();
        QTest::addRow("30 minutes: short")
            << withBreak(30) << QStringList() << QStringList {u"00:30"_s} << QStringList();
        QTest::addRow("31 minutes: long")
            << withBreak(31) << QStringList() << QStringList() << QStringList {u"00:31"_s};
        QTest::addRow("8 and 8 minutes: neither") << cardDay(
            u"1"_s, {{480, Act::Drive}, {540, Act::NoCard}, {548, Act::NoCard}, {556, Act::Drive}, {660, Act::NoCard}})
                                                  << QStringList() << QStringList() << QStringList();
        QTest::addRow("a break still open at the day's end")
            << cardDay(u"1"_s, {{480, Act::Drive}, {540, Act::NoCard}, {545, Act::NoCard}}) << QStringList()
            << QStringList() << QStringList();
    }

    void breaks()
    {
        QFETCH(QVariantList, rows);
        QFETCH(QStringList, tooShort);
        QFETCH(QStringList, shortBreaks);
        QFETCH(QStringList, longBreaks);

        const QVariantMap analysis = analyzeRows(rows);
        QCOMPARE(texts(analysis, u"violations"_s, u"tooShortBreaks"_s), tooShort);
        QCOMPARE(group(analysis, u"violations"_s).value(u"tooShortBreakCount"_s).toLongLong(), tooShort.size());
        QCOMPARE(texts(analysis, u"restBreaks"_s, u"shortBreaks"_s), shortBreaks);
        QCOMPARE(group(analysis, u"restBreaks"_s).value(u"shortBreakCount"_s).toLongLong(), shortBreaks.size());
        QCOMPARE(texts(analysis, u"restBreaks"_s, u"longBreaks"_s), longBreaks);
        QCOMPARE(text(analysis, u"restBreaks"_s, u"totalShortBreakTime"_s),
            shortBreaks.isEmpty() ? u"00:00"_s : shortBreaks.first());
        QCOMPARE(text(analysis, u"restBreaks"_s, u"totalLongBreakTime"_s),
            longBreaks.isEmpty() ? u"00:00"_s : longBreaks.first());
        QCOMPARE(texts(analysis, u"violations"_s, u"items"_s).contains(u"Найдено 1 перерывов короче 15 минут"_s),
            !tooShort.isEmpty());
    }

    void averageBreakAndWorkSession()
    {
        // Card runs of 60, 90 (across a change of activity) and one of 750 running on to midnight; breaks of 20
        // and of 10 + 30.
        const QVariantMap analysis = analyzeRows(cardDay(u"1"_s,
            {{480, Act::Drive}, {540, Act::NoCard}, {560, Act::Work}, {600, Act::Drive}, {650, Act::NoCard},
                {660, Act::NoCard}, {690, Act::Drive}, {720, Act::Work}}));
        const QVariantMap efficiency = group(analysis, u"efficiency"_s);
        QCOMPARE(efficiency.value(u"sessionCount"_s).toLongLong(), 3);
        QCOMPARE(efficiency.value(u"averageWorkSession"_s).toString(), u"05:00"_s);
        QCOMPARE(efficiency.value(u"averageBreak"_s).toString(), u"00:30"_s);
        QCOMPARE(efficiency.value(u"totalWorkTime"_s).toString(), u"15:00"_s);
        QCOMPARE(efficiency.value(u"totalRestTime"_s).toString(), u"01:00"_s);
    }

    void workSessions_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<QStringList>("tooLong");
        QTest::addColumn<QString>("averageWorkSession");

        QTest::addRow("240 minutes, then the card out") << workday(1, 480, 720) << QStringList() << u"04:00"_s;
        QTest::addRow("241 minutes, then the card out")
            << workday(1, 480, 721) << QStringList {u"04:01"_s} << u"04:01"_s;
        QTest::addRow("250 minutes across a change of activity")
            << vuDay(1, {{480, Act::Work}, {600, Act::Drive}, {730, Act::NoCard}}) << QStringList {u"04:10"_s}
            << u"04:10"_s;
        QTest::addRow("a run still open at midnight is not judged")
            << vuDay(1, {{480, Act::Work}, {730, Act::Drive}}) << QStringList() << u"16:00"_s;
    }

    void workSessions()
    {
        QFETCH(QVariantList, rows);
        QFETCH(QStringList, tooLong);
        QFETCH(QString, averageWorkSession);

        const QVariantMap analysis = analyzeRows(rows);
        QCOMPARE(texts(analysis, u"violations"_s, u"tooLongWorkSessions"_s), tooLong);
        QCOMPARE(text(analysis, u"efficiency"_s, u"averageWorkSession"_s), averageWorkSession);
        QCOMPARE(group(analysis, u"efficiency"_s).value(u"sessionCount"_s).toLongLong(), 1);
    }

    void continuousDriving_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<QString>("expectedLongest");

        QTest::addRow("270 minutes") << workday(1, 360, 630, Act::Drive) << u"04:30"_s;
        QTest::addRow("271 minutes") << workday(1, 360, 631, Act::Drive) << u"04:31"_s;
        QTest::addRow("work neither adds nor ends: 200, work 10, 100")
            << vuDay(1, {{360, Act::Drive}, {560, Act::Work}, {570, Act::Drive}, {670, Act::NoCard}}) << u"05:00"_s;
        QTest::addRow("270, a 44-minute break, 10")
            << vuDay(1, {{360, Act::Drive}, {630, Act::NoCard}, {674, Act::Drive}, {684, Act::NoCard}}) << u"04:40"_s;
        QTest::addRow("270, a 45-minute break, 10")
            << vuDay(1, {{360, Act::Drive}, {630, Act::NoCard}, {675, Act::Drive}, {685, Act::NoCard}}) << u"04:30"_s;
        QTest::addRow("200, a break of 15, 60, a break of 30, 60") << vuDay(1,
            {{360, Act::Drive}, {560, Act::NoCard}, {575, Act::Drive}, {635, Act::NoCard}, {665, Act::Drive},
                {725, Act::NoCard}}) << u"04:20"_s;
        QTest::addRow("200, a break of 30, 60, a break of 15, 60") << vuDay(1,
            {{360, Act::Drive}, {560, Act::NoCard}, {590, Act::Drive}, {650, Act::NoCard}, {665, Act::Drive},
                {725, Act::NoCard}}) << u"05:20"_s;
        QTest::addRow("a break of rest with the card and time without it") << vuDay(
            1, {{360, Act::Drive}, {600, Act::Rest}, {625, Act::NoCard}, {645, Act::Drive}, {705, Act::NoCard}})
                                                                           << u"04:00"_s;
        QTest::addRow("a rest of 44 split by work is no break") << vuDay(1,
            {{360, Act::Drive}, {600, Act::Rest}, {622, Act::Work}, {623, Act::Rest}, {645, Act::Drive},
                {705, Act::NoCard}}) << u"05:00"_s;
        QVariantList acrossMidnight = vuDay(1, {{1260, Act::Drive}});
        QTest::addRow("21:00 to 03:00 on consecutive days")
            << acrossMidnight + vuDay(2, {{0, Act::Drive}, {180, Act::NoCard}}) << u"06:00"_s;
        QTest::addRow("21:00 to 24:00 and 00:00 to 03:00 two days apart")
            << acrossMidnight + vuDay(3, {{0, Act::Drive}, {180, Act::NoCard}}) << u"03:00"_s;
    }

    void continuousDriving()
    {
        QFETCH(QVariantList, rows);
        QFETCH(QString, expectedLongest);

        const QVariantMap analysis = analyzeRows(rows);
        const bool exceeded = expectedLongest > u"04:30"_s;
        QCOMPARE(text(analysis, u"drivingCycles"_s, u"maxContinuousDriving"_s), expectedLongest);
        QCOMPARE(flag(analysis, u"drivingCycles"_s, u"limit4_5HourExceeded"_s), exceeded);
        const QString message = u"Превышено непрерывное вождение: %1 > 4:30"_s.arg(expectedLongest);
        QCOMPARE(texts(analysis, u"violations"_s, u"items"_s).contains(message), exceeded);
        QCOMPARE(number(analysis, u"compliance"_s, u"restBreaksScore"_s), exceeded ? 70 : 100);
    }

    void tooShortBreaksLowerTheScore_data()
    {
        QTest::addColumn<int>("breakCount");
        QTest::addColumn<int>("expectedScore");
        QTest::addRow("one") << 1 << 90;
        QTest::addRow("seven") << 7 << 30;
        QTest::addRow("ten") << 10 << 0;
        QTest::addRow("twelve, not negative") << 12 << 0;
    }

    void tooShortBreaksLowerTheScore()
    {
        QFETCH(int, breakCount);
        QFETCH(int, expectedScore);

        // Ten minutes of driving, five without the card, again and again.
        QVariantList rows;
        int minute = 60;
        for (int i = 0; i <= breakCount; ++i) {
            rows.append(vuChange(1, minute, Act::Drive));
            rows.append(vuChange(1, minute + 10, Act::NoCard));
            minute += 15;
        }
        const QVariantMap analysis = analyzeRows(rows);
        QCOMPARE(texts(analysis, u"violations"_s, u"tooShortBreaks"_s), QStringList(breakCount, u"00:05"_s));
        QCOMPARE(number(analysis, u"compliance"_s, u"restBreaksScore"_s), expectedScore);
        QCOMPARE(number(analysis, u"compliance"_s, u"overallScore"_s), (200 + expectedScore) / 3);
        QCOMPARE(texts(analysis, u"violations"_s, u"items"_s),
            QStringList {u"Найдено %1 перерывов короче 15 минут"_s.arg(breakCount)});
    }

    void dailyRest_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<bool>("violation");
        QTest::addColumn<QString>("averageRest");

        QTest::addRow("11 hours between days 5 and 6")
            << workday(5, 480, 1200) + workday(6, 420, 720) << false << u"11:00"_s;
        QTest::addRow("10:40 between days 5 and 6")
            << workday(5, 480, 1200) + workday(6, 400, 720) << true << u"10:40"_s;
        QTest::addRow("days 5 and 7 are no pair")
            << workday(5, 480, 1200) + workday(7, 400, 720) << false << u"00:00"_s;
        QTest::addRow("a day without card time between")
            << workday(5, 480, 1200) + restDay(6) + workday(7, 400, 720) << false << u"00:00"_s;
        QTest::addRow("counters 0009 and 0010 read as decimal numbers")
            << cardDay(u"0009"_s, {{480, Act::Work}, {1200, Act::NoCard}})
                + cardDay(u"0010"_s, {{400, Act::Work}, {720, Act::NoCard}})
            << true << u"10:40"_s;
        QTest::addRow("counters 001F and 0020 are 31 and 20")
            << cardDay(u"001F"_s, {{480, Act::Work}, {1200, Act::NoCard}})
                + cardDay(u"0020"_s, {{400, Act::Work}, {720, Act::NoCard}})
            << false << u"00:00"_s;
        QTest::addRow("counters 01A3 and 01A4 read as hexadecimal")
            << cardDay(u"01A3"_s, {{480, Act::Work}, {1200, Act::NoCard}})
                + cardDay(u"01A4"_s, {{400, Act::Work}, {720, Act::NoCard}})
            << true << u"10:40"_s;
        QTest::addRow("keys that are no number are never consecutive")
            << cardDay(u"x"_s, {{480, Act::Work}, {1200, Act::NoCard}})
                + cardDay(u"y"_s, {{400, Act::Work}, {720, Act::NoCard}})
            << false << u"00:00"_s;
        QTest::addRow("a negative key beside one that is no number")
            << cardDay(u"-1"_s, {{480, Act::Work}, {1200, Act::NoCard}})
                + cardDay(u"later"_s, {{400, Act::Work}, {720, Act::NoCard}})
            << false << u"00:00"_s;
        QTest::addRow("the average of 12:00 and 10:00 is enough, one rest is not")
            << workday(1, 480, 1200) + workday(2, 480, 1080) + workday(3, 240, 720) << true << u"11:00"_s;
        QTest::addRow("the average of 11:40 and 10:00 is short")
            << workday(1, 480, 1200) + workday(2, 460, 1080) + workday(3, 240, 720) << true << u"10:50"_s;
    }

    void dailyRest()
    {
        QFETCH(QVariantList, rows);
        QFETCH(bool, violation);
        QFETCH(QString, averageRest);

        const QVariantMap analysis = analyzeRows(rows);
        const bool reduced = averageRest != u"00:00"_s && averageRest < u"11:00"_s;
        QCOMPARE(flag(analysis, u"violations"_s, u"has11HourRestViolation"_s), violation);
        QCOMPARE(text(analysis, u"restBreaks"_s, u"dailyRest"_s), averageRest);
        QCOMPARE(flag(analysis, u"restBreaks"_s, u"dailyRestReduced"_s), reduced);
        const QString message = u"Недостаточный ежедневный отдых: %1 < 11:00"_s.arg(averageRest);
        QCOMPARE(texts(analysis, u"violations"_s, u"items"_s).contains(message), reduced);
    }

    // The card in at the given minute for half an hour, or only the given card change at night.
    void nightWork_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<int>("nightSessions");
        QTest::addColumn<bool>("cardAtNight");

        QTest::addRow("first card time 05:59") << workday(1, 359, 389) << 1 << true;
        QTest::addRow("first card time 06:00") << workday(1, 360, 390) << 0 << false;
        QTest::addRow("first card time 21:59") << workday(1, 1319, 1349) << 0 << false;
        QTest::addRow("first card time 22:00") << workday(1, 1320, 1350) << 1 << true;
        QTest::addRow("card time at night later in the day")
            << vuDay(1, {{480, Act::Work}, {720, Act::NoCard}, {1380, Act::Work}, {1410, Act::NoCard}}) << 0 << true;
        QTest::addRow("two days starting at night") << workday(1, 300, 330) + workday(3, 1400, 1430) << 2 << true;
    }

    void nightWork()
    {
        QFETCH(QVariantList, rows);
        QFETCH(int, nightSessions);
        QFETCH(bool, cardAtNight);

        const QVariantMap analysis = analyzeRows(rows);
        QCOMPARE(number(analysis, u"violations"_s, u"nightWorkSessions"_s), nightSessions);
        QCOMPARE(flag(analysis, u"restBreaks"_s, u"hasSplitRest"_s), cardAtNight);
        const QStringList warnings = texts(analysis, u"compliance"_s, u"warnings"_s);
        QCOMPARE(warnings.contains(u"Ночных рабочих сессий: %1"_s.arg(nightSessions)), nightSessions > 0);
        QCOMPARE(flag(analysis, u"compliance"_s, u"isCompliant"_s), true);
    }

    void drivingTotals_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<QString>("daily");
        QTest::addColumn<QString>("weekly");
        QTest::addColumn<QString>("biWeekly");
        QTest::addColumn<QStringList>("violations");

        // Driving in runs of at most 200 minutes with 45-minute breaks, so no run is too long.
        const auto drivingDay = [](int dayNo, int minutes) {
            QVariantList rows;
            int clock = 360;
            for (int left = minutes; left > 0; left -= 200) {
                rows.append(vuChange(dayNo, clock, Act::Drive));
                clock += std::min(left, 200);
                rows.append(vuChange(dayNo, clock, Act::NoCard));
                clock += 45;
            }
            return rows;
        };
        QTest::addRow("300, 600 and 200 minutes")
            << drivingDay(1, 300) + drivingDay(3, 600) + drivingDay(5, 200) << u"10:00"_s << u"18:20"_s << u"18:20"_s
            << QStringList {u"Превышен дневной лимит вождения: 10:00 > 9:00"_s};

        QVariantList eightDays;
        for (int day = 1; day <= 8; ++day)
            eightDays += drivingDay(day * 2, 500);
        QTest::addRow("eight days of 500 minutes: the first seven count for the week")
            << eightDays << u"08:20"_s << u"58:20"_s << u"66:40"_s
            << QStringList {u"Превышен недельный лимит вождения: 58:20 > 56:00"_s};

        QVariantList fifteenDays;
        for (int day = 1; day <= 15; ++day)
            fifteenDays += drivingDay(day * 2, 400);
        QTest::addRow("fifteen days of 400 minutes: two weeks above the limit, without a message")
            << fifteenDays << u"06:40"_s << u"46:40"_s << u"93:20"_s << QStringList();
    }

    void drivingTotals()
    {
        QFETCH(QVariantList, rows);
        QFETCH(QString, daily);
        QFETCH(QString, weekly);
        QFETCH(QString, biWeekly);
        QFETCH(QStringList, violations);

        const QVariantMap analysis = analyzeRows(rows);
        const QVariantMap cycles = group(analysis, u"drivingCycles"_s);
        QCOMPARE(cycles.value(u"dailyDrivingTime"_s).toString(), daily);
        QCOMPARE(cycles.value(u"weeklyDrivingTime"_s).toString(), weekly);
        QCOMPARE(cycles.value(u"biWeeklyDrivingTime"_s).toString(), biWeekly);
        QCOMPARE(cycles.value(u"dailyLimitExceeded"_s).toBool(), daily > u"09:00"_s);
        QCOMPARE(cycles.value(u"weeklyLimitExceeded"_s).toBool(), weekly > u"56:00"_s);
        QCOMPARE(cycles.value(u"biWeeklyLimitExceeded"_s).toBool(), biWeekly > u"90:00"_s);
        QCOMPARE(texts(analysis, u"violations"_s, u"items"_s), violations);
        QCOMPARE(number(analysis, u"compliance"_s, u"dailyDrivingScore"_s), daily > u"09:00"_s ? 50 : 100);
    }

    void overtime()
    {
        const QVariantMap analysis = analyzeRows(workday(1, 360, 960) + workday(3, 360, 860));
        QCOMPARE(number(analysis, u"violations"_s, u"totalOvertimeMinutes"_s), 60);
        QCOMPARE(text(analysis, u"violations"_s, u"totalOvertime"_s), u"01:00"_s);
        QCOMPARE(texts(analysis, u"compliance"_s, u"warnings"_s), QStringList {u"Общее сверхурочное время: 01:00"_s});
        QCOMPARE(flag(analysis, u"compliance"_s, u"isCompliant"_s), true);
    }

    void efficiency_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<double>("utilization");
        QTest::addColumn<double>("drivingEfficiency");
        QTest::addColumn<QStringList>("recommendations");
        QTest::addColumn<QString>("cardlessTime");

        QTest::addRow("only time without the card") << vuDay(1, {{480, Act::NoCard}, {600, Act::NoCard}}) << 0.0 << 0.0
                                                    << QStringList {lowEfficiency} << u"16:00"_s;
        QTest::addRow("all card time available")
            << vuDay(1, {{0, Act::Available}}) << 100.0 << 0.0 << QStringList {highLoad, lowEfficiency} << u"00:00"_s;
        QTest::addRow("40 of 100 card minutes available, as much without the card")
            << vuDay(1, {{1240, Act::NoCard}, {1340, Act::Available}, {1380, Act::Drive}}) << 50.0 << 60.0
            << QStringList() << u"01:40"_s;
        QTest::addRow("400 card and 100 cardless minutes")
            << vuDay(1, {{940, Act::Work}, {1340, Act::NoCard}}) << 80.0 << 100.0 << QStringList() << u"01:40"_s;
    }

    void efficiency()
    {
        QFETCH(QVariantList, rows);
        QFETCH(double, utilization);
        QFETCH(double, drivingEfficiency);
        QFETCH(QStringList, recommendations);
        QFETCH(QString, cardlessTime);

        const QVariantMap analysis = analyzeRows(rows);
        QCOMPARE(group(analysis, u"efficiency"_s).value(u"utilizationRate"_s).toDouble(), utilization);
        QCOMPARE(group(analysis, u"efficiency"_s).value(u"drivingEfficiency"_s).toDouble(), drivingEfficiency);
        QCOMPARE(texts(analysis, u"compliance"_s, u"recommendations"_s), recommendations);
        QCOMPARE(text(analysis, u"efficiency"_s, u"totalRestTime"_s), cardlessTime);
    }

    void classificationSumsTheDays()
    {
        QVariantList rows = cardDay(u"1"_s,
            {{300, Act::Drive}, {400, Act::Work}, {450, Act::Available}, {470, Act::Rest}, {500, Act::NoCard},
                {530, Act::Drive}});
        rows += cardDay(u"2"_s, {{300, Act::Drive}, {350, Act::NoCard}, {360, Act::Rest}});
        const QVariantMap classification = group(analyzeRows(rows), u"classification"_s);
        QCOMPARE(classification.value(u"drivingMinutes"_s).toInt(), 1060);
        QCOMPARE(classification.value(u"workMinutes"_s).toInt(), 50);
        QCOMPARE(classification.value(u"availabilityMinutes"_s).toInt(), 20);
        QCOMPARE(classification.value(u"restMinutes"_s).toInt(), 1110);
        QCOMPARE(classification.value(u"unknownMinutes"_s).toInt(), 40);
        QCOMPARE(classification.value(u"cardRestMinutes"_s).toInt(), 40);
        QCOMPARE(classification.value(u"manualInputCount"_s).toInt(), 0);
        QCOMPARE(classification.value(u"ferryTrainMinutes"_s).toInt(), 0);
    }

    // A day whose last change comes after midnight: a change without a readable time sorts last, and its
    // minutes may count on past the end of the day.
    void dayRunsPastMidnight_data()
    {
        QTest::addColumn<QVariant>("minutes");
        QTest::addColumn<int>("expectedDriving");
        QTest::addColumn<QString>("expectedEnd");

        QTest::addRow("00:30 of the next day as 1470 minutes") << QVariant(1470) << 60 << u"00:30"_s;
        QTest::addRow("no minutes at all: midnight") << QVariant() << 30 << u"00:00"_s;
    }

    void dayRunsPastMidnight()
    {
        QFETCH(QVariant, minutes);
        QFETCH(int, expectedDriving);
        QFETCH(QString, expectedEnd);

        QVariantMap afterMidnight = cardChange(u"7"_s, 0, Act::NoCard);
        afterMidnight.remove(u"time"_s);
        afterMidnight.remove(u"minutes"_s);
        if (minutes.isValid())
            afterMidnight.insert(u"minutes"_s, minutes);
        const QVariantMap analysis = analyzeRows({afterMidnight, cardChange(u"7"_s, 1410, Act::Drive)});
        const QVariantMap day = dayEntry(analysis, 0);
        QCOMPARE(day.value(u"drivingMinutes"_s).toInt(), expectedDriving);
        QCOMPARE(day.value(u"workStart"_s).toString(), u"23:30"_s);
        QCOMPARE(day.value(u"workEnd"_s).toString(), expectedEnd);
    }

    // Minutes that no decoder writes, from rows without a readable time: every length is the forward
    // distance on the clock, so nothing can turn negative.
    void minutesOutsideTheDayNeverGiveNegativeFigures_data()
    {
        QTest::addColumn<QVariant>("minutes");
        QTest::addColumn<int>("expectedWork");
        QTest::addColumn<QString>("expectedEnd");

        QTest::addRow("-5000 is 12:40 of a day") << QVariant(-5000) << 660 << u"12:40"_s;
        QTest::addRow("-1 is 23:59") << QVariant(-1) << 1339 << u"23:59"_s;
        QTest::addRow("2880 is midnight two days on") << QVariant(2880) << 1340 << u"00:00"_s;
        QTest::addRow("the smallest int") << QVariant(INT_MIN) << 1212 << u"21:52"_s;
        QTest::addRow("the largest int") << QVariant(INT_MAX) << 27 << u"02:07"_s;
        QTest::addRow("beyond 32 bits") << QVariant(qint64(1) << 40) << 0 << QString();
    }

    void minutesOutsideTheDayNeverGiveNegativeFigures()
    {
        QFETCH(QVariant, minutes);
        QFETCH(int, expectedWork);
        QFETCH(QString, expectedEnd);

        QVariantMap untimed = cardChange(u"2"_s, 0, Act::NoCard);
        untimed.remove(u"time"_s);
        untimed.insert(u"minutes"_s, minutes);
        QVariantList rows = workday(1, 480, 1000);
        rows += QVariantList {cardChange(u"2"_s, 100, Act::Drive), untimed};
        rows += workday(3, 300, 400);
        const QVariantMap analysis = analyzeRows(rows);
        TESSARON_VERIFY_NOTHING_NEGATIVE(analysis);
        if (!expectedEnd.isEmpty()) {
            QCOMPARE(dayEntry(analysis, 1).value(u"workMinutes"_s).toInt(), expectedWork);
            QCOMPARE(dayEntry(analysis, 1).value(u"workEnd"_s).toString(), expectedEnd);
        }
    }

    void weeklyRest_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<QString>("expectedRest");
        QTest::addColumn<bool>("reduced");

        QVariantList everyDay;
        for (int day = 1; day <= 7; ++day)
            everyDay += workday(day, 480, 1080);
        QTest::addRow("seven working days: the longest rest is one night") << everyDay << u"14:00"_s << true;

        QVariantList weekend;
        for (int day = 1; day <= 7; ++day)
            weekend += day == 4 || day == 5 ? restDay(day) : workday(day, 480, 1080);
        QTest::addRow("two days without the card") << weekend << u"62:00"_s << false;

        const auto withRestUntil = [](int lastStart) {
            QVariantList rows = workday(1, 480, 1080) + workday(2, 480, 1080) + workday(3, 480, 1080);
            rows += restDay(4) + workday(5, lastStart, 1080) + workday(6, 480, 1080) + workday(7, 480, 1080);
            return rows;
        };
        QTest::addRow("exactly 45 hours") << withRestUntil(900) << u"45:00"_s << false;
        QTest::addRow("44:59") << withRestUntil(899) << u"44:59"_s << true;

        QVariantList longDayRest;
        for (int day = 1; day <= 7; ++day)
            longDayRest += workday(day, 480, 1080);
        longDayRest.append(vuChange(4, 1100, Act::NoCard)); // nothing changes after the card is out
        QTest::addRow("a change without the card does not split a rest") << longDayRest << u"14:00"_s << true;

        QVariantList withGap;
        for (int day : {1, 2, 3, 4, 5, 6, 8})
            withGap += workday(day, 480, 1080);
        QTest::addRow("day keys with a gap") << withGap << u"00:00"_s << false;

        QVariantList sixDays;
        for (int day = 1; day <= 6; ++day)
            sixDays += workday(day, 480, 1080);
        QTest::addRow("six days") << sixDays << u"00:00"_s << false;

        QVariantList firstDayFree = restDay(1);
        for (int day = 2; day <= 8; ++day)
            firstDayFree += workday(day, 480, 1080);
        QTest::addRow("the first day without card time") << firstDayFree << u"00:00"_s << false;

        QVariantList restInTheEighthDay = everyDay;
        restInTheEighthDay += restDay(8) + restDay(9) + workday(10, 480, 1080);
        QTest::addRow("only the first seven days count") << restInTheEighthDay << u"14:00"_s << true;
    }

    void weeklyRest()
    {
        QFETCH(QVariantList, rows);
        QFETCH(QString, expectedRest);
        QFETCH(bool, reduced);

        const QVariantMap analysis = analyzeRows(rows);
        QCOMPARE(text(analysis, u"restBreaks"_s, u"weeklyRest"_s), expectedRest);
        QCOMPARE(flag(analysis, u"restBreaks"_s, u"weeklyRestReduced"_s), reduced);
        QCOMPARE(number(analysis, u"compliance"_s, u"weeklyRestScore"_s), reduced ? 60 : 100);
        const QString message = u"Недостаточный еженедельный отдых: %1 < 45:00"_s.arg(expectedRest);
        QCOMPARE(texts(analysis, u"violations"_s, u"items"_s).contains(message), reduced);
    }

    void decoderReplacesTheAnalysis()
    {
        DddReport report;
        report.activityChanges = workday(1, 480, 1000) + workday(2, 480, 1000) + restDay(5);
        report.cardIwData = {manualCardIwRow()};
        report.specificConditions = {specificCondition(3, u"08:00"_s), specificCondition(4, u"09:00"_s)};
        report.analysis = {{u"stale"_s, true}};
        report.totalDays = 42;

        const QVariantMap expected
            = ActivityAnalyzer::analyze(report.activityChanges, report.cardIwData, report.specificConditions);
        Decoder::buildAnalysis(report);
        QCOMPARE(report.analysis, expected);
        QCOMPARE(report.totalDays, 3);

        report.analysis = {{u"stale"_s, true}};
        report.totalDays = 0;
        Decoder::analyze(report);
        QCOMPARE(report.analysis, expected);
        QCOMPARE(report.totalDays, 3);

        report.activityChanges.clear();
        Decoder::analyze(report);
        QCOMPARE(report.totalDays, 0);
        QCOMPARE(report.analysis, ActivityAnalyzer::analyze({}, report.cardIwData, report.specificConditions));
        QCOMPARE(group(report.analysis, u"compliance"_s).value(u"overallScore"_s).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TestActivityAnalyzer)
#include "tst_activity_analyzer.moc"
