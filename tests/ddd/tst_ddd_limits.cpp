#include "ddd/ddd_decoder.h"
#include "ddd/ddd_file_splitter.h"
#include "support/ddd_file_builder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

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

QList<VuRecordArray> secondGenerationDay(char fill)
{
    return {{0x06, 4, {QByteArray(4, fill)}}, {0x01, 2, {"ab", "cd", "ef"}}};
}

} // namespace

class TestDddLimits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A second-generation activities response carries a signature array after every day; only the one followed
    // by a transfer tag or the end of the file closes the response.
    void secondGenerationDaysStayOneBlock()
    {
        const int day = 5 + 4 + 5 + 6 + 5 + 64;
        const QByteArray bytes
            = VuFileBuilder()
                  .addSecondGenerationDays(0x32, {secondGenerationDay('\x01'), secondGenerationDay('\x02')})
                  .addSecondGenerationDays(0x32, {secondGenerationDay('\x03')})
                  .addRecordArrays(0x31, {{0x0A, 17, {QByteArray("XTA21099012345678")}}})
                  .build();
        const QList<DddBlock> blocks = FileSplitter::split(bytes, DddFileType::Tachograph);
        QCOMPARE(layout(blocks),
            (QStringList {u"7632 %1"_s.arg(2 + 2 * day), u"7632 %1"_s.arg(2 + day), u"7631 %1"_s.arg(2 + 22 + 69)}));
        QCOMPARE(FileSplitter::recordGroups(blocks.first()).size(), 6);
    }

    void cardChainEndsAtAnUnknownOrRepeatedFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        const QByteArray card = CardFileBuilder().addFile(0x0501, 0, "abc").addFile(0x0501, 2, "def").build();
        QTest::newRow("second generation copy is its own file") << card << QStringList {u"0501 3"_s, u"0501 3"_s};
        QTest::newRow("repeated file") << card + CardFileBuilder().addFile(0x0501, 0, "ghi").build()
                                       << QStringList {u"0501 3"_s, u"0501 3"_s, u"RAW 8"_s};
        QTest::newRow("unknown file id") << card + CardFileBuilder().addFile(0x4711, 0, "ghi").build()
                                         << QStringList {u"0501 3"_s, u"0501 3"_s, u"RAW 8"_s};
        QTest::newRow("non-EU certificate") << card + CardFileBuilder().addFile(0xC209, 0, "ghi").build()
                                            << QStringList {u"0501 3"_s, u"0501 3"_s, u"C209 3"_s};
    }
    void cardChainEndsAtAnUnknownOrRepeatedFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QCOMPARE(layout(FileSplitter::split(bytes, DddFileType::DriverCard)), expected);
    }

    void blockCutShortIsNamed_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("truncatedBlock");
        QTest::addColumn<qint64>("unsplit");
        const QByteArray card = CardFileBuilder().addFile(0x0501, 0, "abc").addFile(0x0520, 0, "identity").build();
        const QByteArray vu = VuFileBuilder().addOverview({}).addActivityDay({}).build();
        const qsizetype overview = VuFileBuilder().addOverview({}).build().size();
        QTest::newRow("whole card") << card << QString() << qint64(0);
        QTest::newRow("card cut in a file") << card.chopped(3) << u"0520"_s << qint64(0);
        QTest::newRow("card cut in a header") << card.left(card.size() - 10) << QString() << qint64(3);
        QTest::newRow("whole vehicle unit") << vu << QString() << qint64(0);
        QTest::newRow("vehicle unit cut in a block") << vu.chopped(1) << u"7602"_s << qint64(vu.size() - 1 - overview);
        QTest::newRow("garbage behind a head")
            << vu.left(overview) + QByteArray(1000, '\x33') << QString() << qint64(1000);
    }
    void blockCutShortIsNamed()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, truncatedBlock);
        QFETCH(qint64, unsplit);
        const DddReport report = Decoder::decode(bytes);
        QCOMPARE(report.truncatedBlock, truncatedBlock);
        QCOMPARE(report.unsplitByteCount(), unsplit);
    }

    // Repeated empty card headers once split into a block per five bytes, each with its rows, hex and text.
    void repeatedEmptyCardHeadersStaySmall()
    {
        QByteArray bytes;
        for (int i = 0; i < 600'000; ++i)
            bytes.append("\x00\x02\x00\x00\x00", 5);
        const DddReport report = Decoder::decode(bytes);
        QCOMPARE(layout(report.blocks), (QStringList {u"0002 0"_s, u"RAW %1"_s.arg(bytes.size() - 5)}));
        QVERIFY(report.structureText.size() < 1000);
        const QVariantList rows = report.blockRows();
        const QString rawHex = rows.last().toMap().value(u"hex"_s).toString();
        QVERIFY2(rawHex.size() < 140'000, qPrintable(QString::number(rawHex.size())));
        QVERIFY(rawHex.endsWith(u"(показано 65536 байт из 2999995)"_s));
        // The report database keeps a block's bytes as its section's hex: that one stays whole.
        QCOMPARE(report.sections.last().toMap().value(u"payloadHex"_s).toString().size(), 2 * (bytes.size() - 5));
    }

    void fileBoundsAndTexts_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << qint64(0) << u"Файл пуст"_s;
        QTest::newRow("at the bound") << Decoder::MaxFileSize << u"Файл не похож на DDD: неизвестный заголовок"_s;
        QTest::newRow("one byte more") << Decoder::MaxFileSize + 1 << u"Файл слишком большой для файла .ddd: 16,0 МБ"_s;
    }
    void fileBoundsAndTexts()
    {
        QFETCH(qint64, size);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QFile file(dir.filePath(u"sparse.ddd"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(size)); // sparse: nothing written
        file.close();
        QString text;
        const DddReport report = Decoder::decodeFile(file.fileName(), &text);
        QCOMPARE(text, error);
        QCOMPARE(report.size, size > Decoder::MaxFileSize ? 0 : qint32(size));
        QCOMPARE(report.sourceFingerprint.isEmpty(), size == 0 || size > Decoder::MaxFileSize);
    }

    void unopenableFileIsNamed()
    {
        QTemporaryDir dir;
        QString error;
        const DddReport report = Decoder::decodeFile(dir.path(), &error);
        QVERIFY2(error.startsWith(u"Не удалось открыть файл %1: "_s.arg(dir.path())), qPrintable(error));
        QCOMPARE(report.fileType, DddFileType::Unknown);
    }

    void stopFlagEndsADecodeEmpty()
    {
        std::atomic<bool> stop {true};
        const QByteArray month = VuFileBuilder::typicalDownload(30, 1440);
        QCOMPARE(Decoder::decode(month, u"/tmp/month.ddd"_s, &stop).blocks.size(), 0);

        stop = false;
        const QByteArray large = month.repeated(40);
        DddReport report = Decoder::decode(month);
        QVERIFY(!report.blocks.isEmpty());
        QElapsedTimer sinceStop;
        QThread *worker = QThread::create([&] { report = Decoder::decode(large, {}, &stop); });
        worker->start();
        QThread::msleep(50);
        stop = true;
        sinceStop.start();
        QVERIFY(worker->wait(10'000));
        QVERIFY2(sinceStop.elapsed() < 1000, qPrintable(QString::number(sinceStop.elapsed())));
        delete worker;
        QCOMPARE(report.fileType, DddFileType::Unknown);
        QVERIFY(report.blocks.isEmpty() && report.charts.isEmpty() && report.fileName.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDddLimits)
#include "tst_ddd_limits.moc"
