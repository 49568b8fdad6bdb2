#include "activity_analyzer.h"

#include "activity_conditions.h"
#include "activity_events.h"
#include "checked_growth.h"
#include "ddd_decoder.h"
#include "ddd_readers.h"
#include "row_template.h"

#include <QStringList>

#include <algorithm>
#include <climits>

namespace tessaron::ddd {

using activity::ActivityKind;
using activity::DayData;
using activity::Event;
using activity::minutesPerDay;

namespace {

constexpr int shortBreakBound = 15;
constexpr int longBreakBound = 30;
constexpr int workSessionBound = 240;
constexpr int continuousDrivingLimit = 270;
constexpr int drivingBreak = 45; // the break that ends a driving run
constexpr int drivingBreakFirstPart = 15; // or a break of 15 followed by one of 30
constexpr int drivingBreakSecondPart = 30;
constexpr int dailyDrivingLimit = 540; // also the daily card time above which overtime counts
constexpr int weeklyDrivingLimit = 3360;
constexpr int twoWeekDrivingLimit = 5400;
constexpr int dailyRestBound = 660;
constexpr int weeklyRestBound = 2700;
constexpr int nightBefore = 360;
constexpr int nightAfter = 1319;

// Everything measured over the days, before it becomes messages and scores. Sums are 64-bit and every figure
// is clamped into int only when it leaves, so no total can wrap to a negative value.
struct Measures
{
    QStringList tooShortBreaks;
    QStringList tooLongWorkSessions;
    QStringList shortBreaks;
    QStringList longBreaks;
    qint64 totalShortBreakMinutes = 0;
    qint64 totalLongBreakMinutes = 0;
    qint64 maxContinuousDriving = 0;
    qint64 dailyRestAverage = 0;
    bool has11HourRestViolation = false;
    bool dailyRestReduced = false;
    qint64 weeklyRest = 0;
    bool weeklyRestReduced = false;
    bool hasSplitRest = false;
    qint64 dailyDriving = 0;
    qint64 weeklyDriving = 0;
    qint64 twoWeekDriving = 0;
    qint64 totalOvertimeMinutes = 0;
    int nightWorkSessions = 0;
    qint64 workSessionSum = 0;
    qint64 workSessionCount = 0;
    qint64 breakSum = 0;
    qint64 breakCount = 0;
    qint64 totalWorkMinutes = 0;
    qint64 totalRestMinutes = 0;
    qint64 totalAvailableMinutes = 0;
    qint64 totalUnknownMinutes = 0;
    qint64 totalDrivingMinutes = 0;
    qint64 totalWorkActivityMinutes = 0;
    qint64 totalRestActivityMinutes = 0;
};

int clampedInt(qint64 value)
{
    return int(std::clamp<qint64>(value, 0, INT_MAX));
}

QString minutesText(qint64 minutes)
{
    return formatMinutes(clampedInt(minutes));
}

void addMinutes(int &counter, int minutes)
{
    counter = counter > INT_MAX - minutes ? INT_MAX : counter + minutes;
}

// A minute on the 24-hour clock. Decoded rows always hold one; a row without a readable time may carry any
// count in "minutes", which is read as the time of day it names (1470 is 00:30, -30 is 23:30).
int clockMinute(int minute)
{
    const int wrapped = minute % minutesPerDay;
    return wrapped < 0 ? wrapped + minutesPerDay : wrapped;
}

// How long one change lasted: the distance forward on the clock to the next change, so a day that runs past
// midnight still gives a positive length and no pair of minutes gives a negative one.
int intervalMinutes(int from, int to)
{
    const qint64 difference = (qint64(to) - qint64(from)) % minutesPerDay;
    return int(difference < 0 ? difference + minutesPerDay : difference);
}

// Calendar days one apart. A card's presence counter counts only the days the card was used, so counters one
// apart may lie weeks apart; only a day without a date falls back to its order key.
bool areConsecutive(const DayData &earlier, const DayData &later)
{
    if (earlier.date.isValid() && later.date.isValid())
        return earlier.date.daysTo(later.date) == 1;
    return qint64(later.events.constFirst().dayOrder) - qint64(earlier.events.constFirst().dayOrder) == 1;
}

// Calls visit(event, minutes, next) for every interval of the day: from each change to the next, and from the
// last change to midnight, since an activity holds until the next change and a day's record ends at 24:00.
// next is null for that last interval. A day that already ran past midnight (an untimed change read as the
// next morning) gets no time after its last change.
template<typename Visit> void forEachInterval(const DayData &day, Visit visit)
{
    const QList<Event> &events = day.events;
    qint64 position = clockMinute(events.constFirst().minute);
    for (qsizetype i = 0; i + 1 < events.size(); ++i) {
        const int d = intervalMinutes(events.at(i).minute, events.at(i + 1).minute);
        visit(events.at(i), d, &events.at(i + 1));
        position += d;
    }
    if (position < minutesPerDay)
        visit(events.constLast(), int(minutesPerDay - position), static_cast<const Event *>(nullptr));
}

// Continuous driving as the driving-time rules count it: driving adds to the run, other work neither adds to
// it nor ends it, and a break (rest with the card, or time without it, taken as a whole) ends it when it lasts
// 45 minutes, or 30 after an earlier break of 15 in the same run. The run goes on over midnight into a
// consecutive day.
struct DrivingRun
{
    qint64 driving = 0;
    qint64 pause = 0;
    bool pauseEndedRun = false;
    bool firstPartTaken = false; // a break of 15 minutes or more already lies in this run

    void reset() { *this = DrivingRun(); }

    void add(const Event &event, int d, Measures &m)
    {
        const bool isBreak = !event.cardInserted || event.kind == ActivityKind::Rest;
        if (isBreak) {
            pause += d;
            if (!pauseEndedRun && (pause >= drivingBreak || (firstPartTaken && pause >= drivingBreakSecondPart))) {
                driving = 0;
                firstPartTaken = false;
                pauseEndedRun = true;
            }
            return;
        }
        if (pause > 0) {
            if (!pauseEndedRun && pause >= drivingBreakFirstPart)
                firstPartTaken = true;
            pause = 0;
            pauseEndedRun = false;
        }
        if (event.kind == ActivityKind::Driving) {
            driving += d;
            m.maxContinuousDriving = std::max(m.maxContinuousDriving, driving);
        }
    }
};

// Fills the day's counters and adds the day's runs to the measures: card and cardless time, activity kinds,
// too short breaks and too long card runs, continuous driving, short and long breaks, work sessions and breaks.
// A run still open at midnight is judged by none of the break and session rules.
void accountDay(DayData &day, DrivingRun &drivingRun, Measures &m)
{
    int restRun = 0;
    int workRun = 0;
    int session = 0;
    int pause = 0;

    forEachInterval(day, [&](const Event &event, int d, const Event *next) {
        const bool cardNext = next && next->cardInserted;
        const bool cardlessNext = next && !next->cardInserted;
        drivingRun.add(event, d, m);

        if (event.cardInserted) {
            addMinutes(day.workMinutes, d);
            switch (event.kind) {
            case ActivityKind::Available:
                addMinutes(day.availableMinutes, d);
                break;
            case ActivityKind::Driving:
                addMinutes(day.drivingMinutes, d);
                break;
            case ActivityKind::Work:
                addMinutes(day.workActivityMinutes, d);
                break;
            case ActivityKind::Rest:
                addMinutes(day.restActivityMinutes, d);
                break;
            case ActivityKind::Unknown:
                break;
            }
            if (day.workStart < 0)
                day.workStart = clockMinute(event.minute);
            day.workEnd = next ? clockMinute(next->minute) : minutesPerDay;

            addMinutes(workRun, d);
            restRun = 0;
            if (workRun > workSessionBound && cardlessNext)
                m.tooLongWorkSessions.append(formatMinutes(workRun));

            addMinutes(session, d);
            if (cardlessNext) {
                m.workSessionSum += session;
                ++m.workSessionCount;
                session = 0;
            }
        } else {
            addMinutes(day.restMinutes, d);
            if (event.unknownActivity)
                addMinutes(day.unknownMinutes, d);

            addMinutes(restRun, d);
            workRun = 0;
            if (restRun < shortBreakBound && cardNext)
                m.tooShortBreaks.append(formatMinutes(restRun));

            if (cardNext) {
                if (d >= shortBreakBound && d <= longBreakBound) {
                    m.shortBreaks.append(formatMinutes(d));
                    m.totalShortBreakMinutes += d;
                } else if (d > longBreakBound) {
                    m.longBreaks.append(formatMinutes(d));
                    m.totalLongBreakMinutes += d;
                }
            }

            addMinutes(pause, d);
            if (cardNext) {
                m.breakSum += pause;
                ++m.breakCount;
                pause = 0;
            }
        }
    });
    if (session > 0) {
        m.workSessionSum += session;
        ++m.workSessionCount;
    }

    for (const Event &event : std::as_const(day.events)) {
        if (event.manual)
            ++day.manualInputCount;
        if (event.ferryOrTrain)
            ++day.specificConditionCount;
        if (event.cardInserted && (event.minute < nightBefore || event.minute > nightAfter))
            m.hasSplitRest = true;
    }

    m.totalWorkMinutes += day.workMinutes;
    m.totalRestMinutes += day.restMinutes;
    m.totalAvailableMinutes += day.availableMinutes;
    m.totalUnknownMinutes += day.unknownMinutes;
    m.totalDrivingMinutes += day.drivingMinutes;
    m.totalWorkActivityMinutes += day.workActivityMinutes;
    m.totalRestActivityMinutes += day.restActivityMinutes;
}

// Rests between neighbouring days whose keys are one apart: from the last card time of one day to the first
// card time of the next.
void measureDailyRest(const QList<DayData> &days, Measures &m)
{
    qint64 sum = 0;
    qint64 count = 0;
    for (qsizetype k = 0; k + 1 < days.size(); ++k) {
        const DayData &day = days.at(k);
        const DayData &nextDay = days.at(k + 1);
        if (day.workEnd < 0 || nextDay.workStart < 0 || !areConsecutive(day, nextDay))
            continue;
        const int rest = nextDay.workStart + minutesPerDay - day.workEnd;
        if (rest < dailyRestBound)
            m.has11HourRestViolation = true;
        if (rest > 0) {
            sum += rest;
            ++count;
        }
    }
    if (count > 0) {
        m.dailyRestAverage = sum / count;
        m.dailyRestReduced = m.dailyRestAverage < dailyRestBound;
    }
}

// The weekly rest of the first seven days, when they are consecutive and the first and the last have card
// time: the longest stretch without a card between the first card time of the first day and the last card
// time of the seventh. The days are laid end to end, 1440 minutes apart, each starting at its first change
// and running on through its intervals, so a rest that spans whole days without card time counts whole.
qint64 longestCardlessStretch(const QList<DayData> &days, qsizetype dayCount)
{
    qint64 longest = 0;
    qint64 lastCardEnd = -1;
    for (qsizetype j = 0; j < dayCount; ++j) {
        const DayData &day = days.at(j);
        qint64 position = qint64(j) * minutesPerDay + clockMinute(day.events.constFirst().minute);
        forEachInterval(day, [&](const Event &event, int d, const Event *) {
            if (event.cardInserted) {
                if (lastCardEnd >= 0 && position > lastCardEnd)
                    longest = std::max(longest, position - lastCardEnd);
                lastCardEnd = std::max(lastCardEnd, position + d);
            }
            position += d;
        });
    }
    return longest;
}

void measureWeeklyRest(const QList<DayData> &days, Measures &m)
{
    constexpr qsizetype weekDays = 7;
    if (days.size() < weekDays || days.at(0).workStart < 0 || days.at(weekDays - 1).workEnd < 0)
        return;
    for (qsizetype k = 1; k < weekDays; ++k) {
        if (!areConsecutive(days.at(k - 1), days.at(k)))
            return;
    }
    m.weeklyRest = longestCardlessStretch(days, weekDays);
    m.weeklyRestReduced = m.weeklyRest < weeklyRestBound;
}

void measureTotals(const QList<DayData> &days, Measures &m)
{
    for (qsizetype k = 0; k < days.size(); ++k) {
        const DayData &day = days.at(k);
        m.dailyDriving = std::max<qint64>(m.dailyDriving, day.drivingMinutes);
        if (k < 7)
            m.weeklyDriving += day.drivingMinutes;
        if (k < 14)
            m.twoWeekDriving += day.drivingMinutes;
        if (day.workMinutes > dailyDrivingLimit)
            m.totalOvertimeMinutes += day.workMinutes - dailyDrivingLimit;
        if (day.workStart >= 0 && (day.workStart < nightBefore || day.workStart > nightAfter))
            ++m.nightWorkSessions;
    }
}

QVariantMap workingHoursEntry(const DayData &day)
{
    // One entry a day, months of days a card: keys made once.
    static const RowTemplate entry {
        QStringLiteral("dayNumber"),
        QStringLiteral("dayKey"),
        QStringLiteral("workTime"),
        QStringLiteral("restTime"),
        QStringLiteral("availableTime"),
        QStringLiteral("unknownTime"),
        QStringLiteral("workStart"),
        QStringLiteral("workEnd"),
        QStringLiteral("activityChangesCount"),
        QStringLiteral("workMinutes"),
        QStringLiteral("restMinutes"),
        QStringLiteral("availableMinutes"),
        QStringLiteral("unknownMinutes"),
        QStringLiteral("drivingMinutes"),
        QStringLiteral("workActivityMinutes"),
        QStringLiteral("restActivityMinutes"),
        QStringLiteral("manualInputCount"),
        QStringLiteral("specificConditionCount"),
    };
    const bool hasCardTime = day.workStart >= 0;
    return entry.row(day.dayKey, day.dayKey, formatMinutes(day.workMinutes), formatMinutes(day.restMinutes),
        formatMinutes(day.availableMinutes), formatMinutes(day.unknownMinutes),
        hasCardTime ? formatMinutes(day.workStart) : QString(), hasCardTime ? formatMinutes(day.workEnd) : QString(),
        qint64(day.events.size()), day.workMinutes, day.restMinutes, day.availableMinutes, day.unknownMinutes,
        day.drivingMinutes, day.workActivityMinutes, day.restActivityMinutes, day.manualInputCount,
        day.specificConditionCount);
}

QString lowEfficiencyText()
{
    return QStringLiteral("Низкая эффективность вождения. Рассмотрите оптимизацию маршрутов.");
}

QVariantMap emptyResult(const QVariantMap &conditions)
{
    const QString zero = formatMinutes(0);
    return {
        {QStringLiteral("workingHours"), QVariantList()},
        {QStringLiteral("violations"),
            QVariantMap {
                {QStringLiteral("tooShortBreaks"), QStringList()},
                {QStringLiteral("tooShortBreakCount"), qint64(0)},
                {QStringLiteral("tooLongWorkSessions"), QStringList()},
                {QStringLiteral("totalOvertime"), zero},
                {QStringLiteral("totalOvertimeMinutes"), 0},
                {QStringLiteral("nightWorkSessions"), 0},
                {QStringLiteral("has11HourRestViolation"), false},
                {QStringLiteral("items"), QStringList()},
            }},
        {QStringLiteral("drivingCycles"),
            QVariantMap {
                {QStringLiteral("dailyDrivingTime"), zero},
                {QStringLiteral("dailyLimitExceeded"), false},
                {QStringLiteral("weeklyDrivingTime"), zero},
                {QStringLiteral("weeklyLimitExceeded"), false},
                {QStringLiteral("biWeeklyDrivingTime"), zero},
                {QStringLiteral("biWeeklyLimitExceeded"), false},
                {QStringLiteral("maxContinuousDriving"), zero},
                {QStringLiteral("limit4_5HourExceeded"), false},
            }},
        {QStringLiteral("restBreaks"),
            QVariantMap {
                {QStringLiteral("shortBreaks"), QStringList()},
                {QStringLiteral("shortBreakCount"), qint64(0)},
                {QStringLiteral("totalShortBreakTime"), zero},
                {QStringLiteral("longBreaks"), QStringList()},
                {QStringLiteral("totalLongBreakTime"), zero},
                {QStringLiteral("dailyRest"), zero},
                {QStringLiteral("dailyRestReduced"), false},
                {QStringLiteral("weeklyRest"), zero},
                {QStringLiteral("weeklyRestReduced"), false},
                {QStringLiteral("hasSplitRest"), false},
            }},
        {QStringLiteral("efficiency"),
            QVariantMap {
                {QStringLiteral("utilizationRate"), 0.0},
                {QStringLiteral("drivingEfficiency"), 0.0},
                {QStringLiteral("sessionCount"), qint64(0)},
                {QStringLiteral("averageWorkSession"), zero},
                {QStringLiteral("averageBreak"), zero},
                {QStringLiteral("totalWorkMinutes"), 0},
                {QStringLiteral("totalRestMinutes"), 0},
                {QStringLiteral("totalWorkTime"), zero},
                {QStringLiteral("totalRestTime"), zero},
            }},
        {QStringLiteral("classification"), QVariantMap()},
        {QStringLiteral("conditions"), conditions},
        {QStringLiteral("compliance"),
            QVariantMap {
                {QStringLiteral("isCompliant"), false},
                {QStringLiteral("overallScore"), 0},
                {QStringLiteral("dailyDrivingScore"), 0},
                {QStringLiteral("restBreaksScore"), 0},
                {QStringLiteral("weeklyRestScore"), 0},
                {QStringLiteral("warnings"), QStringList()},
                {QStringLiteral("violations"), QStringList()},
                {QStringLiteral("recommendations"), QStringList()},
            }},
    };
}

QVariantMap resultOf(const QList<DayData> &days, const Measures &m, const QVariantMap &conditions)
{
    QVariantList workingHours;
    reserveChecked(workingHours, days.size());
    for (const DayData &day : days)
        workingHours.append(workingHoursEntry(day));

    QStringList violationItems;
    if (m.dailyDriving > dailyDrivingLimit)
        violationItems.append(
            QStringLiteral("Превышен дневной лимит вождения: %1 > 9:00").arg(minutesText(m.dailyDriving)));
    if (m.weeklyDriving > weeklyDrivingLimit)
        violationItems.append(
            QStringLiteral("Превышен недельный лимит вождения: %1 > 56:00").arg(minutesText(m.weeklyDriving)));
    if (m.maxContinuousDriving > continuousDrivingLimit)
        violationItems.append(
            QStringLiteral("Превышено непрерывное вождение: %1 > 4:30").arg(minutesText(m.maxContinuousDriving)));
    if (m.dailyRestReduced)
        violationItems.append(
            QStringLiteral("Недостаточный ежедневный отдых: %1 < 11:00").arg(minutesText(m.dailyRestAverage)));
    if (m.weeklyRestReduced)
        violationItems.append(
            QStringLiteral("Недостаточный еженедельный отдых: %1 < 45:00").arg(minutesText(m.weeklyRest)));
    if (!m.tooShortBreaks.isEmpty())
        violationItems.append(QStringLiteral("Найдено %1 перерывов короче 15 минут").arg(m.tooShortBreaks.size()));

    QStringList warnings;
    if (m.totalOvertimeMinutes > 0)
        warnings.append(QStringLiteral("Общее сверхурочное время: %1").arg(minutesText(m.totalOvertimeMinutes)));
    if (m.nightWorkSessions > 0)
        warnings.append(QStringLiteral("Ночных рабочих сессий: %1").arg(m.nightWorkSessions));

    const qint64 cardTime = m.totalWorkMinutes;
    const qint64 cardlessTime = m.totalRestMinutes;
    double utilizationRate = 0.0;
    double drivingEfficiency = 0.0;
    QStringList recommendations;
    if (cardTime <= 0) {
        recommendations.append(lowEfficiencyText());
    } else {
        utilizationRate = double(cardTime) * 100.0 / double(std::max<qint64>(cardTime + cardlessTime, 1));
        drivingEfficiency = double(cardTime - m.totalAvailableMinutes) * 100.0 / double(cardTime);
        if (utilizationRate > 80.0)
            recommendations.append(QStringLiteral("Высокая загрузка. Рекомендуется увеличить время отдыха."));
        if (drivingEfficiency < 60.0)
            recommendations.append(lowEfficiencyText());
    }

    const qint64 tooShortBreakCount = m.tooShortBreaks.size();
    const int dailyDrivingScore = m.dailyDriving <= dailyDrivingLimit ? 100 : 50;
    const qint64 restBreaksBase = m.maxContinuousDriving <= continuousDrivingLimit ? 100 : 70;
    const int restBreaksScore = clampedInt(restBreaksBase - 10 * tooShortBreakCount);
    const int weeklyRestScore = m.weeklyRestReduced ? 60 : 100;
    const int overallScore = (dailyDrivingScore + restBreaksScore + weeklyRestScore) / 3;

    const QVariantMap classification {
        {QStringLiteral("drivingMinutes"), clampedInt(m.totalDrivingMinutes)},
        {QStringLiteral("workMinutes"), clampedInt(m.totalWorkActivityMinutes)},
        {QStringLiteral("availabilityMinutes"), clampedInt(m.totalAvailableMinutes)},
        {QStringLiteral("restMinutes"), clampedInt(m.totalRestActivityMinutes)},
        {QStringLiteral("unknownMinutes"), clampedInt(m.totalUnknownMinutes)},
        {QStringLiteral("cardRestMinutes"), clampedInt(m.totalRestMinutes)},
        {QStringLiteral("manualInputCount"), conditions.value(QStringLiteral("manualInputCount")).toInt()},
        {QStringLiteral("ferryTrainMinutes"), conditions.value(QStringLiteral("ferryTrainMinutes")).toInt()},
    };

    return {
        {QStringLiteral("workingHours"), workingHours},
        {QStringLiteral("violations"),
            QVariantMap {
                {QStringLiteral("tooShortBreaks"), m.tooShortBreaks},
                {QStringLiteral("tooShortBreakCount"), tooShortBreakCount},
                {QStringLiteral("tooLongWorkSessions"), m.tooLongWorkSessions},
                {QStringLiteral("totalOvertime"), minutesText(m.totalOvertimeMinutes)},
                {QStringLiteral("totalOvertimeMinutes"), clampedInt(m.totalOvertimeMinutes)},
                {QStringLiteral("nightWorkSessions"), m.nightWorkSessions},
                {QStringLiteral("has11HourRestViolation"), m.has11HourRestViolation},
                {QStringLiteral("items"), violationItems},
            }},
        {QStringLiteral("drivingCycles"),
            QVariantMap {
                {QStringLiteral("dailyDrivingTime"), minutesText(m.dailyDriving)},
                {QStringLiteral("dailyLimitExceeded"), m.dailyDriving > dailyDrivingLimit},
                {QStringLiteral("weeklyDrivingTime"), minutesText(m.weeklyDriving)},
                {QStringLiteral("weeklyLimitExceeded"), m.weeklyDriving > weeklyDrivingLimit},
                {QStringLiteral("biWeeklyDrivingTime"), minutesText(m.twoWeekDriving)},
                {QStringLiteral("biWeeklyLimitExceeded"), m.twoWeekDriving > twoWeekDrivingLimit},
                {QStringLiteral("maxContinuousDriving"), minutesText(m.maxContinuousDriving)},
                {QStringLiteral("limit4_5HourExceeded"), m.maxContinuousDriving > continuousDrivingLimit},
            }},
        {QStringLiteral("restBreaks"),
            QVariantMap {
                {QStringLiteral("shortBreaks"), m.shortBreaks},
                {QStringLiteral("shortBreakCount"), qint64(m.shortBreaks.size())},
                {QStringLiteral("totalShortBreakTime"), minutesText(m.totalShortBreakMinutes)},
                {QStringLiteral("longBreaks"), m.longBreaks},
                {QStringLiteral("totalLongBreakTime"), minutesText(m.totalLongBreakMinutes)},
                {QStringLiteral("dailyRest"), minutesText(m.dailyRestAverage)},
                {QStringLiteral("dailyRestReduced"), m.dailyRestReduced},
                {QStringLiteral("weeklyRest"), minutesText(m.weeklyRest)},
                {QStringLiteral("weeklyRestReduced"), m.weeklyRestReduced},
                {QStringLiteral("hasSplitRest"), m.hasSplitRest},
            }},
        {QStringLiteral("efficiency"),
            QVariantMap {
                {QStringLiteral("utilizationRate"), utilizationRate},
                {QStringLiteral("drivingEfficiency"), drivingEfficiency},
                {QStringLiteral("sessionCount"), m.workSessionCount},
                {QStringLiteral("averageWorkSession"),
                    minutesText(m.workSessionCount > 0 ? m.workSessionSum / m.workSessionCount : 0)},
                {QStringLiteral("averageBreak"), minutesText(m.breakCount > 0 ? m.breakSum / m.breakCount : 0)},
                {QStringLiteral("totalWorkMinutes"), clampedInt(cardTime)},
                {QStringLiteral("totalRestMinutes"), clampedInt(cardlessTime)},
                {QStringLiteral("totalWorkTime"), minutesText(cardTime)},
                {QStringLiteral("totalRestTime"), minutesText(cardlessTime)},
            }},
        {QStringLiteral("classification"), classification},
        {QStringLiteral("conditions"), conditions},
        {QStringLiteral("compliance"),
            QVariantMap {
                {QStringLiteral("isCompliant"), violationItems.isEmpty()},
                {QStringLiteral("overallScore"), overallScore},
                {QStringLiteral("dailyDrivingScore"), dailyDrivingScore},
                {QStringLiteral("restBreaksScore"), restBreaksScore},
                {QStringLiteral("weeklyRestScore"), weeklyRestScore},
                {QStringLiteral("warnings"), warnings},
                {QStringLiteral("violations"), violationItems},
                {QStringLiteral("recommendations"), recommendations},
            }},
    };
}

// Adds each row's day key and date ("dd.MM.yyyy"); a key given two different dates has none.
void addDayDates(
    CheckedHash<QString, QDate> &dates, const QVariantList &rows, const QString &keyName, const QString &dateName)
{
    QString lastKey;
    QString lastDate;
    for (const QVariant &value : rows) {
        const QVariantMap row = value.toMap();
        const QString key = row.value(keyName).toString();
        const QString dateText = row.value(dateName).toString().left(10);
        // A vehicle unit's day has a row per change, all with the same date.
        if (key == lastKey && dateText == lastDate)
            continue;
        lastKey = key;
        lastDate = dateText;
        const QDate date = QDate::fromString(dateText, QStringLiteral("dd.MM.yyyy"));
        if (key.isEmpty() || !date.isValid())
            continue;
        if (const auto [known, added] = dates.try_emplace(key, date); !added && known->second != date)
            known->second = QDate();
    }
}

void replaceAnalysis(DddReport &report)
{
    report.analysis = ActivityAnalyzer::analyze(
        report.activityChanges, report.cardIwData, report.specificConditions, ActivityAnalyzer::sourceOf(report));
    const QVariant workingHours = report.analysis.value(QStringLiteral("workingHours"));
    report.totalDays = workingHours.typeId() == QMetaType::QVariantList
        ? int(std::min<qsizetype>(workingHours.toList().size(), INT_MAX))
        : 0;
}

} // namespace

QVariantMap ActivityAnalyzer::analyze(const QVariantList &activityChanges, const QVariantList &cardIwData,
    const QVariantList &specificConditions, const ActivitySource &source)
{
    QList<Event> events = activity::makeEvents(activityChanges, source.driverSlotOnly);
    if (events.isEmpty())
        return emptyResult(activity::analyzeConditions(cardIwData, specificConditions));

    QList<DayData> days = activity::groupDays(std::move(events));
    for (DayData &day : days)
        day.date = valueOf(source.dayDates, day.dayKey);
    Measures measures;
    DrivingRun drivingRun;
    for (qsizetype k = 0; k < days.size(); ++k) {
        if (k > 0 && !areConsecutive(days.at(k - 1), days.at(k)))
            drivingRun.reset();
        accountDay(days[k], drivingRun, measures);
    }
    measureDailyRest(days, measures);
    measureWeeklyRest(days, measures);
    measureTotals(days, measures);

    return resultOf(days, measures, activity::analyzeConditions(cardIwData, specificConditions));
}

ActivitySource ActivityAnalyzer::sourceOf(const DddReport &report)
{
    // The keys the activity changes name their days by: a card's presence counter, a vehicle unit's day number.
    ActivitySource source;
    addDayDates(source.dayDates, report.activities, QStringLiteral("activityDailyPresenceCounter"),
        QStringLiteral("activityRecordDate"));
    addDayDates(source.dayDates, report.activityDaily, QStringLiteral("dayNo"), QStringLiteral("activityDate"));
    source.driverSlotOnly = report.fileType == DddFileType::Tachograph;
    return source;
}

void Decoder::buildAnalysis(DddReport &report)
{
    replaceAnalysis(report);
}

void Decoder::analyze(DddReport &report)
{
    replaceAnalysis(report);
}

} // namespace tessaron::ddd
