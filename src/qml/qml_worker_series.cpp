#include "qml_worker_series.h"

#include <QThread>
#include <QThreadPool>

#include <memory>
#include <new>
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
    if (rows.constData() == m_rows.constData() && rows.size() == m_rows.size()) {
        tryAgain();
        return;
    }
    releaseOffThisThread(m_rows);
    m_rows = rows;
    abandonBuild();
    m_hasSeries = false;
    m_failed = false;
    m_failureStands = false;
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
    if (active)
        m_failureStands = false;
    Q_EMIT inputChanged();
    scheduleBuild();
}

void QmlWorkerSeries::tryAgain()
{
    if (!m_failureStands)
        return;
    m_failureStands = false;
    scheduleBuild();
}

void QmlWorkerSeries::shapeChanged()
{
    m_failureStands = false;
    Q_EMIT inputChanged();
    scheduleBuild();
}

bool QmlWorkerSeries::seriesFitsInputs() const
{
    return (m_hasSeries || m_failureStands) && m_seriesShape == shape();
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
    // Making a build takes memory of its own (its state, its thread's stack), which may be what ran out.
    bool launched = false;
    try {
        launched = launchBuild(wanted);
    } catch (const std::bad_alloc &) {
        launched = false;
    }
    if (!launched)
        fail(wanted);
}

bool QmlWorkerSeries::launchBuild(int shape)
{
    auto build = std::make_shared<Build>();
    build->rows = m_rows;
    build->shape = shape;
    m_build = build;
    std::unique_ptr<QThread> made(
        QThread::create([series = this, build, compute = computation(shape), pause = m_handBackPause] {
            // Taken over here, so that when this is the last reference the rows are freed on this thread.
            const QVariantList rows = std::exchange(build->rows, {});
            // Nothing may leave a thread but through its end. A build that ran out of memory hands nothing back,
            // which the series reads, once the thread has ended, as its failure.
            try {
                const QVariant result = compute(rows, build->stop);
                if (build->stop)
                    return;
                if (pause)
                    pause();
                QMetaObject::invokeMethod(
                    series, [series, build, result] { series->deliver(build, result); }, Qt::QueuedConnection);
            } catch (const std::bad_alloc &) { }
        }));
    m_workers.append(made.get());
    QThread *worker = made.release();
    // Queued behind the hand-back the worker posted before it ended.
    connect(worker, &QThread::finished, this, [this, worker, build] { workerEnded(worker, build); });
    worker->start();
    // A thread the system could not make (no room left for its stack) neither runs nor ever finishes.
    if (worker->isRunning() || worker->isFinished())
        return true;
    m_workers.removeOne(worker);
    delete worker;
    return false;
}

void QmlWorkerSeries::workerEnded(QThread *worker, const std::shared_ptr<Build> &build)
{
    m_workers.removeOne(worker);
    worker->deleteLater();
    if (build == m_build)
        fail(build->shape);
}

void QmlWorkerSeries::fail(int shape)
{
    abandonBuild();
    m_hasSeries = false;
    m_failed = true;
    m_failureStands = true;
    m_seriesShape = shape;
    clearSeries();
    Q_EMIT seriesChanged();
    scheduleBuild();
}

void QmlWorkerSeries::deliver(const std::shared_ptr<Build> &build, const QVariant &series)
{
    // A build abandoned after its worker last looked at its stop flag still hands its result back.
    if (build != m_build)
        return;
    m_build.reset();
    m_seriesShape = build->shape;
    m_hasSeries = true;
    m_failed = false;
    m_failureStands = false;
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
