#include "ddd/checked_growth.h"
#include "ddd/ddd_decoder.h"
#include "ddd/ddd_file_splitter.h"
#include "ddd_file_builder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <limits>
#include <new>

using namespace tessaron::ddd;
using namespace tessaron::test;
using namespace Qt::StringLiterals;

namespace {

// One block a line: fileNumber and length.
QStringList layout(const QList<DddBlock> &blocks)
{
    QStringList lines;
    for (const DddBlock &block : blocks)
        lines.append(u"%1 %2"_s.arg(block.fileNumber).arg(block.length));
    return lines;
}

} // namespace

class TestDddLimits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A second-generation activities response closes every day with a signature array; only one followed by a
    // transfer tag or the end of the file closes the response. A card holds each file once per folder.
    void splitterEndsBlocksWhereTheLayoutSays_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        const QList<VuRecordArray> day {{0x06, 4, {"abcd"}}, {0x01, 2, {"ab", "cd"}}}; // 18 bytes, signature 69
        QTest::newRow("second-generation days")
            << VuFileBuilder().addSecondGenerationDays(0x32, {day, day}).addSecondGenerationDays(0x32, {day}).build()
            << QStringList {u"7632 176"_s, u"7632 89"_s};
        const QByteArray card = CardFileBuilder().addFile(0x0501, 0, "abc").addFile(0x0501, 2, "def").build();
        const QStringList head {u"0501 3"_s, u"0501 3"_s};
        QTest::newRow("repeated card file")
            << card + CardFileBuilder().addFile(0x0501, 0, "ghi").build() << head + QStringList {u"RAW 8"_s};
        QTest::newRow("unknown card file")
            << card + CardFileBuilder().addFile(0x4711, 0, "ghi").build() << head + QStringList {u"RAW 8"_s};
        QTest::newRow("non-EU certificate")
            << card + CardFileBuilder().addFile(0xC209, 0, "ghi").build() << head + QStringList {u"C209 3"_s};
    }
    void splitterEndsBlocksWhereTheLayoutSays()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QCOMPARE(layout(FileSplitter::split(bytes, FileSplitter::detect(bytes))), expected);
    }

    // Repeated empty card headers once split into a block per five bytes, each with its rows, hex and text.
    void repeatedEmptyCardHeadersStaySmall()
    {
        const QByteArray bytes = QByteArray("\x00\x02\x00\x00\x00", 5).repeated(600'000);
        const DddReport report = Decoder::decode(bytes);
        QCOMPARE(layout(report.blocks), (QStringList {u"0002 0"_s, u"RAW %1"_s.arg(bytes.size() - 5)}));
        QVERIFY(report.structureText.size() < 1000);
        const QString rawHex = report.blockRows().last().toMap().value(u"hex"_s).toString();
        QVERIFY2(rawHex.size() < 140'000, qPrintable(QString::number(rawHex.size())));
        QVERIFY(rawHex.endsWith(u"(показано 65536 байт из 2999995)"_s));
        // The report database keeps a block's bytes as its section's hex: that one stays whole.
        QCOMPARE(report.sections.last().toMap().value(u"payloadHex"_s).toString().size(), 2 * (bytes.size() - 5));
    }

    // Grown block by block, the chart list's last doubling held two buffers at once and set the peak memory.
    void speedRowsReservedOnceForTheWholeFile()
    {
        const DddReport report = Decoder::decode(VuFileBuilder::typicalDownload(3, 240).repeated(3));
        QCOMPARE(report.charts.size(), 3 * 240 * 60);
        QCOMPARE(report.detailedSpeed.capacity(), report.detailedSpeed.size());
        QCOMPARE(report.charts.capacity(), report.charts.size());
    }

    // A reservation that cannot be made throws std::bad_alloc, as every other growth does, and leaves the list as it
    // was (QList::reserve would leave a list that holds rows pointing at nothing); one that can be made keeps the rows
    // and leaves a list it shared alone.
    void reservationsFailAsEveryGrowthFails_data()
    {
        QTest::addColumn<QVariantList>("rows");
        QTest::newRow("empty list") << QVariantList();
        QTest::newRow("list with rows") << QVariantList {1, u"two"_s, 3.0};
    }
    void reservationsFailAsEveryGrowthFails()
    {
        QFETCH(QVariantList, rows);
        QVariantList list = rows;
        QVERIFY_THROWS_EXCEPTION(std::bad_alloc, reserveChecked(list, std::numeric_limits<qsizetype>::max() / 2));
        QVERIFY_THROWS_EXCEPTION(std::bad_alloc, reserveMore(list, std::numeric_limits<qsizetype>::max() / 4));
        QCOMPARE(list, rows);
        reserveMore(list, 1000);
        QVERIFY(list.capacity() >= rows.size() + 1000);
        QVERIFY(!list.isSharedWith(rows));
        list.append(4);
        QCOMPARE(list.first(rows.size()), rows);
        QCOMPARE(rows.size() + 1, list.size());
    }

    void fileBoundsAndTexts_data()
    {
        QTest::addColumn<qint64>("size"); // -1: the path is a folder, which cannot be opened as a file
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << qint64(0) << u"Файл пуст"_s;
        QTest::newRow("at the bound") << Decoder::MaxFileSize << u"Файл не похож на DDD: неизвестный заголовок"_s;
        QTest::newRow("one byte more") << Decoder::MaxFileSize + 1 << u"Файл слишком большой для файла .ddd: 16,0 МБ"_s;
        QTest::newRow("folder") << qint64(-1) << u"Не удалось открыть файл %1"_s;
    }
    void fileBoundsAndTexts()
    {
        QFETCH(qint64, size);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QFile file(dir.filePath(u"sparse.ddd"_s));
        QVERIFY(size < 0 || (file.open(QIODevice::WriteOnly) && file.resize(size))); // sparse: nothing written
        file.close();
        const QString path = size < 0 ? dir.path() : file.fileName();
        QString text;
        QString systemText;
        const DddReport report = Decoder::decodeFile(path, &text, nullptr, &systemText);
        QCOMPARE(text, error.arg(path));
        QCOMPARE(systemText.isEmpty(), size >= 0); // the system's words for the log only
        const bool decoded = size > 0 && size <= Decoder::MaxFileSize;
        QCOMPARE(report.size, decoded ? qint32(size) : 0);
        QCOMPARE(report.sourceFingerprint.isEmpty(), !decoded);
    }

    void stopFlagEndsADecodeEmpty()
    {
        const QByteArray large = VuFileBuilder::typicalDownload(30, 1440).repeated(40);
        std::atomic<bool> stop {false};
        DddReport report;
        QThread *worker = QThread::create([&] { report = Decoder::decode(large, u"/tmp/large.ddd"_s, &stop); });
        worker->start();
        QThread::msleep(50);
        stop = true;
        // No clock: a decode of forty months left to its end returns every block, so an empty report shows the
        // stop ended it.
        worker->wait();
        delete worker;
        QVERIFY(report.blocks.isEmpty() && report.charts.isEmpty() && report.fileName.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDddLimits)
#include "tst_ddd_limits.moc"
