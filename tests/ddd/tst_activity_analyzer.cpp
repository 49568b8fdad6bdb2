#include "ddd/activity_analyzer.h"
#include "ddd/ddd_decoder.h"
#include "ddd_file_builder.h"
#include "support/test_paths.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <climits>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;

namespace {

// What a change records: an activity with the card inserted, or no card at all.
enum class Act { Drive, Work, Available, Rest, NoCard };

QString clockText(int minute)
{
    return QStringLiteral("%1:%2").arg(minute / 60, 2, 10, QLatin1Char('0')).arg(minute % 60, 2, 10, QLatin1Char('0'));
}

QString englishActivity(Act act)
{
    static const QStringList texts {u"Drive"_s, u"Work"_s, u"Availability"_s, u"Rest"_s, u"Rest"_s};
    return texts.at(int(act));
}

// One change of a driver card's daily record; a change without the card has no activity text.
QVariantMap cardChange(const QString &counter, int minute, Act act)
{
    const bool inserted = act != Act::NoCard;
    return {
        {QStringLiteral("activityDailyPresenceCounter1"), counter},
        {QStringLiteral("slot"), QStringLiteral("Driver")},
        {QStringLiteral("drivingStatus"), inserted ? QStringLiteral("Single") : QStringLiteral("Unknown")},
        {QStringLiteral("cardStatus"), inserted ? QStringLiteral("Inserted") : QStringLiteral("Not Inserted")},
        {QStringLiteral("activity"), inserted ? englishActivity(act) : QString()},
        {QStringLiteral("time"), clockText(minute)},
        {QStringLiteral("day"), counter},
        {QStringLiteral("minutes"), minute},
    };
}

// One change of a vehicle unit's day block; without a card the slot still records rest.
QVariantMap vuChange(int dayNo, int minute, Act act)
{
    const bool inserted = act != Act::NoCard;
    return {
        {QStringLiteral("dayNo"), dayNo},
        {QStringLiteral("day"), dayNo},
        {QStringLiteral("slot"), QStringLiteral("Водитель")},
        {QStringLiteral("drivingStatus"), QStringLiteral("Одиночный режим")},
        {QStringLiteral("cardStatus"), inserted ? QStringLiteral("Inserted") : QStringLiteral("Not Inserted")},
        {QStringLiteral("activity"), englishActivity(act)},
        {QStringLiteral("timeOfChange"), clockText(minute)},
        {QStringLiteral("minutes"), minute},
        {QStringLiteral("activityDailyPresenceCounter1"), dayNo},
        {QStringLiteral("time"), clockText(minute)},
    };
}

struct Change
{
    int minute;
    Act act;
};

// The rows of one day, one per change, in the given order.
QVariantList cardDay(const QString &counter, std::initializer_list<Change> changes)
{
    QVariantList rows;
    for (const Change &change : changes)
        rows.append(cardChange(counter, change.minute, change.act));
    return rows;
}

QVariantList vuDay(int dayNo, std::initializer_list<Change> changes)
{
    QVariantList rows;
    for (const Change &change : changes)
        rows.append(vuChange(dayNo, change.minute, change.act));
    return rows;
}

QVariantMap group(const QVariantMap &analysis, const QString &name)
{
    return analysis.value(name).toMap();
}

QVariantMap dayEntry(const QVariantMap &analysis, qsizetype index)
{
    return analysis.value(QStringLiteral("workingHours")).toList().value(index).toMap();
}

// The first negative number or negative time in an analysis, with what surrounds it; empty when there is none.
QString firstNegative(const QVariantMap &analysis)
{
    static const QRegularExpression negative(u"[:\\[,]-\\d|-\\d+:\\d"_s);
    const QString json = QString::fromUtf8(QJsonDocument::fromVariant(analysis).toJson(QJsonDocument::Compact));
    const QRegularExpressionMatch match = negative.match(json);
    return match.hasMatch() ? json.mid(std::max<qsizetype>(0, match.capturedStart() - 60), 80) : QString();
}

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

QString text(const QVariantMap &analysis, const QString &groupName, const QString &key)
{
    return group(analysis, groupName).value(key).toString();
}

QStringList texts(const QVariantMap &analysis, const QString &groupName, const QString &key)
{
    return group(analysis, groupName).value(key).toStringList();
}

int number(const QVariantMap &analysis, const QString &groupName, const QString &key)
{
    return group(analysis, groupName).value(key).toInt();
}

bool flag(const QVariantMap &analysis, const QString &groupName, const QString &key)
{
    return group(analysis, groupName).value(key).toBool();
}

// A specific-condition row as the card decoder writes it; an empty clock leaves the entry time empty.
QVariantMap conditionRow(int code, const QString &clock)
{
    return {{u"entryTime"_s, clock.isEmpty() ? QString() : u"05.03.2024 "_s + clock + u":00"_s},
        {u"specificConditionType"_s,
            code == 3       ? u"Паром/поезд — начало"_s
                : code == 4 ? u"Паром/поезд — окончание"_s
                            : u"Выход за область применения"_s},
        {u"conditionCode"_s, code}};
}

// The day at 08:00 whose first change carries the given keys (a key given an invalid value is removed), and a
// change without the card at 09:00.
QVariantList changedHour(const QVariantMap &changes)
{
    QVariantMap first = cardChange(u"1"_s, 480, Act::Work);
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        if (it.value().isValid())
            first.insert(it.key(), it.value());
        else
            first.remove(it.key());
    }
    return {first, cardChange(u"1"_s, 540, Act::NoCard)};
}

// A change of day 1 without a time text, at the given minutes.
QVariantMap untimed(const QVariant &minutes, Act act)
{
    QVariantMap change = cardChange(u"1"_s, 0, act);
    change.remove(u"time"_s);
    change.insert(u"minutes"_s, minutes);
    return change;
}

// Driving from 08:00, the card out at 09:00, in again after the break and out at 11:00.
QVariantList withBreak(int minutes)
{
    return cardDay(u"1"_s, {{480, Act::Drive}, {540, Act::NoCard}, {540 + minutes, Act::Drive}, {660, Act::NoCard}});
}

// Driving in runs of at most 200 minutes with 45-minute breaks on every second day, so no run is too long.
QVariantList drivingDays(int days, int minutes)
{
    QVariantList rows;
    for (int day = 1; day <= days; ++day) {
        int clock = 360;
        for (int left = minutes; left > 0; left -= 200) {
            rows.append(vuChange(day * 2, clock, Act::Drive));
            clock += std::min(left, 200);
            rows.append(vuChange(day * 2, clock, Act::NoCard));
            clock += 45;
        }
    }
    return rows;
}

// Ten minutes of driving, five without the card, again and again.
QVariantList shortBreaks(int breakCount)
{
    QVariantList rows;
    for (int i = 0, minute = 60; i <= breakCount; ++i, minute += 15)
        rows += vuDay(1, {{minute, Act::Drive}, {minute + 10, Act::NoCard}});
    return rows;
}

// "group/key", "dayN/key" or "days" (the day keys in their order) of an analysis.
QVariant figure(const QVariantMap &analysis, const QString &path)
{
    const QStringList parts = path.split(u'/');
    if (path == u"days"_s) {
        QStringList keys;
        for (const QVariant &day : analysis.value(u"workingHours"_s).toList())
            keys.append(day.toMap().value(u"dayKey"_s).toString());
        return keys;
    }
    if (parts.first().startsWith(u"day"_s))
        return dayEntry(analysis, parts.first().mid(3).toInt()).value(parts.last());
    return group(analysis, parts.first()).value(parts.last());
}

void addFigure(const char *name, const QVariantList &rows, const QString &path, const QVariant &expected,
    const QVariantList &cardIw = {}, const QVariantList &conditions = {})
{
    QTest::newRow(name) << rows << cardIw << conditions << path << expected;
}

// Days with at least one activity change, as the facts file of a sample lists them: the daily records of the
// card's first-generation application, or the vehicle unit's day blocks with a change in the driver slot.
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
            days += changes[u"driver_slot"_s].toInt() > 0 ? 1 : 0;
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

// ---- whole downloads ----

using tessaron::test::VuActivityChange;

// A day's changes as a card's daily record and a vehicle unit's day block both write them; slot 1 is the
// co-driver's.
QList<VuActivityChange> slotChanges(std::initializer_list<Change> changes, int slot = 0)
{
    static constexpr int codes[] = {3, 2, 1, 0, 0};
    QList<VuActivityChange> result;
    for (const Change &change : changes)
        result.append({slot, false, change.act == Act::NoCard, codes[int(change.act)], change.minute});
    return result;
}

// A driver card's daily records (counters 407, 408, ... one apart) or a vehicle unit's day blocks (numbered 1,
// 2, ...), dated those days of March 2024.
QByteArray download(bool card, const QList<int> &marchDays, const QList<QList<VuActivityChange>> &days)
{
    using namespace tessaron::test;
    QList<CardActivityDay> cardDays;
    VuFileBuilder vu;
    vu.addOverview({});
    for (qsizetype i = 0; i < marchDays.size(); ++i) {
        const quint32 date = unixTime(2024, 3, marchDays.at(i));
        cardDays.append({date, int(407 + i), 100, days.at(i)});
        VuActivityDay day;
        day.timeReal = date + 86399;
        day.changes = days.at(i);
        vu.addActivityDay(day);
    }
    return card ? CardFileBuilder::driverCardWithActivity(cardDays) : vu.build();
}

void addDownloadColumns()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QByteArray>("download");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("expected");
}

void addDownload(
    const char *name, const QString &sample, const QByteArray &bytes, const QString &path, const QVariant &expected)
{
    QTest::newRow(name) << sample << bytes << path << expected;
}

// The figure at path (as figure() reads it) of the analysis of the row's real sample, else its synthetic bytes.
void compareDownloadFigure()
{
    QFETCH(QString, sample);
    QFETCH(QByteArray, download);
    QFETCH(QString, path);
    QFETCH(QVariant, expected);

    DddReport report = Decoder::decode(download);
    if (!sample.isEmpty()) {
        TESSARON_REQUIRE_SAMPLE(file, sample);
        report = Decoder::decodeFile(file);
    }
    QVERIFY(!report.activityChanges.isEmpty());
    QCOMPARE(figure(report.analysis, path), expected);
}

const QString dailyLimit = u"Превышен дневной лимит вождения: 10:00 > 9:00"_s;
const QString longDriving = u"Превышено непрерывное вождение: 10:00 > 4:30"_s;

} // namespace

class TestActivityAnalyzer : public QObject
{
    Q_OBJECT

private slots:
    // One figure of the analysis of a few hand-made rows.
    void figures_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<QVariantList>("cardIw");
        QTest::addColumn<QVariantList>("conditions");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QVariant>("expected");

        const QVariant none;
        const auto tenHours = [](bool card) {
            return card ? cardDay(u"0042"_s, {{420, Act::Drive}, {1020, Act::NoCard}})
                        : vuDay(3, {{420, Act::Drive}, {1020, Act::NoCard}});
        };
        addFigure("ten hours on a card: violations", tenHours(true), u"violations/items"_s,
            QStringList {dailyLimit, longDriving});
        addFigure("ten hours on a vehicle unit: score", tenHours(false), u"compliance/overallScore"_s, 73);
        addFigure("card out on a card: unknown", cardDay(u"1"_s, {{60, Act::NoCard}, {180, Act::Work}}),
            u"day0/unknownMinutes"_s, 120);
        addFigure("card out on a vehicle unit: rest", vuDay(1, {{60, Act::NoCard}, {180, Act::Work}}),
            u"day0/unknownMinutes"_s, 0);

        addFigure("break of 14: too short", withBreak(14), u"violations/tooShortBreaks"_s, QStringList {u"00:14"_s});
        addFigure("break of 15: short", withBreak(15), u"restBreaks/shortBreaks"_s, QStringList {u"00:15"_s});
        addFigure("break of 30: short", withBreak(30), u"restBreaks/totalShortBreakTime"_s, u"00:30"_s);
        addFigure("break of 31: long", withBreak(31), u"restBreaks/longBreaks"_s, QStringList {u"00:31"_s});
        addFigure("a break still open at the day's end",
            cardDay(u"1"_s, {{480, Act::Drive}, {540, Act::NoCard}, {545, Act::NoCard}}),
            u"violations/tooShortBreakCount"_s, 0);
        addFigure("one too short break", shortBreaks(1), u"compliance/restBreaksScore"_s, 90);
        addFigure("twelve too short breaks: no negative score", shortBreaks(12), u"compliance/restBreaksScore"_s, 0);
        addFigure("average break of 20, 10 and 30",
            cardDay(u"1"_s,
                {{480, Act::Drive}, {540, Act::NoCard}, {560, Act::Work}, {600, Act::Drive}, {650, Act::NoCard},
                    {660, Act::NoCard}, {690, Act::Drive}, {720, Act::Work}}),
            u"efficiency/averageBreak"_s, u"00:30"_s);

        addFigure("work of 240 minutes", workday(1, 480, 720), u"violations/tooLongWorkSessions"_s, QStringList());
        addFigure(
            "work of 241 minutes", workday(1, 480, 721), u"violations/tooLongWorkSessions"_s, QStringList {u"04:01"_s});
        addFigure("a run across a change of activity",
            vuDay(1, {{480, Act::Work}, {600, Act::Drive}, {730, Act::NoCard}}), u"efficiency/averageWorkSession"_s,
            u"04:10"_s);
        addFigure("a run still open at midnight is not judged", vuDay(1, {{480, Act::Work}, {730, Act::Drive}}),
            u"violations/tooLongWorkSessions"_s, QStringList());

        addFigure("card at 05:59", workday(1, 359, 389), u"violations/nightWorkSessions"_s, 1);
        addFigure("card at 06:00", workday(1, 360, 390), u"violations/nightWorkSessions"_s, 0);
        addFigure("card at 06:00: no split rest", workday(1, 360, 390), u"restBreaks/hasSplitRest"_s, false);
        addFigure("card at 21:59: no split rest", workday(1, 1319, 1349), u"restBreaks/hasSplitRest"_s, false);
        addFigure("card at 21:59", workday(1, 1319, 1349), u"violations/nightWorkSessions"_s, 0);
        addFigure("card at 22:00", workday(1, 1320, 1350), u"violations/nightWorkSessions"_s, 1);
        addFigure("card at night later in the day",
            vuDay(1, {{480, Act::Work}, {720, Act::NoCard}, {1380, Act::Work}, {1410, Act::NoCard}}),
            u"restBreaks/hasSplitRest"_s, true);

        addFigure("eight days of 500 minutes: seven in the week", drivingDays(8, 500), u"violations/items"_s,
            QStringList {u"Превышен недельный лимит вождения: 58:20 > 56:00"_s});
        addFigure("fifteen days of 400 minutes: two weeks", drivingDays(15, 400),
            u"drivingCycles/biWeeklyLimitExceeded"_s, true);
        addFigure("overtime over two days", workday(1, 360, 960) + workday(3, 360, 860),
            u"violations/totalOvertimeMinutes"_s, 60);
        addFigure("all card time available", vuDay(1, {{0, Act::Available}}), u"compliance/recommendations"_s,
            QStringList {u"Высокая загрузка. Рекомендуется увеличить время отдыха."_s,
                u"Низкая эффективность вождения. Рассмотрите оптимизацию маршрутов."_s});
        addFigure("only time without the card", vuDay(1, {{480, Act::NoCard}, {600, Act::NoCard}}),
            u"compliance/recommendations"_s,
            QStringList {u"Низкая эффективность вождения. Рассмотрите оптимизацию маршрутов."_s});
        const QVariantList sixtyPercent = vuDay(1, {{1240, Act::NoCard}, {1340, Act::Available}, {1380, Act::Drive}});
        addFigure(
            "40 of 100 card minutes available: efficiency", sixtyPercent, u"efficiency/drivingEfficiency"_s, 60.0);
        addFigure("driving efficiency of 60 is enough", sixtyPercent, u"compliance/recommendations"_s, QStringList());
        addFigure("utilization of 80 is no high load", vuDay(1, {{940, Act::Work}, {1340, Act::NoCard}}),
            u"compliance/recommendations"_s, QStringList());
        const QVariantList twoDays = cardDay(u"1"_s,
                                         {{300, Act::Drive}, {400, Act::Work}, {450, Act::Available}, {470, Act::Rest},
                                             {500, Act::NoCard}, {530, Act::Drive}})
            + cardDay(u"2"_s, {{300, Act::Drive}, {350, Act::NoCard}, {360, Act::Rest}});
        addFigure("classification sums the days: driving", twoDays, u"classification/drivingMinutes"_s, 1060);
        addFigure("classification sums the days: card rest", twoDays, u"classification/cardRestMinutes"_s, 40);

        // How the rows name their days, times, activities and card.
        addFigure("hexadecimal counters sort by value",
            cardDay(u"0420"_s, {{60, Act::Work}}) + cardDay(u"01A3"_s, {{60, Act::Work}})
                + cardDay(u"0418"_s, {{60, Act::Work}}),
            u"days"_s, QStringList {u"0418"_s, u"01A3"_s, u"0420"_s});
        addFigure("keys that are no number after the numbers, a negative before 0",
            cardDay(u"b"_s, {{60, Act::Work}}) + cardDay(u"0"_s, {{60, Act::Work}})
                + cardDay(u"-3"_s, {{60, Act::Work}}),
            u"days"_s, QStringList {u"-3"_s, u"0"_s, u"b"_s});
        addFigure("vehicle-unit day numbers sort as numbers",
            vuDay(10, {{60, Act::Work}}) + vuDay(2, {{60, Act::Work}}), u"days"_s, QStringList {u"2"_s, u"10"_s});
        addFigure("12 and 012 keep their own changes",
            cardDay(u"12"_s, {{480, Act::Work}, {540, Act::NoCard}})
                + cardDay(u"012"_s, {{600, Act::Drive}, {630, Act::Work}, {700, Act::NoCard}}),
            u"day0/workMinutes"_s, 100);
        addFigure("rows that hold no map fall into day 0", {QVariant(u"not a row"_s), QVariant(), QVariant(42)},
            u"day0/activityChangesCount"_s, 3);
        addFigure("date and time", changedHour({{u"time"_s, u"01.03.2024 07:45"_s}}), u"day0/workStart"_s, u"07:45"_s);
        addFigure("24:00 is no time: the minutes hold", changedHour({{u"time"_s, u"24:00"_s}, {u"minutes"_s, 100}}),
            u"day0/workStart"_s, u"01:40"_s);
        addFigure("a one-digit hour is no time", changedHour({{u"time"_s, u"7:45"_s}, {u"minutes"_s, 100}}),
            u"day0/workStart"_s, u"01:40"_s);
        addFigure("minutes beyond the day sort last",
            QVariantList {untimed(1500, Act::Work), cardChange(u"1"_s, 600, Act::NoCard)}, u"day0/restMinutes"_s, 900);
        addFigure("the last change after midnight as 1470 minutes",
            QVariantList {untimed(1470, Act::NoCard), cardChange(u"1"_s, 1410, Act::Drive)}, u"day0/workEnd"_s,
            u"00:30"_s);
        addFigure("driving stems come first", changedHour({{u"activity"_s, u"Driver available"_s}}),
            u"classification/drivingMinutes"_s, 60);
        addFigure("Russian availability", changedHour({{u"activity"_s, u"Доступность"_s}}),
            u"classification/availabilityMinutes"_s, 60);
        addFigure(
            "work before rest", changedHour({{u"activity"_s, u"Работа/отдых"_s}}), u"classification/workMinutes"_s, 60);
        addFigure("working time holds no stem", changedHour({{u"activity"_s, u"Рабочее время"_s}}),
            u"classification/workMinutes"_s, 0);
        addFigure("inserted card, lower case", changedHour({{u"cardStatus"_s, u"вставлена карта"_s}}),
            u"day0/workMinutes"_s, 60);
        addFigure("card inserted is not one of the texts", changedHour({{u"cardStatus"_s, u"Card inserted"_s}}),
            u"day0/workMinutes"_s, 0);
        addFigure("not inserted", changedHour({{u"cardStatus"_s, u"Не вставлена"_s}}), u"day0/workMinutes"_s, 0);
        addFigure("manual flag 1", changedHour({{u"manualInputFlag"_s, u"1"_s}}), u"day0/manualInputCount"_s, 1);
        addFigure("manual flag NO", changedHour({{u"manualInputFlag"_s, u"NO"_s}}), u"day0/manualInputCount"_s, 0);
        addFigure("manual flag no, but manual input",
            changedHour({{u"manualInputFlag"_s, u"no"_s}, {u"manualInput"_s, true}}), u"day0/manualInputCount"_s, 1);

        // Ferry and train crossings and manual records, with and without activity.
        const auto crossing = [](const QString &begin, const QString &end) {
            return QVariantList {conditionRow(3, begin), conditionRow(4, end)};
        };
        addFigure("a crossing across midnight", {}, u"conditions/ferryTrainMinutes"_s, 75, {},
            crossing(u"23:30"_s, u"00:45"_s));
        addFigure("a crossing reaches the classification", workday(1, 480, 600), u"classification/ferryTrainMinutes"_s,
            75, {}, crossing(u"08:00"_s, u"09:15"_s));
        addFigure("a second begin replaces the first", {}, u"conditions/ferryTrainMinutes"_s, 40, {},
            QVariantList {conditionRow(3, u"10:00"_s)} + crossing(u"10:20"_s, u"11:00"_s));
        addFigure("a begin without a readable time opens nothing", {}, u"conditions/ferryTrainMinutes"_s, 0, {},
            crossing(QString(), u"11:00"_s));
        addFigure("out of scope is no crossing", {}, u"conditions/ferryTrainCount"_s, 0, {},
            QVariantList {conditionRow(1, u"08:00"_s), conditionRow(2, u"09:00"_s)});
        addFigure("English words under type, times under time", {}, u"conditions/ferryTrainMinutes"_s, 60, {},
            QVariantList {QVariantMap {{u"type"_s, u"Ferry crossing begin"_s}, {u"time"_s, u"08:00"_s}},
                QVariantMap {{u"type"_s, u"Train crossing end"_s}, {u"time"_s, u"09:00"_s}}});
        addFigure("a code as the type text", {}, u"conditions/ferryTrainCount"_s, 1, {},
            QVariantList {QVariantMap {{u"type"_s, u"4"_s}}});
        addFigure("a day counts its ferry changes", changedHour({{u"conditionCode"_s, 4}}),
            u"day0/specificConditionCount"_s, 1);
        const QVariantList cardIw {QVariantMap {{u"manualInputFlag"_s, u"Да"_s}},
            QVariantMap {{u"manualInputFlag"_s, u"Нет"_s}}, QVariantMap {{u"manualInputFlag"_s, u"Да"_s}}};
        addFigure("manual records without activity", {}, u"conditions/manualInputCount"_s, 2, cardIw);
        addFigure(
            "manual records with activity", workday(1, 480, 600), u"classification/manualInputCount"_s, 2, cardIw);
    }

    void figures()
    {
        QFETCH(QVariantList, rows);
        QFETCH(QVariantList, cardIw);
        QFETCH(QVariantList, conditions);
        QFETCH(QString, path);
        QFETCH(QVariant, expected);

        const QVariantMap analysis = ActivityAnalyzer::analyze(rows, cardIw, conditions);
        const QVariant actual = figure(analysis, path);
        if (expected.typeId() == QMetaType::QStringList)
            QCOMPARE(actual.toStringList(), expected.toStringList());
        else
            QCOMPARE(actual.toString(), expected.toString());
        QVERIFY2(firstNegative(analysis).isEmpty(), qPrintable(firstNegative(analysis)));
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
        QTest::addRow("a negative key beside one that is no number")
            << cardDay(u"-1"_s, {{480, Act::Work}, {1200, Act::NoCard}})
                + cardDay(u"later"_s, {{400, Act::Work}, {720, Act::NoCard}})
            << false << u"00:00"_s;
        QTest::addRow("the average of 12:00 and 10:00 is enough, one rest is not")
            << workday(1, 480, 1200) + workday(2, 480, 1080) + workday(3, 240, 720) << true << u"11:00"_s;
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
        QVERIFY2(firstNegative(analysis).isEmpty(), qPrintable(firstNegative(analysis)));
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

    // Two days whose keys are one apart while their dates are two days apart: no rest between them is counted
    // and no driving runs on from one into the other.
    void daysApartInTheCalendar_data()
    {
        addDownloadColumns();
        const auto untilEight = slotChanges({{0, Act::NoCard}, {480, Act::Work}, {1200, Act::NoCard}});
        const auto fromTwo = slotChanges({{0, Act::NoCard}, {120, Act::Work}, {600, Act::NoCard}});
        const QString rest = u"restBreaks/dailyRest"_s;
        addDownload("card: counters one apart dated 1 and 3 March", {}, download(true, {1, 3}, {untilEight, fromTwo}),
            rest, u"00:00"_s);
        addDownload("card: counters one apart dated 1 and 2 March", {}, download(true, {1, 2}, {untilEight, fromTwo}),
            rest, u"06:00"_s);
        addDownload("vehicle unit: day blocks 1 and 2 dated 1 and 3 March", {},
            download(false, {1, 3}, {untilEight, fromTwo}), rest, u"00:00"_s);
        addDownload("card: driving up to midnight of 1 March and on from 3 March", {},
            download(true, {1, 3},
                {slotChanges({{0, Act::NoCard}, {1080, Act::Work}, {1260, Act::Drive}}),
                    slotChanges({{0, Act::Drive}, {180, Act::NoCard}})}),
            u"drivingCycles/maxContinuousDriving"_s, u"03:00"_s);
        addDownload("card-gen1-a.ddd: no 5:34 from 26.03.2022 to 28.03.2022 in the average", u"card-gen1-a.ddd"_s, {},
            rest, u"15:13"_s);
    }

    void daysApartInTheCalendar() { compareDownloadFigure(); }

    // The weekly rest is measured over seven days in a row by the calendar, not seven day keys one apart.
    void weeklyRestOverSevenCalendarDays_data()
    {
        addDownloadColumns();
        const QList<QList<VuActivityChange>> workdays(
            7, slotChanges({{0, Act::NoCard}, {480, Act::Work}, {1080, Act::NoCard}}));
        const QString weekly = u"restBreaks/weeklyRest"_s;
        addDownload("card: seven counters one apart, 4 March missing", {},
            download(true, {1, 2, 3, 5, 6, 7, 8}, workdays), weekly, u"00:00"_s);
        addDownload(
            "card: seven days in a row", {}, download(true, {1, 2, 3, 4, 5, 6, 7}, workdays), weekly, u"14:00"_s);
        addDownload("card-gen1-2007.ddd: 23.09.2006 missing", u"card-gen1-2007.ddd"_s, {}, weekly, u"00:00"_s);
    }

    void weeklyRestOverSevenCalendarDays() { compareDownloadFigure(); }

    // A vehicle unit's analysis reads its driver slot alone; a card's changes are all its holder's, whatever slot
    // they name.
    void driverSlotAlone_data()
    {
        addDownloadColumns();
        const std::initializer_list<Change> driverDay {
            {0, Act::NoCard}, {480, Act::Work}, {600, Act::Drive}, {1020, Act::NoCard}};
        const auto coDriver = slotChanges({{0, Act::NoCard}, {700, Act::Work}, {800, Act::NoCard}}, 1);
        const QString cardTime = u"day0/workMinutes"_s;
        addDownload("vehicle unit: the co-driver's changes beside the driver's", {},
            download(false, {1}, {slotChanges(driverDay) + coDriver}), cardTime, 540);
        addDownload("card: changes the card recorded in the co-driver slot", {},
            download(true, {1}, {slotChanges(driverDay, 1)}), cardTime, 540);
        addDownload("vu-gen1-a.ddd: 31.07.2022", u"vu-gen1-a.ddd"_s, {}, cardTime, 530);
    }

    void driverSlotAlone() { compareDownloadFigure(); }

    // Changes at one minute keep their order in the file, so each order gives its own result, every time.
    void changesAtOneMinute_data()
    {
        addDownloadColumns();
        // Two changes at every full hour from 01:00 to 20:00, the card out at 21:00: the second of each pair holds.
        const auto hourly = [](Act first, Act second) {
            QList<VuActivityChange> changes;
            for (int hour = 1; hour <= 20; ++hour)
                changes += slotChanges({{60 * hour, first}, {60 * hour, second}});
            return download(true, {1}, {changes + slotChanges({{1260, Act::NoCard}})});
        };
        const QString driving = u"classification/drivingMinutes"_s;
        addDownload("card: work, then driving at each hour", {}, hourly(Act::Work, Act::Drive), driving, 1200);
        addDownload("card: driving, then work at each hour", {}, hourly(Act::Drive, Act::Work), driving, 0);
        addDownload("card-gen2-anon.ddd: changes at one minute in the file's order", u"card-gen2-anon.ddd"_s, {},
            driving, 44040);
    }

    void changesAtOneMinute() { compareDownloadFigure(); }

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
        QVERIFY2(firstNegative(analysis).isEmpty(), qPrintable(firstNegative(analysis)));

        // The changes analysed: a vehicle unit's driver slot, all of a card's.
        QVariantList analysed;
        for (const QVariant &row : report.activityChanges) {
            if (report.fileType != DddFileType::Tachograph || row.toMap().value(u"slot"_s) == u"Водитель"_s)
                analysed.append(row);
        }

        // One analysed day per day key of the analysed changes, and every one of them in its day.
        QSet<QString> dayKeys;
        for (const QVariant &row : std::as_const(analysed))
            dayKeys.insert(row.toMap().value(u"activityDailyPresenceCounter1"_s).toString());
        const QVariantList days = analysis.value(u"workingHours"_s).toList();
        QCOMPARE(days.size(), dayKeys.size());
        QCOMPARE(report.totalDays, days.size());
        QCOMPARE(days.size(), expectedActivityDays(sampleName));

        // Every activity lasts until the next change and the last one until midnight, so a day whose changes
        // all carry a time is accounted from its first change to 24:00.
        const QHash<QString, int> firstMinutes = firstMinutesOfTimedDays(analysed);
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
        QCOMPARE(changes, analysed.size());

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

QTEST_GUILESS_MAIN(TestActivityAnalyzer)
#include "tst_activity_analyzer.moc"
