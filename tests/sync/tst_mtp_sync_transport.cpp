#include "platform/mtp_device_finder.h"
#include "support/log_capture.h"
#include "support/small_disk.h"
#include "support/test_files.h"
#include "sync/mtp_sync_transport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using tessaron::platform::MtpDeviceFinder;
using tessaron::sync::MtpSyncTransport;
using tessaron::sync::MtpTimings;
using tessaron::test::fileBytes;
using tessaron::test::writeFile;

namespace {

// One round, then the time-out, so a device without a synchronisation folder fails at once with its own text.
constexpr MtpTimings kOneRound {1, 1, 1};
const QString kNotFound
    = u"Не удалось открыть телефон через MTP: Папка TessaronSyncMTP не найдена. Просмотренные MTP-папки: "_s;
const QString kNoDeviceReminder
    = u"MTP: MTP-устройства пока не подключены. Разблокируйте Honor и оставьте USB в режиме «Передача файлов»."_s;

// A path ending in "/" is a folder, any other a file holding its own path, so that copies of a name differ.
bool makeTree(const QString &root, const QStringList &paths)
{
    bool made = QDir().mkpath(root);
    for (const QString &path : paths)
        made = made && (path.endsWith(u'/') ? QDir(root).mkpath(path) : writeFile(root + u'/' + path, path.toUtf8()));
    return made;
}

// Files that upload wrote for name (the temporary-name pattern) with the given content.
int uploadedCopies(const QString &folder, const QString &name, const QByteArray &content)
{
    const QRegularExpression pattern(
        u"^%1\\.[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.uploading$"_s.arg(
            QRegularExpression::escape(name)));
    int copies = 0;
    for (const QString &entry : QDir(folder).entryList(QDir::Files))
        copies += pattern.match(entry).hasMatch() && fileBytes(folder + u'/' + entry) == content ? 1 : 0;
    return copies;
}

bool openOn(MtpSyncTransport &transport, const QString &root, QString *error)
{
    qputenv("TESSARON_MTP_ROOTS", root.toLocal8Bit());
    std::atomic<bool> cancel = false;
    return transport.open(cancel, {}, error);
}

} // namespace

class TestMtpSyncTransport : public QObject
{
    Q_OBJECT

private slots:
    void search_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("error");

        QTest::addRow("two storages: both folders in order, duplicates kept")
            << QStringList {u"A/TessaronSyncMTP/z"_s, u"B/x/TessaronSyncMTP/a"_s, u"B/x/TessaronSyncMTP/z"_s}
            << QStringList {u"z"_s, u"a"_s, u"z"_s} << QString();
        QTest::addRow("other letter case")
            << QStringList {u"S/tessaronsyncmtp/f"_s} << QStringList {u"f"_s} << QString();
        QTest::addRow("seven levels down")
            << QStringList {u"S/2/3/4/5/6/TessaronSyncMTP/f"_s} << QStringList {u"f"_s} << QString();
        QTest::addRow("eight levels down")
            << QStringList {u"S/2/3/4/5/6/7/TessaronSyncMTP/f"_s} << QStringList()
            << (kNotFound + u"S; S/2; S/2/3; S/2/3/4; S/2/3/4/5; S/2/3/4/5/6; S/2/3/4/5/6/7"_s);
        QTest::addRow("no folders") << QStringList() << QStringList() << kNotFound + u"нет папок"_s;

        // "A" and its fillers spend the budget of 2000 folders before "B" and its synchronisation folder; the
        // message shows the root's files first and 40 entries at most.
        for (const int fillers : {1997, 1998}) {
            QStringList tree {u"r1"_s, u"r2"_s, u"B/TessaronSyncMTP/f"_s};
            QStringList visited {u"[объект] r1"_s, u"[объект] r2"_s, u"A"_s};
            for (int i = 0; i < fillers; ++i) {
                tree.append(u"A/%1/"_s.arg(i, 4, 10, QChar(u'0')));
                if (visited.size() < 40)
                    visited.append(tree.last().chopped(1));
            }
            const bool found = fillers == 1997;
            QTest::addRow("%d folders before the sync folder", fillers)
                << tree << (found ? QStringList {u"f"_s} : QStringList())
                << (found ? QString() : kNotFound + visited.join(u"; "_s));
        }
    }

    void search()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, files);
        QFETCH(QString, error);

        QTemporaryDir dir;
        QVERIFY(makeTree(dir.filePath(u"Phone"_s), tree));
        MtpSyncTransport transport(kOneRound);
        QString actualError;
        QStringList names;
        QCOMPARE(openOn(transport, dir.filePath(u"Phone"_s), &actualError), error.isEmpty());
        QCOMPARE(actualError, error);
        QCOMPARE(transport.listFiles(&names, &actualError), error.isEmpty());
        QCOMPARE(names, files);
    }

    void open_data()
    {
        QTest::addColumn<int>("pollInterval");
        QTest::addColumn<QString>("onFirstReminder");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("progress");

        const QString waiting = u"Ожидание телефона в режиме «Передача файлов (MTP)»…"_s;
        // Windows of 50 ms, a limit of 150 ms: rounds at 30, 60, 90, 120 and 150 ms, windows begun at 60, 120, 150.
        QTest::addRow("no device: time-out, one reminder per window")
            << 30 << QString() << u"Не удалось открыть телефон через MTP: MTP-устройства пока не подключены"_s
            << QStringList {waiting, kNoDeviceReminder, kNoDeviceReminder, kNoDeviceReminder};
        QTest::addRow("device appears during the wait")
            << 10 << u"plug"_s << QString()
            << QStringList {waiting, kNoDeviceReminder, u"Подключение к телефону через MTP…"_s,
                   u"Телефон найден, папка TessaronSyncMTP готова"_s};
        QTest::addRow("cancelled during the wait")
            << 10 << u"cancel"_s << u"Синхронизация отменена"_s << QStringList {waiting, kNoDeviceReminder};
    }

    void open()
    {
        QFETCH(int, pollInterval);
        QFETCH(QString, onFirstReminder);
        QFETCH(QString, error);
        QFETCH(QStringList, progress);

        QTemporaryDir dir;
        const QString root = dir.filePath(u"Phone"_s);
        qputenv("TESSARON_MTP_ROOTS", root.toLocal8Bit());
        // Only the time-out row may reach its limit; the others must end long before theirs.
        MtpSyncTransport transport({pollInterval, onFirstReminder.isEmpty() ? 150 : 600000, 50});
        std::atomic<bool> cancel = false;
        QStringList reported;
        const auto onProgress = [&](const QString &text) {
            if (reported.size() == 1 && onFirstReminder == u"plug"_s)
                makeTree(root, {u"Internal/TessaronSyncMTP/"_s});
            if (reported.size() == 1 && onFirstReminder == u"cancel"_s)
                cancel = true;
            reported.append(text);
        };
        QString actualError;
        QCOMPARE(transport.open(cancel, onProgress, &actualError), error.isEmpty());
        QCOMPARE(actualError, error);
        QCOMPARE(reported, progress);
        if (error.isEmpty())
            return;
        QStringList names;
        QVERIFY(!transport.listFiles(&names, &actualError));
        QCOMPARE(actualError, u"MTP-папка синхронизации не открыта"_s);
        actualError.clear();
        QVERIFY(!transport.remove(u"x"_s, &actualError));
        QVERIFY(actualError.isEmpty());
    }

    void transfers()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath(u"Phone"_s);
        const QString first = root + u"/A/TessaronSyncMTP"_s;
        const QString second = root + u"/B/TessaronSyncMTP"_s;
        QVERIFY(makeTree(root,
            {u"A/TessaronSyncMTP/both"_s, u"A/TessaronSyncMTP/Host_1.txt"_s, u"B/TessaronSyncMTP/both"_s,
                u"B/TessaronSyncMTP/Request_ID.tspak"_s, u"B/TessaronSyncMTP/all.not-a-uuid.uploading"_s}));
        QVERIFY(writeFile(second + u"/empty"_s, {}));
        QCOMPARE(mkfifo(QFile::encodeName(second + u"/pipe"_s).constData(), 0600), 0);
        QByteArray payload(2 * 65536 + 123, Qt::Uninitialized); // more than two chunks
        for (qsizetype i = 0; i < payload.size(); ++i)
            payload[i] = char(i * 7);
        const QString local = dir.filePath(u"local.bin"_s);
        QVERIFY(writeFile(local, payload));
        MtpSyncTransport transport(kOneRound);
        QString error;
        QVERIFY(openOn(transport, root, &error));

        const QString downloaded = dir.filePath(u"downloaded"_s);
        QVERIFY(transport.download(u"both"_s, downloaded, &error));
        QCOMPARE(fileBytes(downloaded), "A/TessaronSyncMTP/both");
        QVERIFY(transport.upload(local, u"Host_1.txt"_s, &error));
        QCOMPARE(fileBytes(first + u"/Host_1.txt"_s), "A/TessaronSyncMTP/Host_1.txt");
        QCOMPARE(uploadedCopies(first, u"Host_1.txt"_s, payload), 1);
        QVERIFY(transport.upload(local, u"Response_ID.tspak"_s, &error));
        QCOMPARE(uploadedCopies(second, u"Response_ID.tspak"_s, payload), 1);
        QVERIFY(transport.uploadToAllFolders(local, u"all"_s, &error));
        QVERIFY(transport.upload(local, u"after"_s, &error));
        QCOMPARE(uploadedCopies(first, u"all"_s, payload) + uploadedCopies(second, u"all"_s, payload), 2);
        QCOMPARE(uploadedCopies(first, u"after"_s, payload), 1);
        QVERIFY(transport.remove(u"both"_s, &error) && transport.remove(u"absent"_s, &error));
        QVERIFY(!QFile::exists(first + u"/both"_s) && !QFile::exists(second + u"/both"_s));
        // Only what upload names its unfinished file goes.
        QVERIFY(transport.removeUnfinishedUploads(u"all"_s, &error));
        QCOMPARE(uploadedCopies(first, u"all"_s, payload) + uploadedCopies(second, u"all"_s, payload), 0);
        QVERIFY(QFile::exists(second + u"/all.not-a-uuid.uploading"_s));
        QCOMPARE(uploadedCopies(first, u"after"_s, payload), 1);
        QVERIFY2(error.isEmpty(), qPrintable(error));

        // A bounded read ends at its bound or at the file's end.
        QByteArray read;
        QVERIFY(transport.readFile(u"Host_1.txt"_s, 5, &read, &error));
        QCOMPARE(read, "A/Tes");
        QVERIFY(transport.readFile(u"Request_ID.tspak"_s, 1000, &read, &error));
        QCOMPARE(read, "B/TessaronSyncMTP/Request_ID.tspak");
        // A named pipe without a writer would block the read for good.
        const QString notRegular = u"Файл pipe на телефоне не является обычным файлом (канал, сокет или устройство)."_s;
        QVERIFY(!transport.download(u"pipe"_s, downloaded, &error));
        QCOMPARE(error, notRegular);
        QVERIFY(!transport.readFile(u"pipe"_s, 1000, &read, &error));
        QCOMPARE(error, notRegular);
        QVERIFY(!transport.readFile(u"empty"_s, 1000, &read, &error));
        QCOMPARE(error, u"MTP вернул пустой поток для empty (размер 0, буфер 1000 байт)."_s);

        QVERIFY(!transport.download(u"absent"_s, downloaded, &error));
        QCOMPARE(error, u"Файл absent не найден в TessaronSyncMTP"_s);
        QVERIFY(!transport.download(u"empty"_s, downloaded, &error));
        QCOMPARE(error, u"MTP вернул пустой поток для empty (размер 0, буфер 65536 байт)."_s);
        QVERIFY(!transport.download(u"Host_1.txt"_s, dir.filePath(u"missing/local"_s), &error));
        QVERIFY2(error.startsWith(u"Не удалось создать локальный файл для MTP-передачи ("_s), qPrintable(error));
        QVERIFY(!transport.upload(dir.filePath(u"missing/local"_s), u"x"_s, &error));
        QVERIFY2(error.startsWith(u"Не удалось открыть файл для передачи ("_s), qPrintable(error));
        // An unplugged phone is a failure, never an empty folder.
        QVERIFY(QDir(root).removeRecursively());
        bool exists = false;
        const tessaron::test::LogCapture log;
        QVERIFY(!transport.fileExists(u"Host_1.txt"_s, &exists, &error));
        // Russian to its end; the file system's own words are in the log.
        QCOMPARE(error, u"Не удалось просмотреть папку на телефоне (папка не найдена или устройство отключено)"_s);
        QVERIFY2(log.text().contains(error + u": "_s + QString::fromLocal8Bit(std::strerror(ENOENT))),
            qPrintable(log.text()));
    }

    void uploadToAFullPhone_data()
    {
        QTest::addColumn<bool>("fullBefore");
        QTest::addColumn<qsizetype>("size");
        QTest::addRow("the phone is full before") << true << qsizetype(1000);
        QTest::addRow("the phone fills during the upload") << false << qsizetype(3 * 65536 + 5) * 4;
        // Size 0: one more chunk of 65536 bytes (one write) than the room holds whole, the room ending in the last.
        QTest::addRow("the room runs out inside the last chunk") << false << qsizetype(0);
    }

    // A phone that runs out of room fails the upload with the reason and keeps no part of the file.
    void uploadToAFullPhone()
    {
        QFETCH(bool, fullBefore);
        QFETCH(qsizetype, size);
        const tessaron::test::SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full phone needs a tmpfs of its own, which only root may mount");
        const QString root = disk.filePath(u"Phone"_s);
        QVERIFY(makeTree(root, {u"Internal/TessaronSyncMTP/Request_ID.tspak"_s}));
        QTemporaryDir dir;
        const QString local = dir.filePath(u"package.tspak"_s);
        if (size == 0)
            size = (QStorageInfo(root).bytesAvailable() / 65536 + 1) * 65536;
        QVERIFY(writeFile(local, QByteArray(size, 'p')));
        if (fullBefore)
            disk.fill();
        const auto before = tessaron::test::fileTree(root);
        MtpSyncTransport transport(kOneRound);
        QString error;
        QVERIFY(openOn(transport, root, &error));
        QVERIFY(!transport.upload(local, u"Response_ID.tspak"_s, &error));
        QVERIFY2(error.startsWith(u"Не удалось передать файл Response_ID.tspak на телефон: этап запись, записано "_s)
                && error.endsWith(u"(на диске нет места)"_s),
            qPrintable(error));
        QCOMPARE(tessaron::test::fileTree(root), before);
    }

    void discovery()
    {
        QTemporaryDir dir;
        const QString gvfs = dir.filePath(u"gvfs"_s);
        QVERIFY(makeTree(gvfs,
            {u"smb-share:server=nas,share=docs/TessaronSyncMTP/"_s,
                u"mtp:host=Vendor_Phone_0123/Internal shared storage/Documents/TessaronSyncMTP/f"_s}));
        qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
        // With the variable set, its existing folders are the devices, each once, and a mounted phone is not.
        qputenv("TESSARON_MTP_ROOTS", (gvfs + u"::"_s + dir.filePath(u"missing"_s) + u':' + gvfs).toLocal8Bit());
        QStringList roots;
        QString error;
        QVERIFY(MtpDeviceFinder::deviceRoots(&roots, &error));
        QCOMPARE(roots, QStringList {gvfs});

        qunsetenv("TESSARON_MTP_ROOTS");
        QVERIFY(MtpDeviceFinder::deviceRoots(&roots, &error));
        QCOMPARE(roots, QStringList {gvfs + u"/mtp:host=Vendor_Phone_0123"_s});
        MtpSyncTransport transport(kOneRound);
        std::atomic<bool> cancel = false;
        QVERIFY2(transport.open(cancel, {}, &error), qPrintable(error));
        QVERIFY(transport.listFiles(&roots, &error));
        QCOMPARE(roots, QStringList {u"f"_s});
        qunsetenv("XDG_RUNTIME_DIR");
    }
};

QTEST_GUILESS_MAIN(TestMtpSyncTransport)
#include "tst_mtp_sync_transport.moc"
