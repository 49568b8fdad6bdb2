#include "support/folder_tree.h"
#include "sync/mtp_sync_transport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::sync::MtpSyncTransport;
using tessaron::sync::MtpTimings;
using tessaron::test::makeFile;
using tessaron::test::makeTree;

namespace {

// One round, then the time-out, so a device without a synchronisation folder fails at once with its own text.
constexpr MtpTimings kOneRound {1, 1, 1};
const QString kNoDeviceReminder
    = u"MTP: MTP-устройства пока не подключены. Разблокируйте Honor и оставьте USB в режиме «Передача файлов»."_s;

bool openOn(MtpSyncTransport &transport, const QString &root, QString *error)
{
    qputenv("TESSARON_MTP_ROOTS", root.toLocal8Bit());
    std::atomic<bool> cancel = false;
    return transport.open(cancel, {}, error);
}

QString notFound(const QString &visited)
{
    return u"Не удалось открыть телефон через MTP: Папка TessaronSyncMTP не найдена. Просмотренные MTP-папки: "_s
        + visited;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Files that upload wrote under name (the temporary-name pattern) with the given content.
int uploadedCopies(const QString &folder, const QString &name, const QByteArray &content)
{
    const QRegularExpression pattern(
        u"^%1\\.[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.uploading$"_s.arg(
            QRegularExpression::escape(name)));
    int copies = 0;
    for (const QString &entry : QDir(folder).entryList(QDir::Files)) {
        if (pattern.match(entry).hasMatch() && contentOf(folder + u'/' + entry) == content)
            ++copies;
    }
    return copies;
}

} // namespace

class TestMtpSyncTransport : public QObject
{
    Q_OBJECT

private slots:
    void search_data();
    void search();
    void open_data();
    void open();
    void transfers();
    void failures_data();
    void failures();
};

void TestMtpSyncTransport::search_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("error");

    QTest::addRow("two storages: both folders in order, duplicates kept")
        << QStringList {u"A/TessaronSyncMTP/z.txt"_s, u"B/x/TessaronSyncMTP/a.txt"_s, u"B/x/TessaronSyncMTP/z.txt"_s}
        << QStringList {u"z.txt"_s, u"a.txt"_s, u"z.txt"_s} << QString();
    QTest::addRow("other letter case") << QStringList {u"S/tessaronsyncmtp/f"_s} << QStringList {u"f"_s} << QString();
    QTest::addRow("seven levels down") << QStringList {u"S/2/3/4/5/6/TessaronSyncMTP/f"_s} << QStringList {u"f"_s}
                                       << QString();
    QTest::addRow("eight levels down") << QStringList {u"S/2/3/4/5/6/7/TessaronSyncMTP/f"_s} << QStringList()
                                       << notFound(u"S; S/2; S/2/3; S/2/3/4; S/2/3/4/5; S/2/3/4/5/6; S/2/3/4/5/6/7"_s);
    QTest::addRow("no folders") << QStringList() << QStringList() << notFound(u"нет папок"_s);

    // "A" and its fillers spend the budget of 2000 folders before "B" and its synchronisation folder.
    for (const int fillers : {1997, 1998}) {
        QStringList tree {u"B/TessaronSyncMTP/f"_s};
        QStringList visited {u"A"_s};
        for (int i = 0; i < fillers; ++i) {
            const QString filler = u"A/f%1"_s.arg(i, 4, 10, QChar(u'0'));
            tree.append(filler + u'/');
            if (visited.size() < 40)
                visited.append(filler);
        }
        QTest::addRow("%d folders before the sync folder", fillers)
            << tree << (fillers == 1997 ? QStringList {u"f"_s} : QStringList())
            << (fillers == 1997 ? QString() : notFound(visited.join(u"; "_s)));
    }

    QStringList tree {u"r1"_s, u"r2"_s};
    QStringList visited {u"[объект] r1"_s, u"[объект] r2"_s};
    for (int i = 0; i < 45; ++i) {
        tree.append(u"d%1/"_s.arg(i, 2, 10, QChar(u'0')));
        if (visited.size() < 40)
            visited.append(tree.last().chopped(1));
    }
    QTest::addRow("40 entries shown, files of the root first")
        << tree << QStringList() << notFound(visited.join(u"; "_s));
}

void TestMtpSyncTransport::search()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, files);
    QFETCH(QString, error);

    QTemporaryDir dir;
    const QString root = dir.filePath(u"Phone"_s);
    QVERIFY(makeTree(root, tree));
    MtpSyncTransport transport(kOneRound);
    QString actualError;
    QCOMPARE(openOn(transport, root, &actualError), error.isEmpty());
    QCOMPARE(actualError, error);
    if (!error.isEmpty())
        return;
    QStringList names;
    QVERIFY(transport.listFiles(&names, &actualError));
    QCOMPARE(names, files);
}

void TestMtpSyncTransport::open_data()
{
    QTest::addColumn<int>("pollInterval");
    QTest::addColumn<int>("reminderInterval");
    QTest::addColumn<QString>("onFirstReminder");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("progress");

    const QString waiting = u"Ожидание телефона в режиме «Передача файлов (MTP)»…"_s;
    // Rounds at 30, 60, 90, 120 and 150 ms: the windows of 50 ms begin in the rounds at 60, 120 and 150.
    QTest::addRow("no device: time-out, one reminder per window")
        << 30 << 50 << QString() << u"Не удалось открыть телефон через MTP: MTP-устройства пока не подключены"_s
        << QStringList {waiting, kNoDeviceReminder, kNoDeviceReminder, kNoDeviceReminder};
    QTest::addRow("device appears during the wait")
        << 10 << 50 << u"plug"_s << QString()
        << QStringList {waiting, kNoDeviceReminder, u"Подключение к телефону через MTP…"_s,
               u"Телефон найден, папка TessaronSyncMTP готова"_s};
    QTest::addRow("cancelled during the wait")
        << 10 << 50 << u"cancel"_s << u"Синхронизация отменена"_s << QStringList {waiting, kNoDeviceReminder};
}

void TestMtpSyncTransport::open()
{
    QFETCH(int, pollInterval);
    QFETCH(int, reminderInterval);
    QFETCH(QString, onFirstReminder);
    QFETCH(QString, error);
    QFETCH(QStringList, progress);

    QTemporaryDir dir;
    const QString root = dir.filePath(u"Phone"_s);
    qputenv("TESSARON_MTP_ROOTS", root.toLocal8Bit());
    // Only the time-out row may reach the limit; the others end long before it.
    MtpSyncTransport transport({pollInterval, onFirstReminder.isEmpty() ? 150 : 600000, reminderInterval});
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

void TestMtpSyncTransport::transfers()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(u"Phone"_s);
    const QString first = root + u"/A/TessaronSyncMTP"_s;
    const QString second = root + u"/B/TessaronSyncMTP"_s;
    QVERIFY(makeTree(root,
        {u"A/TessaronSyncMTP/both.txt"_s, u"A/TessaronSyncMTP/Host_1.txt"_s, u"B/TessaronSyncMTP/both.txt"_s,
            u"B/TessaronSyncMTP/Request_ID.tspak"_s}));
    // More than two chunks of 64 KiB.
    QByteArray payload(2 * 65536 + 123, Qt::Uninitialized);
    for (qsizetype i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7);
    const QString local = dir.filePath(u"local.bin"_s);
    QVERIFY(makeFile(local, payload));
    MtpSyncTransport transport(kOneRound);
    QString error;
    QVERIFY(openOn(transport, root, &error));

    const QString downloaded = dir.filePath(u"downloaded.txt"_s);
    QVERIFY(transport.download(u"both.txt"_s, downloaded, &error));
    QCOMPARE(contentOf(downloaded), "A/TessaronSyncMTP/both.txt");

    QVERIFY(transport.upload(local, u"Host_1.txt"_s, &error));
    QCOMPARE(contentOf(first + u"/Host_1.txt"_s), "A/TessaronSyncMTP/Host_1.txt");
    QCOMPARE(uploadedCopies(first, u"Host_1.txt"_s, payload), 1);
    QVERIFY(transport.upload(local, u"Response_ID.tspak"_s, &error));
    QCOMPARE(uploadedCopies(first, u"Response_ID.tspak"_s, payload), 0);
    QCOMPARE(uploadedCopies(second, u"Response_ID.tspak"_s, payload), 1);
    QVERIFY(transport.uploadToAllFolders(local, u"all.txt"_s, &error));
    QCOMPARE(uploadedCopies(first, u"all.txt"_s, payload), 1);
    QCOMPARE(uploadedCopies(second, u"all.txt"_s, payload), 1);
    QVERIFY(transport.upload(local, u"after.txt"_s, &error));
    QCOMPARE(uploadedCopies(first, u"after.txt"_s, payload), 1);

    QVERIFY(transport.remove(u"both.txt"_s, &error));
    QVERIFY(transport.remove(u"absent.txt"_s, &error));
    QVERIFY(!QFile::exists(first + u"/both.txt"_s) && !QFile::exists(second + u"/both.txt"_s));
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestMtpSyncTransport::failures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("localPath");
    QTest::addColumn<QString>("error");

    QTest::addRow("name not on the phone")
        << u"download"_s << u"absent.txt"_s << u"local.txt"_s << u"Файл absent.txt не найден в TessaronSyncMTP"_s;
    QTest::addRow("empty phone file") << u"download"_s << u"empty.txt"_s << u"local.txt"_s
                                      << u"MTP вернул пустой поток для empty.txt (размер 0, буфер 65536 байт)."_s;
    QTest::addRow("download into a missing folder") << u"download"_s << u"full.txt"_s << u"missing/local.txt"_s
                                                    << u"Не удалось создать локальный файл для MTP-передачи: "_s;
    QTest::addRow("upload of a missing file")
        << u"upload"_s << u"full.txt"_s << u"missing/local.txt"_s << u"Не удалось открыть файл для передачи: "_s;
    QTest::addRow("phone unplugged") << u"unplug"_s << u"full.txt"_s << QString()
                                     << u"Не удалось просмотреть папку на телефоне ("_s;
}

void TestMtpSyncTransport::failures()
{
    QFETCH(QString, operation);
    QFETCH(QString, name);
    QFETCH(QString, localPath);
    QFETCH(QString, error);

    QTemporaryDir dir;
    const QString root = dir.filePath(u"Phone"_s);
    QVERIFY(makeTree(root, {u"S/TessaronSyncMTP/full.txt"_s}));
    QVERIFY(makeFile(root + u"/S/TessaronSyncMTP/empty.txt"_s, {}));
    MtpSyncTransport transport(kOneRound);
    QString actualError;
    QVERIFY(openOn(transport, root, &actualError));

    bool done = false;
    if (operation == u"download"_s) {
        done = transport.download(name, dir.filePath(localPath), &actualError);
    } else if (operation == u"upload"_s) {
        done = transport.upload(dir.filePath(localPath), name, &actualError);
    } else {
        QVERIFY(QDir(root).removeRecursively());
        bool exists = false;
        done = transport.fileExists(name, &exists, &actualError);
    }
    QVERIFY(!done);
    QVERIFY2(actualError.startsWith(error), qPrintable(actualError));
    QCOMPARE(QDir(root + u"/S/TessaronSyncMTP"_s).entryList(QDir::Files).size(), operation == u"unplug"_s ? 0 : 2);
}

QTEST_GUILESS_MAIN(TestMtpSyncTransport)
#include "tst_mtp_sync_transport.moc"
