#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "ddd/record_names.h"
#include "ddd/vu_records.h"
#include "ddd/vu_sample_blocks.h"
#include "ddd/vu_test_blocks.h"
#include "support/ddd_file_builder.h"
#include "support/ddd_test_rows.h"
#include "support/time_zone_pin.h"

#include <QTest>
#include <QTimeZone>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;
using tessaron::test::be32;
using tessaron::test::descriptions;
using tessaron::test::fieldValue;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;
using tessaron::test::setTimeZone;
using tessaron::test::unixTime;

class TestVuOverview : public QObject
{
    Q_OBJECT

private slots:
    void init() { pinTimeZoneAndClock(); }
    void cleanup() { releaseTimeZoneAndClock(); }

    void effectiveLength_data();
    void effectiveLength();
    void timeText_data();
    void timeText();
    void littleEndianRescueReadsLocalTime();
    void parseDateTime_data();
    void parseDateTime();
    void cardNumberText_data();
    void cardNumberText();

    void countOverrunsTheBlock();
    void shortOverview_data();
    void shortOverview();
    void onlyFirstOverview();
    void emptySlots();

    void averageSpeedWeightedByValidSeconds_data();
    void averageSpeedWeightedByValidSeconds();
    void speedsKeptWhenBothSet();
    void distanceCovered_data();
    void distanceCovered();
    void countsAndDataRange();

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

    const QByteArray download = be32(unixTime(2022, 9, 7, 10, 9, 25));
    QTest::addRow("big-endian download time") << download << qsizetype(0) << u"07.09.2022 10:09:25"_s;
    QTest::addRow("hour without leading zero")
        << be32(unixTime(2022, 9, 7, 0, 0, 0)) << qsizetype(0) << u"07.09.2022 0:00:00"_s;
    QTest::addRow("last second of 2100") << be32(unixTime(2100, 12, 31, 23, 59, 59)) << qsizetype(0)
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
    QCOMPARE(vu::vuTimeText(be32(unixTime(2022, 9, 7, 10, 9, 25)), 0), u"07.09.2022 10:09:25"_s);
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

namespace {

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

namespace {

DddReport decodeBlocks(const QList<QByteArray> &blocks, const QString &fileNumber = u"7601"_s)
{
    DddReport report;
    report.fileType = DddFileType::Tachograph;
    int occurrence = 0;
    for (const QByteArray &data : blocks)
        report.blocks.append(tessaron::test::vu::block(fileNumber, ++occurrence, data));
    Decoder::parseTachographData(report);
    return report;
}

} // namespace

// Five company locks announced, room for two: the control activities are read right behind the second.
void TestVuOverview::countOverrunsTheBlock()
{
    tessaron::test::vu::OverviewBlock block;
    block.companyLockCount = 5;
    block.companyLockRecords = 2;
    block.controlCount = 1;
    block.controlRecords = 1;
    const DddReport report = decodeBlocks({block.bytes()});

    QCOMPARE(report.companyLocks.size(), 2);
    QCOMPARE(report.companyLocks.at(0).toMap().value(u"recordIndex"_s), QVariant(0));
    QCOMPARE(report.companyLocks.at(1).toMap().value(u"recordIndex"_s), QVariant(1));
    QCOMPARE(report.companyLocks.at(1).toMap().value(u"hexData"_s).toString(), u"4D"_s.repeated(98));
    QCOMPARE(report.controlActivity.size(), 1);
    QCOMPARE(report.controlActivity.first().toMap().value(u"hexData"_s).toString(), u"43"_s.repeated(31));
}

void TestVuOverview::shortOverview_data()
{
    QTest::addColumn<int>("effectiveLength");
    QTest::addColumn<QString>("vin");
    QTest::addColumn<int>("timeRows");
    QTest::addColumn<int>("periodRows");
    QTest::addColumn<int>("slotRows");

    QTest::addRow("identification only") << 422 << u"WDB9634031L123456"_s << 0 << 0 << 0;
    QTest::addRow("up to the current time") << 426 << u"WDB9634031L123456"_s << 1 << 0 << 0;
    QTest::addRow("up to the slots") << 435 << u"WDB9634031L123456"_s << 1 << 2 << 2;
    // Without the identification every later group is read from offset 390.
    QTest::addRow("identification cut") << 421 << QString() << 1 << 2 << 2;
}

void TestVuOverview::shortOverview()
{
    QFETCH(int, effectiveLength);
    QFETCH(QString, vin);
    QFETCH(int, timeRows);
    QFETCH(int, periodRows);
    QFETCH(int, slotRows);

    const QByteArray full = tessaron::test::vu::OverviewBlock().bytes();
    const DddReport report = decodeBlocks({full.left(effectiveLength) + tessaron::test::vu::signature()});
    QCOMPARE(report.vin, vin);
    QCOMPARE(report.currentUsage.size(), vin.isEmpty() ? 0 : 1);
    QCOMPARE(report.currentDateTime.size(), timeRows);
    QCOMPARE(report.downloadablePeriod.size(), periodRows);
    QCOMPARE(report.insertedCardType.size(), slotRows);
    QVERIFY(report.downloadActivity.isEmpty());
    QCOMPARE(descriptions(report.vehicleIdentification),
        (QStringList {u"VIN номер"_s, u"Страна регистрации"_s, u"Регистрационный номер"_s}));
    if (vin.isEmpty()) // the current time comes from the first VIN bytes
        QCOMPARE(report.currentDateTime.first().toMap().value(u"hexData"_s).toString(), u"57444239"_s);
}

void TestVuOverview::onlyFirstOverview()
{
    tessaron::test::vu::OverviewBlock second;
    second.vin = "XTA210930Y2765432";
    const DddReport report = decodeBlocks({tessaron::test::vu::OverviewBlock().bytes(), second.bytes()});
    QCOMPARE(report.vin, u"WDB9634031L123456"_s);
    QCOMPARE(report.currentDateTime.size(), 1);
    QCOMPARE(report.companyLocks.size(), 1);
}

void TestVuOverview::emptySlots()
{
    tessaron::test::vu::OverviewBlock block;
    block.slotStatus = 0x00;
    const DddReport report = decodeBlocks({block.bytes()});
    QCOMPARE(fieldValue(report.insertedCardType, u"driverCardSlot"_s), u"No card inserted"_s);
    QCOMPARE(fieldValue(report.insertedCardType, u"co-driverCardSlot"_s), u"No card inserted"_s);
    QCOMPARE(report.insertedCardType.last().toMap().value(u"hexData"_s).toString(), u"00"_s);
}

namespace {

QVariantMap speedRow(const QVariantList &speeds, const QVariant &validCount, double average)
{
    QVariantMap row {{u"speedValues"_s, speeds}, {u"averageSpeed"_s, average}};
    if (validCount.isValid())
        row.insert(u"validSpeedCount"_s, validCount);
    return row;
}

QVariantList speedList(std::initializer_list<int> values)
{
    QVariantList list;
    for (int value : values)
        list.append(value);
    return list;
}

} // namespace

void TestVuOverview::averageSpeedWeightedByValidSeconds_data()
{
    QTest::addColumn<QVariantList>("rows");
    QTest::addColumn<double>("average");
    QTest::addColumn<int>("maximum");

    QTest::addRow("none") << QVariantList() << 0.0 << 0;
    // 1 second at 50 and 3 at 90: the mean of the seconds, not of the blocks or of the last count.
    QTest::addRow("weights add up") << QVariantList {speedRow(speedList({50, 0, 0}), 1, 50.0),
        speedRow(speedList({80, 90, 100}), 3, 90.0)}
                                    << 80.0 << 100;
    QTest::addRow("row without a count counts each listed speed")
        << QVariantList {speedRow(speedList({10, 20}), {}, 0.0), speedRow(speedList({60}), 1, 60.0)} << 30.0 << 60;
    QTest::addRow("count above the list adds nothing")
        << QVariantList {speedRow(speedList({200}), 2, 200.0), speedRow(speedList({40}), 1, 40.0)} << 40.0 << 40;
    QVariantMap decoded = speedRow(speedList({0, 30, 0}), 1, 30.0);
    decoded.insert(u"maxSpeed"_s, 30);
    QTest::addRow("row carrying its maximum") << QVariantList {decoded} << 30.0 << 30;
    QTest::addRow("count 0 adds nothing") << QVariantList {speedRow(speedList({0, 0}), 0, 0.0)} << 0.0 << 0;
}

void TestVuOverview::averageSpeedWeightedByValidSeconds()
{
    QFETCH(QVariantList, rows);
    QFETCH(double, average);
    QFETCH(int, maximum);

    DddReport report;
    report.detailedSpeed = rows;
    report.averageSpeed = 12.0; // one of the two still 0: both are written
    Decoder::parseTachographData(report);
    QCOMPARE(report.averageSpeed, average);
    QCOMPARE(report.maxSpeed, maximum);
}

void TestVuOverview::speedsKeptWhenBothSet()
{
    DddReport report;
    report.detailedSpeed = {speedRow(speedList({80}), 1, 80.0)};
    report.averageSpeed = 12.5;
    report.maxSpeed = 99;
    Decoder::parseTachographData(report);
    QCOMPARE(report.averageSpeed, 12.5);
    QCOMPARE(report.maxSpeed, 99);
}

void TestVuOverview::distanceCovered_data()
{
    QTest::addColumn<QList<int>>("readings");
    QTest::addColumn<int>("distance");
    QTest::addRow("a month") << QList<int> {265563, 265653, 265653, 266569} << 1006;
    QTest::addRow("unset readings ignored") << QList<int> {0, 371532, 0, 372055} << 523;
    QTest::addRow("one reading") << QList<int> {371532} << 0;
    QTest::addRow("no reading") << QList<int> {0, 0} << 0;
}

void TestVuOverview::distanceCovered()
{
    QFETCH(QList<int>, readings);
    QFETCH(int, distance);
    DddReport report;
    report.totalDistanceKm = 77;
    int dayNo = 0;
    for (int reading : readings) {
        report.dayInformation.append(QVariantMap {{u"dayNo"_s, ++dayNo},
            {u"timeReal"_s, u"0%1.08.2022 23:59:59"_s.arg(dayNo)}, {u"odometerValueMidnight"_s, reading}});
    }
    Decoder::parseTachographData(report);
    QCOMPARE(report.totalDistanceKm, distance);
}

void TestVuOverview::countsAndDataRange()
{
    DddReport report;
    report.totalCalibrations = 5; // already set: kept
    report.dataEndDate = u"kept"_s;
    report.tachoFaults = {
        QVariantMap {{u"faultBeginTime"_s, u"03.08.2022 1:00:00"_s}, {u"faultEndTime"_s, u"03.08.2022 2:00:00"_s}},
        QVariantMap {{u"faultBeginTime"_s, u"03.08.2022 23:00:00"_s}},
        QVariantMap {{u"faultBeginTime"_s, u"05.08.2022 9:00:00"_s}},
        QVariantMap {{u"faultBeginTime"_s, QString()}},
    };
    report.tachoEvents = {QVariantMap {{u"eventBeginTime"_s, u"20.07.2021 6:30:00"_s}}};
    report.overSpeedingEvents = {
        QVariantMap {{u"eventBeginTime1"_s, u"01.08.2022 10:00:00"_s}},
        QVariantMap {{u"eventBeginTime"_s, u"02.08.2022 10:00:00"_s}},
        QVariantMap {{u"eventBeginTime1"_s, u"01.08.2022 12:00:00"_s}},
    };
    report.calibrationData = {QVariantMap {{u"newTimeValue"_s, u"09.09.2022"_s}}};
    Decoder::parseTachographData(report);

    QCOMPARE(report.daysWithFaults, 2);
    QCOMPARE(report.daysWithOverSpeeding, 2);
    QCOMPARE(report.totalOverSpeeding, 3);
    QCOMPARE(report.totalCalibrations, 5);
    QCOMPARE(report.totalDays, 0);
    QCOMPARE(report.totalDistanceKm, 0);
    QCOMPARE(report.dataStartDate, u"20.07.2021 6:30:00"_s);
    QCOMPARE(report.dataEndDate, u"kept"_s);
}

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

    // The whole decoding sequence, with its own splitting, gives the same.
    const DddReport whole = Decoder::decodeFile(tessaron::test::samplePath(name + u".ddd"_s));
    QCOMPARE(whole.vin, report.vin);
    QCOMPARE(whole.registrationNumber, report.registrationNumber);
    QCOMPARE(whole.vehicleRegistrationNation, report.vehicleRegistrationNation);
    QCOMPARE(whole.currentDateTime, report.currentDateTime);
    QCOMPARE(whole.downloadablePeriod, report.downloadablePeriod);
    QCOMPARE(whole.insertedCardType, report.insertedCardType);
    QCOMPARE(whole.downloadActivity, report.downloadActivity);
    QCOMPARE(whole.companyLocks, report.companyLocks);
    QCOMPARE(whole.currentUsage, report.currentUsage);
}

QTEST_GUILESS_MAIN(TestVuOverview)
#include "tst_vu_overview.moc"
