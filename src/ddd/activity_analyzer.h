#pragma once

#include "checked_growth.h"

#include <QDate>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace tessaron::ddd {

struct DddReport;

// What the analysis learns of a download beside its activity changes.
struct ActivitySource
{
    // The calendar date of each day key of the activity changes. Two days are consecutive when their dates are
    // one day apart; only when either lacks a date here do their order keys decide (one apart).
    CheckedHash<QString, QDate> dayDates;
    // A vehicle unit records the co-driver slot as a timeline of its own beside the driver's: only the driver
    // slot is analysed. A card's rows are all its holder's, whatever slot they name.
    bool driverSlotOnly = false;
};

// Judges a driver's working and rest times, as recorded by the activity changes of one decoded report, against
// the daily, weekly and two-weekly limits. Pure and static: no state, safe on any thread.
class ActivityAnalyzer
{
public:
    ActivityAnalyzer() = delete;

    // The analysis map stored with every report: "workingHours" (one map per day), "violations",
    // "drivingCycles", "restBreaks", "efficiency", "classification", "conditions" and "compliance". Rows are
    // read by key, a missing key as an empty value, so odd rows yield zero figures, never a failure. Without
    // activity changes every key is still present with zero values (and an empty "classification"), while
    // "conditions" still summarises cardIwData and specificConditions; the same holds when source leaves none of
    // the rows (a vehicle unit whose driver slot recorded nothing).
    static QVariantMap analyze(const QVariantList &activityChanges, const QVariantList &cardIwData,
        const QVariantList &specificConditions, const ActivitySource &source = {});

    // The source of a decoded report: the dates of a card's daily activity records by presence counter and of
    // a vehicle unit's day blocks by day number; for a vehicle unit the driver slot alone. A day key that two
    // rows date differently, or whose date cannot be read, gets no date.
    static ActivitySource sourceOf(const DddReport &report);
};

} // namespace tessaron::ddd
