#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "ddd/record_names.h"
#include "ddd/vu_records.h"
#include "ddd/vu_sample_blocks.h"

#include <QTest>
#include <QTimeZone>

#include <ctime>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;

namespace {

void setTimeZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}

QByteArray be32(quint32 value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}

quint32 secondsOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return quint32(
        QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc()).toSecsSinceEpoch());
}

} // namespace

class TestVuOverview : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        setTimeZone("UTC");
        setCurrentDateTimeForTesting(QDateTime(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc()));
    }
    void cleanup()
    {
        setCurrentDateTimeForTesting({});
        setTimeZone("UTC");
    }

    void effectiveLength_data();
    void effectiveLength();
    void timeText_data();
    void timeText();
    void littleEndianRescueReadsLocalTime();
    void parseDateTime_data();
    void parseDateTime();
    void dateRange();
    void cardNumberText_data();
    void cardNumberText();
    void nameField();

    void realFile_data();
    void realFile();
};

void TestVuOverview::effectiveLength_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("expected");
    QTest::addRow("empty") << 0 << 0;
    QTest::addRow("129 bytes keep everything") << 129 << 129;
    QTest::addRow("130 bytes lose the signature") << 130 << 2;
    QTest::addRow("a whole overview") << 721 << 593;
}

void TestVuOverview::effectiveLength()
{
    QFETCH(int, size);
    QFETCH(int, expected);
    QCOMPARE(vu::effectiveLength(QByteArray(size, '\0')), qsizetype(expected));
}

void TestVuOverview::timeText_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qsizetype>("offset");
    QTest::addColumn<QString>("expected");

    const QByteArray download = be32(secondsOf(2022, 9, 7, 10, 9, 25));
    QTest::addRow("big-endian download time") << download << qsizetype(0) << u"07.09.2022 10:09:25"_s;
    QTest::addRow("hour without leading zero")
        << be32(secondsOf(2022, 9, 7, 0, 0, 0)) << qsizetype(0) << u"07.09.2022 0:00:00"_s;
    QTest::addRow("last second of 2100") << be32(secondsOf(2100, 12, 31, 23, 59, 59)) << qsizetype(0)
                                         << u"31.12.2100 23:59:59"_s;
    QTest::addRow("at the end of the data")
        << (QByteArray("xx") + download) << qsizetype(2) << u"07.09.2022 10:09:25"_s;
    // Both readings are plausible and the little-endian one (2021) lies nearer to "now": the stored byte
    // order still wins.
    QTest::addRow("big-endian wins over a nearer reading")
        << QByteArray::fromHex("4F000060") << qsizetype(0) << u"01.01.2012 6:42:40"_s;
    QTest::addRow("little-endian rescues an implausible value")
        << QByteArray::fromHex("10004A5F") << qsizetype(0) << u"29.08.2020 7:13:20"_s;
    QTest::addRow("zero") << QByteArray(4, '\0') << qsizetype(0) << u"01.01.0001 0:00:00"_s;
    QTest::addRow("not set") << QByteArray(4, char(0xFF)) << qsizetype(0) << u"01.01.0001 0:00:00"_s;
    QTest::addRow("one byte short") << download.left(3) << qsizetype(0) << u"01.01.0001 0:00:00"_s;
    QTest::addRow("past the end") << download << qsizetype(1) << u"01.01.0001 0:00:00"_s;
    QTest::addRow("negative offset") << download << qsizetype(-1) << u"01.01.0001 0:00:00"_s;
}

void TestVuOverview::timeText()
{
    QFETCH(QByteArray, data);
    QFETCH(qsizetype, offset);
    QFETCH(QString, expected);
    QCOMPARE(vu::vuTimeText(data, offset), expected);
}

void TestVuOverview::littleEndianRescueReadsLocalTime()
{
    setTimeZone("MSK-3");
    QCOMPARE(vu::vuTimeText(QByteArray::fromHex("10004A5F"), 0), u"29.08.2020 10:13:20"_s);
    // The big-endian reading stays UTC whatever the zone.
    QCOMPARE(vu::vuTimeText(be32(secondsOf(2022, 9, 7, 10, 9, 25)), 0), u"07.09.2022 10:09:25"_s);
}

void TestVuOverview::parseDateTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const auto utc = [](int y, int mo, int d, int h, int mi, int s) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
    };
    QTest::addRow("one-digit hour") << u"07.09.2022 9:09:25"_s << utc(2022, 9, 7, 9, 9, 25);
    QTest::addRow("two-digit hour") << u"07.09.2022 19:09:25"_s << utc(2022, 9, 7, 19, 9, 25);
    QTest::addRow("padded hour") << u"07.09.2022 09:09:25"_s << utc(2022, 9, 7, 9, 9, 25);
    QTest::addRow("undefined time is the year 1") << u"01.01.0001 0:00:00"_s << utc(1, 1, 1, 0, 0, 0);
    QTest::addRow("empty") << QString() << QDateTime();
    QTest::addRow("date only") << u"07.09.2022"_s << QDateTime();
    QTest::addRow("no such day") << u"31.02.2022 1:00:00"_s << QDateTime();
    QTest::addRow("hour 24") << u"07.09.2022 24:00:00"_s << QDateTime();
    QTest::addRow("words") << u"No card inserted"_s << QDateTime();
}

void TestVuOverview::parseDateTime()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const QDateTime parsed = vu::parseVuDateTime(text);
    QCOMPARE(parsed.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(parsed, expected);
}

void TestVuOverview::dateRange()
{
    QDateTime earliest;
    QDateTime latest;
    vu::widenDateRange(earliest, latest, QString());
    vu::widenDateRange(earliest, latest, u"garbage"_s);
    QVERIFY(!earliest.isValid() && !latest.isValid());

    vu::widenDateRange(earliest, latest, u"10.08.2022 5:00:00"_s);
    QCOMPARE(earliest, latest);
    vu::widenDateRange(earliest, latest, u"01.08.2022"_s);
    vu::widenDateRange(earliest, latest, u"12.08.2022 23:59:59"_s);
    vu::widenDateRange(earliest, latest, u"11.08.2022 1:00:00"_s);
    QCOMPARE(vu::formatVuDateTime(earliest, true), u"01.08.2022 0:00:00"_s);
    QCOMPARE(vu::formatVuDateTime(latest, true), u"12.08.2022 23:59:59"_s);

    vu::widenDateRange(earliest, latest, u"01.01.0001 0:00:00"_s);
    QCOMPARE(vu::formatVuDateTime(earliest, true), u"01.01.0001 0:00:00"_s);
}

void TestVuOverview::cardNumberText_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qsizetype>("offset");
    QTest::addColumn<QString>("expected");
    const QByteArray card = QByteArray("\x01\x0F"
                                       "E51372045G000001",
        18);
    QTest::addRow("type and nation bytes dropped") << card << qsizetype(0) << u"E51372045G000001"_s;
    QTest::addRow("runs to the data's end") << card << qsizetype(10) << u"5G000001"_s;
    QTest::addRow("eighteen bytes only") << (card + "TAIL") << qsizetype(0) << u"E51372045G000001"_s;
    QTest::addRow("negative offset clipped") << card << qsizetype(-4) << u"E51372045G00"_s;
    QTest::addRow("nothing printable") << QByteArray(18, '\0') << qsizetype(0) << u" "_s;
    QTest::addRow("past the end") << card << qsizetype(40) << u" "_s;
    QTest::addRow("far before the start") << card << qsizetype(-40) << u" "_s;
}

void TestVuOverview::cardNumberText()
{
    QFETCH(QByteArray, data);
    QFETCH(qsizetype, offset);
    QFETCH(QString, expected);
    QCOMPARE(vu::vuCardNumberText(data, offset), expected);
}

void TestVuOverview::nameField()
{
    const QByteArray name = QByteArray("\x05") + QByteArray("WORKSHOP NORD").leftJustified(35, ' ');
    qsizetype cursor = 0;
    QCOMPARE(vu::vuNameField(name + "X", cursor), u"WORKSHOP NORD"_s);
    QCOMPARE(cursor, qsizetype(36));

    cursor = 1; // no code-page byte at the cursor
    QCOMPARE(vu::vuNameField(name, cursor), u"WORKSHOP NORD"_s);
    QCOMPARE(cursor, qsizetype(36));

    cursor = 0;
    QCOMPARE(vu::vuNameField(name.left(35), cursor), QString());
    QCOMPARE(cursor, qsizetype(35));

    cursor = -3;
    QCOMPARE(vu::vuNameField(name, cursor), QString());
    QCOMPARE(cursor, qsizetype(36));
}

namespace {

QString fieldValue(const QVariantList &rows, const QString &description)
{
    for (const QVariant &row : rows) {
        if (row.toMap().value(u"description"_s).toString() == description)
            return row.toMap().value(u"value"_s).toString();
    }
    return u"<missing>"_s;
}

// The instant of a facts file's ISO time and of a row's time text, so the test compares values, not forms.
QDateTime expectedTime(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODate).toUTC();
}

QDateTime rowTime(const QVariantList &rows, const QString &description)
{
    return vu::parseVuDateTime(fieldValue(rows, description));
}

QString slotText(int cardType)
{
    return cardType == 0 ? u"No card inserted"_s : cardTypeName(quint8(cardType));
}

} // namespace

void TestVuOverview::realFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addRow("gen1 download") << u"vu-gen1-a"_s;
    QTest::addRow("anonymised gen1 download") << u"vu-gen1-anon"_s;
}

void TestVuOverview::realFile()
{
    QFETCH(QString, name);
    TESSARON_REQUIRE_VU_SAMPLE(sample, name);
    DddReport &report = sample.report;
    Decoder::parseTachographData(report);
    const QJsonObject overview = sample.expected.value(u"vu"_s).toObject().value(u"overview"_s).toObject();

    QCOMPARE(report.vin, overview.value(u"vin"_s).toString());
    const QJsonObject registration = overview.value(u"registration"_s).toObject();
    QCOMPARE(report.registrationNumber, registration.value(u"number"_s).toString());
    QCOMPARE(report.vehicleRegistrationNation, countryName(quint8(registration.value(u"nation"_s).toInt())));
    QCOMPARE(fieldValue(report.vehicleIdentification, u"VIN номер"_s), report.vin);
    QCOMPARE(report.currentUsage.size(), 1);

    QCOMPARE(
        rowTime(report.currentDateTime, u"currentDateTime"_s), expectedTime(overview.value(u"current_datetime"_s)));
    QCOMPARE(rowTime(report.downloadablePeriod, u"minDownloadableTime"_s),
        expectedTime(overview.value(u"min_downloadable_time"_s)));
    QCOMPARE(rowTime(report.downloadablePeriod, u"maxDownloadableTime"_s),
        expectedTime(overview.value(u"max_downloadable_time"_s)));

    const QJsonObject cardSlots = overview.value(u"card_slots"_s).toObject();
    QCOMPARE(fieldValue(report.insertedCardType, u"driverCardSlot"_s), slotText(cardSlots.value(u"driver"_s).toInt()));
    QCOMPARE(
        fieldValue(report.insertedCardType, u"co-driverCardSlot"_s), slotText(cardSlots.value(u"codriver"_s).toInt()));
    QCOMPARE(report.insertedCardType.first().toMap().value(u"hexData"_s).toString(),
        u"%1"_s.arg(overview.value(u"card_slots_status"_s).toInt(), 2, 16, QLatin1Char('0')).toUpper());

    const QJsonObject download = overview.value(u"download_activity"_s).toObject();
    const QJsonObject card = download.value(u"card"_s).toObject();
    QCOMPARE(
        rowTime(report.downloadActivity, u"downloadingTime"_s), expectedTime(download.value(u"downloading_time"_s)));
    QCOMPARE(fieldValue(report.downloadActivity, u"cardType"_s), cardTypeName(quint8(card.value(u"type"_s).toInt())));
    QCOMPARE(fieldValue(report.downloadActivity, u"cardIssuingMemberState"_s),
        countryName(quint8(card.value(u"nation"_s).toInt())));
    QCOMPARE(fieldValue(report.downloadActivity, u"driverCardNumber"_s), card.value(u"number"_s).toString());
    QCOMPARE(fieldValue(report.downloadActivity, u"companyOrWorkshopName"_s),
        download.value(u"company_or_workshop_name"_s).toString());

    QCOMPARE(report.companyLocks.size(), overview.value(u"company_locks"_s).toInt());
    QCOMPARE(report.controlActivity.size(), overview.value(u"controls"_s).toInt());
}

QTEST_GUILESS_MAIN(TestVuOverview)
#include "tst_vu_overview.moc"
