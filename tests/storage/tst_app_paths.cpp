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
    void foldersFollowTheirRootsAndAreMadeOnlyWhenAsked();
    void catalogueNamesAndPaths_data();
    void catalogueNamesAndPaths();
    void catalogueRejectsUnknownValuesAndWorksWithoutLocalAppData();
};

// Per-user folders follow LOCALAPPDATA (cleaned), the program's own follow its folder; none is made until asked,
// then all are, and asking again is harmless.
void TestAppPaths::foldersFollowTheirRootsAndAreMadeOnlyWhenAsked()
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

void TestAppPaths::catalogueRejectsUnknownValuesAndWorksWithoutLocalAppData()
{
    tessaron::test::TempAppPaths paths;
    QCOMPARE(DatabaseCatalog::fileName(static_cast<KnownDatabase>(8)), QString());
    QCOMPARE(DatabaseCatalog::path(static_cast<KnownDatabase>(-1)), QString());
    qunsetenv("LOCALAPPDATA");
    QVERIFY(!AppPaths::root().isEmpty());
    QCOMPARE(DatabaseCatalog::path(KnownDatabase::Reports), AppPaths::database(u"ReportsDB.db"_s));
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "tst_app_paths.moc"
