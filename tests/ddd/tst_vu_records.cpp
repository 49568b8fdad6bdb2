// The first-generation vehicle-unit record decoders: overview, activity days, events and faults, detailed
// speed and technical data. The real downloads' facts check every field they hold; the synthetic cases are the
// layouts and limits no real file shows.

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "ddd/record_names.h"
#include "ddd/vu_records.h"
#include "ddd_file_builder.h"
#include "storage/stored_date_time.h"
#include "support/ddd_test_rows.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>
#include <QtEndian>

using namespace tessaron::ddd;
using namespace tessaron::test;
using namespace Qt::StringLiterals;

namespace {

constexpr quint32 Begin = 1659225600; // 31.07.2022 0:00:00 UTC
constexpr quint32 End = 1659229200; // 31.07.2022 1:00:00 UTC
constexpr qsizetype IdentificationSize = 116;
constexpr qsizetype SensorSize = 20;

// A transfer block: the tag, the body and a signature that is never read as records.
DddBlock transferBlock(const QString &fileNumber, const QByteArray &body, int occurrence = 1, int signature = 128)
{
    DddBlock block;
    block.fileNumber = fileNumber;
    block.occurrence = occurrence;
    block.data = QByteArray::fromHex(fileNumber.toLatin1()) + body + QByteArray(signature, char(0x5A));
    block.length = qint32(block.data.size());
    return block;
}

// The blocks of one number through the whole first-generation walk.
DddReport decodeBlocks(const QString &fileNumber, const QList<QByteArray> &bodies)
{
    DddReport report;
    report.fileType = DddFileType::Tachograph;
    int occurrence = 0;
    for (const QByteArray &body : bodies)
        report.blocks.append(transferBlock(fileNumber, body, ++occurrence));
    Decoder::parseTachographData(report);
    return report;
}

// One activity block alone, without the finishing steps that renumber card records.
DddReport decodeDay(const QByteArray &body, int occurrence = 1)
{
    DddReport report;
    vu::decodeActivityBlock(report, transferBlock(u"7602"_s, body, occurrence));
    return report;
}

// A day of 31 July 2022 whose two slots hold no card.
VuActivityDay emptyDay()
{
    VuActivityDay day;
    day.timeReal = unixTime(2022, 7, 31, 23, 59, 59);
    day.changes = {VuActivityChange {0, false, true, 0, 0}, VuActivityChange {1, false, true, 0, 0}};
    return day;
}

QByteArray dayBody(const QList<VuCardIwRecord> &cards = {}, const QList<VuPlaceRecord> &places = {})
{
    VuActivityDay day = emptyDay();
    day.cardIw = cards;
    day.places = places;
    return VuFileBuilder::activityDayBody(day);
}

QStringList column(const QVariantList &rows, const QString &key)
{
    QStringList values;
    for (const QVariant &entry : rows)
        values.append(entry.toMap().value(key).toString());
    return values;
}

QString rowText(const QVariantList &rows, qsizetype index, const QString &key)
{
    return rows.value(index).toMap().value(key).toString();
}

QByteArray u8(int value)
{
    return QByteArray(1, char(value));
}

// The overspeed control: last control never, first overspeed at Begin, six since.
QByteArray overspeedControl()
{
    return be32(0) + be32(Begin) + u8(6);
}

DddReport decodedEvents(const QByteArray &sections)
{
    DddReport report;
    vu::decodeEventsAndFaultsBlock(report, transferBlock(u"7603"_s, sections));
    return report;
}

// The identification and the paired sensor of a technical-data body, without the calibration count.
QByteArray identificationAndSensor(const VuTechnicalData &data = {})
{
    return VuFileBuilder::technicalDataBody(data).first(IdentificationSize + SensorSize);
}

// A technical-data body that claims count calibration records whatever follows.
QByteArray technicalBody(int count, const QList<VuCalibrationRecord> &records)
{
    QByteArray body = identificationAndSensor() + char(count);
    for (const VuCalibrationRecord &record : records)
        body += VuFileBuilder::calibrationRecord(record);
    return body;
}

VuCalibrationRecord calibration(quint8 purpose, const QString &workshopName)
{
    VuCalibrationRecord record;
    record.purpose = purpose;
    record.workshopName = workshopName;
    return record;
}

// An ISO-8601 UTC time of the expected facts as a row's time text; null is the empty text.
QString factTime(const QJsonValue &value)
{
    if (value.isNull())
        return QString();
    return tessaron::storage::isoDateTime(value.toString()).toUTC().toString(u"dd.MM.yyyy H:mm:ss"_s);
}

QString slotText(int cardType)
{
    return cardType == 0 ? u"No card inserted"_s : cardTypeName(quint8(cardType));
}

QString serialText(const QJsonValue &serial, const QString &key)
{
    return QString::number(serial[key].toInteger());
}

QVariantMap speedRow(const QVariantList &speeds, const QVariant &validCount, double average)
{
    QVariantMap row {{u"speedValues"_s, speeds}, {u"averageSpeed"_s, average}};
    if (validCount.isValid())
        row.insert(u"validSpeedCount"_s, validCount);
    return row;
}

} // namespace

class TestVuRecords : public QObject
{
    Q_OBJECT

private slots:
    void init() { pinTimeZoneAndClock("UTC", QDateTime(QDate(2026, 1, 15), QTime(12, 0), QTimeZone::utc())); }
    void cleanup() { releaseTimeZoneAndClock(); }

    // ---- the real downloads ----

    void realFiles_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : sampleNames()) {
            if (name.startsWith(u"vu-gen1"_s))
                QTest::addRow("%s", qPrintable(name)) << name;
        }
    }

    void realFiles()
    {
        QFETCH(QString, name);
        TESSARON_REQUIRE_SAMPLE(path, name + u".ddd"_s);
        const DddReport report = Decoder::decodeFile(path);
        const QJsonObject vuFacts = sampleFacts(name).value(u"vu"_s).toObject();
        QVERIFY(!vuFacts.isEmpty());

        const QJsonObject overview = vuFacts.value(u"overview"_s).toObject();
        const QJsonObject registration = overview.value(u"registration"_s).toObject();
        QCOMPARE(report.vin, overview.value(u"vin"_s).toString());
        QCOMPARE(report.registrationNumber, registration.value(u"number"_s).toString());
        QCOMPARE(report.vehicleRegistrationNation, countryName(quint8(registration.value(u"nation"_s).toInt())));
        QCOMPARE(fieldValue(report.vehicleIdentification, u"VIN номер"_s), report.vin);
        QCOMPARE(report.currentUsage.size(), 1);
        QCOMPARE(fieldValue(report.currentDateTime, u"currentDateTime"_s), factTime(overview[u"current_datetime"_s]));
        QCOMPARE(fieldValue(report.downloadablePeriod, u"minDownloadableTime"_s),
            factTime(overview[u"min_downloadable_time"_s]));
        QCOMPARE(fieldValue(report.downloadablePeriod, u"maxDownloadableTime"_s),
            factTime(overview[u"max_downloadable_time"_s]));
        const QJsonObject cardSlots = overview.value(u"card_slots"_s).toObject();
        QCOMPARE(fieldValue(report.insertedCardType, u"driverCardSlot"_s), slotText(cardSlots[u"driver"_s].toInt()));
        QCOMPARE(
            fieldValue(report.insertedCardType, u"co-driverCardSlot"_s), slotText(cardSlots[u"codriver"_s].toInt()));
        QCOMPARE(report.insertedCardType.first().toMap().value(u"hexData"_s).toString(),
            u"%1"_s.arg(overview.value(u"card_slots_status"_s).toInt(), 2, 16, QLatin1Char('0')).toUpper());
        const QJsonObject download = overview.value(u"download_activity"_s).toObject();
        const QJsonObject downloadCard = download.value(u"card"_s).toObject();
        QCOMPARE(fieldValue(report.downloadActivity, u"downloadingTime"_s), factTime(download[u"downloading_time"_s]));
        QCOMPARE(
            fieldValue(report.downloadActivity, u"cardType"_s), cardTypeName(quint8(downloadCard[u"type"_s].toInt())));
        QCOMPARE(fieldValue(report.downloadActivity, u"cardIssuingMemberState"_s),
            countryName(quint8(downloadCard[u"nation"_s].toInt())));
        QCOMPARE(fieldValue(report.downloadActivity, u"driverCardNumber"_s), downloadCard[u"number"_s].toString());
        QCOMPARE(fieldValue(report.downloadActivity, u"companyOrWorkshopName"_s),
            download[u"company_or_workshop_name"_s].toString());
        QCOMPARE(report.companyLocks.size(), overview.value(u"company_locks"_s).toInt());
        QCOMPARE(report.controlActivity.size(), overview.value(u"controls"_s).toInt());

        // Each day block alone, in the order of the file, then the whole walk: days in date order, each change
        // dated by its day, the distance of the period.
        const QJsonArray days = vuFacts.value(u"activity_days"_s).toArray();
        qsizetype dayIndex = 0;
        int lowest = std::numeric_limits<int>::max();
        int highest = 0;
        for (const DddBlock &block : report.blocks) {
            if (block.fileNumber != u"7602")
                continue;
            QVERIFY(dayIndex < days.size());
            const QJsonObject day = days.at(dayIndex++).toObject();
            DddReport alone;
            vu::decodeActivityBlock(alone, block);
            const QByteArray where = "day " + day.value(u"date"_s).toString().toLatin1();
            QVERIFY2(alone.dayInformation.size() == 1, where.constData());
            QCOMPARE(rowText(alone.dayInformation, 0, u"timeReal"_s), factTime(day[u"time_real"_s]));
            const int odometer = day.value(u"odometer_midnight"_s).toInt();
            QCOMPARE(alone.dayInformation.first().toMap().value(u"odometerValueMidnight"_s).toInt(), odometer);
            lowest = std::min(lowest, odometer);
            highest = std::max(highest, odometer);
            QVERIFY2(alone.cardIwData.size() == day.value(u"card_iw_records"_s).toInt(), where.constData());
            const QStringList slotTexts = column(alone.activityDaily, u"slot"_s);
            const QJsonObject changes = day.value(u"activity_changes"_s).toObject();
            QVERIFY2(slotTexts.count(u"Водитель"_s) == changes[u"driver_slot"_s].toInt(), where.constData());
            QVERIFY2(slotTexts.size() - slotTexts.count(u"Водитель"_s) == changes[u"codriver_slot"_s].toInt(),
                where.constData());
            QCOMPARE(alone.activityChanges.size(), alone.activityDaily.size());
            QVERIFY2(alone.placeDailyWorkPeriod.size() == day.value(u"places"_s).toInt(), where.constData());
        }
        QCOMPARE(dayIndex, days.size());
        QCOMPARE(report.dayInformation.size(), days.size());
        QCOMPARE(report.totalDays, qint32(days.size()));
        QDateTime previous;
        for (const QVariant &row : report.dayInformation) {
            const QDateTime time = vu::parseVuDateTime(row.toMap().value(u"timeReal"_s).toString());
            QVERIFY(!previous.isValid() || previous <= time);
            previous = time;
        }
        for (const QVariant &row : report.activityDaily) {
            const QVariantMap map = row.toMap();
            const QString date = days.at(map.value(u"dayNo"_s).toInt() - 1)[u"date"_s].toString();
            QCOMPARE(map.value(u"activityDate"_s).toString(),
                QDate::fromString(date, Qt::ISODate).toString(u"dd.MM.yyyy"_s));
        }
        QCOMPARE(report.totalDistanceKm, highest - lowest);
        // Events, faults and calibrations may widen the period beyond the days.
        QVERIFY(vu::parseVuDateTime(report.dataStartDate).date()
            <= QDate::fromString(days.first()[u"date"_s].toString(), Qt::ISODate));
        QVERIFY(vu::parseVuDateTime(report.dataEndDate) >= previous);

        const QJsonObject events = vuFacts.value(u"events_faults"_s).toObject();
        QCOMPARE(report.tachoFaults.size(), events.value(u"faults"_s).toInt());
        QCOMPARE(report.faults.size(), events.value(u"faults"_s).toInt());
        QCOMPARE(report.tachoEvents.size(), events.value(u"events"_s).toInt());
        QCOMPARE(report.events.size(), events.value(u"events"_s).toInt());
        QCOMPARE(report.overSpeedingEvents.size(), events.value(u"overspeeding_events"_s).toInt());
        QCOMPARE(report.timeAdjustments.size(), events.value(u"time_adjustments"_s).toInt());
        const QJsonObject control = events.value(u"overspeed_control"_s).toObject();
        QCOMPARE(fieldValue(report.overSpeedingControl, u"lastOverspeedControlTime"_s),
            factTime(control[u"last_control"_s]));
        QCOMPARE(fieldValue(report.overSpeedingControl, u"firstOverspeedSince"_s), factTime(control[u"first_since"_s]));
        QCOMPARE(fieldValue(report.overSpeedingControl, u"numberOfOverspeedSince"_s),
            QString::number(control[u"number_since"_s].toInt()));
        for (const QVariant &row : report.timeAdjustments) {
            const QString card = row.toMap().value(u"workshopCardNumber"_s).toString();
            QCOMPARE(card.size(), 16);
            QVERIFY2(
                std::all_of(card.cbegin(), card.cend(), [](QChar c) { return c.unicode() >= 0x20; }), qPrintable(card));
        }

        const QJsonObject speed = vuFacts.value(u"detailed_speed"_s).toObject();
        const int blocks = speed.value(u"blocks"_s).toInt();
        QCOMPARE(report.detailedSpeed.size(), blocks);
        QCOMPARE(report.charts.size(), blocks * 60);
        QCOMPARE(rowText(report.detailedSpeed, 0, u"speedBlockBeginDate"_s), factTime(speed[u"first_block_begin"_s]));
        QCOMPARE(rowText(report.detailedSpeed, blocks - 1, u"speedBlockBeginDate"_s),
            factTime(speed[u"last_block_begin"_s]));
        QVariantList expectedSpeeds;
        for (const QJsonValue &value : speed.value(u"first_block_speeds"_s).toArray())
            expectedSpeeds.append(value.toInt());
        QCOMPARE(report.detailedSpeed.constFirst().toMap().value(u"speedValues"_s).toList(), expectedSpeeds);
        for (int second = 0; second < 60; ++second)
            QCOMPARE(report.charts.at(second).toMap().value(u"value"_s), expectedSpeeds.at(second));

        const QJsonObject technical = vuFacts.value(u"technical"_s).toObject();
        const QJsonValue serial = technical.value(u"serial_number"_s);
        const auto identification
            = [&](const QString &description) { return fieldValue(report.vuIdentification, description); };
        QCOMPARE(identification(u"vuManufacturerName"_s), technical.value(u"manufacturer_name"_s).toString());
        QCOMPARE(identification(u"vuManufacturerAddress"_s), technical.value(u"manufacturer_address"_s).toString());
        QCOMPARE(identification(u"vuPartNumber"_s), technical.value(u"part_number"_s).toString());
        QCOMPARE(identification(u"vuSerialNumber"_s), serialText(serial, u"serial_number"_s));
        QCOMPARE(identification(u"monthYear"_s), serial[u"month_year"_s].toString().remove(u'/'));
        QCOMPARE(identification(u"manufacturerCode"_s), serialText(serial, u"manufacturer_code"_s));
        QCOMPARE(identification(u"vuSoftwareVersion"_s), technical.value(u"software_version"_s).toString());
        QCOMPARE(identification(u"vuSoftInstallationDate"_s), factTime(technical[u"software_installation_date"_s]));
        QCOMPARE(identification(u"vuManufacturingDate"_s), factTime(technical[u"manufacturing_date"_s]).left(10));
        QCOMPARE(identification(u"vuApprovalNumber"_s), technical.value(u"approval_number"_s).toString());
        const QJsonObject sensor = technical.value(u"sensor"_s).toObject();
        const QJsonValue sensorSerial = sensor.value(u"serial_number"_s);
        const auto sensorValue
            = [&](const QString &description) { return fieldValue(report.sensorPaired, description); };
        QCOMPARE(sensorValue(u"sensorSerialNumber"_s), serialText(sensorSerial, u"serial_number"_s));
        QCOMPARE(sensorValue(u"monthYear"_s), sensorSerial[u"month_year"_s].toString().remove(u'/'));
        QCOMPARE(sensorValue(u"manufacturerCode"_s), serialText(sensorSerial, u"manufacturer_code"_s));
        QCOMPARE(sensorValue(u"sensorApprovalNumber"_s), sensor.value(u"approval_number"_s).toString());
        QCOMPARE(sensorValue(u"sensorPairingDateFirst"_s), factTime(sensor[u"pairing_date_first"_s]));
        const QJsonArray calibrations = technical.value(u"calibrations"_s).toArray();
        QCOMPARE(report.calibrationData.size(), calibrations.size());
        for (qsizetype i = 0; i < calibrations.size(); ++i) {
            const QJsonObject expected = calibrations.at(i).toObject();
            const QVariantMap row = report.calibrationData.at(i).toMap();
            const auto text = [&](const QString &key) { return row.value(key).toString(); };
            const auto number
                = [](const QJsonValue &value) { return value.isNull() ? u"0"_s : QString::number(value.toInteger()); };
            const QJsonObject card = expected.value(u"workshop_card"_s).toObject();
            const QJsonObject registration = expected.value(u"registration"_s).toObject();
            QCOMPARE(text(u"calibrationPurpose"_s),
                calibrationPurposeName(quint8(expected.value(u"purpose"_s).toInt())).russian);
            QCOMPARE(text(u"workshopName"_s), expected.value(u"workshop_name"_s).toString());
            QCOMPARE(text(u"workshopAddress"_s), expected.value(u"workshop_address"_s).toString());
            QCOMPARE(text(u"workshopCardNumber"_s), card.value(u"number"_s).toString());
            QCOMPARE(text(u"workshopCardExpiryDate"_s), factTime(expected.value(u"workshop_card_expiry"_s)));
            QCOMPARE(text(u"vehicleIdentificationNumber"_s), expected.value(u"vin"_s).toString());
            QCOMPARE(
                text(u"vehicleRegistrationNation"_s), countryName(quint8(registration.value(u"nation"_s).toInt())));
            QCOMPARE(text(u"vehicleRegistrationNumber"_s), registration.value(u"number"_s).toString());
            QCOMPARE(text(u"wVehicleCharacteristicConstant"_s), number(expected.value(u"w"_s)));
            QCOMPARE(text(u"kConstantOfRecordingEquipment"_s), number(expected.value(u"k"_s)));
            QCOMPARE(text(u"iTyreCircumference"_s), number(expected.value(u"l"_s)));
            QCOMPARE(text(u"tyreSize"_s), expected.value(u"tyre_size"_s).toString());
            QCOMPARE(text(u"authorisedSpeed"_s), number(expected.value(u"authorised_speed"_s)));
            QCOMPARE(text(u"oldOdometerValue"_s), number(expected.value(u"old_odometer"_s)));
            QCOMPARE(text(u"newOdometerValue"_s), number(expected.value(u"new_odometer"_s)));
            QCOMPARE(text(u"oldTimeValue"_s), factTime(expected.value(u"old_time"_s)));
            QCOMPARE(text(u"newTimeValue"_s), factTime(expected.value(u"new_time"_s)));
            QCOMPARE(text(u"nextCalibrationDate"_s), factTime(expected.value(u"next_calibration_date"_s)));
        }
    }

    // ---- overview ----

    void timeText_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<QString>("expected");

        const QByteArray download = be32(unixTime(2022, 9, 7, 10, 9, 25));
        const QString unset = u"01.01.0001 0:00:00"_s;
        QTest::addRow("last second of 2100")
            << be32(unixTime(2100, 12, 31, 23, 59, 59)) << qsizetype(0) << u"31.12.2100 23:59:59"_s;
        QTest::addRow("at the end of the data")
            << (QByteArray("xx") + download) << qsizetype(2) << u"07.09.2022 10:09:25"_s;
        // Both readings are plausible and the little-endian one (2021) lies nearer to "now": the stored byte
        // order still wins.
        QTest::addRow("big-endian wins over a nearer reading")
            << QByteArray::fromHex("4F000060") << qsizetype(0) << u"01.01.2012 6:42:40"_s;
        QTest::addRow("little-endian rescues an implausible value")
            << QByteArray::fromHex("10004A5F") << qsizetype(0) << u"29.08.2020 7:13:20"_s;
        QTest::addRow("zero") << QByteArray(4, '\0') << qsizetype(0) << unset;
        QTest::addRow("not set") << QByteArray(4, char(0xFF)) << qsizetype(0) << unset;
        QTest::addRow("one byte short") << download.left(3) << qsizetype(0) << unset;
        QTest::addRow("negative offset") << download << qsizetype(-1) << unset;
    }

    void timeText()
    {
        QFETCH(QByteArray, data);
        QFETCH(qsizetype, offset);
        QFETCH(QString, expected);
        QCOMPARE(vu::vuTimeText(data, offset), expected);
    }

    void littleEndianRescueReadsLocalTime()
    {
        setTimeZone("MSK-3");
        QCOMPARE(vu::vuTimeText(QByteArray::fromHex("10004A5F"), 0), u"29.08.2020 10:13:20"_s);
        // The big-endian reading stays UTC whatever the zone.
        QCOMPARE(vu::vuTimeText(be32(unixTime(2022, 9, 7, 10, 9, 25)), 0), u"07.09.2022 10:09:25"_s);
    }

    void parseDateTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        QTest::addRow("one-digit hour") << u"07.09.2022 9:09:25"_s
                                        << QDateTime(QDate(2022, 9, 7), QTime(9, 9, 25), QTimeZone::utc());
        QTest::addRow("undefined time is the year 1")
            << u"01.01.0001 0:00:00"_s << QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
        QTest::addRow("no such day") << u"31.02.2022 1:00:00"_s << QDateTime();
        QTest::addRow("hour 24") << u"07.09.2022 24:00:00"_s << QDateTime();
    }

    void parseDateTime()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        QCOMPARE(vu::parseVuDateTime(text), expected);
    }

    void cardNumberText_data()
    {
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<QString>("expected");
        QTest::addRow("type and nation bytes dropped") << qsizetype(0) << u"E51372045G000001"_s;
        QTest::addRow("runs to the data's end") << qsizetype(10) << u"5G000001"_s;
        QTest::addRow("negative offset clipped") << qsizetype(-4) << u"E51372045G00"_s;
        QTest::addRow("past the end") << qsizetype(40) << u" "_s;
        QTest::addRow("far before the start") << qsizetype(-40) << u" "_s;
    }

    void cardNumberText()
    {
        QFETCH(qsizetype, offset);
        QFETCH(QString, expected);
        QCOMPARE(vu::vuCardNumberText(VuFileBuilder::card({1, 0x0F, u"E51372045G000001"_s}), offset), expected);
    }

    // Five company locks announced, room for two: the control activities are read right behind the second.
    void countOverrunsTheBlock()
    {
        VuOverview overview;
        overview.companyLocks = {QByteArray(98, 'L'), QByteArray(98, 'M')};
        overview.controlActivities = {QByteArray(31, 'C')};
        QByteArray body = VuFileBuilder::overviewBody(overview);
        body[body.size() - 32 - 2 * 98 - 1] = 5;
        const DddReport report = decodeBlocks(u"7601"_s, {body});

        QCOMPARE(column(report.companyLocks, u"recordIndex"_s), (QStringList {u"0"_s, u"1"_s}));
        QCOMPARE(rowText(report.companyLocks, 1, u"hexData"_s), u"4D"_s.repeated(98));
        QCOMPARE(column(report.controlActivity, u"hexData"_s), QStringList {u"43"_s.repeated(31)});
    }

    void shortOverview_data()
    {
        QTest::addColumn<int>("effectiveLength");
        QTest::addColumn<bool>("identification");
        QTest::addColumn<int>("timeRows");
        QTest::addColumn<int>("slotRows");

        QTest::addRow("identification only") << 422 << true << 0 << 0;
        QTest::addRow("up to the current time") << 426 << true << 1 << 0;
        QTest::addRow("up to the slots") << 435 << true << 1 << 2;
        // Without the identification every later group is read from offset 390.
        QTest::addRow("identification cut") << 421 << false << 1 << 2;
    }

    void shortOverview()
    {
        QFETCH(int, effectiveLength);
        QFETCH(bool, identification);
        QFETCH(int, timeRows);
        QFETCH(int, slotRows);

        VuOverview overview;
        overview.vin = u"WDB9634031L123456"_s;
        const QByteArray body = VuFileBuilder::overviewBody(overview).left(effectiveLength - 2);
        const DddReport report = decodeBlocks(u"7601"_s, {body});
        QCOMPARE(report.vin, identification ? overview.vin : QString());
        QCOMPARE(report.currentUsage.size(), identification ? 1 : 0);
        QCOMPARE(report.currentDateTime.size(), timeRows);
        QCOMPARE(report.downloadablePeriod.size(), slotRows);
        QCOMPARE(report.insertedCardType.size(), slotRows);
        QVERIFY(report.downloadActivity.isEmpty());
        QCOMPARE(descriptions(report.vehicleIdentification),
            (QStringList {u"VIN номер"_s, u"Страна регистрации"_s, u"Регистрационный номер"_s}));
        if (!identification) // the current time comes from the first VIN bytes
            QCOMPARE(rowText(report.currentDateTime, 0, u"hexData"_s), u"57444239"_s);
    }

    void onlyFirstOverview()
    {
        VuOverview second;
        second.vin = u"WDB9634031L123456"_s;
        second.companyLocks = {QByteArray(98, 'L')};
        const DddReport report
            = decodeBlocks(u"7601"_s, {VuFileBuilder::overviewBody({}), VuFileBuilder::overviewBody(second)});
        QCOMPARE(report.vin, VuOverview().vin);
        QCOMPARE(report.currentDateTime.size(), 1);
        QVERIFY(report.companyLocks.isEmpty());
    }

    void averageSpeedWeightedByValidSeconds_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::addColumn<double>("average");
        QTest::addColumn<int>("maximum");

        // 1 second at 50 and 3 at 90: the mean of the seconds, not of the blocks or of the last count.
        QTest::addRow("weights add up") << QVariantList {speedRow({50, 0, 0}, 1, 50.0),
            speedRow({80, 90, 100}, 3, 90.0)}
                                        << 80.0 << 100;
        QTest::addRow("row without a count counts each listed speed")
            << QVariantList {speedRow({10, 20}, {}, 0.0), speedRow({60}, 1, 60.0)} << 30.0 << 60;
        QTest::addRow("count above the list adds nothing")
            << QVariantList {speedRow({200}, 2, 200.0), speedRow({40}, 1, 40.0)} << 40.0 << 40;
        QTest::addRow("count 0 adds nothing") << QVariantList {speedRow({0, 0}, 0, 0.0)} << 0.0 << 0;
    }

    void averageSpeedWeightedByValidSeconds()
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

    // Unset readings, and readings past what an odometer shows, are ignored; one reading gives no distance.
    void distanceCovered()
    {
        for (const auto &[readings, distance] :
            {std::pair {QList<int> {0, 371532, 0, 372055}, 523}, std::pair {QList<int> {371532}, 0},
                std::pair {QList<int> {371532, 10'000'000, 372055, 9'999'999}, 9'628'467}}) {
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
    }

    void nextCalibrationOfTheLatestRecord_data()
    {
        QTest::addColumn<QVariantList>("calibrations");
        QTest::addColumn<QString>("next");
        const auto record = [](const QString &oldTime, const QString &newTime, const QString &next) {
            return QVariant(QVariantMap {
                {u"oldTimeValue"_s, oldTime}, {u"newTimeValue"_s, newTime}, {u"nextCalibrationDate"_s, next}});
        };
        QTest::addRow("the latest by its new time, else its old time, wherever it stands") << QVariantList {
            record(u"01.01.2021 0:00:00"_s, u"10.05.2022 9:00:00"_s, u"10.05.2024 0:00:00"_s),
            record(u"01.03.2022 0:00:00"_s, QString(), u"01.03.2024 0:00:00"_s)} << u"10.05.2024 0:00:00"_s;
        QTest::addRow("equal times: the later record; one without a next date passed over") << QVariantList {
            record(u"13.11.2020 12:16:40"_s, QString(), u"01.01.2022 0:00:00"_s),
            record(u"13.11.2020 12:16:40"_s, QString(), u"13.11.2022 18:00:00"_s),
            record(u"01.06.2021 8:00:00"_s, QString(), QString())} << u"13.11.2022 18:00:00"_s;
    }
    void nextCalibrationOfTheLatestRecord()
    {
        QFETCH(QVariantList, calibrations);
        QFETCH(QString, next);
        DddReport report;
        report.calibrationData = calibrations;
        Decoder::parseTachographData(report);
        QCOMPARE(report.nextCalibrationDate, next);
    }

    void countsAndDataRange()
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
        report.detailedSpeed = {speedRow({80}, 1, 80.0)};
        report.averageSpeed = 12.5; // both speeds set: kept
        report.maxSpeed = 99;
        Decoder::parseTachographData(report);
        QCOMPARE(report.averageSpeed, 12.5);
        QCOMPARE(report.maxSpeed, 99);

        QCOMPARE(report.daysWithFaults, 2);
        QCOMPARE(report.daysWithOverSpeeding, 2);
        QCOMPARE(report.totalOverSpeeding, 3);
        QCOMPARE(report.totalCalibrations, 5);
        QCOMPARE(report.totalDays, 0);
        QCOMPARE(report.totalDistanceKm, 0);
        QCOMPARE(report.dataStartDate, u"20.07.2021 6:30:00"_s);
        QCOMPARE(report.dataEndDate, u"kept"_s);
    }

    // ---- activity days ----

    // A record of the published layout is read at its offsets whatever its code page; the type byte of a
    // control or company card no longer shifts every later field by one.
    void cardRecordAtItsPublishedOffsets_data()
    {
        QTest::addColumn<QString>("surname");
        QTest::addColumn<QString>("firstNames");
        QTest::addColumn<int>("cardType");
        QTest::addColumn<QString>("expectedFirstNames");
        QTest::addColumn<QString>("expectedType");
        // The odometer at insertion, at withdrawal, at the day's midnight and in its place record: set, or FF FF FF.
        QTest::addColumn<bool>("odometerSet");

        QTest::addRow("Cyrillic names, workshop card")
            << u"Иванов"_s << u"Петр"_s << 2 << u"Петр"_s << u"Мастерская"_s << true;
        QTest::addRow("Cyrillic names filling the field, control card")
            << u"Иванов"_s << (u"Петр"_s + QString(31, u'Х')) << 3 << (u"Петр"_s + QString(31, u'Х')) << u"Водитель"_s
            << true;
        QTest::addRow("Latin-1 letters") << u"NUÑEZ"_s << u"JOSÉ"_s << 1 << u"JOSÉ"_s << u"Водитель"_s << true;
        QTest::addRow("names ending in NUL padding") << QString::fromLatin1("SMITH\0\0\0\0\0\0GARBAGE", 18) << u"JOHN"_s
                                                     << 4 << u"JOHN"_s << u"Водитель"_s << true;
        QTest::addRow("odometers not set") << u"IVANOV"_s << u"IVAN"_s << 1 << u"IVAN"_s << u"Водитель"_s << false;
    }

    void cardRecordAtItsPublishedOffsets()
    {
        QFETCH(QString, surname);
        QFETCH(QString, firstNames);
        QFETCH(int, cardType);
        QFETCH(QString, expectedFirstNames);
        QFETCH(QString, expectedType);
        QFETCH(bool, odometerSet);
        // A reading not set is no reading (0), never 16,777,215 km.
        const quint32 odometer = odometerSet ? 120000 : 0xFFFFFF;
        const int expectedOdometer = odometerSet ? 120000 : 0;

        VuCardIwRecord card;
        card.surname = surname;
        card.firstNames = firstNames;
        card.card.cardType = quint8(cardType);
        card.slot = 1;
        card.previousNation = 0x05;
        card.odometerAtInsertion = odometer;
        card.odometerAtWithdrawal = odometer == 0xFFFFFF ? odometer : odometer + 350;
        VuActivityDay day = emptyDay();
        day.cardIw = {card};
        day.odometerMidnight = odometer;
        VuPlaceRecord place;
        place.odometer = odometer;
        day.places = {place};
        const DddReport report = decodeDay(VuFileBuilder::activityDayBody(day), 2);
        QCOMPARE(report.dayInformation.size(), 1);
        QCOMPARE(report.dayInformation.first().toMap().value(u"odometerValueMidnight"_s), QVariant(expectedOdometer));
        QCOMPARE(report.placeDailyWorkPeriod.size(), 1);
        QCOMPARE(
            report.placeDailyWorkPeriod.first().toMap().value(u"vehicleOdometerValue"_s), QVariant(expectedOdometer));

        QCOMPARE(report.cardIwData.size(), 1);
        const QVariantMap record = report.cardIwData.first().toMap();
        QCOMPARE(record.value(u"dayNo"_s), QVariant(2));
        QCOMPARE(record.value(u"recordInBlock"_s), QVariant(0));
        QCOMPARE(record.value(u"hexData"_s).toString(), hexText(VuFileBuilder::cardIwRecord(card)));
        QCOMPARE(record.value(u"cardHolderSurname"_s).toString(), surname.section(QChar(0), 0, 0));
        QCOMPARE(record.value(u"cardHolderFirstNames"_s).toString(), expectedFirstNames);
        QCOMPARE(record.value(u"cardType"_s).toString(), expectedType);
        QCOMPARE(record.value(u"cardIssuingMemberState"_s).toString(), u"Российская Федерация"_s);
        QCOMPARE(record.value(u"driverCardNumber"_s).toString(), u"RUD0000012345600"_s);
        QCOMPARE(record.value(u"cardExpiryDate"_s).toString(), u"01.01.2026"_s);
        QCOMPARE(record.value(u"cardInsertionDate"_s).toString(), u"01.03.2024 6:00:00"_s);
        QCOMPARE(record.value(u"vehicleOdometerValueAtInsertion"_s), QVariant(expectedOdometer));
        QCOMPARE(record.value(u"cardSlot"_s).toString(), u"Сопряжённый водитель"_s);
        QCOMPARE(record.value(u"cardSlotNumber"_s).toString(), u"Сопряжённый водитель"_s);
        QCOMPARE(record.value(u"cardWithdrawalTime"_s).toString(), u"01.03.2024 18:00:00"_s);
        QCOMPARE(record.value(u"vehicleOdometerValueAtWithdrawal"_s),
            QVariant(expectedOdometer ? expectedOdometer + 350 : 0));
        QCOMPARE(record.value(u"prevVehicleRegistrationNation"_s).toString(), u"Азербайджан"_s);
        QCOMPARE(record.value(u"prevVehicleRegistrationNumber"_s).toString(), u"А123ВС77"_s);
        QCOMPARE(record.value(u"prevCardWithdrawalTime"_s).toString(), u"29.02.2024 18:00:00"_s);
        QCOMPARE(record.value(u"manualInputFlag"_s).toString(), u"Нет"_s);
    }

    // No card type byte where the layout puts it: the record is taken apart by its separators.
    void cardRecordWithoutPublishedLayout()
    {
        QByteArray record(129, '\0');
        record[12] = 2;
        record[13] = 0x2B;
        record.replace(14, 16, "RUD0000012345678");
        QByteArray body = dayBody();
        body[8] = 1;
        body.insert(9, record);
        const DddReport report = decodeDay(body);

        QCOMPARE(report.cardIwData.size(), 1);
        const QVariantMap row = report.cardIwData.first().toMap();
        QVERIFY(!row.contains(u"cardHolderSurname"_s));
        QCOMPARE(row.value(u"cardType"_s).toString(), u"Мастерская"_s);
        QCOMPARE(row.value(u"cardIssuingMemberState"_s).toString(), u"Российская Федерация"_s);
        QCOMPARE(row.value(u"driverCardNumber"_s).toString(), u"RUD0000012345678"_s);
        QCOMPARE(row.value(u"cardExpiryDate"_s).toString(), u"01.01.0001 0:00:00"_s);
        QCOMPARE(report.activityDaily.size(), 2);
    }

    // A card time whose stored order gives no plausible year is read the other way round, in UTC whatever the
    // zone; one plausible both ways keeps the stored order although the other lies nearer to "now".
    void cardTimeStoredLittleEndian()
    {
        VuCardIwRecord card;
        card.insertionTime = qbswap(unixTime(2022, 7, 30, 14, 45, 38));
        card.withdrawalTime = 0x4F000060; // 2012 stored, 2021 the other way
        tessaron::test::setTimeZone("MSK-3");
        const DddReport report = decodeDay(dayBody({card}));
        tessaron::test::restoreSuiteTimeZone();
        QCOMPARE(rowText(report.cardIwData, 0, u"cardInsertionDate"_s), u"30.07.2022 14:45:38"_s);
        QCOMPARE(rowText(report.cardIwData, 0, u"cardWithdrawalTime"_s), u"01.01.2012 6:42:40"_s);
    }

    // A card count of 101 is refused and the activity count searched for from the count word on; a count word
    // with its high bit set still counts its low bits.
    void cardCountLimits()
    {
        QByteArray refused = dayBody();
        refused[8] = 0x65;
        const DddReport searched = decodeDay(refused);
        QVERIFY(searched.cardIwData.isEmpty());
        QCOMPARE(column(searched.activityDaily, u"slot"_s), (QStringList {u"Водитель"_s, u"Сопряжённый водитель"_s}));

        QByteArray highBit = dayBody({VuCardIwRecord(), VuCardIwRecord()});
        highBit[7] = 0x20;
        const DddReport twoCards = decodeDay(highBit);
        QCOMPARE(twoCards.cardIwData.size(), 2);
        QCOMPARE(twoCards.activityDaily.size(), 2);
    }

    void implausibleDayDate()
    {
        VuActivityDay day = emptyDay();
        day.timeReal = 0;
        day.cardIw = {VuCardIwRecord()};
        const DddReport report = decodeDay(VuFileBuilder::activityDayBody(day), 4);
        QVERIFY(report.dayInformation.isEmpty());
        QCOMPARE(report.cardIwData.size(), 1);
        QCOMPARE(column(report.activityDaily, u"dayNo"_s), (QStringList {u"4"_s, u"4"_s}));
    }

    // Too short for a day header: the card count is taken at offset 2.
    void eightByteBlock()
    {
        DddReport report;
        vu::decodeActivityBlock(report, transferBlock(u"7602"_s, QByteArray::fromHex("00000001D83C"), 1, 0));
        QVERIFY(report.dayInformation.isEmpty());
        QCOMPARE(column(report.activityDaily, u"minutes"_s), QStringList {u"60"_s});
    }

    // 129 bytes hold no signature; from 130 on the last 128 are one. The changes end the effective length: the
    // signature behind them is never read as a place count.
    void effectiveLength()
    {
        const QByteArray body127 = dayBody().leftJustified(127, '\0');
        DddReport whole;
        vu::decodeActivityBlock(whole, transferBlock(u"7602"_s, body127, 1, 0));
        QCOMPARE(whole.dayInformation.size(), 1);
        QCOMPARE(whole.activityDaily.size(), 2);
        DddReport signed130;
        vu::decodeActivityBlock(signed130, transferBlock(u"7602"_s, body127 + '\0', 1, 0));
        QVERIFY(signed130.dayInformation.isEmpty());
        QVERIFY(signed130.activityDaily.isEmpty());

        QByteArray body = dayBody();
        body.chop(3); // place count and the specific-condition count
        const QByteArray fakeSignature
            = QByteArray(QByteArray(1, '\x01') + VuFileBuilder::placeRecord({})).leftJustified(128, '\x01');
        DddReport report;
        vu::decodeActivityBlock(report, transferBlock(u"7602"_s, body + fakeSignature, 1, 0));
        QCOMPARE(report.activityDaily.size(), 2);
        QVERIFY(report.placeDailyWorkPeriod.isEmpty());
    }

    void daysOutOfOrder()
    {
        QList<QByteArray> bodies;
        for (int dayOfMonth : {2, 3, 1}) {
            VuActivityDay day;
            day.timeReal = unixTime(2022, 8, dayOfMonth, 23, 59, 59);
            day.changes = {VuActivityChange {0, false, false, 3, dayOfMonth}};
            bodies.append(VuFileBuilder::activityDayBody(day));
        }
        const DddReport report = decodeBlocks(u"7602"_s, bodies);
        QCOMPARE(column(report.dayInformation, u"timeReal"_s),
            (QStringList {u"01.08.2022 23:59:59"_s, u"02.08.2022 23:59:59"_s, u"03.08.2022 23:59:59"_s}));
        QCOMPARE(column(report.dayInformation, u"dayNo"_s), (QStringList {u"3"_s, u"1"_s, u"2"_s}));
        QCOMPARE(column(report.activityDaily, u"activityDate"_s),
            (QStringList {u"02.08.2022"_s, u"03.08.2022"_s, u"01.08.2022"_s}));
        QCOMPARE(column(report.activityDaily, u"minutes"_s), (QStringList {u"2"_s, u"3"_s, u"1"_s}));
        QCOMPARE(report.dataStartDate, u"01.08.2022 23:59:59"_s);
        QCOMPARE(report.dataEndDate, u"03.08.2022 23:59:59"_s);
    }

    // A card session spanning midnight shows in both days' blocks; it is kept once. Rows are numbered by the
    // day of insertion, and on one day a co-driver's insertion follows the driver's of the same time.
    void cardRecordsDeduplicatedAndRenumbered()
    {
        VuCardIwRecord overnight;
        overnight.insertionTime = unixTime(2022, 7, 31, 18, 55, 17);
        overnight.card.number = u"E50956355Q000001"_s;
        VuCardIwRecord coDriver = overnight;
        coDriver.slot = 1;
        coDriver.card.number = u"E11111111Q000001"_s;
        VuCardIwRecord morning;
        morning.insertionTime = unixTime(2022, 7, 31, 6, 0, 0);
        VuCardIwRecord nextDay;
        nextDay.insertionTime = unixTime(2022, 8, 1, 7, 0, 0);

        VuActivityDay second = emptyDay();
        second.timeReal = unixTime(2022, 8, 1, 23, 59, 59);
        second.cardIw = {overnight, nextDay};
        const DddReport report = decodeBlocks(
            u"7602"_s, {dayBody({coDriver, overnight, morning}), VuFileBuilder::activityDayBody(second)});

        QCOMPARE(column(report.cardIwData, u"cardInsertionDate"_s),
            (QStringList {
                u"31.07.2022 6:00:00"_s, u"31.07.2022 18:55:17"_s, u"31.07.2022 18:55:17"_s, u"01.08.2022 7:00:00"_s}));
        QCOMPARE(column(report.cardIwData, u"driverCardNumber"_s),
            (QStringList {u"RUD0000012345600"_s, u"E50956355Q000001"_s, u"E11111111Q000001"_s, u"RUD0000012345600"_s}));
        QCOMPARE(column(report.cardIwData, u"dayNo"_s), (QStringList {u"1"_s, u"1"_s, u"1"_s, u"2"_s}));
    }

    void placeTexts_data()
    {
        QTest::addColumn<int>("cardType");
        QTest::addColumn<QString>("number");
        QTest::addColumn<quint32>("entryTime");
        QTest::addColumn<int>("entryType");
        QTest::addColumn<int>("region");
        QTest::addColumn<QString>("expectedEntryType");
        QTest::addColumn<QString>("expectedRegion");

        const quint32 time = unixTime(2022, 7, 31, 3, 45, 20);
        const QString number = u"E51372045G000001"_s;
        QTest::addRow("card type 1, complete, no region")
            << 1 << number << time << 3 << 0 << u"Complete"_s << u"No information available"_s;
        QTest::addRow("card type 5, intermediate, Moscow region")
            << 5 << number << time << 4 << 0x2B << u"Intermediate"_s << u"Moscow Region"_s;
        QTest::addRow("unknown entry type and region")
            << 1 << number << time << 0x0A << 0x1F << u"UNKNOWN (0X0A)"_s << u"REGION 0X1F"_s;
        QTest::addRow("card type 0 suppressed") << 0 << number << time << 0 << 0 << QString() << QString();
        QTest::addRow("card type 6 suppressed") << 6 << number << time << 0 << 0 << QString() << QString();
        QTest::addRow("four-character number suppressed") << 1 << u"E513"_s << time << 0 << 0 << QString() << QString();
        QTest::addRow("control byte in the number suppressed")
            << 1 << u"E5137\u00012045G00001"_s << time << 0 << 0 << QString() << QString();
        QTest::addRow("unreadable entry time suppressed") << 1 << number << 0u << 0 << 0 << QString() << QString();
    }

    void placeTexts()
    {
        QFETCH(int, cardType);
        QFETCH(QString, number);
        QFETCH(quint32, entryTime);
        QFETCH(int, entryType);
        QFETCH(int, region);
        QFETCH(QString, expectedEntryType);
        QFETCH(QString, expectedRegion);

        VuPlaceRecord place;
        place.card = {quint8(cardType), 0x0F, number};
        place.entryTime = entryTime;
        place.entryType = quint8(entryType);
        place.region = quint8(region);
        const DddReport report = decodeDay(dayBody({}, {place}));
        QCOMPARE(column(report.placeDailyWorkPeriod, u"entryTypeDailyWorkPeriod"_s),
            expectedEntryType.isEmpty() ? QStringList() : QStringList {expectedEntryType});
        QCOMPARE(column(report.placeDailyWorkPeriod, u"dailyWorkPeriodRegion"_s),
            expectedRegion.isEmpty() ? QStringList() : QStringList {expectedRegion});
    }

    // ---- events and faults ----

    // Each case that reaches the overspeed control checks its three rows, which show where the cursor stood.
    void countsLargerThanTheRoom_data()
    {
        QTest::addColumn<QByteArray>("sections");
        QTest::addColumn<int>("faults");
        QTest::addColumn<int>("events");
        QTest::addColumn<int>("overspeeding");
        QTest::addColumn<bool>("controlRead");

        const QByteArray fault = VuFileBuilder::faultRecord({});
        const QByteArray event = VuFileBuilder::eventRecord({});
        const QByteArray control = overspeedControl();
        const QByteArray overspeeding = VuFileBuilder::overspeedingEvent({});
        QTest::addRow("fault count 3, room for 2")
            << QByteArray(u8(3) + fault + fault + u8(0) + control + u8(0) + u8(0)) << 2 << 0 << 0 << true;
        QTest::addRow("fault count 1, no room: events read after the count")
            << QByteArray(u8(1) + u8(0) + control + u8(0)) << 0 << 0 << 0 << true;
        QTest::addRow("event count 255, room for 1")
            << QByteArray(u8(0) + u8(255) + event + control) << 0 << 1 << 0 << true;
        QTest::addRow("overspeeding count 2, room for 1")
            << QByteArray(u8(0) + u8(0) + control + u8(2) + overspeeding) << 0 << 0 << 0 << true;
        QTest::addRow("overspeeding count 2, room for 2")
            << QByteArray(u8(0) + u8(0) + control + u8(2) + overspeeding + overspeeding) << 0 << 0 << 2 << true;
        QTest::addRow("overspeed control of 8 bytes")
            << QByteArray(u8(0) + u8(0) + control.left(8)) << 0 << 0 << 0 << false;
        QTest::addRow("overspeed control of 9 bytes") << QByteArray(u8(0) + u8(0) + control) << 0 << 0 << 0 << true;
        QTest::addRow("nothing after the tag") << QByteArray() << 0 << 0 << 0 << false;
    }

    void countsLargerThanTheRoom()
    {
        QFETCH(QByteArray, sections);
        QFETCH(int, faults);
        QFETCH(int, events);
        QFETCH(int, overspeeding);
        QFETCH(bool, controlRead);

        const DddReport report = decodedEvents(sections);
        QCOMPARE(report.tachoFaults.size(), faults);
        QCOMPARE(report.faults.size(), faults);
        QCOMPARE(report.tachoEvents.size(), events);
        QCOMPARE(report.overSpeedingEvents.size(), overspeeding);
        QCOMPARE(report.timeAdjustments.size(), 0);
        QStringList values;
        QStringList hex;
        if (controlRead) {
            values = QStringList {u"01.01.1970 0:00:00"_s, utcText(Begin), u"6"_s};
            hex = QStringList {u"00000000"_s, hexText(be32(Begin)), u"06"_s};
        }
        QCOMPARE(column(report.overSpeedingControl, u"value"_s), values);
        QCOMPARE(column(report.overSpeedingControl, u"hex"_s), hex);
    }

    void recordsNeverReachIntoTheSignature()
    {
        // The fault's bytes are only complete when the signature is counted in.
        DddReport report;
        vu::decodeEventsAndFaultsBlock(
            report, transferBlock(u"7603"_s, u8(1) + VuFileBuilder::faultRecord({}).left(40), 1, 128));
        QVERIFY(report.tachoFaults.isEmpty());
        QVERIFY(report.tachoEvents.isEmpty());
    }

    void timeAdjustments()
    {
        // Name and address fill all 35 characters, so a field read one byte off loses or gains a character.
        VuTimeAdjustment adjustment;
        adjustment.oldTime = Begin;
        adjustment.newTime = End;
        adjustment.workshopName = u"WORKSHOP OF THE NORTHERN DISTRICT 7"_s;
        adjustment.workshopAddress = u"LONG STREET 12, 123456 NORTHERN CTY"_s;
        adjustment.workshopCard = {2, 0x2B, u"RUM0000098765432"_s};
        const QByteArray record = VuFileBuilder::timeAdjustment(adjustment);
        const QByteArray head = u8(0) + u8(0) + overspeedControl() + u8(0);
        const DddReport report = decodedEvents(head + u8(1) + record);

        QCOMPARE(report.timeAdjustments.size(), 1);
        const QVariantMap row = report.timeAdjustments.constFirst().toMap();
        QCOMPARE(row.value(u"oldTimeValue"_s).toString(), utcText(Begin));
        QCOMPARE(row.value(u"newTimeValue"_s).toString(), utcText(End));
        QCOMPARE(row.value(u"workshopName"_s).toString(), adjustment.workshopName);
        QCOMPARE(row.value(u"workshopAddress"_s).toString(), adjustment.workshopAddress);
        QCOMPARE(row.value(u"workshopCardNumber"_s).toString(), u"RUM0000098765432"_s);
        QCOMPARE(row.value(u"hexData"_s).toString(), hexText(record));
        // A count larger than the room reads none.
        QVERIFY(decodedEvents(head + u8(2) + record).timeAdjustments.isEmpty());
    }

    // ---- detailed speed and technical data ----

    void speedBlocksThatFit_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("blocksPresent");
        QTest::addColumn<int>("cutFromLast");
        QTest::addColumn<int>("rows");

        QTest::addRow("count 2, room for 1") << 2 << 1 << 0 << 1;
        QTest::addRow("count 2, second block one byte short") << 2 << 2 << 1 << 1;
        QTest::addRow("count 1, room for 3") << 1 << 3 << 0 << 1;
        QTest::addRow("count 0") << 0 << 2 << 0 << 0;
        QTest::addRow("count 65535, room for 3") << 65535 << 3 << 0 << 3;
    }

    void speedBlocksThatFit()
    {
        QFETCH(int, count);
        QFETCH(int, blocksPresent);
        QFETCH(int, cutFromLast);
        QFETCH(int, rows);

        QByteArray body = beBytes(quint32(count), 2);
        for (int i = 0; i < blocksPresent; ++i)
            body += VuFileBuilder::speedBlock({Begin + 60 * quint32(i), {10, 20}});
        body.chop(cutFromLast);
        DddReport report;
        vu::decodeDetailedSpeedBlock(report, transferBlock(u"7604"_s, body));
        QCOMPARE(report.detailedSpeed.size(), rows);
        QCOMPARE(report.charts.size(), rows * 60);

        // Too short for its count word: nothing.
        DddReport cut;
        vu::decodeDetailedSpeedBlock(cut, transferBlock(u"7604"_s, body.left(count > 0 ? 1 : 0), 1, 0));
        QVERIFY(cut.detailedSpeed.isEmpty());
    }

    // The speed rows format their begin time on their own; it must read exactly as the shared time text does.
    void speedBeginTimeReadsAsTheSharedTimeText()
    {
        QList<quint32> times = {0u, 1u, 59u, 36000u, 951782400u, 951868799u, 978307199u, 4026531839u, 4026531840u,
            4026531841u, 0xFFFFFFFFu};
        QRandomGenerator random(7604);
        for (int i = 0; i < 1000; ++i)
            times.append(random.generate());
        QByteArray body = beBytes(quint32(times.size()), 2);
        for (const quint32 time : std::as_const(times))
            body += VuFileBuilder::speedBlock({time, {1}});
        DddReport report;
        vu::decodeDetailedSpeedBlock(report, transferBlock(u"7604"_s, body));

        QCOMPARE(report.detailedSpeed.size(), times.size());
        for (qsizetype i = 0; i < times.size(); ++i)
            QCOMPARE(rowText(report.detailedSpeed, i, u"speedBlockBeginDate"_s), formatUnixCSharp(times.at(i), false));
        QCOMPARE(rowText(report.detailedSpeed, 4, u"speedBlockBeginDate"_s), u"29.02.2000 0:00:00"_s);
    }

    void sensorPairingTimeZero()
    {
        VuTechnicalData data;
        data.sensorPairingDate = 0;
        DddReport report;
        vu::decodeTechnicalDataBlock(
            report, transferBlock(u"7605"_s, identificationAndSensor(data).sliced(IdentificationSize)));
        QCOMPARE(fieldValue(report.sensorPaired, u"sensorPairingDateFirst"_s), u"01.01.1970 0:00:00"_s);
    }

    void shortBlockHasNoIdentification_data()
    {
        QTest::addColumn<int>("effectiveLength");
        QTest::addColumn<int>("identificationRows");
        QTest::addColumn<int>("sensorRows");

        QTest::addRow("117 bytes: sensor at 2") << 117 << 0 << 6;
        QTest::addRow("118 bytes: identification, no sensor") << 118 << 11 << 0;
        QTest::addRow("21 bytes: nothing") << 21 << 0 << 0;
        QTest::addRow("22 bytes: sensor") << 22 << 0 << 6;
    }

    void shortBlockHasNoIdentification()
    {
        QFETCH(int, effectiveLength);
        QFETCH(int, identificationRows);
        QFETCH(int, sensorRows);

        // The sensor leads a short block; a long one carries the identification first.
        const QByteArray longBody = identificationAndSensor();
        const QByteArray shortBody = longBody.sliced(IdentificationSize) + QByteArray(200, '\0');
        const QByteArray body = (effectiveLength > 117 ? longBody : shortBody).left(effectiveLength - 2);
        DddReport report;
        vu::decodeTechnicalDataBlock(report, transferBlock(u"7605"_s, body));
        QCOMPARE(report.vuIdentification.size(), identificationRows);
        QCOMPARE(report.sensorPaired.size(), sensorRows);
        if (sensorRows > 0)
            QCOMPARE(fieldValue(report.sensorPaired, u"sensorSerialNumber"_s), u"7654321"_s);
        QVERIFY(report.calibrationData.isEmpty());
    }

    void calibrationRecordsFound_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("workshops");

        const VuCalibrationRecord a = calibration(1, u"FIRST"_s);
        const VuCalibrationRecord b = calibration(4, u"SECOND"_s);
        const VuCalibrationRecord c = calibration(5, u"THIRD"_s);
        const VuCalibrationRecord reserved = calibration(0, u"RESERVED"_s);
        // "ООО ..." in the Cyrillic code page, the head the search looks for.
        const VuCalibrationRecord cyrillic = calibration(3, u"ООО ВЕГА"_s);
        const VuCalibrationRecord cyrillicNext = calibration(4, u"ООО ВЕГА"_s);

        QTest::addRow("count 2 of 3 present") << technicalBody(2, {a, b, c}) << QStringList {u"FIRST"_s, u"SECOND"_s};
        QTest::addRow("count 4, room for 3, Latin names: none") << technicalBody(4, {a, b, c}) << QStringList();
        QTest::addRow("implausible purpose, Latin names: none") << technicalBody(2, {a, reserved}) << QStringList();
        QTest::addRow("count 9, Cyrillic names found by search")
            << technicalBody(9, {cyrillic, cyrillicNext}) << QStringList {u"ООО ВЕГА"_s, u"ООО ВЕГА"_s};
        QTest::addRow("search stops at a reserved purpose")
            << technicalBody(9, {cyrillic, reserved, a}) << QStringList {u"ООО ВЕГА"_s};
        QTest::addRow("search past noise")
            << QByteArray(technicalBody(7, {}) + QByteArray(5, char(0x05)) + VuFileBuilder::calibrationRecord(cyrillic))
            << QStringList {u"ООО ВЕГА"_s};
    }

    void calibrationRecordsFound()
    {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, workshops);

        DddReport report;
        vu::decodeTechnicalDataBlock(report, transferBlock(u"7605"_s, body));
        QCOMPARE(column(report.calibrationData, u"workshopName"_s), workshops);
    }
};

QTEST_GUILESS_MAIN(TestVuRecords)
#include "tst_vu_records.moc"
