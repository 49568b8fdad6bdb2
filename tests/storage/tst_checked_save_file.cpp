#include "storage/checked_save_file.h"
#include "support/log_capture.h"
#include "support/small_disk.h"
#include "support/test_files.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

#include <cerrno>

#if defined(__SANITIZE_ADDRESS__)
#include <link.h>
#endif

using namespace Qt::StringLiterals;
using tessaron::storage::CheckedSaveFile;
using tessaron::test::fileBytes;
using tessaron::test::SmallDisk;
using tessaron::test::writeFile;

namespace {

// How the bytes reach the save: as one write, or through its device as a streaming writer sends them, in pieces
// whose answers it never reads.
enum class Writer { OneWrite, SmallPieces, OnePieceOverTheBuffer };

bool save(CheckedSaveFile &file, Writer writer, const QByteArray &bytes)
{
    switch (writer) {
    case Writer::OneWrite:
        return file.write(bytes) && file.commit();
    case Writer::SmallPieces:
        for (qsizetype at = 0; at < bytes.size(); at += 100)
            file.device()->write(bytes.mid(at, 100));
        return file.commit();
    case Writer::OnePieceOverTheBuffer:
        file.device()->write(bytes);
        return file.commit();
    }
    return false;
}

// The failing-sync library for the child's LD_PRELOAD. AddressSanitizer refuses to start a process whose first
// library is not its runtime, so under it the runtime this process loaded comes first.
QString preloadList()
{
    QString list = QString::fromLocal8Bit(TESSARON_FAILING_SYNC_LIBRARY);
#if defined(__SANITIZE_ADDRESS__)
    QString runtime;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *found) {
            const QString name = QString::fromLocal8Bit(info->dlpi_name);
            if (QFileInfo(name).fileName().startsWith(u"libasan"_s))
                *static_cast<QString *>(found) = name;
            return 0;
        },
        &runtime);
    if (!runtime.isEmpty())
        list.prepend(runtime + u':');
#endif
    return list;
}

// Started again with TESSARON_TEST_SAVE_PATH set, the program saves TESSARON_TEST_SAVE_SIZE bytes over that file and
// prints "saved", or the technician's sentence and the system's text on two lines.
int saveAsChild(const QString &path)
{
    const QByteArray bytes(qEnvironmentVariableIntValue("TESSARON_TEST_SAVE_SIZE"), 'n');
    CheckedSaveFile file(path);
    const bool saved = file.open() && file.write(bytes) && file.commit();
    QTextStream out(stdout);
    if (saved)
        out << u"saved"_s;
    else
        out << file.failure(u"Не удалось сохранить файл"_s, u"storage"_s) << u'\n' << file.errorString();
    return saved ? 0 : 1;
}

} // namespace

class TestCheckedSaveFile : public QObject
{
    Q_OBJECT

private slots:
    // On a full disk with any room left, a save replaces the earlier file whole or fails and leaves it as it was,
    // with no temporary file beside it, and says the disk is full.
    void fullDisk_data()
    {
        QTest::addColumn<int>("writer");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("room");
        const std::tuple<Writer, const char *, qint64> writers[] = {
            {Writer::OneWrite, "one write", 3000},
            {Writer::OneWrite, "one write", 40000},
            {Writer::SmallPieces, "pieces of 100 bytes", 40000},
            {Writer::OnePieceOverTheBuffer, "one piece over the buffer", 70000},
        };
        for (const auto &[writer, name, size] : writers) {
            for (const qint64 room : tessaron::test::roomsToTry(size)) {
                QTest::addRow("%s of %lld bytes, %s", name, size, tessaron::test::roomName(room, size).constData())
                    << int(writer) << size << room;
            }
        }
    }

    void fullDisk()
    {
        QFETCH(int, writer);
        QFETCH(qint64, size);
        QFETCH(qint64, room);
        const SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        const QString path = disk.filePath(u"saved.bin"_s);
        const QByteArray earlier = QByteArray("earlier ").repeated(500);
        QVERIFY(writeFile(path, earlier));
        disk.fill(room);

        const tessaron::test::LogCapture log;
        const QByteArray bytes(size, 'n');
        CheckedSaveFile file(path);
        QVERIFY(file.open());
        const bool saved = save(file, Writer(writer), bytes);
        const QStringList left = QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        QCOMPARE(left, QStringList({u"filler"_s, u"saved.bin"_s}));
        if (room >= size) {
            QVERIFY2(saved, qPrintable(file.errorString()));
            QCOMPARE(fileBytes(path), bytes);
            QCOMPARE(file.error(), QFileDevice::NoError);
            return;
        }
        QVERIFY(!saved);
        QCOMPARE(fileBytes(path), earlier);
        QCOMPARE(file.error(), QFileDevice::ResourceError);
        QCOMPARE(file.failure(u"Не удалось сохранить файл"_s, u"storage"_s),
            u"Не удалось сохранить файл (на диске нет места)"_s);
        QVERIFY2(log.text().contains(u"No space left on device"_s), qPrintable(log.text()));
    }

    void failureAtTheSync_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("watched");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("closing");
        QTest::addColumn<QString>("said");
        const QString ioError = u"Не удалось сохранить файл (ошибка записи)\nInput/output error"_s;
        for (const qint64 size : {qint64(3000), qint64(40000)}) {
            QTest::addRow("%lld bytes, an I/O error at the sync", size) << size << true << EIO << false << ioError;
            QTest::addRow("%lld bytes, an I/O error at the sync and at the close", size)
                << size << true << EIO << true << ioError;
            QTest::addRow("%lld bytes, a quota reached at the sync", size)
                << size << true << EDQUOT << false
                << u"Не удалось сохранить файл (на диске нет места)\nDisk quota exceeded"_s;
            QTest::addRow("%lld bytes, a file system that cannot sync", size)
                << size << true << EINVAL << false << u"saved"_s;
            QTest::addRow("%lld bytes, a file system that does not support the sync", size)
                << size << true << ENOTSUP << false << u"saved"_s;
            QTest::addRow("%lld bytes, failures injected elsewhere", size)
                << size << false << EIO << true << u"saved"_s;
        }
    }

    // A failure the system tells only when the bytes are forced to the device (a network share's delayed write
    // error), at the sync or at the sync and the close, fails the save, says why, and leaves the earlier file as it
    // was with nothing beside it. The failures are injected into a child process by a preloaded library.
    void failureAtTheSync()
    {
        QFETCH(qint64, size);
        QFETCH(bool, watched);
        QFETCH(int, error);
        QFETCH(bool, closing);
        QFETCH(QString, said);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"saved.bin"_s);
        const QByteArray earlier = QByteArray("earlier ").repeated(500);
        QVERIFY(writeFile(path, earlier));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LD_PRELOAD"_s, preloadList());
        environment.insert(u"TESSARON_FAILING_SYNC_FOLDER"_s, watched ? folder.path() : folder.filePath(u"other"_s));
        environment.insert(u"TESSARON_FAILING_SYNC_ERROR"_s, QString::number(error));
        if (closing)
            environment.insert(u"TESSARON_FAILING_SYNC_CLOSE"_s, u"1"_s);
        environment.insert(u"TESSARON_TEST_SAVE_PATH"_s, path);
        environment.insert(u"TESSARON_TEST_SAVE_SIZE"_s, QString::number(size));
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit, child.readAllStandardError().constData());
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), said);
        QCOMPARE(child.exitCode(), said == u"saved"_s ? 0 : 1);
        QCOMPARE(fileBytes(path), said == u"saved"_s ? QByteArray(size, 'n') : earlier);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"saved.bin"_s});
    }

    // A save that cannot start, or that is dropped before its commit, leaves nothing of its own and the earlier
    // file as it was; the commit of a save that could not start fails too.
    void unfinishedSaves()
    {
        QTemporaryDir folder;
        CheckedSaveFile nowhere(folder.filePath(u"missing/saved.bin"_s));
        QVERIFY(!nowhere.open());
        QVERIFY(!nowhere.write("x"));
        QVERIFY(!nowhere.commit());
        QCOMPARE(nowhere.error(), QFileDevice::OpenError);

        const QString path = folder.filePath(u"saved.bin"_s);
        QVERIFY(writeFile(path, "earlier"));
        {
            CheckedSaveFile dropped(path);
            QVERIFY(dropped.open());
            QVERIFY(dropped.write("later"));
        }
        QCOMPARE(fileBytes(path), QByteArray("earlier"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"saved.bin"_s});

        CheckedSaveFile text(path);
        QVERIFY(text.open(QIODevice::Text));
        QVERIFY(text.write("one\ntwo\n") && text.commit());
        QCOMPARE(fileBytes(path), QByteArray("one\ntwo\n"));
        QCOMPARE(text.error(), QFileDevice::NoError);
        QVERIFY(text.errorString().isEmpty());
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (const QString path = qEnvironmentVariable("TESSARON_TEST_SAVE_PATH"); !path.isEmpty())
        return saveAsChild(path);
    TestCheckedSaveFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_checked_save_file.moc"
