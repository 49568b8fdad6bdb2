// The driver card's files: identification, ICC and IC, the activity ring, events, faults, vehicles used, places,
// current usage, the last control and specific conditions. The real downloads' facts check every field they hold;
// the synthetic cases are the layouts and limits no real file shows.

#include "ddd/card_records.h"
#include "ddd/code_page_tables.h"
#include "ddd/code_page_text.h"
#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "ddd/record_names.h"
#include "ddd_file_builder.h"
#include "storage/stored_date_time.h"
#include "support/card_test_blocks.h"
#include "support/ddd_test_rows.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTest>
#include <QTimeZone>
#include <algorithm>

using namespace tessaron::ddd;
using namespace tessaron::test;
using namespace Qt::StringLiterals;

namespace {

QDateTime utcOf(const QJsonValue &iso)
{
    return tessaron::storage::isoDateTime(iso.toString()).toUTC();
}

// "dd.MM.yyyy HH:mm:ss" of an ISO time of the facts, empty for null.
QString unixText(const QJsonValue &iso)
{
    return iso.isNull() ? QString() : utcOf(iso).toString(u"dd.MM.yyyy HH:mm:ss"_s);
}

QString russianDate(QDate date)
{
    static const QStringList months = {u"января"_s, u"февраля"_s, u"марта"_s, u"апреля"_s, u"мая"_s, u"июня"_s,
        u"июля"_s, u"августа"_s, u"сентября"_s, u"октября"_s, u"ноября"_s, u"декабря"_s};
    return u"%1 %2 %3 г."_s.arg(date.day()).arg(months.at(date.month() - 1)).arg(date.year());
}

QString activityText(int activity)
{
    static const QStringList texts = {u"Rest"_s, u"Availability"_s, u"Work"_s, u"Drive"_s};
    return texts.at(activity);
}

struct ExpectedChange
{
    int day;
    int minute;
    QJsonObject fact;
};

QByteArray be16(quint16 value)
{
    return beBytes(value, 2);
}

quint32 dayOf(int day)
{
    return quint32(QDateTime(QDate(2024, 3, 1).addDays(day), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch());
}

// CardActivityDailyRecord: the length field counts the header and the change words.
QByteArray dailyRecord(int day, quint16 counter, const QList<quint16> &words, quint16 previousLength = 0)
{
    QByteArray record = be16(previousLength) + be16(quint16(12 + 2 * words.size())) + be32(dayOf(day)) + be16(counter)
        + be16(quint16(100 + day));
    for (const quint16 word : words)
        record += be16(word);
    return record;
}

// Driver, single, inserted, work from minute `minute`.
quint16 work(int minute)
{
    return quint16(0x1000 | minute);
}

QByteArray activityFile(quint16 oldest, quint16 newest, const QByteArray &ring)
{
    return be16(oldest) + be16(newest) + ring;
}

// Lays the records around a ring of `size` bytes from `oldest` on; the rest of the ring holds `filler`.
QByteArray ringFile(qsizetype size, qsizetype oldest, const QList<QByteArray> &records, char filler = '\xAA')
{
    QByteArray ring(size, filler);
    qsizetype position = oldest;
    qsizetype newest = oldest;
    for (const QByteArray &record : records) {
        newest = position;
        for (qsizetype i = 0; i < record.size(); ++i)
            ring[(position + i) % size] = record.at(i);
        position = (position + record.size()) % size;
    }
    return activityFile(quint16(oldest), quint16(newest), ring);
}

DddReport decodeActivities(const QList<QByteArray> &files)
{
    DddReport report;
    report.fileType = DddFileType::DriverCard;
    for (const QByteArray &file : files) {
        DddBlock block;
        block.fileNumber = u"0504"_s;
        block.data = file;
        report.blocks.append(block);
    }
    Decoder::parseDriverCardData(report);
    return report;
}

QStringList recordDates(const DddReport &report)
{
    QStringList dates;
    for (const QVariant &row : report.activities)
        dates.append(row.toMap().value(u"activityRecordDate"_s).toString());
    return dates;
}

QString dateOf(int day)
{
    return QDate(2024, 3, 1).addDays(day).toString(u"dd.MM.yyyy"_s);
}

QList<QByteArray> threeDays()
{
    return {dailyRecord(0, 0x0001, {work(0), work(480)}), dailyRecord(1, 0x0002, {work(0), work(60), work(600)}),
        dailyRecord(2, 0x0003, {work(10)})};
}

// A name field: code page, then the text padded with blanks to 35 bytes.
QByteArray nameField(quint8 codePage, const QByteArray &text)
{
    return char(codePage) + text.leftJustified(35, ' ', true);
}

struct Identification
{
    QByteArray cardNumber = "E12345678T000001";
    QByteArray authority = nameField(1, "TESTSTADT");
    quint32 issue = unixTime(2018, 10, 3);
    quint32 validityBegin = unixTime(2018, 10, 5);
    quint32 expiry = unixTime(2023, 10, 5);
    QByteArray surname = nameField(1, "MUSTER ROSSI");
    QByteArray firstNames = nameField(1, "ANNA");
    QByteArray birthDate = QByteArray::fromHex("19800115");
    QByteArray language = "es";

    // Card identification and holder identification, 143 bytes.
    QByteArray bytes() const
    {
        return char(0x0F) + cardNumber + authority + be32(issue) + be32(validityBegin) + be32(expiry) + surname
            + firstNames + birthDate + language;
    }
};

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

class TestCardFiles : public QObject
{
    Q_OBJECT

private slots:
    void init() { pinTimeZoneAndClock(); }
    void cleanup() { releaseTimeZoneAndClock(); }

    void realFiles_data();
    void realFiles();
    void everyOldestPositionOfAWrappedRing();
    void outOfRangePointersWalkFromTheStart_data();
    void outOfRangePointersWalkFromTheStart();
    void badRecordEndsTheWalk_data();
    void badRecordEndsTheWalk();
    void pointerOffTheChainStopsAfterOneRound();
    void tooSmallFile();
    void changeWords_data();
    void changeWords();
    void changesSortedByDayAndMinute();
    void dataPeriodFromActivityRecordDates();
    void rowsAlreadyListedSortedToo();
    void cardTimes_data();
    void cardTimes();
    void littleEndianRescueReadsLocalTime();
    void codePageText_data();
    void codePageText();
    void codePageTablesAgreeWithThePlatform_data();
    void codePageTablesAgreeWithThePlatform();
    void shortIdentification();
    void twoIdentificationFiles();
    void icc();
    void iccTooShort();
    void ic();
    void drivingLicenceTooShort();
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

void TestCardFiles::realFiles_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addRow("wrapped ring, code page 1") << u"card-gen1-a.ddd"_s;
    QTest::addRow("2007 layout, Latin-1 surname") << u"card-gen1-2007.ddd"_s;
    QTest::addRow("both generations") << u"card-gen2-anon.ddd"_s;
    QTest::addRow("non-standard, Cyrillic") << u"card-nonstandard.ddd"_s;
}

void TestCardFiles::realFiles()
{
    QFETCH(QString, sample);
    TESSARON_REQUIRE_SAMPLE(path, sample);
    const DddReport report = Decoder::decodeFile(path);
    const QJsonObject card
        = tessaron::test::sampleFacts(sample).value(u"card"_s).toObject().value(u"gen1"_s).toObject();
    {
        const QJsonObject identification = card.value(u"identification"_s).toObject();

        QCOMPARE(report.cardNumber, identification.value(u"card_number"_s).toString());
        QCOMPARE(report.driverSurname, identification.value(u"holder_surname"_s).toString());
        QCOMPARE(report.driverFirstName, identification.value(u"holder_first_names"_s).toString());
        QCOMPARE(report.driverName, report.driverSurname + u' ' + report.driverFirstName);
        QCOMPARE(report.birthDate,
            russianDate(QDate::fromString(identification.value(u"birth_date"_s).toString(), Qt::ISODate)));
        QCOMPARE(report.expiryDate, russianDate(utcOf(identification.value(u"expiry_date"_s)).date()));

        const QVariantList &rows = report.cardIdentification;
        QCOMPARE(fieldValue(rows, u"cardIssuingMemberState"_s),
            countryName(quint8(identification.value(u"issuing_member_state"_s).toInt())));
        QCOMPARE(
            fieldValue(rows, u"cardIssuingAuthorityName"_s), identification.value(u"issuing_authority"_s).toString());
        QCOMPARE(
            fieldValue(rows, u"cardIssueDate"_s), russianDate(utcOf(identification.value(u"issue_date"_s)).date()));
        QCOMPARE(fieldValue(rows, u"cardValidityBegin"_s),
            russianDate(utcOf(identification.value(u"validity_begin"_s)).date()));
        QCOMPARE(fieldValue(rows, u"cardHolderPreferredLanguage"_s),
            identification.value(u"preferred_language"_s).toString());

        const QJsonValue licence = card.value(u"driving_licence"_s);
        if (licence.isNull()) {
            QVERIFY(report.drivingLicence.isEmpty());
            QVERIFY(report.drivingLicenceNumber.isEmpty());
        } else {
            const QJsonObject facts = licence.toObject();
            QCOMPARE(report.drivingLicenceIssuingAuthority, facts.value(u"issuing_authority"_s).toString());
            QCOMPARE(report.drivingLicenceIssuingNation, countryName(quint8(facts.value(u"issuing_nation"_s).toInt())));
            QCOMPARE(report.drivingLicenceNumber, facts.value(u"number"_s).toString());
            QCOMPARE(report.drivingLicence.size(), 3);
        }
        QCOMPARE(report.lastCardDownload, unixText(card.value(u"last_card_download"_s)));

        const QJsonObject application = card.value(u"application"_s).toObject();
        QCOMPARE(fieldValue(report.applicationIdentification, u"cardStructureVersion"_s),
            application.value(u"structure_version"_s).toString());
        QCOMPARE(fieldValue(report.applicationIdentification, u"activityStructureLength"_s),
            QString::number(application.value(u"activity_structure_length"_s).toInt()));
        QCOMPARE(fieldValue(report.applicationIdentification, u"noOfCardVehicleRecords"_s),
            QString::number(application.value(u"vehicle_records"_s).toInt()));
    }
    {
        const QJsonObject activity = card.value(u"activity"_s).toObject();
        const QJsonArray days = activity.value(u"days"_s).toArray();
        QCOMPARE(report.activities.size(), days.size());
        QCOMPARE(days.size(), activity.value(u"day_count"_s).toInt());

        // Days in ring order, each change as its chart point in the same order.
        std::vector<ExpectedChange> changes;
        qsizetype chart = 0;
        for (qsizetype i = 0; i < days.size(); ++i) {
            const QJsonObject day = days.at(i).toObject();
            const QVariantMap row = report.activities.at(i).toMap();
            const QString date
                = QDate::fromString(day.value(u"date"_s).toString(), Qt::ISODate).toString(u"dd.MM.yyyy"_s);
            QCOMPARE(row.value(u"activityRecordDate"_s).toString(), date);
            QCOMPARE(row.value(u"activityDailyPresenceCounter"_s).toString().toInt(),
                day.value(u"presence_counter"_s).toInt());
            QCOMPARE(row.value(u"activityDayDistance"_s).toInt(), day.value(u"distance"_s).toInt());
            QCOMPARE(row.value(u"activityRecordLength"_s).toInt(), day.value(u"length"_s).toInt());
            const QJsonArray dayChanges = day.value(u"changes"_s).toArray();
            QCOMPARE(row.value(u"activityChangeCount"_s).toInt(), dayChanges.size());
            for (const QJsonValue &value : dayChanges) {
                const QJsonObject change = value.toObject();
                const int counter = day.value(u"presence_counter"_s).toInt();
                changes.push_back({counter, change.value(u"min"_s).toInt(), change});
                QVERIFY(chart < report.charts.size());
                const QVariantMap point = report.charts.at(chart++).toMap();
                QCOMPARE(point.value(u"day"_s).toString().toInt(), counter);
                QCOMPARE(point.value(u"time"_s).toInt(), change.value(u"min"_s).toInt());
                const bool inserted = change.value(u"inserted"_s).toBool();
                QCOMPARE(point.value(u"value"_s).toInt(), inserted ? change.value(u"act"_s).toInt() : 0);
            }
        }
        QCOMPARE(report.charts.size(), chart);

        // The analysis reads the changes sorted by day and minute.
        std::stable_sort(changes.begin(), changes.end(), [](const ExpectedChange &a, const ExpectedChange &b) {
            return a.day != b.day ? a.day < b.day : a.minute < b.minute;
        });
        QCOMPARE(report.activityChanges.size(), qsizetype(changes.size()));
        for (size_t i = 0; i < changes.size(); ++i) {
            const QVariantMap row = report.activityChanges.at(qsizetype(i)).toMap();
            const QJsonObject &fact = changes[i].fact;
            const bool inserted = fact.value(u"inserted"_s).toBool();
            QCOMPARE(row.value(u"day"_s).toString().toInt(), changes[i].day);
            QCOMPARE(row.value(u"minutes"_s).toInt(), changes[i].minute);
            QCOMPARE(row.value(u"time"_s).toString(), formatMinutes(changes[i].minute));
            QCOMPARE(row.value(u"slot"_s).toString(), fact.value(u"slot"_s).toInt() ? u"Co-Driver"_s : u"Driver"_s);
            QCOMPARE(row.value(u"cardStatus"_s).toString(), inserted ? u"Inserted"_s : u"Not Inserted"_s);
            const QString status = fact.value(u"status"_s).toString() == u"crew"_s ? u"Crew"_s : u"Single"_s;
            QCOMPARE(row.value(u"drivingStatus"_s).toString(), inserted ? status : u"Unknown"_s);
            QCOMPARE(
                row.value(u"activity"_s).toString(), inserted ? activityText(fact.value(u"act"_s).toInt()) : QString());
        }
    }
    {
        const auto count
            = [&card](const QString &name) { return qsizetype(card.value(name).toObject().value(u"count"_s).toInt()); };
        QCOMPARE(report.events.size(), count(u"events"_s));
        QCOMPARE(report.faults.size(), count(u"faults"_s));
        QCOMPARE(report.vehicles.size(), count(u"vehicles_used"_s));
        QCOMPARE(report.places.size(), count(u"places"_s));
        QCOMPARE(report.specificConditions.size(), count(u"specific_conditions"_s));

        // The newest vehicle record, found by its first use.
        const QJsonObject newest = card.value(u"vehicles_used"_s).toObject().value(u"newest"_s).toObject();
        const QString firstUse = unixText(newest.value(u"first_use"_s));
        const auto vehicle
            = std::find_if(report.vehicles.cbegin(), report.vehicles.cend(), [&firstUse](const QVariant &row) {
                  return row.toMap().value(u"vehicleFirstUsed"_s).toString() == firstUse;
              });
        QVERIFY(vehicle != report.vehicles.cend());
        const QVariantMap row = vehicle->toMap();
        QCOMPARE(row.value(u"vehicleRegistrationNumber1"_s).toString(),
            newest.value(u"registration"_s).toObject().value(u"number"_s).toString());
        QCOMPARE(row.value(u"vehicleOdometerBegin"_s).toInt(), newest.value(u"odometer_begin"_s).toInt());
        const QJsonValue lastUse = newest.value(u"last_use"_s);
        QCOMPARE(row.value(u"vehicleLastUsed"_s).toString(), lastUse.isNull() ? u"НЕТ ДАННЫХ"_s : unixText(lastUse));
    }
    {
        const QJsonValue usage = card.value(u"current_usage"_s);
        if (usage.isNull()) {
            QVERIFY(report.currentUsage.isEmpty());
        } else {
            const QJsonObject facts = usage.toObject();
            const QJsonObject vehicle = facts.value(u"vehicle"_s).toObject();
            QCOMPARE(
                fieldValue(report.currentUsage, u"sessionOpenTime"_s), unixText(facts.value(u"session_open_time"_s)));
            QCOMPARE(fieldValue(report.currentUsage, u"vehicleRegistrationNation"_s),
                countryName(quint8(vehicle.value(u"nation"_s).toInt())));
            QCOMPARE(
                fieldValue(report.currentUsage, u"vehicleRegistrationNumber"_s), vehicle.value(u"number"_s).toString());
        }
        // Every sample card holds an empty control record.
        QCOMPARE(card.value(u"control_activity"_s).toObject().value(u"control_type"_s).toInt(), 0);
        QCOMPARE(fieldValue(report.controlActivity, u"controlType"_s), u"No Activity"_s);
        QCOMPARE(fieldValue(report.controlActivity, u"controlTime"_s), u"01.01.1970"_s);
        QCOMPARE(fieldValue(report.controlActivity, u"cardNumber"_s), QString());
        QCOMPARE(fieldValue(report.controlActivity, u"controlDownloadPeriodBegin"_s), QString());
    }
}

// Every position of the oldest record, so that each record in turn is split across the end at every byte.
void TestCardFiles::everyOldestPositionOfAWrappedRing()
{
    const QList<QByteArray> records = threeDays();
    constexpr qsizetype ringSize = 60;
    for (qsizetype oldest = 0; oldest < ringSize; ++oldest) {
        const DddReport report = decodeActivities({ringFile(ringSize, oldest, records)});
        QCOMPARE(recordDates(report), QStringList({dateOf(0), dateOf(1), dateOf(2)}));
        QCOMPARE(report.activityChanges.size(), 6);
        QCOMPARE(report.charts.size(), 6);
        const QVariantMap second = report.activities.at(1).toMap();
        QCOMPARE(second.value(u"activityDailyPresenceCounter"_s).toString(), u"0002"_s);
        QCOMPARE(second.value(u"activityDayDistance"_s).toInt(), 101);
        QCOMPARE(report.charts.at(4).toMap().value(u"time"_s).toInt(), 600);
    }
}

void TestCardFiles::outOfRangePointersWalkFromTheStart_data()
{
    QTest::addColumn<quint16>("oldest");
    QTest::addColumn<quint16>("newest");
    QTest::addRow("oldest past the ring") << quint16(80) << quint16(0);
    QTest::addRow("newest past the ring") << quint16(0) << quint16(80);
}

void TestCardFiles::outOfRangePointersWalkFromTheStart()
{
    QFETCH(quint16, oldest);
    QFETCH(quint16, newest);
    const QList<QByteArray> records = threeDays();
    const QByteArray ring = records.join() + QByteArray(80 - records.join().size(), '\0');
    const DddReport report = decodeActivities({activityFile(oldest, newest, ring)});
    QCOMPARE(recordDates(report), QStringList({dateOf(0), dateOf(1), dateOf(2)}));
}

void TestCardFiles::badRecordEndsTheWalk_data()
{
    QTest::addColumn<QByteArray>("bad");
    QByteArray odd = dailyRecord(5, 0x0005, {work(1)});
    odd[3] = 15;
    QByteArray twelve = dailyRecord(5, 0x0005, {});
    QByteArray longerThanRing = dailyRecord(5, 0x0005, {work(1)});
    longerThanRing[2] = 0x10;
    QByteArray zeroDate = dailyRecord(5, 0x0005, {work(1)});
    zeroDate.replace(4, 4, QByteArray(4, '\0'));
    QTest::addRow("odd length") << odd;
    QTest::addRow("length 12, below 14") << twelve;
    QTest::addRow("longer than the ring") << longerThanRing;
    QTest::addRow("date 0") << zeroDate;
}

// In the ring and in the plain walk alike, the first bad record ends the walk and keeps what came before.
void TestCardFiles::badRecordEndsTheWalk()
{
    QFETCH(QByteArray, bad);
    const QList<QByteArray> records = {dailyRecord(0, 0x0001, {work(0)}), bad, dailyRecord(2, 0x0003, {work(0)})};
    const DddReport ring = decodeActivities({ringFile(80, 50, records)});
    QCOMPARE(recordDates(ring), QStringList({dateOf(0)}));
    const QByteArray chain = records.join() + QByteArray(80, '\0');
    const DddReport plain = decodeActivities({activityFile(0xFFFF, 0xFFFF, chain)});
    QCOMPARE(recordDates(plain), QStringList({dateOf(0)}));
}

// A newest pointer that no record starts at: the walk still ends once the records have covered the ring.
void TestCardFiles::pointerOffTheChainStopsAfterOneRound()
{
    QByteArray ring;
    for (int day = 0; day < 10; ++day)
        ring += dailyRecord(day, quint16(day), {work(day)});
    QCOMPARE(ring.size(), 140);
    const DddReport report = decodeActivities({activityFile(0, 7, ring)});
    QCOMPARE(report.activities.size(), 10);
}

void TestCardFiles::tooSmallFile()
{
    // 16 bytes: the record at offset 4 claims 12 bytes, below the minimum.
    const QByteArray file = activityFile(0, 0, dailyRecord(0, 1, {}));
    QCOMPARE(file.size(), 16);
    QVERIFY(decodeActivities({file}).activities.isEmpty());
    QVERIFY(decodeActivities({file.left(15)}).activities.isEmpty());
}

void TestCardFiles::changeWords_data()
{
    QTest::addColumn<quint16>("word");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("drivingStatus");
    QTest::addColumn<QString>("cardStatus");
    QTest::addColumn<QString>("activity");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("chartValue");
    QTest::addColumn<QString>("chartActivity");
    QTest::addRow("availability at 23:59") << quint16(0x0D9F) << u"Driver"_s << u"Single"_s << u"Inserted"_s
                                           << u"Availability"_s << 1439 << 1 << u"Availability"_s;
    QTest::addRow("not inserted hides the activity bits")
        << quint16(0x7800) << u"Driver"_s << u"Unknown"_s << u"Not Inserted"_s << QString() << 0 << 0 << u"Unknown"_s;
}

void TestCardFiles::changeWords()
{
    QFETCH(quint16, word);
    QFETCH(QString, slot);
    QFETCH(QString, drivingStatus);
    QFETCH(QString, cardStatus);
    QFETCH(QString, activity);
    QFETCH(int, minutes);
    QFETCH(int, chartValue);
    QFETCH(QString, chartActivity);
    // Minute 1440 is skipped; the word after it is still read.
    const QByteArray file = activityFile(0, 0, dailyRecord(0, 0x0123, {0x05A0, word}, 22) + QByteArray(20, '\0'));
    const DddReport report = decodeActivities({file});
    QCOMPARE(report.activities.first().toMap().value(u"activityChangeCount"_s).toInt(), 2);
    QCOMPARE(report.activities.first().toMap().value(u"activityPreviousRecordLength"_s).toInt(), 22);
    QCOMPARE(report.activityChanges.size(), 1);
    const QVariantMap change = report.activityChanges.first().toMap();
    QCOMPARE(change.value(u"activityDailyPresenceCounter1"_s).toString(), u"0123"_s);
    QCOMPARE(change.value(u"slot"_s).toString(), slot);
    QCOMPARE(change.value(u"drivingStatus"_s).toString(), drivingStatus);
    QCOMPARE(change.value(u"cardStatus"_s).toString(), cardStatus);
    QCOMPARE(change.value(u"activity"_s).toString(), activity);
    QCOMPARE(change.value(u"time"_s).toString(), formatMinutes(minutes));
    QCOMPARE(change.value(u"day"_s).toString(), u"0123"_s);
    QCOMPARE(change.value(u"minutes"_s).toInt(), minutes);
    QCOMPARE(report.charts.size(), 1);
    const QVariantMap point = report.charts.first().toMap();
    QCOMPARE(point.value(u"day"_s).toString(), u"0123"_s);
    QCOMPARE(point.value(u"time"_s).toInt(), minutes);
    QCOMPARE(point.value(u"value"_s).toInt(), chartValue);
    QCOMPARE(point.value(u"activity"_s).toString(), chartActivity);
}

// Rows leave sorted by day (the counter as a number; one that is not a number counts as 0) and minute, from
// every activity file; activities and chart points stay in ring order.
void TestCardFiles::changesSortedByDayAndMinute()
{
    const QByteArray first = ringFile(60, 40,
        {dailyRecord(0, 0x0012, {work(300), work(5)}), dailyRecord(1, 0x0003, {work(7)}),
            dailyRecord(2, 0x1A2B, {work(9)})});
    const QByteArray second = ringFile(30, 0, {dailyRecord(3, 0x0004, {work(1)})});
    const DddReport report = decodeActivities({first, second});
    QStringList order;
    for (const QVariant &row : report.activityChanges) {
        const QVariantMap map = row.toMap();
        order.append(map.value(u"day"_s).toString() + u'/' + map.value(u"minutes"_s).toString());
    }
    QCOMPARE(order, QStringList({u"1A2B/9"_s, u"0003/7"_s, u"0004/1"_s, u"0012/5"_s, u"0012/300"_s}));
    QCOMPARE(recordDates(report), QStringList({dateOf(0), dateOf(1), dateOf(2), dateOf(3)}));
    QCOMPARE(report.charts.first().toMap().value(u"time"_s).toInt(), 300);
}

// The data period is the earliest and the latest record date, whatever order the ring holds them in.
void TestCardFiles::dataPeriodFromActivityRecordDates()
{
    const QByteArray ring = ringFile(200, 0,
        {dailyRecord(5, 0x0006, {work(1)}), dailyRecord(2, 0x0003, {work(1)}), dailyRecord(40, 0x0041, {work(1)}),
            dailyRecord(9, 0x0010, {work(1)})});
    const DddReport report = decodeActivities({ring});
    QCOMPARE(recordDates(report).size(), 4);
    QCOMPARE(report.dataStartDate, dateOf(2));
    QCOMPARE(report.dataEndDate, dateOf(40));
}

// A 2006 time read in 2026 must not turn into 2038: the big-endian reading wins whenever it is plausible.
void TestCardFiles::cardTimes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QDate>("expected");
    QTest::addRow("2006 stays 2006") << be32(unixTime(2006, 2, 8)) << QDate(2006, 2, 8);
    QTest::addRow("zero") << be32(0) << QDate();
    QTest::addRow("three bytes") << QByteArray(3, '\x50') << QDate();
}

void TestCardFiles::cardTimes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QDate, expected);
    QCOMPARE(card::readCardDate(bytes, 0), expected);
    QCOMPARE(card::readCardDate(bytes, -1), QDate());
}

void TestCardFiles::littleEndianRescueReadsLocalTime()
{
    setTimeZone("Asia/Tokyo");
    // A low byte below 0x38 makes the big-endian reading fall before 2000.
    const quint32 seconds = unixTime(2024, 3, 5, 20) & ~0xFFu;
    QByteArray bytes = be32(seconds);
    std::reverse(bytes.begin(), bytes.end());
    QCOMPARE(card::readCardDate(bytes, 0), QDate(2024, 3, 6));
}

void TestCardFiles::codePageText_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::addRow("1, Latin-1") << 1
                                << QByteArray("PE\xD1"
                                              "A TEST")
                                << u"PEÑA TEST"_s;
    QTest::addRow("5, Cyrillic") << 5 << QByteArray("\xB8\xD2\xD0\xDD\xDE\xD2") << u"Иванов"_s;
    // No converter for 8859-16 here, and the KOI8 sets' graphics below 0xA0 are no controls.
    QTest::addRow("16, Romanian") << 16 << QByteArray("\xAAtefan") << u"Ștefan"_s;
    // Every character of 8859-16 that is not Latin-1's, in byte order, from the published chart.
    QTest::addRow("16, every character apart from Latin-1")
        << 16 << QByteArray::fromHex("A1A2A3A4A5A6A8AAACAEAFB2B3B4B5B8B9BABCBDBEBFC3C5D0D1D5D7D8DDDEE3E5F0F1F5F7F8FDFE")
        << u"ĄąŁ€„ŠšȘŹźŻČłŽ”žčșŒœŸżĂĆĐŃŐŚŰĘȚăćđńőśűęț"_s;
    QTest::addRow("85, KOI8-R graphics") << 85 << QByteArray("\x80\xF0") << u"─П"_s;
    QTest::addRow("0, ASCII kept") << 0 << QByteArray("DGT  ") << u"DGT"_s;
    QTest::addRow("255, no text") << 255 << QByteArray("\xFF\xFF\xFF") << QString();
    QTest::addRow("padding and controls") << 1
                                          << QByteArray("  A\x01"
                                                        "B\0\0",
                                                 7)
                                          << u"A B"_s;
}

void TestCardFiles::codePageText()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QCOMPARE(decodeCodePageText(text, quint8(codePage)), expected);
    const QByteArray field = char(codePage) + text;
    QCOMPARE(readCodePageText(field, 0, text.size()), expected);
    QCOMPARE(readCodePageText(field, 0, text.size() + 1), QString());
    QCOMPARE(readCodePageText(field, -1, 1), QString());
}

void TestCardFiles::codePageTablesAgreeWithThePlatform_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("converterName");
    for (const int part : {2, 3, 4, 6, 7, 8, 9, 10, 11, 13, 14, 15, 16})
        QTest::addRow("ISO-8859-%d", part) << part << QByteArray("ISO-8859-") + QByteArray::number(part);
    QTest::addRow("KOI8-R") << 85 << QByteArray("KOI8-R");
    QTest::addRow("KOI8-U") << 86 << QByteArray("KOI8-U");
}

// The written-out tables must say what the published character sets say; where this platform's converters
// know a set, they are the reference.
void TestCardFiles::codePageTablesAgreeWithThePlatform()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, converterName);
    QStringDecoder decoder(converterName.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        QSKIP("this platform has no converter for the set");
    const CodePageHighHalf *table = codePageHighHalf(quint8(codePage));
    QVERIFY(table);
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const QString expected = decoder.decode(QByteArray(1, char(byte)));
        QCOMPARE(expected.size(), 1);
        QCOMPARE(QChar((*table)[byte - 0x80]), expected.at(0));
    }
}

void TestCardFiles::shortIdentification()
{
    // Cut inside the first names: dates still give their rows, the birth date is left empty.
    const DddReport report = decodeCardBlocks({cardBlock("0520", Identification().bytes().left(120))});
    QCOMPARE(descriptions(report.cardIdentification),
        QStringList({u"cardIssuingMemberState"_s, u"cardNumber"_s, u"cardIssuingAuthorityName"_s, u"cardIssueDate"_s,
            u"cardValidityBegin"_s, u"cardExpiryDate"_s, u"cardHolderSurname"_s, u"cardHolderBirthDate"_s}));
    QCOMPARE(fieldValue(report.cardIdentification, u"cardHolderBirthDate"_s), QString());
    QCOMPARE(report.birthDate, QString());
    QCOMPARE(report.driverName, u"MUSTER ROSSI"_s);

    const DddReport empty = decodeCardBlocks({cardBlock("0520", {})});
    QCOMPARE(descriptions(empty.cardIdentification),
        QStringList({u"cardIssueDate"_s, u"cardValidityBegin"_s, u"cardExpiryDate"_s, u"cardHolderBirthDate"_s}));
    QCOMPARE(fieldValue(empty.cardIdentification, u"cardIssueDate"_s), u"Invalid date"_s);
}

void TestCardFiles::twoIdentificationFiles()
{
    Identification first;
    Identification second;
    second.cardNumber = "E99999999X000002";
    second.surname = nameField(1, "OTHER");
    second.authority = nameField(1, "ANDERE");
    second.birthDate = QByteArray::fromHex("19600101");
    second.expiry = unixTime(2030, 1, 1);
    const DddReport report = decodeCardBlocks({cardBlock("0520", first.bytes()), cardBlock("0520", second.bytes())});
    QCOMPARE(report.cardIdentification.size(), 20);
    QCOMPARE(report.cardNumber, u"E99999999X000002"_s);
    QCOMPARE(report.driverSurname, u"MUSTER ROSSI"_s);
    QCOMPARE(report.issuingAuthorityName, u"TESTSTADT"_s);
    QCOMPARE(report.birthDate, u"15 января 1980 г."_s);
    QCOMPARE(report.expiryDate, u"5 октября 2023 г."_s);
}

void TestCardFiles::icc()
{
    QByteArray data = QByteArray::fromHex("00"
                                          "01000000"
                                          "1018"
                                          "01"
                                          "38");
    data += QByteArray("\xC0"
                       "BC\x01"
                       "EFGH",
        8);
    data += QByteArray::fromHex("15") + QByteArray("AB\0CD", 5) + QByteArray::fromHex("1537");
    QCOMPARE(data.size(), 25);
    const DddReport report = decodeCardBlocks({cardBlock("0002", data)});
    const QVariantList &rows = report.cardIcc;
    QCOMPARE(descriptions(rows),
        QStringList({u"clockstop"_s, u"serialNumber"_s, u"monthYear"_s, u"type"_s, u"manufacturerCode"_s,
            u"cardApprovalNumber"_s, u"cardPersonaliserID"_s, u"embedderIcAssemblerID"_s, u"icIdentifier"_s}));
    QCOMPARE(fieldValue(rows, u"serialNumber"_s), u"1"_s);
    // October 2018, packed BCD (a decimal reading would give "1624").
    QCOMPARE(fieldValue(rows, u"monthYear"_s), u"1018"_s);
    QCOMPARE(fieldValue(rows, u"type"_s), u"Driver Card"_s);
    QCOMPARE(fieldValue(rows, u"manufacturerCode"_s), u"56"_s);
    QCOMPARE(fieldValue(rows, u"cardApprovalNumber"_s), u"ABC?EFGH"_s);
    QCOMPARE(fieldValue(rows, u"cardPersonaliserID"_s), u"15"_s);
    QCOMPARE(fieldValue(rows, u"embedderIcAssemblerID"_s), u"AB CD"_s);
    QCOMPARE(fieldValue(rows, u"icIdentifier"_s), u"1537"_s);
}

void TestCardFiles::iccTooShort()
{
    const DddReport report = decodeCardBlocks({cardBlock("0002", QByteArray("xxTEXT\x01", 7) + QByteArray(17, '\0'))});
    QCOMPARE(report.cardIcc.size(), 1);
    const QVariantMap row = report.cardIcc.first().toMap();
    QCOMPARE(row.value(u"description"_s).toString(), u"ICC"_s);
    QCOMPARE(row.value(u"length"_s).toLongLong(), 24);
    QCOMPARE(row.value(u"decodedText"_s).toString(), u"xxTEXT"_s);
    QCOMPARE(row.value(u"fileNumber"_s).toString(), u"0002"_s);
}

void TestCardFiles::ic()
{
    const DddReport report = decodeCardBlocks({cardBlock("0005", QByteArray::fromHex("0a1b2c3d4e5f6071"))});
    QCOMPARE(fieldValue(report.cardIc, u"icSerialNumber"_s), u"0A1B2C3D"_s);
    QCOMPARE(fieldValue(report.cardIc, u"icManufacturingReferences"_s), u"4E5F6071"_s);
    const DddReport shortIc = decodeCardBlocks({cardBlock("0005", QByteArray::fromHex("0a1b2c3d4e5f60"))});
    QCOMPARE(shortIc.cardIc.first().toMap().value(u"description"_s).toString(), u"IC"_s);
}

void TestCardFiles::drivingLicenceTooShort()
{
    DddReport report;
    report.drivingLicenceNumber = u"earlier"_s;
    report.blocks = {cardBlock("0521", QByteArray(52, 'A'))};
    Decoder::parseDriverCardData(report);
    QVERIFY(report.drivingLicence.isEmpty());
    QCOMPARE(report.drivingLicenceNumber, u"earlier"_s);
}

void TestCardFiles::events_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("rows");
    const QByteArray time = be32(unixTime(2024, 3, 5, 10));
    QTest::addRow("all zero") << eventRecord(0, be32(0), be32(0)) << 0;
    QTest::addRow("type 0 with an end time") << eventRecord(0, be32(0), time) << 1;
    // A type without a name here is still an event the card holds.
    QTest::addRow("type 0x1C kept") << eventRecord(0x1C, time, time) << 1;
    QTest::addRow("manufacturer type") << eventRecord(0x85, time, time) << 1;
    QTest::addRow("23 bytes") << eventRecord(0x05, time, time).left(23) << 0;
}

void TestCardFiles::events()
{
    QFETCH(QByteArray, record);
    QFETCH(int, rows);
    QCOMPARE(decodeCardBlocks({cardBlock("0502", record)}).events.size(), rows);
}

void TestCardFiles::eventRow()
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

void TestCardFiles::eventCapAcrossTwoFiles()
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

void TestCardFiles::faults_data()
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

void TestCardFiles::faults()
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

void TestCardFiles::vehicles()
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

void TestCardFiles::places()
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

void TestCardFiles::currentUsage_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("number");
    const QByteArray usage = be32(unixTime(2023, 4, 28, 11, 15)) + registration(0x2B, "9999TST-99999");
    const QStringList all = {u"sessionOpenTime"_s, u"vehicleRegistrationNation"_s, u"vehicleRegistrationNumber"_s};
    // The number fills all 13 bytes after its code page.
    QTest::addRow("15 bytes") << usage.left(15) << all << u"9999TST-9"_s;
    QTest::addRow("2 bytes: nation at 0") << QByteArray("\x2B\x00", 2) << all.mid(1, 1) << QString();
}

void TestCardFiles::currentUsage()
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
void TestCardFiles::controlActivity()
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

void TestCardFiles::controlTimes_data()
{
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QString>("controlTime");
    QTest::addColumn<QString>("periodText");
    QTest::addRow("zero") << be32(0) << u"01.01.1970"_s << QString();
    QTest::addRow("little-endian rescue")
        << le32(unixTime(2024, 3, 5, 10) & ~0xFFu) << u"05.03.2024"_s << u"05.03.2024 9:59:28"_s;
    QTest::addRow("neither plausible") << be32(0x01000000) << u"01.01.1970"_s << QString();
}

void TestCardFiles::controlTimes()
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

void TestCardFiles::shortControlActivity()
{
    const DddReport one = decodeCardBlocks({cardBlock("0508", QByteArray(1, '\x07'))});
    QCOMPARE(descriptions(one.controlActivity), QStringList({u"controlType"_s}));
    QCOMPARE(fieldValue(one.controlActivity, u"controlType"_s), u"Unknown (0x07)"_s);
    const DddReport cut = decodeCardBlocks({cardBlock("0508", QByteArray(44, '\0'))});
    QCOMPARE(descriptions(cut.controlActivity).size(), 8);
    QVERIFY(decodeCardBlocks({cardBlock("0508", {})}).controlActivity.isEmpty());
}

// Entry times show in UTC like every other card time.
void TestCardFiles::specificConditions()
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
void TestCardFiles::onlyDataBlocksAreDecoded()
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
    for (const int type : {1, 2, 3, 0x81})
        blocks.append(cardBlock("0520", Identification().bytes(), type));
    const DddReport report = decodeCardBlocks(blocks);
    QVERIFY(report.cardIdentification.isEmpty());
    QVERIFY(report.cardNumber.isEmpty());
    QVERIFY(report.events.isEmpty());
    QVERIFY(report.specificConditions.isEmpty());
    QVERIFY(report.controlActivity.isEmpty());
    QVERIFY(report.currentUsage.isEmpty());
}

// Rows that were in the list before the activity files are ordered with the new ones.
void TestCardFiles::rowsAlreadyListedSortedToo()
{
    DddReport report;
    report.activityChanges.append(QVariantMap {{u"day"_s, u"0005"_s}, {u"minutes"_s, 3}});
    DddBlock block;
    block.fileNumber = u"0504"_s;
    block.data = ringFile(40, 0, {dailyRecord(0, 0x0001, {work(10)}), dailyRecord(1, 0x0009, {work(20)})});
    report.blocks.append(block);
    Decoder::parseDriverCardData(report);
    QStringList order;
    for (const QVariant &row : report.activityChanges)
        order.append(row.toMap().value(u"day"_s).toString());
    QCOMPARE(order, QStringList({u"0001"_s, u"0005"_s, u"0009"_s}));
}

QTEST_GUILESS_MAIN(TestCardFiles)
#include "tst_card_files.moc"
