#pragma once

#include <QList>
#include <QString>
#include <QVariantList>

namespace tessaron::ddd {

struct DddReport;

// One stretch of driving: a vehicle a card was used in, or a day of a vehicle unit.
struct DrivenDistance
{
    QString label; // the vehicle's registration, or the day's number
    qint64 kilometres = 0;
};

// What the report says was driven, in the report's own order: one entry per vehicles row with a distance; a
// report without vehicles rows (a vehicle unit) gives one entry per day whose positive midnight odometer reading
// is not below the one of the day before it with a reading, labelled with that later day (a reading is taken at
// the end of its day). Unset readings (0) and readings above 9,999,999 km, which no odometer shows, are skipped;
// a reading below the one before starts over from it.
// The page's and the PDF's mileage charts draw this, and its sum is the report's total.
QList<DrivenDistance> drivenDistances(const DddReport &report);

// The sum of drivenDistances, at most the largest value the report database's TotalDistanceKm column holds;
// never negative; 0 for a report without any.
qint64 totalDrivenDistance(const DddReport &report);

// Sets the report's totalDistanceKm to totalDrivenDistance, at most the largest value it holds (a crafted card
// of 200 vehicles could pass it).
void fillTotalDistance(DddReport &report);

// drivenDistances as maps {label, value} for the page.
QVariantList drivenDistanceRows(const DddReport &report);

} // namespace tessaron::ddd
