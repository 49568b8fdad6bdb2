#include "ddd/ddd_decoder.h"
#include "ddd/ddd_file_splitter.h"
#include "ddd/ddd_readers.h"
#include "ddd_file_builder.h"
#include "storage/stored_date_time.h"
#include "support/test_files.h"
#include "support/test_paths.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace tessaron::ddd;
using namespace tessaron::test;
using namespace Qt::StringLiterals;

namespace {

QByteArray rejoin(const QList<DddBlock> &blocks, DddFileType type)
{
    QByteArray bytes;
    for (const DddBlock &block : blocks) {
        if (type == DddFileType::DriverCard && block.fileNumber != u"RAW")
            bytes.append(ByteWriter()
                             .u16(block.fileNumber.toUInt(nullptr, 16))
                             .u8(quint32(block.fileType))
                             .u16(quint32(block.data.size()))
                             .data());
        bytes.append(block.data);
    }
    return bytes;
}

QStringList fileNumbers(const QList<DddBlock> &blocks)
{
    QStringList numbers;
    for (const DddBlock &block : blocks)
        numbers.append(block.fileNumber);
    return numbers;
}

QStringList groupNames(const QList<RecordGroup> &groups)
{
    QStringList names;
    for (const RecordGroup &group : groups)
        names.append(group.name);
    return names;
}

// A second-generation certificate shape: 7F21 { 5F29 profile, 42 authority, 5F4C authorisation, 7F49 { 06 oid,
// 86 point }, 5F20 holder }.
QByteArray berCertificate()
{
    const QByteArray key = ByteWriter().u8(0x06).u8(3).u8(0x2B).u8(0x24).u8(0x03).u8(0x86).u8(4).u32(0x04A1B2C3).data();
    const QByteArray body = ByteWriter()
                                .u16(0x5F29)
                                .u8(1)
                                .u8(0x00)
                                .u8(0x42)
                                .u8(8)
                                .text(u"RUS00001"_s, 8)
                                .u16(0x7F49)
                                .u8(quint32(key.size()))
                                .bytes(key)
                                .u16(0x5F20)
                                .u8(8)
                                .u32(0x01020304)
                                .u32(0x05060708)
                                .data();
    return ByteWriter().u16(0x7F21).u8(0x81).u8(quint32(body.size())).bytes(body).data();
}

} // namespace

class TestDddDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { setCurrentDateTimeForTesting(QDateTime(QDate(2024, 3, 10), QTime(12, 0), QTimeZone::utc())); }
    void cleanupTestCase() { setCurrentDateTimeForTesting({}); }

    void detection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<DddFileType>("type");
        QTest::addRow("first-generation transfer") << QByteArray("\x76\x01", 2) << DddFileType::Tachograph;
        QTest::addRow("second-generation transfer") << QByteArray("\x76\x24", 2) << DddFileType::Tachograph;
        QTest::addRow("not a transfer parameter") << QByteArray("\x76\x06\x00\x00\x00", 5) << DddFileType::Unknown;
        QTest::addRow("card ICC header") << QByteArray("\x00\x02\x00\x00\x19", 5) << DddFileType::DriverCard;
        QTest::addRow("card header cut short") << QByteArray("\x00\x02\x00\x00", 4) << DddFileType::Unknown;
    }
    void detection()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(DddFileType, type);
        QCOMPARE(FileSplitter::detect(bytes), type);
    }

    void cardSplitKeepsTypesAndBytes()
    {
        CardFileBuilder builder;
        builder.addFile(0x0002, 0, QByteArray(25, '\x01'));
        builder.addSignedFile(0x0501, QByteArray(10, '\x02'));
        builder.addSignedFile(0x0501, QByteArray(17, '\x03'), 2, 64);
        builder.addFile(0x0522, 0x81, QByteArray(64, '\x04'));
        builder.addFile(0x0504, 0, QByteArray());
        const QByteArray bytes = builder.build();

        const QList<DddBlock> blocks = FileSplitter::split(bytes, DddFileType::DriverCard);
        QCOMPARE(fileNumbers(blocks),
            (QStringList {u"0002"_s, u"0501"_s, u"0501"_s, u"0501"_s, u"0501"_s, u"0522"_s, u"0504"_s}));
        QList<qint32> types, occurrences, offsets;
        for (const DddBlock &block : blocks) {
            types.append(block.fileType);
            occurrences.append(block.occurrence);
            offsets.append(block.offset);
            QCOMPARE(block.length, block.data.size());
        }
        QCOMPARE(types, (QList<qint32> {0, 0, 1, 2, 3, 0x81, 0}));
        QCOMPARE(occurrences, (QList<qint32> {1, 1, 2, 3, 4, 1, 1}));
        QCOMPARE(offsets, (QList<qint32> {0, 30, 45, 178, 200, 269, 338}));
        QCOMPARE(rejoin(blocks, DddFileType::DriverCard), bytes);
        QVERIFY(blocks.at(2).name.contains(u"подпись"_s));
    }

    void cardLengthPastTheEndTruncatesTheLastBlock()
    {
        QByteArray bytes = CardFileBuilder().addFile(0x0002, 0, QByteArray(25, '\x01')).build();
        bytes.append(ByteWriter().u16(0x0504).u8(0).u16(13780).fill(100, '\x09').data());
        const QList<DddBlock> blocks = FileSplitter::split(bytes, DddFileType::DriverCard);
        QCOMPARE(blocks.size(), 2);
        QCOMPARE(blocks.last().fileNumber, u"0504"_s);
        QCOMPARE(blocks.last().length, 100);
        QCOMPARE(blocks.last().data, bytes.sliced(35));
    }

    void cardTrailingBytesBecomeRaw()
    {
        QByteArray bytes = CardFileBuilder::minimalDriverCard();
        bytes.append("\x05\x01\x00", 3);
        const QList<DddBlock> blocks = FileSplitter::split(bytes, DddFileType::DriverCard);
        QCOMPARE(blocks.last().fileNumber, u"RAW"_s);
        QCOMPARE(blocks.last().data, QByteArray("\x05\x01\x00", 3));
        QCOMPARE(rejoin(blocks, DddFileType::DriverCard), bytes);
    }

    void firstGenerationLengthsFollowTheCounts()
    {
        VuOverview overview;
        overview.companyLocks = {QByteArray(98, '\x01'), QByteArray(98, '\x02')};
        overview.controlActivities = {QByteArray(31, '\x03')};
        VuActivityDay day;
        day.cardIw = {VuCardIwRecord {}, VuCardIwRecord {}};
        day.changes = {VuActivityChange {}, {0, false, false, 3, 60}, {0, false, false, 0, 120}};
        day.places = {VuPlaceRecord {}};
        day.specificConditions = {VuSpecificCondition {}, VuSpecificCondition {}};
        VuEventsAndFaults eventsAndFaults;
        eventsAndFaults.faults = {VuFaultRecord {}};
        eventsAndFaults.events = {VuEventRecord {}, VuEventRecord {}};
        eventsAndFaults.overspeedingEvents = {VuOverspeedingEvent {}};
        eventsAndFaults.timeAdjustments = {VuTimeAdjustment {}};
        VuTechnicalData technical;
        technical.calibrations = {VuCalibrationRecord {}, VuCalibrationRecord {}, VuCalibrationRecord {}};
        const QByteArray bytes = VuFileBuilder()
                                     .addOverview(overview)
                                     .addActivityDay(day)
                                     .addEventsAndFaults(eventsAndFaults)
                                     .addDetailedSpeed({VuSpeedBlock {}, VuSpeedBlock {}})
                                     .addTechnicalData(technical)
                                     .build();

        const QList<DddBlock> blocks = FileSplitter::split(bytes, DddFileType::Tachograph);
        QCOMPARE(fileNumbers(blocks), (QStringList {u"7601"_s, u"7602"_s, u"7603"_s, u"7604"_s, u"7605"_s}));
        QList<qint32> lengths;
        for (const DddBlock &block : blocks)
            lengths.append(block.length);
        QCOMPARE(lengths,
            (QList<qint32> {2 + 491 + 1 + 2 * 98 + 1 + 31 + 128,
                2 + 7 + 2 + 2 * 129 + 2 + 3 * 2 + 1 + 28 + 2 + 2 * 5 + 128,
                2 + 1 + 82 + 1 + 2 * 83 + 9 + 1 + 31 + 1 + 98 + 128, 2 + 2 + 2 * 64 + 128,
                2 + 116 + 20 + 1 + 3 * 167 + 128}));
        QCOMPARE(rejoin(blocks, DddFileType::Tachograph), bytes);

        QCOMPARE(groupNames(FileSplitter::recordGroups(blocks.at(1))),
            (QStringList {u"DayInformation"_s, u"VUCardIWData"_s, u"VUActivityDailyData"_s,
                u"VUPlaceDailyWorkPeriodData"_s, u"VUSpecificConditionData"_s, u"Signature"_s}));
        const RecordGroup locks = FileSplitter::recordGroups(blocks.at(0)).at(7);
        QCOMPARE(locks.name, u"VUCompanyLocksData"_s);
        QCOMPARE(locks.offset, 493);
        QCOMPARE(locks.recordCount, 2);
        QCOMPARE(locks.recordLength, 98);
        QCOMPARE(groupNames(FileSplitter::recordGroups(blocks.at(2))).at(3), u"VUOverSpedingEventData"_s);
    }

    void firstGenerationCountPastTheEndBecomesRaw()
    {
        VuActivityDay day;
        day.cardIw = {VuCardIwRecord {}};
        QByteArray tooShort = VuFileBuilder().addActivityDay(day).build();
        tooShort.chop(129);
        const QByteArray bytes = VuFileBuilder().addOverview({}).addRaw(tooShort).build();
        const QList<DddBlock> blocks = FileSplitter::split(bytes, DddFileType::Tachograph);
        QCOMPARE(fileNumbers(blocks), (QStringList {u"7601"_s, u"RAW"_s}));
        QCOMPARE(blocks.last().offset, blocks.first().length);
        QCOMPARE(rejoin(blocks, DddFileType::Tachograph), bytes);
    }

    void trailingGarbageBecomesRaw()
    {
        const QByteArray bytes = VuFileBuilder().addDetailedSpeed({}).addRaw("garbage").build();
        const QList<DddBlock> blocks = FileSplitter::split(bytes, DddFileType::Tachograph);
        QCOMPARE(fileNumbers(blocks), (QStringList {u"7604"_s, u"RAW"_s}));
        QCOMPARE(blocks.last().data, QByteArray("garbage"));
    }

    void secondGenerationWalksRecordArrays()
    {
        const QByteArray bytes
            = VuFileBuilder()
                  .addRecordArrays(
                      0x31, {{0x0A, 17, {QByteArray("XTA21099012345678")}}, {0x03, 4, {QByteArray(4, '\x01')}}})
                  .addRecordArrays(0x32, {{0x06, 4, {QByteArray(4, '\x02')}}, {0x01, 2, {"ab", "cd", "ef"}}}, false)
                  .addRecordArrays(0x24, {{0x12, 64, {QByteArray(64, '\x03'), QByteArray(64, '\x04')}}})
                  .build();
        const QList<DddBlock> blocks = FileSplitter::split(bytes, DddFileType::Tachograph);
        QCOMPARE(fileNumbers(blocks), (QStringList {u"7631"_s, u"7632"_s, u"7624"_s}));
        QCOMPARE(blocks.at(0).length, 2 + 5 + 17 + 5 + 4 + 5 + 64);
        QCOMPARE(blocks.at(1).length, 2 + 5 + 4 + 5 + 6); // no signature: ends at the next transfer
        QCOMPARE(rejoin(blocks, DddFileType::Tachograph), bytes);

        const QList<RecordGroup> groups = FileSplitter::recordGroups(blocks.at(2));
        QCOMPARE(groupNames(groups), (QStringList {u"VuDetailedSpeedBlock"_s, u"Signature"_s}));
        QCOMPARE(groups.first().recordCount, 2);
        QCOMPARE(groups.first().recordLength, 64);
        QVERIFY(blocks.at(0).name.contains(u"версия 2"_s));
    }

    void secondGenerationArrayPastTheEndBecomesRaw()
    {
        const QByteArray bytes = VuFileBuilder()
                                     .addRecordArrays(0x21, {})
                                     .addRaw(ByteWriter().u8(0x76).u8(0x22).u8(0x01).u16(2).u16(9).fill(10).data())
                                     .build();
        const QList<DddBlock> blocks = FileSplitter::split(bytes, DddFileType::Tachograph);
        QCOMPARE(fileNumbers(blocks), (QStringList {u"7621"_s, u"RAW"_s}));
        QCOMPARE(rejoin(blocks, DddFileType::Tachograph), bytes);
    }

    void realFilesSplitAsPublished_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : tessaron::test::sampleNames())
            QTest::addRow("%s", qPrintable(name)) << name;
    }
    void realFilesSplitAsPublished()
    {
        QFETCH(QString, name);
        TESSARON_REQUIRE_SAMPLE(path, name + u".ddd"_s);
        const QJsonObject expected = tessaron::test::sampleFacts(name);
        const QByteArray bytes = fileBytes(path);

        QString error = u"untouched"_s;
        const DddReport report = Decoder::decodeFile(path, &error);
        QCOMPARE(error, u"untouched"_s);
        const bool card = expected.value(u"kind"_s).toString() == u"card";
        QCOMPARE(report.fileType, card ? DddFileType::DriverCard : DddFileType::Tachograph);
        QCOMPARE(report.sourceFingerprint, expected.value(u"file"_s).toObject().value(u"sha256"_s).toString());
        QCOMPARE(report.size, bytes.size());

        const QJsonArray blocks = expected.value(u"blocks"_s).toArray();
        QCOMPARE(report.blocks.size(), blocks.size());
        qint32 secondGeneration = 0;
        for (qsizetype i = 0; i < blocks.size(); ++i) {
            const QJsonObject want = blocks.at(i).toObject();
            const DddBlock &got = report.blocks.at(i);
            const int parameter = card ? 0 : want.value(u"tag"_s).toString().mid(2).toInt(nullptr, 16);
            secondGeneration += card
                ? want.value(u"type"_s).toInt() == 2 && want.value(u"fid"_s).toString().startsWith(u"05")
                : (parameter >= 0x21 && parameter <= 0x25) || (parameter >= 0x31 && parameter <= 0x35);
            QCOMPARE(got.fileNumber, want.value(card ? u"fid"_s : u"tag"_s).toString());
            QCOMPARE(got.offset, want.value(u"offset"_s).toInt());
            QCOMPARE(got.length, want.value(u"length"_s).toInt());
            if (card)
                QCOMPARE(got.fileType, want.value(u"type"_s).toInt());
            else
                QCOMPARE(got.data.left(2), QByteArray::fromHex(got.fileNumber.toLatin1()));
        }
        QCOMPARE(rejoin(report.blocks, report.fileType), bytes);
        QCOMPARE(report.undecodedSecondGenerationBlockCount(), secondGeneration);
    }

    // The report's fields that the file holds only in its rows, each as the published facts of the file state it:
    // a card's issuing authority and data period (first and last activity day), a vehicle unit's next calibration
    // (all its records give the same one) and the distance of its rising midnight readings.
    void reportFieldsFromTheFilesOwnRows_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : tessaron::test::sampleNames())
            QTest::addRow("%s", qPrintable(name)) << name;
    }
    void reportFieldsFromTheFilesOwnRows()
    {
        QFETCH(QString, name);
        TESSARON_REQUIRE_SAMPLE(path, name + u".ddd"_s);
        const QJsonObject expected = tessaron::test::sampleFacts(name);
        const DddReport report = Decoder::decodeFile(path);
        const auto dateOf = [](const QJsonValue &value, const QString &format) {
            return tessaron::storage::isoDateTime(value.toString()).toUTC().toString(format);
        };
        if (report.fileType == DddFileType::DriverCard) {
            const QJsonObject gen1 = expected.value(u"card"_s).toObject().value(u"gen1"_s).toObject();
            const QJsonObject activity = gen1.value(u"activity"_s).toObject();
            QCOMPARE(report.issuingAuthorityName,
                gen1.value(u"identification"_s).toObject().value(u"issuing_authority"_s).toString());
            QCOMPARE(report.dataStartDate, dateOf(activity.value(u"first_date"_s), u"dd.MM.yyyy"_s));
            QCOMPARE(report.dataEndDate, dateOf(activity.value(u"last_date"_s), u"dd.MM.yyyy"_s));
        } else {
            const QJsonObject vu = expected.value(u"vu"_s).toObject();
            const QJsonArray calibrations = vu.value(u"technical"_s).toObject().value(u"calibrations"_s).toArray();
            QCOMPARE(report.nextCalibrationDate,
                dateOf(calibrations.last().toObject().value(u"next_calibration_date"_s), u"dd.MM.yyyy H:mm:ss"_s));
            const QJsonArray days = vu.value(u"activity_days"_s).toArray();
            QCOMPARE(report.totalDistanceKm,
                days.last().toObject().value(u"odometer_midnight"_s).toInt()
                    - days.first().toObject().value(u"odometer_midnight"_s).toInt());
        }
    }

    void decodeFileReportsUnknownAndUnreadableFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(u"notes.ddd"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a tachograph file");
        file.close();

        QString error;
        const DddReport report = Decoder::decodeFile(path, &error);
        QCOMPARE(error, u"Файл не похож на DDD: неизвестный заголовок"_s);
        QCOMPARE(report.fileType, DddFileType::Unknown);
        QCOMPARE(report.fileName, u"notes.ddd"_s);
        QCOMPARE(report.blocks.size(), 1);
        QCOMPARE(report.blocks.first().fileNumber, u"RAW"_s);
        QCOMPARE(report.summary().value(u"fileType"_s).toString(), u"Неизвестный формат"_s);

        error.clear();
        const DddReport missing = Decoder::decodeFile(dir.filePath(u"absent.ddd"_s), &error);
        QVERIFY(!error.isEmpty());
        QCOMPARE(missing.fileType, DddFileType::Unknown);
        QVERIFY(missing.blocks.isEmpty());
    }

    void fingerprintAndIdentity()
    {
        const QByteArray bytes = VuFileBuilder::typicalDownload(2, 3);
        const DddReport report = Decoder::decode(bytes, u"/tmp/x/vu.ddd"_s);
        QCOMPARE(report.fileName, u"vu.ddd"_s);
        QCOMPARE(report.sourceFingerprint,
            QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
        QCOMPARE(report.vehicleIdentification.size(), 3);
        QCOMPARE(report.vehicleIdentification.first().toMap().value(u"description"_s).toString(), u"VIN номер"_s);
        QCOMPARE(report.vehicleIdentification.first().toMap().value(u"value"_s).toString(), report.vin);
        QVERIFY(report.structureText.startsWith(u"Тахограф, "_s));
        QVERIFY(report.structureText.contains(u"VUCardIWData"_s));
        const QVariantMap summary = report.summary();
        QCOMPARE(summary.value(u"fileType"_s).toString(), u"Тахограф"_s);
        QCOMPARE(summary.value(u"blockCount"_s).toInt(), 6);
        QCOMPARE(summary.value(u"formatNote"_s).toString(), u"Тахограф: поколение 1"_s);
        QCOMPARE(report.blockRows().size(), report.blocks.size());
    }

    void metadataFillsOnlyWhatAPatternProves()
    {
        // The overview cannot be walked (its lock count runs past the end), so everything is one RAW block and
        // only the metadata pass can find the VIN.
        VuOverview overview;
        overview.vin = u"WDB9634031L123456"_s;
        QByteArray body = VuFileBuilder::overviewBody(overview);
        body[491] = char(9);
        const DddReport report = Decoder::decode(VuFileBuilder().addTransfer(0x01, body).build());
        QCOMPARE(report.blocks.size(), 1);
        QCOMPARE(report.blocks.first().fileNumber, u"RAW"_s);
        QCOMPARE(report.vin, u"WDB9634031L123456"_s);

        VuOverview filler;
        filler.vin = u"*****************"_s;
        QByteArray fillerBody = VuFileBuilder::overviewBody(filler);
        fillerBody[491] = char(9);
        QVERIFY(Decoder::decode(VuFileBuilder().addTransfer(0x01, fillerBody).build()).vin.isEmpty());

        const DddReport card = Decoder::decode(CardFileBuilder::minimalDriverCard());
        QCOMPARE(card.fileType, DddFileType::DriverCard);
        QCOMPARE(card.cardNumber, u"RUD0000012345600"_s);
        QVERIFY(card.vin.isEmpty());
    }

    void sectionInventories()
    {
        const DddReport report = Decoder::decode(VuFileBuilder::typicalDownload(2, 3));
        QCOMPARE(report.sections.size(), report.blocks.size());
        const QVariantMap first = report.sections.first().toMap();
        for (const char *key : {"fileNumber", "name", "occurrence", "offset", "length", "recordCount", "recordLength",
                 "payloadHex", "records", "fileType"})
            QVERIFY2(first.contains(QLatin1StringView(key)), key);
        QCOMPARE(first.value(u"payloadHex"_s).toString(), hexText(report.blocks.first().data));

        QVariantMap cardIw;
        for (const QVariant &row : report.tachoChildSections) {
            const QVariantMap map = row.toMap();
            if (map.value(u"name"_s) == u"VUCardIWData"_s && map.value(u"occurrence"_s) == 2)
                cardIw = map;
        }
        QCOMPARE(cardIw.value(u"fileNumber"_s).toString(), u"7602"_s);
        QCOMPARE(cardIw.value(u"recordCount"_s).toInt(), 1);
        QCOMPARE(cardIw.value(u"recordLength"_s).toInt(), 129);
        QCOMPARE(cardIw.value(u"length"_s).toInt(), 2 + 129);
        const DddBlock &secondDay = report.blocks.at(2);
        QCOMPARE(cardIw.value(u"offset"_s).toInt(), secondDay.offset + 9);
        QCOMPARE(cardIw.value(u"payloadHex"_s).toString(), hexText(secondDay.data.mid(9, 131)));

        const DddReport card = Decoder::decode(CardFileBuilder::minimalDriverCard());
        QVERIFY(card.tachoChildSections.isEmpty());
        QCOMPARE(card.sections.at(3).toMap().value(u"fileType"_s).toInt(), 1);
    }

    void asn1PassReadsOnlyWellFormedBer()
    {
        CardFileBuilder builder;
        builder.addFile(0x0002, 0, QByteArray(25, '\x01'));
        builder.addFile(0xC100, 2, berCertificate());
        builder.addFile(0xC108, 2, berCertificate().chopped(1)); // one byte short: not BER
        builder.addFile(0x0505, 0, QByteArray(40, '\0'));
        builder.addFile(0x0506, 0, QByteArray::fromHex("3006020101020102"));
        const DddReport report = Decoder::decode(builder.build());

        QStringList paths;
        for (const QVariant &row : report.asn1Fields)
            paths.append(
                row.toMap().value(u"fileNumber"_s).toString() + u':' + row.toMap().value(u"path"_s).toString());
        QCOMPARE(paths,
            (QStringList {u"C100:7F21"_s, u"C100:7F21/5F29"_s, u"C100:7F21/42"_s, u"C100:7F21/7F49"_s,
                u"C100:7F21/7F49/06"_s, u"C100:7F21/7F49/86"_s, u"C100:7F21/5F20"_s, u"0506:30"_s, u"0506:30/02"_s,
                u"0506:30/02"_s}));
        const QVariantMap authority = report.asn1Fields.at(2).toMap();
        QCOMPARE(authority.value(u"value"_s).toString(), u"RUS00001"_s);
        QCOMPARE(authority.value(u"length"_s).toInt(), 8);
        QCOMPARE(report.asn1Fields.at(6).toMap().value(u"value"_s).toString(), u"0102030405060708"_s);
        QCOMPARE(report.asn1Version, 1);
        QCOMPARE(report.summary().value(u"asn1FieldCount"_s).toInt(), 10);
    }
};

QTEST_GUILESS_MAIN(TestDddDecoder)
#include "tst_ddd_decoder.moc"
