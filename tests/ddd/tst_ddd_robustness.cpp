#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "support/ddd_file_builder.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

using namespace tessaron::ddd;
using namespace tessaron::test;
using namespace Qt::StringLiterals;

namespace {

QByteArray cardWithEveryKindOfFile()
{
    CardFileBuilder builder;
    builder.addFile(0x0002, 0, ByteWriter().u8(1).u32(7).fill(20, '\x07').data());
    builder.addFile(0x0005, 0, QByteArray(8, '\x05'));
    builder.addSignedFile(0x0501, ByteWriter().u8(1).u16(1).u8(6).u8(12).u16(120).u16(4).u8(4).data());
    builder.addSignedFile(0x0520, CardFileBuilder::identificationContent({}));
    builder.addSignedFile(0x0504,
        ByteWriter()
            .u16(0)
            .u16(0)
            .u16(0)
            .u16(24)
            .u32(unixTime(2024, 3, 1))
            .u16(0x0001)
            .u16(100)
            .u16(0x1800)
            .u16(0x1B68)
            .u16(0x0400)
            .u16(0x0000)
            .fill(92)
            .data());
    builder.addSignedFile(0x0505, ByteWriter().u16(1).fill(31 * 4, '\x31').data());
    builder.addSignedFile(0x0522, ByteWriter().fill(5 * 4, '\x22').data());
    builder.addSignedFile(0x0501, QByteArray(17, '\x01'), 2, 64);
    builder.addFile(0x0522, 0x81, QByteArray(64, '\x7F'));
    return builder.build();
}

QByteArray secondGenerationUnit()
{
    return VuFileBuilder()
        .addRecordArrays(0x31, {{0x0A, 17, {QByteArray("XTA21099012345678")}}, {0x03, 4, {QByteArray(4, '\x01')}}})
        .addRecordArrays(0x32, {{0x06, 4, {QByteArray(4, '\x02')}}, {0x01, 2, {"ab", "cd"}}})
        .addRecordArrays(0x24, {{0x12, 64, {QByteArray(64, '\x03')}}})
        .build();
}

// Checks what must hold for any input: one section row per block, every block inside the file.
void checkInvariants(const QByteArray &bytes, const DddReport &report)
{
    QCOMPARE(report.size, bytes.size());
    QCOMPARE(report.sections.size(), report.blocks.size());
    for (const DddBlock &block : report.blocks) {
        QVERIFY(block.offset >= 0 && block.offset <= bytes.size());
        QCOMPARE(block.length, block.data.size());
        QVERIFY(block.data.size() <= bytes.size() - block.offset);
    }
    QVERIFY(!report.summary().isEmpty());
}

} // namespace

class TestDddRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { setCurrentDateTimeForTesting(QDateTime(QDate(2024, 3, 10), QTime(12, 0), QTimeZone::utc())); }
    void cleanupTestCase() { setCurrentDateTimeForTesting({}); }

    void files_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addRow("first-generation vehicle unit") << VuFileBuilder::typicalDownload(2, 3);
        QTest::addRow("second-generation vehicle unit") << secondGenerationUnit();
        QTest::addRow("driver card") << cardWithEveryKindOfFile();
    }

    void everyPrefixDecodes_data() { files_data(); }
    void everyPrefixDecodes()
    {
        QFETCH(QByteArray, bytes);
        for (qsizetype length = 0; length <= bytes.size(); ++length) {
            const QByteArray prefix = bytes.first(length);
            const DddReport report = Decoder::decode(prefix);
            checkInvariants(prefix, report);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(u"prefix of %1 bytes"_s.arg(length)));
        }
    }

    void seededCorruptionDecodes_data() { files_data(); }
    void seededCorruptionDecodes()
    {
        QFETCH(QByteArray, bytes);
        QRandomGenerator random(20240301);
        for (int round = 0; round < 600; ++round) {
            QByteArray corrupted = bytes;
            const int edits = 1 + int(random.bounded(8));
            for (int e = 0; e < edits && !corrupted.isEmpty(); ++e) {
                const qsizetype at = random.bounded(int(corrupted.size()));
                switch (random.bounded(4)) {
                case 0:
                    corrupted[at] = char(random.bounded(256));
                    break;
                case 1:
                    corrupted[at] = char(0xFF);
                    break;
                case 2:
                    corrupted.remove(at, 1 + random.bounded(16));
                    break;
                default:
                    corrupted.insert(at, QByteArray(1 + random.bounded(16), char(random.bounded(256))));
                    break;
                }
            }
            const DddReport report = Decoder::decode(corrupted);
            checkInvariants(corrupted, report);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(u"round %1: %2"_s.arg(round).arg(QString::fromLatin1(corrupted.toHex()))));
        }
    }

    void hostileCountsDoNotAllocate_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addRow("detailed speed claims 65535 blocks") << QByteArray("\x76\x04\xFF\xFF", 4);
        QTest::addRow("record array claims 65535 records of 65535 bytes")
            << QByteArray("\x76\x21\x01\xFF\xFF\xFF\xFF", 7);
        QTest::addRow("card file claims 65535 bytes") << QByteArray("\x00\x02\x00\xFF\xFF", 5);
        QTest::addRow("BER length of four gigabytes") << QByteArray("\x00\x02\x02\x00\x06\x7F\x21\x84\xFF\xFF\xFF", 11);
        QByteArray nested("\x02\x01\x01", 3);
        for (int depth = 0; depth < 40; ++depth)
            nested = ByteWriter().u8(0x30).u8(quint32(nested.size())).bytes(nested).data();
        QTest::addRow("BER nested forty deep") << CardFileBuilder().addFile(0xC100, 2, nested).build();
    }
    void hostileCountsDoNotAllocate()
    {
        QFETCH(QByteArray, bytes);
        checkInvariants(bytes, Decoder::decode(bytes));
    }
};

QTEST_GUILESS_MAIN(TestDddRobustness)
#include "tst_ddd_robustness.moc"
