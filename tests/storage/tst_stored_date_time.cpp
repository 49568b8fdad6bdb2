#include "storage/stored_date_time.h"
#include "support/time_zone_pin.h"

#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

// The zones the texts are read in: no clock change, and two that have moved their clocks at 02:00.
constexpr const char *zones[] = {"UTC", "Europe/Berlin", "Europe/Moscow"};

QDateTime utc(QDate date, QTime time)
{
    return QDateTime(date, time, QTimeZone::utc());
}

// The same instant with the same offset, so the same fields: what the text wrote, not a local reading of it.
bool sameReading(const QDateTime &read, const QDateTime &expected)
{
    const QString form = u"dd.MM.yyyy HH:mm:ss.zzz"_s;
    if (read == expected
        && (!expected.isValid()
            || (read.offsetFromUtc() == expected.offsetFromUtc() && read.toString(form) == expected.toString(form))))
        return true;
    qWarning("read %s, expected %s", qPrintable(read.toString(Qt::ISODateWithMs)),
        qPrintable(expected.toString(Qt::ISODateWithMs)));
    return false;
}

} // namespace

// Stored texts read as the date and time they write, whatever the zone the program runs in.
class TestStoredDateTime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { tessaron::test::restoreSuiteTimeZone(); }

    void isoDateTime_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const QDate berlinGap(2024, 3, 31);
        const QDate moscowGap(2010, 3, 28);
        for (const char *zone : zones) {
            const auto row = [zone](const char *shape) -> QTestData & {
                return QTest::addRow("%s, %s", zone, shape) << QByteArray(zone);
            };
            row("space, in Berlin's gap") << u"2024-03-31 02:30:00"_s << utc(berlinGap, QTime(2, 30));
            row("T, in Moscow's gap") << u"2010-03-28T02:30:00"_s << utc(moscowGap, QTime(2, 30));
            row("milliseconds") << u"2024-03-31T02:30:00.250"_s << utc(berlinGap, QTime(2, 30, 0, 250));
            row("no seconds") << u"2024-03-31 02:05"_s << utc(berlinGap, QTime(2, 5));
            row("date alone") << u"2010-03-28"_s << utc(moscowGap, QTime(0, 0));
            row("UTC named") << u"2024-03-31T02:30:00Z"_s << utc(berlinGap, QTime(2, 30));
            row("own offset kept") << u"2024-03-31T02:30:00+03:00"_s
                                   << QDateTime(berlinGap, QTime(2, 30), Qt::OffsetFromUTC, 3 * 3600);
            row("day first is no ISO") << u"31.03.2024 02:30:00"_s << QDateTime();
            row("impossible day") << u"2024-02-30"_s << QDateTime();
            row("impossible time") << u"2024-03-31 25:00:00"_s << QDateTime();
            row("empty") << QString() << QDateTime();
        }
    }

    void isoDateTime()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        tessaron::test::setTimeZone(zone.constData());
        QVERIFY(sameReading(tessaron::storage::isoDateTime(text), expected));
    }

    void dateTimeInForm_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("form");
        QTest::addColumn<QDateTime>("expected");
        for (const char *zone : zones) {
            const auto row = [zone](const char *shape) -> QTestData & {
                return QTest::addRow("%s, %s", zone, shape) << QByteArray(zone);
            };
            row("database stamp in Berlin's gap")
                << u"2024-03-31 02:30:00"_s << u"yyyy-MM-dd HH:mm:ss"_s << utc(QDate(2024, 3, 31), QTime(2, 30));
            row("one-digit hour in Moscow's gap")
                << u"28.03.2010 2:30:00"_s << u"dd.MM.yyyy H:mm:ss"_s << utc(QDate(2010, 3, 28), QTime(2, 30));
            row("two-digit hour for H") << u"28.03.2010 12:30:00"_s << u"dd.MM.yyyy H:mm:ss"_s
                                        << utc(QDate(2010, 3, 28), QTime(12, 30));
            row("short field") << u"2024-3-31 02:30:00"_s << u"yyyy-MM-dd HH:mm:ss"_s << QDateTime();
            row("text left over") << u"2024-03-31 02:30:00Z"_s << u"yyyy-MM-dd HH:mm:ss"_s << QDateTime();
            row("literal differs") << u"2024-03-31T02:30:00"_s << u"yyyy-MM-dd HH:mm:ss"_s << QDateTime();
            row("no such day") << u"29.02.2023 10:00:00"_s << u"dd.MM.yyyy HH:mm:ss"_s << QDateTime();
        }
    }

    void dateTimeInForm()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, text);
        QFETCH(QString, form);
        QFETCH(QDateTime, expected);
        tessaron::test::setTimeZone(zone.constData());
        QVERIFY(sameReading(tessaron::storage::dateTimeInForm(text, form), expected));
    }
};

QTEST_GUILESS_MAIN(TestStoredDateTime)
#include "tst_stored_date_time.moc"
