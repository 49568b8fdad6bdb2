// The driver card's record files: events, faults, vehicles used, places, current usage, the last control and
// specific conditions.

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "support/card_test_blocks.h"
#include "support/ddd_file_builder.h"
#include "support/ddd_test_rows.h"
#include "support/time_zone_pin.h"

#include <QTest>
#include <QTimeZone>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;
using tessaron::test::be32;
using tessaron::test::beBytes;
using tessaron::test::cardBlock;
using tessaron::test::decodeCardBlocks;
using tessaron::test::descriptions;
using tessaron::test::fieldValue;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;
using tessaron::test::setTimeZone;
using tessaron::test::unixTime;

namespace {

QByteArray le32(quint32 value)
{
    QByteArray bytes = be32(value);
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

// Registration: nation, code page, 13 bytes of number.
QByteArray registration(quint8 nation, const QByteArray &number)
{
    return char(nation) + QByteArray(1, '\x01') + number.leftJustified(13, ' ', true);
}

// CardEventRecord / CardFaultRecord, 24 bytes.
QByteArray eventRecord(
    quint8 type, const QByteArray &begin, const QByteArray &end, const QByteArray &number = "1234ABC")
{
    return char(type) + begin + end + registration(0x2B, number);
}

// CardVehicleRecord, 31 bytes.
QByteArray vehicleRecord(quint32 odometerBegin, quint32 odometerEnd, quint32 firstUse, quint32 lastUse,
    const QByteArray &number, quint16 counter)
{
    return beBytes(odometerBegin, 3) + beBytes(odometerEnd, 3) + be32(firstUse) + be32(lastUse)
        + registration(0x2B, number) + beBytes(counter, 2);
}

} // namespace

class TestCardRecords : public QObject
{
    Q_OBJECT

private slots:
    void init() { pinTimeZoneAndClock(); }
    void cleanup() { releaseTimeZoneAndClock(); }

    void events_data();
    void events();
    void eventRow();
    void eventCapAcrossTwoFiles();
    void faults_data();
    void faults();
    void vehicles();
    void places();
    void currentUsage_data();
    void currentUsage();
    void controlActivity();
    void controlTimes_data();
    void controlTimes();
    void shortControlActivity();
    void specificConditions();
    void onlyDataBlocksAreDecoded();
};

void TestCardRecords::events_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("rows");
    const QByteArray time = be32(unixTime(2024, 3, 5, 10));
    QTest::addRow("all zero") << eventRecord(0, be32(0), be32(0)) << 0;
    QTest::addRow("type 0 with an end time") << eventRecord(0, be32(0), time) << 1;
    // A type without a name here is still an event the card holds.
    QTest::addRow("type 0x1C kept") << eventRecord(0x1C, time, time) << 1;
    QTest::addRow("23 bytes") << eventRecord(0x05, time, time).left(23) << 0;
}

void TestCardRecords::events()
{
    QFETCH(QByteArray, record);
    QFETCH(int, rows);
    QCOMPARE(decodeCardBlocks({cardBlock("0502", record)}).events.size(), rows);
}

void TestCardRecords::eventRow()
{
    const QByteArray data = eventRecord(0x1C, be32(0), be32(unixTime(2024, 3, 5, 9, 5)), "  \xC0\xC1 77")
        + eventRecord(0x07, be32(unixTime(2024, 3, 5)), be32(unixTime(2024, 3, 6))).left(20);
    const DddReport report = decodeCardBlocks({cardBlock("0502", data)});
    QCOMPARE(report.events.size(), 1);
    const QVariantMap row = report.events.first().toMap();
    QCOMPARE(row.value(u"eventType"_s).toString(), u"НЕИЗВЕСТНОЕ СОБЫТИЕ (0X1C)"_s);
    QCOMPARE(row.value(u"eventTypeEnglish"_s).toString(), u"Reserved for future use"_s);
    QCOMPARE(row.value(u"eventBeginTime"_s).toString(), u"01.01.1970 00:00:00"_s);
    QCOMPARE(row.value(u"eventEndTime"_s).toString(), u"05.03.2024 9:05:00"_s);
    QCOMPARE(row.value(u"vehicleRegistrationNation"_s).toString(), u"Российская Федерация"_s);
    QCOMPARE(row.value(u"vehicleRegistrationNumber"_s).toString(), u"АБ 77"_s);
}

void TestCardRecords::eventCapAcrossTwoFiles()
{
    QByteArray file;
    for (int i = 0; i < 700; ++i)
        file += eventRecord(0x01, be32(unixTime(2024, 1, 1) + quint32(i)), be32(unixTime(2024, 1, 2)));
    const DddReport report = decodeCardBlocks({cardBlock("0502", file), cardBlock("0502", file)});
    QCOMPARE(report.events.size(), 1000);
    QCOMPARE(report.events.last().toMap().value(u"eventBeginTime"_s).toString(), u"01.01.2024 0:04:59"_s);

    QByteArray faults;
    for (int i = 0; i < 700; ++i)
        faults += eventRecord(0x35, be32(unixTime(2024, 1, 1)), be32(unixTime(2024, 1, 2)));
    QCOMPARE(decodeCardBlocks({cardBlock("0503", faults), cardBlock("0503", faults)}).faults.size(), 1000);
}

void TestCardRecords::faults_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("begin");
    const QByteArray end = be32(unixTime(2024, 3, 6));
    QTest::addRow("big-endian, UTC") << eventRecord(0x35, be32(unixTime(2024, 3, 5, 10)), end)
                                     << u"05.03.2024 10:00:00"_s;
    // Big-endian reading before 2000: the little-endian one, in local time (UTC+3).
    QTest::addRow("little-endian rescue, local")
        << eventRecord(0x35, le32(unixTime(2024, 3, 5, 10) & ~0xFFu), end) << u"05.03.2024 12:59:28"_s;
    QTest::addRow("no plausible begin") << eventRecord(0x35, be32(0), end) << QString();
    QTest::addRow("type 0") << eventRecord(0, be32(unixTime(2024, 3, 5)), end) << QString();
}

void TestCardRecords::faults()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, begin);
    setTimeZone("Europe/Moscow");
    const DddReport report = decodeCardBlocks({cardBlock("0503", record)});
    QCOMPARE(report.faults.size(), begin.isEmpty() ? 0 : 1);
    if (begin.isEmpty())
        return;
    const QVariantMap row = report.faults.first().toMap();
    QCOMPARE(row.value(u"faultType"_s).toString(), u"Неисправность тахографа: Неисправность датчика"_s);
    QCOMPARE(row.value(u"faultBeginTime"_s).toString(), begin);
    QCOMPARE(row.value(u"faultEndTime"_s).toString(), u"06.03.2024 0:00:00"_s);
    QCOMPARE(row.value(u"faultVehicleRegistrationNation"_s).toString(), u"Российская Федерация"_s);
    QCOMPARE(row.value(u"faultVehicleRegistrationNumber"_s).toString(), u"1234ABC"_s);
}

void TestCardRecords::vehicles()
{
    const QByteArray data = beBytes(0x00A8, 2) + vehicleRecord(0, 0, 0, 0, QByteArray(13, '\0'), 0)
        + vehicleRecord(147, 244, unixTime(2021, 12, 28, 13), unixTime(2021, 12, 28, 23), "TEST77", 42)
        + vehicleRecord(0xFFFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, QByteArray(13, '\xFF'), 0xFFFF)
        + vehicleRecord(0, 0, 0, 0, "\xB0\xB1", 0) + QByteArray(30, '\x11');
    const DddReport report = decodeCardBlocks({cardBlock("0505", data)});
    QCOMPARE(report.vehicles.size(), 3);
    const QVariantMap used = report.vehicles.at(0).toMap();
    QCOMPARE(used.value(u"vehicleOdometerBegin"_s), QVariant(147));
    QCOMPARE(used.value(u"vehicleOdometerEnd"_s), QVariant(244));
    QCOMPARE(used.value(u"vehicleFirstUsed"_s).toString(), u"28.12.2021 13:00:00"_s);
    QCOMPARE(used.value(u"vehicleLastUsed"_s).toString(), u"28.12.2021 23:00:00"_s);
    QCOMPARE(used.value(u"vehicleRegistrationNation1"_s).toString(), u"Российская Федерация"_s);
    QCOMPARE(used.value(u"vehicleRegistrationNumber1"_s).toString(), u"TEST77"_s);
    QCOMPARE(used.value(u"vuDataBlockCounter"_s).toString(), u"0042"_s);
    const QVariantMap unset = report.vehicles.at(1).toMap();
    for (const QString &key :
        {u"vehicleOdometerBegin"_s, u"vehicleOdometerEnd"_s, u"vehicleFirstUsed"_s, u"vehicleLastUsed"_s})
        QCOMPARE(unset.value(key), QVariant(u"НЕТ ДАННЫХ"_s));
    QCOMPARE(unset.value(u"vuDataBlockCounter"_s).toString(), u"65535"_s);
    QCOMPARE(report.vehicles.at(2).toMap().value(u"vehicleRegistrationNumber1"_s).toString(), u"АБ"_s);

    QVERIFY(decodeCardBlocks({cardBlock("0505", data.left(32))}).vehicles.isEmpty());
}

void TestCardRecords::places()
{
    const QByteArray data = QByteArray(1, '\x02') + be32(unixTime(2022, 2, 17, 6)) + QByteArray::fromHex("002B2B0186A0")
        + be32(unixTime(2022, 2, 17, 18)) + QByteArray::fromHex("012B00FFFFFF") + be32(0)
        + QByteArray::fromHex("002B000186A0") + QByteArray(9, '\x22');
    const DddReport report = decodeCardBlocks({cardBlock("0506", data)});
    QCOMPARE(report.places.size(), 2);
    const QVariantMap begin = report.places.at(0).toMap();
    QCOMPARE(begin.value(u"entryTime"_s).toString(), u"17.02.2022 06:00:00"_s);
    QCOMPARE(begin.value(u"entryTypeDailyWorkPeriod"_s).toString(), u"Begin"_s);
    QCOMPARE(begin.value(u"dailyWorkPeriodCountry"_s).toString(), u"Российская Федерация"_s);
    QCOMPARE(begin.value(u"dailyWorkPeriodRegion"_s).toString(), u"Нет данных"_s);
    QCOMPARE(begin.value(u"vehicleOdometerValue"_s).toString(), u"100000"_s);
    const QVariantMap end = report.places.at(1).toMap();
    QCOMPARE(end.value(u"entryTypeDailyWorkPeriod"_s).toString(), u"End"_s);
    QCOMPARE(end.value(u"vehicleOdometerValue"_s).toString(), u"Нет данных"_s);
    QVERIFY(decodeCardBlocks({cardBlock("0506", data.left(10))}).places.isEmpty());
}

void TestCardRecords::currentUsage_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("number");
    const QByteArray usage = be32(unixTime(2023, 4, 28, 11, 15)) + registration(0x2B, "3412LFB-99999");
    const QStringList all = {u"sessionOpenTime"_s, u"vehicleRegistrationNation"_s, u"vehicleRegistrationNumber"_s};
    // The number fills all 13 bytes after its code page.
    QTest::addRow("15 bytes") << usage.left(15) << all << u"3412LFB-9"_s;
    QTest::addRow("2 bytes: nation at 0") << QByteArray("\x2B\x00", 2) << all.mid(1, 1) << QString();
}

void TestCardRecords::currentUsage()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, rows);
    QFETCH(QString, number);
    const DddReport report = decodeCardBlocks({cardBlock("0507", data)});
    QCOMPARE(descriptions(report.currentUsage), rows);
    if (rows.first() == u"sessionOpenTime"_s)
        QCOMPARE(fieldValue(report.currentUsage, u"sessionOpenTime"_s), u"28.04.2023 11:15:00"_s);
    if (rows.size() > 1)
        QCOMPARE(fieldValue(report.currentUsage, u"vehicleRegistrationNation"_s), u"Российская Федерация"_s);
    if (!number.isEmpty())
        QCOMPARE(fieldValue(report.currentUsage, u"vehicleRegistrationNumber"_s), number);
    QCOMPARE(fieldValue(decodeCardBlocks({cardBlock("0507", QByteArray(6, '\0'))}).currentUsage, u"sessionOpenTime"_s),
        u"Invalid timestamp"_s);
}

// CardControlActivityDataRecord, 46 bytes; its times are stored most significant byte first like every other.
void TestCardRecords::controlActivity()
{
    setTimeZone("Europe/Moscow");
    const QByteArray data = QByteArray(1, '\x02') + be32(unixTime(2006, 2, 8, 22)) + QByteArray::fromHex("032B")
        + QByteArray("RUC0000012345600") + registration(0x2B, "A123BC77") + be32(unixTime(2006, 1, 1, 21))
        + be32(unixTime(2006, 2, 8, 12));
    QCOMPARE(data.size(), 46);
    const DddReport report = decodeCardBlocks({cardBlock("0508", data)});
    const QVariantList &rows = report.controlActivity;
    QCOMPARE(descriptions(rows),
        QStringList({u"controlType"_s, u"controlTime"_s, u"cardType"_s, u"cardIssuingMemberState"_s, u"cardNumber"_s,
            u"vehicleRegistrationNation"_s, u"vehicleRegistrationNumber"_s, u"controlDownloadPeriodBegin"_s,
            u"controlDownloadPeriodEnd"_s}));
    QCOMPARE(fieldValue(rows, u"controlType"_s), u"Surveillance"_s);
    QCOMPARE(fieldValue(rows, u"controlTime"_s), u"09.02.2006"_s);
    QCOMPARE(fieldValue(rows, u"cardType"_s), u"Control Card"_s);
    QCOMPARE(fieldValue(rows, u"cardIssuingMemberState"_s), u"Российская Федерация"_s);
    QCOMPARE(fieldValue(rows, u"cardNumber"_s), u"RUC0000012345600"_s);
    QCOMPARE(fieldValue(rows, u"vehicleRegistrationNumber"_s), u"A123BC77"_s);
    QCOMPARE(fieldValue(rows, u"controlDownloadPeriodBegin"_s), u"02.01.2006 0:00:00"_s);
    QCOMPARE(fieldValue(rows, u"controlDownloadPeriodEnd"_s), u"08.02.2006 15:00:00"_s);
}

void TestCardRecords::controlTimes_data()
{
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QString>("controlTime");
    QTest::addColumn<QString>("periodText");
    QTest::addRow("zero") << be32(0) << u"01.01.1970"_s << QString();
    QTest::addRow("little-endian rescue")
        << le32(unixTime(2024, 3, 5, 10) & ~0xFFu) << u"05.03.2024"_s << u"05.03.2024 9:59:28"_s;
    QTest::addRow("neither plausible") << be32(0x01000000) << u"01.01.1970"_s << QString();
}

void TestCardRecords::controlTimes()
{
    QFETCH(QByteArray, time);
    QFETCH(QString, controlTime);
    QFETCH(QString, periodText);
    const QByteArray data = QByteArray(1, '\0') + time + QByteArray(33, '\0') + time + time;
    const DddReport report = decodeCardBlocks({cardBlock("0508", data)});
    QCOMPARE(fieldValue(report.controlActivity, u"controlTime"_s), controlTime);
    QCOMPARE(fieldValue(report.controlActivity, u"controlDownloadPeriodBegin"_s), periodText);
    QCOMPARE(fieldValue(report.controlActivity, u"controlDownloadPeriodEnd"_s), periodText);
}

void TestCardRecords::shortControlActivity()
{
    const DddReport one = decodeCardBlocks({cardBlock("0508", QByteArray(1, '\x07'))});
    QCOMPARE(descriptions(one.controlActivity), QStringList({u"controlType"_s}));
    QCOMPARE(fieldValue(one.controlActivity, u"controlType"_s), u"Unknown (0x07)"_s);
    const DddReport cut = decodeCardBlocks({cardBlock("0508", QByteArray(44, '\0'))});
    QCOMPARE(descriptions(cut.controlActivity).size(), 8);
    QVERIFY(decodeCardBlocks({cardBlock("0508", {})}).controlActivity.isEmpty());
}

// Entry times show in UTC like every other card time.
void TestCardRecords::specificConditions()
{
    const QByteArray data = be32(unixTime(2024, 3, 5, 10)) + QByteArray(1, '\x03') + be32(0) + QByteArray(1, '\x01')
        + be32(0xFFFFFFFF) + QByteArray(1, '\x01') + be32(unixTime(1999, 12, 31)) + QByteArray(1, '\x01')
        + be32(unixTime(2024, 3, 6)) + QByteArray(1, '\x1C') + QByteArray(4, '\x01');
    const DddReport report = decodeCardBlocks({cardBlock("0522", data)});
    QCOMPARE(report.specificConditions.size(), 2);
    const QVariantMap row = report.specificConditions.first().toMap();
    QCOMPARE(row.value(u"entryTime"_s).toString(), u"05.03.2024 10:00:00"_s);
    QCOMPARE(row.value(u"specificConditionType"_s).toString(), u"Паром/поезд — начало"_s);
    QCOMPARE(row.value(u"conditionCode"_s), QVariant(3));
    QCOMPARE(row.value(u"hexData"_s).toString(), QString::fromLatin1(data.left(5).toHex().toUpper()));
    QCOMPARE(report.specificConditions.last().toMap().value(u"specificConditionType"_s).toString(),
        u"СПЕЦИАЛЬНОЕ УСЛОВИЕ 0X1C"_s);
}

// Signatures and second-generation files carry the same numbers; none of them is read as data.
void TestCardRecords::onlyDataBlocksAreDecoded()
{
    const QByteArray events = eventRecord(0x05, be32(unixTime(2024, 3, 5)), be32(unixTime(2024, 3, 5)));
    const QByteArray conditions = be32(unixTime(2024, 3, 5)) + QByteArray(1, '\x01');
    QList<DddBlock> blocks;
    for (const int type : {1, 2, 3, 0x81}) {
        blocks.append(cardBlock("0502", events, type));
        blocks.append(cardBlock("0522", conditions, type));
        blocks.append(cardBlock("0508", QByteArray(46, '\0'), type));
        blocks.append(cardBlock("0507", QByteArray(19, '\0'), type));
    }
    blocks.append(cardBlock("C100", QByteArray(194, '\x01')));
    const DddReport report = decodeCardBlocks(blocks);
    QVERIFY(report.events.isEmpty());
    QVERIFY(report.specificConditions.isEmpty());
    QVERIFY(report.controlActivity.isEmpty());
    QVERIFY(report.currentUsage.isEmpty());
}

QTEST_GUILESS_MAIN(TestCardRecords)
#include "tst_card_records.moc"
