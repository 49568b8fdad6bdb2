// Real driver-card downloads cut short and corrupted must decode without a crash, a hang or a read outside the
// buffer (run under the sanitizers in CI). Every case is seeded, so a failure repeats.

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_file_splitter.h"
#include "ddd/ddd_readers.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimeZone>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>
#include <vector>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;
using tessaron::test::fileBytes;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;

namespace {

// Invariants that hold whatever the bytes: one chart point per activity change, the event and fault caps.
// Empty when they hold.
QString violation(const DddReport &report)
{
    if (report.charts.size() != report.activityChanges.size())
        return u"chart points and activity changes differ"_s;
    if (report.events.size() > 1000 || report.faults.size() > 1000)
        return u"more than 1000 events or faults"_s;
    return {};
}

bool sameBlock(const DddBlock &a, const DddBlock &b)
{
    return a.offset == b.offset && a.fileNumber == b.fileNumber && a.fileType == b.fileType && a.data == b.data;
}

// A damaged copy of a download: cut to `length` bytes, then `flips` applied (position, bit mask).
struct Damage
{
    qsizetype length = 0;
    std::vector<std::pair<qsizetype, char>> flips;
    bool whole = false; // through the whole decoding sequence, not only the record decoders
};

// A download and its blocks. A damaged copy splits into the same blocks but for a few; only those are new to
// the record decoders, so only those are decoded (the whole sequence runs on a sample of the copies). The
// copies decode in parallel: the decoder keeps no state.
class Sample
{
public:
    explicit Sample(const QByteArray &bytes)
        : m_bytes(bytes)
        , m_blocks(FileSplitter::split(bytes, DddFileType::DriverCard))
    { }

    const QByteArray &bytes() const { return m_bytes; }
    const QList<DddBlock> &blocks() const { return m_blocks; }

    // The first broken invariant over all copies, with the copy's number; empty when every copy held.
    QString decodeAll(const std::vector<Damage> &damages) const
    {
        std::atomic_size_t next = 0;
        QMutex mutex;
        QString failure;
        QThreadPool pool;
        const int workers = qMax(1, QThread::idealThreadCount());
        pool.setMaxThreadCount(workers);
        for (int worker = 0; worker < workers; ++worker) {
            pool.start([&] {
                for (size_t i = next++; i < damages.size(); i = next++) {
                    const QString broken = decode(damages[i]);
                    if (!broken.isEmpty()) {
                        QMutexLocker locker(&mutex);
                        if (failure.isEmpty())
                            failure = u"copy %1: %2"_s.arg(i).arg(broken);
                    }
                }
            });
        }
        pool.waitForDone();
        return failure;
    }

private:
    QString decode(const Damage &damage) const
    {
        QByteArray damaged = m_bytes.left(damage.length);
        for (const auto &[position, mask] : damage.flips)
            damaged[position] = char(damaged.at(position) ^ mask);
        if (damage.whole)
            return violation(Decoder::decode(damaged));
        DddReport report;
        report.fileType = DddFileType::DriverCard;
        for (const DddBlock &block : FileSplitter::split(damaged, DddFileType::DriverCard)) {
            const bool known = std::any_of(
                m_blocks.cbegin(), m_blocks.cend(), [&block](const DddBlock &own) { return sameBlock(own, block); });
            if (!known)
                report.blocks.append(block);
        }
        Decoder::parseDriverCardData(report);
        return violation(report);
    }

    QByteArray m_bytes;
    QList<DddBlock> m_blocks;
};

} // namespace

class TestCardRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pinTimeZoneAndClock(); }
    void cleanupTestCase() { releaseTimeZoneAndClock(); }

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
    const Sample file(fileBytes(path));
    std::set<qsizetype> boundaries;
    for (const DddBlock &block : file.blocks()) {
        boundaries.insert(block.offset);
        boundaries.insert(block.offset + 5 + block.data.size());
    }
    QVERIFY(boundaries.size() > 10);
    std::vector<Damage> damages;
    for (const qsizetype boundary : boundaries) {
        for (qsizetype delta = -16; delta <= 16; ++delta) {
            const qsizetype length = boundary + delta;
            if (length >= 0 && length < file.bytes().size())
                damages.push_back({length, {}, delta == 0});
        }
    }
    QCOMPARE(file.decodeAll(damages), QString());
}

void TestCardRobustness::cutAtRandomLengths()
{
    QFETCH(QString, sample);
    QFETCH(quint32, seed);
    TESSARON_REQUIRE_SAMPLE(path, sample);
    const Sample file(fileBytes(path));
    QRandomGenerator random(seed);
    std::vector<Damage> damages;
    for (int i = 0; i < 500; ++i)
        damages.push_back({random.bounded(file.bytes().size()), {}, i % 50 == 0});
    QCOMPARE(file.decodeAll(damages), QString());
}

void TestCardRobustness::randomByteFlips()
{
    QFETCH(QString, sample);
    QFETCH(quint32, seed);
    TESSARON_REQUIRE_SAMPLE(path, sample);
    const Sample file(fileBytes(path));
    QRandomGenerator random(seed);
    std::vector<Damage> damages;
    for (int i = 0; i < 150; ++i) {
        // Mostly inside one block's data, so that the block stays in place; every tenth copy anywhere.
        Damage damage {file.bytes().size(), {}, i % 10 == 0};
        qsizetype from = 0;
        qsizetype size = file.bytes().size();
        if (!damage.whole) {
            const DddBlock &block = file.blocks().at(random.bounded(file.blocks().size()));
            if (block.data.isEmpty())
                continue;
            from = block.offset + 5;
            size = block.data.size();
        }
        const int flips = 1 + random.bounded(16);
        for (int flip = 0; flip < flips; ++flip)
            damage.flips.push_back({from + random.bounded(size), char(1 << random.bounded(8))});
        damages.push_back(std::move(damage));
    }
    QCOMPARE(file.decodeAll(damages), QString());
}

// Pointers anywhere in and around the ring, with the ring's bytes left as they are.
void TestCardRobustness::randomActivityPointers()
{
    QFETCH(QString, sample);
    QFETCH(quint32, seed);
    TESSARON_REQUIRE_SAMPLE(path, sample);
    const Sample file(fileBytes(path));
    const auto activities = std::find_if(file.blocks().cbegin(), file.blocks().cend(),
        [](const DddBlock &block) { return block.fileNumber == u"0504"_s && block.fileType == 0; });
    QVERIFY(activities != file.blocks().cend());
    const qsizetype pointers = activities->offset + 5;
    const int ring = int(activities->data.size()) - 4;
    QRandomGenerator random(seed);
    std::vector<Damage> damages;
    for (int i = 0; i < 60; ++i) {
        Damage damage {file.bytes().size(), {}, false};
        for (qsizetype at = pointers; at < pointers + 4; at += 2) {
            // The flip that turns the stored pointer into a random one.
            const int pointer = random.bounded(ring + 32);
            damage.flips.push_back({at, char(file.bytes().at(at) ^ char(pointer >> 8))});
            damage.flips.push_back({at + 1, char(file.bytes().at(at + 1) ^ char(pointer & 0xFF))});
        }
        damages.push_back(std::move(damage));
    }
    QCOMPARE(file.decodeAll(damages), QString());
}

QTEST_GUILESS_MAIN(TestCardRobustness)
#include "tst_card_robustness.moc"
