#include "storage/app_paths.h"
#include "storage/database_catalog.h"
#include "support/temp_app_paths.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::AppPaths;
using tessaron::storage::DatabaseCatalog;
using tessaron::storage::KnownDatabase;

class TestAppPaths : public QObject
{
    Q_OBJECT

private slots:
    void perUserFoldersFollowLocalAppData();
    void localAppDataIsCleaned();
    void programFoldersFollowTheOverride();
    void nothingIsCreatedUntilAsked();
    void ensureDirectoriesCreatesEveryFolder();
    void catalogueNamesAndPaths_data();
    void catalogueNamesAndPaths();
    void catalogueRejectsUnknownValues();
    void reportsPathWithoutLocalAppData();
};

void TestAppPaths::perUserFoldersFollowLocalAppData()
{
    tessaron::test::TempAppPaths paths;
    QVERIFY(paths.isValid());
    const QString root = paths.localAppData() + u"/Tessaron"_s;
    QCOMPARE(AppPaths::root(), root);
    QCOMPARE(AppPaths::data(), root + u"/Data"_s);
    QCOMPARE(AppPaths::databaseDirectory(), root + u"/Data/DB"_s);
    QCOMPARE(AppPaths::database(u"SettingsDB.db"_s), root + u"/Data/DB/SettingsDB.db"_s);
    QCOMPARE(AppPaths::backupDirectory(), root + u"/Data/Backups"_s);
}

void TestAppPaths::localAppDataIsCleaned()
{
    tessaron::test::TempAppPaths paths;
    qputenv("LOCALAPPDATA", (paths.localAppData() + u"/./sub/../"_s).toLocal8Bit());
    QCOMPARE(AppPaths::data(), paths.localAppData() + u"/Tessaron/Data"_s);
}

void TestAppPaths::programFoldersFollowTheOverride()
{
    tessaron::test::TempAppPaths paths;
    const QString program = paths.programDirectory();
    QCOMPARE(AppPaths::programDirectory(), program);
    QCOMPARE(AppPaths::downloadDirectory(), program + u"/DATA"_s);
    QVERIFY(QFileInfo(AppPaths::downloadDirectory()).isAbsolute());
    QCOMPARE(AppPaths::runtimeDataDirectory(), program + u"/Data"_s);
    QCOMPARE(AppPaths::logDirectory(), program + u"/Logs"_s);

    AppPaths::setProgramDirectoryForTesting({});
    QCOMPARE(AppPaths::programDirectory(), QDir::cleanPath(QCoreApplication::applicationDirPath()));
}

void TestAppPaths::nothingIsCreatedUntilAsked()
{
    tessaron::test::TempAppPaths paths;
    AppPaths::data();
    AppPaths::database(u"X.db"_s);
    AppPaths::downloadDirectory();
    DatabaseCatalog::path(KnownDatabase::Reports);
    QVERIFY(QDir(paths.localAppData()).isEmpty());
    QVERIFY(QDir(paths.programDirectory()).isEmpty());
}

void TestAppPaths::ensureDirectoriesCreatesEveryFolder()
{
    tessaron::test::TempAppPaths paths;
    AppPaths::ensureDirectories();
    for (const QString &folder : {AppPaths::databaseDirectory(), AppPaths::programDirectory(),
             AppPaths::downloadDirectory(), AppPaths::runtimeDataDirectory(), AppPaths::backupDirectory()})
        QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));
    // A second call over existing folders is harmless.
    AppPaths::ensureDirectories();
    QVERIFY(QFileInfo(AppPaths::backupDirectory()).isDir());
}

void TestAppPaths::catalogueNamesAndPaths_data()
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

void TestAppPaths::catalogueNamesAndPaths()
{
    QFETCH(KnownDatabase, database);
    QFETCH(QString, fileName);
    QFETCH(QString, relativePath);

    tessaron::test::TempAppPaths paths;
    QCOMPARE(DatabaseCatalog::fileName(database), fileName);
    QCOMPARE(DatabaseCatalog::path(database), paths.filePath(relativePath));
}

void TestAppPaths::catalogueRejectsUnknownValues()
{
    QCOMPARE(DatabaseCatalog::fileName(static_cast<KnownDatabase>(8)), QString());
    QCOMPARE(DatabaseCatalog::path(static_cast<KnownDatabase>(-1)), QString());
}

void TestAppPaths::reportsPathWithoutLocalAppData()
{
    tessaron::test::TempAppPaths paths;
    qunsetenv("LOCALAPPDATA");
    QCOMPARE(DatabaseCatalog::path(KnownDatabase::Reports), AppPaths::database(u"ReportsDB.db"_s));
    QVERIFY(!AppPaths::root().isEmpty());
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "tst_app_paths.moc"
