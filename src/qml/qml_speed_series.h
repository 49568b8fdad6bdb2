#pragma once

#include <QList>
#include <QObject>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <atomic>
#include <memory>

class QThread;

namespace tessaron::qml {

// The speed chart's series, built away from the GUI thread: a month of one-second speeds joined many times
// over is millions of values, and walking them where the window is drawn would freeze it. The chart gives the
// rows it takes from the page, its width and its zoom; 180 ms after the last change (while active) a worker
// buckets the rows (ddd::speedSeries) into points {label, value, min, max, time} and hands them back through a
// queued call. A change of rows, width or zoom abandons a build whose result would no longer be wanted; new rows
// empty the points at once, a new width or zoom keeps the old ones drawn until the new ones come.
class QmlSpeedSeries : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(DddSpeedSeries)

    Q_PROPERTY(QVariantList rows READ rows WRITE setRows NOTIFY inputChanged)
    Q_PROPERTY(double chartWidth READ chartWidth WRITE setChartWidth NOTIFY inputChanged)
    Q_PROPERTY(double zoom READ zoom WRITE setZoom NOTIFY inputChanged)
    Q_PROPERTY(bool active READ isActive WRITE setActive NOTIFY inputChanged)
    Q_PROPERTY(QVariantList points READ points NOTIFY seriesChanged)
    Q_PROPERTY(qint64 sampleCount READ sampleCount NOTIFY seriesChanged)
    Q_PROPERTY(int bucketCount READ bucketCount NOTIFY seriesChanged)
    Q_PROPERTY(qint64 bucketSize READ bucketSize NOTIFY seriesChanged)
    Q_PROPERTY(bool building READ isBuilding NOTIFY buildingChanged)

public:
    explicit QmlSpeedSeries(QObject *parent = nullptr);
    // Stops the builds in flight and waits for them (each checks its stop flag at every row).
    ~QmlSpeedSeries() override;

    QVariantList rows() const { return m_rows; }
    // Rows are told apart by their list's identity, never compared element by element: QML hands the same
    // list over again at every change of the page's state, and comparing a month of rows would be a walk.
    void setRows(const QVariantList &rows);
    double chartWidth() const { return m_chartWidth; }
    void setChartWidth(double width);
    double zoom() const { return m_zoom; }
    void setZoom(double zoom);
    bool isActive() const { return m_active; }
    void setActive(bool active);

    QVariantList points() const { return m_points; }
    qint64 sampleCount() const { return m_sampleCount; }
    int bucketCount() const { return m_bucketCount; }
    qint64 bucketSize() const { return m_bucketSize; }
    // True from a change that needs a new series until that series is here.
    bool isBuilding() const { return m_building; }

Q_SIGNALS:
    void inputChanged();
    void seriesChanged();
    void buildingChanged();

private:
    struct Build;
    // After an input change: abandons a build that no longer fits and restarts the pause before the next.
    void scheduleBuild();
    bool seriesFitsInputs() const;
    void startBuild();
    void deliver(const std::shared_ptr<Build> &build, const QVariantList &points, qint64 sampleCount, int bucketCount,
        qint64 bucketSize);
    void abandonBuild();
    void setBuilding(bool building);
    // Drops this object's reference to rows on a pool thread: it may be the last one, and freeing a month of
    // rows takes long enough to be seen.
    static void releaseOffThisThread(QVariantList &rows);

    QVariantList m_rows;
    double m_chartWidth = 0.0;
    double m_zoom = 1.0;
    bool m_active = false;
    QVariantList m_points;
    qint64 m_sampleCount = 0;
    int m_bucketCount = 0;
    qint64 m_bucketSize = 0;
    bool m_hasSeries = false; // the points are of the current rows
    bool m_building = false;
    QTimer m_pause;
    std::shared_ptr<Build> m_build; // the build whose result is wanted, if any
    QList<QThread *> m_workers;
};

} // namespace tessaron::qml
