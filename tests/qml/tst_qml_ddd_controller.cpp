#include "ddd/ddd_decoder.h"
#include "ddd_file_builder.h"
#include "qml/qml_ddd_controller.h"
#include "support/free_witness.h"
#include "support/test_files.h"
#include "support/test_paths.h"

#include <QDir>
#include <QFileDialog>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <utility>

using tessaron::ddd::DddFileType;
using tessaron::ddd::DddReport;
using tessaron::ddd::Decoder;
using tessaron::qml::QmlDddController;
using tessaron::test::writeFile;
using namespace Qt::StringLiterals;

namespace {

// A decode that waits until the test lets it go, so a decode can be held in flight.
QSemaphore s_decodeStarted;
QSemaphore s_decodeRelease;
std::atomic_bool s_decodeReturned {false};

DddReport syntheticReport(const QString &path)
{
    DddReport report;
    report.filePath = path;
    report.fileName = QFileInfo(path).fileName();
    report.fileType = DddFileType::DriverCard;
    report.size = 1234;
    report.structureText = QStringLiteral("structure");
    report.analysis = {{QStringLiteral("workingHours"), QVariantList {1, 2}}};
    report.blocks.append({QStringLiteral("0501"), QStringLiteral("block"), 1, 0, 4, 0, 0, QByteArray("abcd"), 0});
    for (const auto &entry : tessaron::ddd::allDatasets)
        (report.*entry.member).append(QVariantMap {{QStringLiteral("dataset"), QString(entry.name)}});
    return report;
}

DddReport heldDecode(const QString &path, QString *, const std::atomic<bool> *)
{
    s_decodeReturned = false;
    s_decodeStarted.release();
    s_decodeRelease.acquire();
    DddReport report = syntheticReport(path);
    s_decodeReturned = true;
    return report;
}

DddReport instantSyntheticDecode(const QString &path, QString *, const std::atomic<bool> *)
{
    return syntheticReport(path);
}

// A real decode of a file that takes it long to finish, telling when it began and whether the stop flag ended it
// (a stopped decode returns an empty report; one left to run returns the file's blocks).
std::atomic_bool s_stopEndedTheDecode {false};

DddReport watchedRealDecode(const QString &path, QString *error, const std::atomic<bool> *stop)
{
    s_stopEndedTheDecode = false;
    s_decodeStarted.release();
    DddReport report = Decoder::decodeFile(path, error, stop);
    s_stopEndedTheDecode = stop->load() && report.blocks.isEmpty() && report.fileName.isEmpty();
    return report;
}

QVariantList datasetRows(const QmlDddController &controller, QLatin1StringView name)
{
    return controller.property(QByteArray(name.data(), name.size()).constData()).toList();
}

// Waits for the decode's result: the stateChanged that ends busy.
bool waitForResult(QmlDddController &controller)
{
    return QTest::qWaitFor([&controller] { return !controller.isBusy(); }, 20000);
}

void expectEmpty(const QmlDddController &controller)
{
    QCOMPARE(controller.fileName(), QString());
    QCOMPARE(controller.filePath(), QString());
    QCOMPARE(controller.fileType(), QString());
    QCOMPARE(controller.fileKind(), int(DddFileType::Unknown));
    QCOMPARE(controller.fileSize(), 0);
    QVERIFY(controller.summary().isEmpty());
    QVERIFY(controller.blocks().isEmpty());
    QVERIFY(controller.analysis().isEmpty());
    QCOMPARE(controller.structureText(), QString());
    QCOMPARE(controller.report().fileType, DddFileType::Unknown);
    for (const auto &entry : tessaron::ddd::allDatasets)
        QVERIFY2(datasetRows(controller, entry.name).isEmpty(), qPrintable(QString(entry.name)));
}

// The first half of a real download (empty when it is absent), and the block the cut falls in.
QPair<QByteArray, QString> firstHalf(const QString &name)
{
    const QByteArray whole = tessaron::test::fileBytes(tessaron::test::samplePath(name));
    for (const tessaron::ddd::DddBlock &block : Decoder::decode(whole).blocks) {
        if (block.offset + block.length > whole.size() / 2)
            return {whole.left(whole.size() / 2), block.fileNumber};
    }
    return {};
}

} // namespace

class TestQmlDddController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        QmlDddController::setDecodeFunctionForTesting(nullptr);
        s_decodeStarted.acquire(s_decodeStarted.available());
        s_decodeRelease.acquire(s_decodeRelease.available());
    }

    // Every refusal before a decode starts: the shown report is cleared and the reason told.
    void refusesPathsBeforeDecoding_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<bool>("asDocument");
        QTest::addColumn<QString>("expectedError");

        const QString folder = m_dir.path();
        const QString missing = folder + u"/no such file.ddd"_s;
        const QString loop = m_dir.filePath(u"a.ddd"_s);
        QFile::link(m_dir.filePath(u"b.ddd"_s), loop);
        QFile::link(loop, m_dir.filePath(u"b.ddd"_s));
        QTest::addRow("empty path") << QString() << false << u"Файл не выбран"_s;
        QTest::addRow("blank path") << u" \t "_s << false << u"Файл не выбран"_s;
        QTest::addRow("missing file") << missing << false << u"Файл не найден: "_s + missing;
        QTest::addRow("missing file as url")
            << QUrl::fromLocalFile(missing).toString() << false << u"Файл не найден: "_s + missing;
        QTest::addRow("folder with blanks around")
            << u"  "_s + folder + u" "_s << false << u"Выбранный путь не является файлом: "_s + folder;
        QTest::addRow("links in a loop") << loop << false
                                         << u"Путь не удаётся прочитать (ссылки ведут по кругу): %1"_s.arg(loop);
        QTest::addRow("document: local file")
            << QUrl::fromLocalFile(missing).toString() << true << u"Файл не найден: "_s + missing;
        QTest::addRow("document: provider url")
            << u"content://downloads/42"_s << true << u"Файл не найден: content://downloads/42"_s;
        QTest::addRow("document: empty url") << QString() << true << u"Файл не выбран"_s;
    }

    void refusesPathsBeforeDecoding()
    {
        QFETCH(QString, argument);
        QFETCH(bool, asDocument);
        QFETCH(QString, expectedError);

        QmlDddController controller;
        controller.setReport(syntheticReport(QStringLiteral("/shown/before.ddd")));
        QSignalSpy spy(&controller, &QmlDddController::stateChanged);

        QCOMPARE(asDocument ? controller.openDocument(QUrl(argument)) : controller.openFile(argument), false);
        QCOMPARE(spy.count(), 3); // cleared, busy, refused
        QCOMPARE(controller.lastError(), expectedError);
        QCOMPARE(controller.statusText(), QStringLiteral("Ошибка разбора"));
        QCOMPARE(controller.isBusy(), false);
        expectEmpty(controller);
    }

    void decodesARealFileByPathAndUrl_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<bool>("asUrl");
        QTest::addColumn<QString>("expectedType");
        QTest::addColumn<bool>("secondGeneration"); // blocks kept undecoded, as the decoder's test counts them

        QTest::addRow("vehicle unit by path") << u"vu-gen1-a.ddd"_s << false << u"Тахограф"_s << false;
        QTest::addRow("vehicle unit by url") << u"vu-gen1-a.ddd"_s << true << u"Тахограф"_s << false;
        QTest::addRow("driver card by path") << u"card-gen1-a.ddd"_s << false << u"Карта водителя"_s << false;
        QTest::addRow("driver card with a second-generation application")
            << u"card-gen2-anon.ddd"_s << false << u"Карта водителя"_s << true;
    }

    void decodesARealFileByPathAndUrl()
    {
        QFETCH(QString, sample);
        QFETCH(bool, asUrl);
        QFETCH(QString, expectedType);
        QFETCH(bool, secondGeneration);
        TESSARON_REQUIRE_SAMPLE(path, sample);

        QString referenceError;
        const DddReport reference = Decoder::decodeFile(path, &referenceError);

        QmlDddController controller;
        QList<QThread *> signalThreads;
        // A direct connection records the thread the controller emits on; with a context object the slot would
        // always run on the GUI thread, whatever the controller did.
        connect(
            &controller, &QmlDddController::stateChanged, &controller,
            [&signalThreads] { signalThreads.append(QThread::currentThread()); }, Qt::DirectConnection);
        const QString argument = asUrl ? QUrl::fromLocalFile(path).toString() : path;
        QVERIFY(controller.openFile(argument));
        QCOMPARE(controller.isBusy(), true);
        QCOMPARE(controller.statusText(), QStringLiteral("Разбор файла .ddd..."));
        QVERIFY(waitForResult(controller));
        QCOMPARE(signalThreads.size(), 3);
        for (QThread *thread : std::as_const(signalThreads))
            QCOMPARE(thread, QCoreApplication::instance()->thread());

        if (reference.fileType == DddFileType::Unknown) {
            QCOMPARE(controller.lastError(), referenceError);
            TESSARON_SKIP_SAMPLE(u"the decoder on this build does not recognise "_s + path);
        }
        QCOMPARE(controller.fileType(), expectedType);
        QCOMPARE(controller.fileKind(), int(reference.fileType));
        const qint32 kept = reference.undecodedSecondGenerationBlockCount();
        QCOMPARE(kept > 0, secondGeneration);
        QCOMPARE(controller.statusText(),
            kept ? u"Разбор завершён: данные второго поколения не расшифрованы (блоков: %1)"_s.arg(kept)
                 : u"Разбор завершён"_s);
        QCOMPARE(controller.statusWarning(), secondGeneration);
        QCOMPARE(controller.lastError(), QString());
        QCOMPARE(controller.filePath(), path);
        QCOMPARE(controller.fileName(), sample);
        QCOMPARE(controller.fileSize(), int(QFileInfo(path).size()));
        QCOMPARE(controller.summary(), reference.summary());
        QCOMPARE(controller.blocks(), reference.blockRows());
        QCOMPARE(controller.analysis(), reference.analysis);
        QCOMPARE(controller.structureText(), reference.structureText);
        for (const auto &entry : tessaron::ddd::allDatasets)
            QCOMPARE(datasetRows(controller, entry.name), reference.*entry.member);
    }

    void publishesEveryDatasetOfTheDecodedReport()
    {
        QmlDddController::setDecodeFunctionForTesting(instantSyntheticDecode);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("card.ddd"));
        QVERIFY(writeFile(path));

        QmlDddController controller;
        QVERIFY(controller.openFile(path));
        QVERIFY(waitForResult(controller));
        QCOMPARE(controller.statusText(), QStringLiteral("Разбор завершён"));
        QCOMPARE(controller.fileType(), QStringLiteral("Карта водителя"));
        QCOMPARE(controller.fileKind(), int(DddFileType::DriverCard));
        for (const auto &entry : tessaron::ddd::allDatasets) {
            const QVariantList rows = datasetRows(controller, entry.name);
            QCOMPARE(rows.size(), 1);
            QCOMPARE(rows.constFirst().toMap().value(QStringLiteral("dataset")).toString(), QString(entry.name));
        }

        // A second file replaces the finished worker.
        QVERIFY(controller.openFile(path));
        QVERIFY(waitForResult(controller));
        QCOMPARE(controller.statusText(), QStringLiteral("Разбор завершён"));

        controller.clear();
        QCOMPARE(controller.statusText(), QStringLiteral("Выберите файл .ddd"));
        expectEmpty(controller);
    }

    // While a decode runs, the controller refuses another and keeps its state; destroyed then, it waits for the
    // decode, and the result that had no receiver left never arrives.
    void refusesASecondOpenWhileBusyAndDestructionWaitsForIt()
    {
        QmlDddController::setDecodeFunctionForTesting(heldDecode);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("held.ddd"));
        QVERIFY(writeFile(path));

        auto *controller = new QmlDddController;
        QSignalSpy spy(controller, &QmlDddController::stateChanged);
        QVERIFY(controller->openFile(path));
        QCOMPARE(spy.count(), 2); // cleared, then busy: both before the decode
        QVERIFY(s_decodeStarted.tryAcquire(1, 10000));

        QCOMPARE(controller->openFile(path), false);
        QCOMPARE(controller->openFile(QString()), false);
        controller->clear();
        QCOMPARE(spy.count(), 2);
        QCOMPARE(controller->isBusy(), true);
        QCOMPARE(controller->statusText(), QStringLiteral("Разбор файла .ddd..."));
        QCOMPARE(controller->lastError(), QString());

        QThread *releaser = QThread::create([] {
            QThread::msleep(200);
            s_decodeRelease.release();
        });
        releaser->start();
        delete controller;
        QVERIFY(s_decodeReturned.load());
        releaser->wait();
        delete releaser;
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The file dialog opens in the shown file's folder; cancelled, it keeps the shown report, a choice is opened.
    void fileDialogCancelKeepsTheShownReportAndAChoiceIsOpened()
    {
        QmlDddController::setDecodeFunctionForTesting(instantSyntheticDecode);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("chosen.ddd"));
        QVERIFY(writeFile(path));
        QmlDddController controller;
        controller.setReport(syntheticReport(dir.filePath(QStringLiteral("report.ddd"))));
        QStringList seen;
        const auto answer = [&](bool choose) {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = QStringList {dialog->windowTitle(), dialog->directory().absolutePath()} + dialog->nameFilters();
            dialog->selectFile(path);
            choose ? static_cast<QDialog *>(dialog)->accept() : dialog->reject();
        };
        QTimer::singleShot(0, this, [&] { answer(false); });
        QSignalSpy spy(&controller, &QmlDddController::stateChanged);
        QCOMPARE(controller.chooseAndOpenFile(), false);
        QCOMPARE(seen,
            (QStringList {QStringLiteral("Выберите файл DDD"), QDir(dir.path()).absolutePath(),
                QStringLiteral("Файлы DDD (*.ddd *.DDD)"), QStringLiteral("Все файлы (*)")}));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(controller.fileName(), QStringLiteral("report.ddd"));

        QTimer::singleShot(0, this, [&] { answer(true); });
        QVERIFY(controller.chooseAndOpenFile());
        QVERIFY(waitForResult(controller));
        QCOMPARE(controller.filePath(), path);
    }

    void damagedFilesAreNeverCalledDecoded_data()
    {
        QTest::addColumn<QString>("sample"); // the real download the content is cut from, if any
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error");
        const QString cut = u"Файл обрезан: блок %1 короче заявленного"_s;
        for (const QString &name : {u"vu-gen1-a.ddd"_s, u"card-gen1-a.ddd"_s}) {
            const auto [half, block] = firstHalf(name);
            QTest::addRow("%s cut in half", qPrintable(name)) << name << half << cut.arg(block) << QString();
        }
        QByteArray random(1 << 20, '\0');
        QRandomGenerator(15).fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
        QTest::newRow("random bytes behind a valid head")
            << QString() << QByteArray("\x76\x01") + random
            << u"Разбор завершён с ошибками: не разобрано \\d+ байт из 1048578"_s << QString();
        // Overview, two days of activities in one response, events, speed and technical data: every response of
        // the second generation, none of the first.
        using tessaron::test::VuRecordArray;
        const QList<VuRecordArray> day {{0x06, 4, {QByteArray(4, '\x02')}}, {0x01, 2, {"ab", "cd"}}};
        const QByteArray secondGeneration
            = tessaron::test::VuFileBuilder()
                  .addRecordArrays(0x21, {{0x0A, 17, {QByteArray("XTA21099012345678")}}, {0x03, 4, {QByteArray(4, 1)}}})
                  .addSecondGenerationDays(0x22, {day, day})
                  .addRecordArrays(0x23, {{0x15, 24, {QByteArray(24, 3)}}})
                  .addRecordArrays(0x24, {{0x12, 64, {QByteArray(64, 4)}}})
                  .addRecordArrays(0x25, {{0x19, 40, {QByteArray(40, 5)}}})
                  .build();
        QTest::newRow("second-generation vehicle unit")
            << QString() << secondGeneration
            << u"Разбор завершён: данные второго поколения не расшифрованы \\(блоков: 5\\)"_s << QString();
        QTest::newRow("empty file") << QString() << QByteArray() << u"Ошибка разбора"_s << u"Файл пуст"_s;
        QTest::newRow("plain words") << QString() << QByteArray("these are plain words, not a tachograph download\n")
                                     << u"Ошибка разбора"_s << u"Файл не похож на DDD: неизвестный заголовок"_s;
    }
    void damagedFilesAreNeverCalledDecoded()
    {
        QFETCH(QString, sample);
        QFETCH(QByteArray, content);
        QFETCH(QString, status);
        QFETCH(QString, error);
        if (!sample.isEmpty()) {
            TESSARON_REQUIRE_SAMPLE(samplePath, sample);
            QVERIFY2(!content.isEmpty(), qPrintable(u"no block crosses the middle of "_s + samplePath));
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(u"file.ddd"_s);
        QVERIFY(writeFile(path, content));

        QmlDddController controller;
        QSignalSpy spy(&controller, &QmlDddController::stateChanged);
        QVERIFY(controller.openFile(path));
        QVERIFY(waitForResult(controller));
        QCOMPARE(spy.count(), 3);
        QVERIFY2(QRegularExpression(u"^"_s + status + u"$"_s).match(controller.statusText()).hasMatch(),
            qPrintable(controller.statusText()));
        QCOMPARE(controller.lastError(), error);
        QCOMPARE(controller.statusWarning(), error.isEmpty());
        QCOMPARE(controller.blocks().isEmpty(), !error.isEmpty()); // what was decoded before the damage stays
        if (!error.isEmpty())
            expectEmpty(controller);
    }

    void exceptionOnTheDecodeThreadIsAFailedDecode()
    {
        QmlDddController::setDecodeFunctionForTesting(
            [](const QString &, QString *, const std::atomic<bool> *) -> tessaron::ddd::DddReport {
                throw std::bad_alloc();
            });
        QTemporaryDir dir;
        const QString path = dir.filePath(u"huge.ddd"_s);
        QVERIFY(writeFile(path, "x"));
        QmlDddController controller;
        QVERIFY(controller.openFile(path));
        QVERIFY(waitForResult(controller));
        QmlDddController::setDecodeFunctionForTesting(nullptr);
        QCOMPARE(controller.lastError(), u"Не удалось разобрать файл: недостаточно памяти"_s);
        QCOMPARE(controller.statusText(), u"Ошибка разбора"_s);
    }

    // Promptness without a clock: a real decode of a file many times longer than a stop takes to be seen, which
    // the stop ended (its report empty).
    void destructionDuringADecodeReturnsPromptly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"large.ddd"_s);
        QVERIFY(writeFile(path, tessaron::test::VuFileBuilder::typicalDownload(30, 1440).repeated(150)));
        QVERIFY(QFileInfo(path).size() < Decoder::MaxFileSize);

        QmlDddController::setDecodeFunctionForTesting(watchedRealDecode);
        auto *controller = new QmlDddController;
        QVERIFY(controller->openFile(path));
        s_decodeStarted.acquire();
        delete controller;
        QmlDddController::setDecodeFunctionForTesting(nullptr);
        QVERIFY2(s_stopEndedTheDecode, "the decode ran to its end instead of stopping");
        QCoreApplication::processEvents(); // the dropped result must not reach the deleted controller
    }

    // A replaced report is freed on a pool thread, not the GUI thread: the controller keeps no reference to it.
    void replacedReportIsFreedOffTheGuiThread()
    {
        QmlDddController controller;
        DddReport report = syntheticReport(u"/data/vu.ddd"_s);
        std::future<std::thread::id> freed = tessaron::test::appendFreeWitness(report.detailedSpeed);
        controller.setReport(std::exchange(report, {}));
        controller.setReport(syntheticReport(u"/data/card.ddd"_s));
        QVERIFY(tessaron::test::freedOffThisThread(freed));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestQmlDddController)

#include "tst_qml_ddd_controller.moc"
