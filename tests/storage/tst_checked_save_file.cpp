#include "storage/checked_save_file.h"
#include "support/log_capture.h"
#include "support/small_disk.h"
#include "support/test_files.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

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

QTEST_GUILESS_MAIN(TestCheckedSaveFile)
#include "tst_checked_save_file.moc"
