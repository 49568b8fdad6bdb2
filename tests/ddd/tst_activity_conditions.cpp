#include "activity_test_rows.h"

#include "ddd/activity_analyzer.h"

#include <QTest>

using namespace tessaron::ddd;
using namespace tessaron::test;
using namespace Qt::StringLiterals;

namespace {

QString conditionText(int code)
{
    switch (code) {
    case 0:
        return u"Нет специального условия"_s;
    case 1:
        return u"Выход за область применения — начало"_s;
    case 2:
        return u"Выход за область применения — окончание"_s;
    case 3:
        return u"Паром/поезд — начало"_s;
    case 4:
        return u"Паром/поезд — окончание"_s;
    default:
        return u"Специальное условие 0x%1"_s.arg(code, 2, 16, QLatin1Char('0')).toUpper();
    }
}

// A driver card's specific-condition row; the entry time as the card decoder writes it, "dd.MM.yyyy HH:mm:ss".
QVariantMap conditionRow(int code, const QString &clock)
{
    return {
        {u"entryTime"_s, clock.isEmpty() ? QString() : u"05.03.2024 "_s + clock + u":00"_s},
        {u"specificConditionType"_s, conditionText(code)},
        {u"conditionCode"_s, code},
        {u"hexData"_s, u"65E6E0A0%1"_s.arg(code, 2, 16, QLatin1Char('0')).toUpper()},
    };
}

// A vehicle unit's card insertion/withdrawal row, reduced to the keys the analysis reads besides its identity.
QVariantMap cardIwRow(const QString &surname, bool manual)
{
    return {
        {u"dayNo"_s, 1},
        {u"blockNumber"_s, 0},
        {u"recordInBlock"_s, 0},
        {u"cardHolderSurname"_s, surname},
        {u"cardType"_s, u"Водитель"_s},
        {u"cardInsertionDate"_s, u"05.03.2024 7:00:00"_s},
        {u"manualInputFlag"_s, manual ? u"Да"_s : u"Нет"_s},
    };
}

QVariantMap conditionsOf(const QVariantList &cardIwData, const QVariantList &specificConditions)
{
    return group(ActivityAnalyzer::analyze({}, cardIwData, specificConditions), u"conditions"_s);
}

QStringList intervalTexts(const QVariantMap &conditions)
{
    QStringList texts;
    const QVariantList intervals = conditions.value(u"ferryTrainIntervals"_s).toList();
    for (const QVariant &interval : intervals) {
        const QVariantMap map = interval.toMap();
        texts.append(map.value(u"begin"_s).toString() + u'-' + map.value(u"end"_s).toString() + u'='
            + QString::number(map.value(u"minutes"_s).toInt()));
    }
    return texts;
}

} // namespace

class TestActivityConditions : public QObject
{
    Q_OBJECT

private slots:
    void noRows()
    {
        const QVariantMap conditions = conditionsOf({}, {});
        QCOMPARE(conditions.size(), 8);
        QCOMPARE(conditions.value(u"manualInputCount"_s).typeId(), QMetaType::LongLong);
        QCOMPARE(conditions.value(u"specificConditionCount"_s).typeId(), QMetaType::LongLong);
        QCOMPARE(conditions.value(u"ferryTrainCount"_s).typeId(), QMetaType::Int);
        QCOMPARE(conditions.value(u"ferryTrainMinutes"_s).typeId(), QMetaType::Int);
        QCOMPARE(conditions.value(u"manualInputCount"_s).toLongLong(), 0);
        QCOMPARE(conditions.value(u"specificConditionCount"_s).toLongLong(), 0);
        QCOMPARE(conditions.value(u"ferryTrainCount"_s).toInt(), 0);
        QCOMPARE(conditions.value(u"ferryTrainMinutes"_s).toInt(), 0);
        for (const QString &list :
            {u"manualRecords"_s, u"specificConditions"_s, u"ferryTrainConditions"_s, u"ferryTrainIntervals"_s}) {
            QCOMPARE(conditions.value(list).typeId(), QMetaType::QVariantList);
            QVERIFY(conditions.value(list).toList().isEmpty());
        }
    }

    void crossings_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<QStringList>("expectedIntervals");
        QTest::addColumn<int>("expectedMinutes");
        QTest::addColumn<int>("expectedFerryRows");

        QTest::addRow("one crossing") << QVariantList {conditionRow(3, u"08:00"_s), conditionRow(4, u"09:15"_s)}
                                      << QStringList {u"08:00-09:15=75"_s} << 75 << 2;
        QTest::addRow("a crossing across midnight")
            << QVariantList {conditionRow(3, u"23:30"_s), conditionRow(4, u"00:45"_s)}
            << QStringList {u"23:30-00:45=75"_s} << 75 << 2;
        QTest::addRow("a second begin replaces the first")
            << QVariantList {conditionRow(3, u"10:00"_s), conditionRow(3, u"10:20"_s), conditionRow(4, u"11:00"_s)}
            << QStringList {u"10:20-11:00=40"_s} << 40 << 3;
        QTest::addRow("an end without a begin")
            << QVariantList {conditionRow(4, u"10:00"_s)} << QStringList() << 0 << 1;
        QTest::addRow("a begin never ended") << QVariantList {conditionRow(3, u"10:00"_s)} << QStringList() << 0 << 1;
        QTest::addRow("begin and end at the same minute")
            << QVariantList {conditionRow(3, u"10:00"_s), conditionRow(4, u"10:00"_s)}
            << QStringList {u"10:00-10:00=0"_s} << 0 << 2;
        QTest::addRow("a begin without a readable time opens nothing")
            << QVariantList {conditionRow(3, QString()), conditionRow(4, u"11:00"_s)} << QStringList() << 0 << 2;
        QTest::addRow("two crossings add up") << QVariantList {conditionRow(3, u"08:00"_s), conditionRow(4, u"09:00"_s),
            conditionRow(3, u"20:00"_s), conditionRow(4, u"21:30"_s)}
                                              << QStringList {u"08:00-09:00=60"_s, u"20:00-21:30=90"_s} << 150 << 4;
        QTest::addRow("out of scope is no crossing")
            << QVariantList {conditionRow(1, u"08:00"_s), conditionRow(2, u"09:00"_s), conditionRow(0, u"10:00"_s)}
            << QStringList() << 0 << 0;
        QTest::addRow("other conditions between begin and end")
            << QVariantList {conditionRow(3, u"08:00"_s), conditionRow(1, u"08:30"_s), conditionRow(4, u"09:00"_s)}
            << QStringList {u"08:00-09:00=60"_s} << 60 << 2;
        QTest::addRow("code 3 without a text is a crossing without begin or end") << QVariantList {
            QVariantMap {{u"conditionCode"_s, 3}, {u"entryTime"_s, u"05.03.2024 08:00:00"_s}},
            conditionRow(4, u"09:00"_s)} << QStringList() << 0 << 2;
        QTest::addRow("English words under type, times under time")
            << QVariantList {QVariantMap {{u"type"_s, u"Ferry crossing begin"_s}, {u"time"_s, u"08:00"_s}},
                   QVariantMap {{u"type"_s, u"Train crossing end"_s}, {u"time"_s, u"09:00"_s}}}
            << QStringList {u"08:00-09:00=60"_s} << 60 << 2;
        QTest::addRow("a code as the type text")
            << QVariantList {QVariantMap {{u"type"_s, u"4"_s}}} << QStringList() << 0 << 1;
    }

    void crossings()
    {
        QFETCH(QVariantList, rows);
        QFETCH(QStringList, expectedIntervals);
        QFETCH(int, expectedMinutes);
        QFETCH(int, expectedFerryRows);

        const QVariantMap analysis = ActivityAnalyzer::analyze({}, {}, rows);
        const QVariantMap conditions = group(analysis, u"conditions"_s);
        QCOMPARE(intervalTexts(conditions), expectedIntervals);
        QCOMPARE(conditions.value(u"ferryTrainMinutes"_s).toInt(), expectedMinutes);
        QCOMPARE(conditions.value(u"ferryTrainCount"_s).toInt(), expectedFerryRows);
        QCOMPARE(conditions.value(u"ferryTrainConditions"_s).toList().size(), expectedFerryRows);
        QCOMPARE(conditions.value(u"specificConditionCount"_s).toLongLong(), rows.size());
        QCOMPARE(conditions.value(u"specificConditions"_s).toList(), rows);

        // The same figures reach the classification once there are activity changes.
        const QVariantMap withActivity
            = ActivityAnalyzer::analyze(cardDay(u"1"_s, {{480, Act::Drive}, {600, Act::NoCard}}), {}, rows);
        QCOMPARE(group(withActivity, u"conditions"_s), conditions);
        QCOMPARE(group(withActivity, u"classification"_s).value(u"ferryTrainMinutes"_s).toInt(), expectedMinutes);
    }

    void manualRecords()
    {
        const QVariantList cardIwData {
            cardIwRow(u"FIRST"_s, true), cardIwRow(u"SECOND"_s, false), cardIwRow(u"THIRD"_s, true)};
        const QVariantMap conditions = conditionsOf(cardIwData, {});
        QCOMPARE(conditions.value(u"manualInputCount"_s).toLongLong(), 2);
        QCOMPARE(conditions.value(u"manualRecords"_s).toList(), (QVariantList {cardIwData.at(0), cardIwData.at(2)}));

        const QVariantMap withActivity
            = ActivityAnalyzer::analyze(vuDay(1, {{480, Act::Drive}, {600, Act::NoCard}}), cardIwData, {});
        QCOMPARE(group(withActivity, u"classification"_s).value(u"manualInputCount"_s).typeId(), QMetaType::Int);
        QCOMPARE(group(withActivity, u"classification"_s).value(u"manualInputCount"_s).toInt(), 2);
    }

    // A day counts its own changes that are ferry/train records, the change of a one-change day included.
    void dayCountsFerryTrainChanges()
    {
        QVariantMap crossingByName = cardChange(u"1"_s, 480, Act::Drive);
        crossingByName.insert(u"specificConditionType"_s, conditionText(3));
        QVariantMap crossingByCode = cardChange(u"1"_s, 600, Act::NoCard);
        crossingByCode.insert(u"conditionCode"_s, 4);
        QVariantMap outOfScope = cardChange(u"1"_s, 700, Act::Work);
        outOfScope.insert(u"conditionCode"_s, 1);
        QVariantMap single = cardChange(u"2"_s, 480, Act::Drive);
        single.insert(u"specificConditionType"_s, conditionText(4));

        const QVariantMap analysis
            = ActivityAnalyzer::analyze({crossingByName, crossingByCode, outOfScope, single}, {}, {});
        QCOMPARE(dayEntry(analysis, 0).value(u"specificConditionCount"_s).toInt(), 2);
        QCOMPARE(dayEntry(analysis, 1).value(u"specificConditionCount"_s).toInt(), 1);
        QCOMPARE(dayEntry(analysis, 1).value(u"activityChangesCount"_s).toLongLong(), 1);
    }
};

QTEST_GUILESS_MAIN(TestActivityConditions)
#include "tst_activity_conditions.moc"
