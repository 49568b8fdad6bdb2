// The one rule for driven distance: a card's vehicles used, else a vehicle unit's midnight odometer readings.
// The page's chart, the PDF's chart and the stored total all read it.

#include "ddd/ddd_report.h"
#include "ddd/driven_distance.h"

#include <QTest>

#include <limits>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;

namespace {

QVariantMap vehicle(const QString &plate, const QVariant &begin, const QVariant &end)
{
    return {
        {u"vehicleRegistrationNumber1"_s, plate}, {u"vehicleOdometerBegin"_s, begin}, {u"vehicleOdometerEnd"_s, end}};
}

QVariantMap day(int dayNo, int reading)
{
    return {{u"dayNo"_s, dayNo}, {u"odometerValueMidnight"_s, reading}};
}

} // namespace

class TestDrivenDistance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void drivenDistances_data()
    {
        QTest::addColumn<QVariantList>("vehicles");
        QTest::addColumn<QVariantList>("days");
        QTest::addColumn<QStringList>("expected"); // "label=km"
        QTest::addRow("vehicles in row order: end below begin, unset or fractional readings left out, 0 kept")
            << QVariantList {vehicle(u"B"_s, 500, u" 620 "_s), vehicle(u"A"_s, 77760, 0), vehicle(u"A"_s, 800, 800),
                   vehicle(u"C"_s, u"НЕТ ДАННЫХ"_s, 563000), vehicle(u"D"_s, u"10,5"_s, 20)}
            << QVariantList {day(1, 100), day(2, 300)} << QStringList {u"B=120"_s, u"A=0"_s};
        QTest::addRow("days: the later day gets it, unset readings skipped, a reading gone backwards starts over")
            << QVariantList {}
            << QVariantList {day(1, 265563), day(2, 0), day(3, 265653), day(4, 265600), day(5, 265700)}
            << QStringList {u"3=90"_s, u"5=100"_s};
    }
    void drivenDistances()
    {
        QFETCH(QVariantList, vehicles);
        QFETCH(QVariantList, days);
        QFETCH(QStringList, expected);
        DddReport report;
        report.vehicles = vehicles;
        report.dayInformation = days;
        QStringList entries;
        qint64 sum = 0;
        for (const DrivenDistance &distance : tessaron::ddd::drivenDistances(report)) {
            entries.append(u"%1=%2"_s.arg(distance.label).arg(distance.kilometres));
            sum += distance.kilometres;
        }
        QCOMPARE(entries, expected);
        QCOMPARE(totalDrivenDistance(report), sum);
    }

    // A sum past 32 bits stays whole where it is stored; the report holds the largest value it can, not a wrapped one.
    void totalBeyondThirtyTwoBits()
    {
        DddReport report;
        report.vehicles = {vehicle(u"A"_s, 0, u"2000000000"_s), vehicle(u"B"_s, 0, u"2000000000"_s)};
        QCOMPARE(totalDrivenDistance(report), qint64(4'000'000'000));
        fillTotalDistance(report);
        QCOMPARE(report.totalDistanceKm, std::numeric_limits<qint32>::max());
    }
};

QTEST_GUILESS_MAIN(TestDrivenDistance)
#include "tst_driven_distance.moc"
