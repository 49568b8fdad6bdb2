#pragma once

// Internal to the activity analyzer: the manual card insertion/withdrawal records and the specific conditions
// (out of scope, ferry/train crossings) as the analysis reports them under "conditions".

#include "activity_events.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace tessaron::ddd::activity {

// The eight-key conditions map: manual records of cardIwData, all specific conditions, and the ferry/train
// rows with the closed crossings (begin, end, minutes) and their total minutes.
QVariantMap analyzeConditions(const QVariantList &cardIwData, const QVariantList &specificConditions);

// The condition text of a row ("specificConditionType", "conditionType" or "type"); empty when it has none.
QString conditionName(const RowFields &row);

// The row is a ferry/train crossing, by its words or by the codes 3 and 4.
bool isFerryOrTrain(const RowFields &row);

} // namespace tessaron::ddd::activity
