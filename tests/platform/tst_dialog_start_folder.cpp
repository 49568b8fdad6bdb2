#include "platform/dialog_start_folder.h"

#include <QDir>
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
    void initTestCase()
    {
        m_previousHome = qgetenv("HOME");
        m_previousConfig = qgetenv("XDG_CONFIG_HOME");
    }

    void cleanupTestCase()
    {
        qputenv("HOME", m_previousHome);
        if (m_previousConfig.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_previousConfig);
    }

    void startsInAFolderThatExists_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("expected");
        QTest::addRow("no documents folder: made") << u"none"_s << u"Documents"_s;
        QTest::addRow("documents folder there: kept") << u"folder"_s << u"Documents"_s;
        QTest::addRow("a file in its place: home") << u"file"_s << QString();
        QTest::addRow("home cannot be written: home") << u"read-only home"_s << QString();
    }

    void startsInAFolderThatExists()
    {
        QFETCH(QString, before);
        QFETCH(QString, expected);
        QTemporaryDir home;
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(u".config"_s)));
        const QString documents = home.filePath(u"Documents"_s);
        if (before == u"folder")
            QVERIFY(QDir().mkpath(documents)
                && QFile::copy(QFINDTESTDATA("tst_dialog_start_folder.cpp"), documents + u"/kept.txt"));
        if (before == u"file") {
            QFile file(documents);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a folder") > 0);
        }
        if (before == u"read-only home")
            QVERIFY(QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::ExeOwner));
        if (before == u"read-only home" && QDir().mkpath(documents)) {
            QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("this user writes into a read-only folder (root)");
        }

        const QString folder = dialogStartFolder();
        QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(folder, expected.isEmpty() ? home.path() : home.filePath(expected));
        QVERIFY(QFileInfo(folder).isDir());
        if (before == u"folder")
            QVERIFY(QFileInfo::exists(documents + u"/kept.txt"));
        if (before == u"file")
            QVERIFY(QFileInfo(documents).isFile());
    }

private:
    QByteArray m_previousHome;
    QByteArray m_previousConfig;
};

QTEST_GUILESS_MAIN(TestDialogStartFolder)
#include "tst_dialog_start_folder.moc"
