#include "driven_distance.h"

#include "checked_growth.h"
#include "ddd_report.h"

#include <QVariantMap>

#include <limits>
#include <numeric>
#include <optional>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

namespace {

// An odometer counts whole kilometres up to 9,999,999 (OdometerShort); anything above is no reading of one,
// whichever database the row came from.
constexpr qint64 MaxOdometerKm = 9'999'999;

// The largest TotalDistanceKm the report database's INTEGER column (SQLite: 8 bytes, signed) holds.
constexpr qint64 MaxStoredTotalKm = std::numeric_limits<qint64>::max();

// A whole number of kilometres from an int or its decimal text; none for anything else.
std::optional<qint64> kilometresOf(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    bool ok = false;
    const qint64 number = value.toString().trimmed().toLongLong(&ok);
    if (!ok || number < 0 || number > MaxOdometerKm)
        return std::nullopt;
    return number;
}

qint64 saturatingSum(qint64 sum, qint64 kilometres)
{
    return kilometres > MaxStoredTotalKm - sum ? MaxStoredTotalKm : sum + kilometres;
}

// The distance of one vehicles row (a card's vehicle used): end minus begin odometer, 0 for a vehicle used but
// not moved. None when a reading is missing or is no whole number ("НЕТ ДАННЫХ" for an unset odometer), or when
// the end lies below the begin (a vehicle still in use has no end reading yet): a reading that went backwards
// tells nothing sound about the distance, and counting the whole end reading would add a vehicle's lifetime.
std::optional<qint64> vehicleDistance(const QVariantMap &row)
{
    const auto begin = kilometresOf(row.value(u"vehicleOdometerBegin"_s));
    const auto end = kilometresOf(row.value(u"vehicleOdometerEnd"_s));
    if (!begin || !end || *end < *begin)
        return std::nullopt;
    return *end - *begin;
}

QList<DrivenDistance> vehicleDistances(const QVariantList &vehicles)
{
    const QString numberKey = u"vehicleRegistrationNumber1"_s;
    QList<DrivenDistance> distances;
    for (const QVariant &element : vehicles) {
        const QVariantMap row = element.toMap();
        if (const auto distance = vehicleDistance(row))
            distances.append({row.value(numberKey).toString(), *distance});
    }
    return distances;
}

QList<DrivenDistance> dayDistances(const QVariantList &days)
{
    const QString readingKey = u"odometerValueMidnight"_s;
    const QString dayKey = u"dayNo"_s;
    QList<DrivenDistance> distances;
    std::optional<qint64> previous;
    for (qsizetype i = 0; i < days.size(); ++i) {
        const QVariantMap row = days.at(i).toMap();
        const auto reading = kilometresOf(row.value(readingKey));
        if (!reading || *reading == 0)
            continue;
        if (previous && *reading >= *previous) {
            const QString day = row.value(dayKey).toString();
            distances.append({day.isEmpty() ? QString::number(i + 1) : day, *reading - *previous});
        }
        previous = reading;
    }
    return distances;
}

} // namespace

QList<DrivenDistance> drivenDistances(const DddReport &report)
{
    return report.vehicles.isEmpty() ? dayDistances(report.dayInformation) : vehicleDistances(report.vehicles);
}

qint64 totalDrivenDistance(const DddReport &report)
{
    const QList<DrivenDistance> distances = drivenDistances(report);
    return std::accumulate(distances.cbegin(), distances.cend(), qint64(0),
        [](qint64 sum, const DrivenDistance &distance) { return saturatingSum(sum, distance.kilometres); });
}

void fillTotalDistance(DddReport &report)
{
    report.totalDistanceKm = qint32(std::min<qint64>(totalDrivenDistance(report), std::numeric_limits<qint32>::max()));
}

QVariantList drivenDistanceRows(const DddReport &report)
{
    QVariantList rows;
    const QList<DrivenDistance> distances = drivenDistances(report);
    reserveChecked(rows, distances.size());
    for (const DrivenDistance &distance : distances)
        rows.append(QVariantMap {{u"label"_s, distance.label}, {u"value"_s, distance.kilometres}});
    return rows;
}

} // namespace tessaron::ddd
