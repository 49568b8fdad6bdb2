#include "storage/app_paths.h"
#include "storage/database_catalog.h"
#include "storage/master_repository.h"
#include "storage/settings_keys.h"
#include "storage/settings_repository.h"
#include "support/sqlite_probe.h"
#include "support/sync_package_bytes.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "sync/synchronization_manager.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using tessaron::storage::AppPaths;
using tessaron::storage::MasterRepository;
using tessaron::sync::SynchronizationManager;
using tessaron::sync::SyncResult;
using tessaron::test::fileBytes;
using tessaron::test::fileTree;
using tessaron::test::PackageBytes;
using tessaron::test::packageEntryPaths;
using tessaron::test::writeFile;

namespace {

QString dataFile(const QString &relative)
{
    return AppPaths::data() + u'/' + relative;
}

QString downloadFile(const QString &name)
{
    return AppPaths::downloadDirectory() + u'/' + name;
}

QStringList masterNames(const QString &databasePath = {})
{
    QStringList names;
    const MasterRepository masters(databasePath);
    const QList<tessaron::storage::Master> rows = masters.masters();
    for (const tessaron::storage::Master &master : rows)
        names.append(master.fullName);
    names.sort();
    return names;
}

// The import's backup folders, oldest name first.
QStringList backupFolders()
{
    return QDir(AppPaths::backupDirectory()).entryList({u"Sync_*"_s}, QDir::Dirs, QDir::Name);
}

QStringList stagingFolders()
{
    return QDir(SynchronizationManager::syncDirectory()).entryList({u"incoming_*"_s}, QDir::Dirs);
}

} // namespace

class TestSynchronizationManager : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;

    // Writes bytes as a package file outside both installations and imports it.
    SyncResult importBytes(const QByteArray &bytes)
    {
        const QString path = m_paths->filePath(u"incoming.tspak"_s);
        return writeFile(path, bytes) ? SynchronizationManager::importPackage(path) : SyncResult {};
    }

    // An installation holding one master, a download and a document.
    void makeInstallation(const QString &name, const QString &master)
    {
        m_paths->useInstallation(name);
        AppPaths::ensureDirectories();
        QVERIFY(MasterRepository().addMaster(master) > 0);
        QVERIFY(writeFile(downloadFile(name + u".ddd"_s), name.toUtf8()));
        QVERIFY(writeFile(dataFile(u"Documents/"_s + name + u"/act.pdf"_s), name.toUtf8()));
    }

private Q_SLOTS:
    void init()
    {
        m_paths = std::make_unique<tessaron::test::TempAppPaths>();
        QVERIFY(m_paths->isValid());
    }

    void cleanup() { m_paths.reset(); }

    // The opening bytes are the phone app's contract; a second export in the same second keeps the first.
    void exportWritesThePackageFormat()
    {
        const SyncResult first = SynchronizationManager::exportPackage();
        QVERIFY2(first.success, qPrintable(first.message));
        QCOMPARE(first.fileCount, 0);
        QCOMPARE(first.message, u"Пакет создан: "_s + first.packagePath);
        const QByteArray bytes = fileBytes(first.packagePath);
        QByteArray opening = QByteArray::fromHex("00000030");
        for (const char c : QByteArray("TESSARON_SYNC_PACKAGE_V1"))
            opening.append('\0').append(c);
        opening += QByteArray::fromHex("000000020031"
                                       "00000030");
        QVERIFY(bytes.startsWith(opening));
        QString createdAt;
        for (qsizetype i = opening.size(); i + 1 < opening.size() + 48; i += 2)
            createdAt.append(QChar(char16_t(uchar(bytes.at(i)) << 8 | uchar(bytes.at(i + 1)))));
        QVERIFY2(createdAt.contains(QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"_s)),
            qPrintable(createdAt));
        QCOMPARE(bytes.mid(opening.size() + 48), QByteArray::fromHex("00000000"));

        const SyncResult second = SynchronizationManager::exportPackage();
        QVERIFY(second.success);
        QVERIFY(second.packagePath != first.packagePath);
        QCOMPARE(fileBytes(first.packagePath), bytes);
        const QStringList packages = SynchronizationManager::packageFiles();
        QCOMPARE(packages.size(), 2);
        QVERIFY(packages.contains(first.packagePath) && packages.contains(second.packagePath));
        QVERIFY(QFileInfo(first.packagePath)
                    .fileName()
                    .contains(QRegularExpression(
                        u"^TessaronSync_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d(_2)?\\.tspak$"_s)));
    }

    void exportRefusals_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("message");
        QTest::addRow("folder under a regular file") << u"file/sub/p.tspak"_s << u"Не удалось создать каталог: "_s;
        QTest::addRow("target is a folder") << u"folder"_s << u"Не удалось создать пакет: "_s;
    }

    void exportRefusals()
    {
        QFETCH(QString, target);
        QFETCH(QString, message);
        QVERIFY(writeFile(m_paths->filePath(u"file"_s)));
        QVERIFY(QDir().mkpath(m_paths->filePath(u"folder"_s)));
        const SyncResult result = SynchronizationManager::exportPackage(m_paths->filePath(target));
        QVERIFY(!result.success);
        QVERIFY2(result.message.startsWith(message), qPrintable(result.message));
        QVERIFY(fileTree(m_paths->filePath(u"folder"_s)).isEmpty());
        QCOMPARE(QFileInfo(m_paths->filePath(u"file"_s)).size(), 0);
    }

    // A adds its master, files and ledger lines to B; B keeps its own and its backups show it as it was.
    void exportOnOneInstallationImportOnAnother()
    {
        makeInstallation(u"A"_s, u"Иванов И. И."_s);
        QVERIFY(writeFile(dataFile(u"XML/checksums.txt"_s), "c1|one.xml\r\nc0|zero.xml\r\n"));
        tessaron::test::SqliteProbe(
            tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::DriverCards))
            .execute(u"CREATE TABLE Legacy(x)"_s);
        QVERIFY(writeFile(AppPaths::database(u"ReportsDB.db"_s), "reports"));
        const SyncResult exported = SynchronizationManager::exportPackage();
        QVERIFY2(exported.success, qPrintable(exported.message));
        const QStringList entries = packageEntryPaths(exported.packagePath);
        QCOMPARE(entries,
            QStringList({u"db/MasterDB.db"_s, u"db/driver_cards.db"_s, u"files/DATA/A.ddd"_s,
                u"files/XML/checksums.txt"_s, u"files/Documents/A/act.pdf"_s}));
        QCOMPARE(exported.fileCount, entries.size());

        makeInstallation(u"B"_s, u"Петров П. П."_s);
        QVERIFY(writeFile(dataFile(u"XML/checksums.txt"_s), "c0|zero.xml\n"));
        const auto ownDatabase = fileBytes(AppPaths::database(u"MasterDB.db"_s));
        for (int run = 1; run <= 2; ++run) {
            const SyncResult imported = SynchronizationManager::importPackage(exported.packagePath);
            QVERIFY2(imported.success, qPrintable(imported.message));
            QCOMPARE(imported.message,
                u"Синхронизация завершена. Добавлено записей: %1, файлов: 3."_s.arg(imported.recordsAdded));
            QCOMPARE(imported.fileCount, 3);
            QCOMPARE(backupFolders().size(), run);
        }
        QCOMPARE(masterNames(), QStringList({u"Иванов И. И."_s, u"Петров П. П."_s}));
        const QString firstBackup = AppPaths::backupDirectory() + u'/' + backupFolders().constFirst() + u"/db/"_s;
        QCOMPARE(masterNames(firstBackup + u"MasterDB.db"_s), QStringList({u"Петров П. П."_s}));
        QCOMPARE(fileBytes(firstBackup + u"MasterDB.db"_s), ownDatabase);
        QCOMPARE(QDir(firstBackup).entryList(QDir::Files), QStringList({u"MasterDB.db"_s}));
        QCOMPARE(fileBytes(downloadFile(u"A.ddd"_s)), "A");
        QCOMPARE(fileBytes(downloadFile(u"B.ddd"_s)), "B");
        QCOMPARE(fileBytes(dataFile(u"Documents/A/act.pdf"_s)), "A");
        QCOMPARE(fileBytes(dataFile(u"XML/checksums.txt"_s)), "c0|zero.xml\nc1|one.xml\n");
        QVERIFY(
            QFileInfo::exists(tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::DriverCards)));
        QVERIFY(!QFileInfo::exists(AppPaths::database(u"ReportsDB.db"_s)));
        QCOMPARE(stagingFolders(), {});
    }

    void acceptedPackages_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("written");
        QTest::addRow("any creation time")
            << PackageBytes::header(1, u"вчера"_s).entry(u"files/Documents/a.pdf"_s, "a").data << 1
            << u"Documents/a.pdf"_s;
        QTest::addRow("null content") << PackageBytes::header(1).entry(u"files/XML/a.xml"_s, QByteArray()).data << 1
                                      << u"XML/a.xml"_s;
        QTest::addRow("trailing bytes") << PackageBytes::header(0).data + "rest" << 0 << QString();
        PackageBytes many = PackageBytes::header(100000);
        for (int i = 0; i < 100000; ++i)
            many.entry(u"x"_s, {});
        QTest::addRow("100000 entries") << many.data << 0 << QString();
        QTest::addRow("outside the data areas") << PackageBytes::header(3)
                                                       .entry(u"files/DB/SettingsDB.db"_s, "x")
                                                       .entry(u"files/Backups/Sync_1/db/MasterDB.db"_s, "x")
                                                       .entry(u"other/x"_s, "x")
                                                       .data
                                                << 0 << QString();
    }

    void acceptedPackages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, files);
        QFETCH(QString, written);
        const SyncResult result = importBytes(bytes);
        QVERIFY2(result.success, qPrintable(result.message));
        QCOMPARE(result.message, u"Синхронизация завершена. Добавлено записей: 0, файлов: %1."_s.arg(files));
        if (!written.isEmpty())
            QVERIFY(QFileInfo::exists(dataFile(written)));
        QVERIFY(!QFileInfo::exists(AppPaths::databaseDirectory()));
        QCOMPARE(
            QDir(AppPaths::backupDirectory()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }

    void refusalsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("badPath");
        QTest::addColumn<QString>("message");
        const QString notPackage = u"Файл не является пакетом Tessaron."_s;
        const QString tooMany = u"Пакет содержит слишком много файлов."_s;
        const QString damaged = u"Пакет содержит повреждённый путь."_s;
        QTest::addRow("missing file") << QByteArray() << QString() << u"Пакет синхронизации не найден."_s;
        QTest::addRow("empty file") << QByteArray("") << QString() << notPackage;
        QTest::addRow("wrong magic")
            << PackageBytes().string(u"TESSARON_SYNC_PACKAGE_V2"_s).string(u"1"_s).string({}).int32(0).data << QString()
            << notPackage;
        QTest::addRow("wrong version")
            << PackageBytes().string(u"TESSARON_SYNC_PACKAGE_V1"_s).string(u"2"_s).string({}).int32(0).data << QString()
            << notPackage;
        QTest::addRow("100001 entries") << PackageBytes::header(100001).data << QString() << tooMany;
        QTest::addRow("negative count") << PackageBytes::header(-1).data << QString() << tooMany;
        QTest::addRow("truncated entry") << PackageBytes::header(1).string(u"files/DATA/a.ddd"_s).int32(100).data
                + "abc" << QString() << damaged;
        const QStringList badPaths = {u""_s, u"/CANARY"_s, u"files/Documents/a..b.pdf"_s, u"db//CANARY"_s,
            u"files//CANARY"_s, u"files/DATA//CANARY"_s, u"files/DATA/a\\b.ddd"_s, u"db/C:/x.db"_s,
            u"files/XML/./x.xml"_s, u"files/DATA/sub//x.ddd"_s, u"files/Documents/"_s};
        for (const QString &path : badPaths)
            QTest::addRow("path \"%s\"", qPrintable(path)) << QByteArray() << path << damaged;
    }

    // Nothing changes anywhere: not the installation, not the canary outside it, no backup is made.
    void refusalsChangeNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, badPath);
        QFETCH(QString, message);
        makeInstallation(u"B"_s, u"Петров П. П."_s);
        const QString canary = m_paths->filePath(u"canary"_s);
        QVERIFY(writeFile(canary, "canary"));
        if (!badPath.isNull()) {
            bytes = PackageBytes::header(2)
                        .entry(u"files/DATA/ok.ddd"_s, "ok")
                        .entry(QString(badPath).replace(u"CANARY"_s, canary.mid(1)), "evil")
                        .data;
        }
        const QString package = m_paths->filePath(u"incoming.tspak"_s);
        QVERIFY(bytes.isNull() || writeFile(package, bytes));
        const auto before = fileTree(m_paths->filePath({}));
        const SyncResult result = SynchronizationManager::importPackage(package);
        QVERIFY(!result.success);
        QCOMPARE(result.message, message);
        QCOMPARE(fileTree(m_paths->filePath({})), before);
    }

    // A failing merge keeps the merges before it and the backup; a file that cannot be written is named.
    void failuresAfterTheBackup()
    {
        makeInstallation(u"A"_s, u"Иванов И. И."_s);
        tessaron::test::SqliteProbe(AppPaths::database(u"CustomersDB.db"_s))
            .execute(u"CREATE TABLE Customers(Id INTEGER PRIMARY KEY, CustomerName TEXT NOT NULL)"_s);
        tessaron::test::SqliteProbe(AppPaths::database(u"CustomersDB.db"_s))
            .execute(u"INSERT INTO Customers(CustomerName) VALUES('ООО Ромашка')"_s);
        const QString package = SynchronizationManager::exportPackage().packagePath;

        makeInstallation(u"B"_s, u"Петров П. П."_s);
        const tessaron::test::SqliteProbe customers(AppPaths::database(u"CustomersDB.db"_s));
        QVERIFY(customers.execute(u"CREATE TABLE Customers(Id INTEGER PRIMARY KEY, CustomerName TEXT NOT NULL)"_s));
        QVERIFY(customers.execute(u"CREATE TRIGGER refuse BEFORE INSERT ON Customers BEGIN "
                                  u"SELECT RAISE(ABORT, 'refused'); END"_s));
        SyncResult result = SynchronizationManager::importPackage(package);
        QVERIFY2(result.message.startsWith(u"Ошибка объединения CustomersDB.db: "_s)
                && result.message.contains(u"refused"_s),
            qPrintable(result.message));
        QCOMPARE(masterNames(), QStringList({u"Иванов И. И."_s, u"Петров П. П."_s}));
        QCOMPARE(backupFolders().size(), 1);
        QCOMPARE(stagingFolders(), {});

        QVERIFY(customers.execute(u"DROP TRIGGER refuse"_s));
        QVERIFY(QDir().mkpath(downloadFile(u"A.ddd/"_s)));
        result = SynchronizationManager::importPackage(package);
        QCOMPARE(result.message, u"Не удалось записать файл: "_s + downloadFile(u"A.ddd"_s));
        QCOMPARE(stagingFolders(), {});
    }

    // Folders reached twice through links are read once, and a package database is never a data file.
    void linksAndSharedFolders()
    {
        makeInstallation(u"A"_s, u"Иванов И. И."_s);
        QVERIFY(QFile::link(dataFile(u"Documents"_s), dataFile(u"Documents/A/loop"_s)));
        QVERIFY(QDir(AppPaths::runtimeDataDirectory()).removeRecursively());
        QVERIFY(QFile::link(AppPaths::downloadDirectory(), AppPaths::runtimeDataDirectory()));
        const QString legacy = tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::DriverCards);
        QVERIFY(tessaron::test::SqliteProbe(legacy).execute(u"CREATE TABLE Legacy(x)"_s));
        const SyncResult exported = SynchronizationManager::exportPackage();
        QVERIFY2(exported.success, qPrintable(exported.message));
        QCOMPARE(packageEntryPaths(exported.packagePath),
            QStringList(
                {u"db/MasterDB.db"_s, u"db/driver_cards.db"_s, u"files/DATA/A.ddd"_s, u"files/Documents/A/act.pdf"_s}));

        const QByteArray own = fileBytes(legacy);
        const SyncResult imported
            = importBytes(PackageBytes::header(1).entry(u"files/DATA/driver_cards.db"_s, "evil").data);
        QCOMPARE(imported.message, u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s);
        QCOMPARE(fileBytes(legacy), own);
    }
};

QTEST_GUILESS_MAIN(TestSynchronizationManager)

#include "tst_synchronization_manager.moc"
