// Real driver-card downloads cut short and corrupted must decode without a crash, a hang or a read outside the
// buffer (run under the sanitizers in CI). Every case is seeded, so a failure repeats.

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_file_splitter.h"
#include "ddd/ddd_readers.h"
#include "support/test_paths.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <set>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;

namespace {

QByteArray readSample(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Invariants that hold whatever the bytes: one chart point per activity change, the event and fault caps.
void checkReport(const DddReport &report)
{
    QCOMPARE(report.charts.size(), report.activityChanges.size());
    QVERIFY(report.events.size() <= 1000);
    QVERIFY(report.faults.size() <= 1000);
}

bool sameBlock(const DddBlock &a, const DddBlock &b)
{
    return a.offset == b.offset && a.fileNumber == b.fileNumber && a.fileType == b.fileType && a.data == b.data;
}

// A download and its blocks. A damaged copy splits into the same blocks but for a few; only those are new to
// the record decoders, so only those are decoded (the whole sequence runs on a sample of the copies).
class Sample
{
public:
    explicit Sample(const QByteArray &bytes)
        : m_bytes(bytes)
        , m_blocks(FileSplitter::split(bytes, DddFileType::DriverCard))
    { }

    const QByteArray &bytes() const { return m_bytes; }
    const QList<DddBlock> &blocks() const { return m_blocks; }

    void decodeChangedBlocks(const QByteArray &damaged) const
    {
        DddReport report;
        report.fileType = DddFileType::DriverCard;
        for (const DddBlock &block : FileSplitter::split(damaged, DddFileType::DriverCard)) {
            const bool known = std::any_of(
                m_blocks.cbegin(), m_blocks.cend(), [&block](const DddBlock &own) { return sameBlock(own, block); });
            if (!known)
                report.blocks.append(block);
        }
        Decoder::parseDriverCardData(report);
        checkReport(report);
    }

    static void decodeWhole(const QByteArray &damaged) { checkReport(Decoder::decode(damaged)); }

private:
    QByteArray m_bytes;
    QList<DddBlock> m_blocks;
};

} // namespace

class TestCardRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        setCurrentDateTimeForTesting(QDateTime(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc()));
    }
    void cleanupTestCase() { setCurrentDateTimeForTesting({}); }

    void cutAtBlockBoundaries_data() { addSampleRows(); }
    void cutAtBlockBoundaries();
    void cutAtRandomLengths_data() { addSampleRows(); }
    void cutAtRandomLengths();
    void randomByteFlips_data() { addSampleRows(); }
    void randomByteFlips();
    void randomActivityPointers_data() { addSampleRows(); }
    void randomActivityPointers();

private:
    static void addSampleRows()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<quint32>("seed");
        QTest::addRow("wrapped ring") << u"card-gen1-a.ddd"_s << 1u;
        QTest::addRow("2007 layout") << u"card-gen1-2007.ddd"_s << 2u;
        QTest::addRow("both generations") << u"card-gen2-anon.ddd"_s << 3u;
        QTest::addRow("non-standard") << u"card-nonstandard.ddd"_s << 4u;
    }
};

void TestCardRobustness::cutAtBlockBoundaries()
{
    QFETCH(QString, sample);
    TESSARON_REQUIRE_SAMPLE(path, sample);
    const Sample file(readSample(path));
    std::set<qsizetype> boundaries;
    for (const DddBlock &block : file.blocks()) {
        boundaries.insert(block.offset);
        boundaries.insert(block.offset + 5 + block.data.size());
    }
    QVERIFY(boundaries.size() > 10);
    for (const qsizetype boundary : boundaries) {
        for (qsizetype delta = -16; delta <= 16; ++delta) {
            const qsizetype length = boundary + delta;
            if (length < 0 || length >= file.bytes().size())
                continue;
            const QByteArray cut = file.bytes().left(length);
            if (delta == 0)
                Sample::decodeWhole(cut);
            else
                file.decodeChangedBlocks(cut);
        }
    }
}

void TestCardRobustness::cutAtRandomLengths()
{
    QFETCH(QString, sample);
    QFETCH(quint32, seed);
    TESSARON_REQUIRE_SAMPLE(path, sample);
    const Sample file(readSample(path));
    QRandomGenerator random(seed);
    for (int i = 0; i < 500; ++i) {
        const QByteArray cut = file.bytes().left(random.bounded(file.bytes().size()));
        if (i % 50 == 0)
            Sample::decodeWhole(cut);
        else
            file.decodeChangedBlocks(cut);
    }
}

void TestCardRobustness::randomByteFlips()
{
    QFETCH(QString, sample);
    QFETCH(quint32, seed);
    TESSARON_REQUIRE_SAMPLE(path, sample);
    const Sample file(readSample(path));
    QRandomGenerator random(seed);
    for (int i = 0; i < 200; ++i) {
        // Mostly inside one block's data, so that the block stays in place; every twentieth copy anywhere.
        qsizetype from = 0;
        qsizetype size = file.bytes().size();
        const bool anywhere = i % 20 == 0;
        if (!anywhere) {
            const DddBlock &block = file.blocks().at(random.bounded(file.blocks().size()));
            if (block.data.isEmpty())
                continue;
            from = block.offset + 5;
            size = block.data.size();
        }
        QByteArray damaged = file.bytes();
        const int flips = 1 + random.bounded(16);
        for (int flip = 0; flip < flips; ++flip) {
            const qsizetype at = from + random.bounded(size);
            damaged[at] = char(damaged.at(at) ^ (1 << random.bounded(8)));
        }
        if (anywhere)
            Sample::decodeWhole(damaged);
        else
            file.decodeChangedBlocks(damaged);
    }
}

// Pointers anywhere in and around the ring, with the ring's bytes left as they are.
void TestCardRobustness::randomActivityPointers()
{
    QFETCH(QString, sample);
    QFETCH(quint32, seed);
    TESSARON_REQUIRE_SAMPLE(path, sample);
    const Sample file(readSample(path));
    const auto activities = std::find_if(file.blocks().cbegin(), file.blocks().cend(),
        [](const DddBlock &block) { return block.fileNumber == u"0504"_s && block.fileType == 0; });
    QVERIFY(activities != file.blocks().cend());
    const qsizetype pointers = activities->offset + 5;
    const int ring = int(activities->data.size()) - 4;
    QRandomGenerator random(seed);
    for (int i = 0; i < 100; ++i) {
        QByteArray damaged = file.bytes();
        for (qsizetype at = pointers; at < pointers + 4; at += 2) {
            const int pointer = random.bounded(ring + 32);
            damaged[at] = char(pointer >> 8);
            damaged[at + 1] = char(pointer & 0xFF);
        }
        file.decodeChangedBlocks(damaged);
    }
}

QTEST_GUILESS_MAIN(TestCardRobustness)
#include "tst_card_robustness.moc"
