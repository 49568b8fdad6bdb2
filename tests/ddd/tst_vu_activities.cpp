#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "ddd/vu_records.h"
#include "ddd/vu_sample_blocks.h"
#include "ddd/vu_test_blocks.h"
#include "support/time_zone_pin.h"

#include <QJsonArray>
#include <QTest>
#include <QTimeZone>
#include <QtEndian>

#include <ctime>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;
using tessaron::test::unixTime;
using tessaron::test::vu::activityWord;
using tessaron::test::vu::CardRecord;
using tessaron::test::vu::DayBlock;
using tessaron::test::vu::PlaceRecord;

namespace {

DddReport decodeDays(const QList<QByteArray> &blocks)
{
    DddReport report;
    report.fileType = DddFileType::Tachograph;
    int occurrence = 0;
    for (const QByteArray &data : blocks)
        report.blocks.append(tessaron::test::vu::block(u"7602"_s, ++occurrence, data));
    Decoder::parseTachographData(report);
    return report;
}

// Decodes one block alone, without the finishing steps that renumber card records.
DddReport decodeDay(const QByteArray &data, int occurrence = 1)
{
    DddReport report;
    vu::decodeActivityBlock(report, tessaron::test::vu::block(u"7602"_s, occurrence, data));
    return report;
}

QVariantMap row(const QVariantList &rows, qsizetype index)
{
    return rows.value(index).toMap();
}

QStringList column(const QVariantList &rows, const QString &key)
{
    QStringList values;
    for (const QVariant &entry : rows)
        values.append(entry.toMap().value(key).toString());
    return values;
}

} // namespace

class TestVuActivities : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pinTimeZoneAndClock(); }
    void cleanupTestCase() { releaseTimeZoneAndClock(); }

    void cardRecordAtItsPublishedOffsets_data();
    void cardRecordAtItsPublishedOffsets();
    void cardRecordWithoutPublishedLayout();
    void cardTimeStoredLittleEndian();
    void moreThan120Changes();
    void activityCountSearchedWhenCardCountRejected();
    void cardCountHighBit();
    void implausibleDayDate();
    void eightByteBlock();
    void effectiveLengthBoundary();
    void placeCountPastTheEffectiveLength();
    void daysOutOfOrder();
    void cardRecordsDeduplicatedAndRenumbered();

    void placeTexts_data();
    void placeTexts();
    void realFile_data();
    void realFile();
};

// A record of the published layout is read at its offsets whatever its code page; the type byte of a control
// or company card no longer shifts every later field by one.
void TestVuActivities::cardRecordAtItsPublishedOffsets_data()
{
    QTest::addColumn<char>("codePage");
    QTest::addColumn<QByteArray>("surname");
    QTest::addColumn<QByteArray>("firstNames");
    QTest::addColumn<int>("cardType");
    QTest::addColumn<QString>("expectedSurname");
    QTest::addColumn<QString>("expectedFirstNames");
    QTest::addColumn<QString>("expectedType");

    QTest::addRow("Latin names, code page 1") << char(0x01) << QByteArray("ORTEGA SANCHEZ") << QByteArray("JUAN JESUS")
                                              << 1 << u"ORTEGA SANCHEZ"_s << u"JUAN JESUS"_s << u"Водитель"_s;
    QTest::addRow("Cyrillic names, workshop card")
        << char(0x05) << QByteArray("\xb8\xd2\xd0\xdd\xde\xd2") << QByteArray("\xbf\xd5\xe2\xe0") << 2 << u"Иванов"_s
        << u"Петр"_s << u"Мастерская"_s;
    QTest::addRow("Cyrillic names, control card")
        << char(0x05) << QByteArray("\xb8\xd2\xd0\xdd\xde\xd2") << QByteArray("\xbf\xd5\xe2\xe0").leftJustified(35, 'X')
        << 3 << u"Иванов"_s << (u"Петр"_s + QString(31, u'X')) << u"Водитель"_s;
    QTest::addRow("Latin-1 letters, code page 1")
        << char(0x01)
        << QByteArray("NU\xd1"
                      "EZ")
        << QByteArray("JOS\xc9") << 1 << u"NUÑEZ"_s << u"JOSÉ"_s << u"Водитель"_s;
    QTest::addRow("names ending in NUL padding") << char(0x01) << QByteArray("SMITH\0\0\0\0\0\0GARBAGE", 18)
                                                 << QByteArray("JOHN") << 4 << u"SMITH"_s << u"JOHN"_s << u"Водитель"_s;
}

void TestVuActivities::cardRecordAtItsPublishedOffsets()
{
    QFETCH(char, codePage);
    QFETCH(QByteArray, surname);
    QFETCH(QByteArray, firstNames);
    QFETCH(int, cardType);
    QFETCH(QString, expectedSurname);
    QFETCH(QString, expectedFirstNames);
    QFETCH(QString, expectedType);

    CardRecord card;
    card.codePage = codePage;
    card.surname = surname;
    card.firstNames = firstNames;
    card.cardType = quint8(cardType);
    card.nation = 0x2B;
    card.slot = 1;
    card.previousNation = 0x05;
    card.manualInput = 0;
    DayBlock day;
    day.cards = {card};
    const DddReport report = decodeDay(day.bytes(), 2);

    QCOMPARE(report.cardIwData.size(), 1);
    const QVariantMap record = row(report.cardIwData, 0);
    QCOMPARE(record.value(u"dayNo"_s), QVariant(2));
    QCOMPARE(record.value(u"blockNumber"_s), QVariant(0));
    QCOMPARE(record.value(u"recordInBlock"_s), QVariant(0));
    QCOMPARE(record.value(u"hexData"_s).toString(), QString::fromLatin1(card.bytes().toHex().toUpper()));
    QCOMPARE(record.value(u"cardHolderSurname"_s).toString(), expectedSurname);
    QCOMPARE(record.value(u"cardHolderFirstNames"_s).toString(), expectedFirstNames);
    QCOMPARE(record.value(u"cardType"_s).toString(), expectedType);
    QCOMPARE(record.value(u"cardIssuingMemberState"_s).toString(), u"Российская Федерация"_s);
    QCOMPARE(record.value(u"driverCardNumber"_s).toString(), u"E51372045G000001"_s);
    QCOMPARE(record.value(u"cardExpiryDate"_s).toString(), u"05.03.2023"_s);
    QCOMPARE(record.value(u"cardInsertionDate"_s).toString(), u"30.07.2022 14:45:38"_s);
    QCOMPARE(record.value(u"vehicleOdometerValueAtInsertion"_s), QVariant(265382));
    QCOMPARE(record.value(u"cardSlot"_s).toString(), u"Сопряжённый водитель"_s);
    QCOMPARE(record.value(u"cardSlotNumber"_s).toString(), u"Сопряжённый водитель"_s);
    QCOMPARE(record.value(u"cardWithdrawalTime"_s).toString(), u"31.07.2022 3:45:20"_s);
    QCOMPARE(record.value(u"vehicleOdometerValueAtWithdrawal"_s), QVariant(265549));
    QCOMPARE(record.value(u"prevVehicleRegistrationNation"_s).toString(), u"Азербайджан"_s);
    QCOMPARE(record.value(u"prevVehicleRegistrationNumber"_s).toString(), u"5104JNL"_s);
    QCOMPARE(record.value(u"prevCardWithdrawalTime"_s).toString(), u"29.07.2022 15:44:40"_s);
    QCOMPARE(record.value(u"manualInputFlag"_s).toString(), u"Нет"_s);
}

// No card type byte where the layout puts it: the record is taken apart by its separators.
void TestVuActivities::cardRecordWithoutPublishedLayout()
{
    QByteArray record(129, '\0');
    record[12] = 2;
    record[13] = 0x2B;
    record.replace(14, 16, "RUD0000093346301");
    DayBlock day;
    QByteArray bytes = day.bytes();
    bytes[10] = 1;
    bytes.insert(11, record);
    const DddReport report = decodeDay(bytes);

    QCOMPARE(report.cardIwData.size(), 1);
    const QVariantMap row = report.cardIwData.first().toMap();
    QVERIFY(!row.contains(u"cardHolderSurname"_s));
    QVERIFY(!row.contains(u"cardHolderFirstNames"_s));
    QCOMPARE(row.value(u"cardType"_s).toString(), u"Мастерская"_s);
    QCOMPARE(row.value(u"cardIssuingMemberState"_s).toString(), u"Российская Федерация"_s);
    QCOMPARE(row.value(u"driverCardNumber"_s).toString(), u"RUD0000093346301"_s);
    QCOMPARE(row.value(u"cardExpiryDate"_s).toString(), u"01.01.0001 0:00:00"_s);
    QCOMPARE(report.activityDaily.size(), 2);
}

// A card time whose stored order gives no plausible year is read the other way round, in UTC whatever the zone;
// one plausible both ways keeps the stored order although the other lies nearer to "now".
void TestVuActivities::cardTimeStoredLittleEndian()
{
    qputenv("TZ", "MSK-3");
    tzset();
    CardRecord card;
    card.insertion = qbswap(unixTime(2022, 7, 30, 14, 45, 38)); // the builder writes it most significant first
    card.withdrawal = 0x4F000060; // 2012 stored, 2021 the other way
    DayBlock day;
    day.cards = {card};
    const DddReport report = decodeDay(day.bytes());
    qputenv("TZ", "UTC");
    tzset();
    QCOMPARE(row(report.cardIwData, 0).value(u"cardInsertionDate"_s).toString(), u"30.07.2022 14:45:38"_s);
    QCOMPARE(row(report.cardIwData, 0).value(u"cardWithdrawalTime"_s).toString(), u"01.01.2012 6:42:40"_s);
}

// A day with more than 120 changes keeps every one of them: the count is read where the layout puts it.
void TestVuActivities::moreThan120Changes()
{
    for (int count : {121, 136, 1440}) {
        DayBlock day;
        day.activities.clear();
        for (int minute = 0; minute < count; ++minute)
            day.activities.append(activityWord(minute % 2, false, false, minute % 4, minute));
        day.places = {PlaceRecord()};
        const DddReport report = decodeDay(day.bytes());
        QCOMPARE(report.activityDaily.size(), count);
        QCOMPARE(row(report.activityDaily, count - 1).value(u"minutes"_s), QVariant(count - 1));
        QCOMPARE(report.placeDailyWorkPeriod.size(), 1);
    }
}

// A card count of 101 is refused; the activity count is then searched for from the count word on.
void TestVuActivities::activityCountSearchedWhenCardCountRejected()
{
    DayBlock day;
    QByteArray bytes = day.bytes();
    bytes[10] = 0x65;
    const DddReport report = decodeDay(bytes);
    QVERIFY(report.cardIwData.isEmpty());
    QCOMPARE(report.activityDaily.size(), 2);
    QCOMPARE(column(report.activityDaily, u"slot"_s), (QStringList {u"Водитель"_s, u"Сопряжённый водитель"_s}));
}

void TestVuActivities::cardCountHighBit()
{
    DayBlock day;
    day.cards = {CardRecord(), CardRecord()};
    QByteArray bytes = day.bytes();
    bytes[9] = 0x20;
    const DddReport report = decodeDay(bytes);
    QCOMPARE(report.cardIwData.size(), 2);
    QCOMPARE(report.activityDaily.size(), 2);
}

void TestVuActivities::implausibleDayDate()
{
    DayBlock day;
    day.date = 0;
    day.cards = {CardRecord()};
    const DddReport report = decodeDay(day.bytes(), 4);
    QVERIFY(report.dayInformation.isEmpty());
    QCOMPARE(report.cardIwData.size(), 1);
    QCOMPARE(report.activityDaily.size(), 2);
    QCOMPARE(row(report.activityDaily, 0).value(u"dayNo"_s), QVariant(4));
}

// Too short for a day header: the card count is taken at offset 2.
void TestVuActivities::eightByteBlock()
{
    const DddReport report = decodeDay(QByteArray::fromHex("760200000001D83C"));
    QVERIFY(report.dayInformation.isEmpty());
    QCOMPARE(report.activityDaily.size(), 1);
    QCOMPARE(row(report.activityDaily, 0).value(u"minutes"_s), QVariant(60));
}

void TestVuActivities::effectiveLengthBoundary()
{
    DayBlock day;
    day.signatureBytes.clear();
    const QByteArray unsigned129 = day.bytes().leftJustified(129, '\0');
    QCOMPARE(decodeDay(unsigned129).dayInformation.size(), 1);
    QCOMPARE(decodeDay(unsigned129).activityDaily.size(), 2);

    const DddReport signed130 = decodeDay(unsigned129 + '\0');
    QVERIFY(signed130.dayInformation.isEmpty());
    QVERIFY(signed130.activityDaily.isEmpty());
}

// The changes end the effective length: the signature behind them is never read as a place count.
void TestVuActivities::placeCountPastTheEffectiveLength()
{
    DayBlock day;
    day.signatureBytes.clear();
    QByteArray bytes = day.bytes();
    bytes.chop(3); // place count and the specific-condition count
    const QByteArray fakeSignature = QByteArray('\x01' + PlaceRecord().bytes()).leftJustified(128, '\x01');
    const DddReport report = decodeDay(bytes + fakeSignature);
    QCOMPARE(report.activityDaily.size(), 2);
    QVERIFY(report.placeDailyWorkPeriod.isEmpty());
}

void TestVuActivities::daysOutOfOrder()
{
    QList<QByteArray> blocks;
    for (int dayOfMonth : {2, 3, 1}) {
        DayBlock day;
        day.date = unixTime(2022, 8, dayOfMonth, 23, 59, 59);
        day.activities = {activityWord(false, false, false, 3, dayOfMonth)};
        blocks.append(day.bytes());
    }
    const DddReport report = decodeDays(blocks);
    QCOMPARE(column(report.dayInformation, u"timeReal"_s),
        (QStringList {u"01.08.2022 23:59:59"_s, u"02.08.2022 23:59:59"_s, u"03.08.2022 23:59:59"_s}));
    QCOMPARE(column(report.dayInformation, u"dayNo"_s), (QStringList {u"3"_s, u"1"_s, u"2"_s}));
    QCOMPARE(column(report.activityDaily, u"activityDate"_s),
        (QStringList {u"02.08.2022"_s, u"03.08.2022"_s, u"01.08.2022"_s}));
    QCOMPARE(column(report.activityDaily, u"minutes"_s), (QStringList {u"2"_s, u"3"_s, u"1"_s}));
    QCOMPARE(report.dataStartDate, u"01.08.2022 23:59:59"_s);
    QCOMPARE(report.dataEndDate, u"03.08.2022 23:59:59"_s);
}

// A card session spanning midnight shows in both days' blocks; it is kept once. Rows are numbered by the day
// of insertion, and on one day a co-driver's insertion follows the driver's of the same time.
void TestVuActivities::cardRecordsDeduplicatedAndRenumbered()
{
    CardRecord overnight;
    overnight.insertion = unixTime(2022, 7, 31, 18, 55, 17);
    overnight.number = "E50956355Q000001";
    CardRecord coDriver = overnight;
    coDriver.slot = 1;
    coDriver.number = "E11111111Q000001";
    CardRecord morning;
    morning.insertion = unixTime(2022, 7, 31, 6, 0, 0);
    CardRecord nextDay;
    nextDay.insertion = unixTime(2022, 8, 1, 7, 0, 0);

    DayBlock first;
    first.cards = {coDriver, overnight, morning};
    DayBlock second;
    second.date = unixTime(2022, 8, 1, 23, 59, 59);
    second.cards = {overnight, nextDay};
    const DddReport report = decodeDays({first.bytes(), second.bytes()});

    QCOMPARE(column(report.cardIwData, u"cardInsertionDate"_s),
        (QStringList {
            u"31.07.2022 6:00:00"_s, u"31.07.2022 18:55:17"_s, u"31.07.2022 18:55:17"_s, u"01.08.2022 7:00:00"_s}));
    QCOMPARE(column(report.cardIwData, u"driverCardNumber"_s),
        (QStringList {u"E51372045G000001"_s, u"E50956355Q000001"_s, u"E11111111Q000001"_s, u"E51372045G000001"_s}));
    QCOMPARE(column(report.cardIwData, u"dayNo"_s), (QStringList {u"1"_s, u"1"_s, u"1"_s, u"2"_s}));
}

void TestVuActivities::placeTexts_data()
{
    QTest::addColumn<int>("cardType");
    QTest::addColumn<QByteArray>("number");
    QTest::addColumn<quint32>("entryTime");
    QTest::addColumn<int>("entryType");
    QTest::addColumn<int>("region");
    QTest::addColumn<QString>("expectedEntryType");
    QTest::addColumn<QString>("expectedRegion");

    const quint32 time = unixTime(2022, 7, 31, 3, 45, 20);
    QTest::addRow("complete, no region") << 1 << QByteArray("E51372045G000001") << time << 3 << 0 << u"Complete"_s
                                         << u"No information available"_s;
    QTest::addRow("intermediate, Moscow region")
        << 5 << QByteArray("E51372045G000001") << time << 4 << 0x2B << u"Intermediate"_s << u"Moscow Region"_s;
    QTest::addRow("unknown entry type and region")
        << 1 << QByteArray("E51372045G000001") << time << 0x0A << 0x1F << u"UNKNOWN (0X0A)"_s << u"REGION 0X1F"_s;
    QTest::addRow("card type 0 suppressed")
        << 0 << QByteArray("E51372045G000001") << time << 0 << 0 << QString() << QString();
    QTest::addRow("card type 6 suppressed")
        << 6 << QByteArray("E51372045G000001") << time << 0 << 0 << QString() << QString();
    QTest::addRow("four-character number suppressed")
        << 1 << QByteArray("E513") << time << 0 << 0 << QString() << QString();
    QTest::addRow("control byte in the number suppressed") << 1
                                                           << QByteArray("E5137\x01"
                                                                         "2045G00001")
                                                           << time << 0 << 0 << QString() << QString();
    QTest::addRow("unreadable entry time suppressed")
        << 1 << QByteArray("E51372045G000001") << 0u << 0 << 0 << QString() << QString();
}

void TestVuActivities::placeTexts()
{
    QFETCH(int, cardType);
    QFETCH(QByteArray, number);
    QFETCH(quint32, entryTime);
    QFETCH(int, entryType);
    QFETCH(int, region);
    QFETCH(QString, expectedEntryType);
    QFETCH(QString, expectedRegion);

    PlaceRecord place;
    place.cardType = quint8(cardType);
    place.number = number;
    place.entryTime = entryTime;
    place.entryType = quint8(entryType);
    place.region = quint8(region);
    DayBlock day;
    day.places = {place};
    const DddReport report = decodeDay(day.bytes());
    if (expectedEntryType.isEmpty()) {
        QVERIFY(report.placeDailyWorkPeriod.isEmpty());
        return;
    }
    QCOMPARE(report.placeDailyWorkPeriod.size(), 1);
    QCOMPARE(row(report.placeDailyWorkPeriod, 0).value(u"entryTypeDailyWorkPeriod"_s).toString(), expectedEntryType);
    QCOMPARE(row(report.placeDailyWorkPeriod, 0).value(u"dailyWorkPeriodRegion"_s).toString(), expectedRegion);
}

void TestVuActivities::realFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addRow("gen1 download") << u"vu-gen1-a"_s;
    QTest::addRow("anonymised gen1 download, days of 122 and 136 changes") << u"vu-gen1-anon"_s;
}

void TestVuActivities::realFile()
{
    QFETCH(QString, name);
    TESSARON_REQUIRE_VU_SAMPLE(sample, name);
    const QJsonArray days = sample.expected.value(u"vu"_s).toObject().value(u"activity_days"_s).toArray();

    qsizetype dayIndex = 0;
    for (const DddBlock &block : std::as_const(sample.report.blocks)) {
        if (block.fileNumber != u"7602")
            continue;
        QVERIFY(dayIndex < days.size());
        const QJsonObject day = days.at(dayIndex++).toObject();
        DddReport report;
        vu::decodeActivityBlock(report, block);
        const QByteArray where = "day " + day.value(u"date"_s).toString().toLatin1();

        QVERIFY2(report.dayInformation.size() == 1, where.constData());
        const QVariantMap info = report.dayInformation.first().toMap();
        QCOMPARE(vu::parseVuDateTime(info.value(u"timeReal"_s).toString()),
            QDateTime::fromString(day.value(u"time_real"_s).toString(), Qt::ISODate).toUTC());
        QCOMPARE(info.value(u"odometerValueMidnight"_s).toInt(), day.value(u"odometer_midnight"_s).toInt());

        QVERIFY2(report.cardIwData.size() == day.value(u"card_iw_records"_s).toInt(), where.constData());
        int driver = 0;
        int coDriver = 0;
        for (const QVariant &row : std::as_const(report.activityDaily))
            (row.toMap().value(u"slot"_s).toString() == u"Водитель"_s ? driver : coDriver)++;
        const QJsonObject changes = day.value(u"activity_changes"_s).toObject();
        QVERIFY2(driver == changes.value(u"driver_slot"_s).toInt(), where.constData());
        QVERIFY2(coDriver == changes.value(u"codriver_slot"_s).toInt(), where.constData());
        QCOMPARE(report.activityChanges.size(), report.activityDaily.size());
        QVERIFY2(report.placeDailyWorkPeriod.size() == day.value(u"places"_s).toInt(), where.constData());
    }
    QCOMPARE(dayIndex, days.size());

    // The whole walk: days in date order, each change dated by its day, the distance of the period.
    DddReport &report = sample.report;
    Decoder::parseTachographData(report);
    QCOMPARE(report.dayInformation.size(), days.size());
    QCOMPARE(report.totalDays, qint32(days.size()));
    QDateTime previous;
    for (const QVariant &row : std::as_const(report.dayInformation)) {
        const QDateTime time = vu::parseVuDateTime(row.toMap().value(u"timeReal"_s).toString());
        QVERIFY(!previous.isValid() || previous <= time);
        previous = time;
    }
    for (const QVariant &row : std::as_const(report.activityDaily)) {
        const QVariantMap map = row.toMap();
        const QString date = days.at(map.value(u"dayNo"_s).toInt() - 1).toObject().value(u"date"_s).toString();
        QCOMPARE(
            map.value(u"activityDate"_s).toString(), QDate::fromString(date, Qt::ISODate).toString(u"dd.MM.yyyy"_s));
    }
    int lowest = std::numeric_limits<int>::max();
    int highest = 0;
    for (const QJsonValue &day : days) {
        const int reading = day.toObject().value(u"odometer_midnight"_s).toInt();
        lowest = qMin(lowest, reading);
        highest = qMax(highest, reading);
    }
    QCOMPARE(report.totalDistanceKm, highest - lowest);
    // Events, faults and calibrations may widen the period beyond the days.
    QVERIFY(vu::parseVuDateTime(report.dataStartDate).date()
        <= QDate::fromString(days.first().toObject().value(u"date"_s).toString(), Qt::ISODate));
    QVERIFY(vu::parseVuDateTime(report.dataEndDate) >= previous);

    // The whole decoding sequence, with its own splitting, gives the same rows.
    const DddReport whole = Decoder::decodeFile(tessaron::test::samplePath(name + u".ddd"_s));
    QCOMPARE(whole.dayInformation, report.dayInformation);
    QCOMPARE(whole.activityDaily, report.activityDaily);
    QCOMPARE(whole.activityChanges, report.activityChanges);
    QCOMPARE(whole.cardIwData, report.cardIwData);
    QCOMPARE(whole.placeDailyWorkPeriod, report.placeDailyWorkPeriod);
    QCOMPARE(whole.totalDistanceKm, report.totalDistanceKm);
}

QTEST_GUILESS_MAIN(TestVuActivities)
#include "tst_vu_activities.moc"
