#include "ddd/ddd_decoder.h"
#include "ddd/ddd_file_splitter.h"
#include "ddd/ddd_readers.h"
#include "ddd/vu_sample_blocks.h"
#include "support/time_zone_pin.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

#include <memory>
#include <vector>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;

// Real vehicle-unit downloads cut short and corrupted must decode without a crash, a hang or a read outside
// their buffers; run under the sanitizers this is where such a read shows. A block that a cut or a corruption
// leaves intact decodes as in the intact file, so each case decodes only the blocks it changed, and the whole
// decoding sequence runs on a seeded few.
class TestVuRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pinTimeZoneAndClock("Europe/Moscow"); }
    void cleanupTestCase() { releaseTimeZoneAndClock(); }

    void cuts_data();
    void cuts();
    void corruptBlocks_data();
    void corruptBlocks();
    void corruptFiles_data();
    void corruptFiles();
};

namespace {

struct Sample
{
    QByteArray bytes;
    QList<DddBlock> knownBlocks; // where the facts file places them
    QHash<qint32, QByteArray> splitBlocks; // the intact file's blocks as the splitter cuts them, by offset
    qsizetype days = 0;
};

// A second of detailed speed is a row: the speed block of a real file decodes into 86,400 of them, far too
// many to repeat for every cut under the sanitizers. With shortSpeed the block keeps its first twelve minutes
// (its count set to match), so cuts fall evenly over all blocks; the speed decoder meets every cut of its own
// block in its own tests.
bool loadSample(const QString &name, Sample &sample, bool shortSpeed)
{
    tessaron::test::VuSample vuSample;
    QFile file(tessaron::test::samplePath(name + u".ddd"_s));
    if (!tessaron::test::loadVuSample(name, vuSample) || !file.open(QIODevice::ReadOnly))
        return false;
    sample.bytes = file.readAll();
    sample.knownBlocks = vuSample.report.blocks;
    if (shortSpeed) {
        constexpr int Minutes = 12;
        qint32 shift = 0;
        for (DddBlock &block : sample.knownBlocks) {
            block.offset -= shift;
            if (block.fileNumber != u"7604"_s || block.length < 4 + 64 * Minutes + 128)
                continue;
            QByteArray shortened = block.data.left(4 + 64 * Minutes) + block.data.right(128);
            shortened[2] = 0;
            shortened[3] = char(Minutes);
            sample.bytes.replace(block.offset, block.length, shortened);
            shift += block.length - qint32(shortened.size());
            block.data = shortened;
            block.length = qint32(shortened.size());
        }
    }
    for (const DddBlock &block : FileSplitter::split(sample.bytes, DddFileType::Tachograph))
        sample.splitBlocks.insert(block.offset, block.data);
    sample.days = vuSample.expected.value(u"vu"_s).toObject().value(u"activity_days"_s).toArray().size();
    return true;
}

// Decodes the blocks, each held in an allocation of exactly its size so that the sanitizer sees a read even
// one byte past it; the number of days decoded.
qsizetype decodeBlocks(QList<DddBlock> blocks)
{
    std::vector<std::unique_ptr<char[]>> buffers;
    for (DddBlock &block : blocks) {
        auto buffer = std::make_unique<char[]>(std::size_t(block.data.size()));
        std::copy(block.data.cbegin(), block.data.cend(), buffer.get());
        block.data = QByteArray::fromRawData(buffer.get(), block.data.size());
        buffers.push_back(std::move(buffer));
    }
    DddReport report;
    report.fileType = DddFileType::Tachograph;
    report.blocks = std::move(blocks);
    Decoder::parseTachographData(report);
    return report.dayInformation.size();
}

// The blocks the splitter cuts from damaged bytes that differ from the intact file's.
QList<DddBlock> changedBlocks(const Sample &sample, const QByteArray &bytes)
{
    QList<DddBlock> changed;
    for (const DddBlock &block : FileSplitter::split(bytes, FileSplitter::detect(bytes))) {
        const auto intact = sample.splitBlocks.constFind(block.offset);
        if (intact == sample.splitBlocks.cend() || *intact != block.data)
            changed.append(block);
    }
    return changed;
}

void addSampleRows()
{
    QTest::addColumn<QString>("name");
    QTest::addRow("gen1 download") << u"vu-gen1-a"_s;
    QTest::addRow("anonymised gen1 download") << u"vu-gen1-anon"_s;
}

} // namespace

void TestVuRobustness::cuts_data()
{
    addSampleRows();
}

// At every block boundary ±16 bytes and at 500 seeded random lengths: the cut block as the splitter gives it
// and, when that differs, as it lies in the file, clipped; and the whole sequence on a few cuts.
void TestVuRobustness::cuts()
{
    QFETCH(QString, name);
    Sample sample;
    if (!loadSample(name, sample, true))
        QSKIP("real sample not found");
    QCOMPARE(sample.splitBlocks.size(), sample.knownBlocks.size());

    QList<qsizetype> lengths;
    for (const DddBlock &block : std::as_const(sample.knownBlocks)) {
        for (qsizetype delta = -16; delta <= 16; ++delta) {
            const qsizetype length = block.offset + block.length + delta;
            if (length >= 0 && length <= sample.bytes.size())
                lengths.append(length);
        }
    }
    QRandomGenerator random(20260301);
    for (int i = 0; i < 500; ++i)
        lengths.append(random.bounded(sample.bytes.size() + 1));

    for (qsizetype length : std::as_const(lengths)) {
        const QByteArray cut = sample.bytes.left(length);
        QList<DddBlock> blocks = changedBlocks(sample, cut);
        for (DddBlock block : std::as_const(sample.knownBlocks)) {
            if (block.offset >= length || length >= block.offset + block.length)
                continue;
            block.data = cut.mid(block.offset);
            block.length = qint32(block.data.size());
            const bool split = std::any_of(blocks.cbegin(), blocks.cend(),
                [&block](const DddBlock &other) { return other.offset == block.offset && other.data == block.data; });
            if (!split)
                blocks.append(block);
        }
        QVERIFY(decodeBlocks(blocks) <= sample.days);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(u"cut at %1 bytes"_s.arg(length)));
    }

    for (int i = 0; i < 8; ++i) {
        const qsizetype length = random.bounded(sample.bytes.size() + 1);
        const DddReport report = Decoder::decode(sample.bytes.left(length));
        QVERIFY(report.dayInformation.size() <= sample.days);
    }
}

void TestVuRobustness::corruptBlocks_data()
{
    addSampleRows();
}

// Each block alone with seeded random bytes written over it: a few, and one in ten of its bytes.
void TestVuRobustness::corruptBlocks()
{
    QFETCH(QString, name);
    Sample sample;
    if (!loadSample(name, sample, false))
        QSKIP("real sample not found");

    QRandomGenerator random(777);
    for (const DddBlock &intact : std::as_const(sample.knownBlocks)) {
        const int variants = qBound(2, 40000 / qMax(intact.length, 1), 40);
        for (int variant = 0; variant < variants; ++variant) {
            DddBlock block = intact;
            const int writes = variant % 2 == 0 ? 1 + variant % 8 : qMax(1, block.length / 10);
            for (int i = 0; i < writes; ++i)
                block.data[random.bounded(block.data.size())] = char(random.bounded(256));
            decodeBlocks({block});
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(u"block %1 at %2, variant %3"_s.arg(block.fileNumber).arg(block.offset).arg(variant)));
        }
    }
}

void TestVuRobustness::corruptFiles_data()
{
    addSampleRows();
}

// Whole files with seeded random bytes written over them, through the splitter and the whole sequence.
void TestVuRobustness::corruptFiles()
{
    QFETCH(QString, name);
    Sample sample;
    if (!loadSample(name, sample, false))
        QSKIP("real sample not found");

    QRandomGenerator random(4242);
    for (int variant = 0; variant < 12; ++variant) {
        QByteArray bytes = sample.bytes;
        const int writes = variant % 2 == 0 ? 4 : 400;
        for (int i = 0; i < writes; ++i)
            bytes[random.bounded(bytes.size())] = char(random.bounded(256));
        QVERIFY(decodeBlocks(changedBlocks(sample, bytes)) <= sample.days);
        if (variant % 6 == 0)
            Decoder::decode(bytes);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(u"variant %1"_s.arg(variant)));
    }
}

QTEST_GUILESS_MAIN(TestVuRobustness)
#include "tst_vu_robustness.moc"
