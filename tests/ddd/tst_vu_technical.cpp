#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "ddd/record_names.h"
#include "ddd/vu_records.h"
#include "support/ddd_file_builder.h"
#include "support/ddd_test_rows.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"
#include "vu_sample_blocks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using namespace tessaron::ddd;
using tessaron::test::beBytes;
using tessaron::test::blockOf;
using tessaron::test::fieldValue;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;
using tessaron::test::utcText;
using tessaron::test::VuCalibrationRecord;
using tessaron::test::VuFileBuilder;
using tessaron::test::VuTechnicalData;

namespace {

constexpr quint32 SpeedBegin = 1659226140; // 31.07.2022 0:09:00 UTC
constexpr qsizetype IdentificationSize = 116;
constexpr qsizetype SensorSize = 20;

DddBlock transferBlock(const QString &fileNumber, const QByteArray &body, int occurrence = 1)
{
    DddBlock block;
    block.fileNumber = fileNumber;
    block.occurrence = occurrence;
    block.data = QByteArray::fromHex(fileNumber.toLatin1()) + body + QByteArray(128, char(0x5A));
    block.length = qint32(block.data.size());
    return block;
}

// A detailed-speed body that claims count blocks whatever follows.
QByteArray speedBody(int count, const QList<QByteArray> &blocks)
{
    return beBytes(quint32(count), 2) + blocks.join();
}

// The identification and the paired sensor of a technical-data body, without the calibration count.
QByteArray identificationAndSensor(const VuTechnicalData &data = {})
{
    return VuFileBuilder::technicalDataBody(data).first(IdentificationSize + SensorSize);
}

QByteArray sensorPaired(quint32 pairing)
{
    VuTechnicalData data;
    data.sensorPairingDate = pairing;
    return identificationAndSensor(data).sliced(IdentificationSize);
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
    return QDateTime::fromString(value.toString(), Qt::ISODate).toUTC().toString(u"dd.MM.yyyy H:mm:ss"_s);
}

QString monthYearText(const QJsonValue &value)
{
    return value.toString().remove(u'/');
}

} // namespace

class TestVuTechnical : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTimeZoneAndClock("UTC", QDateTime(QDate(2026, 1, 15), QTime(12, 0), QTimeZone::utc())); }
    void cleanupTestCase() { releaseTimeZoneAndClock(); }

    // ---- detailed speed ----

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

        QList<QByteArray> blocks;
        for (int i = 0; i < blocksPresent; ++i)
            blocks.append(VuFileBuilder::speedBlock({SpeedBegin + 60 * quint32(i), {10, 20}}));
        QByteArray body = speedBody(count, blocks);
        body.chop(cutFromLast);
        DddReport report;
        vu::decodeDetailedSpeedBlock(report, transferBlock(u"7604"_s, body));
        QCOMPARE(report.detailedSpeed.size(), rows);
        QCOMPARE(report.charts.size(), rows * 60);
    }

    // The speed rows format their begin time on their own; it must read exactly as the shared time text does.
    void speedBeginTimeReadsAsTheSharedTimeText()
    {
        QList<quint32> times = {0u, 1u, 59u, 36000u, 951782400u, 951868799u, 978307199u, 4026531839u, 4026531840u,
            4026531841u, 0xFFFFFFFFu};
        QRandomGenerator random(7604);
        for (int i = 0; i < 1000; ++i)
            times.append(random.generate());
        QList<QByteArray> blocks;
        for (const quint32 time : std::as_const(times))
            blocks.append(VuFileBuilder::speedBlock({time, {1}}));
        DddReport report;
        vu::decodeDetailedSpeedBlock(report, transferBlock(u"7604"_s, speedBody(int(blocks.size()), blocks)));

        QCOMPARE(report.detailedSpeed.size(), times.size());
        for (qsizetype i = 0; i < times.size(); ++i) {
            QCOMPARE(report.detailedSpeed.at(i).toMap().value(u"speedBlockBeginDate"_s).toString(),
                formatUnixCSharp(times.at(i), false));
        }
        QCOMPARE(
            report.detailedSpeed.at(4).toMap().value(u"speedBlockBeginDate"_s).toString(), u"29.02.2000 0:00:00"_s);
        QCOMPARE(
            report.detailedSpeed.at(3).toMap().value(u"speedBlockBeginDate"_s).toString(), u"01.01.1970 10:00:00"_s);
    }

    void speedBlockTooShortForItsCount()
    {
        for (int size = 0; size <= 4; ++size) {
            DddBlock block;
            block.fileNumber = u"7604"_s;
            block.data = QByteArray("\x76\x04\x00\x01", 4).left(size);
            DddReport report;
            vu::decodeDetailedSpeedBlock(report, block);
            QVERIFY(report.detailedSpeed.isEmpty());
            QVERIFY(report.charts.isEmpty());
        }
    }

    // ---- technical data ----

    void sensorPairingTimeZero()
    {
        DddReport report;
        vu::decodeTechnicalDataBlock(report, transferBlock(u"7605"_s, sensorPaired(0)));
        QCOMPARE(fieldValue(report.sensorPaired, u"sensorPairingDateFirst"_s), u"01.01.1970 0:00:00"_s);
    }

    void shortBlockHasNoIdentification_data()
    {
        QTest::addColumn<int>("effectiveLength");
        QTest::addColumn<int>("identificationRows");
        QTest::addColumn<int>("sensorRows");

        QTest::addRow("117 bytes: sensor at 2") << 117 << 0 << 6;
        QTest::addRow("118 bytes: identification, no sensor") << 118 << 11 << 0;
        QTest::addRow("138 bytes: identification and sensor") << 138 << 11 << 6;
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

        QTest::addRow("count 3, all fit")
            << technicalBody(3, {a, b, c}) << QStringList {u"FIRST"_s, u"SECOND"_s, u"THIRD"_s};
        QTest::addRow("count 2 of 3 present") << technicalBody(2, {a, b, c}) << QStringList {u"FIRST"_s, u"SECOND"_s};
        QTest::addRow("count 4, room for 3, Latin names: none") << technicalBody(4, {a, b, c}) << QStringList();
        QTest::addRow("count 0, Latin names: none") << technicalBody(0, {a, b}) << QStringList();
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
        QStringList names;
        for (const QVariant &row : std::as_const(report.calibrationData))
            names.append(row.toMap().value(u"workshopName"_s).toString());
        QCOMPARE(names, workshops);
    }

    // ---- real files ----

    void realFiles_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addRow("vu-gen1-a") << u"vu-gen1-a"_s;
        QTest::addRow("vu-gen1-anon") << u"vu-gen1-anon"_s;
    }

    void realFiles()
    {
        QFETCH(QString, sample);
        TESSARON_REQUIRE_VU_SAMPLE(vuSample, sample);
        const QJsonObject vuFacts = vuSample.expected.value(u"vu"_s).toObject();
        QVERIFY(!vuFacts.isEmpty());
        DddReport report;
        vu::decodeDetailedSpeedBlock(report, blockOf(vuSample, u"7604"_s));
        vu::decodeTechnicalDataBlock(report, blockOf(vuSample, u"7605"_s));

        const QJsonObject speed = vuFacts.value(u"detailed_speed"_s).toObject();
        const int blocks = speed.value(u"blocks"_s).toInt();
        QCOMPARE(report.detailedSpeed.size(), blocks);
        QCOMPARE(report.charts.size(), blocks * 60);
        const QVariantMap first = report.detailedSpeed.constFirst().toMap();
        QCOMPARE(first.value(u"speedBlockBeginDate"_s).toString(), factTime(speed.value(u"first_block_begin"_s)));
        QCOMPARE(report.detailedSpeed.constLast().toMap().value(u"speedBlockBeginDate"_s).toString(),
            factTime(speed.value(u"last_block_begin"_s)));
        QVariantList expectedSpeeds;
        for (const QJsonValue &value : speed.value(u"first_block_speeds"_s).toArray())
            expectedSpeeds.append(value.toInt());
        QCOMPARE(first.value(u"speedValues"_s).toList(), expectedSpeeds);
        for (int second = 0; second < 60; ++second)
            QCOMPARE(report.charts.at(second).toMap().value(u"value"_s), expectedSpeeds.at(second));

        const QJsonObject technical = vuFacts.value(u"technical"_s).toObject();
        const QJsonObject serial = technical.value(u"serial_number"_s).toObject();
        const auto identification
            = [&](const QString &description) { return fieldValue(report.vuIdentification, description); };
        QCOMPARE(identification(u"vuManufacturerName"_s), technical.value(u"manufacturer_name"_s).toString());
        QCOMPARE(identification(u"vuManufacturerAddress"_s), technical.value(u"manufacturer_address"_s).toString());
        QCOMPARE(identification(u"vuPartNumber"_s), technical.value(u"part_number"_s).toString());
        QCOMPARE(identification(u"vuSerialNumber"_s), QString::number(serial.value(u"serial_number"_s).toInteger()));
        QCOMPARE(identification(u"monthYear"_s), monthYearText(serial.value(u"month_year"_s)));
        QCOMPARE(identification(u"manufacturerCode"_s), QString::number(serial.value(u"manufacturer_code"_s).toInt()));
        QCOMPARE(identification(u"vuSoftwareVersion"_s), technical.value(u"software_version"_s).toString());
        QCOMPARE(
            identification(u"vuSoftInstallationDate"_s), factTime(technical.value(u"software_installation_date"_s)));
        QCOMPARE(identification(u"vuManufacturingDate"_s), factTime(technical.value(u"manufacturing_date"_s)).left(10));
        QCOMPARE(identification(u"vuApprovalNumber"_s), technical.value(u"approval_number"_s).toString());

        const QJsonObject sensor = technical.value(u"sensor"_s).toObject();
        const QJsonObject sensorSerial = sensor.value(u"serial_number"_s).toObject();
        const auto sensorValue
            = [&](const QString &description) { return fieldValue(report.sensorPaired, description); };
        QCOMPARE(
            sensorValue(u"sensorSerialNumber"_s), QString::number(sensorSerial.value(u"serial_number"_s).toInteger()));
        QCOMPARE(sensorValue(u"monthYear"_s), monthYearText(sensorSerial.value(u"month_year"_s)));
        QCOMPARE(
            sensorValue(u"manufacturerCode"_s), QString::number(sensorSerial.value(u"manufacturer_code"_s).toInt()));
        QCOMPARE(sensorValue(u"sensorApprovalNumber"_s), sensor.value(u"approval_number"_s).toString());
        QCOMPARE(sensorValue(u"sensorPairingDateFirst"_s), factTime(sensor.value(u"pairing_date_first"_s)));

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

        // The whole decoding of the file, splitter and walk included, gives the same rows.
        const DddReport whole = Decoder::decodeFile(tessaron::test::samplePath(sample + u".ddd"_s));
        QCOMPARE(whole.detailedSpeed, report.detailedSpeed);
        QCOMPARE(whole.charts, report.charts);
        QCOMPARE(whole.vuIdentification, report.vuIdentification);
        QCOMPARE(whole.sensorPaired, report.sensorPaired);
        QCOMPARE(whole.calibrationData, report.calibrationData);
    }
};

QTEST_GUILESS_MAIN(TestVuTechnical)
#include "tst_vu_technical.moc"
