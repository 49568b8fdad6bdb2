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

// Where the program keeps its files: its folders, the catalogue of its databases and the move of the former
// report database.
class TestDatabaseCatalog : public QObject
{
    Q_OBJECT

private slots:
    void foldersFollowTheirRootsAndAreMadeOnlyWhenAsked();
    void catalogueNamesAndPaths_data();
    void catalogueNamesAndPaths();
    void catalogueRejectsUnknownValuesAndWorksWithoutLocalAppData();
    void formerFileIsCopiedCheckedAndKept_data();
    void formerFileIsCopiedCheckedAndKept();
    void corruptFormerFileLeavesNothingBehind();
    void folderThatCannotBeMadeIsReported();
};

// Per-user folders follow LOCALAPPDATA (cleaned), the program's own follow its folder; none is made until asked,
// then all are, and asking again is harmless.
void TestDatabaseCatalog::foldersFollowTheirRootsAndAreMadeOnlyWhenAsked()
{
    tessaron::test::TempAppPaths paths;
    qputenv("LOCALAPPDATA", (paths.localAppData() + u"/./sub/../"_s).toLocal8Bit());
    const QString root = paths.localAppData() + u"/Tessaron"_s;
    const QString program = paths.programDirectory();
    QCOMPARE((QStringList {AppPaths::root(), AppPaths::data(), AppPaths::databaseDirectory(),
                 AppPaths::database(u"SettingsDB.db"_s), AppPaths::backupDirectory()}),
        (QStringList {root, root + u"/Data"_s, root + u"/Data/DB"_s, root + u"/Data/DB/SettingsDB.db"_s,
            root + u"/Data/Backups"_s}));
    QCOMPARE((QStringList {AppPaths::programDirectory(), AppPaths::downloadDirectory(),
                 AppPaths::runtimeDataDirectory(), AppPaths::logDirectory()}),
        (QStringList {program, program + u"/DATA"_s, program + u"/Data"_s, program + u"/Logs"_s}));
    DatabaseCatalog::path(KnownDatabase::Reports);
    QVERIFY(QDir(paths.localAppData()).isEmpty());
    QVERIFY(QDir(program).isEmpty());

    for (int round = 0; round < 2; ++round) {
        AppPaths::ensureDirectories();
        for (const QString &folder : {AppPaths::databaseDirectory(), AppPaths::downloadDirectory(),
                 AppPaths::runtimeDataDirectory(), AppPaths::backupDirectory()})
            QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));
    }
    AppPaths::setProgramDirectoryForTesting({});
    QCOMPARE(AppPaths::programDirectory(), QDir::cleanPath(QCoreApplication::applicationDirPath()));
}

void TestDatabaseCatalog::catalogueNamesAndPaths_data()
{
    QTest::addColumn<KnownDatabase>("database");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("relativePath");

    const QString db = u"LocalAppData/Tessaron/Data/DB/"_s;
    QTest::addRow("settings") << KnownDatabase::Settings << u"SettingsDB.db"_s << db + u"SettingsDB.db"_s;
    QTest::addRow("masters") << KnownDatabase::Masters << u"MasterDB.db"_s << db + u"MasterDB.db"_s;
    QTest::addRow("customers") << KnownDatabase::Customers << u"CustomersDB.db"_s << db + u"CustomersDB.db"_s;
    QTest::addRow("vehicles") << KnownDatabase::Vehicles << u"VehicleDB.db"_s << db + u"VehicleDB.db"_s;
    QTest::addRow("calibrations") << KnownDatabase::Calibrations << u"CalibrationDB.db"_s << db + u"CalibrationDB.db"_s;
    QTest::addRow("certificates") << KnownDatabase::Certificates << u"CertificateDB.db"_s << db + u"CertificateDB.db"_s;
    QTest::addRow("former report database beside the program")
        << KnownDatabase::DriverCards << u"driver_cards.db"_s << u"Program/Data/driver_cards.db"_s;
    QTest::addRow("reports") << KnownDatabase::Reports << u"ReportsDB.db"_s << db + u"ReportsDB.db"_s;
}

void TestDatabaseCatalog::catalogueNamesAndPaths()
{
    QFETCH(KnownDatabase, database);
    QFETCH(QString, fileName);
    QFETCH(QString, relativePath);

    tessaron::test::TempAppPaths paths;
    QCOMPARE(DatabaseCatalog::fileName(database), fileName);
    QCOMPARE(DatabaseCatalog::path(database), paths.filePath(relativePath));
}

void TestDatabaseCatalog::catalogueRejectsUnknownValuesAndWorksWithoutLocalAppData()
{
    tessaron::test::TempAppPaths paths;
    QCOMPARE(DatabaseCatalog::fileName(static_cast<KnownDatabase>(8)), QString());
    QCOMPARE(DatabaseCatalog::path(static_cast<KnownDatabase>(-1)), QString());
    qunsetenv("LOCALAPPDATA");
    QVERIFY(!AppPaths::root().isEmpty());
    QCOMPARE(DatabaseCatalog::path(KnownDatabase::Reports), AppPaths::database(u"ReportsDB.db"_s));
}

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
