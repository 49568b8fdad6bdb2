#include "sync/database_merge.h"

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_repository.h"
#include "ddd/ddd_repository_values.h"
#include "storage/calibration_repository.h"
#include "storage/customer_repository.h"
#include "storage/master_repository.h"
#include "storage/settings_repository.h"
#include "storage/sql_connection.h"
#include "storage/vehicle_catalog_repository.h"
#include "storage/vehicle_configuration_repository.h"
#include "support/log_capture.h"
#include "support/small_disk.h"
#include "support/sqlite_probe.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"
#include "sync/package_database_check.h"
#include "sync/synchronization_manager.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <tuple>

using namespace Qt::StringLiterals;
using tessaron::sync::mergeDatabase;
using tessaron::test::SqliteProbe;

namespace {

enum Kind { Settings, Masters, Customers, Vehicles, Configurations, Calibrations, Reports };

// The legacy report file's tables that the rule treats differently, as the report database lays them out;
// the incoming Events table spells its report column "reportid".
const QStringList reportSchema = {
    u"CREATE TABLE DriverCardReports (ReportId INTEGER PRIMARY KEY AUTOINCREMENT, CardNumber TEXT, "
    "ImportDate DATETIME DEFAULT CURRENT_TIMESTAMP)"_s,
    u"CREATE TABLE Events (EventId INTEGER PRIMARY KEY AUTOINCREMENT, %1 INTEGER, EventType TEXT, "
    "ImportDate DATETIME DEFAULT CURRENT_TIMESTAMP)"_s,
    u"CREATE TABLE ActivityChanges (ActivityChangeId INTEGER PRIMARY KEY AUTOINCREMENT, ReportId INTEGER, "
    "ActivityDailyPresenceCounter1 TEXT, Time TEXT, ImportDate DATETIME DEFAULT CURRENT_TIMESTAMP)"_s,
    u"CREATE TABLE TachographReports (ReportId INTEGER PRIMARY KEY AUTOINCREMENT, VIN TEXT, "
    "ImportDate DATETIME DEFAULT CURRENT_TIMESTAMP)"_s,
    u"CREATE TABLE TachoEvents (EventId INTEGER PRIMARY KEY AUTOINCREMENT, ReportId INTEGER NOT NULL, "
    "EventType TEXT)"_s,
    u"CREATE TABLE DddRows (RowId INTEGER PRIMARY KEY AUTOINCREMENT, ReportId INTEGER NOT NULL, "
    "ReportType INTEGER NOT NULL, Dataset TEXT NOT NULL, RowIndex INTEGER NOT NULL, Json TEXT NOT NULL)"_s,
    u"CREATE TABLE DddReportMeta (ReportId INTEGER NOT NULL, ReportType INTEGER NOT NULL, Json TEXT NOT NULL, "
    "PRIMARY KEY(ReportId, ReportType))"_s,
};

void execute(const QString &path, const QStringList &statements, const QVariantList &values = {})
{
    const SqliteProbe probe(path);
    for (const QString &statement : statements)
        QVERIFY2(probe.execute(statement, values), qPrintable(statement));
}

void makeReportFile(const QString &path, const QString &eventReportColumn)
{
    for (const QString &statement : reportSchema)
        execute(path, {statement.contains(u"%1"_s) ? statement.arg(eventReportColumn) : statement});
}

// An empty database file of the kind as the application makes it, then the given rows.
void makeDatabase(Kind kind, const QString &path, const QStringList &rows = {})
{
    using namespace tessaron::storage;
    switch (kind) {
    case Settings:
        SettingsRepository {path};
        break;
    case Masters:
        MasterRepository {path};
        break;
    case Customers:
        CustomerRepository {path};
        break;
    case Vehicles:
        VehicleCatalogRepository {path};
        break;
    case Configurations:
        VehicleConfigurationRepository {path};
        break;
    case Calibrations:
        CalibrationRepository {path};
        break;
    case Reports:
        makeReportFile(path, u"ReportId"_s);
        break;
    }
    // One connection, so that an edit of the schema follows the pragma that allows it.
    QVERIFY(SqliteProbe(path).executeAll(rows));
}

// An empty database of the program's own layout for a package database's file name.
bool makeOwnDatabase(const QString &name, const QString &path)
{
    bool known = true;
    QString error;
    return tessaron::sync::createOwnDatabase(name, path, &known, &error);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every row of every table, to show that a failed merge left the file as it was.
QStringList dump(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return {u"<no file>"_s};
    const SqliteProbe probe(path);
    QStringList lines;
    for (const QVariantList &table : probe.rows(u"SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"_s)) {
        const QString name = table.value(0).toString();
        for (const QVariantList &row :
            probe.rows(u"SELECT * FROM %1 ORDER BY rowid"_s.arg(tessaron::storage::quoteIdentifier(name)))) {
            QStringList fields {name};
            for (const QVariant &field : row)
                fields.append(field.isNull() ? u"NULL"_s : field.toString());
            lines.append(fields.join(u'|'));
        }
    }
    return lines;
}

// Overwrites in the database file the first page that its rollback journal beside it holds, so that only rolling
// the journal back would make the file whole again.
bool spoilFirstJournalledPage(const QString &path)
{
    // The journal's header fills its first sector: the sector size at byte 20, the page size at byte 24; each
    // record then begins with its page number.
    const QByteArray journal = contentOf(path + u"-journal"_s);
    if (journal.size() < 28)
        return false;
    const quint32 sector = qFromBigEndian<quint32>(journal.constData() + 20);
    const quint32 pageSize = qFromBigEndian<quint32>(journal.constData() + 24);
    if (sector > quint32(journal.size()) - 4 || pageSize == 0)
        return false;
    const quint32 page = qFromBigEndian<quint32>(journal.constData() + sector);
    QFile file(path);
    return page > 0 && file.open(QIODevice::ReadWrite) && file.seek(qint64(page - 1) * pageSize)
        && file.write(QByteArray(qsizetype(pageSize), 'x')) == pageSize;
}

// A trigger that lets two writes of the table through and refuses the third.
void failOnThirdWrite(const QString &path, const QString &table)
{
    const QString body = u"BEGIN INSERT INTO Hits VALUES (1); "
                         "SELECT RAISE(ABORT, 'третья запись') WHERE (SELECT count(*) FROM Hits) >= 3; END"_s;
    execute(path,
        {u"CREATE TABLE Hits (N INTEGER)"_s, u"CREATE TRIGGER FailInsert BEFORE INSERT ON %1 "_s.arg(table) + body,
            u"CREATE TRIGGER FailUpdate BEFORE UPDATE ON %1 "_s.arg(table) + body});
}

// Everything a stored report gives back (datasets, analysis, header fields) and its typed child rows without
// their keys, as text.
QByteArray storedReport(const QString &file, qint64 id, tessaron::ddd::DddFileType type)
{
    const tessaron::ddd::DddRepository repository(file);
    const tessaron::ddd::DddReport report = repository.loadReport(id, type);
    if (report.fileType != type)
        return {};
    QByteArray text = tessaron::ddd::compactJson(report.summary()) + tessaron::ddd::compactJson(report.analysis)
        + report.truncationText().toUtf8();
    for (const auto &entry : tessaron::ddd::allDatasets)
        text += tessaron::ddd::compactJson(report.*entry.member);
    const SqliteProbe probe(file);
    const bool unit = type == tessaron::ddd::DddFileType::Tachograph;
    for (const QVariantList &table :
        probe.rows(u"SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT "
                   "LIKE 'Ddd%' AND name NOT LIKE '%Reports' AND name NOT LIKE 'sqlite%'"_s)) {
        const QString name = table.value(0).toString();
        if (name.startsWith(u"Tacho"_s) != unit)
            continue;
        QStringList columns;
        for (const QString &column : probe.columns(name).mid(1)) {
            if (column != u"ReportId"_s && column != u"ImportDate"_s)
                columns.append(tessaron::storage::quoteIdentifier(column));
        }
        const QString select = u"SELECT %1 FROM %2 WHERE ReportId = ? ORDER BY rowid"_s;
        for (const QVariantList &row : probe.rows(select.arg(columns.join(u", "_s), name), {id}))
            text += name.toUtf8() + tessaron::ddd::compactJson(row);
    }
    return text;
}

} // namespace

class TestDatabaseMerge : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"still in use"_s));
        m_directory = std::make_unique<QTemporaryDir>();
        m_connections = QSqlDatabase::connectionNames();
    }

    void cleanup() { QCOMPARE(QSqlDatabase::connectionNames(), m_connections); }

    void eachRuleMergesWholeOrNothing_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("refusingTable");
        QTest::addColumn<int>("addedToEmpty");
        QTest::addColumn<int>("addedAgain");
        const QStringList settings {
            u"INSERT INTO Settings (Section, Key, Value) VALUES ('S', 'a', 1), ('S', 'b', 2), ('S', 'c', 3)"_s};
        const QStringList reports {u"INSERT INTO DriverCardReports (CardNumber) VALUES ('1'), ('2'), ('3')"_s,
            u"INSERT INTO TachographReports (VIN) VALUES ('1'), ('2'), ('3')"_s,
            u"INSERT INTO Events (ReportId, EventType) VALUES (1, 'e'), (2, 'e'), (3, 'e')"_s,
            u"INSERT INTO TachoEvents (ReportId, EventType) VALUES (1, 't'), (2, 't'), (3, 't')"_s,
            u"INSERT INTO DddRows (ReportId, ReportType, Dataset, RowIndex, Json) VALUES "
            "(1, 2, 'x', 0, '{}'), (2, 2, 'x', 0, '{}'), (3, 2, 'x', 0, '{}')"_s,
            u"INSERT INTO DddReportMeta (ReportId, ReportType, Json) VALUES (1, 1, '{}'), (2, 1, '{}'), (3, 1, '{}')"_s};
        // The default settings both files hold are equal and count nothing, the first time or again.
        QTest::addRow("settings") << int(Settings) << u"SettingsDB.db"_s << settings << u"Settings"_s << 3 << 0;
        QTest::addRow("settings under another case: generic")
            << int(Settings) << u"settingsdb.db"_s << settings << u"Settings"_s << 3 << 0;
        QTest::addRow("masters") << int(Masters) << u"MasterDB.db"_s
                                 << QStringList {u"INSERT INTO Masters (FullName) VALUES ('a'), ('b'), ('c')"_s}
                                 << u"Masters"_s << 3 << 0;
        QTest::addRow("customers") << int(Customers) << u"CustomersDB.db"_s
                                   << QStringList {u"INSERT INTO Customers (CustomerName) VALUES ('a'), ('b'), ('c')"_s}
                                   << u"Customers"_s << 3 << 0;
        QTest::addRow("vehicle catalogue")
            << int(Vehicles) << u"VehicleDB.db"_s
            << QStringList {u"INSERT INTO Manufacturers (Id, Name) VALUES (4, 'a'), (5, 'b'), (6, 'c')"_s,
                   u"INSERT INTO Models (Name, ManufacturerId) VALUES ('x', 4), ('y', 5), ('z', 6)"_s}
            << u"Models"_s << 6 << 0;
        QTest::addRow("vehicle configurations")
            << int(Configurations) << u"VehicleConfigurations.db"_s
            << QStringList {u"INSERT INTO VehicleConfigurations (Manufacturer, Model, ParametersJson) VALUES "
                            "('MAN', 'a', '{}'), ('MAN', 'b', '{}'), ('MAN', 'c', '{}')"_s}
            << u"VehicleConfigurations"_s << 3 << 0;
        QTest::addRow("calibrations: generic")
            << int(Calibrations) << u"CalibrationDB.db"_s
            << QStringList {u"INSERT INTO Calibrations (VehicleRegistrationNumber) VALUES ('a'), ('b'), ('c')"_s}
            << u"Calibrations"_s << 3 << 0;
        QTest::addRow("legacy reports") << int(Reports) << u"driver_cards.db"_s << reports << u"DddReportMeta"_s << 18
                                        << 0;
        // What a sender's file declares beyond the program's layout is not read: a collation SQLite does not have on a
        // column the merge compares (rows are compared as the local table stores them), the most columns a table can
        // have (only the program's are selected), a manufacturer's stamp (a new one takes the local default).
        QTest::addRow("legacy reports, an event type of a collation SQLite lacks") << int(Reports)
                                                                                   << u"driver_cards.db"_s
                                                                                   << reports
                + QStringList {u"PRAGMA writable_schema = ON"_s,
                    u"UPDATE sqlite_schema SET sql = replace(sql, 'EventType TEXT', 'EventType TEXT COLLATE missing') "
                    "WHERE name = 'Events'"_s} << u"DddReportMeta"_s << 18 << 0;
        QStringList wide;
        for (int column = 5; column <= 2000; ++column)
            wide.append(u"Extra%1 TEXT"_s.arg(column));
        QTest::addRow("legacy reports, events of 2000 columns")
            << int(Reports) << u"driver_cards.db"_s
            << QStringList {u"DROP TABLE Events"_s,
                   u"CREATE TABLE Events (EventId INTEGER PRIMARY KEY AUTOINCREMENT, ReportId INTEGER, EventType TEXT, "
                   "ImportDate DATETIME DEFAULT CURRENT_TIMESTAMP, %1)"_s.arg(wide.join(u", "_s))}
                + reports
            << u"DddReportMeta"_s << 18 << 0;
        QTest::addRow("vehicle catalogue without the manufacturers' stamp")
            << int(Vehicles) << u"VehicleDB.db"_s
            << QStringList {u"ALTER TABLE Manufacturers DROP COLUMN CreatedAt"_s,
                   u"INSERT INTO Manufacturers (Id, Name) VALUES (4, 'a'), (5, 'b'), (6, 'c')"_s,
                   u"INSERT INTO Models (Name, ManufacturerId) VALUES ('x', 4), ('y', 5), ('z', 6)"_s}
            << u"Models"_s << 6 << 0;
        QTest::addRow("current reports: generic")
            << int(Reports) << u"ReportsDB.db"_s << reports << u"TachographReports"_s << 18 << 0;
    }

    // A new file is made with the program's own layout and takes the rows as an empty one would; into an existing
    // one, a write the local file refuses half-way leaves it, the count and nothing else changed, and once it is
    // accepted a second merge adds only what the rule counts again.
    void eachRuleMergesWholeOrNothing()
    {
        QFETCH(int, kind);
        QFETCH(QString, fileName);
        QFETCH(QStringList, rows);
        QFETCH(QString, refusingTable);
        QFETCH(int, addedToEmpty);
        QFETCH(int, addedAgain);
        // No database of the program's is named in another letter case: such a file is not taken.
        const bool ownLayout = fileName != u"settingsdb.db"_s;
        const QString incoming = path(u"incoming.db"_s);
        makeDatabase(Kind(kind), incoming, rows);

        const QString copied = path(u"new/folder/"_s + fileName);
        int added = 5;
        QString error;
        QVERIFY2(mergeDatabase(incoming, copied, &added, &error), qPrintable(error));
        QCOMPARE(added, 5 + (ownLayout ? addedToEmpty : 0));
        QCOMPARE(
            QDir(path(u"new/folder"_s)).entryList(QDir::Files), ownLayout ? QStringList {fileName} : QStringList());
        added = 5;

        const QString local = path(fileName);
        makeDatabase(Kind(kind), local);
        failOnThirdWrite(local, refusingTable);
        const QStringList before = dump(local);
        const tessaron::test::LogCapture log;
        QVERIFY(!mergeDatabase(incoming, local, &added, &error));
        QVERIFY2(error.startsWith(u"Не удалось"_s), qPrintable(error));
        QVERIFY2(log.text().contains(u"третья запись"_s), qPrintable(log.text()));
        QCOMPARE(added, 5);
        QCOMPARE(dump(local), before);

        execute(local, {u"DROP TRIGGER FailInsert"_s, u"DROP TRIGGER FailUpdate"_s});
        added = 0;
        error.clear();
        QVERIFY2(mergeDatabase(incoming, local, &added, &error), qPrintable(error));
        QCOMPARE(added, addedToEmpty);
        added = 0;
        QVERIFY(mergeDatabase(incoming, local, &added, &error));
        QVERIFY(mergeDatabase(path(u"absent.db"_s), local, &added, &error));
        // An empty file is an empty database: nothing to merge.
        QFile(path(u"empty.db"_s)).open(QIODevice::WriteOnly);
        QVERIFY(mergeDatabase(path(u"empty.db"_s), local, &added, &error));
        QCOMPARE(added, addedAgain);
        QVERIFY(error.isEmpty());
    }

    void settingsTakeTheNewerValue_data()
    {
        QTest::addColumn<QString>("incomingStamp");
        QTest::addColumn<QString>("incomingValue");
        QTest::addColumn<QString>("expectedValue");
        QTest::addColumn<int>("counted");
        QTest::addRow("older") << u"2024-05-01 09:59:59"_s << u"пришедшее"_s << u"местное"_s << 0;
        QTest::addRow("equal") << u"2024-05-01 10:00:00"_s << u"пришедшее"_s << u"пришедшее"_s << 1;
        QTest::addRow("newer") << u"2024-05-01 10:00:01"_s << u"пришедшее"_s << u"пришедшее"_s << 1;
        QTest::addRow("equal, the same value") << u"2024-05-01 10:00:00"_s << u"местное"_s << u"местное"_s << 0;
        QTest::addRow("newer, the same value") << u"2024-05-01 10:00:01"_s << u"местное"_s << u"местное"_s << 1;
    }

    // Only a row that changes the local one is counted; the default rows both files hold are equal.
    void settingsTakeTheNewerValue()
    {
        QFETCH(QString, incomingStamp);
        QFETCH(QString, incomingValue);
        QFETCH(QString, expectedValue);
        QFETCH(int, counted);
        const QString local = path(u"SettingsDB.db"_s);
        const QString incoming = path(u"incoming.db"_s);
        const QString row = u"INSERT INTO Settings (Section, Key, Value, LastModified) VALUES ('S', 'k', ?, ?)"_s;
        makeDatabase(Settings, local);
        makeDatabase(Settings, incoming);
        execute(local, {row}, {u"местное"_s, u"2024-05-01 10:00:00"_s});
        execute(incoming, {row}, {incomingValue, incomingStamp});

        int added = 0;
        QString error;
        QVERIFY(mergeDatabase(incoming, local, &added, &error));
        const SqliteProbe probe(local);
        QCOMPARE(probe.scalar(u"SELECT Value FROM Settings WHERE Key = 'k'"_s).toString(), expectedValue);
        QCOMPARE(added, counted);
    }

    void configurationsMatchTrimmedIgnoringCase_data()
    {
        QTest::addColumn<QStringList>("local");
        QTest::addColumn<QStringList>("incoming");
        QTest::addColumn<QStringList>("expected");
        const QString row = u"INSERT INTO VehicleConfigurations (Manufacturer, Model, ParametersJson) VALUES %1"_s;
        const auto rows = [&](const QString &values) { return QStringList {row.arg(values)}; };
        QTest::addRow("letter case and blanks around a stored one, and a new one")
            << rows(u"('MAN', 'TGX', 'local')"_s) << rows(u"(' man ', 'tgx ', '{}'), ('MAN', 'TGS', '{}')"_s)
            << QStringList {u"MAN|TGX|local"_s, u"MAN|TGS|{}"_s};
        // What arrived with a blank is stored so; the same package again must not insert it a second time.
        QTest::addRow("stored with a blank, arriving again")
            << rows(u"('КАМАЗ ', '5490', 'local')"_s) << rows(u"('КАМАЗ ', '5490', '{}')"_s)
            << QStringList {u"КАМАЗ |5490|local"_s};
        QTest::addRow("stored with a blank, arriving without")
            << rows(u"('КАМАЗ ', '5490', 'local')"_s) << rows(u"('КАМАЗ', ' 5490', '{}')"_s)
            << QStringList {u"КАМАЗ |5490|local"_s};
        QTest::addRow("tab and line end around")
            << rows(u"('MAN', 'TGX', 'local')"_s) << rows(u"(char(9) || 'MAN', 'TGX' || char(13, 10), '{}')"_s)
            << QStringList {u"MAN|TGX|local"_s};
        QTest::addRow("twice in one package, once with a blank")
            << QStringList() << rows(u"('КАМАЗ', '5490', 'first'), ('КАМАЗ ', '5490', 'second')"_s)
            << QStringList {u"КАМАЗ|5490|first"_s};
        // The table's NOCASE folds Latin letters only, as the program's own store matches names.
        QTest::addRow("Cyrillic letter case: another configuration, as the store keeps it")
            << rows(u"('КАМАЗ', '5490', 'local')"_s) << rows(u"('камаз', '5490', '{}')"_s)
            << QStringList {u"КАМАЗ|5490|local"_s, u"камаз|5490|{}"_s};
        // SQLite stores a number in a TEXT column as its own text ("1.0e+20"), which is not Qt's ("1e+20").
        QTest::addRow("a number where the local table holds its text")
            << rows(u"('MAN', 1e20, 'local')"_s)
            << QStringList {u"DROP TABLE VehicleConfigurations"_s,
                   u"CREATE TABLE VehicleConfigurations (Id INTEGER PRIMARY KEY, Manufacturer TEXT NOT NULL, "
                   "Model NOT NULL, ParametersJson TEXT NOT NULL, UpdatedAt TEXT DEFAULT CURRENT_TIMESTAMP)"_s,
                   row.arg(u"('MAN', 1e20, '{}')"_s)}
            << QStringList {u"MAN|1.0e+20|local"_s};
    }

    // A configuration already here, trimmed and Latin letter case aside on both sides, is never inserted again (the
    // table's UNIQUE would refuse what arrived with a blank the next time) and never replaced.
    void configurationsMatchTrimmedIgnoringCase()
    {
        QFETCH(QStringList, local);
        QFETCH(QStringList, incoming);
        QFETCH(QStringList, expected);
        const QString configurations = path(u"VehicleConfigurations.db"_s);
        const QString incomingConfigurations = path(u"configurations.db"_s);
        makeDatabase(Configurations, configurations, local);
        makeDatabase(Configurations, incomingConfigurations, incoming);
        for (int run = 1; run <= 2; ++run) {
            int added = 0;
            QString error;
            QVERIFY2(mergeDatabase(incomingConfigurations, configurations, &added, &error), qPrintable(error));
            QCOMPARE(added, run == 1 ? expected.size() - local.size() : 0);
        }
        const QString select
            = u"SELECT Manufacturer || '|' || Model || '|' || ParametersJson FROM VehicleConfigurations "
              "ORDER BY Id"_s;
        QStringList stored;
        for (const QVariantList &row : SqliteProbe(configurations).rows(select))
            stored.append(row.value(0).toString());
        QCOMPARE(stored, expected);
    }

    void namesAndModelsMatchAsStored()
    {
        // A trailing blank makes another master.
        const QString masters = path(u"MasterDB.db"_s);
        const QString incomingMasters = path(u"masters.db"_s);
        makeDatabase(Masters, masters, {u"INSERT INTO Masters (FullName) VALUES ('Петров П.П.')"_s});
        makeDatabase(
            Masters, incomingMasters, {u"INSERT INTO Masters (FullName) VALUES ('Петров П.П.'), ('Петров П.П. ')"_s});
        int added = 0;
        QString error;
        QVERIFY(mergeDatabase(incomingMasters, masters, &added, &error));
        QCOMPARE(added, 1);

        // Manufacturers are matched by name and their models follow the local id; a model without its
        // manufacturer is dropped.
        const QString vehicles = path(u"VehicleDB.db"_s);
        const QString incomingVehicles = path(u"vehicles.db"_s);
        // Without their stamp in the incoming file, a new one takes the local default and a local one keeps its own.
        makeDatabase(
            Vehicles, vehicles, {u"INSERT INTO Manufacturers (Id, Name, CreatedAt) VALUES (1, 'b', '2001')"_s});
        makeDatabase(Vehicles, incomingVehicles,
            {u"ALTER TABLE Manufacturers DROP COLUMN CreatedAt"_s,
                u"INSERT INTO Manufacturers (Id, Name) VALUES (4, 'a'), (5, 'b')"_s,
                u"INSERT INTO Models (Name, ManufacturerId) VALUES ('x', 4), ('y', 5), ('Сирота', 99)"_s});
        added = 0;
        QVERIFY(mergeDatabase(incomingVehicles, vehicles, &added, &error));
        QCOMPARE(added, 1 + 2);
        QCOMPARE(SqliteProbe(vehicles).rows(u"SELECT m.Name, f.Name FROM Models m JOIN Manufacturers f "
                                            "ON f.Id = m.ManufacturerId ORDER BY m.Name"_s),
            (QList<QVariantList> {{u"x"_s, u"a"_s}, {u"y"_s, u"b"_s}}));
        QCOMPARE(SqliteProbe(vehicles).rows(u"SELECT Name, CreatedAt = '2001' FROM Manufacturers ORDER BY Name"_s),
            (QList<QVariantList> {{u"a"_s, 0}, {u"b"_s, 1}}));
    }

    void genericRuleHandlesEveryTableShape()
    {
        const QString incoming = path(u"incoming.db"_s);
        const QString local = path(u"Other.db"_s);
        execute(incoming,
            {u"CREATE TABLE \"we\"\"ird\" (Id INTEGER PRIMARY KEY AUTOINCREMENT, \"na\"\"me\" TEXT, Note TEXT, "
             "OnlyHere TEXT, ImportDate TEXT)"_s,
                u"INSERT INTO \"we\"\"ird\" (\"na\"\"me\", Note, OnlyHere, ImportDate) VALUES "
                "('a', NULL, 'x', '2020'), ('a', NULL, 'y', '2021'), ('b', 'n', 'z', '2022')"_s,
                u"CREATE TABLE Stamps (Id INTEGER PRIMARY KEY, ImportDate TEXT, CreationTimestamp TEXT)"_s,
                u"INSERT INTO Stamps VALUES (1, '2020', '2020'), (2, '2020', '2020')"_s,
                u"CREATE TABLE Pairs (A INTEGER, B INTEGER, V TEXT, PRIMARY KEY (A, B))"_s,
                u"INSERT INTO Pairs VALUES (1, 1, 'incoming'), (1, 2, 'incoming')"_s, u"CREATE TABLE Loose (V TEXT)"_s,
                u"INSERT INTO Loose VALUES ('one'), ('two')"_s});
        execute(local,
            {u"CREATE TABLE \"WE\"\"IRD\" (id INTEGER PRIMARY KEY AUTOINCREMENT, \"NA\"\"ME\" TEXT, note TEXT, "
             "LocalOnly TEXT DEFAULT 'default', importdate TEXT)"_s,
                u"INSERT INTO \"WE\"\"IRD\" (\"NA\"\"ME\", note) VALUES ('b', 'n')"_s,
                u"CREATE TABLE stamps (Id INTEGER PRIMARY KEY, ImportDate TEXT, CreationTimestamp TEXT)"_s,
                u"CREATE TABLE Pairs (A INTEGER, B INTEGER, V TEXT, PRIMARY KEY (A, B))"_s,
                u"INSERT INTO Pairs VALUES (1, 1, 'local')"_s, u"CREATE TABLE Loose (V TEXT)"_s});

        int added = 0;
        QString error;
        QVERIFY2(mergeDatabase(incoming, local, &added, &error), qPrintable(error));
        // One new name (NULL equals NULL, the stamp is no difference), both stamp-only rows, one new pair, two
        // keyless rows.
        QCOMPARE(added, 1 + 2 + 1 + 2);
        const SqliteProbe probe(local);
        QCOMPARE(probe.rows(u"SELECT \"NA\"\"ME\", note, LocalOnly, importdate FROM \"WE\"\"IRD\" ORDER BY id"_s),
            (QList<QVariantList> {
                {u"b"_s, u"n"_s, u"default"_s, QString()}, {u"a"_s, QString(), u"default"_s, u"2020"_s}}));
        QCOMPARE(probe.scalar(u"SELECT V FROM Pairs WHERE A = 1 AND B = 1"_s), QVariant(u"local"_s));
        QCOMPARE(probe.scalar(u"SELECT count(*) FROM sqlite_sequence WHERE name = 'we\"ird'"_s), QVariant(0));

        added = 0;
        QVERIFY(mergeDatabase(incoming, local, &added, &error));
        QCOMPARE(added, 2 + 2);
    }

    void reportRowsFollowTheirReports()
    {
        const QString local = path(u"driver_cards.db"_s);
        const QString incoming = path(u"incoming.db"_s);
        makeReportFile(local, u"ReportId"_s);
        execute(local,
            {u"INSERT INTO DriverCardReports (CardNumber) VALUES ('L1'), ('L2'), ('C1')"_s,
                u"INSERT INTO TachographReports (VIN) VALUES ('VIN-L')"_s,
                u"INSERT INTO Events (ReportId, EventType) VALUES (1, 'L1'), (3, 'E1')"_s,
                u"INSERT INTO DddReportMeta VALUES (3, 1, 'local')"_s});
        makeReportFile(incoming, u"reportid"_s);
        execute(incoming,
            {u"INSERT INTO DriverCardReports VALUES (1, 'C1', '2020-01-01'), (2, 'C1', '2021-01-01'), (3, 'C2', NULL)"_s,
                u"INSERT INTO TachographReports VALUES (1, 'VIN-1', NULL)"_s,
                u"INSERT INTO Events (reportid, EventType) VALUES (1, 'E1'), (2, 'E2'), (3, 'E3'), (99, 'orphan')"_s,
                u"INSERT INTO TachoEvents (ReportId, EventType) VALUES (1, 'T'), (99, 'orphan')"_s,
                u"INSERT INTO DddRows (ReportId, ReportType, Dataset, RowIndex, Json) VALUES "
                "(1, 1, 'events', 0, 'card'), (1, 2, 'events', 0, 'unit'), (7, 1, 'events', 0, 'orphan')"_s,
                u"INSERT INTO DddReportMeta VALUES (1, 1, 'incoming'), (1, 2, 'unit'), (3, 1, 'C2')"_s});

        int added = 0;
        QString error;
        QVERIFY2(mergeDatabase(incoming, local, &added, &error), qPrintable(error));
        // Reports C2 and VIN-1; events E2 and E3; one tachograph event; both generic rows; two of three metas.
        QCOMPARE(added, 2 + 2 + 1 + 2 + 2);
        const SqliteProbe probe(local);
        QCOMPARE(probe.rows(u"SELECT ReportId, EventType FROM Events ORDER BY ReportId, EventId"_s),
            (QList<QVariantList> {{1, u"L1"_s}, {3, u"E1"_s}, {3, u"E2"_s}, {4, u"E3"_s}}));
        QCOMPARE(probe.rows(u"SELECT ReportId, EventType FROM TachoEvents"_s), (QList<QVariantList> {{2, u"T"_s}}));
        QCOMPARE(probe.rows(u"SELECT ReportId, ReportType, Json FROM DddRows ORDER BY ReportType, RowId"_s),
            (QList<QVariantList> {{3, 1, u"card"_s}, {2, 2, u"unit"_s}}));
        QCOMPARE(probe.rows(u"SELECT ReportId, ReportType, Json FROM DddReportMeta ORDER BY ReportId, ReportType"_s),
            (QList<QVariantList> {{2, 2, u"unit"_s}, {3, 1, u"local"_s}, {4, 1, u"C2"_s}}));
        QCOMPARE(probe.scalar(u"SELECT count(*) FROM sqlite_master WHERE name = 'idx_merge_ActivityChanges'"_s),
            QVariant(1));

        added = 0;
        QVERIFY(mergeDatabase(incoming, local, &added, &error));
        QCOMPARE(added, 0);
    }

    void reportsMatchByTheirDownload_data()
    {
        QTest::addColumn<QString>("localMeta");
        QTest::addColumn<QString>("incomingMeta");
        // The event types of the one local report and of each incoming report, one letter an event; every report has
        // the same report row, and its events differ in their type alone (rows of one key).
        QTest::addColumn<QString>("localEvents");
        QTest::addColumn<QStringList>("incomingEvents");
        // The events of each local report after the merge, in their order.
        QTest::addColumn<QStringList>("merged");
        QTest::addColumn<int>("added");
        const QString meta = u"{\"filePath\":\"/%1\",\"sourceFingerprint\":\"%2\"}"_s;
        const QStringList one {u"aaac"_s};
        const QStringList joined {u"abaac"_s};
        const QStringList apart {u"ab"_s, u"aaac"_s};
        QTest::addRow("same fingerprint, other path")
            << meta.arg(u"a"_s, u"f"_s) << meta.arg(u"b"_s, u"f"_s) << u"ab"_s << one << joined << 3;
        // A new report: its row, four events, its meta.
        QTest::addRow("other fingerprint, same path")
            << meta.arg(u"a"_s, u"f"_s) << meta.arg(u"a"_s, u"g"_s) << u"ab"_s << one << apart << 6;
        QTest::addRow("no fingerprint here, same path")
            << meta.arg(u"a"_s, u""_s) << meta.arg(u"a"_s, u"f"_s) << u"ab"_s << one << joined << 3;
        QTest::addRow("no fingerprint there, same path")
            << meta.arg(u"a"_s, u"f"_s) << meta.arg(u"a"_s, u""_s) << u"ab"_s << one << joined << 3;
        QTest::addRow("no meta, equal report rows") << QString() << QString() << u"ab"_s << one << joined << 3;
        QTest::addRow("meta only here, equal report rows")
            << meta.arg(u"a"_s, u"f"_s) << QString() << u"ab"_s << one << apart << 5;
        QTest::addRow("rows the local report lacks")
            << QString() << QString() << u"ab"_s << QStringList {u"cdc"_s} << QStringList {u"abcdc"_s} << 3;
        QTest::addRow("many rows of one key")
            << QString() << QString() << u"b"_s + QString(300, u'a') << QStringList {QString(500, u'a') + u'c'}
            << QStringList {u"b"_s + QString(500, u'a') + u'c'} << 201;
        // Every copy goes to the same local report and is compared with what the copies before it left there: each
        // row as often as the copy holding it most often has it.
        QStringList copies {u"ab"_s, u"aac"_s, u"bbb"_s};
        copies += QStringList(97, u"aab"_s);
        QTest::addRow("copies of one report without meta")
            << QString() << QString() << u"a"_s << copies << QStringList {u"abacbb"_s} << 5;
        QTest::addRow("copies of one report without meta, new here")
            << meta.arg(u"a"_s, u"f"_s) << QString() << u"ab"_s << copies << QStringList {u"ab"_s, u"abacbb"_s}
            << 1 + 6;
        // The same download saved again: its first report brings the rows.
        QTest::addRow("copies of one download") << meta.arg(u"a"_s, u"f"_s) << meta.arg(u"b"_s, u"f"_s) << u"ab"_s
                                                << QStringList {u"aaac"_s, u"dddd"_s} << joined << 3;
    }

    // A report is the same download under the archive's own rule, whatever its report row says; the same report
    // takes only the copies of a row that the incoming ones hold more often, a new one arrives whole, and a repeated
    // merge adds nothing.
    void reportsMatchByTheirDownload()
    {
        QFETCH(QString, localMeta);
        QFETCH(QString, incomingMeta);
        QFETCH(QString, localEvents);
        QFETCH(QStringList, incomingEvents);
        QFETCH(QStringList, merged);
        QFETCH(int, added);
        const QString local = path(u"driver_cards.db"_s);
        const QString incoming = path(u"incoming.db"_s);
        for (const auto &[file, meta, reports] : {std::tuple {local, localMeta, QStringList {localEvents}},
                 std::tuple {incoming, incomingMeta, incomingEvents}}) {
            makeReportFile(file, u"ReportId"_s);
            QStringList statements {u"BEGIN"_s};
            for (qsizetype i = 0; i < reports.size(); ++i) {
                statements.append(u"INSERT INTO TachographReports VALUES (%1, 'VIN', '2024-01-01')"_s.arg(i + 1));
                statements.append(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                  "INSERT INTO TachoEvents (ReportId, EventType) SELECT %2, substr('%3', i, 1) FROM n"_s
                                      .arg(reports.at(i).size())
                                      .arg(i + 1)
                                      .arg(reports.at(i)));
                if (!meta.isEmpty())
                    statements.append(u"INSERT INTO DddReportMeta VALUES (%1, 2, '%2')"_s.arg(i + 1).arg(meta));
            }
            QVERIFY(SqliteProbe(file).executeAll(statements + QStringList {u"COMMIT"_s}));
        }
        int count = 0;
        QString error;
        QVERIFY2(mergeDatabase(incoming, local, &count, &error), qPrintable(error));
        QCOMPARE(count, added);
        QList<QVariantList> expected;
        for (const QString &events : std::as_const(merged))
            expected.append({events});
        const QString events = u"SELECT group_concat(EventType, '') FROM (SELECT * FROM TachoEvents ORDER BY EventId) "
                               "GROUP BY ReportId"_s;
        QCOMPARE(SqliteProbe(local).rows(events), expected);
        QVERIFY(mergeDatabase(incoming, local, &count, &error));
        QCOMPARE(count, added);
        QCOMPARE(SqliteProbe(local).rows(events), expected);
    }

    // Where the local file has no meta table of its own, its reports have no identity and are matched by their own
    // rows, never by the package's meta, which the attached file holds under the same name. The package's report 1
    // is another download (its meta says so); its report 2 has no meta and equals the local report in every column.
    void localReportsWithoutMetaAreMatchedByTheirOwnRows()
    {
        const QString local = path(u"driver_cards.db"_s);
        const QString incoming = path(u"incoming.db"_s);
        makeReportFile(local, u"ReportId"_s);
        makeReportFile(incoming, u"ReportId"_s);
        execute(local,
            {u"DROP TABLE DddReportMeta"_s, u"INSERT INTO TachographReports VALUES (1, 'VIN', '2024-01-01')"_s,
                u"INSERT INTO TachoEvents (ReportId, EventType) VALUES (1, 'a')"_s});
        execute(incoming,
            {u"INSERT INTO TachographReports VALUES (1, 'OTHER', '2024-01-01'), (2, 'VIN', '2024-01-01')"_s,
                u"INSERT INTO TachoEvents (ReportId, EventType) VALUES (1, 'c'), (2, 'b')"_s,
                u"INSERT INTO DddReportMeta VALUES (1, 2, '{\"filePath\":\"/a\",\"sourceFingerprint\":\"f\"}')"_s});
        int added = 0;
        QString error;
        QVERIFY2(mergeDatabase(incoming, local, &added, &error), qPrintable(error));
        QCOMPARE(
            SqliteProbe(local).rows(u"SELECT ReportId, VIN, (SELECT group_concat(EventType, '') FROM (SELECT "
                                    "EventType FROM TachoEvents e WHERE e.ReportId = r.ReportId ORDER BY EventId)) "
                                    "FROM TachographReports r ORDER BY ReportId"_s),
            (QList<QVariantList> {{1, u"VIN"_s, u"ab"_s}, {2, u"OTHER"_s, u"c"_s}}));
        QCOMPARE(added, 3);
    }

    void storedReportsComeOverWhole()
    {
        using tessaron::ddd::DddFileType;
        TESSARON_REQUIRE_SAMPLE(cardPath, u"card-gen1-a.ddd"_s);
        TESSARON_REQUIRE_SAMPLE(unitPath, u"vu-gen1-a.ddd"_s);
        tessaron::test::pinTimeZoneAndClock();
        tessaron::ddd::DddReport card = tessaron::ddd::Decoder::decodeFile(cardPath);
        tessaron::ddd::DddReport unit = tessaron::ddd::Decoder::decodeFile(unitPath);
        const QString incoming = path(u"incoming.db"_s);
        const QString local = path(u"driver_cards.db"_s);
        {
            // Both reports are number 1 of their kind in the incoming file; locally the card becomes number 2 and
            // the vehicle unit number 3. The card was saved from a download cut short, and stays so.
            tessaron::ddd::DddRepository repository(incoming);
            card.truncatedBlock = u"0504"_s;
            QCOMPARE(repository.save(card), 1);
            QCOMPARE(repository.save(unit), 1);
            // Other downloads: the archive tells them apart by their fingerprints.
            card.truncatedBlock.clear();
            card.cardNumber += u"X"_s;
            card.sourceFingerprint += u"X"_s;
            unit.vin += u"X"_s;
            unit.sourceFingerprint += u"X"_s;
            tessaron::ddd::DddRepository other(local);
            QCOMPARE(other.save(card), 1);
            QCOMPARE(other.save(unit), 1);
            unit.vin += u"Y"_s;
            unit.sourceFingerprint += u"Y"_s;
            QCOMPARE(other.save(unit), 2);
        }
        int added = 0;
        QString error;
        QVERIFY2(mergeDatabase(incoming, local, &added, &error), qPrintable(error));
        QVERIFY(added > 90000);
        QCOMPARE(storedReport(local, 2, DddFileType::DriverCard), storedReport(incoming, 1, DddFileType::DriverCard));
        QCOMPARE(
            QList<QString>({tessaron::ddd::DddRepository(local).loadReport(1, DddFileType::DriverCard).truncatedBlock,
                tessaron::ddd::DddRepository(local).loadReport(2, DddFileType::DriverCard).truncatedBlock}),
            QList<QString>({QString(), u"0504"_s}));
        QCOMPARE(storedReport(local, 3, DddFileType::Tachograph), storedReport(incoming, 1, DddFileType::Tachograph));
        QVERIFY(!storedReport(local, 3, DddFileType::Tachograph).isEmpty());

        added = 0;
        QVERIFY(mergeDatabase(incoming, local, &added, &error));
        QCOMPARE(added, 0);
    }

    void unsoundFilesAreRefused_data()
    {
        QTest::addColumn<QString>("damage");
        // The refusal; %1 stands for the blocking file, an empty one is not compared.
        QTest::addColumn<QString>("refusal");
        const QString damaged = u"База данных в пакете повреждена"_s;
        const QString refused = u"База данных в пакете не принята: "_s;
        QTest::addRow("random bytes, local file") << u"random"_s << damaged;
        QTest::addRow("truncated, no local file") << u"truncated"_s << damaged;
        QTest::addRow("local path is a folder") << u"folder"_s << QString();
        QTest::addRow("local folder cannot be made") << u"blocked"_s << u"Не удалось создать каталог: %1"_s;
        // Neither is ever read: the view would not end, the column would compute 300 MB for each of the rows.
        QTest::addRow("endless view in the table's place, local file")
            << u"view"_s << refused + u"на месте таблицы Masters лежит представление"_s;
        QTest::addRow("computed column, no local file")
            << u"computed"_s << refused + u"столбец Ballast таблицы Masters вычисляемый"_s;
        QTest::addRow("virtual table in the table's place, no local file")
            << u"virtual"_s << refused + u"на месте таблицы Masters лежит виртуальная таблица"_s;
        // The file is read alone: the journal beside it is neither played back nor deleted, nor is its super-journal.
        QTest::addRow("hot journal that would make the spoilt file whole, local file") << u"journal"_s << damaged;
        // SQLite would build the whole schema, a table never read included, at about a hundred times its size.
        QTest::addRow("schema over 256 KB, no local file")
            << u"schema"_s
            << refused + u"её схема (описание таблиц, индексов, представлений и триггеров) больше 256 КБ"_s;
        QTest::addRow("schema table spoilt, no local file") << u"schema table"_s << damaged;
    }

    void unsoundFilesAreRefused()
    {
        QFETCH(QString, damage);
        QFETCH(QString, refusal);
        const QString sound = path(u"sound.db"_s);
        // Enough rows for several pages, so that half of the file is not a database.
        makeDatabase(Masters, sound,
            {u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
             "INSERT INTO Masters (FullName) SELECT 'Мастер с довольно длинным именем номер ' || i FROM n"_s});
        const QString incoming = path(u"incoming.db"_s);
        const QString blocker = path(u"blocker"_s);
        const QString local = damage == u"blocked"_s ? blocker + u"/MasterDB.db"_s : path(u"MasterDB.db"_s);
        const QByteArray bytes = contentOf(sound);
        const QString outside = path(u"outside"_s);
        QVERIFY(tessaron::test::writeFile(outside, "kept"));
        if (damage == u"random"_s || damage == u"view"_s || damage == u"journal"_s)
            makeDatabase(Masters, local, {u"INSERT INTO Masters (FullName) VALUES ('a')"_s});
        if (damage == u"random"_s) {
            tessaron::test::writeCorruptFile(incoming);
        } else if (damage == u"journal"_s) {
            // A real hot journal of a transaction that had begun to write the file; then the first page it holds is
            // spoilt in the file. Rolled back, the journal would make the file whole, then delete the file outside.
            QVERIFY(SqliteProbe(sound).copyMidway({u"PRAGMA synchronous = OFF"_s, u"PRAGMA cache_size = 2"_s,
                                                      u"BEGIN"_s, u"UPDATE Masters SET FullName = 'x' || FullName"_s},
                incoming));
            QVERIFY(tessaron::test::nameSuperJournal(incoming + u"-journal"_s, outside));
            QVERIFY(spoilFirstJournalledPage(incoming));
        } else if (damage == u"truncated"_s) {
            QFile file(incoming);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes.left(bytes.size() / 2)) > 0);
        } else {
            QVERIFY(QFile::copy(sound, incoming));
            if (damage == u"view"_s) {
                execute(incoming,
                    {u"DROP TABLE Masters"_s,
                        u"CREATE VIEW Masters AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                        "SELECT i AS Id, 'Мастер ' || i AS FullName FROM n"_s});
            } else if (damage == u"virtual"_s) {
                execute(incoming,
                    {u"DROP TABLE Masters"_s, u"CREATE VIRTUAL TABLE Masters USING fts5(FullName)"_s,
                        u"INSERT INTO Masters (FullName) VALUES ('Мастер')"_s});
            } else if (damage == u"schema"_s) {
                execute(
                    incoming, {u"CREATE TABLE Unread (x DEFAULT (1 IN (%1)))"_s.arg(u"1,"_s.repeated(140000) + u'1')});
            } else if (damage == u"schema table"_s) {
                QFile file(incoming); // the kind of page 1's b-tree page, after the database header
                QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(100) && file.write("\x01", 1) == 1);
            } else if (damage == u"computed"_s) {
                execute(incoming,
                    {u"ALTER TABLE Masters ADD COLUMN Ballast TEXT GENERATED ALWAYS AS (hex(zeroblob(150e6 + 0 * Id)))"
                     " VIRTUAL"_s});
            } else {
                QVERIFY(damage == u"folder"_s ? QDir().mkpath(local)
                                              : !tessaron::test::writeCorruptFile(blocker).isEmpty());
            }
        }
        const bool localExisted = QFileInfo::exists(local);
        const QStringList before = dump(local);

        int added = 3;
        QString error;
        QVERIFY(!mergeDatabase(incoming, local, &added, &error));
        QVERIFY(!error.isEmpty());
        if (!refusal.isEmpty())
            QCOMPARE(error, refusal.contains(u"%1"_s) ? refusal.arg(blocker) : refusal);
        QCOMPARE(added, 3);
        QCOMPARE(dump(local), before);
        QCOMPARE(QFileInfo::exists(local), localExisted);

        // Once the cause is gone the same merge succeeds.
        QVERIFY(QFile::remove(incoming) && QFile::copy(sound, incoming));
        QVERIFY(QDir(local).removeRecursively() || !QFileInfo(local).isDir());
        QFile::remove(blocker);
        const QByteArray journal = contentOf(incoming + u"-journal"_s);
        QVERIFY2(mergeDatabase(incoming, local, &added, &error), qPrintable(error));
        QVERIFY(QFileInfo(local).isFile());
        QCOMPARE(contentOf(incoming + u"-journal"_s), journal);
        QCOMPARE(contentOf(outside), "kept");
    }

    void databaseMadeOnALittleDisk_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("room");
        QTest::addColumn<qint64>("enough");
        const QTemporaryDir folder;
        for (const QString &name : tessaron::sync::SynchronizationManager::databaseNames()) {
            QVERIFY(makeOwnDatabase(name, folder.filePath(name)));
            // The new file and a journal at worst as large beside it, with a page to spare.
            const qint64 enough = 2 * QFileInfo(folder.filePath(name)).size() + 4096;
            for (const qint64 room : tessaron::test::roomsToTry(enough))
                QTest::addRow("%s, %s", qPrintable(name), tessaron::test::roomName(room, enough).constData())
                    << name << room << enough;
        }
    }

    // A package database the installation lacks is made on its disk whole, or the merge says that the disk is full
    // and leaves nothing of it behind.
    void databaseMadeOnALittleDisk()
    {
        QFETCH(QString, name);
        QFETCH(qint64, room);
        QFETCH(qint64, enough);
        const tessaron::test::SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        const QString incoming = path(u"incoming.db"_s);
        QVERIFY(makeOwnDatabase(name, incoming));
        disk.fill(room);
        int added = 0;
        QString error;
        const bool merged = mergeDatabase(incoming, disk.filePath(name), &added, &error);
        const QStringList left = QDir(QFileInfo(disk.filePath(name)).path()).entryList(QDir::Files, QDir::Name);
        if (room >= enough)
            QVERIFY2(merged, qPrintable(error));
        if (merged) {
            QCOMPARE(left, (QStringList {name, u"filler"_s}));
            return;
        }
        QVERIFY2(error.endsWith(u" (на диске нет места)"_s), qPrintable(error));
        QCOMPARE(left, QStringList {u"filler"_s});
    }

    void failedCommitIsReported()
    {
        const QString incoming = path(u"incoming.db"_s);
        const QString local = path(u"MasterDB.db"_s);
        makeDatabase(Masters, incoming, {u"INSERT INTO Masters (FullName) VALUES ('a'), ('b'), ('c')"_s});
        makeDatabase(Masters, local);
        int added = 2;
        QString error;
        {
            // A reader in the middle of its result keeps the file from being written (after the busy time-out).
            tessaron::storage::SqlConnection reader(u"Reader"_s, local);
            QSqlQuery query(reader.database());
            QVERIFY(query.exec(u"SELECT name FROM sqlite_master"_s) && query.next());
            QVERIFY(!mergeDatabase(incoming, local, &added, &error));
        }
        QCOMPARE(error, u"Не удалось завершить запись в базу MasterDB.db"_s);
        QCOMPARE(added, 2);
        QCOMPARE(SqliteProbe(local).scalar(u"SELECT count(*) FROM Masters"_s), QVariant(0));
        QVERIFY(mergeDatabase(incoming, local, &added, &error));
        QCOMPARE(added, 2 + 3);
    }

private:
    QString path(const QString &name) const { return m_directory->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_directory;
    QStringList m_connections;
};

QTEST_GUILESS_MAIN(TestDatabaseMerge)
#include "tst_database_merge.moc"
