#include "qml_speed_series.h"

#include "ddd/checked_growth.h"
#include "ddd/speed_series.h"

#include <QDateTime>
#include <QTimeZone>
#include <QVariantMap>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tessaron::qml {

namespace {

// The points the chart draws, made on the worker: at most the bucket count of them, whatever the rows.
QVariantList pointsOf(const QList<ddd::SpeedBucket> &buckets)
{
    const QString labelKey = u"label"_s;
    const QString valueKey = u"value"_s;
    const QString minimumKey = u"min"_s;
    const QString maximumKey = u"max"_s;
    const QString timeKey = u"time"_s;
    QVariantList points;
    ddd::reserveChecked(points, buckets.size());
    for (const ddd::SpeedBucket &bucket : buckets) {
        const QString label = std::isnan(bucket.startTime)
            ? u"—"_s
            : QDateTime::fromMSecsSinceEpoch(qint64(bucket.startTime), QTimeZone::utc())
                  .toString(u"dd.MM.yyyy HH:mm"_s);
        points.append(QVariantMap {{labelKey, label}, {valueKey, bucket.mean}, {minimumKey, bucket.minimum},
            {maximumKey, bucket.maximum}, {timeKey, bucket.startTime}});
    }
    return points;
}

} // namespace

QmlSpeedSeries::QmlSpeedSeries(QObject *parent)
    : QmlWorkerSeries(parent)
{ }

void QmlSpeedSeries::setChartWidth(double width)
{
    if (width == m_chartWidth)
        return;
    m_chartWidth = width;
    shapeChanged();
}

void QmlSpeedSeries::setZoom(double zoom)
{
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    shapeChanged();
}

int QmlSpeedSeries::shape() const
{
    return ddd::speedBucketCount(m_chartWidth, m_zoom);
}

QmlWorkerSeries::Computation QmlSpeedSeries::computation(int shape) const
{
    return [bucketCount = shape](const QVariantList &rows, const std::atomic_bool &stop) {
        const ddd::SpeedSeries built = ddd::speedSeries(rows, bucketCount, &stop);
        return QVariant(QVariantMap {{u"points"_s, pointsOf(built.buckets)}, {u"sampleCount"_s, built.sampleCount},
            {u"bucketCount"_s, built.bucketCount}, {u"bucketSize"_s, built.bucketSize}});
    };
}

void QmlSpeedSeries::takeSeries(const QVariant &series)
{
    const QVariantMap built = series.toMap();
    m_points = built.value(u"points"_s).toList();
    m_sampleCount = built.value(u"sampleCount"_s).toLongLong();
    m_bucketCount = built.value(u"bucketCount"_s).toInt();
    m_bucketSize = built.value(u"bucketSize"_s).toLongLong();
}

void QmlSpeedSeries::clearSeries()
{
    m_points.clear();
    m_sampleCount = 0;
}

} // namespace tessaron::qml
