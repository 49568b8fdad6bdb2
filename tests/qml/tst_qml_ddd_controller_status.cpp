#include "ddd/ddd_decoder.h"
#include "qml/qml_ddd_controller.h"
#include "support/ddd_file_builder.h"
#include "support/test_paths.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using tessaron::ddd::DddBlock;
using tessaron::ddd::Decoder;
using tessaron::qml::QmlDddController;
using namespace Qt::StringLiterals;

namespace {

// The first half of a real download (empty when it is absent), and the block the cut falls in.
QPair<QByteArray, QString> firstHalf(const QString &name)
{
    QFile file(tessaron::test::samplePath(name));
    const QByteArray whole = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    for (const DddBlock &block : Decoder::decode(whole).blocks) {
        if (block.offset + block.length > whole.size() / 2)
            return {whole.left(whole.size() / 2), block.fileNumber};
    }
    return {};
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

// What the viewer says of damaged, empty and unreadable files, and how quickly it lets go of a decode.
class TestQmlDddControllerStatus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QVERIFY(QTest::qWaitFor([&controller] { return !controller.isBusy(); }, 20000));
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
        QVERIFY(QTest::qWaitFor([&controller] { return !controller.isBusy(); }, 20000));
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

QTEST_MAIN(TestQmlDddControllerStatus)
#include "tst_qml_ddd_controller_status.moc"
