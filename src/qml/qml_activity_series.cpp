#include "qml_activity_series.h"

#include "ddd/checked_growth.h"

#include <QVariantMap>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tessaron::qml {

namespace {

// What a worker hands back: the counts already as the chart reads them, at most one per day.
struct ActivityBuilt
{
    QList<ddd::ActivityLane> lanes;
    QVariantList dayCounts;
    QVariantList activityCounts;
};

QVariantList countsOf(const QList<ddd::ActivityCount> &counts)
{
    const QString labelKey = u"label"_s;
    const QString valueKey = u"value"_s;
    QVariantList points;
    ddd::reserveChecked(points, counts.size());
    for (const ddd::ActivityCount &count : counts)
        points.append(QVariantMap {{labelKey, count.label}, {valueKey, double(count.count)}});
    return points;
}

} // namespace

QmlActivitySeries::QmlActivitySeries(QObject *parent)
    : QmlWorkerSeries(parent)
{ }

QVariantList QmlActivitySeries::lanesFrom(int first, int count) const
{
    const QString startKey = u"start"_s;
    const QString endKey = u"end"_s;
    const QString colorKey = u"color"_s;
    QVariantList result;
    const qsizetype begin = std::clamp<qsizetype>(first, 0, m_lanes.size());
    const qsizetype end = std::clamp<qsizetype>(qsizetype(begin) + std::max(count, 0), begin, m_lanes.size());
    for (qsizetype i = begin; i < end; ++i) {
        const ddd::ActivityLane &lane = m_lanes.at(i);
        QVariantList segments;
        ddd::reserveChecked(segments, lane.segments.size());
        for (const ddd::ActivitySegment &segment : lane.segments)
            segments.append(QVariantMap {{startKey, segment.start}, {endKey, segment.end}, {colorKey, segment.color}});
        result.append(QVariantMap {{u"key"_s, lane.key}, {u"segments"_s, segments}});
    }
    return result;
}

QmlWorkerSeries::Computation QmlActivitySeries::computation(int) const
{
    return [](const QVariantList &rows, const std::atomic_bool &stop) {
        ddd::ActivityChart chart = ddd::activityChart(rows, &stop);
        return QVariant::fromValue(
            ActivityBuilt {std::move(chart.lanes), countsOf(chart.dayCounts), countsOf(chart.activityCounts)});
    };
}

void QmlActivitySeries::takeSeries(const QVariant &series)
{
    const auto built = series.value<ActivityBuilt>();
    m_lanes = built.lanes;
    m_dayCounts = built.dayCounts;
    m_activityCounts = built.activityCounts;
}

void QmlActivitySeries::clearSeries()
{
    m_lanes.clear();
    m_dayCounts.clear();
    m_activityCounts.clear();
}

} // namespace tessaron::qml
