#include "storage/app_paths.h"
#include "storage/database_catalog.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::AppPaths;
using tessaron::storage::DatabaseCatalog;
using tessaron::storage::KnownDatabase;
using tessaron::test::fileBytes;
using tessaron::test::SqliteProbe;

namespace {

// A small report database of the former layout whose one row names where it came from.
void writeFormerDatabase(const QString &path, const QString &marker)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const SqliteProbe probe(path);
    QVERIFY(probe.execute(u"CREATE TABLE DriverCardReports (ReportId INTEGER PRIMARY KEY, FileName TEXT)"_s));
    QVERIFY(probe.execute(u"INSERT INTO DriverCardReports (FileName) VALUES (?)"_s, {marker}));
}

QString reportsTarget()
{
    return DatabaseCatalog::path(KnownDatabase::Reports);
}

} // namespace

class TestDatabaseCatalog : public QObject
{
    Q_OBJECT

private slots:
    void formerFileIsCopiedCheckedAndKept_data();
    void formerFileIsCopiedCheckedAndKept();
    void corruptFormerFileLeavesNothingBehind();
    void folderThatCannotBeMadeIsReported();
};

void TestDatabaseCatalog::formerFileIsCopiedCheckedAndKept_data()
{
    QTest::addColumn<QStringList>("locations");
    QTest::addColumn<QString>("expectedMarker");

    QTest::addRow("no former file: only the folder is made") << QStringList() << QString();
    QTest::addRow("runtime data folder") << QStringList {u"runtime"_s} << u"runtime"_s;
    QTest::addRow("database folder") << QStringList {u"database"_s} << u"database"_s;
    QTest::addRow("program folder") << QStringList {u"program"_s} << u"program"_s;
    QTest::addRow("runtime data folder wins over the others")
        << QStringList {u"program"_s, u"database"_s, u"runtime"_s} << u"runtime"_s;
    QTest::addRow("database folder wins over the program folder")
        << QStringList {u"program"_s, u"database"_s} << u"database"_s;
    QTest::addRow("stale temporary copy is replaced") << QStringList {u"program"_s, u"stale"_s} << u"program"_s;
    QTest::addRow("existing target is left alone") << QStringList {u"runtime"_s, u"target"_s} << u"target"_s;
}

void TestDatabaseCatalog::formerFileIsCopiedCheckedAndKept()
{
    QFETCH(QStringList, locations);
    QFETCH(QString, expectedMarker);

    tessaron::test::TempAppPaths paths;
    const QHash<QString, QString> files {
        {u"runtime"_s, AppPaths::runtimeDataDirectory() + u"/driver_cards.db"_s},
        {u"database"_s, AppPaths::databaseDirectory() + u"/driver_cards.db"_s},
        {u"program"_s, AppPaths::programDirectory() + u"/driver_cards.db"_s},
        {u"target"_s, reportsTarget()},
    };
    QHash<QString, QByteArray> before;
    for (const QString &location : locations) {
        if (location == u"stale"_s) {
            QDir().mkpath(AppPaths::databaseDirectory());
            tessaron::test::writeCorruptFile(reportsTarget() + u".moving"_s);
            continue;
        }
        writeFormerDatabase(files.value(location), location);
        before.insert(files.value(location), fileBytes(files.value(location)));
    }

    QString error = u"untouched"_s;
    QVERIFY2(DatabaseCatalog::prepareReportsDatabase(&error), qPrintable(error));
    QCOMPARE(error, u"untouched"_s);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(fileBytes(it.key()), it.value());
    QStringList left = QDir(QFileInfo(reportsTarget()).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    left.removeAll(u"driver_cards.db"_s);
    if (expectedMarker.isEmpty()) {
        QVERIFY(QFileInfo(QFileInfo(reportsTarget()).absolutePath()).isDir());
        QCOMPARE(left, QStringList());
        return;
    }
    QCOMPARE(left, QStringList {u"ReportsDB.db"_s});
    QCOMPARE(
        SqliteProbe(reportsTarget()).scalar(u"SELECT FileName FROM DriverCardReports"_s).toString(), expectedMarker);
}

void TestDatabaseCatalog::corruptFormerFileLeavesNothingBehind()
{
    tessaron::test::TempAppPaths paths;
    QDir().mkpath(AppPaths::runtimeDataDirectory());
    const QString former = AppPaths::runtimeDataDirectory() + u"/driver_cards.db"_s;
    const QByteArray bytes = tessaron::test::writeCorruptFile(former);

    QString error;
    QVERIFY(!DatabaseCatalog::prepareReportsDatabase(&error));
    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(u"повреждена"_s), qPrintable(error));
    QVERIFY(!QFileInfo::exists(reportsTarget()));
    QCOMPARE(QDir(QFileInfo(reportsTarget()).absolutePath()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(fileBytes(former), bytes);

    // A later start tries again and fails the same way, still without leftovers.
    QVERIFY(!DatabaseCatalog::prepareReportsDatabase(nullptr));
    QCOMPARE(QDir(QFileInfo(reportsTarget()).absolutePath()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestDatabaseCatalog::folderThatCannotBeMadeIsReported()
{
    tessaron::test::TempAppPaths paths;
    // LOCALAPPDATA names a file, so no folder can be made below it.
    const QString blocker = paths.filePath(u"blocker"_s);
    tessaron::test::writeCorruptFile(blocker);
    qputenv("LOCALAPPDATA", blocker.toLocal8Bit());

    QString error;
    QVERIFY(!DatabaseCatalog::prepareReportsDatabase(&error));
    QVERIFY2(error.startsWith(u"Не удалось создать каталог базы отчётов: "_s), qPrintable(error));
    QVERIFY(error.contains(u"DB"_s));
}

QTEST_GUILESS_MAIN(TestDatabaseCatalog)
#include "tst_database_catalog.moc"
