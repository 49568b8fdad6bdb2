#pragma once

#include "qml_worker_series.h"

namespace tessaron::qml {

// The speed chart's series: a month of one-second speeds joined many times over is millions of values. Besides
// the rows it takes the chart's width and zoom; its worker buckets the rows (ddd::speedSeries) into points
// {label, value, min, max, time}. A new width or zoom keeps the old points drawn until the new ones come.
class QmlSpeedSeries : public QmlWorkerSeries
{
    Q_OBJECT
    QML_NAMED_ELEMENT(DddSpeedSeries)

    Q_PROPERTY(double chartWidth READ chartWidth WRITE setChartWidth NOTIFY inputChanged)
    Q_PROPERTY(double zoom READ zoom WRITE setZoom NOTIFY inputChanged)
    Q_PROPERTY(QVariantList points READ points NOTIFY seriesChanged)
    Q_PROPERTY(qint64 sampleCount READ sampleCount NOTIFY seriesChanged)
    Q_PROPERTY(int bucketCount READ bucketCount NOTIFY seriesChanged)
    Q_PROPERTY(qint64 bucketSize READ bucketSize NOTIFY seriesChanged)

public:
    explicit QmlSpeedSeries(QObject *parent = nullptr);

    double chartWidth() const { return m_chartWidth; }
    void setChartWidth(double width);
    double zoom() const { return m_zoom; }
    void setZoom(double zoom);

    QVariantList points() const { return m_points; }
    qint64 sampleCount() const { return m_sampleCount; }
    int bucketCount() const { return m_bucketCount; }
    qint64 bucketSize() const { return m_bucketSize; }

protected:
    int shape() const override;
    Computation computation(int shape) const override;
    void takeSeries(const QVariant &series) override;
    void clearSeries() override;

private:
    double m_chartWidth = 0.0;
    double m_zoom = 1.0;
    QVariantList m_points;
    qint64 m_sampleCount = 0;
    int m_bucketCount = 0;
    qint64 m_bucketSize = 0;
};

} // namespace tessaron::qml
