// Cut and corrupted downloads must decode without a crash, a hang or a read outside the buffer (run under the
// sanitizers in CI). Every case is seeded, so a failure repeats.

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_file_splitter.h"
#include "ddd/ddd_readers.h"
#include "ddd_file_builder.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

#include <memory>
#include <vector>

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

// What must hold for any blocks: the event and fault caps, and on a card one chart point per activity change.
// Empty when it holds.
QString violation(const DddReport &report)
{
    if (report.fileType == DddFileType::DriverCard && report.charts.size() != report.activityChanges.size())
        return u"chart points and activity changes differ"_s;
    if (report.events.size() > 1000 || report.faults.size() > 1000)
        return u"more than 1000 events or faults"_s;
    return {};
}

// Decodes the blocks alone, each held in an allocation of exactly its size so that the sanitizer sees a read
// even one byte past it.
QString decodeBlocks(DddFileType type, QList<DddBlock> blocks)
{
    std::vector<std::unique_ptr<char[]>> buffers;
    for (DddBlock &block : blocks) {
        auto buffer = std::make_unique<char[]>(std::size_t(block.data.size()));
        std::copy(block.data.cbegin(), block.data.cend(), buffer.get());
        block.data = QByteArray::fromRawData(buffer.get(), block.data.size());
        buffers.push_back(std::move(buffer));
    }
    DddReport report;
    report.fileType = type;
    report.blocks = std::move(blocks);
    if (type == DddFileType::DriverCard)
        Decoder::parseDriverCardData(report);
    else
        Decoder::parseTachographData(report);
    return violation(report);
}

// The blocks the splitter cuts from damaged bytes that are not among the intact file's: only they are new to
// the record decoders.
QList<DddBlock> changedBlocks(const QList<DddBlock> &intact, const QByteArray &bytes, DddFileType type)
{
    QList<DddBlock> changed;
    for (const DddBlock &block : FileSplitter::split(bytes, type)) {
        const bool known = std::any_of(intact.cbegin(), intact.cend(), [&block](const DddBlock &own) {
            return own.offset == block.offset && own.fileType == block.fileType && own.data == block.data;
        });
        if (!known)
            changed.append(block);
    }
    return changed;
}

} // namespace

class TestDddRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pinTimeZoneAndClock("Europe/Moscow"); }
    void cleanupTestCase() { releaseTimeZoneAndClock(); }

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

    // Every real download: cut at every block boundary and a few bytes either side; and every block alone, cut at
    // every length of its first 300 bytes (counts and first records), of its last 40 and at sixteen between, and
    // with seeded bytes written over it (half of the copies over its first eight bytes, where counts, lengths and
    // ring pointers lie). The whole sequence runs on a few cuts.
    void realFiles_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : sampleNames())
            QTest::addRow("%s", qPrintable(name)) << name + u".ddd"_s;
    }
    void realFiles()
    {
        QFETCH(QString, name);
        TESSARON_REQUIRE_SAMPLE(path, name);
        const QByteArray bytes = fileBytes(path);
        const DddFileType type = FileSplitter::detect(bytes);
        const QList<DddBlock> intact = FileSplitter::split(bytes, type);
        QVERIFY2(intact.size() > 5, qPrintable(QString::number(intact.size())));
        QRandomGenerator random(qHash(name));

        QString failure; // the first copy that broke an invariant
        const auto check = [&failure, type](const QList<DddBlock> &blocks, const auto &describe) {
            if (!failure.isEmpty())
                return;
            if (const QString broken = decodeBlocks(type, blocks); !broken.isEmpty())
                failure = describe() + u": "_s + broken;
        };
        for (const DddBlock &block : intact) {
            // Every block starts where the one before ends.
            for (qsizetype length = qMax<qsizetype>(0, block.offset - 3);
                 length <= block.offset + 3 && length < bytes.size(); ++length)
                check(changedBlocks(intact, bytes.first(length), type), [&] { return u"cut at %1"_s.arg(length); });
            // A second of detailed speed is a row: the speed block keeps its first twelve minutes (its count set to
            // match), so its copies stay quick under the sanitizers.
            DddBlock alone = block;
            if (block.fileNumber == u"7604"_s && block.data.size() > 4 + 64 * 12 + 128) {
                alone.data = block.data.left(4 + 64 * 12) + block.data.right(128);
                alone.data[2] = 0;
                alone.data[3] = 12;
            }
            const qsizetype size = alone.data.size();
            const auto where = [&block](const QString &copy) {
                return u"block %1 at %2, %3"_s.arg(block.fileNumber).arg(block.offset).arg(copy);
            };
            for (qsizetype length = 0; length < size;
                 length += (length < 300 || size - length < 40) ? 1 : 1 + size / 16) {
                DddBlock cut = alone;
                cut.data.truncate(length);
                check({cut}, [&] { return where(u"cut to %1"_s.arg(length)); });
            }
            const int variants = qBound(2, 40000 / qMax(int(size), 1), 24);
            for (int variant = 0; variant < variants && size > 0; ++variant) {
                DddBlock damaged = alone;
                const int room = variant % 2 == 0 ? int(qMin<qsizetype>(8, size)) : int(size);
                for (int i = 0; i <= variant % 8; ++i)
                    damaged.data[random.bounded(room)] = char(random.bounded(256));
                check({damaged}, [&] { return where(u"copy %1"_s.arg(variant)); });
            }
        }
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        for (int i = 0; i < 4; ++i) {
            const QByteArray cut = bytes.first(random.bounded(bytes.size()));
            checkInvariants(cut, Decoder::decode(cut));
        }
    }
};

QTEST_GUILESS_MAIN(TestDddRobustness)
#include "tst_ddd_robustness.moc"
