#pragma once

#include <QVariantList>
#include <QVariantMap>

namespace tessaron::ddd {

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
    // "conditions" still summarises cardIwData and specificConditions.
    static QVariantMap analyze(
        const QVariantList &activityChanges, const QVariantList &cardIwData, const QVariantList &specificConditions);
};

} // namespace tessaron::ddd
