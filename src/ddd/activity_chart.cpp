#include "activity_chart.h"

#include "checked_growth.h"
#include "speed_series.h"

#include <algorithm>
#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

namespace {

constexpr double minutesPerDay = 1440.0;

bool isBlank(const QVariant &value)
{
    return !value.isValid() || value.isNull() || value.toString().isEmpty();
}

QString dayOf(const QVariantMap &row)
{
    for (const QLatin1StringView key : {"day"_L1, "dayNo"_L1, "activityDailyPresenceCounter1"_L1}) {
        const QVariant value = row.value(key);
        if (!isBlank(value))
            return value.toString();
    }
    return {};
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isWholeNumber(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), isAsciiDigit);
}

// Digits from *position on, as a number; false when there are none.
bool readNumber(const QString &text, qsizetype *position, double *number)
{
    const qsizetype start = *position;
    double value = 0.0;
    while (*position < text.size() && isAsciiDigit(text.at(*position)))
        value = value * 10.0 + (text.at((*position)++).unicode() - u'0');
    *number = value;
    return *position > start;
}

// The "hours:minutes" a text begins with (blanks before it allowed) as minutes.
bool clockMinute(const QString &text, double *minute)
{
    qsizetype position = 0;
    while (position < text.size() && text.at(position).isSpace())
        ++position;
    double hours = 0.0;
    double minutes = 0.0;
    if (!readNumber(text, &position, &hours) || position >= text.size() || text.at(position++) != u':'
        || !readNumber(text, &position, &minutes))
        return false;
    *minute = hours * 60.0 + minutes;
    return true;
}

// Whole-number keys by value, then the others in the locale's order.
bool dayKeyBefore(const QString &a, const QString &b)
{
    const bool aNumber = isWholeNumber(a);
    const bool bNumber = isWholeNumber(b);
    if (aNumber != bNumber)
        return aNumber;
    if (aNumber) {
        const double difference = a.toDouble() - b.toDouble();
        if (difference != 0.0)
            return difference < 0.0;
    }
    return QString::localeAwareCompare(a, b) < 0;
}

bool isCountingNumber(const QString &text)
{
    return isWholeNumber(text) && (text.size() == 1 || text.front() != u'0');
}

// Tallies keys in the order they first appear.
class Tally
{
public:
    void add(const QString &key)
    {
        if (const auto [found, added] = m_positions.try_emplace(key, m_counts.size()); !added) {
            ++m_counts[found->second].count;
            return;
        }
        m_counts.append({key, 1});
    }

    QList<ActivityCount> ordered() const
    {
        QList<ActivityCount> numbers;
        QList<ActivityCount> others;
        for (const ActivityCount &count : m_counts)
            (isCountingNumber(count.label) ? numbers : others).append(count);
        std::stable_sort(numbers.begin(), numbers.end(),
            [](const ActivityCount &a, const ActivityCount &b) { return a.label.toDouble() < b.label.toDouble(); });
        return numbers + others;
    }

private:
    CheckedHash<QString, qsizetype> m_positions;
    QList<ActivityCount> m_counts;
};

struct Change
{
    double minute = 0.0;
    qsizetype position = 0;
    QString color;
};

} // namespace

QString activityColor(const QVariantMap &row)
{
    static const QString drive = u"#1877c9"_s;
    static const QString work = u"#2e9d54"_s;
    static const QString available = u"#e0a21b"_s;
    static const QString rest = u"#4d9de0"_s;
    static const QString noCard = u"#a8a8a8"_s;
    static const QString other = u"#777777"_s;
    const QVariant activityValue = row.value(u"activity"_s);
    const QString activity = isBlank(activityValue) ? QString() : activityValue.toString().toLower();
    const auto mentions = [&activity](std::initializer_list<QStringView> words) {
        return std::any_of(
            words.begin(), words.end(), [&activity](QStringView word) { return activity.contains(word); });
    };
    if (mentions({u"drive", u"вож"}))
        return drive;
    if (mentions({u"work", u"работ"}))
        return work;
    if (mentions({u"avail", u"готов", u"доступ"}))
        return available;
    if (mentions({u"rest", u"отдых", u"перерыв"}))
        return rest;
    const QVariant statusValue = row.value(u"cardStatus"_s);
    const QString status = isBlank(statusValue) ? QString() : statusValue.toString().toLower();
    if (status.contains(u"not") || status.contains(u"не"))
        return noCard;
    return other;
}

double activityMinute(const QVariantMap &row)
{
    const double minutes = chartNumber(row.value(u"minutes"_s));
    if (std::isfinite(minutes))
        return minutes;
    for (const QLatin1StringView key : {"time"_L1, "timeOfChange"_L1}) {
        const QVariant value = row.value(key);
        double minute = 0.0;
        if (!isBlank(value) && clockMinute(value.toString(), &minute))
            return minute;
    }
    return 0.0;
}

ActivityChart activityChart(const QVariantList &rows, const std::atomic_bool *stop)
{
    const QString activityKey = u"activity"_s;
    CheckedHash<QString, qsizetype> laneOfDay;
    QStringList days;
    std::vector<std::vector<Change>> changes;
    Tally dayCounts;
    Tally activityCounts;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (stop && *stop)
            return {};
        const QVariantMap row = rows.at(i).toMap();
        const QString day = dayOf(row);
        const QString lane = day.isEmpty() ? u"0"_s : day;
        const auto [found, added] = laneOfDay.try_emplace(lane, days.size());
        if (added) {
            days.append(lane);
            changes.emplace_back();
        }
        changes[size_t(found->second)].push_back({activityMinute(row), i, activityColor(row)});
        dayCounts.add(day.isEmpty() ? QString::number(i + 1) : day);
        const QVariant activity = row.value(activityKey);
        activityCounts.add(isBlank(activity) ? u"—"_s : activity.toString());
    }

    std::vector<qsizetype> order(days.size());
    for (qsizetype i = 0; i < days.size(); ++i)
        order[i] = i;
    std::stable_sort(
        order.begin(), order.end(), [&days](qsizetype a, qsizetype b) { return dayKeyBefore(days.at(a), days.at(b)); });

    ActivityChart chart;
    reserveChecked(chart.lanes, days.size());
    const auto clamp = [](double minute) { return std::clamp(minute, 0.0, minutesPerDay); };
    for (const qsizetype index : order) {
        if (stop && *stop)
            return {};
        std::vector<Change> &entries = changes[index];
        std::stable_sort(
            entries.begin(), entries.end(), [](const Change &a, const Change &b) { return a.minute < b.minute; });
        ActivityLane lane {days.at(index), {}};
        reserveChecked(lane.segments, qsizetype(entries.size()));
        for (std::size_t j = 0; j < entries.size(); ++j) {
            const double end = j + 1 < entries.size() ? clamp(entries[j + 1].minute) : minutesPerDay;
            lane.segments.append({clamp(entries[j].minute), end, entries[j].color});
        }
        chart.lanes.append(std::move(lane));
    }
    chart.dayCounts = dayCounts.ordered();
    chart.activityCounts = activityCounts.ordered();
    return chart;
}

} // namespace tessaron::ddd
