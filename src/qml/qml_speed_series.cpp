#include "qml_speed_series.h"

#include "ddd/speed_series.h"

#include <QDateTime>
#include <QThread>
#include <QThreadPool>
#include <QTimeZone>

#include <cmath>
#include <utility>

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
    points.reserve(buckets.size());
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

// What one build works on; the worker and this object share nothing else.
struct QmlSpeedSeries::Build
{
    std::atomic_bool stop {false};
    QVariantList rows; // taken over by the worker when it starts
    int bucketCount = 0;
};

QmlSpeedSeries::QmlSpeedSeries(QObject *parent)
    : QObject(parent)
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(180);
    connect(&m_pause, &QTimer::timeout, this, &QmlSpeedSeries::startBuild);
}

QmlSpeedSeries::~QmlSpeedSeries()
{
    abandonBuild();
    for (QThread *worker : std::as_const(m_workers)) {
        worker->wait();
        delete worker;
    }
    releaseOffThisThread(m_rows);
}

void QmlSpeedSeries::setRows(const QVariantList &rows)
{
    if (rows.constData() == m_rows.constData() && rows.size() == m_rows.size())
        return;
    releaseOffThisThread(m_rows);
    m_rows = rows;
    abandonBuild();
    m_hasSeries = false;
    m_points.clear();
    m_sampleCount = 0;
    Q_EMIT seriesChanged();
    Q_EMIT inputChanged();
    scheduleBuild();
}

void QmlSpeedSeries::setChartWidth(double width)
{
    if (width == m_chartWidth)
        return;
    m_chartWidth = width;
    Q_EMIT inputChanged();
    scheduleBuild();
}

void QmlSpeedSeries::setZoom(double zoom)
{
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    Q_EMIT inputChanged();
    scheduleBuild();
}

void QmlSpeedSeries::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    Q_EMIT inputChanged();
    scheduleBuild();
}

bool QmlSpeedSeries::seriesFitsInputs() const
{
    return m_hasSeries && m_bucketCount == ddd::speedBucketCount(m_chartWidth, m_zoom);
}

void QmlSpeedSeries::scheduleBuild()
{
    if (seriesFitsInputs()) {
        abandonBuild();
        m_pause.stop();
        setBuilding(false);
        return;
    }
    if (m_build && m_build->bucketCount != ddd::speedBucketCount(m_chartWidth, m_zoom))
        abandonBuild();
    if (!m_active) {
        m_pause.stop();
        setBuilding(false);
        return;
    }
    setBuilding(true);
    m_pause.start();
}

void QmlSpeedSeries::startBuild()
{
    const int bucketCount = ddd::speedBucketCount(m_chartWidth, m_zoom);
    if (!m_active || seriesFitsInputs() || (m_build && m_build->bucketCount == bucketCount))
        return;
    auto build = std::make_shared<Build>();
    build->rows = m_rows;
    build->bucketCount = bucketCount;
    m_build = build;
    QThread *worker = QThread::create([series = this, build] {
        // Taken over here, so that when this is the last reference the rows are freed on this thread.
        const QVariantList rows = std::exchange(build->rows, {});
        const ddd::SpeedSeries built = ddd::speedSeries(rows, build->bucketCount, &build->stop);
        if (build->stop)
            return;
        QMetaObject::invokeMethod(
            series,
            [series, build, points = pointsOf(built.buckets), built] {
                series->deliver(build, points, built.sampleCount, built.bucketCount, built.bucketSize);
            },
            Qt::QueuedConnection);
    });
    m_workers.append(worker);
    connect(worker, &QThread::finished, this, [this, worker] {
        m_workers.removeOne(worker);
        worker->deleteLater();
    });
    worker->start();
}

void QmlSpeedSeries::deliver(const std::shared_ptr<Build> &build, const QVariantList &points, qint64 sampleCount,
    int bucketCount, qint64 bucketSize)
{
    if (build != m_build)
        return;
    m_build.reset();
    m_points = points;
    m_sampleCount = sampleCount;
    m_bucketCount = bucketCount;
    m_bucketSize = bucketSize;
    m_hasSeries = true;
    Q_EMIT seriesChanged();
    scheduleBuild();
}

void QmlSpeedSeries::abandonBuild()
{
    if (m_build) {
        m_build->stop = true;
        m_build.reset();
    }
}

void QmlSpeedSeries::setBuilding(bool building)
{
    if (building == m_building)
        return;
    m_building = building;
    Q_EMIT buildingChanged();
}

void QmlSpeedSeries::releaseOffThisThread(QVariantList &rows)
{
    if (rows.isEmpty())
        return;
    QThreadPool::globalInstance()->start([held = std::exchange(rows, {})]() mutable { held = {}; });
}

} // namespace tessaron::qml
