#include "ddd/ddd_decoder.h"
#include "ddd/ddd_repository.h"
#include "storage/app_paths.h"
#include "storage/database_catalog.h"
#include "storage/master_repository.h"
#include "storage/settings_repository.h"
#include "support/sqlite_probe.h"
#include "support/sync_package_bytes.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "sync/synchronization_manager.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <algorithm>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using tessaron::storage::AppPaths;
using tessaron::sync::SyncResult;
using tessaron::test::fileBytes;
using tessaron::test::packageEntryPaths;
using tessaron::test::packageFields;
using tessaron::test::packageHeader;
using tessaron::test::SqliteProbe;
using tessaron::test::writeFile;
using Sync = tessaron::sync::SynchronizationManager;

namespace {

QString dataFile(const QString &relative)
{
    return AppPaths::data() + u'/' + relative;
}

QString legacyDatabase()
{
    return tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::DriverCards);
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

QStringList folders(const QString &parent, const QString &pattern)
{
    return QDir(parent).entryList({pattern}, QDir::Dirs, QDir::Name);
}

// Every report of a report file under its type and fingerprint, with the rows of each of its tables (header,
// typed child tables, generic rows, sections, meta) as texts without the row's key, report id and import time,
// sorted: two files compare as multisets.
QMap<QString, QStringList> reportContents(const QString &file)
{
    const SqliteProbe probe(file);
    QStringList tables;
    for (const QVariantList &table : probe.rows(u"SELECT name FROM sqlite_master WHERE type = 'table'"_s)) {
        if (probe.columns(table.value(0).toString()).contains(u"ReportId"_s))
            tables.append(table.value(0).toString());
    }
    QMap<QString, QStringList> reports;
    for (const auto &[header, type] : {std::pair {u"DriverCardReports"_s, 1}, {u"TachographReports"_s, 2}}) {
        for (const QVariantList &report :
            probe.rows(u"SELECT h.ReportId, json_extract(m.Json, '$.sourceFingerprint') FROM %1 h "
                       "JOIN DddReportMeta m ON m.ReportId = h.ReportId AND m.ReportType = ?"_s.arg(header),
                {type})) {
            QStringList lines;
            for (const QString &table : std::as_const(tables)) {
                const QStringList columns = probe.columns(table);
                const bool generic = columns.contains(u"ReportType"_s);
                if (!generic && table.startsWith(u"Tacho"_s) != (type == 2))
                    continue;
                QStringList quoted;
                for (const QString &column : columns.mid(1)) {
                    if (column != u"ReportId"_s && column != u"ImportDate"_s)
                        quoted.append(tessaron::storage::quoteIdentifier(column));
                }
                const QString select = u"SELECT %1 FROM %2 WHERE ReportId = ?"_s.arg(
                    quoted.join(u", "_s), tessaron::storage::quoteIdentifier(table));
                const QVariantList values {report.value(0), type};
                const QList<QVariantList> rows = generic ? probe.rows(select + u" AND ReportType = ?"_s, values)
                                                         : probe.rows(select, values.mid(0, 1));
                for (const QVariantList &row : rows) {
                    QStringList fields {table};
                    for (const QVariant &field : row)
                        fields.append(field.isNull() ? u"NULL"_s : field.toString());
                    lines.append(fields.join(u'|'));
                }
            }
            lines.sort();
            reports.insert(QString::number(type) + u':' + report.value(1).toString(), lines);
        }
    }
    return reports;
}

} // namespace

class TestSynchronizationManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;

    // Writes the bytes (none: no file) as a package outside every installation and imports it.
    SyncResult importBytes(const QByteArray &bytes)
    {
        const QString path = m_paths->filePath(u"incoming.tspak"_s);
        if (!bytes.isNull() && !writeFile(path, bytes))
            return {};
        return Sync::importPackage(path);
    }

    // Switches to an installation holding one master, a download named after it and a document.
    void makeInstallation(const QString &name, const QString &master)
    {
        m_paths->useInstallation(name);
        AppPaths::ensureDirectories();
        QVERIFY(tessaron::storage::MasterRepository().addMaster(master) > 0);
        QVERIFY(writeFile(AppPaths::downloadDirectory() + u'/' + name + u".ddd"_s, name.toUtf8()));
        QVERIFY(writeFile(dataFile(u"Documents/"_s + name + u"/act.pdf"_s), name.toUtf8()));
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

    // A adds its master, files and ledger lines to B; B keeps its own; each import backs B up as it was.
    void exportOnOneInstallationImportOnAnother()
    {
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

        makeInstallation(u"B"_s, u"Петров"_s);
        QVERIFY(writeFile(dataFile(u"XML/checksums.txt"_s), "c0|zero.xml\n"));
        const QByteArray own = fileBytes(AppPaths::database(u"MasterDB.db"_s));
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
        QCOMPARE(fileBytes(backup + u"/db/MasterDB.db"_s), own);
        QCOMPARE(masters(backup + u"/db/MasterDB.db"_s), QStringList({u"Петров"_s}));
        QCOMPARE(fileBytes(AppPaths::downloadDirectory() + u"/A.ddd"_s) + fileBytes(dataFile(u"Documents/A/act.pdf"_s)),
            "AA");
        QCOMPARE(fileBytes(AppPaths::downloadDirectory() + u"/B.ddd"_s), "B");
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
            many += packageFields(u"x"_s, QByteArray(""));
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
        const QString shortName = u"короткое имя Windows с «~» и цифрой"_s;
        const QString tooLong = u"слишком длинное имя"_s;
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
                 {u"files/Documents/"_s, malformed}})
            QTest::addRow("path \"%s\"", qPrintable(path)) << QByteArray() << path << refused(reason);
        // Names no platform should take: cut short at a NUL, a control character, an NTFS stream; shown escaped.
        for (const auto &[path, shown] :
            {std::pair<QString, QString> {u"files/DATA/a"_s + QChar(0) + u"b.ddd"_s, u"files/DATA/a\\u0000b.ddd"_s},
                {u"files/XML/a\tb/x.xml"_s, u"files/XML/a\\u0009b/x.xml"_s},
                {u"files/Documents/a"_s + QChar(0x9b) + u".pdf"_s, u"files/Documents/a\\u009b.pdf"_s},
                {u"files/Documents/B/act.pdf:hidden"_s, u"files/Documents/B/act.pdf:hidden"_s},
                {u"other/a:b"_s, u"other/a:b"_s},
                {u"files/Documents/"_s + QChar(0xd800), u"files/Documents/\\ud800"_s}})
            QTest::addRow("name \"%s\"", qPrintable(shown)) << QByteArray() << path << refused(forbidden, shown);
        // Names Windows cannot hold or reads as another file, the ledger's among them; limits of the file systems.
        for (const auto &[path, reason] : {std::pair<QString, QString> {u"files/Documents/a<b.pdf"_s, forbidden},
                 {u"files/Documents/a>b.pdf"_s, forbidden}, {u"files/Documents/a\"b.pdf"_s, forbidden},
                 {u"files/Documents/a|b.pdf"_s, forbidden}, {u"files/Documents/a?b.pdf"_s, forbidden},
                 {u"files/Documents/a*b.pdf"_s, forbidden}, {u"files/Documents/CON"_s, device},
                 {u"files/DATA/con.ddd"_s, device}, {u"files/XML/Nul.xml"_s, device},
                 {u"files/Documents/com1.pdf"_s, device}, {u"files/Documents/LPT9"_s, device},
                 {u"files/Documents/Aux .tar.gz"_s, device}, {u"files/Documents/COM¹.pdf"_s, device},
                 {u"files/DATA/prn/x.ddd"_s, device}, {u"files/Documents/act.pdf."_s, trailing},
                 {u"files/Documents/act.pdf "_s, trailing}, {u"files/Documents/dir./x.pdf"_s, trailing},
                 {u"files/Documents/dir /x.pdf"_s, trailing}, {u"files/XML/checksums.txt."_s, trailing},
                 {u"files/XML/checksums.txt "_s, trailing}, {u"files/XML/CHECKS~1.TXT"_s, shortName},
                 {u"files/XML/checks~1.txt"_s, shortName}, {u"files/Documents/ABCDEF~1/x.pdf"_s, shortName},
                 {u"files/Documents/"_s + QString(249, u'a'), tooLong},
                 {u"files/Documents/"_s + QString(256, u'a') + u"/x.pdf"_s, tooLong},
                 {u"files/Documents/"_s + QString(125, u'д') + u".pdf"_s, tooLong}}) {
            QTest::addRow("windows \"%s\"", qPrintable(path.left(40))) << QByteArray() << path << refused(reason);
        }
        // A file whose place another entry, or a local folder or file, needs as the other kind.
        const QString clash
            = u"Пакет содержит повреждённый путь «%1»: имя уже занято записью «%2» (то же имя у файла и у папки)."_s;
        for (const auto &[first, second] : {std::pair {u"files/Documents/f"_s, u"files/Documents/f/g"_s},
                 {u"files/Documents/F/g"_s, u"files/Documents/f"_s}, {u"db/MasterDB.db"_s, u"db/MasterDB.db/x"_s}}) {
            QTest::addRow("clash %s, %s", qPrintable(first), qPrintable(second)) << packageHeader(3)
                    + packageFields(u"files/DATA/ok.ddd"_s, QByteArray("ok"), first, QByteArray("a"), second,
                        QByteArray("b")) << QString() << clash.arg(second, first);
        }
        QTest::addRow("local folder in the place")
            << QByteArray() << u"files/Documents/B"_s
            << u"Пакет не импортирован: файл %1 не записать, на его месте лежит папка."_s;
        QTest::addRow("local file on the way")
            << QByteArray() << u"files/Documents/B/act.pdf/x.pdf"_s
            << u"Пакет не импортирован: файл %1 не записать, на его пути лежит файл <data>/Documents/B/act.pdf."_s;
        // Four sound databases, then a damaged one: nothing is merged, nothing is backed up.
        QTemporaryDir sound;
        const QString soundPath = sound.filePath(u"sound.db"_s);
        QVERIFY(SqliteProbe(soundPath).execute(u"CREATE TABLE Masters(Id INTEGER PRIMARY KEY, FullName TEXT)"_s));
        QVERIFY(SqliteProbe(soundPath).execute(u"INSERT INTO Masters(FullName) VALUES('Иванов')"_s));
        QByteArray later = packageHeader(6);
        for (const QString &name : {u"MasterDB.db"_s, u"CustomersDB.db"_s, u"VehicleDB.db"_s, u"CalibrationDB.db"_s})
            later += packageFields(u"db/"_s + name, fileBytes(soundPath));
        later
            += packageFields(u"db/CertificateDB.db"_s, QByteArray(4096, 'x'), u"files/DATA/ok.ddd"_s, QByteArray("ok"));
        QTest::addRow("damaged fifth database")
            << later << QString() << u"Пакет не импортирован: база CertificateDB.db не прошла проверку"_s;
        // The ledger under another letter case is merged, never replaced: lines it has change nothing.
        QTest::addRow("ledger in other letter cases") << packageHeader(2)
                + packageFields(u"files/XML/CHECKSUMS.TXT"_s, QByteArray("c1|one.xml\n"), u"files/XML/Checksums.txt"_s,
                    QByteArray("c0|zero.xml\r\n")) << QString()
                                                      << u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s;
        for (const QString &path : {u"files/Documents/out/pwn.txt"_s, u"files/Documents/canary.txt"_s,
                 u"files/Documents/act.pdf"_s, u"files/Documents/gone/pwn.txt"_s, u"files/XML/docs/B/act.pdf"_s}) {
            QTest::addRow("through a link: %s", qPrintable(path))
                << QByteArray() << path
                << u"Пакет не импортирован: файл %1 записался бы через ссылку в папке данных."_s.arg(path);
        }
        // A package database or its journal under files/, in any letter case and any area, is left out.
        QByteArray companions = packageHeader(5);
        for (const QString &path : {u"files/DATA/driver_cards.db-journal"_s, u"files/XML/SettingsDB.db-wal"_s,
                 u"files/Documents/B/masterdb.DB-SHM"_s, u"files/DATA/vehicleconfigurations.DB-journal"_s,
                 u"files/Documents/CalibrationDB.db"_s})
            companions += packageFields(path, QByteArray("evil"));
        QTest::addRow("databases and journals under files/")
            << companions << QString() << u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s;
        // A database the installation lacks gets the program's own layout: the sender's trigger (which would empty
        // the table after each insert), view and extra table stay behind; its rows arrive and are counted.
        const QTemporaryDir folder;
        const QString calibrations = folder.filePath(u"CalibrationDB.db"_s);
        for (const QString &statement :
            {u"CREATE TABLE Calibrations (Id INTEGER PRIMARY KEY AUTOINCREMENT, VehicleRegistrationNumber TEXT)"_s,
                u"INSERT INTO Calibrations (VehicleRegistrationNumber) VALUES ('А001АА77'), ('В002ВВ77')"_s,
                u"CREATE TRIGGER Wipe AFTER INSERT ON Calibrations BEGIN DELETE FROM Calibrations; END"_s,
                u"CREATE VIEW Everything AS SELECT * FROM Calibrations"_s, u"CREATE TABLE Extra (x)"_s})
            QVERIFY(SqliteProbe(calibrations).execute(statement));
        QTest::addRow("a database the installation lacks, with a trigger and a view")
            << packageHeader(1) + packageFields(u"db/CalibrationDB.db"_s, fileBytes(calibrations)) << QString()
            << u"Синхронизация завершена. Добавлено записей: 2, файлов: 0."_s;
    }

    // Nothing changes anywhere: not the installation with its links, not the canary outside it; no backup is made
    // (a package accepted with every entry left out makes only its backup, and a database it brings holds only the
    // program's own tables). A bad path follows a sound entry, so that nothing may be written before the check;
    // CANARY names the canary.
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
        const auto before = tessaron::test::fileTree(m_paths->path());
        const SyncResult result = importBytes(bytes);
        if (message.endsWith(u": "_s)) // the text of SQLite follows
            QVERIFY2(result.message.startsWith(message), qPrintable(result.message));
        else
            QCOMPARE(result.message, message);
        auto after = tessaron::test::fileTree(m_paths->path());
        after.remove(u"incoming.tspak"_s);
        const QDir base(m_paths->path());
        const QString calibrations
            = tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::Calibrations);
        after.removeIf([&](const auto &entry) { // an accepted package's backup, staging folder and new database
            return result.success && !before.contains(entry.key())
                && (entry.key().startsWith(base.relativeFilePath(AppPaths::backupDirectory()) + u"/Sync_"_s)
                    || entry.key() == base.relativeFilePath(Sync::syncDirectory())
                    || entry.key() == base.relativeFilePath(calibrations));
        });
        QCOMPARE(after, before);
        if (QFileInfo::exists(calibrations)) {
            const SqliteProbe probe(calibrations);
            QCOMPARE(probe.rows(u"SELECT type, name FROM sqlite_master WHERE type IN ('trigger', 'view') OR name "
                                "IN ('Extra', 'Calibrations')"_s),
                (QList<QVariantList> {{u"table"_s, u"Calibrations"_s}}));
            QCOMPARE(probe.scalar(u"SELECT count(*) FROM Calibrations"_s), QVariant(2));
        }
    }

    void reportsSurviveAnExchange_data()
    {
        QTest::addColumn<QStringList>("onA");
        QTest::addColumn<QStringList>("onB");
        QTest::addColumn<QString>("againOnA");
        QStringList even;
        QStringList odd;
        const QStringList all = tessaron::test::sampleNames();
        for (qsizetype i = 0; i < all.size(); ++i)
            (i % 2 == 0 ? even : odd).append(all.at(i));
        // A second download of the unit whose report row is equal in every column is another report all the same.
        QTest::addRow("a unit twice on A, with equal report rows; a card on B")
            << QStringList {u"vu-gen1-anon"_s} << QStringList {u"card-gen1-a"_s} << u"vu-gen1-anon"_s;
        QTest::addRow("every download, split between A and B") << even << odd << QString();
    }

    // Both installations end with every report, each table of each holding the rows its source had, as often as
    // it had them; a repeated exchange adds nothing.
    void reportsSurviveAnExchange()
    {
        QFETCH(QStringList, onA);
        QFETCH(QStringList, onB);
        QFETCH(QString, againOnA);
        QMap<QString, QStringList> sources[2];
        for (const QString &name : {u"A"_s, u"B"_s}) {
            makeInstallation(name, name);
            {
                tessaron::ddd::DddRepository repository(legacyDatabase());
                for (const QString &sample : name == u"A"_s ? onA : onB) {
                    const QString file = tessaron::test::samplePath(sample + u".ddd"_s);
                    if (!QFileInfo::exists(file))
                        QSKIP(qPrintable(u"real sample file not found: "_s + file));
                    QVERIFY(repository.save(tessaron::ddd::Decoder::decodeFile(file)) > 0);
                }
                if (name == u"A"_s && !againOnA.isEmpty()) {
                    tessaron::ddd::DddReport report
                        = tessaron::ddd::Decoder::decodeFile(tessaron::test::samplePath(againOnA + u".ddd"_s));
                    report.sourceFingerprint = QString(64, u'0');
                    QCOMPARE(repository.save(report), 2);
                }
            }
            const SqliteProbe probe(legacyDatabase());
            QVERIFY(probe.execute(u"UPDATE TachographReports SET ReportDate = (SELECT min(ReportDate) FROM "
                                  "TachographReports)"_s));
            sources[name == u"B"_s] = reportContents(legacyDatabase());
            for (auto it = sources[name == u"B"_s].cbegin(); it != sources[name == u"B"_s].cend(); ++it) {
                const QString childTable = it.key().startsWith(u'2') ? u"TachoEvents|"_s : u"Vehicles|"_s;
                QVERIFY(std::any_of(
                    it->cbegin(), it->cend(), [&](const QString &line) { return line.startsWith(childTable); }));
            }
        }
        m_paths->useInstallation(u"A"_s);
        const QString fromA = Sync::exportPackage().packagePath;
        m_paths->useInstallation(u"B"_s);
        QVERIFY(Sync::importPackage(fromA).success);
        const QString fromB = Sync::exportPackage().packagePath;
        m_paths->useInstallation(u"A"_s);
        QVERIFY(Sync::importPackage(fromB).success);

        for (const QString &name : {u"A"_s, u"B"_s}) {
            m_paths->useInstallation(name);
            QMap<QString, QStringList> expected = sources[name == u"A"_s];
            expected.insert(sources[name == u"B"_s]); // a report both held keeps its own header
            const QMap<QString, QStringList> actual = reportContents(legacyDatabase());
            QCOMPARE(actual.keys(), expected.keys());
            for (auto it = expected.cbegin(); it != expected.cend(); ++it)
                QCOMPARE(actual.value(it.key()), it.value());
            QCOMPARE(Sync::importPackage(name == u"A"_s ? fromB : fromA).message,
                u"Синхронизация завершена. Добавлено записей: 0, файлов: 0."_s);
        }
    }

    // A local data file that the package replaces is kept in the import's backup beside the databases, as it was
    // before the import even when two entries replace it; a file the package holds unchanged is not copied.
    void replacedFilesAreKeptInTheBackup()
    {
        makeInstallation(u"B"_s, u"Петров"_s);
        QVERIFY(writeFile(dataFile(u"Documents/sub/акт.txt"_s), "правка техника"));
        const SyncResult result = importBytes(packageHeader(3)
            + packageFields(u"files/Documents/sub/акт.txt"_s, QByteArray("старый акт"), u"files/Documents/B/act.pdf"_s,
                QByteArray("B"), u"files/Documents/sub/акт.txt"_s, QByteArray("ещё старее")));
        QCOMPARE(result.message, u"Синхронизация завершена. Добавлено записей: 0, файлов: 2."_s);
        QCOMPARE(fileBytes(dataFile(u"Documents/sub/акт.txt"_s)), "ещё старее");
        const QString backup
            = AppPaths::backupDirectory() + u'/' + folders(AppPaths::backupDirectory(), u"Sync_*"_s).value(0);
        QCOMPARE(tessaron::test::fileTree(backup).keys(),
            QStringList({u"db"_s, u"db/MasterDB.db"_s, u"files"_s, u"files/Documents"_s, u"files/Documents/sub"_s,
                u"files/Documents/sub/акт.txt"_s}));
        QCOMPARE(fileBytes(backup + u"/files/Documents/sub/акт.txt"_s), "правка техника");
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

    // A document whose name the other side would refuse stays out of the package and is named; the package, with
    // the other files, imports.
    void exportLeavesOutRefusedNames_data()
    {
        QTest::addColumn<QStringList>("documents");
        QTest::addColumn<QStringList>("leftOut");
        QTest::addColumn<QString>("note");
        const QString twoDots = u"Акт №5 от 01.12..pdf"_s;
        const QString longest = QString(244, u'a') + u".pdf"_s;
        QTest::addRow("two dots") << QStringList {twoDots} << QStringList {u"files/Documents/"_s + twoDots}
                                  << u"«files/Documents/%1» (две точки подряд)"_s.arg(twoDots);
        QTest::addRow("windows names") << QStringList {u"CON.pdf"_s, u"act.pdf."_s, u"a?b.pdf"_s, u"ABCDEF~1.PDF"_s}
                                       << QStringList {u"files/Documents/ABCDEF~1.PDF"_s, u"files/Documents/CON.pdf"_s,
                                              u"files/Documents/a?b.pdf"_s, u"files/Documents/act.pdf."_s}
                                       << u"«files/Documents/ABCDEF~1.PDF» (короткое имя Windows с «~» и цифрой)"_s;
        QTest::addRow("a file and a folder of one name")
            << QStringList {u"F"_s, u"f/g.pdf"_s} << QStringList {u"files/Documents/f/g.pdf"_s}
            << u"«files/Documents/f/g.pdf» (то же имя у файла и у папки)"_s;
        QTest::addRow("longest name") << QStringList {longest} << QStringList() << QString();
    }

    void exportLeavesOutRefusedNames()
    {
        QFETCH(QStringList, documents);
        QFETCH(QStringList, leftOut);
        QFETCH(QString, note);
        makeInstallation(u"A"_s, u"Иванов"_s);
        for (const QString &name : std::as_const(documents))
            QVERIFY(writeFile(dataFile(u"Documents/"_s + name), name.toUtf8()));
        const SyncResult exported = Sync::exportPackage();
        QCOMPARE(exported.leftOut, leftOut);
        const QStringList entries = packageEntryPaths(exported.packagePath);
        for (const QString &path : std::as_const(leftOut))
            QVERIFY(!entries.contains(path));
        QCOMPARE(exported.fileCount, entries.size());
        QCOMPARE(exported.fileCount, 3 + documents.size() - leftOut.size()); // MasterDB, A.ddd, A/act.pdf
        if (note.isEmpty()) {
            QCOMPARE(exported.message, u"Пакет создан: "_s + exported.packagePath);
        } else {
            QVERIFY2(exported.message.startsWith(u"Пакет создан: %1. Не вошли в пакет файлы, чьи имена не примет "
                                                 u"другое устройство: %2"_s.arg(exported.packagePath, note)),
                qPrintable(exported.message));
        }

        makeInstallation(u"B"_s, u"Петров"_s);
        const SyncResult imported = Sync::importPackage(exported.packagePath);
        QCOMPARE(
            imported.message, u"Синхронизация завершена. Добавлено записей: 1, файлов: %1."_s.arg(entries.size() - 1));
        QCOMPARE(fileBytes(dataFile(u"Documents/A/act.pdf"_s)), "A");
    }

    // A staging folder that no running import holds is removed by the next import: one of an import killed in
    // the middle (a real process, held inside its backup by a database that is a pipe, then killed), one an older
    // program left without a lock. One whose lock a running import holds stays, however old the lock.
    void abandonedStagingIsRemoved_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<bool>("removed");
        QTest::addRow("killed import") << u"killed"_s << true;
        QTest::addRow("no lock") << u"none"_s << true;
        QTest::addRow("running import, old lock") << u"running"_s << false;
    }

    void abandonedStagingIsRemoved()
    {
        QFETCH(QString, owner);
        QFETCH(bool, removed);
        makeInstallation(u"A"_s, u"Иванов"_s);
        const QString package = Sync::exportPackage().packagePath;
        makeInstallation(u"B"_s, u"Петров"_s);
        const QString staging
            = Sync::syncDirectory() + u"/incoming_"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
        QLockFile running(staging + u".lock"_s);
        running.setStaleLockTime(0);
        if (owner == u"killed"_s) {
            const QByteArray pipe = QFile::encodeName(AppPaths::database(u"CustomersDB.db"_s));
            QCOMPARE(mkfifo(pipe.constData(), 0600), 0);
            QProcess import;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(u"TESSARON_TEST_IMPORT_PACKAGE"_s, package);
            environment.insert(u"TESSARON_TEST_PROGRAM"_s, m_paths->programDirectory());
            import.setProcessEnvironment(environment);
            import.start(QCoreApplication::applicationFilePath(), {});
            // The pipe opens for writing once the import reads it, that is while it backs the databases up.
            int writer = -1;
            QTRY_VERIFY_WITH_TIMEOUT((writer = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK)) >= 0
                    || import.state() == QProcess::NotRunning,
                120000);
            QVERIFY2(writer >= 0, import.readAllStandardOutput().constData());
            import.kill();
            QVERIFY(import.waitForFinished());
            ::close(writer);
            QVERIFY(QFile::remove(AppPaths::database(u"CustomersDB.db"_s)));
            const QStringList left = folders(Sync::syncDirectory(), u"incoming_*"_s);
            QCOMPARE(left.size(), 1);
            QVERIFY(QFileInfo::exists(Sync::syncDirectory() + u'/' + left[0] + u"/MasterDB.db"_s));
            QVERIFY(QFileInfo::exists(Sync::syncDirectory() + u'/' + left[0] + u".lock"_s));
        } else {
            QVERIFY(writeFile(staging + u"/MasterDB.db"_s, "staged"));
            if (owner == u"running"_s) {
                QVERIFY(running.tryLock(0));
                QFile lock(staging + u".lock"_s);
                QVERIFY(lock.open(QIODevice::ReadWrite)
                    && lock.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
            }
        }
        QCOMPARE(Sync::importPackage(package).message, u"Синхронизация завершена. Добавлено записей: 1, файлов: 2."_s);
        const QStringList left = QDir(Sync::syncDirectory()).entryList({u"incoming_*"_s}, QDir::AllEntries);
        QCOMPARE(left.isEmpty(), removed);
        QCOMPARE(QFileInfo::exists(staging + u"/MasterDB.db"_s), owner == u"running"_s);
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
        SyncResult result = Sync::importPackage(package);
        QVERIFY2(result.message.startsWith(u"Ошибка объединения CustomersDB.db: Не удалось добавить запись в базу"_s),
            qPrintable(result.message));
        QCOMPARE(masters(), QStringList({u"Иванов"_s, u"Петров"_s}));
        QCOMPARE(folders(AppPaths::backupDirectory(), u"Sync_*"_s).size(), 1);
        QVERIFY(folders(Sync::syncDirectory(), u"incoming_*"_s).isEmpty());

        // A folder where a file goes is found before any change.
        QVERIFY(customers.execute(u"DROP TRIGGER t"_s) && QDir().mkpath(AppPaths::downloadDirectory() + u"/A.ddd"_s));
        result = Sync::importPackage(package);
        QCOMPARE(
            result.message, u"Пакет не импортирован: файл files/DATA/A.ddd не записать, на его месте лежит папка."_s);
        QCOMPARE(folders(AppPaths::backupDirectory(), u"Sync_*"_s).size(), 1);
        QVERIFY(folders(Sync::syncDirectory(), u"incoming_*"_s).isEmpty());
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
// installation), the program imports that package there and prints the message: an import the test can kill.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString package = qEnvironmentVariable("TESSARON_TEST_IMPORT_PACKAGE");
    if (package.isEmpty()) {
        TestSynchronizationManager test;
        return QTest::qExec(&test, argc, argv);
    }
    AppPaths::setProgramDirectoryForTesting(qEnvironmentVariable("TESSARON_TEST_PROGRAM"));
    const SyncResult result = Sync::importPackage(package);
    QTextStream(stdout) << result.message;
    return result.success ? 0 : 1;
}

#include "tst_synchronization_manager.moc"
