// The one rule for driven distance: a card's vehicles used, else a vehicle unit's midnight odometer readings.
// The page's chart, the PDF's chart and the stored total all read it.

#include "ddd/ddd_report.h"
#include "ddd/driven_distance.h"

#include <QTest>

#include <limits>
#include <optional>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<qint64>)

namespace {

QVariantMap vehicle(const QString &plate, const QVariant &begin, const QVariant &end)
{
    return {
        {u"vehicleRegistrationNumber1"_s, plate}, {u"vehicleOdometerBegin"_s, begin}, {u"vehicleOdometerEnd"_s, end}};
}

QVariantMap day(const QVariant &dayNo, const QVariant &reading)
{
    return {{u"dayNo"_s, dayNo}, {u"odometerValueMidnight"_s, reading}};
}

// "label=km" of each distance.
QStringList entries(const QList<DrivenDistance> &distances)
{
    QStringList result;
    for (const DrivenDistance &distance : distances)
        result.append(u"%1=%2"_s.arg(distance.label).arg(distance.kilometres));
    return result;
}

} // namespace

class TestDrivenDistance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void vehicleDistance_data()
    {
        QTest::addColumn<QVariantMap>("row");
        QTest::addColumn<std::optional<qint64>>("distance");
        const std::optional<qint64> none;
        QTest::addRow("end above begin") << vehicle(u"A"_s, 1000, 1150) << std::optional<qint64>(150);
        QTest::addRow("used but not moved") << vehicle(u"A"_s, 3948, 3948) << std::optional<qint64>(0);
        QTest::addRow("readings as texts") << vehicle(u"A"_s, u"100"_s, u" 150 "_s) << std::optional<qint64>(50);
        QTest::addRow("end below begin (still in use)") << vehicle(u"A"_s, 77760, 0) << none;
        QTest::addRow("unset begin") << vehicle(u"A"_s, u"НЕТ ДАННЫХ"_s, 563000) << none;
        QTest::addRow("unset end") << vehicle(u"A"_s, 1000, u"НЕТ ДАННЫХ"_s) << none;
        QTest::addRow("no end at all") << QVariantMap {{u"vehicleOdometerBegin"_s, 10}} << none;
        QTest::addRow("a fraction is no reading") << vehicle(u"A"_s, u"10,5"_s, 20) << none;
        QTest::addRow("a negative reading") << vehicle(u"A"_s, -5, 20) << none;
    }
    void vehicleDistance()
    {
        QFETCH(QVariantMap, row);
        QFETCH(std::optional<qint64>, distance);
        QCOMPARE(tessaron::ddd::vehicleDistance(row), distance);
    }

    void drivenDistances_data()
    {
        QTest::addColumn<QVariantList>("vehicles");
        QTest::addColumn<QVariantList>("days");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("vehicles in row order, those without a distance left out")
            << QVariantList {vehicle(u"B"_s, 500, 620), vehicle(u"A"_s, 900, 800), vehicle(u"A"_s, 800, 800)}
            << QVariantList {day(1, 100), day(2, 300)} << QStringList {u"B=120"_s, u"A=0"_s};
        QTest::addRow("days: the later day gets the distance, unset readings skipped")
            << QVariantList {} << QVariantList {day(1, 265563), day(2, 0), day(3, 265653), day(4, 265653)}
            << QStringList {u"3=90"_s, u"4=0"_s};
        QTest::addRow("days: a reading that went backwards starts over")
            << QVariantList {} << QVariantList {day(1, 1000), day(2, 1300), day(3, 1200), day(4, 1500)}
            << QStringList {u"2=300"_s, u"4=300"_s};
        QTest::addRow("days without a number are counted by position")
            << QVariantList {} << QVariantList {day(QVariant(), 10), day(QVariant(), 25)} << QStringList {u"2=15"_s};
        QTest::addRow("one reading is no distance")
            << QVariantList {} << QVariantList {day(1, 371532)} << QStringList {};
        QTest::addRow("nothing") << QVariantList {} << QVariantList {} << QStringList {};
    }
    void drivenDistances()
    {
        QFETCH(QVariantList, vehicles);
        QFETCH(QVariantList, days);
        QFETCH(QStringList, expected);
        DddReport report;
        report.vehicles = vehicles;
        report.dayInformation = days;
        QCOMPARE(entries(tessaron::ddd::drivenDistances(report)), expected);
        qint64 sum = 0;
        for (const QString &entry : expected)
            sum += entry.section(u'=', 1).toLongLong();
        QCOMPARE(totalDrivenDistance(report), sum);

        const QVariantList rows = drivenDistanceRows(report);
        QCOMPARE(rows.size(), expected.size());
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const QVariantMap row = rows.at(i).toMap();
            QCOMPARE(u"%1=%2"_s.arg(row.value(u"label"_s).toString()).arg(row.value(u"value"_s).toLongLong()),
                expected.at(i));
        }
    }

    // A sum past what the report's 32-bit total holds stays whole where it is stored, and the report holds the
    // largest value it can instead of a wrapped one.
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
