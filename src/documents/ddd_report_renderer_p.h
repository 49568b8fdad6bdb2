#pragma once

// Internals of the DDD PDF report shared by the renderer's sources and its tests: the analysis pages, the
// charts and the value-to-text helpers. Not part of the documents API.

#include "documents/report_painter.h"

#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

namespace tessaron::ddd {
struct DddReport;
}

namespace tessaron::documents {

using KeyNames = QList<QLatin1StringView>;

// Whether the value holds a list of values or of texts.
bool isList(const QVariant &value);

// The option's value as texts: a string list (a single text is a list of one), else each value's text.
QStringList optionList(const QVariantMap &options, const QString &name);
// Whether the section key is selected: always without options or without "sections"; otherwise when the list
// holds "all" or the key, compared exactly.
bool includes(const QVariantMap &options, const QString &key);

// Display text of any value: empty for none or null, list items joined by ", ", map entries "key: value" in key
// order joined by "; ", a double as decimalText, else the value's plain text.
QString scalarText(const QVariant &value);
// A number as the report shows it: rounded to one decimal, with the Russian decimal comma, and without a decimal
// when it rounds to a whole number ("23,4", "24"); the stored value keeps its precision.
QString decimalText(double value);
QString mapText(const QVariantMap &map, const QString &key);
// One cell per row: the row's entries as scalarText "key: value" in key order, joined by "; ".
QList<QStringList> genericRows(const QVariantList &rows);
// One cell per key: empty for a missing key, a list's items' plain texts joined by ", ", else the plain text.
QList<QStringList> rowsFor(const QVariantList &rows, const KeyNames &keys);

// The summary, the per-day working table and the compliance messages of an analysis map; nothing for an empty
// map. Missing keys read as empty values.
void addAnalysis(ReportPainter &painter, const QVariantMap &analysis);

// The first of the keys the row holds decides: a list's item texts joined by ", ", else the plain text; empty
// when the row holds none of them.
QString rowValue(const QVariantMap &row, const KeyNames &keys);
// The first key whose trimmed text (a decimal comma read as a point) is a finite number; fallback when none is.
double numericValue(const QVariantMap &row, const KeyNames &keys, double fallback);
// How counted categories follow each other: by their labels' UTF-16 code units, or as the rows first name them
// (days, which the report lists in their own order and whose numbers as texts would put day 10 before day 2).
enum class CategoryOrder { Label, FirstRow };
// Rows counted per rowValue label ("—" for a blank one), in the given order.
QList<ChartPoint> categoryCounts(
    const QVariantList &rows, const KeyNames &keys, CategoryOrder order = CategoryOrder::Label);
// Every detailed speed of the report (ddd::speedRowValues, the page's chart reads the same) that is 0 or more,
// in row and value order.
QList<double> speedSamples(const ddd::DddReport &report);
// At most 800 points: consecutive runs of ceil(n / 800) speeds bucketed as the page's chart buckets them
// (ddd::SpeedBucketer), each its mean with its range, labelled by the index of its first speed.
QList<ChartPoint> speedBuckets(const QList<double> &speeds);
// One bar per driven distance of the report (ddd::drivenDistances), in its order.
QList<ChartPoint> mileagePoints(const ddd::DddReport &report);
// One point per day row with an odometer reading of 0 or more.
QList<ChartPoint> odometerPoints(const QVariantList &dayInformation);
// Hours of each analysed day, read from its "hhh:mm" work time (0 when it has none).
QList<ChartPoint> workingTimePoints(const QVariantList &workingHours);

// The charts listed under the option "graphs", each at most once, in the fixed chart order; a chart without
// points is left out.
void addRequestedCharts(ReportPainter &painter, const ddd::DddReport &report, const QVariantMap &options);

} // namespace tessaron::documents
