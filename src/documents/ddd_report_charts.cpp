// The charts of the DDD PDF report: rows of the decoded datasets and the analysis's days turned into chart
// points.

#include "ddd/checked_growth.h"
#include "ddd/ddd_report.h"
#include "ddd/driven_distance.h"
#include "ddd/speed_series.h"
#include "documents/ddd_report_renderer_p.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <limits>

using namespace Qt::StringLiterals;

namespace tessaron::documents {

namespace {

using ddd::DddReport;

constexpr qsizetype maximumSpeedPoints = 800;

ChartPoint plainPoint(const QString &label, double value)
{
    return {label, value, 0.0, value};
}

// The rows of the first dataset that has any.
const QVariantList &firstFilled(const QVariantList &preferred, const QVariantList &fallback)
{
    return preferred.isEmpty() ? fallback : preferred;
}

struct ChartKind
{
    QString key;
    QString title;
    QString valueAxis;
    QString categoryAxis;
    bool line = false;
    std::function<QList<ChartPoint>(const DddReport &)> points;
};

const QList<ChartKind> &chartKinds()
{
    static const QList<ChartKind> kinds = {
        {u"activity"_s, u"Изменения активности по дням"_s, u"Записей"_s, u"День"_s, false,
            [](const DddReport &report) {
                return categoryCounts(firstFilled(report.activityDaily, report.activityChanges),
                    {"dayNo"_L1, "day"_L1, "activityDailyPresenceCounter1"_L1}, CategoryOrder::FirstRow);
            }},
        {u"speed"_s, u"Детальная скорость"_s, u"Скорость, км/ч"_s, u"Секунды от начала блока"_s, true,
            [](const DddReport &report) { return speedBuckets(speedSamples(report)); }},
        {u"mileage"_s, u"Пробег по автомобилям"_s, u"Пробег, км"_s, u"Транспортное средство / день"_s, false,
            [](const DddReport &report) { return mileagePoints(report); }},
        {u"events"_s, u"События"_s, u"Количество"_s, u"Тип события"_s, false,
            [](const DddReport &report) {
                return categoryCounts(
                    firstFilled(report.tachoEvents, report.events), {"eventType"_L1, "eventType1"_L1});
            }},
        {u"faults"_s, u"Неисправности"_s, u"Количество"_s, u"Тип неисправности"_s, false,
            [](const DddReport &report) {
                return categoryCounts(
                    firstFilled(report.tachoFaults, report.faults), {"faultType"_L1, "faultType1"_L1});
            }},
        {u"odometer"_s, u"Показания одометра по дням"_s, u"Показание, км"_s, u"День"_s, true,
            [](const DddReport &report) { return odometerPoints(report.dayInformation); }},
        {u"places"_s, u"Посещённые места"_s, u"Количество"_s, u"Страна / регион"_s, false,
            [](const DddReport &report) {
                return categoryCounts(firstFilled(report.places, report.placeDailyWorkPeriod),
                    {"dailyWorkPeriodCountry"_L1, "country"_L1, "dailyWorkPeriodRegion"_L1, "region"_L1});
            }},
        {u"calibration"_s, u"Калибровки"_s, u"Количество"_s, u"Дата / назначение"_s, false,
            [](const DddReport &report) {
                return categoryCounts(report.calibrationData, {"nextCalibrationDate"_L1, "calibrationPurpose"_L1});
            }},
        {u"workingTime"_s, u"Рабочее время по дням"_s, u"Часы"_s, u"День"_s, false,
            [](const DddReport &report) {
                return workingTimePoints(report.analysis.value(u"workingHours"_s).toList());
            }},
    };
    return kinds;
}

} // namespace

double numericValue(const QVariantMap &row, const KeyNames &keys, double fallback)
{
    for (const QLatin1StringView key : keys) {
        if (const double number = ddd::chartNumber(row.value(key)); !std::isnan(number))
            return number;
    }
    return fallback;
}

QList<ChartPoint> categoryCounts(const QVariantList &rows, const KeyNames &keys, CategoryOrder order)
{
    ddd::CheckedHash<QString, qsizetype> positions;
    QList<ChartPoint> points;
    for (const QVariant &row : rows) {
        QString label = rowValue(row.toMap(), keys).trimmed();
        if (label.isEmpty())
            label = u"—"_s;
        const auto [position, added] = positions.try_emplace(label, points.size());
        if (added)
            points.append(plainPoint(label, 0.0));
        ChartPoint &point = points[position->second];
        point.value += 1.0;
        point.maximum = point.value;
    }
    // QString's ordering compares UTF-16 code units.
    if (order == CategoryOrder::Label)
        std::sort(
            points.begin(), points.end(), [](const ChartPoint &a, const ChartPoint &b) { return a.label < b.label; });
    return points;
}

QList<double> speedSamples(const DddReport &report)
{
    QList<double> speeds;
    for (const QVariant &row : report.detailedSpeed) {
        const QList<double> values = ddd::speedRowValues(row.toMap());
        std::copy_if(
            values.cbegin(), values.cend(), std::back_inserter(speeds), [](double speed) { return speed >= 0.0; });
    }
    return speeds;
}

QList<ChartPoint> speedBuckets(const QList<double> &speeds)
{
    const qsizetype n = speeds.size();
    ddd::SpeedBucketer bucketer(std::max<qsizetype>((n + maximumSpeedPoints - 1) / maximumSpeedPoints, 1));
    for (double speed : speeds)
        bucketer.add(speed, 0.0);
    const QList<ddd::SpeedBucket> buckets = bucketer.finish();
    QList<ChartPoint> points;
    ddd::reserveChecked(points, buckets.size());
    for (const ddd::SpeedBucket &bucket : buckets)
        points.append({QString::number(bucket.firstSample), bucket.mean, bucket.minimum, bucket.maximum});
    return points;
}

QList<ChartPoint> mileagePoints(const DddReport &report)
{
    QList<ChartPoint> points;
    const QList<ddd::DrivenDistance> distances = ddd::drivenDistances(report);
    ddd::reserveChecked(points, distances.size());
    for (const ddd::DrivenDistance &distance : distances)
        points.append(plainPoint(distance.label, double(distance.kilometres)));
    return points;
}

// The key lists of a row are made once: a list made per row is an allocation per row that could fail silently.

QList<ChartPoint> odometerPoints(const QVariantList &dayInformation)
{
    static const KeyNames readingKeys {"odometerValueMidnight"_L1, "odometerValue"_L1, "vehicleOdometerValue"_L1};
    static const KeyNames dayKeys {"dayNo"_L1, "dayNumber"_L1};
    QList<ChartPoint> points;
    for (const QVariant &value : dayInformation) {
        const QVariantMap row = value.toMap();
        const double reading = numericValue(row, readingKeys, -1.0);
        if (reading >= 0.0)
            points.append({rowValue(row, dayKeys), reading, reading, reading});
    }
    return points;
}

QList<ChartPoint> workingTimePoints(const QVariantList &workingHours)
{
    static const QRegularExpression hoursAndMinutes(u"(\\d{1,3}):(\\d{2})"_s);
    static const KeyNames workKeys {"workTime"_L1};
    static const KeyNames dayKeys {"dayNumber"_L1, "day"_L1};
    QList<ChartPoint> points;
    ddd::reserveChecked(points, workingHours.size());
    for (const QVariant &value : workingHours) {
        const QVariantMap entry = value.toMap();
        const QRegularExpressionMatch match = hoursAndMinutes.match(rowValue(entry, workKeys));
        const double hours
            = match.hasMatch() ? match.captured(1).toDouble() + match.captured(2).toDouble() / 60.0 : 0.0;
        points.append(plainPoint(rowValue(entry, dayKeys), hours));
    }
    return points;
}

void addRequestedCharts(ReportPainter &painter, const DddReport &report, const QVariantMap &options)
{
    const QStringList requested = optionList(options, u"graphs"_s);
    if (requested.isEmpty())
        return;
    for (const ChartKind &kind : chartKinds()) {
        if (requested.contains(kind.key))
            painter.chart(kind.title, kind.valueAxis, kind.categoryAxis, kind.points(report), kind.line);
    }
}

} // namespace tessaron::documents
