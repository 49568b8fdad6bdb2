#include "storage/app_paths.h"
#include "storage/database_catalog.h"
#include "support/held_update.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <chrono>
#include <memory>

using namespace Qt::StringLiterals;
using tessaron::storage::AppPaths;
using tessaron::storage::DatabaseCatalog;
using tessaron::storage::KnownDatabase;
using tessaron::test::fileBytes;
using tessaron::test::HeldUpdate;
using tessaron::test::SqliteProbe;
using namespace std::chrono_literals;

namespace {

// A report database of the former layout whose first row names where it came from, followed by 2,000 more: enough
// pages for an update of them all to leave a small page cache for the file.
void writeFormerDatabase(const QString &path, const QString &marker)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const SqliteProbe probe(path);
    QVERIFY(probe.execute(u"CREATE TABLE DriverCardReports (ReportId INTEGER PRIMARY KEY, FileName TEXT)"_s));
    QVERIFY(probe.execute(u"INSERT INTO DriverCardReports (FileName) VALUES (?)"_s, {marker}));
    QVERIFY(probe.execute(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                          "INSERT INTO DriverCardReports (FileName) SELECT hex(randomblob(200)) FROM n"_s));
}

// Another program's update of every row, not committed. Within SQLite's page cache it stays in that program; past a
// cache of two pages, as here, the program takes the file for itself and writes its pages into it.
QStringList uncommittedUpdate(bool pastTheCache)
{
    QStringList statements {u"BEGIN"_s, u"UPDATE DriverCardReports SET FileName = 'UNCOMMITTED ' || ReportId"_s};
    if (pastTheCache)
        statements.prepend(u"PRAGMA cache_size = 2"_s);
    return statements;
}

// The first row's marker, or "UNCOMMITTED" when any row holds what the update wrote.
QString markerOf(const QString &path)
{
    const SqliteProbe probe(path);
    if (probe.scalar(u"SELECT count(*) FROM DriverCardReports WHERE FileName LIKE 'UNCOMMITTED%'"_s).toInt() > 0)
        return u"UNCOMMITTED"_s;
    return probe.scalar(u"SELECT FileName FROM DriverCardReports ORDER BY ReportId LIMIT 1"_s).toString();
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
    void failedMoveLeavesNothingBehind_data();
    void failedMoveLeavesNothingBehind();
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
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("expectedMarker");

    QTest::addRow("no former file: only the folder is made") << QStringList() << QString() << QString();
    QTest::addRow("runtime data folder") << QStringList {u"runtime"_s} << QString() << u"runtime"_s;
    QTest::addRow("database folder") << QStringList {u"database"_s} << QString() << u"database"_s;
    QTest::addRow("program folder") << QStringList {u"program"_s} << QString() << u"program"_s;
    QTest::addRow("runtime data folder wins over the others")
        << QStringList {u"program"_s, u"database"_s, u"runtime"_s} << QString() << u"runtime"_s;
    QTest::addRow("database folder wins over the program folder")
        << QStringList {u"program"_s, u"database"_s} << QString() << u"database"_s;
    QTest::addRow("stale temporary copy is replaced")
        << QStringList {u"program"_s, u"stale"_s} << QString() << u"program"_s;
    QTest::addRow("existing target is left alone")
        << QStringList {u"runtime"_s, u"target"_s} << QString() << u"target"_s;
    // Another program on the former file: the move takes what it last committed, never its update.
    QTest::addRow("another program's update still in its cache")
        << QStringList {u"runtime"_s} << u"in its cache"_s << u"runtime"_s;
    QTest::addRow("another program's update in the file, ended within the wait")
        << QStringList {u"database"_s} << u"ended within the wait"_s << u"database"_s;
    QTest::addRow("another program killed with its update in the file")
        << QStringList {u"program"_s} << u"killed"_s << u"program"_s;
}

void TestDatabaseCatalog::formerFileIsCopiedCheckedAndKept()
{
    QFETCH(QStringList, locations);
    QFETCH(QString, writer);
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

    std::unique_ptr<HeldUpdate> held;
    if (!writer.isEmpty()) {
        const QString former = files.value(locations.constFirst());
        held = std::make_unique<HeldUpdate>(
            former, uncommittedUpdate(writer != u"in its cache"_s), writer == u"killed"_s ? 2min : 1500ms);
        QVERIFY2(held->isHeld(), qPrintable(held->output()));
        if (writer == u"killed"_s)
            held->kill();
        // What a copy of the bytes would carry.
        QCOMPARE(fileBytes(former).contains("UNCOMMITTED"), writer != u"in its cache"_s);
    }

    QString error = u"untouched"_s;
    QVERIFY2(DatabaseCatalog::prepareReportsDatabase(&error), qPrintable(error));
    QCOMPARE(error, u"untouched"_s);
    held.reset();
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
    QCOMPARE(markerOf(reportsTarget()), expectedMarker);
}

void TestDatabaseCatalog::failedMoveLeavesNothingBehind_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<bool>("movedLater");
    const QString later = u" Перенос повторится при следующем запуске программы."_s;
    const QString notADatabase = u"Не удалось скопировать базу %1: файл повреждён или не является базой данных."_s;
    QTest::addRow("corrupt former file") << u"corrupt"_s << notADatabase + later << false;
    QTest::addRow("former file with a damaged page")
        << u"damaged page"_s << u"База отчётов %1 повреждена и не перенесена"_s << false;
    // Moved at the next start, once the other program has let the file go.
    QTest::addRow("former file held by another program past the wait")
        << u"held"_s << u"Не удалось скопировать базу %1: её держит другая программа дольше 5 с."_s + later << true;
}

// A move that fails leaves neither the target nor a temporary copy, keeps the former file as it was and says why; a
// later start tries again, failing the same way or, once the cause is gone, moving the file.
void TestDatabaseCatalog::failedMoveLeavesNothingBehind()
{
    QFETCH(QString, kind);
    QFETCH(QString, expectedError);
    QFETCH(bool, movedLater);
    tessaron::test::TempAppPaths paths;
    QDir().mkpath(AppPaths::runtimeDataDirectory());
    const QString former = AppPaths::runtimeDataDirectory() + u"/driver_cards.db"_s;
    if (kind == u"corrupt"_s)
        tessaron::test::writeCorruptFile(former);
    else
        writeFormerDatabase(former, u"runtime"_s);
    if (kind == u"damaged page"_s) { // a leaf of the table's tree, its page type and cells overwritten
        QFile file(former);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(2 * 4096) && file.write(QByteArray(4096, '\xff')) == 4096);
    }
    const QByteArray bytes = fileBytes(former);
    std::unique_ptr<HeldUpdate> held;
    if (kind == u"held"_s) {
        held = std::make_unique<HeldUpdate>(former, uncommittedUpdate(true));
        QVERIFY2(held->isHeld(), qPrintable(held->output()));
    }
    const auto leftInTargetFolder
        = [] { return QDir(QFileInfo(reportsTarget()).absolutePath()).entryList(QDir::Files | QDir::Hidden); };

    QString error;
    QVERIFY(!DatabaseCatalog::prepareReportsDatabase(&error));
    QCOMPARE(error, expectedError.arg(QDir::toNativeSeparators(former)));
    QCOMPARE(leftInTargetFolder(), QStringList());
    held.reset();
    QCOMPARE(fileBytes(former), bytes);

    QCOMPARE(DatabaseCatalog::prepareReportsDatabase(nullptr), movedLater);
    QCOMPARE(leftInTargetFolder(), movedLater ? QStringList {u"ReportsDB.db"_s} : QStringList());
    if (movedLater)
        QCOMPARE(markerOf(reportsTarget()), u"runtime"_s);
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

// Started again by a HeldUpdate, the program holds an update of a database instead of testing.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (const int code = HeldUpdate::runIfAsked(); code >= 0)
        return code;
    TestDatabaseCatalog test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_database_catalog.moc"
