#include "platform/mtp_device_finder.h"
#include "support/folder_tree.h"
#include "sync/mtp_sync_transport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::platform::MtpDeviceFinder;
using tessaron::test::makeTree;

class TestMtpDeviceFinder : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void rootsFromEnvironment();
    void gvfsMounts();
};

void TestMtpDeviceFinder::cleanup()
{
    qunsetenv("TESSARON_MTP_ROOTS");
    qunsetenv("XDG_RUNTIME_DIR");
}

void TestMtpDeviceFinder::rootsFromEnvironment()
{
    QTemporaryDir dir;
    const QString a = dir.filePath(u"a"_s);
    const QString b = dir.filePath(u"b"_s);
    QVERIFY(makeTree(a, {}) && makeTree(b, {}));
    // A phone mounted on this machine must not count: the variable's folders are the only devices.
    QVERIFY(makeTree(dir.filePath(u"run/gvfs/mtp:host=Real_Phone/"_s), {}));
    qputenv("XDG_RUNTIME_DIR", dir.filePath(u"run"_s).toLocal8Bit());
    qputenv("TESSARON_MTP_ROOTS", (b + u"::"_s + dir.filePath(u"missing"_s) + u':' + a + u':' + b).toLocal8Bit());
    QStringList roots;
    QString error;
    QVERIFY(MtpDeviceFinder::deviceRoots(&roots, &error));
    QCOMPARE(roots, (QStringList {b, a}));
}

void TestMtpDeviceFinder::gvfsMounts()
{
    QTemporaryDir dir;
    const QString gvfs = dir.filePath(u"gvfs"_s);
    QVERIFY(makeTree(gvfs,
        {u"smb-share:server=nas,share=docs/TessaronSyncMTP/"_s,
            u"mtp:host=Vendor_Phone_0123/Internal shared storage/Documents/TessaronSyncMTP/f.txt"_s}));
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    QStringList roots;
    QString error;
    QVERIFY(MtpDeviceFinder::deviceRoots(&roots, &error));
    QCOMPARE(roots, QStringList {gvfs + u"/mtp:host=Vendor_Phone_0123"_s});

    tessaron::sync::MtpSyncTransport transport({1, 1, 1});
    std::atomic<bool> cancel = false;
    QVERIFY2(transport.open(cancel, {}, &error), qPrintable(error));
    QStringList names;
    QVERIFY(transport.listFiles(&names, &error));
    QCOMPARE(names, QStringList {u"f.txt"_s});
}

QTEST_GUILESS_MAIN(TestMtpDeviceFinder)
#include "tst_mtp_device_finder.moc"
