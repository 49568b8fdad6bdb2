#include "ddd/ddd_readers.h"
#include "support/time_zone_pin.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

#include <algorithm>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;
using tessaron::test::setTimeZone;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray data;
    for (int value : values)
        data.append(char(value));
    return data;
}

} // namespace

class TestDddReaders : public QObject
{
    Q_OBJECT

private slots:
    void init() { pinTimeZoneAndClock(); }
    void cleanup() { releaseTimeZoneAndClock(); }

    void readWords_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<quint32>("bigEndian");
        QTest::addColumn<quint32>("littleEndian");
        const QByteArray six = bytes({0x01, 0x02, 0x03, 0x04, 0x05, 0xFF});
        QTest::addRow("last four bytes") << six << qsizetype(2) << 0x030405FFu << 0xFF050403u;
        QTest::addRow("one byte past the end") << six << qsizetype(3) << 0u << 0u;
        QTest::addRow("negative offset") << six << qsizetype(-1) << 0u << 0u;
    }
    void readWords()
    {
        QFETCH(QByteArray, data);
        QFETCH(qsizetype, offset);
        QFETCH(quint32, bigEndian);
        QFETCH(quint32, littleEndian);
        QCOMPARE(readBe32(data, offset), bigEndian);
        QCOMPARE(readLe32(data, offset), littleEndian);
    }

    void formatUnix_data()
    {
        QTest::addColumn<quint32>("seconds");
        QTest::addColumn<QString>("text");
        QTest::addRow("last second of 1999") << 946684799u << QString();
        QTest::addRow("first second of 2000") << 946684800u << u"01.01.2000 00:00:00"_s;
        QTest::addRow("0xF0000000 still counts") << 0xF0000000u << u"05.08.2097 09:04:00"_s;
        QTest::addRow("0xF0000001 is not set") << 0xF0000001u << QString();
    }
    void formatUnix()
    {
        QFETCH(quint32, seconds);
        QFETCH(QString, text);
        setTimeZone("Europe/Moscow"); // never shifts a UTC text
        QCOMPARE(tessaron::ddd::formatUnix(seconds), text);
    }

    // The texts are written directly; QDateTime's own formatting is the reference over a spread of instants.
    void utcTextsMatchDateTimeFormatting()
    {
        setTimeZone("Europe/Moscow");
        QRandomGenerator random(4);
        for (int i = 0; i < 20000; ++i) {
            const quint32 seconds = i < 10000 ? random.bounded(0xF0000000u) + 1 : 946684800u + quint32(i) * 86399u;
            const QDateTime utc = QDateTime::fromSecsSinceEpoch(qint64(seconds), QTimeZone::utc());
            const bool plausible = utc.date().year() >= 2000;
            QCOMPARE(
                tessaron::ddd::formatUnix(seconds), plausible ? utc.toString(u"dd.MM.yyyy HH:mm:ss"_s) : QString());
            QCOMPARE(tessaron::ddd::formatUnixCSharp(seconds, false), utc.toString(u"dd.MM.yyyy H:mm:ss"_s));
        }
        for (int minutes = -1; minutes < 200 * 60; minutes += 7) {
            const int value = std::max(0, minutes);
            QCOMPARE(tessaron::ddd::formatMinutes(minutes),
                u"%1:%2"_s.arg(value / 60, 2, 10, QLatin1Char('0')).arg(value % 60, 2, 10, QLatin1Char('0')));
        }
    }

    void formatUnixCSharp_data()
    {
        QTest::addColumn<quint32>("seconds");
        QTest::addColumn<bool>("toLocal");
        QTest::addColumn<QString>("text");
        QTest::addRow("zero is not set") << 0u << false << QString();
        QTest::addRow("local time in Moscow") << 946684800u << true << u"01.01.2000 3:00:00"_s;
        QTest::addRow("above 0xF0000000") << 0xF0000001u << false << QString();
    }
    void formatUnixCSharp()
    {
        QFETCH(quint32, seconds);
        QFETCH(bool, toLocal);
        QFETCH(QString, text);
        setTimeZone("Europe/Moscow");
        QCOMPARE(tessaron::ddd::formatUnixCSharp(seconds, toLocal), text);
    }

    void formatUnixUniversal_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<QString>("text");
        const QString format = u"dd.MM.yyyy H:mm:ss"_s;
        // 0x4400006A is 25.02.2006 in big-endian order; read little-endian it is 2026, nearer to "now", which
        // must not win.
        QTest::addRow("big-endian wins though little-endian is nearer to now")
            << bytes({0x44, 0x00, 0x00, 0x6A}) << qsizetype(0) << u"25.02.2006 6:59:54"_s;
        QTest::addRow("little-endian only when big-endian is implausible, in local time")
            << bytes({0x00, 0x00, 0x00, 0x50}) << qsizetype(0) << u"13.07.2012 15:01:20"_s;
        QTest::addRow("neither plausible") << bytes({0x00, 0x00, 0x00, 0x00}) << qsizetype(0) << QString();
        QTest::addRow("at the very end") << bytes({0xAA, 0x44, 0x00, 0x00, 0x6A}) << qsizetype(1)
                                         << u"25.02.2006 6:59:54"_s;
        QTest::addRow("three bytes left") << bytes({0xAA, 0x44, 0x00, 0x00}) << qsizetype(1) << QString();
        QTest::addRow("negative offset") << bytes({0x44, 0x00, 0x00, 0x6A}) << qsizetype(-1) << QString();
    }
    void formatUnixUniversal()
    {
        QFETCH(QByteArray, data);
        QFETCH(qsizetype, offset);
        QFETCH(QString, text);
        setTimeZone("Europe/Moscow");
        QCOMPARE(formatUnixUniversalCSharp(data, offset, u"dd.MM.yyyy H:mm:ss"_s), text);
    }

    void textReaders_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<QString>("text");

        const QByteArray abc = bytes({'x', 'A', 'B', 'C'});
        QTest::addRow("fixed: NUL and 0x05 become spaces and are trimmed")
            << u"fixed"_s << bytes({0x00, 'A', 0x05, 'B', 0x00}) << qsizetype(0) << qsizetype(5) << u"A B"_s;
        QTest::addRow("fixed: other control bytes stay")
            << u"fixed"_s << bytes({'A', 0x01, 'B'}) << qsizetype(0) << qsizetype(3) << u"A\u0001B"_s;
        QTest::addRow("fixed: text at the very end") << u"fixed"_s << abc << qsizetype(1) << qsizetype(3) << u"ABC"_s;
        QTest::addRow("fixed: one byte past the end") << u"fixed"_s << abc << qsizetype(2) << qsizetype(3) << QString();
        QTest::addRow("fixed: negative length") << u"fixed"_s << abc << qsizetype(1) << qsizetype(-1) << QString();

        QTest::addRow("calibration: 0xA1 is Yo")
            << u"calibration"_s << bytes({0xA1}) << qsizetype(0) << qsizetype(1) << u"\u0401"_s;
        QTest::addRow("calibration: 0xB0 is A, 0xEF is ya")
            << u"calibration"_s << bytes({0xB0, 0xEF}) << qsizetype(0) << qsizetype(2) << u"\u0410\u044F"_s;
        QTest::addRow("calibration: 0xF0 is er, 0xFF is ya")
            << u"calibration"_s << bytes({0xF0, 0xFF}) << qsizetype(0) << qsizetype(2) << u"\u0440\u044F"_s;
        QTest::addRow("calibration: other high bytes are question marks")
            << u"calibration"_s << bytes({0x80, 0xA0, 0xA2, 0xAF}) << qsizetype(0) << qsizetype(4) << u"????"_s;
        QTest::addRow("calibration: leading code-page byte vanishes, runs collapse")
            << u"calibration"_s << bytes({0x01, 'A', 0x00, 0x00, 'B', ' '}) << qsizetype(0) << qsizetype(6) << u"A B"_s;
        QTest::addRow("calibration: text at the very end")
            << u"calibration"_s << abc << qsizetype(3) << qsizetype(1) << u"C"_s;
        QTest::addRow("calibration: past the end")
            << u"calibration"_s << abc << qsizetype(3) << qsizetype(2) << QString();

        QTest::addRow("1251: Yo, yo and the alphabet ends")
            << u"1251"_s << bytes({0xA8, 0xB8, 0xC0, 0xFF}) << qsizetype(0) << qsizetype(4)
            << u"\u0401\u0451\u0410\u044F"_s;
        QTest::addRow("1251: other high bytes are question marks")
            << u"1251"_s << bytes({0x80, 0xA1, 0xB0, 0xBF}) << qsizetype(0) << qsizetype(4) << u"????"_s;
        QTest::addRow("1251: past the end") << u"1251"_s << abc << qsizetype(4) << qsizetype(1) << QString();

        QTest::addRow("ascii: NUL dropped, others replaced, trimmed")
            << u"ascii"_s << bytes({' ', 'A', 0x00, 0x7F, 0xC0, 'B', ' '}) << qsizetype(0) << qsizetype(7) << u"A??B"_s;
        QTest::addRow("ascii: past the end") << u"ascii"_s << abc << qsizetype(1) << qsizetype(4) << QString();
    }
    void textReaders()
    {
        QFETCH(QString, reader);
        QFETCH(QByteArray, data);
        QFETCH(qsizetype, offset);
        QFETCH(qsizetype, length);
        QFETCH(QString, text);
        QString actual;
        if (reader == u"fixed")
            actual = readFixedText(data, offset, length);
        else if (reader == u"calibration")
            actual = readCalibrationText(data, offset, length);
        else if (reader == u"1251")
            actual = readWindows1251Text(data, offset, length);
        else
            actual = readAsciiWithReplacement(data, offset, length);
        QCOMPARE(actual, text);
    }

    void printableStrings_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("texts");
        QTest::addRow("three bytes are too short") << QByteArray("abc") << QStringList();
        QTest::addRow("last run counts") << QByteArray("\x01\x02"
                                                       "abcd",
            6) << QStringList {u"abcd"_s};
        QTest::addRow("each text once, in order") << QByteArray("\x00 beta\x00gamma\x00 beta \x01"
                                                                "abc\x02",
            22) << QStringList {u"beta"_s, u"gamma"_s};
    }
    void printableStrings()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, texts);
        QCOMPARE(tessaron::ddd::printableStrings(data), texts);
    }

    void hexText()
    {
        QCOMPARE(tessaron::ddd::hexText(bytes({0x00, 0x0A, 0xF0, 0xFF})), u"000AF0FF"_s);
        QCOMPARE(tessaron::ddd::hexText({}), QString());
    }
};

QTEST_GUILESS_MAIN(TestDddReaders)
#include "tst_ddd_readers.moc"
