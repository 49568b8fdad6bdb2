#include "platform/dialog_start_folder.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using tessaron::platform::dialogStartFolder;
using namespace Qt::StringLiterals;

// Where the open and save dialogs start, with the home folder a temporary one: always a folder that exists.
class TestDialogStartFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsInAFolderThatExists_data()
    {
        QTest::addColumn<bool>("fileInItsPlace");
        QTest::addColumn<QString>("expected");
        QTest::addRow("no documents folder: made") << false << u"/Documents"_s;
        QTest::addRow("a file in its place: home") << true << QString();
    }

    void startsInAFolderThatExists()
    {
        QFETCH(bool, fileInItsPlace);
        QFETCH(QString, expected);
        QTemporaryDir home;
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        QFile file(home.filePath(u"Documents"_s));
        QVERIFY(!fileInItsPlace || (file.open(QIODevice::WriteOnly) && file.write("not a folder") > 0));
        QCOMPARE(dialogStartFolder(), home.path() + expected);
        QVERIFY(QFileInfo(home.path() + expected).isDir());
    }
};

QTEST_GUILESS_MAIN(TestDialogStartFolder)
#include "tst_dialog_start_folder.moc"
