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
    void withoutFormerFileOnlyTheFolderIsMade();
    void formerFileIsCopiedCheckedAndKept_data();
    void formerFileIsCopiedCheckedAndKept();
    void corruptFormerFileLeavesNothingBehind();
    void staleTemporaryCopyIsReplaced();
    void existingTargetIsLeftAlone();
    void folderThatCannotBeMadeIsReported();
};

void TestDatabaseCatalog::withoutFormerFileOnlyTheFolderIsMade()
{
    tessaron::test::TempAppPaths paths;
    QString error = u"untouched"_s;
    QVERIFY(DatabaseCatalog::prepareReportsDatabase(&error));
    QCOMPARE(error, u"untouched"_s);
    QVERIFY(QFileInfo(QFileInfo(reportsTarget()).absolutePath()).isDir());
    QVERIFY(!QFileInfo::exists(reportsTarget()));
}

void TestDatabaseCatalog::formerFileIsCopiedCheckedAndKept_data()
{
    QTest::addColumn<QStringList>("locations");
    QTest::addColumn<QString>("expectedMarker");

    QTest::addRow("runtime data folder") << QStringList {u"runtime"_s} << u"runtime"_s;
    QTest::addRow("database folder") << QStringList {u"database"_s} << u"database"_s;
    QTest::addRow("program folder") << QStringList {u"program"_s} << u"program"_s;
    QTest::addRow("runtime data folder wins over the others")
        << QStringList {u"program"_s, u"database"_s, u"runtime"_s} << u"runtime"_s;
    QTest::addRow("database folder wins over the program folder")
        << QStringList {u"program"_s, u"database"_s} << u"database"_s;
}

void TestDatabaseCatalog::formerFileIsCopiedCheckedAndKept()
{
    QFETCH(QStringList, locations);
    QFETCH(QString, expectedMarker);

    tessaron::test::TempAppPaths paths;
    const QHash<QString, QString> folders {
        {u"runtime"_s, AppPaths::runtimeDataDirectory()},
        {u"database"_s, AppPaths::databaseDirectory()},
        {u"program"_s, AppPaths::programDirectory()},
    };
    QHash<QString, QByteArray> before;
    for (const QString &location : locations) {
        const QString path = folders.value(location) + u"/driver_cards.db"_s;
        writeFormerDatabase(path, location);
        before.insert(path, fileBytes(path));
    }

    QString error;
    QVERIFY2(DatabaseCatalog::prepareReportsDatabase(&error), qPrintable(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(
        SqliteProbe(reportsTarget()).scalar(u"SELECT FileName FROM DriverCardReports"_s).toString(), expectedMarker);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(fileBytes(it.key()), it.value());
    QStringList left = QDir(QFileInfo(reportsTarget()).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    left.removeAll(u"driver_cards.db"_s);
    QCOMPARE(left, QStringList {u"ReportsDB.db"_s});
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

void TestDatabaseCatalog::staleTemporaryCopyIsReplaced()
{
    tessaron::test::TempAppPaths paths;
    writeFormerDatabase(AppPaths::programDirectory() + u"/driver_cards.db"_s, u"program"_s);
    QDir().mkpath(AppPaths::databaseDirectory());
    const QStringList before = QDir(AppPaths::databaseDirectory()).entryList(QDir::Files);
    tessaron::test::writeCorruptFile(reportsTarget() + u".moving"_s);

    QVERIFY(DatabaseCatalog::prepareReportsDatabase(nullptr));
    QCOMPARE(SqliteProbe(reportsTarget()).scalar(u"SELECT FileName FROM DriverCardReports"_s).toString(), u"program"_s);
    QCOMPARE(QDir(AppPaths::databaseDirectory()).entryList(QDir::Files), before + QStringList {u"ReportsDB.db"_s});
}

void TestDatabaseCatalog::existingTargetIsLeftAlone()
{
    tessaron::test::TempAppPaths paths;
    writeFormerDatabase(AppPaths::runtimeDataDirectory() + u"/driver_cards.db"_s, u"former"_s);
    writeFormerDatabase(reportsTarget(), u"current"_s);
    const QByteArray target = fileBytes(reportsTarget());

    QString error = u"untouched"_s;
    QVERIFY(DatabaseCatalog::prepareReportsDatabase(&error));
    QCOMPARE(error, u"untouched"_s);
    QCOMPARE(fileBytes(reportsTarget()), target);
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
