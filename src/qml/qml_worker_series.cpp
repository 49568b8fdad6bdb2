#include "qml_worker_series.h"

#include <QThread>
#include <QThreadPool>

#include <utility>

namespace tessaron::qml {

// What one build works on; the worker and this object share nothing else.
struct QmlWorkerSeries::Build
{
    std::atomic_bool stop {false};
    QVariantList rows; // taken over by the worker when it starts
    int shape = 0;
};

QmlWorkerSeries::QmlWorkerSeries(QObject *parent)
    : QObject(parent)
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(180);
    connect(&m_pause, &QTimer::timeout, this, &QmlWorkerSeries::startBuild);
}

QmlWorkerSeries::~QmlWorkerSeries()
{
    abandonBuild();
    for (QThread *worker : std::as_const(m_workers)) {
        worker->wait();
        delete worker;
    }
    releaseOffThisThread(m_rows);
}

void QmlWorkerSeries::setRows(const QVariantList &rows)
{
    if (rows.constData() == m_rows.constData() && rows.size() == m_rows.size())
        return;
    releaseOffThisThread(m_rows);
    m_rows = rows;
    abandonBuild();
    m_hasSeries = false;
    clearSeries();
    Q_EMIT seriesChanged();
    Q_EMIT inputChanged();
    scheduleBuild();
}

void QmlWorkerSeries::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    Q_EMIT inputChanged();
    scheduleBuild();
}

void QmlWorkerSeries::shapeChanged()
{
    Q_EMIT inputChanged();
    scheduleBuild();
}

bool QmlWorkerSeries::seriesFitsInputs() const
{
    return m_hasSeries && m_seriesShape == shape();
}

void QmlWorkerSeries::scheduleBuild()
{
    if (seriesFitsInputs()) {
        abandonBuild();
        m_pause.stop();
        setBuilding(false);
        return;
    }
    if (m_build && m_build->shape != shape())
        abandonBuild();
    if (!m_active) {
        m_pause.stop();
        setBuilding(false);
        return;
    }
    setBuilding(true);
    m_pause.start();
}

void QmlWorkerSeries::startBuild()
{
    const int wanted = shape();
    if (!m_active || seriesFitsInputs() || (m_build && m_build->shape == wanted))
        return;
    auto build = std::make_shared<Build>();
    build->rows = m_rows;
    build->shape = wanted;
    m_build = build;
    QThread *worker = QThread::create([series = this, build, compute = computation(wanted), pause = m_handBackPause] {
        // Taken over here, so that when this is the last reference the rows are freed on this thread.
        const QVariantList rows = std::exchange(build->rows, {});
        const QVariant result = compute(rows, build->stop);
        if (build->stop)
            return;
        if (pause)
            pause();
        QMetaObject::invokeMethod(
            series, [series, build, result] { series->deliver(build, result); }, Qt::QueuedConnection);
    });
    m_workers.append(worker);
    connect(worker, &QThread::finished, this, [this, worker] {
        m_workers.removeOne(worker);
        worker->deleteLater();
    });
    worker->start();
}

void QmlWorkerSeries::deliver(const std::shared_ptr<Build> &build, const QVariant &series)
{
    // A build abandoned after its worker last looked at its stop flag still hands its result back.
    if (build != m_build)
        return;
    m_build.reset();
    m_seriesShape = build->shape;
    m_hasSeries = true;
    takeSeries(series);
    Q_EMIT seriesChanged();
    scheduleBuild();
}

void QmlWorkerSeries::abandonBuild()
{
    if (m_build) {
        m_build->stop = true;
        m_build.reset();
    }
}

void QmlWorkerSeries::setBuilding(bool building)
{
    if (building == m_building)
        return;
    m_building = building;
    Q_EMIT buildingChanged();
}

void QmlWorkerSeries::releaseOffThisThread(QVariantList &rows)
{
    if (rows.isEmpty())
        return;
    QThreadPool::globalInstance()->start([held = std::exchange(rows, {})]() mutable { held = {}; });
}

} // namespace tessaron::qml
