#pragma once

// The activity chart as the page draws it: one lane per day with the activities of its changes across the 24
// hours, and the counts its bar and pie styles show. A month of changes joined many times over is tens of
// thousands of rows, so this is computed away from the window's thread.

#include <QList>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>

namespace tessaron::ddd {

// Minutes from midnight, 0 to 1440, in one activity's colour ("#rrggbb").
struct ActivitySegment
{
    double start = 0.0;
    double end = 0.0;
    QString color;
};

struct ActivityLane
{
    QString key;
    QList<ActivitySegment> segments;
};

struct ActivityCount
{
    QString label;
    qint64 count = 0;
};

struct ActivityChart
{
    QList<ActivityLane> lanes;
    QList<ActivityCount> dayCounts; // changes per day: the bar, line, point and area styles
    QList<ActivityCount> activityCounts; // changes per activity: the pie
};

// A row's colour by its "activity" (driving, work, availability, rest, in English or Russian, letter case
// ignored), else by a "cardStatus" that says no card was inserted, else a grey of its own.
QString activityColor(const QVariantMap &row);

// The minute of the day a change begins: its "minutes" when that reads as a number, else the hours and minutes
// that begin its "time" or "timeOfChange" ("8:05", "08:05:00"), else 0. Not clamped.
double activityMinute(const QVariantMap &row);

// The activity chart of activity rows. A row's day is its first non-blank "day", "dayNo" or
// "activityDailyPresenceCounter1". Lanes: days (a row without one in day "0") with whole-number keys first by
// value, the others after them in the locale's order; a day's changes by minute (ties by position), each painted
// up to the next one's minute and the last until the day ends, minutes clamped to 0..1440. Day counts: a row
// without a day counts under its position from 1. Activity counts: a blank activity counts under "—". Counts
// list keys that are whole numbers without leading zeros first, by value, the others after them in the order
// they first appear. When *stop turns true the walk ends early with an empty chart.
ActivityChart activityChart(const QVariantList &rows, const std::atomic_bool *stop = nullptr);

} // namespace tessaron::ddd
