#include "ddd/ddd_repository_values.h"
#include "support/time_zone_pin.h"

#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

class TestDddRepositoryValues : public QObject
{
    Q_OBJECT

private slots:
    void keyLookup_data()
    {
        QTest::addColumn<QVariantMap>("row");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QVariant>("expected");

        const QVariantMap both {{u"eventType"_s, u""_s}, {u"EventType"_s, u"X"_s}};
        QTest::addRow("exact key wins even when empty") << both << QStringList {u"eventType"_s} << QVariant(u""_s);
        QTest::addRow("other case") << QVariantMap {{u"EventType"_s, 5}} << QStringList {u"eventType"_s} << QVariant(5);
        QTest::addRow("first in key order") << QVariantMap {{u"EventType"_s, u"b"_s}, {u"EVENTTYPE"_s, u"a"_s}}
                                            << QStringList {u"eventType"_s} << QVariant(u"a"_s);
        QTest::addRow("first wanted key found") << QVariantMap {{u"eventType"_s, 1}, {u"eventType1"_s, 2}}
                                                << QStringList {u"eventType1"_s, u"eventType"_s} << QVariant(2);
        QTest::addRow("missing") << QVariantMap {{u"a"_s, 1}} << QStringList {u"b"_s, u"c"_s} << QVariant();
    }

    void keyLookup()
    {
        QFETCH(QVariantMap, row);
        QFETCH(QStringList, keys);
        QFETCH(QVariant, expected);
        QCOMPARE(tessaron::ddd::rowValue(row, keys), expected);
    }

    void jsonText_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("expected");

        QTest::addRow("empty list") << QVariant(QVariantList()) << u"[]"_s;
        QTest::addRow("empty map") << QVariant(QVariantMap()) << u"{}"_s;
        QTest::addRow("integer") << QVariant(5) << u"5"_s;
        QTest::addRow("null") << QVariant() << QString();
        QTest::addRow("nested, sorted, Cyrillic as characters")
            << QVariant(QVariantMap {{u"б"_s, QVariantList {1.5, u"я"_s}}, {u"a"_s, QVariantMap {{u"z"_s, true}}}})
            << u"{\"a\":{\"z\":true},\"б\":[1.5,\"я\"]}"_s;
    }

    void jsonText()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, expected);
        const QString text = tessaron::ddd::jsonText(value);
        QCOMPARE(text, expected);
        QCOMPARE(text.isNull(), expected.isNull());
    }

    void storedDateTime_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QDateTime>("expected");

        const auto utc = [](int day, int hour, int minute, int second = 0, int millisecond = 0) {
            return QDateTime(QDate(2024, 3, day), QTime(hour, minute, second, millisecond), QTimeZone::utc());
        };
        QTest::addRow("database stamp") << QVariant(u"2024-03-01 10:00:00"_s) << utc(1, 10, 0);
        QTest::addRow("milliseconds") << QVariant(u"2024-03-01 10:00:00.250"_s) << utc(1, 10, 0, 0, 250);
        QTest::addRow("ISO with T") << QVariant(u"2024-03-01T10:00:00"_s) << utc(1, 10, 0);
        QTest::addRow("Russian form") << QVariant(u"01.03.2024 10:00:05"_s) << utc(1, 10, 0, 5);
        QTest::addRow("one-digit hour") << QVariant(u"01.03.2024 9:05:00"_s) << utc(1, 9, 5);
        QTest::addRow("no seconds") << QVariant(u"01.03.2024 09:05"_s) << utc(1, 9, 5);
        QTest::addRow("date alone, blanks around") << QVariant(u" 2024-03-01 "_s) << utc(1, 0, 0);
        QTest::addRow("ISO with offset") << QVariant(u"2024-03-01T10:00+02:00"_s) << utc(1, 8, 0);
        QTest::addRow("daylight-saving gap in Berlin") << QVariant(u"2024-03-31 02:30:00"_s) << utc(31, 2, 30);
        QTest::addRow("date-time value") << QVariant(utc(2, 3, 4)) << utc(2, 3, 4);
        QTest::addRow("empty") << QVariant(u"  "_s) << QDateTime();
        QTest::addRow("impossible date") << QVariant(u"31.02.2024 10:00"_s) << QDateTime();
        QTest::addRow("trailing text") << QVariant(u"2024-03-01 10:00:00 x"_s) << QDateTime();
    }

    void storedDateTime()
    {
        QFETCH(QVariant, value);
        QFETCH(QDateTime, expected);
        tessaron::test::pinTimeZoneAndClock("Europe/Berlin");
        const QDateTime parsed = tessaron::ddd::storedDateTime(value);
        QCOMPARE(parsed.isValid(), expected.isValid());
        if (expected.isValid())
            QCOMPARE(parsed.toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
    }
    void cleanup() { tessaron::test::releaseTimeZoneAndClock(); }
};

QTEST_GUILESS_MAIN(TestDddRepositoryValues)
#include "tst_ddd_repository_values.moc"
