#include "speed_series.h"

#include "checked_growth.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringView>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr int minimumBuckets = 180;
constexpr int maximumBuckets = 1200;
constexpr double pixelsPerBucket = 1.6;

bool isList(const QVariant &value)
{
    const int type = value.typeId();
    return type == QMetaType::QVariantList || type == QMetaType::QStringList;
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

bool isBlank(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return true;
    if (isList(value))
        return value.toList().isEmpty();
    return value.toString().isEmpty();
}

bool isSeparator(QChar c)
{
    return c == u',' || c == u';' || c.isSpace();
}

// The parts of a text between runs of commas, semicolons and white space.
QVariantList separatedParts(QStringView text)
{
    QVariantList parts;
    qsizetype begin = 0;
    while (begin < text.size()) {
        while (begin < text.size() && isSeparator(text.at(begin)))
            ++begin;
        qsizetype end = begin;
        while (end < text.size() && !isSeparator(text.at(end)))
            ++end;
        if (end > begin)
            parts.append(text.mid(begin, end - begin).toString());
        begin = end;
    }
    return parts;
}

QVariantList speedItems(const QVariant &source)
{
    if (isList(source))
        return source.toList();
    const QString text = source.toString().trimmed();
    if (text.startsWith(u'[')) {
        const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
        if (document.isArray() && !document.array().isEmpty())
            return document.array().toVariantList();
    }
    return separatedParts(text);
}

// Reads one to `most` decimal digits at *position.
bool readDigits(QStringView text, qsizetype *position, int least, int most, int *value)
{
    int count = 0;
    int number = 0;
    while (
        *position < text.size() && count < most && text.at(*position).isDigit() && text.at(*position).unicode() < 128) {
        number = number * 10 + (text.at(*position).unicode() - u'0');
        ++*position;
        ++count;
    }
    *value = number;
    return count >= least;
}

bool readChar(QStringView text, qsizetype *position, char16_t expected)
{
    if (*position >= text.size() || text.at(*position) != expected)
        return false;
    ++*position;
    return true;
}

struct SpeedBlock
{
    qsizetype position = 0;
    double start = nan;
    double average = nan;
    qsizetype valueCount = 0;
};

bool stopped(const std::atomic_bool *stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

} // namespace

double chartNumber(const QVariant &value)
{
    if (!value.isValid() || value.isNull() || value.typeId() == QMetaType::Bool)
        return nan;
    if (isNumber(value)) {
        const double number = value.toDouble();
        return std::isfinite(number) ? number : nan;
    }
    QString text = value.toString().trimmed();
    if (text.isEmpty())
        return nan;
    text.replace(u',', u'.');
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok && std::isfinite(number) ? number : nan;
}

SpeedBucketer::SpeedBucketer(qint64 size)
    : m_size(std::max<qint64>(size, 1))
{ }

void SpeedBucketer::add(double speed, double time)
{
    if (m_inBucket == 0) {
        m_open = SpeedBucket {m_added, time, 0.0, speed, speed};
        m_sum = 0.0;
    }
    m_sum += speed;
    m_open.minimum = std::min(m_open.minimum, speed);
    m_open.maximum = std::max(m_open.maximum, speed);
    ++m_inBucket;
    ++m_added;
    if (m_inBucket == m_size) {
        m_open.mean = m_sum / double(m_inBucket);
        m_buckets.append(m_open);
        m_inBucket = 0;
    }
}

QList<SpeedBucket> SpeedBucketer::finish()
{
    if (m_inBucket > 0) {
        m_open.mean = m_sum / double(m_inBucket);
        m_buckets.append(m_open);
        m_inBucket = 0;
    }
    return std::exchange(m_buckets, {});
}

QList<double> speedRowValues(const QVariantMap &row)
{
    QVariant source = row.value(u"speedValues"_s);
    if (isBlank(source))
        source = row.value(u"speedsPerSecond"_s);
    QList<double> values;
    if (isBlank(source))
        return values;
    const QVariantList items = speedItems(source);
    reserveChecked(values, items.size());
    for (const QVariant &item : items) {
        const double value = chartNumber(item);
        if (!std::isnan(value))
            values.append(value);
    }
    return values;
}

int speedBucketCount(double width, double zoom)
{
    const double count = std::floor(width * zoom / pixelsPerBucket);
    if (!(count > minimumBuckets))
        return minimumBuckets;
    return count < maximumBuckets ? int(count) : maximumBuckets;
}

double speedBlockStart(const QString &text)
{
    const QStringView view = QStringView(text).trimmed();
    qsizetype at = 0;
    int day = 0;
    int month = 0;
    int year = 0;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    if (!readDigits(view, &at, 1, 2, &day) || !readChar(view, &at, u'.') || !readDigits(view, &at, 1, 2, &month)
        || !readChar(view, &at, u'.') || !readDigits(view, &at, 4, 4, &year))
        return nan;
    const qsizetype blanks = at;
    while (at < view.size() && view.at(at).isSpace())
        ++at;
    if (at == blanks || !readDigits(view, &at, 1, 2, &hours) || !readChar(view, &at, u':')
        || !readDigits(view, &at, 2, 2, &minutes) || !readChar(view, &at, u':')
        || !readDigits(view, &at, 2, 2, &seconds) || at != view.size())
        return nan;
    const QDate date(year, month, day);
    if (!date.isValid() || hours > 23 || minutes > 59 || seconds > 59)
        return nan;
    constexpr qint64 unixEpochJulianDay = 2440588;
    const qint64 secondsOfDay = (qint64(hours) * 60 + minutes) * 60 + seconds;
    return double(((date.toJulianDay() - unixEpochJulianDay) * 86400 + secondsOfDay) * 1000);
}

SpeedSeries speedSeries(const QVariantList &rows, int bucketCount, const std::atomic_bool *stop)
{
    const QString beginKey = u"speedBlockBeginDate"_s;
    const QString averageKey = u"averageSpeed"_s;
    const QString declaredKey = u"validSpeedCount"_s;

    std::vector<SpeedBlock> blocks;
    reserveChecked(blocks, rows.size());
    qint64 declared = 0;
    qint64 added = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (stopped(stop))
            return {};
        const QVariantMap row = rows.at(i).toMap();
        SpeedBlock block {i, speedBlockStart(row.value(beginKey).toString()), chartNumber(row.value(averageKey)),
            speedRowValues(row).size()};
        const double count = chartNumber(row.value(declaredKey));
        if (count >= 0.0)
            declared += qint64(std::min(count, 1e15));
        else if (block.valueCount > 0)
            declared += block.valueCount;
        else if (!std::isnan(block.average))
            declared += 1;
        added += block.valueCount > 0 ? block.valueCount : (std::isnan(block.average) ? 0 : 1);
        blocks.push_back(block);
    }
    std::stable_sort(blocks.begin(), blocks.end(), [](const SpeedBlock &a, const SpeedBlock &b) {
        const bool aDated = !std::isnan(a.start);
        const bool bDated = !std::isnan(b.start);
        if (aDated != bDated)
            return aDated;
        return aDated && a.start < b.start;
    });

    SpeedSeries series;
    series.sampleCount = declared;
    series.bucketCount = std::max(bucketCount, 1);
    const qint64 samples = std::max(declared, added);
    series.bucketSize = std::max<qint64>(1, (samples + series.bucketCount - 1) / series.bucketCount);
    SpeedBucketer bucketer(series.bucketSize);
    for (const SpeedBlock &block : blocks) {
        if (stopped(stop))
            return {};
        if (block.valueCount == 0) {
            if (!std::isnan(block.average))
                bucketer.add(std::max(block.average, 0.0), block.start);
            continue;
        }
        const QList<double> values = speedRowValues(rows.at(block.position).toMap());
        for (qsizetype k = 0; k < values.size(); ++k)
            bucketer.add(std::max(values.at(k), 0.0), block.start + double(k) * 1000.0);
    }
    series.buckets = bucketer.finish();
    return series;
}

} // namespace tessaron::ddd
