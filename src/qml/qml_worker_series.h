#pragma once

#include <QList>
#include <QObject>
#include <QTimer>
#include <QVariant>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

class QThread;

namespace tessaron::qml {

// A chart's series computed from a report's rows away from the GUI thread: a month of rows joined many times
// over is tens of thousands of activity changes or millions of speeds, and walking them where the window is drawn
// would freeze it. The chart gives the rows it takes from the page; 180 ms after the last change of the inputs
// (while active) a worker gets a copy of the rows (a shared list, no walk) and a stop flag, computes, and hands
// the result back through a queued call. A change that makes a build's result unwanted stops it. New rows empty
// the series at once; a change of another input (the series' shape) keeps the old series shown until the new one
// comes. A build that runs out of memory (its computation, or the thread it needs) hands back no series: the
// series is empty and failed. That failure answers only the request it was built for: the next request (an input set
// again, the same rows included; the series switched on again; tryAgain()) builds anew after the usual pause, and
// requests made within that pause or while that build runs join it. Nothing else starts a build, so while memory
// stays short a failed series costs one build per request and none of its own.
class QmlWorkerSeries : public QObject
{
    Q_OBJECT
    QML_ANONYMOUS

    Q_PROPERTY(QVariantList rows READ rows WRITE setRows NOTIFY inputChanged)
    Q_PROPERTY(bool active READ isActive WRITE setActive NOTIFY inputChanged)
    Q_PROPERTY(bool building READ isBuilding NOTIFY buildingChanged)
    Q_PROPERTY(bool failed READ hasFailed NOTIFY seriesChanged)

public:
    // Stops the builds in flight and waits for them (each checks its stop flag at every row).
    ~QmlWorkerSeries() override;

    QVariantList rows() const { return m_rows; }
    // Rows are told apart by their list's identity, never compared element by element: QML hands the same
    // list over again at every change of the page's state, and comparing a month of rows would be a walk. The same
    // list given again is a request only to a series that failed (see tryAgain).
    void setRows(const QVariantList &rows);
    bool isActive() const { return m_active; }
    void setActive(bool active);
    // True from a change that needs a new series until that series is here.
    bool isBuilding() const { return m_building; }
    // True when the last build for the current rows ran out of memory: the series is empty, not a series of none.
    // It stays true while that series is tried again, until a build hands back a series.
    bool hasFailed() const { return m_failed; }
    // The chart was chosen again: a series that failed for want of memory is built anew; any other is kept.
    Q_INVOKABLE void tryAgain();
    // Run on the worker of every build started from now on, once its result is made and still wanted, just
    // before it is handed back. Tests hold a build there: new inputs then make unwanted a result already on its
    // way, a moment no timing reaches for sure; or they throw std::bad_alloc there, as the computation does when
    // memory runs out. Empty runs nothing.
    void setHandBackPauseForTesting(std::function<void()> pause) { m_handBackPause = std::move(pause); }

Q_SIGNALS:
    void inputChanged();
    void seriesChanged();
    void buildingChanged();

protected:
    explicit QmlWorkerSeries(QObject *parent = nullptr);

    // Runs on a worker with its own copy of the rows; returns early when stop turns true. It must hold
    // everything it needs by value: the object that made it may be gone before it ends.
    using Computation = std::function<QVariant(const QVariantList &rows, const std::atomic_bool &stop)>;

    // The inputs besides the rows the series depends on, as one number: equal shapes, equal series.
    virtual int shape() const { return 0; }
    virtual Computation computation(int shape) const = 0;
    // On this object's thread: a computation's result for the current rows, or the series emptied for new rows.
    virtual void takeSeries(const QVariant &series) = 0;
    virtual void clearSeries() = 0;

    // After a change of an input that shape() reads.
    void shapeChanged();

private:
    struct Build;
    // After an input change: abandons a build that no longer fits and restarts the pause before the next.
    void scheduleBuild();
    bool seriesFitsInputs() const;
    void startBuild();
    // Starts a worker on a build of that shape; false when no thread could be made for it. Throws std::bad_alloc
    // when there is no memory for the build's own state.
    bool launchBuild(int shape);
    void deliver(const std::shared_ptr<Build> &build, const QVariant &series);
    // After a worker that ended without handing its result back: when that build was still wanted, it failed.
    void workerEnded(QThread *worker, const std::shared_ptr<Build> &build);
    // The build of that shape ran out of memory: no series, and no new try until the next request.
    void fail(int shape);
    void abandonBuild();
    void setBuilding(bool building);
    // Drops this object's reference to rows on a pool thread: it may be the last one, and freeing a month of
    // rows takes long enough to be seen.
    static void releaseOffThisThread(QVariantList &rows);

    QVariantList m_rows;
    bool m_active = false;
    bool m_hasSeries = false; // the series is of the current rows
    bool m_failed = false; // the build for the current rows and m_seriesShape ran out of memory
    bool m_failureStands = false; // m_failed is the answer to the inputs until the next request
    int m_seriesShape = 0;
    bool m_building = false;
    QTimer m_pause;
    std::shared_ptr<Build> m_build; // the build whose result is wanted, if any
    std::function<void()> m_handBackPause;
    QList<QThread *> m_workers;
};

} // namespace tessaron::qml
