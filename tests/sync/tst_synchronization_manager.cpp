#include "ddd/ddd_decoder.h"
#include "ddd/ddd_repository.h"
#include "ddd_file_builder.h"
#include "logging/application_logger.h"
#include "storage/app_paths.h"
#include "storage/database_catalog.h"
#include "storage/master_repository.h"
#include "storage/settings_repository.h"
#include "storage/vehicle_configuration_repository.h"
#include "support/held_update.h"
#include "support/log_capture.h"
#include "support/small_disk.h"
#include "support/sqlite_probe.h"
#include "support/sync_package_bytes.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "sync/entry_name_check.h"
#include "sync/package_database_check.h"
#include "sync/synchronization_manager.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <memory>
#include <tuple>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using tessaron::storage::AppPaths;
using tessaron::sync::EntryNameCheck;
using tessaron::sync::SyncResult;
using tessaron::test::fileBytes;
using tessaron::test::HeldUpdate;
using tessaron::test::packageEntries;
using tessaron::test::packageEntryPaths;
using tessaron::test::packageFields;
using tessaron::test::packageHeader;
using tessaron::test::SqliteProbe;
using tessaron::test::writeFile;
using Sync = tessaron::sync::SynchronizationManager;

namespace {

// Room enough for an import of a package of one small database, a download and a document (it stages the database,
// backs the local one up and merges it); the test checks that it is.
constexpr qint64 importRoom = 96 * 1024;

QString dataFile(const QString &relative)
{
    return AppPaths::data() + u'/' + relative;
}

QString legacyDatabase()
{
    return tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::DriverCards);
}

// A week of a vehicle unit with four hours of one-minute speed blocks: a save writes about 2.3 MB, past SQLite's page
// cache.
tessaron::ddd::DddReport downloadToWrite()
{
    return tessaron::ddd::Decoder::decode(tessaron::test::VuFileBuilder::typicalDownload(7, 240));
}

// For the time given, saves the download again and again into the legacy report database, removing the one saved
// before, and adds a master after each, every change in a transaction of its own as the program makes it. Prints a line
// once it starts, then how many it saved.
int writeForAWhile(int milliseconds)
{
    QTextStream out(stdout);
    tessaron::ddd::DddReport report = downloadToWrite();
    tessaron::ddd::DddRepository reports(legacyDatabase());
    tessaron::storage::MasterRepository masters;
    out << u"writing\n"_s << Qt::flush;
    QElapsedTimer timer;
    timer.start();
    int saved = 0;
    for (qint64 previous = 0; !timer.hasExpired(milliseconds); ++saved) {
        report.sourceFingerprint = QString::number(saved).rightJustified(64, u'0');
        const qint64 id = reports.save(report);
        if (id <= 0 || !reports.remove(previous, tessaron::ddd::DddFileType::Tachograph)
            || masters.addMaster(u"Мастер %1"_s.arg(saved)) <= 0) {
            out << reports.lastError() << masters.lastError();
            return 1;
        }
        previous = id;
    }
    out << saved;
    return 0;
}

// The names of the masters, sorted.
QStringList masters(const QString &databasePath = {})
{
    QStringList names;
    for (const tessaron::storage::Master &master : tessaron::storage::MasterRepository(databasePath).masters())
        names.append(master.fullName);
    names.sort();
    return names;
}

// A document of 340 KB, larger than the import's file size limit.
QByteArray largeDocument()
{
    return QByteArray("документ ").repeated(20000);
}

// Ledger lines "c<n>|f<n>.xml" for n from first, count of them.
QByteArray ledgerLines(int first, int count)
{
    QByteArray lines;
    for (int n = first; n < first + count; ++n)
        lines += "c" + QByteArray::number(n) + "|f" + QByteArray::number(n) + ".xml\n";
    return lines;
}

QStringList folders(const QString &parent, const QString &pattern)
{
    return QDir(parent).entryList({pattern}, QDir::Dirs, QDir::Name);
}

// The vehicle configurations as "manufacturer|model", in the order they were stored.
QStringList configurations()
{
    QStringList names;
    const SqliteProbe probe(AppPaths::database(tessaron::storage::VehicleConfigurationRepository::fileName));
    for (const QVariantList &row :
        probe.rows(u"SELECT Manufacturer || '|' || Model FROM VehicleConfigurations ORDER BY Id"_s))
        names.append(row.value(0).toString());
    return names;
}

// The files a result names, as "path (reason)".
QStringList named(const QList<tessaron::sync::LeftOutFile> &files)
{
    QStringList names;
    for (const tessaron::sync::LeftOutFile &file : files)
        names.append(file.path + u" ("_s + file.reason + u')');
    return names;
}

// Every row of a report file that belongs to a report, as text: its table, the type and fingerprint of its
// report, its values but its key, report id and import time. Sorted, two files compare as multisets.
QStringList reportRows(const QString &file)
{
    using tessaron::storage::quoteIdentifier;
    const SqliteProbe probe(file);
    QStringList lines;
    for (const QVariantList &table : probe.rows(u"SELECT name FROM sqlite_master WHERE type = 'table'"_s)) {
        const QString name = table.value(0).toString();
        const QStringList columns = probe.columns(name);
        if (!columns.contains(u"ReportId"_s))
            continue;
        // A generic table names the type; a typed one belongs to a vehicle unit when it is a "Tacho" table.
        const QString type
            = columns.contains(u"ReportType"_s) ? u"t.ReportType"_s : QString::number(1 + name.startsWith(u"Tacho"_s));
        QString select = u"SELECT "_s + type + u", json_extract(m.Json, '$.sourceFingerprint')"_s;
        for (const QString &column : columns.mid(1)) {
            if (column != u"ReportId"_s && column != u"ImportDate"_s)
                select += u", t."_s + quoteIdentifier(column);
        }
        select += u" FROM %1 t JOIN DddReportMeta m ON m.ReportId = t.ReportId AND m.ReportType = %2"_s.arg(
            quoteIdentifier(name), type);
        for (const QVariantList &row : probe.rows(select)) {
            QStringList fields {name};
            for (const QVariant &field : row)
                fields.append(field.isNull() ? u"NULL"_s : field.toString());
            lines.append(fields.join(u'|'));
        }
    }
    lines.sort();
    return lines;
}

} // namespace

class TestSynchronizationManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    // A folder of the test's own outside every installation, kept from row to row.
    QTemporaryDir m_elsewhere;

    // Writes the bytes (none: no file) as a package outside every installation and imports it.
    SyncResult importBytes(const QByteArray &bytes)
    {
        const QString path = m_paths->filePath(u"incoming.tspak"_s);
        if (!bytes.isNull() && !writeFile(path, bytes))
            return {};
        return Sync::importPackage(path);
    }

    // Starts this program again on the installation in use, as what the variables ask for (see main).
    void startAgain(QProcess *process, const QList<std::pair<QString, QString>> &variables)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TESSARON_TEST_PROGRAM"_s, m_paths->programDirectory());
        for (const auto &[name, value] : variables)
            environment.insert(name, value);
        process->setProcessEnvironment(environment);
        process->start(QCoreApplication::applicationFilePath(), {});
    }

    // Starts this program again as an import of the package into the installation in use, with more variables in its
    // environment.
    void startImport(QProcess *import, const QString &package, const QList<std::pair<QString, QString>> &more = {})
    {
        startAgain(import, QList<std::pair<QString, QString>> {{u"TESSARON_TEST_IMPORT_PACKAGE"_s, package}} + more);
    }

    // Switches to an installation holding one master, a download named after it and a document.
    void makeInstallation(const QString &name, const QString &master)
    {
        m_paths->useInstallation(name);
        fillInstallation(name, master);
    }

    // Gives the installation in use one master, a download named after name and a document.
    void fillInstallation(const QString &name, const QString &master)
    {
        AppPaths::ensureDirectories();
        QVERIFY(tessaron::storage::MasterRepository().addMaster(master) > 0);
        QVERIFY(writeFile(AppPaths::downloadDirectory() + u'/' + name + u".ddd"_s, name.toUtf8()));
        QVERIFY(writeFile(dataFile(u"Documents/"_s + name + u"/act.pdf"_s), name.toUtf8()));
    }

    // Installation A with a download of 40 KB and a document of 12 KB, the package's last entry.
    void makeLargeInstallation()
    {
        makeInstallation(u"A"_s, u"Иванов"_s);
        QVERIFY(writeFile(AppPaths::downloadDirectory() + u"/A.ddd"_s, largeDocument().left(40000)));
        QVERIFY(writeFile(dataFile(u"Documents/A/act.pdf"_s), largeDocument().left(12000)));
    }

private Q_SLOTS:
    void init() { m_paths = std::make_unique<tessaron::test::TempAppPaths>(); }
    void cleanup() { m_paths.reset(); }

    // The opening bytes are the phone app's contract; a second export in the same second keeps the first.
    void exportWritesThePackageFormat()
    {
        const SyncResult first = Sync::exportPackage();
        QCOMPARE(first.message, u"Пакет создан: "_s + first.packagePath);
        const QByteArray bytes = fileBytes(first.packagePath);
        QByteArray opening = QByteArray::fromHex("00000030");
        for (const char c : QByteArray("TESSARON_SYNC_PACKAGE_V1"))
            opening.append('\0').append(c);
        QCOMPARE(bytes.left(opening.size() + 10), opening + QByteArray::fromHex("00000002003100000030"));
        QCOMPARE(bytes.mid(opening.size() + 10 + 46), QByteArray::fromHex("005a00000000")); // "…Z", 0 entries

        const SyncResult second = Sync::exportPackage();
        QVERIFY(second.success && second.packagePath != first.packagePath);
        QCOMPARE(fileBytes(first.packagePath), bytes);
        QCOMPARE(Sync::packageFiles().size(), 2);

        // A folder that cannot be made, a target that is a folder: nothing is left at the target.
        const QString file = m_paths->filePath(u"file"_s);
        const QString folder = m_paths->filePath(u"folder"_s);
        QVERIFY(writeFile(file) && QDir().mkpath(folder));
        QCOMPARE(Sync::exportPackage(file + u"/p.tspak"_s).message, u"Не удалось создать каталог: "_s + file);
        QCOMPARE(Sync::exportPackage(folder).message, u"Не удалось создать пакет синхронизации"_s);
        QVERIFY(QDir(folder).isEmpty() && fileBytes(file).isEmpty());
    }

    // Exported again over an earlier package on a disk with any room left, a package is there whole (its entries
    // read back) or the export fails, says the disk is full and leaves the earlier package as it was. The package
    // ends with a document smaller than the save file's buffer, written out only at the commit.
    void exportOnAFullDisk_data()
    {
        QTest::addColumn<qint64>("room");
        QTest::addColumn<bool>("fits");
        m_paths = std::make_unique<tessaron::test::TempAppPaths>();
        makeLargeInstallation();
        const qint64 size = QFileInfo(Sync::exportPackage().packagePath).size();
        m_paths.reset();
        for (const qint64 room : tessaron::test::roomsToTry(size))
            QTest::addRow("%lld bytes, %s", size, tessaron::test::roomName(room, size).constData())
                << room << (room >= size);
    }

    void exportOnAFullDisk()
    {
        QFETCH(qint64, room);
        QFETCH(bool, fits);
        const tessaron::test::SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        makeInstallation(u"A"_s, u"Иванов"_s);
        const QString target = disk.filePath(u"package.tspak"_s);
        QVERIFY(Sync::exportPackage(target).success);
        const QByteArray earlier = fileBytes(target);
        makeLargeInstallation();
        disk.fill(room);

        const SyncResult exported = Sync::exportPackage(target);
        QCOMPARE(QDir(disk.filePath(QString())).entryList(QDir::Files | QDir::Hidden, QDir::Name),
            QStringList({u"filler"_s, u"package.tspak"_s}));
        if (fits) {
            QVERIFY2(exported.success, qPrintable(exported.message));
            QCOMPARE(packageEntryPaths(target),
                QStringList({u"db/MasterDB.db"_s, u"files/DATA/A.ddd"_s, u"files/Documents/A/act.pdf"_s}));
            return;
        }
        QVERIFY(!exported.success);
        QCOMPARE(exported.message, u"Не удалось записать пакет синхронизации (на диске нет места)."_s);
        QCOMPARE(fileBytes(target), earlier);
    }

    void exportOnOneInstallationImportOnAnother_data()
    {
        QTest::addColumn<QString>("receiver");
        QTest::addRow("receiver B") << u"B"_s;
        // SQLite reads a name opened as a URI up to its "?" or "#", and "%" starts an escape there.
        QTest::addRow("receiver whose data folder holds ?, # and %%") << u"B?x=1#y%41%"_s;
    }

    // A adds its master, files and ledger lines to B; B keeps its own; each import backs B up as it was.
    void exportOnOneInstallationImportOnAnother()
    {
        QFETCH(QString, receiver);
        makeInstallation(u"A"_s, u"Иванов"_s);
        QVERIFY(writeFile(dataFile(u"XML/checksums.txt"_s), "c1|one.xml\r\nc0|zero.xml\r\n"));
        QVERIFY(SqliteProbe(legacyDatabase()).execute(u"CREATE TABLE Legacy(x)"_s));
        QVERIFY(writeFile(AppPaths::database(u"ReportsDB.db"_s), "reports"));
        const SyncResult exported = Sync::exportPackage();
        const QStringList entries = packageEntryPaths(exported.packagePath);
        QCOMPARE(entries,
            QStringList({u"db/MasterDB.db"_s, u"db/driver_cards.db"_s, u"files/DATA/A.ddd"_s,
                u"files/XML/checksums.txt"_s, u"files/Documents/A/act.pdf"_s}));
        QCOMPARE(exported.fileCount, entries.size());

        makeInstallation(receiver, u"Петров"_s);
        QVERIFY(Sync::syncDirectory().contains(receiver));
        QVERIFY(writeFile(dataFile(u"XML/checksums.txt"_s), "c0|zero.xml\n"));
        const QString ownRows = u"SELECT * FROM Masters ORDER BY 1"_s;
        const QList<QVariantList> own = SqliteProbe(AppPaths::database(u"MasterDB.db"_s)).rows(ownRows);
        for (int run = 1; run <= 2; ++run) {
            const SyncResult imported = Sync::importPackage(exported.packagePath);
            QCOMPARE(imported.message,
                u"Синхронизация завершена. Добавлено записей: %1, файлов: %2."_s.arg(2 - run).arg(run == 1 ? 3 : 0));
            QCOMPARE(folders(AppPaths::backupDirectory(), u"Sync_*"_s).size(), run);
        }
        QCOMPARE(masters(), QStringList({u"Иванов"_s, u"Петров"_s}));
        const QStringList backups = folders(AppPaths::backupDirectory(), u"Sync_*"_s);
        const QString backup = AppPaths::backupDirectory() + u'/' + backups[0];
        QCOMPARE(QDir(backup + u"/db"_s).entryList(QDir::Files), QStringList({u"MasterDB.db"_s}));
        QCOMPARE(QDir(AppPaths::backupDirectory() + u'/' + backups[1] + u"/db"_s).entryList(QDir::Files, QDir::Name),
            QStringList({u"MasterDB.db"_s, u"driver_cards.db"_s}));
        QCOMPARE(SqliteProbe(backup + u"/db/MasterDB.db"_s).rows(ownRows), own);
        QCOMPARE(masters(backup + u"/db/MasterDB.db"_s), QStringList({u"Петров"_s}));
        QCOMPARE(fileBytes(AppPaths::downloadDirectory() + u"/A.ddd"_s) + fileBytes(dataFile(u"Documents/A/act.pdf"_s)),
            "AA");
        QCOMPARE(fileBytes(AppPaths::downloadDirectory() + u'/' + receiver + u".ddd"_s), receiver.toUtf8());
        QCOMPARE(fileBytes(dataFile(u"XML/checksums.txt"_s)), "c0|zero.xml\nc1|one.xml\n");
        QVERIFY(QFileInfo::exists(legacyDatabase()) && !QFileInfo::exists(AppPaths::database(u"ReportsDB.db"_s)));
        QVERIFY(folders(Sync::syncDirectory(), u"incoming_*"_s).isEmpty());
    }

    void acceptedPackages_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("files");
        QByteArray many = packageHeader(100000);
        for (int i = 0; i < 100000; ++i)
            many += packageFields(u"x%1"_s.arg(i), QByteArray(""));
        QTest::addRow("any creation time")
            << packageHeader(1, u"вчера"_s) + packageFields(u"files/XML/a"_s, QByteArray("a")) << 1;
        QTest::addRow("null content") << packageHeader(1) + packageFields(u"files/XML/a"_s, QByteArray()) << 1;
        QTest::addRow("trailing bytes, count 0") << packageHeader(0) + "rest" << 0;
        QTest::addRow("100000 entries") << many << 0;
        QTest::addRow("outside the data areas") << packageHeader(3)
                + packageFields(u"files/DB/SettingsDB.db"_s, QByteArray("x"), u"files/Backups/Sync_1/db/MasterDB.db"_s,
                    QByteArray("x"), u"other/x"_s, QByteArray("x"))
                                                << 0;
    }

    void acceptedPackages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, files);
        const SyncResult result = importBytes(bytes);
        QCOMPARE(result.message, u"Синхронизация завершена. Добавлено записей: 0, файлов: %1."_s.arg(files));
        QCOMPARE(QFileInfo::exists(dataFile(u"XML/a"_s)), files == 1);
        QVERIFY(!QFileInfo::exists(AppPaths::databaseDirectory()));
        QCOMPARE(QDir(AppPaths::backupDirectory()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);
    }

    void hostilePackagesChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        const QString notPackage = u"Файл не является пакетом Tessaron."_s;
        const QString tooMany = u"Пакет содержит слишком много файлов."_s;
        // "%1" stands for the entry path of the row (CANARY replaced), "<data>" for the data folder.
        const auto refused = [](const QString &reason, const QString &shown = u"%1"_s) -> QString {
            return u"Пакет содержит повреждённый путь «"_s + shown + u"»: "_s + reason + u'.';
        };
        const QString malformed = u"пустая часть пути, «.» или «/» в начале"_s;
        const QString forbidden = u"управляющий символ или один из \\ : * ? \" < > |"_s;
        const QString trailing = u"имя оканчивается точкой или пробелом"_s;
        const QString device = u"имя устройства Windows, как CON, NUL, COM1 или LPT1"_s;
        const auto opening = [](const QString &magic, const QString &version) {
            return packageFields(magic, version, u"t"_s, qint32(0));
        };
        QTest::addRow("missing file") << QByteArray() << QString() << u"Пакет синхронизации не найден."_s;
        QTest::addRow("empty file") << QByteArray("") << QString() << notPackage;
        QTest::addRow("wrong magic") << opening(u"TESSARON_SYNC_PACKAGE_V2"_s, u"1"_s) << QString() << notPackage;
        QTest::addRow("wrong version") << opening(u"TESSARON_SYNC_PACKAGE_V1"_s, u"2"_s) << QString() << notPackage;
        QTest::addRow("100001 entries") << packageHeader(100001) << QString() << tooMany;
        QTest::addRow("negative count") << packageHeader(-1) << QString() << tooMany;
        QTest::addRow("truncated entry") << packageHeader(2) + packageFields(u"files/DATA/a"_s, qint32(9)) + "abc"
                                         << QString() << u"Пакет содержит повреждённый путь: запись 1 из 2 оборвана."_s;
        for (const auto &[path, reason] : {std::pair {u""_s, malformed}, {u"/CANARY"_s, malformed},
                 {u"files/Documents/a..b.pdf"_s, u"две точки подряд"_s}, {u"db//CANARY"_s, malformed},
                 {u"files//CANARY"_s, malformed}, {u"files/DATA//CANARY"_s, malformed},
                 {u"files/DATA/a\\b.ddd"_s, forbidden}, {u"db/C:/x.db"_s, forbidden},
                 {u"files/XML/./x.xml"_s, malformed}, {u"files/DATA/sub//x.ddd"_s, malformed},
                 {u"files/Documents/"_s, malformed},
                 // Names Windows cannot hold or reads as another file, the ledger's among them; too long a name.
                 {u"files/DATA/con.ddd"_s, device}, {u"files/Documents/Aux .tar.gz"_s, device},
                 {u"files/Documents/Com¹/x.pdf"_s, device}, {u"files/Documents/LPT9"_s, device},
                 {u"files/XML/checksums.txt."_s, trailing}, {u"files/Documents/dir /x.pdf"_s, trailing},
                 {u"files/XML/CHECKS~1.TXT"_s, u"короткое имя Windows с «~» и цифрой"_s},
                 {u"files/Documents/"_s + QString(200, u'a') + u'/' + QString(123, u'д') + u".pdf"_s,
                     u"слишком длинное имя"_s}})
            QTest::addRow("path \"%s\"", qPrintable(path.left(60))) << QByteArray() << path << refused(reason);
        for (const QChar c : u"<>\"|?*"_s)
            QTest::addRow("name with %c", c.toLatin1())
                << QByteArray() << u"files/Documents/a"_s + c << refused(forbidden);
        // Names no platform should take: cut short at a NUL, a control character, an NTFS stream; shown escaped.
        for (const auto &[path, shown] :
            {std::pair<QString, QString> {u"files/DATA/a"_s + QChar(0) + u"b.ddd"_s, u"files/DATA/a\\u0000b.ddd"_s},
                {u"files/XML/a\tb/x.xml"_s, u"files/XML/a\\u0009b/x.xml"_s},
                {u"files/Documents/a"_s + QChar(0x9b) + u".pdf"_s, u"files/Documents/a\\u009b.pdf"_s},
                {u"files/Documents/B/act.pdf:hidden"_s, u"files/Documents/B/act.pdf:hidden"_s},
                {u"other/a:b"_s, u"other/a:b"_s},
                {u"files/Documents/"_s + QChar(0xd800), u"files/Documents/\\ud800"_s}})
            QTest::addRow("name \"%s\"", qPrintable(shown)) << QByteArray() << path << refused(forbidden, shown);
        // A file where an entry has its folder and the reverse, in another letter case.
        for (const QString &path : {u"files/data"_s, u"files/DATA/OK.DDD/x"_s})
            QTest::addRow("clash \"%s\"", qPrintable(path))
                << QByteArray() << path
                << u"Пакет содержит повреждённый путь «%1»: имя уже занято записью «files/DATA/ok.ddd» (то же имя у "
                   u"файла и у папки)."_s;
        // What this installation holds where a file goes leaves that file unwritten and named; the sound file of the
        // package is written.
        const QString unwritten
            = u"Синхронизация завершена. Добавлено записей: 0, файлов: 1. Не записаны: «%1» (%2)."_s;
        QTest::addRow("local file on the way")
            << QByteArray() << u"files/Documents/B/act.pdf/x.pdf"_s
            << unwritten.arg(u"%1"_s, u"на его пути лежит файл <data>/Documents/B/act.pdf"_s);
        // The ledger under another letter case is merged, never replaced: lines it has change nothing.
        QTest::addRow("ledger in another letter case")
            << packageHeader(1) + packageFields(u"files/XML/CHECKSUMS.TXT"_s, QByteArray("c1|one.xml\r\nc0|zero.xml"))
            << QString() << u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s;
        // One file named twice in any letter case; a local path, data folder included, longer than Windows holds.
        const QString twice = u"Пакет содержит повреждённый путь «%1»: имя уже занято записью «%2» (тот же путь, что у "
                              u"другой записи)."_s;
        for (const QString &path : {u"files/DATA/ok.ddd"_s, u"files/data/OK.DDD"_s})
            QTest::addRow("twice \"%s\"", qPrintable(path))
                << QByteArray() << path << twice.arg(u"%1"_s, u"files/DATA/ok.ddd"_s);
        QTest::addRow("ledger twice") << packageHeader(2)
                + packageFields(u"files/XML/CHECKSUMS.TXT"_s, QByteArray("c2|two.xml\n"), u"files/XML/Checksums.txt"_s,
                    QByteArray("c3|three.xml\n"))
                                      << QString()
                                      << twice.arg(u"files/XML/Checksums.txt"_s, u"files/XML/CHECKSUMS.TXT"_s);
        // Too long for any data folder (the shortest is "/Data/Documents"): the package's own fault; too long only
        // below this installation's data folder: this installation's.
        const QString longHere = u"вместе с папкой данных путь длиннее, чем допускает Windows"_s;
        for (const QString &path : QStringList {u"files/Documents/"_s + QString(100, u'a') + u'/' + QString(100, u'b')
                     + u'/' + QString(40, u'c') + u".pdf"_s,
                 u"files/Documents/"_s + u"a/"_s.repeated(20000) + u"x.pdf"_s})
            QTest::addRow("long path \"%s\"", qPrintable(path.left(40)))
                << QByteArray() << path << refused(u"путь длиннее, чем допускает Windows, в любой папке данных"_s);
        QTest::addRow("long path of a database")
            << QByteArray() << u"db/"_s + QString(120, u'a') + u'/' + QString(120, u'b') + u"/MasterDB.db"_s
            << refused(longHere);
        QTest::addRow("long path fitting a shorter data folder")
            << QByteArray() << u"files/Documents/"_s + QString(226, u'l') + u".pdf"_s
            << unwritten.arg(u"%1"_s, longHere);
        // Links here: a folder and a file outside, a file inside its folder, a folder leading nowhere, a folder into
        // another area. Nothing is written through them.
        const QString onItsPlace = u"на его месте лежит ссылка"_s;
        const QString outOfFolder = u"его путь идёт через ссылку за пределы папки данных"_s;
        for (const auto &[path, reason] : {std::pair {u"files/Documents/out/pwn.txt"_s, outOfFolder},
                 {u"files/Documents/canary.txt"_s, onItsPlace}, {u"files/Documents/act.pdf"_s, onItsPlace},
                 {u"files/Documents/gone/pwn.txt"_s, outOfFolder}, {u"files/XML/docs/B/act.pdf"_s, outOfFolder}})
            QTest::addRow("through a link: %s", qPrintable(path))
                << QByteArray() << path << unwritten.arg(path, reason);
        // A package database or its journal under files/, in any letter case and any area, is left out.
        QByteArray companions = packageHeader(5);
        for (const QString &path : {u"files/DATA/driver_cards.db-journal"_s, u"files/XML/SettingsDB.db-wal"_s,
                 u"files/Documents/B/masterdb.DB-SHM"_s, u"files/DATA/vehicleconfigurations.DB-journal"_s,
                 u"files/Documents/CalibrationDB.db"_s})
            companions += packageFields(path, QByteArray("evil"));
        QTest::addRow("databases and journals under files/")
            << companions << QString() << u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s;
        // A column computed whenever it is read, 300 MB each time; added after the rows, as SQLite computes it when
        // a row is inserted too.
        const QString heavyColumn
            = u"ALTER TABLE %1 ADD COLUMN Ballast TEXT GENERATED ALWAYS AS (hex(zeroblob(150e6 + 0 * %2))) VIRTUAL"_s;
        // A database the installation lacks gets the program's own layout: the sender's trigger (which would empty
        // the table after each insert), view and extra tables stay behind, unread (one would compute 300 MB a row);
        // its rows arrive and are counted.
        const QTemporaryDir folder;
        const QString calibrations = folder.filePath(u"CalibrationDB.db"_s);
        for (const QString &statement :
            {u"CREATE TABLE Calibrations (Id INTEGER PRIMARY KEY AUTOINCREMENT, VehicleRegistrationNumber TEXT)"_s,
                u"INSERT INTO Calibrations (VehicleRegistrationNumber) VALUES ('А001АА77'), ('В002ВВ77')"_s,
                u"CREATE TRIGGER Wipe AFTER INSERT ON Calibrations BEGIN DELETE FROM Calibrations; END"_s,
                u"CREATE VIEW Everything AS SELECT * FROM Calibrations"_s, u"CREATE TABLE Extra (x)"_s,
                u"CREATE TABLE Heavy (x INTEGER)"_s,
                u"INSERT INTO Heavy (x) VALUES (1), (2), (3), (4), (5), (6), (7), (8)"_s,
                heavyColumn.arg(u"Heavy"_s, u"x"_s)})
            QVERIFY(SqliteProbe(calibrations).execute(statement));
        QTest::addRow("a database the installation lacks, with a trigger and a view")
            << packageHeader(1) + packageFields(u"db/CalibrationDB.db"_s, fileBytes(calibrations)) << QString()
            << u"Синхронизация завершена. Добавлено записей: 2, файлов: 0."_s;
        // Beside the masters, views that would take SQLite minutes to compile (each of the fifteen the UNION ALL of the
        // one before with itself, forty over the last) and a trigger over them: neither is ever compiled.
        const QString nested = folder.filePath(u"nested-views.db"_s);
        QVERIFY(tessaron::storage::MasterRepository(nested).addMaster(u"Петров"_s) > 0);
        QStringList views {u"CREATE VIEW Nested0 AS SELECT * FROM Masters"_s};
        for (int level = 1; level <= 15; ++level)
            views.append(u"CREATE VIEW Nested%1 AS SELECT * FROM Nested%2 UNION ALL SELECT * FROM Nested%2"_s.arg(
                QString::number(level), QString::number(level - 1)));
        for (int view = 1; view <= 40; ++view)
            views.append(u"CREATE VIEW Over%1 AS SELECT * FROM Nested15"_s.arg(view));
        views.append(u"CREATE TRIGGER Counted AFTER INSERT ON Masters BEGIN SELECT count(*) FROM Over40; END"_s);
        QVERIFY(SqliteProbe(nested).executeAll(views));
        QTest::addRow("MasterDB.db with fifteen nested views and forty over the last")
            << packageHeader(1) + packageFields(u"db/MasterDB.db"_s, fileBytes(nested)) << QString()
            << u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s;
        // A schema of many small statements, over pages enough that the schema table's root is an interior page, at the
        // bound and one byte past it, in pages of 4 KiB and of 64 KiB (the file's page-size field then 1): a page left
        // out of the count, the right-most child included, would take the second.
        for (const int pageSize : {4096, 65536}) {
            for (const qint64 schemaBytes : {qint64(256 * 1024), qint64(256 * 1024 + 1)}) {
                const QString path = folder.filePath(u"schema-%1-%2.db"_s.arg(pageSize).arg(schemaBytes));
                bool known = true;
                QString error;
                QVERIFY(tessaron::sync::createOwnDatabase(u"CalibrationDB.db"_s, path, &known, &error));
                QVERIFY(SqliteProbe(path).executeAll({u"PRAGMA page_size = %1"_s.arg(pageSize), u"VACUUM"_s,
                    u"INSERT INTO Calibrations (VehicleRegistrationNumber) VALUES ('А001АА77'), ('В002ВВ77')"_s}));
                QVERIFY(SqliteProbe(path).fillSchema(schemaBytes));
                QCOMPARE(
                    fileBytes(path).mid(16, 2), pageSize == 65536 ? QByteArray("\0\1", 2) : QByteArray("\20\0", 2));
                QCOMPARE(
                    SqliteProbe(path).scalar(u"SELECT count(*) FROM dbstat WHERE name = 'sqlite_schema'"_s).toInt() > 2,
                    true);
                QTest::addRow("schema of %lld bytes in small statements, %d-byte pages", schemaBytes, pageSize)
                    << packageHeader(1) + packageFields(u"db/CalibrationDB.db"_s, fileBytes(path)) << QString()
                    << (schemaBytes > 256 * 1024
                               ? u"Пакет не импортирован: база CalibrationDB.db не прошла проверку: её "
                                 u"схема (описание таблиц, индексов, представлений и триггеров) больше "
                                 u"256 КБ"_s
                               : u"Синхронизация завершена. Добавлено записей: 2, файлов: 0."_s);
            }
        }
        // Four sound databases (that one), then a damaged one: nothing is merged, nothing is backed up.
        QByteArray later = packageHeader(6);
        for (const QString &name : {u"MasterDB.db"_s, u"CustomersDB.db"_s, u"VehicleDB.db"_s, u"CalibrationDB.db"_s})
            later += packageFields(u"db/"_s + name, fileBytes(calibrations));
        later
            += packageFields(u"db/CertificateDB.db"_s, QByteArray(4096, 'x'), u"files/DATA/ok.ddd"_s, QByteArray("ok"));
        QTest::addRow("damaged fifth database")
            << later << QString() << u"Пакет не импортирован: база CertificateDB.db не прошла проверку"_s;
        // Sound settings and masters, then a database whose reading would never end or would compute 300 MB a row,
        // that SQLite cannot attach to ours, or whose rows the merge cannot place: each is refused by the check.
        const QString settings = folder.filePath(u"SettingsDB.db"_s);
        const QString master = folder.filePath(u"MasterDB.db"_s);
        QVERIFY(tessaron::storage::SettingsRepository(settings).setString(u"Workshop"_s, u"Name"_s, u"Тахосервис"_s));
        QVERIFY(tessaron::storage::MasterRepository(master).addMaster(u"Иванов"_s) > 0);
        const QString reportRow = u"INSERT INTO TachographReports (VIN) VALUES ('VIN')"_s;
        // Each database is made with the program's own layout (or, where false, without), then changed.
        for (const auto &[name, ownLayout, statements, reason] :
            {std::tuple {u"driver_cards.db"_s, true,
                 QStringList {reportRow, u"DROP TABLE DddReportMeta"_s,
                     u"CREATE VIEW DddReportMeta AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 "
                     "FROM r) SELECT n AS ReportId, 2 AS ReportType, '{}' AS Json FROM r"_s},
                 u"на месте таблицы DddReportMeta лежит представление"_s},
                {u"MasterDB.db"_s, true,
                    QStringList {u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100) "
                                 "INSERT INTO Masters (FullName) SELECT 'Мастер ' || i FROM n"_s,
                        heavyColumn.arg(u"Masters"_s, u"Id"_s)},
                    u"столбец Ballast таблицы Masters вычисляемый"_s},
                {u"CustomersDB.db"_s, false,
                    QStringList {u"PRAGMA encoding = 'UTF-16le'"_s,
                        u"CREATE TABLE Customers (Id INTEGER PRIMARY KEY AUTOINCREMENT, CustomerName TEXT NOT NULL)"_s,
                        u"INSERT INTO Customers (CustomerName) VALUES ('Ромашка')"_s},
                    u"текст в ней записан в кодировке UTF-16le, а не UTF-8"_s},
                {u"driver_cards.db"_s, true,
                    QStringList {reportRow, u"DROP TABLE TachoEvents"_s,
                        u"CREATE TABLE TachoEvents (EventId INTEGER PRIMARY KEY AUTOINCREMENT, EventType TEXT)"_s,
                        u"INSERT INTO TachoEvents (EventType) VALUES ('без отчёта')"_s},
                    u"в таблице TachoEvents нет столбца ReportId"_s},
                {u"VehicleConfigurations.db"_s, false,
                    QStringList {u"CREATE TABLE VehicleConfigurations (Id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                 "Manufacturer TEXT, Model TEXT, UpdatedAt TEXT)"_s,
                        u"INSERT INTO VehicleConfigurations (Manufacturer, Model, UpdatedAt) "
                        "VALUES ('MAN', 'TGX', '2025-03-01 10:15:00')"_s},
                    u"в таблице VehicleConfigurations нет столбца ParametersJson"_s},
                {u"VehicleConfigurations.db"_s, false,
                    QStringList {u"CREATE TABLE VehicleConfigurations (Id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                 "Manufacturer TEXT, Model TEXT, ParametersJson TEXT, UpdatedAt TEXT)"_s,
                        u"INSERT INTO VehicleConfigurations (Manufacturer, Model, UpdatedAt) "
                        "VALUES ('MAN', 'TGX', '2025-03-01 10:15:00')"_s},
                    u"в таблице VehicleConfigurations пустое значение в обязательном столбце ParametersJson"_s},
                {u"CustomersDB.db"_s, true,
                    QStringList {u"CREATE TABLE Unread (x DEFAULT (1 IN (%1)))"_s.arg(u"1,"_s.repeated(140000) + u'1')},
                    u"её схема (описание таблиц, индексов, представлений и триггеров) больше 256 КБ"_s},
                // What the merge would read and cannot: report ids it could not match to the reports (their collation
                // unknown to SQLite), settings without a column each of whose values it writes.
                {u"driver_cards.db"_s, true,
                    QStringList {reportRow, u"INSERT INTO TachoEvents (ReportId, EventType) VALUES (1, 'e')"_s,
                        u"PRAGMA writable_schema = ON"_s,
                        u"UPDATE sqlite_schema SET sql = replace(sql, 'ReportId INTEGER NOT NULL', "
                        "'ReportId INTEGER NOT NULL COLLATE missing') WHERE name = 'TachoEvents'"_s},
                    u"у столбца ReportId таблицы TachoEvents неизвестное правило сравнения"_s},
                {u"SettingsDB.db"_s, true, QStringList {u"ALTER TABLE Settings DROP COLUMN Description"_s},
                    u"в таблице Settings нет столбца Description"_s}}) {
            const QString path = folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + name);
            bool known = true;
            QString error;
            QVERIFY(!ownLayout || tessaron::sync::createOwnDatabase(name, path, &known, &error));
            QVERIFY(SqliteProbe(path).executeAll(statements));
            // Sound settings and masters go first unless they are the row's.
            QList<std::pair<QString, QByteArray>> entries;
            for (const auto &[sound, file] : {std::pair {u"SettingsDB.db"_s, settings}, {u"MasterDB.db"_s, master}}) {
                if (name != sound)
                    entries.append({u"db/"_s + sound, fileBytes(file)});
            }
            entries += {{u"db/"_s + name, fileBytes(path)}, {u"files/DATA/ok.ddd"_s, QByteArray("ok")}};
            QByteArray bytes = packageHeader(qint32(entries.size()));
            for (const auto &[entry, content] : std::as_const(entries))
                bytes += packageFields(entry, content);
            QTest::addRow("%s: %s", qPrintable(name), qPrintable(reason))
                << bytes << QString() << u"Пакет не импортирован: база %1 не прошла проверку: %2"_s.arg(name, reason);
        }
        // A real hot journal beside the masters this installation has, taken in the middle of a transaction, its
        // super-journal record naming a file outside every installation, which SQLite deletes once it has rolled
        // the journal back; a legacy report file in WAL mode with a report in its WAL. Neither companion is staged
        // or read: nothing comes of either and the file outside stays, whether the package is taken or refused.
        const QString ownMasters = folder.filePath(u"own-masters.db"_s);
        const QString hot = folder.filePath(u"hot.db"_s);
        QVERIFY(tessaron::storage::MasterRepository(ownMasters).addMaster(u"Петров"_s) > 0);
        QVERIFY(SqliteProbe(ownMasters)
                    .copyMidway({u"PRAGMA synchronous = OFF"_s, u"BEGIN"_s, u"DELETE FROM Masters"_s}, hot));
        QVERIFY(tessaron::test::nameSuperJournal(hot + u"-journal"_s, m_elsewhere.filePath(u"super-journal"_s)));
        const QByteArray journalled = packageFields(
            u"db/MasterDB.db"_s, fileBytes(hot), u"db/MasterDB.db-journal"_s, fileBytes(hot + u"-journal"_s));
        const QString reports = folder.filePath(u"reports.db"_s);
        const QString wal = folder.filePath(u"wal.db"_s);
        QVERIFY(tessaron::ddd::DddRepository(reports).isOpen());
        QVERIFY(SqliteProbe(reports).copyMidway(
            {u"PRAGMA journal_mode = WAL"_s, u"PRAGMA wal_autocheckpoint = 0"_s, reportRow}, wal));
        QVERIFY(!fileBytes(wal + u"-wal"_s).isEmpty());
        QTest::addRow("hot journal beside MasterDB.db, WAL beside driver_cards.db")
            << packageHeader(4) + journalled
                + packageFields(
                    u"db/driver_cards.db"_s, fileBytes(wal), u"db/driver_cards.db-wal"_s, fileBytes(wal + u"-wal"_s))
            << QString() << u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s;
        QTest::addRow("hot journal beside MasterDB.db, damaged CustomersDB.db")
            << packageHeader(3) + journalled + packageFields(u"db/CustomersDB.db"_s, QByteArray(4096, 'x')) << QString()
            << u"Пакет не импортирован: база CustomersDB.db не прошла проверку"_s;
    }

    // Nothing changes anywhere: not the installation with its links, not the canary outside it; no backup is made
    // (a package accepted with every entry left out makes only its backup; one whose bad path is a condition of this
    // installation's, its backup and the sound file). A bad path follows a sound entry, so that nothing may be written
    // before the check; CANARY names the canary.
    void hostilePackagesChangeNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, path);
        QFETCH(QString, message);
        makeInstallation(u"B"_s, u"Петров"_s);
        const QString canary = m_paths->filePath(u"canary"_s);
        const QString outside = m_paths->filePath(u"outside"_s);
        QVERIFY(writeFile(canary, "canary") && writeFile(outside + u"/kept.txt"_s, "kept"));
        QVERIFY(writeFile(dataFile(u"XML/cert.xml"_s), "xml"));
        QVERIFY(writeFile(dataFile(u"XML/checksums.txt"_s), "c0|zero.xml\nc1|one.xml\n"));
        // Links in the data folders: a folder and a file outside, a file inside its folder, a folder leading
        // nowhere, a folder into another area.
        for (const auto &[link, target] : {std::pair {u"Documents/out"_s, outside}, {u"Documents/canary.txt"_s, canary},
                 {u"Documents/act.pdf"_s, dataFile(u"Documents/B/act.pdf"_s)},
                 {u"Documents/gone"_s, outside + u"/missing"_s}, {u"XML/docs"_s, dataFile(u"Documents"_s)}})
            QVERIFY(QFile::link(target, dataFile(link)));
        if (!path.isNull()) {
            bytes = packageHeader(2)
                + packageFields(u"files/DATA/ok.ddd"_s, QByteArray("ok"), path.replace(u"CANARY"_s, canary.mid(1)),
                    QByteArray("evil"));
            if (message.contains(u"%1"_s)) // a long path is shown shortened in its middle
                message = message.arg(path.size() > 200 ? path.left(100) + u'…' + path.right(50) : path);
        }
        message.replace(u"<data>"_s, AppPaths::data());
        QVERIFY(writeFile(m_elsewhere.filePath(u"super-journal"_s), "kept"));
        const auto elsewhere = tessaron::test::fileTree(m_elsewhere.path());
        const auto before = tessaron::test::fileTree(m_paths->path());
        const SyncResult result = importBytes(bytes);
        QCOMPARE(result.message, message);
        auto after = tessaron::test::fileTree(m_paths->path());
        after.remove(u"incoming.tspak"_s);
        const QDir base(m_paths->path());
        const QString sound = AppPaths::downloadDirectory() + u"/ok.ddd"_s;
        QCOMPARE(fileBytes(sound), result.message.contains(u"Не записаны"_s) ? "ok" : "");
        QStringList databases;
        for (const QString &name : Sync::databaseNames())
            databases.append(base.relativeFilePath(Sync::databasePath(name)));
        after.removeIf(
            [&](const auto &entry) { // an accepted package's backup, staging folder, new databases, sound file
                return result.success && !before.contains(entry.key())
                    && (entry.key().startsWith(base.relativeFilePath(AppPaths::backupDirectory()) + u"/Sync_"_s)
                        || entry.key() == base.relativeFilePath(Sync::syncDirectory())
                        || databases.contains(entry.key()) || entry.key() == base.relativeFilePath(sound));
            });
        QCOMPARE(after, before);
        QCOMPARE(tessaron::test::fileTree(m_elsewhere.path()), elsewhere);
        const QString calibrations
            = tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::Calibrations);
        if (QFileInfo::exists(calibrations)) // only our table, with both rows
            QCOMPARE(SqliteProbe(calibrations)
                         .rows(u"SELECT name, (SELECT count(*) FROM Calibrations) FROM sqlite_master "
                               "WHERE type IN ('trigger', 'view') OR name IN ('Extra', 'Calibrations')"_s),
                (QList<QVariantList> {{u"Calibrations"_s, 2}}));
    }

    // An import whose check cannot be prepared, because the temporary folder where the program lays out its own tables
    // cannot be made (here it is a file), is refused as the program's failure, naming that folder, before any change;
    // the log says why. Checked in a process of its own, which has made no layout yet.
    void uncheckableImportBlamesTheProgram()
    {
        makeInstallation(u"A"_s, u"Иванов"_s);
        const QString package = Sync::exportPackage().packagePath;
        makeInstallation(u"B"_s, u"Петров"_s);
        const QString notFolder = m_paths->filePath(u"temporary"_s);
        QVERIFY(writeFile(notFolder, "a file"));
        const auto before = tessaron::test::fileTree(m_paths->filePath(u"B"_s));
        QProcess import;
        startImport(
            &import, package, {{u"TESSARON_TEST_LOG"_s, m_paths->filePath(u"log"_s)}, {u"TMPDIR"_s, notFolder}});
        QVERIFY(import.waitForFinished(120000));
        QCOMPARE(import.exitCode(), 1);
        const QString shown = QDir::toNativeSeparators(QFileInfo(notFolder).canonicalFilePath());
        QCOMPARE(QString::fromUtf8(import.readAllStandardOutput()),
            u"Пакет не импортирован: программа не смогла подготовить проверку базы MasterDB.db: не удалось создать "
            u"образец её таблиц во временной папке %1."_s.arg(shown));
        const QString log = QString::fromUtf8(fileBytes(m_paths->filePath(u"log/tessaron.log"_s)));
        QVERIFY2(log.contains(u"не удалось создать временную папку в %1: "_s.arg(shown)), qPrintable(log));
        QCOMPARE(tessaron::test::fileTree(m_paths->filePath(u"B"_s)), before);
    }

    // Real downloads split between two installations, one of them saved twice as two downloads whose report rows
    // are equal in every column: after an exchange both ways each side holds every report, each table of each with
    // the rows its source had, as often as it had them; a repeated import adds nothing.
    void reportsSurviveAnExchange()
    {
        const QStringList samples = tessaron::test::sampleNames();
        QStringList expected;
        for (const QString &name : {u"A"_s, u"B"_s}) {
            makeInstallation(name, name);
            {
                tessaron::ddd::DddRepository repository(legacyDatabase());
                for (qsizetype i = name == u"B"_s; i < samples.size(); i += 2) { // B: vu-gen1-anon, A: card-gen1-a
                    TESSARON_REQUIRE_SAMPLE(file, samples.at(i) + u".ddd"_s);
                    tessaron::ddd::DddReport report = tessaron::ddd::Decoder::decodeFile(file);
                    QVERIFY(repository.save(report) > 0);
                    if (samples.at(i) == u"vu-gen1-anon"_s) { // again, as another download
                        report.sourceFingerprint = QString(64, u'0');
                        QCOMPARE(repository.save(report), 2);
                    }
                }
            }
            const QString sameDate
                = u"UPDATE TachographReports SET ReportDate = (SELECT min(ReportDate) FROM TachographReports)"_s;
            QVERIFY(SqliteProbe(legacyDatabase()).execute(sameDate));
            expected += reportRows(legacyDatabase());
        }
        expected.sort();
        QVERIFY(!expected.filter(u"TachoEvents|"_s).isEmpty() && !expected.filter(u"Vehicles|"_s).isEmpty());
        const QString fromB = Sync::exportPackage().packagePath;
        m_paths->useInstallation(u"A"_s);
        QVERIFY(Sync::importPackage(fromB).success);
        const QString fromA = Sync::exportPackage().packagePath;
        m_paths->useInstallation(u"B"_s);
        QVERIFY(Sync::importPackage(fromA).success);
        for (const QString &name : {u"B"_s, u"A"_s}) {
            m_paths->useInstallation(name);
            QCOMPARE(reportRows(legacyDatabase()), expected);
            QCOMPARE(Sync::importPackage(name == u"A"_s ? fromB : fromA).message,
                u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s);
        }
    }

    // A local data file that the package replaces is kept in the import's backup beside the databases, as it was
    // before the import; a file the package holds unchanged is not copied.
    void replacedFilesAreKeptInTheBackup()
    {
        makeInstallation(u"B"_s, u"Петров"_s);
        const QString act = u"files/Documents/sub/акт.txt"_s;
        QVERIFY(writeFile(dataFile(act.mid(6)), "правка техника"));
        const SyncResult result = importBytes(packageHeader(2)
            + packageFields(act, QByteArray("старее"), u"files/Documents/B/act.pdf"_s, QByteArray("B")));
        QCOMPARE(result.message, u"Синхронизация завершена. Добавлено записей: 0, файлов: 1."_s);
        QCOMPARE(fileBytes(dataFile(act.mid(6))), "старее");
        const QString backup
            = AppPaths::backupDirectory() + u'/' + folders(AppPaths::backupDirectory(), u"Sync_*"_s).value(0);
        QCOMPARE(tessaron::test::fileTree(backup).keys(),
            QStringList(
                {u"db"_s, u"db/MasterDB.db"_s, u"files"_s, u"files/Documents"_s, u"files/Documents/sub"_s, act}));
        QCOMPARE(fileBytes(backup + u'/' + act), "правка техника");
    }

    // A data file or a merged ledger that does not reach the disk whole (here at the file size limit of the
    // importing process, as on a full disk) ends the import, named with why, and the local file stays as it was
    // with nothing beside it; a local ledger that ends inside a line keeps that line apart from the next.
    void importOnAFullDisk_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("local");
        QTest::addColumn<QByteArray>("incoming");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QByteArray>("after");
        const qint64 limit = 256 * 1024;
        const QString document = u"files/Documents/B/large.pdf"_s;
        QTest::addRow("a document over the limit")
            << document << QByteArray("earlier") << largeDocument() << limit << QByteArray("earlier");
        const QString ledger = u"files/XML/checksums.txt"_s;
        const QByteArray local = ledgerLines(0, 11000);
        QTest::addRow("a ledger merged past the limit")
            << ledger << local << ledgerLines(11000, 8000) << limit << local;
        QTest::addRow("a ledger ending inside a line")
            << ledger << QByteArray("c0|zero.xml\nc1|on") << QByteArray("c2|two.xml\n") << qint64(0)
            << QByteArray("c0|zero.xml\nc1|on\nc2|two.xml\n");
    }

    void importOnAFullDisk()
    {
        QFETCH(QString, entry);
        QFETCH(QByteArray, local);
        QFETCH(QByteArray, incoming);
        QFETCH(qint64, limit);
        QFETCH(QByteArray, after);
        makeInstallation(u"B"_s, u"Петров"_s);
        const QString target = dataFile(entry.mid(6));
        QVERIFY(writeFile(target, local));
        const QString package = m_paths->filePath(u"incoming.tspak"_s);
        QVERIFY(writeFile(package, packageHeader(1) + packageFields(entry, incoming)));

        const QDir folder = QFileInfo(target).dir();
        const QStringList files = folder.entryList(QDir::Files | QDir::Hidden);
        QProcess import;
        startImport(&import, package, {{u"TESSARON_TEST_FILE_SIZE_LIMIT"_s, QString::number(limit)}});
        QVERIFY(import.waitForFinished(120000));
        const QString message = QString::fromUtf8(import.readAllStandardOutput());
        QCOMPARE(fileBytes(target), after);
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), files);
        if (limit == 0) {
            QCOMPARE(message, u"Синхронизация завершена. Добавлено записей: 0, файлов: 1."_s);
            return;
        }
        QCOMPARE(import.exitCode(), 1);
        QCOMPARE(message, u"Не удалось записать файл: %1 (ошибка записи)"_s.arg(target));
    }

    void importOnADiskWithLittleRoom_data()
    {
        QTest::addColumn<qint64>("room");
        QTest::addColumn<bool>("hasMasters");
        for (const bool hasMasters : {true, false}) {
            for (const qint64 room : tessaron::test::roomsToTry(importRoom))
                QTest::addRow("%s, %s", hasMasters ? "masters kept" : "no databases yet",
                    tessaron::test::roomName(room, importRoom).constData())
                    << room << hasMasters;
        }
    }

    // An installation on a disk with any room left takes a sound package whole, or ends the import saying the disk
    // is full, never blaming the package, its databases as they were or merged, and nothing of the import left
    // behind. A package database smaller than the save file's buffer is written out only when it is closed. The
    // package's settings are made anew wherever they are merged; without the masters' database the installation
    // makes every database it takes.
    void importOnADiskWithLittleRoom()
    {
        QFETCH(qint64, room);
        QFETCH(bool, hasMasters);
        const tessaron::test::SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        makeInstallation(u"A"_s, u"Иванов"_s);
        QVERIFY(tessaron::storage::SettingsRepository().isOpen());
        const QString package = Sync::exportPackage(m_paths->filePath(u"incoming.tspak"_s)).packagePath;
        m_paths->useInstallationIn(disk.filePath(u"B"_s));
        fillInstallation(u"B"_s, u"Петров"_s);
        if (!hasMasters)
            QVERIFY(QFile::remove(tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::Masters)));
        disk.fill(room);

        QProcess import;
        startImport(&import, package);
        QVERIFY(import.waitForFinished(120000));
        const QString message = QString::fromUtf8(import.readAllStandardOutput());
        QVERIFY(QFile::remove(disk.filePath(u"filler"_s)));
        QVERIFY2(folders(Sync::syncDirectory(), u"incoming_*"_s).isEmpty(), qPrintable(message));
        const QString done = u"Синхронизация завершена. Добавлено записей: 1, файлов: 2."_s;
        const QStringList kept = hasMasters ? QStringList {u"Петров"_s} : QStringList();
        const QStringList merged = QStringList {u"Иванов"_s} + kept;
        if (room == importRoom)
            QCOMPARE(message, done);
        if (message == done) {
            QCOMPARE(masters(), merged);
            return;
        }
        QCOMPARE(import.exitCode(), 1);
        QVERIFY2(message.contains(u"(на диске нет места)"_s) || message.contains(u": на диске нет места"_s),
            qPrintable(message));
        QVERIFY2(!message.contains(u"пакет"_s, Qt::CaseInsensitive), qPrintable(message));
        QVERIFY(masters() == kept || masters() == merged);
    }

    // A package made here and brought back changes nothing: nothing is counted, no file is written again.
    void importingOwnPackageCountsNothing()
    {
        makeInstallation(u"A"_s, u"Иванов"_s);
        QVERIFY(tessaron::storage::SettingsRepository().setString(u"Workshop"_s, u"Name"_s, u"Тахосервис"_s));
        const QString document = dataFile(u"Documents/A/act.pdf"_s);
        const QDateTime old = QDateTime::fromSecsSinceEpoch(1'600'000'000);
        QFile file(document);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(old, QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(Sync::importPackage(Sync::exportPackage().packagePath).message,
            u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s);
        QCOMPARE(QFileInfo(document).lastModified(), old);
    }

    // A configuration that arrived from the phone with a blank is stored so; the same package imports again, and the
    // configuration goes from A to B and back without a second copy anywhere.
    void configurationWithBlankTravelsBothWays()
    {
        makeInstallation(u"A"_s, u"Иванов"_s);
        QVERIFY(tessaron::storage::VehicleConfigurationRepository().isOpen());
        QVERIFY(SqliteProbe(AppPaths::database(tessaron::storage::VehicleConfigurationRepository::fileName))
                    .execute(u"INSERT INTO VehicleConfigurations (Manufacturer, Model, ParametersJson) "
                             "VALUES ('КАМАЗ ', '5490', '{}')"_s));
        const QString fromA = Sync::exportPackage().packagePath;
        makeInstallation(u"B"_s, u"Петров"_s);
        QVERIFY(tessaron::storage::VehicleConfigurationRepository().saveConfiguration(u"MAN"_s, u"TGX"_s, u"{}"_s));
        const QString done = u"Синхронизация завершена. Добавлено записей: %1, файлов: %2."_s;
        QCOMPARE(Sync::importPackage(fromA).message, done.arg(2).arg(2));
        QCOMPARE(Sync::importPackage(fromA).message, done.arg(0).arg(0));
        const QString fromB = Sync::exportPackage().packagePath;
        m_paths->useInstallation(u"A"_s);
        QCOMPARE(Sync::importPackage(fromB).message, done.arg(2).arg(2));
        QCOMPARE(configurations(), QStringList({u"КАМАЗ |5490"_s, u"MAN|TGX"_s}));
        const QString again = Sync::exportPackage().packagePath;
        m_paths->useInstallation(u"B"_s);
        QCOMPARE(Sync::importPackage(again).message, done.arg(0).arg(0));
        QCOMPARE(configurations(), QStringList({u"MAN|TGX"_s, u"КАМАЗ |5490"_s}));
    }

    // Documents whose names the other side would refuse stay out of the package and are named, as do a named pipe,
    // links to a device, to a folder outside and to a folder that holds them, and paths longer than Windows holds; the
    // export ends. The package, with the other files, a link to a file read as that file, and the longest path there is
    // room for, imports.
    void exportLeavesOutRefusedNames()
    {
        makeInstallation(u"A"_s, u"Иванов"_s);
        const qsizetype room = 252 - dataFile(u"Documents/"_s).size();
        const QString longest = u"files/Documents/"_s + QString(room - 4, u'a') + u".pdf"_s;
        const QString tooLong = u"files/Documents/"_s + QString(room - 3, u'b') + u".pdf"_s;
        const QString deep = u"files/Documents/"_s + QString(room - 6, u'c'); // its folder "d" is too long
        for (const QString &name : QStringList {u"Акт №5 от 01.12..pdf"_s, u"CON.pdf"_s, u"F"_s, u"f/g.pdf"_s,
                 longest.mid(16), tooLong.mid(16), deep.mid(16) + u"/d/x.pdf"_s})
            QVERIFY(writeFile(dataFile(u"Documents/"_s + name)));
        QVERIFY(writeFile(m_paths->filePath(u"outside/file.pdf"_s), "outside"));
        QCOMPARE(mkfifo(QFile::encodeName(dataFile(u"Documents/pipe"_s)).constData(), 0600), 0);
        QVERIFY(QFile::link(u"/dev/zero"_s, AppPaths::downloadDirectory() + u"/zero"_s));
        QVERIFY(QFile::link(m_paths->filePath(u"outside/file.pdf"_s), dataFile(u"Documents/link.pdf"_s)));
        QVERIFY(QFile::link(m_paths->filePath(u"outside"_s), dataFile(u"Documents/out"_s)));
        for (const auto &[target, link] : {std::pair {".", u"Documents/loop"_s}, {"..", u"Documents/A/up"_s}})
            QCOMPARE(::symlink(target, QFile::encodeName(dataFile(link)).constData()), 0);
        const SyncResult exported = Sync::exportPackage();
        const QString notFile = u"не обычный файл: канал, сокет или устройство"_s;
        const auto shown = [](const QString &path) { // shortened in its middle, as messages show a long path
            return path.size() > 200 ? path.left(100) + u'…' + path.right(50) : path;
        };
        const QString windows = u"вместе с папкой данных путь длиннее, чем допускает Windows"_s;
        QCOMPARE(exported.message,
            u"Пакет создан: %1. Не вошли в пакет: «files/DATA/zero» (%2), «%3» (%4), «files/Documents/pipe» (%2), "
            u"«files/Documents/A/up» (%6), «%5» (%4), «files/Documents/loop» (%6), «files/Documents/out» (ссылка на "
            u"папку вне папки данных), «files/Documents/CON.pdf» (имя устройства Windows, как CON, NUL, COM1 или "
            u"LPT1), «files/Documents/Акт №5 от 01.12..pdf» (две точки подряд), «files/Documents/f/g.pdf» (то же имя у "
            u"файла и у папки)."_s.arg(exported.packagePath, notFile, shown(tooLong), windows, shown(deep + u"/d"_s),
                u"ссылка по кругу: ведёт в папку, в которой лежит сама"_s));
        QCOMPARE(packageEntryPaths(exported.packagePath),
            QStringList({u"db/MasterDB.db"_s, u"files/DATA/A.ddd"_s, u"files/Documents/F"_s, longest,
                u"files/Documents/link.pdf"_s, u"files/Documents/A/act.pdf"_s}));
        QCOMPARE(exported.fileCount, 6);
        makeInstallation(u"B"_s, u"Петров"_s);
        QCOMPARE(Sync::importPackage(exported.packagePath).message,
            u"Синхронизация завершена. Добавлено записей: 1, файлов: 5."_s);
        QCOMPARE(fileBytes(dataFile(u"Documents/link.pdf"_s)), "outside");
    }

    void exportNamesUnreadableFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        const QString denied = u"нет прав на чтение, или файл занят другой программой"_s;
        QTest::addRow("no read permission") << u"permission"_s << denied;
        // The kernel applies a setting's mode to root too: this one may be written, never read.
        QTest::addRow("a file nobody may read, root neither") << u"/proc/sys/vm/drop_caches"_s << denied;
        // Opened, then every read fails: the process's memory at address 0.
        QTest::addRow("a file whose reading fails") << u"/proc/self/mem"_s << u"ошибка при чтении файла"_s;
    }

    // A document the program may not read is left out of the package and named with its reason; the export ends and
    // takes everything else.
    void exportNamesUnreadableFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        makeInstallation(u"A"_s, u"Иванов"_s);
        const QString document = dataFile(u"Documents/A/скан.pdf"_s);
        if (kind == u"permission"_s) {
            if (::geteuid() == 0)
                QSKIP("file permissions do not stop root; the next rows read files that stop root too");
            QVERIFY(writeFile(document, "скан") && QFile::setPermissions(document, {}));
        } else {
            if (!QFileInfo(kind).isFile())
                QSKIP(qPrintable(kind + u" is missing here"_s));
            QVERIFY(QFile::link(kind, document));
        }
        const SyncResult exported = Sync::exportPackage();
        QCOMPARE(exported.message,
            u"Пакет создан: %1. Не вошли в пакет: «files/Documents/A/скан.pdf» (%2)."_s.arg(
                exported.packagePath, reason));
        QCOMPARE(named(exported.leftOut), QStringList({u"files/Documents/A/скан.pdf ("_s + reason + u')'}));
        QCOMPARE(packageEntryPaths(exported.packagePath),
            QStringList({u"db/MasterDB.db"_s, u"files/DATA/A.ddd"_s, u"files/Documents/A/act.pdf"_s}));
    }

    void everyLeftOutFileIsLogged_data()
    {
        QTest::addColumn<bool>("importing");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("logging");
        QTest::addColumn<QString>("more");
        QTest::addColumn<int>("pathLength");
        QTest::addRow("an export leaving out 300 files")
            << false << 300 << true << u"и ещё 290 (весь список — в журнале работы программы)"_s << 0;
        QTest::addRow("an export leaving out 11 files of paths near 200 characters")
            << false << 11 << true << u"и ещё 1 (весь список — в журнале работы программы)"_s << 205;
        QTest::addRow("an export leaving out 11 files")
            << false << 11 << true << u"и ещё 1 (весь список — в журнале работы программы)"_s << 0;
        QTest::addRow("an export leaving out 10 files, all of them named") << false << 10 << true << QString() << 0;
        QTest::addRow("an export leaving out 300 files, the log switched off")
            << false << 300 << false
            << u"и ещё 290 (весь список записывается в журнал работы программы, когда журнал включён)"_s << 0;
        QTest::addRow("an import leaving 300 files unwritten")
            << true << 300 << true << u"и ещё 290 (весь список — в журнале работы программы)"_s << 0;
    }

    // A message names ten of the files an export leaves out or an import leaves unwritten and says where the others
    // are: the log names each, whole, with its reason, one record a file, also where the message shortens a long
    // path.
    void everyLeftOutFileIsLogged()
    {
        QFETCH(bool, importing);
        QFETCH(int, count);
        QFETCH(bool, logging);
        QFETCH(QString, more);
        QFETCH(int, pathLength);
        const tessaron::test::LogCapture log;
        const auto restore = qScopeGuard([] { tessaron::logging::ApplicationLogger::setEnabled(true); });
        tessaron::logging::ApplicationLogger::setEnabled(logging);
        makeInstallation(u"A"_s, u"Иванов"_s);
        QStringList expected;
        for (int i = 1; i <= count; ++i) {
            // Alternately two reasons the export refuses a name for, or, on the import's side, a plain name.
            QString name = importing ? u"Акт выполненных работ №%1.pdf"_s.arg(i)
                                     : u"Акт выполненных работ №%1%2"_s.arg(i).arg(i % 2 ? u"..pdf"_s : u".pdf."_s);
            // Made as long as asked by letters before the number.
            const qsizetype padding = std::max<qsizetype>(0, pathLength - 18 - name.size());
            name.insert(name.indexOf(u'№'), QString(padding, u'x'));
            QVERIFY(writeFile(dataFile(u"Documents/A/"_s + name), "act"));
            const QString reason = importing ? u"на его месте лежит папка"_s
                : EntryNameCheck::isLocalPathTooLong(dataFile(u"Documents/A/"_s + name), false)
                ? u"вместе с папкой данных путь длиннее, чем допускает Windows"_s
                : i % 2 ? u"две точки подряд"_s
                        : u"имя оканчивается точкой или пробелом"_s;
            expected.append(u"«files/Documents/A/%1» (%2)"_s.arg(name, reason));
        }
        SyncResult result = Sync::exportPackage();
        QVERIFY2(result.success, qPrintable(result.message));
        QString sentence = u"Не вошёл в пакет "_s + result.packagePath;
        if (importing) {
            const QString package = result.packagePath;
            makeInstallation(u"B"_s, u"Петров"_s);
            for (int i = 1; i <= count; ++i)
                QVERIFY(QDir().mkpath(dataFile(u"Documents/A/Акт выполненных работ №%1.pdf/kept"_s.arg(i))));
            result = Sync::importPackage(package);
            QVERIFY2(result.success, qPrintable(result.message));
            sentence = u"Не записан из пакета "_s + package;
        }
        QCOMPARE(result.leftOut.size(), count);
        expected.sort();
        QStringList logged;
        for (const QVariantMap &record : tessaron::test::logRecords(u"sync"_s)) {
            if (record.value(u"operation"_s) == (importing ? u"import-unwritten"_s : u"export-left-out"_s)) {
                QCOMPARE(record.value(u"level"_s), u"warning"_s);
                QVERIFY2(record.value(u"message"_s).toString().startsWith(sentence + u": «"_s),
                    qPrintable(record.value(u"message"_s).toString()));
                logged.append(record.value(u"message"_s).toString().mid(sentence.size() + 2));
            }
        }
        logged.sort();
        QCOMPARE(logged, logging ? expected : QStringList());
        QCOMPARE(result.message.count(u"«files/"_s), std::min(count, 10));
        QCOMPARE(result.message.count(u'…'), pathLength > 200 ? 10 : 0);
        QVERIFY2(
            result.message.endsWith(more.isEmpty() ? u")."_s : u"), "_s + more + u'.'), qPrintable(result.message));
    }

    void abandonedStagingIsRemoved_data()
    {
        QTest::addColumn<bool>("building");
        QTest::addRow("killed while backing the databases up") << false;
        QTest::addRow("killed while building driver_cards.db") << true;
    }

    // The next import removes what no running import holds: the staging folder of an import killed in the middle (a
    // real process, held inside its backup by a database another process holds, then killed there or, let on, while it
    // makes the report database this installation lacks, with that database and its journal beside the data), one
    // an older program left without a lock, and a database build without a lock. A staging folder and a database
    // build whose import's lock a running process holds stay, however old the lock.
    void abandonedStagingIsRemoved()
    {
        QFETCH(bool, building);
        makeInstallation(u"A"_s, u"Иванов"_s);
        QVERIFY(tessaron::ddd::DddRepository(legacyDatabase())
                    .save(tessaron::ddd::Decoder::decode(tessaron::test::VuFileBuilder::typicalDownload(30, 1440)))
            > 0);
        const QString package = Sync::exportPackage().packagePath;
        makeInstallation(u"B"_s, u"Петров"_s);
        const QString customers = AppPaths::database(u"CustomersDB.db"_s);
        QVERIFY(SqliteProbe(customers).execute(u"CREATE TABLE Customers(Id INTEGER PRIMARY KEY)"_s));
        HeldUpdate holder(customers, {u"BEGIN EXCLUSIVE"_s});
        QVERIFY2(holder.isHeld(), qPrintable(holder.output()));
        QProcess import;
        startImport(&import, package);
        // The backup's folder is made before its first database is copied, and the held one keeps it waiting.
        QTRY_VERIFY_WITH_TIMEOUT(
            !folders(AppPaths::backupDirectory(), u"Sync_*"_s).isEmpty() || import.state() == QProcess::NotRunning,
            120000);
        QVERIFY2(import.state() != QProcess::NotRunning, import.readAllStandardOutput().constData());
        const QString staging = Sync::syncDirectory() + u"/incoming_"_s;
        const QString killedBuild
            = legacyDatabase() + u'.' + folders(Sync::syncDirectory(), u"incoming_*"_s).value(0).mid(9) + u".new"_s;
        if (building) {
            // The held database is let go, the backup ends; stopped while the database it makes and its journal are
            // both there.
            holder.end();
            bool caught = false;
            while (!caught && !import.waitForFinished(0)) {
                if (!QFileInfo::exists(killedBuild + u"-journal"_s))
                    continue;
                ::kill(pid_t(import.processId()), SIGSTOP);
                caught = QFileInfo::exists(killedBuild) && QFileInfo::exists(killedBuild + u"-journal"_s);
                if (!caught)
                    ::kill(pid_t(import.processId()), SIGCONT);
            }
            QVERIFY2(caught, import.readAllStandardOutput().constData());
        }
        import.kill();
        QVERIFY(import.waitForFinished());
        holder.end();
        const QStringList killed = QDir(Sync::syncDirectory()).entryList({u"incoming_*"_s}, QDir::AllEntries);
        QCOMPARE(killed.size(), 2); // the folder with the staged databases, and its lock
        QCOMPARE(QFileInfo::exists(killedBuild), building);
        const QString held = QUuid::createUuid().toString(QUuid::WithoutBraces);
        const QString unheld = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QVERIFY(writeFile(staging + held + u"/MasterDB.db"_s, "staged"));
        QVERIFY(writeFile(staging + unheld + u"/MasterDB.db"_s, "old"));
        for (const QString &id : {held, unheld}) {
            for (const QString &suffix : {u".new"_s, u".new-journal"_s})
                QVERIFY(writeFile(legacyDatabase() + u'.' + id + suffix, "half"));
        }
        QLockFile running(staging + held + u".lock"_s);
        QFile lock(staging + held + u".lock"_s);
        QVERIFY(running.tryLock(0) && lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        const SyncResult result = Sync::importPackage(package);
        QVERIFY2(result.success, qPrintable(result.message));
        QCOMPARE(QDir(Sync::syncDirectory()).entryList({u"incoming_*"_s}, QDir::AllEntries),
            QStringList({u"incoming_"_s + held, u"incoming_"_s + held + u".lock"_s}));
        const QString legacyName = QFileInfo(legacyDatabase()).fileName();
        QCOMPARE(QDir(AppPaths::runtimeDataDirectory()).entryList({legacyName + u'*'}, QDir::AllEntries, QDir::Name),
            QStringList(
                {legacyName, legacyName + u'.' + held + u".new"_s, legacyName + u'.' + held + u".new-journal"_s}));
    }

    // Exports and an import's backups taken while another process writes the installation's databases as the program
    // does (it saves a download and removes the one before, adds a master): every database of every export told as
    // made, and of every backup left, is whole to SQLite's integrity check; an export or an import that could not take
    // a database says why.
    void copiesWhileAnotherProcessWrites()
    {
        makeInstallation(u"A"_s, u"Иванов"_s);
        QVERIFY(tessaron::ddd::DddRepository(legacyDatabase()).save(downloadToWrite()) > 0);
        const QString empty = m_paths->filePath(u"empty.tspak"_s);
        QVERIFY(writeFile(empty, packageHeader(0)));
        QProcess writer;
        startAgain(&writer, {{u"TESSARON_TEST_WRITE_MS"_s, u"3000"_s}});
        QVERIFY(writer.waitForReadyRead(120000)); // a line once it writes
        const auto isWhole = [this](const QByteArray &content) {
            const QString copy = m_paths->filePath(u"taken.db"_s);
            return writeFile(copy, content)
                && SqliteProbe(copy).scalar(u"PRAGMA integrity_check"_s).toString() == u"ok"_s && QFile::remove(copy);
        };
        const QString busy = u"её держит другая программа дольше 5 с"_s;
        int exports = 0;
        int imports = 0;
        while (writer.state() != QProcess::NotRunning) {
            const SyncResult exported = Sync::exportPackage();
            QVERIFY2(exported.success || exported.message.contains(busy), qPrintable(exported.message));
            for (const auto &[path, content] : packageEntries(exported.packagePath))
                QVERIFY2(!path.startsWith(u"db/"_s) || isWhole(content), qPrintable(path));
            exports += exported.success && QFile::remove(exported.packagePath);
            const SyncResult imported = Sync::importPackage(empty);
            QVERIFY2(imported.success || imported.message.contains(busy), qPrintable(imported.message));
            imports += imported.success;
            writer.waitForFinished(0);
        }
        const QString written = QString::fromUtf8(writer.readAll());
        QVERIFY2(writer.exitCode() == 0 && written.section(u'\n', 1).toInt() > 1, qPrintable(written));
        const QStringList backups = folders(AppPaths::backupDirectory(), u"Sync_*"_s);
        QVERIFY(exports > 0 && imports > 0);
        QCOMPARE(backups.size(), imports);
        for (const QString &backup : backups) {
            const QDir databases(AppPaths::backupDirectory() + u'/' + backup + u"/db"_s);
            QCOMPARE(
                databases.entryList(QDir::Files, QDir::Name), QStringList({u"MasterDB.db"_s, u"driver_cards.db"_s}));
            for (const QString &name : databases.entryList(QDir::Files))
                QVERIFY2(isWhole(fileBytes(databases.filePath(name))), qPrintable(backup + u'/' + name));
        }
    }

    // A failing merge keeps the merges before it and the backup; a file that cannot be written is named.
    void failuresAfterTheBackup()
    {
        const QString table = u"CREATE TABLE Customers(Id INTEGER PRIMARY KEY, CustomerName TEXT NOT NULL)"_s;
        makeInstallation(u"A"_s, u"Иванов"_s);
        const SqliteProbe incoming(AppPaths::database(u"CustomersDB.db"_s));
        QVERIFY(
            incoming.execute(table) && incoming.execute(u"INSERT INTO Customers(CustomerName) VALUES('Ромашка')"_s));
        const QString package = Sync::exportPackage().packagePath;

        makeInstallation(u"B"_s, u"Петров"_s);
        const SqliteProbe customers(AppPaths::database(u"CustomersDB.db"_s));
        QVERIFY(customers.execute(table));
        QVERIFY(
            customers.execute(u"CREATE TRIGGER t BEFORE INSERT ON Customers BEGIN SELECT RAISE(ABORT, 'no'); END"_s));
        const SyncResult result = Sync::importPackage(package);
        QVERIFY2(result.message.startsWith(u"Ошибка объединения CustomersDB.db: Не удалось добавить запись в базу"_s),
            qPrintable(result.message));
        QCOMPARE(masters(), QStringList({u"Иванов"_s, u"Петров"_s}));
        QCOMPARE(folders(AppPaths::backupDirectory(), u"Sync_*"_s).size(), 1);
        QVERIFY(folders(Sync::syncDirectory(), u"incoming_*"_s).isEmpty());
    }

    void localPlacesLeaveOneFileOut_data()
    {
        QTest::addColumn<QString>("receiver");
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("reason");
        const QString document = u"files/Documents/A/act.pdf"_s;
        QTest::addRow("a link where the document goes")
            << u"B"_s << u"link"_s << document << u"на его месте лежит ссылка"_s;
        QTest::addRow("a link on the document's way, out of the data folder")
            << u"B"_s << u"folder link"_s << document << u"его путь идёт через ссылку за пределы папки данных"_s;
        QTest::addRow("a folder where the download goes")
            << u"B"_s << u"folder"_s << u"files/DATA/A.ddd"_s << u"на его месте лежит папка"_s;
        // The data folder holds the user's name on Windows: here it is 40 characters longer than at the sender.
        QTest::addRow("a data folder 40 characters longer")
            << u"B"_s + QString(40, u'b') << u"longer"_s << u"files/Documents/long/"_s
            << u"вместе с папкой данных путь длиннее, чем допускает Windows"_s;
    }

    // What the receiving installation holds where one file of the package goes leaves that one file unwritten and
    // named, the same each time the package comes; nothing is written through a link; the masters and every other
    // file are taken. The exchange goes on both ways.
    void localPlacesLeaveOneFileOut()
    {
        QFETCH(QString, receiver);
        QFETCH(QString, place);
        QFETCH(QString, entry);
        QFETCH(QString, reason);
        makeInstallation(u"A"_s, u"Иванов"_s);
        if (place == u"longer"_s) { // the longest document there is room for at the sender
            const QString folder = dataFile(u"Documents/long/"_s);
            entry += QString(252 - folder.size() - 4, u'l') + u".pdf"_s;
            QVERIFY(writeFile(folder + entry.section(u'/', -1), "long"));
        }
        const QString fromA = Sync::exportPackage().packagePath;
        QVERIFY(packageEntryPaths(fromA).contains(entry));

        makeInstallation(receiver, u"Петров"_s);
        const QString outside = m_paths->filePath(u"outside"_s);
        QVERIFY(writeFile(outside + u"/act.pdf"_s, "outside"));
        const QString local = dataFile(u"Documents/A"_s);
        if (place == u"link"_s)
            QVERIFY(QDir().mkpath(local) && QFile::link(outside + u"/act.pdf"_s, local + u"/act.pdf"_s));
        else if (place == u"folder link"_s)
            QVERIFY(QFile::link(outside, local));
        else if (place == u"folder"_s)
            QVERIFY(QDir().mkpath(AppPaths::downloadDirectory() + u"/A.ddd/kept"_s));
        // What lies in the file's place or on its way (none: the folder the long one would need), as the tree names
        // it; it stays as it was.
        const QMap<QString, QString> places {{u"link"_s, local + u"/act.pdf"_s}, {u"folder link"_s, local},
            {u"folder"_s, AppPaths::downloadDirectory() + u"/A.ddd"_s}, {u"longer"_s, dataFile(u"Documents/long"_s)}};
        const QString held = QDir(m_paths->filePath(receiver)).relativeFilePath(places.value(place));
        const auto installation = tessaron::test::fileTree(m_paths->filePath(receiver));
        const auto outsideBefore = tessaron::test::fileTree(outside);
        const int files = place == u"longer"_s ? 2 : 1;
        for (int run = 1; run <= 2; ++run) {
            const SyncResult imported = Sync::importPackage(fromA);
            QCOMPARE(imported.message,
                u"Синхронизация завершена. Добавлено записей: %1, файлов: %2. Не записаны: «%3» (%4)."_s
                    .arg(run == 1 ? 1 : 0)
                    .arg(run == 1 ? files : 0)
                    .arg(EntryNameCheck::displayed(entry), reason));
            QCOMPARE(named(imported.leftOut), QStringList({entry + u" ("_s + reason + u')'}));
        }
        QCOMPARE(masters(), QStringList({u"Иванов"_s, u"Петров"_s}));
        QCOMPARE(tessaron::test::fileTree(outside), outsideBefore);
        QCOMPARE(fileBytes(dataFile(u"Documents/A/act.pdf"_s)) + fileBytes(AppPaths::downloadDirectory() + u"/A.ddd"_s),
            place == u"folder"_s       ? "A"
                : place == u"longer"_s ? "AA"
                                       : "outsideA");
        QCOMPARE(tessaron::test::fileTree(m_paths->filePath(receiver)).value(held), installation.value(held));

        const QString fromB = Sync::exportPackage().packagePath;
        m_paths->useInstallation(u"A"_s);
        const SyncResult back = Sync::importPackage(fromB);
        QVERIFY2(back.success && back.leftOut.isEmpty(), qPrintable(back.message));
        QCOMPARE(masters(), QStringList({u"Иванов"_s, u"Петров"_s}));
    }

    // A folder reached again through a link is read once; a package database is never a data file.
    void linksAndSharedFolders()
    {
        makeInstallation(u"A"_s, u"Иванов"_s);
        QVERIFY(QFile::link(dataFile(u"Documents"_s), dataFile(u"Documents/A/loop"_s)));
        QVERIFY(QDir(AppPaths::runtimeDataDirectory()).removeRecursively());
        QVERIFY(QFile::link(AppPaths::downloadDirectory(), AppPaths::runtimeDataDirectory())); // "Data" is "DATA"
        QVERIFY(SqliteProbe(legacyDatabase()).execute(u"CREATE TABLE Legacy(x)"_s));
        QCOMPARE(packageEntryPaths(Sync::exportPackage().packagePath),
            QStringList(
                {u"db/MasterDB.db"_s, u"db/driver_cards.db"_s, u"files/DATA/A.ddd"_s, u"files/Documents/A/act.pdf"_s}));

        const QByteArray own = fileBytes(legacyDatabase());
        SyncResult imported
            = importBytes(packageHeader(1) + packageFields(u"files/DATA/driver_cards.db"_s, QByteArray("evil")));
        QCOMPARE(imported.message, u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s);
        QCOMPARE(fileBytes(legacyDatabase()), own);

        // Links that stay inside their folder are followed; a data folder kept elsewhere is written there.
        const QString elsewhere = m_paths->filePath(u"elsewhere/XML"_s);
        QVERIFY(QDir().mkpath(elsewhere) && QDir(dataFile(u"XML"_s)).removeRecursively());
        QVERIFY(QFile::link(elsewhere, dataFile(u"XML"_s)));
        imported = importBytes(packageHeader(2)
            + packageFields(u"files/Documents/A/loop/via-loop.pdf"_s, QByteArray("loop"), u"files/XML/moved.xml"_s,
                QByteArray("moved")));
        QCOMPARE(imported.message, u"Синхронизация завершена. Добавлено записей: 0, файлов: 2."_s);
        QCOMPARE(fileBytes(elsewhere + u"/moved.xml"_s), "moved");
    }
};

// Started again with TESSARON_TEST_IMPORT_PACKAGE set (LOCALAPPDATA and TESSARON_TEST_PROGRAM naming an
// installation), the program imports that package there and prints the message: an import the test can kill, or one
// in a process that has made nothing yet. With TESSARON_TEST_LOG it writes the application log into that folder;
// with TESSARON_TEST_FILE_SIZE_LIMIT (bytes) no file it writes grows past that size. With TESSARON_TEST_WRITE_MS set
// instead, it writes the installation's databases for that many milliseconds; started by a HeldUpdate, it holds an
// update of a database.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (const int code = HeldUpdate::runIfAsked(); code >= 0)
        return code;
    if (const int milliseconds = qEnvironmentVariableIntValue("TESSARON_TEST_WRITE_MS"); milliseconds > 0) {
        AppPaths::setProgramDirectoryForTesting(qEnvironmentVariable("TESSARON_TEST_PROGRAM"));
        return writeForAWhile(milliseconds);
    }
    if (const QString package = qEnvironmentVariable("TESSARON_TEST_IMPORT_PACKAGE"); !package.isEmpty()) {
        AppPaths::setProgramDirectoryForTesting(qEnvironmentVariable("TESSARON_TEST_PROGRAM"));
        // A write past the limit fails (EFBIG) instead of ending the process.
        if (const qint64 limit = qEnvironmentVariableIntValue("TESSARON_TEST_FILE_SIZE_LIMIT"); limit > 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit fileSize {rlim_t(limit), rlim_t(limit)};
            setrlimit(RLIMIT_FSIZE, &fileSize);
        }
        if (const QString log = qEnvironmentVariable("TESSARON_TEST_LOG"); !log.isEmpty())
            tessaron::logging::ApplicationLogger::initialize(log);
        const SyncResult result = Sync::importPackage(package);
        QTextStream(stdout) << result.message;
        return result.success ? 0 : 1;
    }
    TestSynchronizationManager test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_synchronization_manager.moc"
