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
using tessaron::test::be32;
using tessaron::test::blockOf;
using tessaron::test::fieldValue;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;
using tessaron::test::utcText;

namespace {

constexpr quint32 SpeedBegin = 1659226140; // 31.07.2022 0:09:00 UTC
constexpr quint32 Installed = 1589208998; // 11.05.2020 14:56:38 UTC
constexpr quint32 Manufactured = 1589155200; // 11.05.2020 0:00:00 UTC
constexpr quint32 Paired = 1461833436; // 28.04.2016 8:50:36 UTC
constexpr quint32 CardExpiry = 1622592000; // 02.06.2021 0:00:00 UTC
constexpr quint32 OldTime = 1605269800; // 13.11.2020 12:16:40 UTC
constexpr quint32 NextCalibration = 1668362400; // 13.11.2022 18:00:00 UTC

void appendBe16(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

void appendBe24(QByteArray &bytes, quint32 value)
{
    for (int shift = 16; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
}

QByteArray padded(QByteArrayView text, qsizetype size, char fill = ' ')
{
    return text.toByteArray().left(size).leftJustified(size, fill);
}

// A name or address field: a code-page byte and 35 characters.
QByteArray nameField(QByteArrayView text, quint8 codePage = 1)
{
    return char(codePage) + padded(text, 35);
}

DddBlock transferBlock(const QString &fileNumber, const QByteArray &body, int occurrence = 1)
{
    DddBlock block;
    block.fileNumber = fileNumber;
    block.occurrence = occurrence;
    block.data = QByteArray::fromHex(fileNumber.toLatin1()) + body + QByteArray(128, char(0x5A));
    block.length = qint32(block.data.size());
    return block;
}

QByteArray speedBlock(quint32 begin, QByteArrayView speeds)
{
    QByteArray bytes;
    bytes += be32(begin);
    bytes.append(padded(speeds, 60, char(0xFF)));
    return bytes;
}

QByteArray speedBody(int count, const QList<QByteArray> &blocks)
{
    QByteArray body;
    appendBe16(body, quint16(count));
    for (const QByteArray &block : blocks)
        body.append(block);
    return body;
}

QByteArray vuIdentification(quint8 type)
{
    QByteArray bytes = nameField("Continental Automotive GmbH") + nameField("H.-Hertz-Str.45 78052 VS-Villingen");
    bytes.append(padded("1381.7550303002", 16));
    bytes += be32(596586);
    bytes.append("\x05\x20", 2); // May 2020
    bytes.append(char(type));
    bytes.append(char(0xA1));
    bytes.append("3037");
    bytes += be32(Installed);
    bytes += be32(Manufactured);
    bytes.append(padded("e1-84", 8));
    Q_ASSERT(bytes.size() == 116);
    return bytes;
}

QByteArray sensorPaired(quint8 type, quint32 pairing = Paired)
{
    QByteArray bytes;
    bytes += be32(13120935);
    bytes.append("\x04\x15", 2);
    bytes.append(char(type));
    bytes.append(char(0xA1));
    bytes.append(padded("SENSOR01", 8)); // all eight bytes used: the pairing date follows at once
    bytes += be32(pairing);
    Q_ASSERT(bytes.size() == 20);
    return bytes;
}

struct Calibration
{
    quint8 purpose = 3;
    quint8 codePage = 1;
    QByteArray workshopName = "SOLUCIONES TECNICAS PARA VEHICULOS";
    QByteArray workshopAddress = "CALLE DE GUILLERMO MESA, 14 PARACUE";
    quint8 cardNation = 15;
    quint8 registrationNation = 15;
    QByteArray registration = "5104JNL";
    quint16 w = 8831;
    quint16 k = 8831;
    quint16 l = 21200;
    quint8 speed = 100;
    quint32 oldOdometer = 219761;
    quint32 newOdometer = 0xFFFFFF;
};

// VuCalibrationRecord, 167 bytes.
QByteArray calibrationRecord(const Calibration &c)
{
    QByteArray bytes;
    bytes.append(char(c.purpose));
    bytes.append(nameField(c.workshopName, c.codePage));
    bytes.append(nameField(c.workshopAddress, c.codePage));
    bytes.append(char(2));
    bytes.append(char(c.cardNation));
    bytes.append("EB86731296000005");
    bytes += be32(CardExpiry);
    bytes.append("LZYTCTE60F1047099");
    bytes.append(char(c.registrationNation));
    bytes.append(char(1));
    bytes.append(padded(c.registration, 13));
    appendBe16(bytes, c.w);
    appendBe16(bytes, c.k);
    appendBe16(bytes, c.l);
    bytes.append(padded("265-70R19.5", 15));
    bytes.append(char(c.speed));
    appendBe24(bytes, c.oldOdometer);
    appendBe24(bytes, c.newOdometer);
    bytes += be32(OldTime);
    bytes += be32(0xFFFFFFFF);
    bytes += be32(NextCalibration);
    Q_ASSERT(bytes.size() == 167);
    return bytes;
}

QByteArray technicalBody(int count, const QList<QByteArray> &records)
{
    QByteArray body = vuIdentification(6) + sensorPaired(1);
    body.append(char(count));
    for (const QByteArray &record : records)
        body.append(record);
    return body;
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

Q_DECLARE_METATYPE(Calibration)

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
            blocks.append(speedBlock(SpeedBegin + 60 * i, "\x0A\x14"));
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
            blocks.append(speedBlock(time, "\x01"));
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
        vu::decodeTechnicalDataBlock(report, transferBlock(u"7605"_s, sensorPaired(1, 0)));
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
        const QByteArray longBody = vuIdentification(6) + sensorPaired(1);
        const QByteArray shortBody = sensorPaired(1) + QByteArray(200, '\0');
        const QByteArray body = (effectiveLength > 117 ? longBody : shortBody).left(effectiveLength - 2);
        DddReport report;
        vu::decodeTechnicalDataBlock(report, transferBlock(u"7605"_s, body));
        QCOMPARE(report.vuIdentification.size(), identificationRows);
        QCOMPARE(report.sensorPaired.size(), sensorRows);
        if (sensorRows > 0)
            QCOMPARE(fieldValue(report.sensorPaired, u"sensorSerialNumber"_s), u"13120935"_s);
        QVERIFY(report.calibrationData.isEmpty());
    }

    void calibrationRecordsFound_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("workshops");

        Calibration first;
        first.purpose = 1;
        first.workshopName = "FIRST";
        Calibration second;
        second.purpose = 4;
        second.workshopName = "SECOND";
        Calibration third;
        third.purpose = 5;
        third.workshopName = "THIRD";
        Calibration reserved;
        reserved.purpose = 0;
        reserved.workshopName = "RESERVED";
        Calibration cyrillic; // "ООО ..." in the Cyrillic code page
        cyrillic.codePage = 5;
        cyrillic.workshopName = "\xBE\xBE\xBE \xB2\xB5\xB3\xB0";
        Calibration cyrillicNext = cyrillic;
        cyrillicNext.purpose = 4;
        const QByteArray a = calibrationRecord(first);
        const QByteArray b = calibrationRecord(second);
        const QByteArray c = calibrationRecord(third);

        QTest::addRow("count 3, all fit")
            << technicalBody(3, {a, b, c}) << QStringList {u"FIRST"_s, u"SECOND"_s, u"THIRD"_s};
        QTest::addRow("count 2 of 3 present") << technicalBody(2, {a, b, c}) << QStringList {u"FIRST"_s, u"SECOND"_s};
        QTest::addRow("count 4, room for 3, Latin names: none") << technicalBody(4, {a, b, c}) << QStringList();
        QTest::addRow("count 0, Latin names: none") << technicalBody(0, {a, b}) << QStringList();
        QTest::addRow("implausible purpose, Latin names: none")
            << technicalBody(2, {a, calibrationRecord(reserved)}) << QStringList();
        QTest::addRow("count 9, Cyrillic names found by search")
            << technicalBody(9, {calibrationRecord(cyrillic), calibrationRecord(cyrillicNext)})
            << QStringList {u"ООО ВЕГА"_s, u"ООО ВЕГА"_s};
        QTest::addRow("search stops at a reserved purpose")
            << technicalBody(9, {calibrationRecord(cyrillic), calibrationRecord(reserved), a})
            << QStringList {u"ООО ВЕГА"_s};
        QTest::addRow("search past noise")
            << QByteArray(technicalBody(7, {}) + QByteArray(5, char(0x05)) + calibrationRecord(cyrillic))
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
