#pragma once

// The detailed speed as a chart draws it: one-second speeds gathered into buckets that keep their mean and their
// range, so that a month of speeds fits a chart's width and short peaks survive. The page's chart and the PDF's
// both bucket through here.

#include <QList>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <limits>

namespace tessaron::ddd {

// One run of consecutive speeds.
struct SpeedBucket
{
    qint64 firstSample = 0; // position of its first speed among all speeds added
    // Its first speed's time, milliseconds since 1970 UTC; NaN when its block has no valid start.
    double startTime = std::numeric_limits<double>::quiet_NaN();
    double mean = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
};

// Takes speeds in turn and closes a bucket after every `size` of them (at least 1); finish() closes the last,
// shorter one.
class SpeedBucketer
{
public:
    explicit SpeedBucketer(qint64 size);
    void add(double speed, double time);
    QList<SpeedBucket> finish();

private:
    qint64 m_size;
    qint64 m_added = 0;
    qint64 m_inBucket = 0;
    double m_sum = 0.0;
    SpeedBucket m_open;
    QList<SpeedBucket> m_buckets;
};

// The finite numbers of a detailed-speed row, in order, negative ones included (each chart decides what a
// negative speed means). The values are the row's "speedValues", or "speedsPerSecond" when that is missing,
// null, an empty text or an empty list; a list gives its items, a text beginning with "[" the items of its
// JSON array, any other text (or a JSON text that gives none) its parts between runs of commas, semicolons and
// white space. An item that is a number is taken as it is; any other is read from its trimmed text with a
// decimal comma read as a point; what does not read as a finite number is skipped.
QList<double> speedRowValues(const QVariantMap &row);

// A finite number from a number, or from a text with a decimal comma or point (trimmed); NaN for anything else,
// a boolean included.
double chartNumber(const QVariant &value);

// How many buckets the page's chart draws at that width (pixels) and zoom: one per 1.6 pixels, 180 to 1200.
int speedBucketCount(double width, double zoom);

// The page's speed chart.
struct SpeedSeries
{
    QList<SpeedBucket> buckets;
    qint64 sampleCount = 0; // the samples the rows declare
    int bucketCount = 0;
    qint64 bucketSize = 1;
};

// The page's speed series of detailed-speed rows: rows in order of their "speedBlockBeginDate"
// ("dd.MM.yyyy H:mm:ss", read as UTC; rows without a valid one last; ties by position); each row's values, a
// negative one as 0, timed one second apart from its start, or, for a row without values, its "averageSpeed"
// once. Samples declared per row: its "validSpeedCount" when that is a number of 0 or more, else its number of
// values, else 1 when it has a valid average. Buckets hold ceil(max(declared, added) / bucketCount) samples, so
// there are at most bucketCount. When *stop turns true the walk ends early with an empty series.
SpeedSeries speedSeries(const QVariantList &rows, int bucketCount, const std::atomic_bool *stop = nullptr);

// "dd.MM.yyyy H:mm:ss" (day, month and hour with one or two digits, blanks around) as milliseconds since 1970
// UTC; NaN for any other text or an impossible date or time.
double speedBlockStart(const QString &text);

} // namespace tessaron::ddd
