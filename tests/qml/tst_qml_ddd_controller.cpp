#include "ddd/ddd_decoder.h"
#include "qml/qml_ddd_controller.h"
#include "support/ddd_file_builder.h"
#include "support/test_files.h"
#include "support/test_paths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMetaProperty>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

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

    void propertiesAreTheViewersInterfaceInOrder()
    {
        QStringList expected {QStringLiteral("busy"), QStringLiteral("fileName"), QStringLiteral("filePath"),
            QStringLiteral("fileType"), QStringLiteral("fileSize"), QStringLiteral("statusText"),
            QStringLiteral("lastError"), QStringLiteral("summary"), QStringLiteral("blocks")};
        for (const auto &entry : tessaron::ddd::allDatasets)
            expected.append(QString(entry.name));
        expected << QStringLiteral("analysis") << QStringLiteral("savedReports") << QStringLiteral("structureText")
                 << QStringLiteral("statusWarning");

        const QMetaObject &meta = QmlDddController::staticMetaObject;
        QStringList actual;
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
            const QMetaProperty property = meta.property(i);
            actual.append(QString::fromLatin1(property.name()));
            QVERIFY2(!property.isWritable(), property.name());
            QVERIFY2(property.hasNotifySignal(), property.name());
            const QByteArray notify = property.notifySignal().name();
            QCOMPARE(notify,
                actual.last() == u"savedReports" ? QByteArray("savedReportsChanged") : QByteArray("stateChanged"));
        }
        QCOMPARE(actual, expected);
        for (const auto &entry : tessaron::ddd::allDatasets) {
            const int index = meta.indexOfProperty(QString(entry.name).toLatin1().constData());
            QCOMPARE(meta.property(index).metaType(), QMetaType::fromType<QVariantList>());
        }
    }

    void refusesPathsBeforeDecoding_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("expectedError");

        const QString folder = QDir::tempPath();
        const QString missing = folder + QStringLiteral("/tessaron-no-such-file.ddd");
        QTest::addRow("empty path") << QString() << QStringLiteral("Файл не выбран");
        QTest::addRow("blank path") << QStringLiteral(" \t ") << QStringLiteral("Файл не выбран");
        QTest::addRow("missing file") << missing << QStringLiteral("Файл не найден: ") + missing;
        QTest::addRow("missing file as url")
            << QUrl::fromLocalFile(missing).toString() << QStringLiteral("Файл не найден: ") + missing;
        QTest::addRow("folder") << folder << QStringLiteral("Выбранный путь не является файлом: ") + folder;
        QTest::addRow("folder with blanks around") << QStringLiteral("  ") + folder + QStringLiteral(" ")
                                                   << QStringLiteral("Выбранный путь не является файлом: ") + folder;
    }

    void refusesPathsBeforeDecoding()
    {
        QFETCH(QString, argument);
        QFETCH(QString, expectedError);

        QmlDddController controller;
        controller.setReport(syntheticReport(QStringLiteral("/shown/before.ddd")));
        QSignalSpy spy(&controller, &QmlDddController::stateChanged);

        QCOMPARE(controller.openFile(argument), false);
        QCOMPARE(spy.count(), 3); // cleared, busy, refused
        QCOMPARE(controller.lastError(), expectedError);
        QCOMPARE(controller.statusText(), QStringLiteral("Ошибка разбора"));
        QCOMPARE(controller.isBusy(), false);
        expectEmpty(controller);
    }

    void unknownFileEndsFailedWithTheDecodersText()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notes.ddd"));
        QVERIFY(writeFile(path, "these are plain words, not a tachograph download\n"));

        QmlDddController controller;
        QSignalSpy spy(&controller, &QmlDddController::stateChanged);
        QVERIFY(controller.openFile(path));
        QVERIFY(waitForResult(controller));
        QCOMPARE(spy.count(), 3);
        QCOMPARE(controller.lastError(), QStringLiteral("Файл не похож на DDD: неизвестный заголовок"));
        QCOMPARE(controller.statusText(), QStringLiteral("Ошибка разбора"));
        expectEmpty(controller);
    }

    void unreadableFileEndsFailedWithTheFileSystemsText()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("locked.ddd"));
        QVERIFY(writeFile(path, "x"));
        QFile file(path);
        QVERIFY(file.setPermissions(QFileDevice::Permissions()));
        if (file.open(QIODevice::ReadOnly))
            QSKIP("this user reads files without read permission");

        QmlDddController controller;
        QVERIFY(controller.openFile(path));
        QVERIFY(waitForResult(controller));
        QVERIFY(!controller.lastError().isEmpty());
        QVERIFY(controller.lastError() != u"Не удалось определить формат DDD");
        QCOMPARE(controller.statusText(), QStringLiteral("Ошибка разбора"));
    }

    void decodesARealFileByPathAndUrl_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<bool>("asUrl");
        QTest::addColumn<QString>("expectedType");

        QTest::addRow("vehicle unit by path") << QStringLiteral("vu-gen1-a.ddd") << false << QStringLiteral("Тахограф");
        QTest::addRow("vehicle unit by url") << QStringLiteral("vu-gen1-a.ddd") << true << QStringLiteral("Тахограф");
        QTest::addRow("driver card by path")
            << QStringLiteral("card-gen1-a.ddd") << false << QStringLiteral("Карта водителя");
        QTest::addRow("driver card by url")
            << QStringLiteral("card-gen1-a.ddd") << true << QStringLiteral("Карта водителя");
        QTest::addRow("anonymised vehicle unit")
            << QStringLiteral("vu-gen1-anon.ddd") << false << QStringLiteral("Тахограф");
        QTest::addRow("card of 2007") << QStringLiteral("card-gen1-2007.ddd") << false
                                      << QStringLiteral("Карта водителя");
        QTest::addRow("card of two generations")
            << QStringLiteral("card-gen2-anon.ddd") << false << QStringLiteral("Карта водителя");
        QTest::addRow("card with non-EU security")
            << QStringLiteral("card-nonstandard.ddd") << false << QStringLiteral("Карта водителя");
    }

    void decodesARealFileByPathAndUrl()
    {
        QFETCH(QString, sample);
        QFETCH(bool, asUrl);
        QFETCH(QString, expectedType);
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
            QSKIP("the decoder on this build does not recognise this file yet");
        }
        QCOMPARE(controller.fileType(), expectedType);
        QCOMPARE(controller.statusText(), QStringLiteral("Разбор завершён"));
        QCOMPARE(controller.statusWarning(), false);
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

    void openDocumentTakesLocalFilesAndRefusesOtherUrls_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("expectedError");

        const QString missing = QDir::tempPath() + QStringLiteral("/tessaron no such file.ddd");
        QTest::addRow("local file with a blank in its name")
            << QUrl::fromLocalFile(missing) << QStringLiteral("Файл не найден: ") + missing;
        QTest::addRow("document provider url") << QUrl(QStringLiteral("content://downloads/42"))
                                               << QStringLiteral("Файл не найден: content://downloads/42");
        QTest::addRow("empty url") << QUrl() << QStringLiteral("Файл не выбран");
    }

    void openDocumentTakesLocalFilesAndRefusesOtherUrls()
    {
        QFETCH(QUrl, url);
        QFETCH(QString, expectedError);

        QmlDddController controller;
        QCOMPARE(controller.openDocument(url), false);
        QCOMPARE(controller.lastError(), expectedError);
        QCOMPARE(controller.statusText(), QStringLiteral("Ошибка разбора"));
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
        QCOMPARE(controller.fileSize(), 1234);
        QCOMPARE(controller.structureText(), QStringLiteral("structure"));
        QCOMPARE(controller.analysis().value(QStringLiteral("workingHours")).toList().size(), 2);
        const DddReport expected = syntheticReport(path);
        QCOMPARE(controller.summary(), expected.summary());
        QCOMPARE(controller.blocks(), expected.blockRows());
        QCOMPARE(controller.report().blocks.size(), 1);
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

    void refusesASecondOpenWhileBusy()
    {
        QmlDddController::setDecodeFunctionForTesting(heldDecode);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("held.ddd"));
        QVERIFY(writeFile(path));

        QmlDddController controller;
        QSignalSpy spy(&controller, &QmlDddController::stateChanged);
        QVERIFY(controller.openFile(path));
        QCOMPARE(spy.count(), 2); // cleared, then busy: both before the decode
        QVERIFY(s_decodeStarted.tryAcquire(1, 10000));

        QCOMPARE(controller.openFile(path), false);
        QCOMPARE(controller.openFile(QString()), false);
        controller.clear();
        QCOMPARE(spy.count(), 2);
        QCOMPARE(controller.isBusy(), true);
        QCOMPARE(controller.statusText(), QStringLiteral("Разбор файла .ddd..."));
        QCOMPARE(controller.lastError(), QString());

        s_decodeRelease.release();
        QVERIFY(waitForResult(controller));
        QCOMPARE(spy.count(), 3);
        QCOMPARE(controller.fileName(), QStringLiteral("held.ddd"));
    }

    void destructionWaitsForTheDecodeInFlight()
    {
        QmlDddController::setDecodeFunctionForTesting(heldDecode);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("held.ddd"));
        QVERIFY(writeFile(path));

        auto *controller = new QmlDddController;
        QVERIFY(controller->openFile(path));
        QVERIFY(s_decodeStarted.tryAcquire(1, 10000));

        QThread *releaser = QThread::create([] {
            QThread::msleep(200);
            s_decodeRelease.release();
        });
        releaser->start();
        delete controller;
        QVERIFY(s_decodeReturned.load());
        releaser->wait();
        delete releaser;
        // The queued result had no receiver left: nothing may arrive now.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void fileDialogCancelKeepsTheShownReport()
    {
        QTemporaryDir dir;
        QmlDddController controller;
        controller.setReport(syntheticReport(dir.filePath(QStringLiteral("report.ddd"))));
        QString title;
        QStringList filters;
        QString folder;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            folder = dialog->directory().absolutePath();
            dialog->reject();
        });
        QSignalSpy spy(&controller, &QmlDddController::stateChanged);
        QCOMPARE(controller.chooseAndOpenFile(), false);
        QCOMPARE(title, QStringLiteral("Выберите файл DDD"));
        QCOMPARE(filters, (QStringList {QStringLiteral("Файлы DDD (*.ddd *.DDD)"), QStringLiteral("Все файлы (*)")}));
        QCOMPARE(folder, QDir(dir.path()).absolutePath());
        QCOMPARE(spy.count(), 0);
        QCOMPARE(controller.fileName(), QStringLiteral("report.ddd"));
    }

    void fileDialogChoiceIsOpened()
    {
        QmlDddController::setDecodeFunctionForTesting(instantSyntheticDecode);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("chosen.ddd"));
        QVERIFY(writeFile(path));

        QmlDddController controller;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->selectFile(path);
            static_cast<QDialog *>(dialog)->accept();
        });
        QVERIFY(controller.chooseAndOpenFile());
        QVERIFY(waitForResult(controller));
        QCOMPARE(controller.filePath(), path);
    }

    void damagedFilesAreNeverCalledDecoded_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error");
        const QString cut = u"Файл обрезан: блок %1 короче заявленного"_s;
        for (const QString &name : {u"vu-gen1-a.ddd"_s, u"card-gen1-a.ddd"_s}) {
            const auto [half, block] = firstHalf(name);
            if (!half.isEmpty())
                QTest::addRow("%s cut in half", qPrintable(name)) << half << cut.arg(block) << QString();
        }
        QByteArray random(1 << 20, '\0');
        QRandomGenerator(15).fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
        QTest::newRow("random bytes behind a valid head")
            << QByteArray("\x76\x01") + random << u"Разбор завершён с ошибками: не разобрано \\d+ байт из 1048578"_s
            << QString();
        QTest::newRow("empty file") << QByteArray() << u"Ошибка разбора"_s << u"Файл пуст"_s;
    }
    void damagedFilesAreNeverCalledDecoded()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, status);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"file.ddd"_s);
        QVERIFY(writeFile(path, content));

        QmlDddController controller;
        QVERIFY(controller.openFile(path));
        QVERIFY(waitForResult(controller));
        QVERIFY2(QRegularExpression(u"^"_s + status + u"$"_s).match(controller.statusText()).hasMatch(),
            qPrintable(controller.statusText()));
        QCOMPARE(controller.lastError(), error);
        QCOMPARE(controller.statusWarning(), error.isEmpty());
        QCOMPARE(controller.blocks().isEmpty(), !error.isEmpty()); // what was decoded before the damage stays
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

    void linkLoopIsAPathThatCannotBeRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"a.ddd"_s);
        QVERIFY(QFile::link(dir.filePath(u"b.ddd"_s), path));
        QVERIFY(QFile::link(path, dir.filePath(u"b.ddd"_s)));
        QmlDddController controller;
        QVERIFY(!controller.openFile(path));
        QCOMPARE(controller.lastError(), u"Путь не удаётся прочитать (ссылки ведут по кругу): %1"_s.arg(path));
        QCOMPARE(controller.statusText(), u"Ошибка разбора"_s);
    }

    void destructionDuringADecodeReturnsPromptly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"large.ddd"_s);
        QVERIFY(writeFile(path, tessaron::test::VuFileBuilder::typicalDownload(30, 1440).repeated(150)));
        QVERIFY(QFileInfo(path).size() < Decoder::MaxFileSize);

        auto *controller = new QmlDddController;
        QVERIFY(controller->openFile(path));
        QThread::msleep(100);
        QElapsedTimer timer;
        timer.start();
        delete controller;
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QCoreApplication::processEvents(); // the dropped result must not reach the deleted controller
    }
};

QTEST_MAIN(TestQmlDddController)

#include "tst_qml_ddd_controller.moc"
