#pragma once

#include "ddd/activity_chart.h"
#include "qml_worker_series.h"

namespace tessaron::qml {

// The activity chart's series (ddd::activityChart): its day lanes, and the counts {label, value} of changes per
// day (bars, lines, points, areas) and per activity (the pie). A month joined many times over has thousands of
// days; the chart takes only the lanes it shows, so what it does per paint does not grow with the file.
class QmlActivitySeries : public QmlWorkerSeries
{
    Q_OBJECT
    QML_NAMED_ELEMENT(DddActivitySeries)

    Q_PROPERTY(int laneCount READ laneCount NOTIFY seriesChanged)
    Q_PROPERTY(QVariantList dayCounts READ dayCounts NOTIFY seriesChanged)
    Q_PROPERTY(QVariantList activityCounts READ activityCounts NOTIFY seriesChanged)

public:
    explicit QmlActivitySeries(QObject *parent = nullptr);

    int laneCount() const { return int(m_lanes.size()); }
    // The lanes from `first` on, at most `count` of them: {key, segments: [{start, end, color}]}, minutes
    // 0..1440.
    Q_INVOKABLE QVariantList lanesFrom(int first, int count) const;
    QVariantList dayCounts() const { return m_dayCounts; }
    QVariantList activityCounts() const { return m_activityCounts; }

protected:
    Computation computation(int shape) const override;
    void takeSeries(const QVariant &series) override;
    void clearSeries() override;

private:
    QList<ddd::ActivityLane> m_lanes;
    QVariantList m_dayCounts;
    QVariantList m_activityCounts;
};

} // namespace tessaron::qml
