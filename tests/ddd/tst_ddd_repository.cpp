#include "ddd/ddd_decoder.h"
#include "ddd/ddd_repository.h"
#include "ddd/ddd_repository_values.h"
#include "ddd/driven_distance.h"
#include "ddd_file_builder.h"
#include "storage/database_catalog.h"
#include "support/log_capture.h"
#include "support/second_copy.h"
#include "support/small_disk.h"
#include "support/sqlite_probe.h"
#include "support/statement_hook.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;
using tessaron::ddd::DddFileType;
using tessaron::ddd::DddReport;
using tessaron::ddd::DddRepository;
using tessaron::test::CardFileBuilder;
using tessaron::test::SecondCopy;
using tessaron::test::SqliteProbe;
using tessaron::test::VuFileBuilder;

Q_DECLARE_METATYPE(tessaron::ddd::DddReport)

namespace {

QVariantList rows(int count, const QString &key)
{
    QVariantList list;
    for (int i = 0; i < count; ++i)
        list.append(QVariantMap {{key, QString::number(i)}});
    return list;
}

DddReport cardReport(const QString &cardNumber = u"C1"_s, int places = 0)
{
    DddReport report;
    report.fileType = DddFileType::DriverCard;
    report.cardNumber = cardNumber;
    report.events = rows(2, u"eventType"_s);
    report.places = rows(places, u"entryTime"_s);
    report.sections = {QVariantMap {{u"fileNumber"_s, u"0501"_s}, {u"occurrence"_s, 1}, {u"payloadHex"_s, u"0A0B"_s}}};
    return report;
}

DddReport vuReport(int cardIwRows = 0)
{
    DddReport report;
    report.fileType = DddFileType::Tachograph;
    report.vin = u"VIN1"_s;
    report.tachoEvents = rows(3, u"eventType"_s);
    report.cardIwData = rows(cardIwRows, u"dayNo"_s);
    return report;
}

QStringList canonicalRows(const QVariantList &list)
{
    QStringList texts;
    for (const QVariant &row : list)
        texts.append(QString::fromUtf8(tessaron::ddd::compactJson(row)));
    return texts;
}

} // namespace

class TestDddRepository : public QObject
{
    Q_OBJECT

public:
    static void initMain() { SecondCopy::actIfAsked(); }

private slots:
    void init()
    {
        m_paths = std::make_unique<tessaron::test::TempAppPaths>();
        m_repository = std::make_unique<DddRepository>();
        QVERIFY2(m_repository->isOpen(), qPrintable(m_repository->lastError()));
        m_file = tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::Reports);
    }

    void cleanup()
    {
        m_repository.reset();
        m_paths.reset();
        tessaron::test::releaseTimeZoneAndClock();
    }

    void reportsComeBackWholeOrFail_data()
    {
        QTest::addColumn<QString>("sample"); // a real download; none for a synthetic one
        QTest::addColumn<QByteArray>("content"); // the synthetic download
        QTest::addColumn<QStringList>("setup"); // statements run on the file before the load
        QTest::addColumn<QString>("intruder"); // what a second copy does during the load: "hold" the file, "remove"
        QTest::addColumn<QString>("atStatement"); // ... as the load's statement holding this text starts
        QTest::addColumn<QString>("error"); // the load's failure; none: the report comes back whole
        QTest::addColumn<QString>("truncatedBlock"); // the block the download was cut in, as stored and loaded

        const QString none;
        const QByteArray unit = VuFileBuilder::typicalDownload(3, 10);
        const auto days = CardFileBuilder::workingDays(4);
        const QByteArray card = CardFileBuilder::driverCardWithActivity(days);
        const QString speedRows = u"Dataset = 'detailedSpeed'"_s;
        const QString failed = u"Не удалось прочитать сохранённый отчёт"_s;
        QTest::addRow("driver card") << u"card-gen1-a.ddd"_s << QByteArray() << QStringList() << none << none << none
                                     << none;
        QTest::addRow("vehicle unit") << u"vu-gen1-a.ddd"_s << QByteArray() << QStringList() << none << none << none
                                      << none;
        QTest::addRow("driver card cut inside its activity file")
            << none << CardFileBuilder::driverCardCutInActivity(days) << QStringList() << none << none << none
            << u"0504"_s;
        // The read holds the file from its first statement: the other program waits, or gives up, and never writes
        // between two statements of one load.
        QTest::addRow("file wanted by another program just before the speed rows")
            << none << unit << QStringList() << u"hold"_s << speedRows << none << none;
        QTest::addRow("report removed by another copy just before the speed rows")
            << none << unit << QStringList() << u"remove"_s << speedRows << none << none;
        QTest::addRow("report removed by another copy just before its sections")
            << none << card << QStringList() << u"remove"_s << u"FROM DddSections"_s << none << none;
        QTest::addRow("file held by another program past the wait")
            << none << unit << QStringList() << u"hold"_s << u"FROM TachographReports"_s
            << failed + u": базу отчётов держит другая программа дольше 5 с"_s << none;
        QTest::addRow("sections table gone")
            << none << card << QStringList {u"ALTER TABLE DddSections RENAME TO DddSectionsGone"_s} << none << none
            << failed << none;
        // A value computed as it is read fails at its row's step, after the statement has started well.
        QTest::addRow("a typed row that cannot be read")
            << none << card
            << QStringList {u"INSERT INTO Places (ReportId) VALUES (1)"_s,
                   u"ALTER TABLE Places ADD COLUMN Broken AS (abs(-9223372036854775807 - 1))"_s}
            << none << none << failed << none;
    }

    // Every part of a stored report comes back as it was saved, read in one read transaction: another program that
    // wants the file during the load waits for it (or gives up), and a statement that fails makes the whole load a
    // failure that says why, with nothing of the report.
    void reportsComeBackWholeOrFail()
    {
        QFETCH(QString, sample);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, setup);
        QFETCH(QString, intruder);
        QFETCH(QString, atStatement);
        QFETCH(QString, error);
        QFETCH(QString, truncatedBlock);
        QString path = m_paths->filePath(u"download.ddd"_s);
        if (!sample.isEmpty()) {
            TESSARON_REQUIRE_SAMPLE(samplePath, sample);
            path = samplePath;
        } else {
            QVERIFY(tessaron::test::writeFile(path, content));
        }
        tessaron::test::pinTimeZoneAndClock();
        const DddReport original = tessaron::ddd::Decoder::decodeFile(path);
        const qint64 id = m_repository->save(original);
        QVERIFY2(id > 0, qPrintable(m_repository->lastError()));
        for (const QString &statement : std::as_const(setup))
            QVERIFY(SqliteProbe(m_file).execute(statement));

        std::unique_ptr<SecondCopy> copy;
        QString loadError;
        DddReport loaded;
        {
            const tessaron::test::StatementHook hook(u"TessaronDdd_"_s, [&](const QString &statement) {
                if (!intruder.isEmpty() && !copy && statement.contains(atStatement))
                    copy = intruder == u"hold"_s ? SecondCopy::holdFile(m_file, std::chrono::milliseconds(300))
                                                 : SecondCopy::removeReport(m_file, id, original.fileType);
            });
            QVERIFY(hook.isHooked());
            loaded = m_repository->loadReport(id, original.fileType, &loadError);
        }
        QCOMPARE(copy == nullptr, intruder.isEmpty());
        const QString said = copy ? copy->said() : QString();
        const QString outcome = copy ? copy->finish() : QString();
        if (!error.isEmpty()) {
            QCOMPARE(QList<QString>({loadError, m_repository->lastError()}), QList<QString>({error, error}));
            QCOMPARE(loaded.fileType, DddFileType::Unknown);
            QVERIFY(loaded.blocks.isEmpty() && loaded.fileName.isEmpty());
            QCOMPARE(said, intruder.isEmpty() ? QString() : u"held"_s);
            return;
        }
        QVERIFY2(loadError.isEmpty(), qPrintable(loadError));
        if (intruder == u"hold"_s)
            QCOMPARE(said, u"busy"_s);
        if (intruder == u"remove"_s) {
            QCOMPARE(QList<QString>({said, outcome}), QList<QString>({u"committing"_s, u"removed"_s}));
            QCOMPARE(m_repository->storedReportId(id, original.fileType), 0);
        }

        for (const auto &entry : tessaron::ddd::allDatasets)
            QCOMPARE(canonicalRows(loaded.*entry.member), canonicalRows(original.*entry.member));
        QCOMPARE(tessaron::ddd::compactJson(loaded.analysis), tessaron::ddd::compactJson(original.analysis));
        QCOMPARE(QList<QString>({original.truncatedBlock, loaded.truncatedBlock}),
            QList<QString>({truncatedBlock, truncatedBlock}));
        const bool isCard = original.fileType == DddFileType::DriverCard;
        const QStringList loadedTexts {loaded.filePath, loaded.fileName, loaded.sourceFingerprint, loaded.vin,
            loaded.registrationNumber, loaded.vehicleRegistrationNation, loaded.cardNumber, loaded.driverName,
            loaded.driverSurname, loaded.birthDate, loaded.dataStartDate, loaded.dataEndDate,
            loaded.nextCalibrationDate, loaded.vehicleFirstUseDate, loaded.cardWithdrawalTime,
            loaded.issuingAuthorityName};
        const QStringList expectedTexts {original.filePath, original.fileName, original.sourceFingerprint,
            isCard ? QString() : original.vin, isCard ? QString() : original.registrationNumber,
            isCard ? QString() : original.vehicleRegistrationNation, isCard ? original.cardNumber : QString(),
            original.driverName, isCard ? original.driverSurname : QString(), isCard ? original.birthDate : QString(),
            original.dataStartDate, original.dataEndDate, isCard ? QString() : original.nextCalibrationDate,
            original.vehicleFirstUseDate, original.cardWithdrawalTime,
            isCard ? original.issuingAuthorityName : QString()};
        QCOMPARE(loadedTexts, expectedTexts);
        QCOMPARE(loaded.size, original.size);
        QCOMPARE(loaded.printableStrings, original.printableStrings);
        QCOMPARE(loaded.asn1Version, original.asn1Version);
        QCOMPARE(loaded.asn1Identity.cardNumber, original.asn1Identity.cardNumber);
        const QList<double> loadedTotals {double(loaded.totalOverSpeeding), double(loaded.totalCalibrations),
            double(loaded.totalDays), double(loaded.totalDistanceKm), loaded.averageSpeed, double(loaded.maxSpeed),
            double(loaded.daysWithOverSpeeding), double(loaded.daysWithFaults)};
        // A card keeps only its distance among the totals.
        const QList<double> expectedTotals = isCard
            ? QList<double> {0.0, 0.0, 0.0, double(original.totalDistanceKm), 0.0, 0.0, 0.0, 0.0}
            : QList<double> {double(original.totalOverSpeeding), double(original.totalCalibrations),
                double(original.totalDays), double(original.totalDistanceKm), original.averageSpeed,
                double(original.maxSpeed), double(original.daysWithOverSpeeding), double(original.daysWithFaults)};
        QCOMPARE(loadedTotals, expectedTotals);
        QCOMPARE(loaded.blocks.size(), original.blocks.size());
        for (qsizetype i = 0; i < loaded.blocks.size(); ++i) {
            QCOMPARE(loaded.blocks.at(i).fileNumber, original.blocks.at(i).fileNumber);
            QCOMPARE(loaded.blocks.at(i).offset, original.blocks.at(i).offset);
            QCOMPARE(loaded.blocks.at(i).data, original.blocks.at(i).data);
            QCOMPARE(loaded.blocks.at(i).fileType, 0);
        }
        QCOMPARE(loaded.structureText,
            u"Сохранённый отчёт: %1, разделов: %2"_s.arg(tessaron::ddd::Decoder::typeName(original.fileType))
                .arg(original.blocks.size()));

        if (intruder == u"remove"_s)
            return;
        const QVariantMap map = m_repository->load(id, original.fileType);
        QCOMPARE(map.value(u"reportId"_s).toLongLong(), id);
        int lists = 0;
        for (const auto &entry : tessaron::ddd::allDatasets)
            lists += map.contains(QString(entry.name));
        QCOMPARE(lists, 30);
        QVERIFY(m_repository->load(id + 1, original.fileType).isEmpty());
    }

    void reportsOfTheOlderLayoutLoadFromTypedTables()
    {
        DddReport report = cardReport();
        report.activityChanges = {QVariantMap {{u"activityDailyPresenceCounter1"_s, u"1"_s}, {u"activity"_s, u"0"_s}}};
        const qint64 id = m_repository->save(report);
        const SqliteProbe probe(m_file);
        QVERIFY(probe.execute(u"DELETE FROM DddRows"_s));
        QVERIFY(probe.execute(u"DELETE FROM DddReportMeta"_s));
        const DddReport loaded = m_repository->loadReport(id, DddFileType::DriverCard);
        QCOMPARE(loaded.events.size(), 2);
        const QVariantMap event = loaded.events.at(1).toMap();
        QCOMPARE(event.value(u"EventType"_s).toString(), u"1"_s);
        QCOMPARE(event.value(u"eventType"_s).toString(), u"1"_s);
        QCOMPARE(event.value(u"reportId"_s).toLongLong(), id);
        QVERIFY(loaded.analysis.contains(u"workingHours"_s));
        QCOMPARE(loaded.totalDays, loaded.analysis.value(u"workingHours"_s).toList().size());
        QCOMPARE(loaded.cardNumber, u"C1"_s);
    }

    void failedSaveLeavesNoTrace_data()
    {
        QTest::addColumn<DddReport>("report");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("error");

        QTest::addRow("third of five place rows")
            << cardReport(u"C1"_s, 5)
            << QStringList {u"CREATE TRIGGER Refuse BEFORE INSERT ON Places WHEN (SELECT count(*) FROM Places WHERE "
                            "ReportId = NEW.ReportId) = 2 BEGIN SELECT RAISE(ABORT, 'place refused'); END"_s}
            << u"Не удалось сохранить строки отчёта (таблица Places)|place refused Unable to fetch row"_s;
        QTest::addRow("fifth card insertion of a vehicle unit")
            << vuReport(6)
            << QStringList {u"CREATE TRIGGER Refuse BEFORE INSERT ON TachoCardIWData WHEN (SELECT count(*) FROM "
                            "TachoCardIWData) = 4 BEGIN SELECT RAISE(ABORT, 'insertion refused'); END"_s}
            << u"Не удалось сохранить строки отчёта (таблица TachoCardIWData)|insertion refused Unable to fetch row: "
               u"INSERT INTO TachoCardIWData (ReportId, DayNo, CardHolderSurname, "
               "CardHolderFirstNames, CardType, CardIssuingMemberState, DriverCardNumber, CardExpiryDate, "
               "CardInsertionDate, VehicleOdometerValueAtInsertion, CardSlot, CardWithdrawalTime, "
               "VehicleOdometerValueAtWithdrawal, PrevVehicleRegistrationNation, PrevVehicleRegistrationNumber, "
               "PrevCardWithdrawalTime, ManualInputFlag) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s;
        // A deferred foreign key fails only at COMMIT, which SQLite then leaves open unless it is rolled back.
        QTest::addRow("commit")
            << cardReport(u"BLOCK"_s)
            << QStringList {u"CREATE TABLE Blocker (Ref INTEGER REFERENCES DriverCardReports(ReportId) DEFERRABLE "
                            "INITIALLY DEFERRED)"_s,
                   u"CREATE TRIGGER Block AFTER INSERT ON DriverCardReports WHEN NEW.CardNumber = 'BLOCK' BEGIN "
                   "INSERT INTO Blocker VALUES (-1); END"_s}
            << u"Не удалось сохранить отчёт в базу|FOREIGN KEY constraint failed Unable to commit transaction"_s;
    }

    void failedSaveLeavesNoTrace()
    {
        QFETCH(DddReport, report);
        QFETCH(QStringList, setup);
        QFETCH(QString, error); // the sentence shown, then the driver's text the log keeps
        for (const QString &statement : std::as_const(setup))
            QVERIFY(SqliteProbe(m_file).execute(statement));

        const tessaron::test::LogCapture log;
        QCOMPARE(m_repository->save(report), -1);
        QCOMPARE(m_repository->lastError(), error.section(u'|', 0, 0));
        QVERIFY2(log.text().contains(error.section(u'|', 1)), qPrintable(log.text()));
        QCOMPARE(rowsInAllTables(), 0);
        QVERIFY(m_repository->listReports().isEmpty());

        const qint64 next = m_repository->save(cardReport(u"C2"_s));
        QVERIFY2(next > 0, qPrintable(m_repository->lastError()));
        QVERIFY(m_repository->remove(next, DddFileType::DriverCard));
        QCOMPARE(rowsInAllTables(), 0);
    }

    // A save that meets a full disk says so, and the reports stored before stay whole.
    void saveOnAFullDiskSaysSo()
    {
        const tessaron::test::SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        DddRepository repository(disk.filePath(u"ReportsDB.db"_s));
        QVERIFY2(repository.isOpen(), qPrintable(repository.lastError()));
        QVERIFY2(repository.save(cardReport(u"C1"_s, 5)) > 0, qPrintable(repository.lastError()));
        disk.fill();

        QCOMPARE(repository.save(vuReport(200)), -1);
        QVERIFY2(repository.lastError().endsWith(u" (на диске нет места)"_s), qPrintable(repository.lastError()));
        const QVariantList stored = repository.listReports();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(
            repository.loadReport(stored.first().toMap().value(u"reportId"_s).toLongLong(), DddFileType::DriverCard)
                .places.size(),
            5);
    }

    void olderFilesGainTheirColumnsOnce()
    {
        m_repository.reset();
        const QString path = m_paths->filePath(u"older.db"_s);
        const SqliteProbe probe(path);
        QVERIFY(probe.execute(u"CREATE TABLE DriverCardReports (ReportId INTEGER PRIMARY KEY AUTOINCREMENT, "
                              "ReportDate DATETIME, CardNumber TEXT, drivingLicenceNumber TEXT)"_s));
        QVERIFY(probe.execute(u"INSERT INTO DriverCardReports (CardNumber) VALUES ('OLD')"_s));
        QVERIFY(probe.execute(
            u"CREATE TABLE TachographReports (ReportId INTEGER PRIMARY KEY AUTOINCREMENT, ReportDate, VIN TEXT, "
            "VehicleRegistration TEXT, TotalEvents, TotalFaults, TotalDays, TotalDistanceKm)"_s));
        QVERIFY(probe.execute(u"INSERT INTO TachographReports (VIN) VALUES ('OLDVIN')"_s));
        QVERIFY(probe.execute(u"CREATE TABLE TachoDetailedSpeedData (SpeedId INTEGER PRIMARY KEY AUTOINCREMENT, "
                              "ReportId INTEGER NOT NULL, SpeedBlockBeginDate TEXT, SpeedsPerSecond TEXT)"_s));

        QStringList firstColumns;
        for (int open = 0; open < 2; ++open) {
            DddRepository repository(path);
            QVERIFY2(repository.lastError().isEmpty(), qPrintable(repository.lastError()));
            const QString typeOf = u"SELECT type FROM pragma_table_info('%1') WHERE name = '%2'"_s;
            QCOMPARE(probe.scalar(typeOf.arg(u"DriverCardReports"_s, u"TotalRestHours"_s)).toString(), u"INTEGER"_s);
            QCOMPARE(probe.scalar(typeOf.arg(u"TachographReports"_s, u"AverageSpeed"_s)).toString(), u"REAL"_s);
            QCOMPARE(probe.scalar(typeOf.arg(u"TachoDetailedSpeedData"_s, u"SpeedValuesJson"_s)).toString(), u"TEXT"_s);
            const QStringList columns = probe.columns(u"DriverCardReports"_s) + probe.columns(u"TachographReports"_s);
            QCOMPARE(columns.filter(u"drivingLicenceNumber"_s, Qt::CaseInsensitive).size(), 1);
            if (open == 0)
                firstColumns = columns;
            QCOMPARE(columns, firstColumns);
            QCOMPARE(
                probe.scalar(u"SELECT CardNumber FROM DriverCardReports WHERE TotalRestHours IS NULL"_s).toString(),
                u"OLD"_s);
            QCOMPARE(probe.scalar(u"SELECT VIN FROM TachographReports WHERE ReportId = 1"_s).toString(), u"OLDVIN"_s);
            QCOMPARE(repository.save(vuReport()), 2 + open);
        }
    }

    void connectionsAreIndependent()
    {
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        QCOMPARE(rowsInAllTables(), 0);
        auto second = std::make_unique<DddRepository>();
        QVERIFY(QSqlDatabase::connectionNames().filter(u"TessaronDdd_"_s).size() == 2);
        QCOMPARE(second->save(cardReport()), 1);
        QCOMPARE(m_repository->save(vuReport()), 1);
        second.reset();
        const QVariantList listed = m_repository->listReports();
        QCOMPARE(listed.size(), 2);
        QSet<int> kinds;
        for (const QVariant &row : listed)
            kinds.insert(row.toMap().value(u"fileKind"_s).toInt());
        QCOMPARE(kinds, QSet<int>({int(DddFileType::DriverCard), int(DddFileType::Tachograph)}));
        QCOMPARE(m_repository->save(cardReport()), 2);
    }

    void failedCatalogueLeavesNoConnection()
    {
        m_repository.reset();
        const QString blocker = m_paths->filePath(u"blocker"_s);
        QVERIFY(SqliteProbe(blocker).execute(u"CREATE TABLE T (V)"_s));
        qputenv("LOCALAPPDATA", blocker.toLocal8Bit());
        DddRepository repository;
        QVERIFY(!repository.isOpen());
        QVERIFY2(repository.lastError().startsWith(u"Не удалось создать каталог базы отчётов"_s),
            qPrintable(repository.lastError()));
        QVERIFY(QSqlDatabase::connectionNames().isEmpty());
        QCOMPARE(repository.save(cardReport()), -1);
        QCOMPARE(repository.loadReport(1, DddFileType::DriverCard).fileType, DddFileType::Unknown);
        QVERIFY(repository.listReports().isEmpty());
        QVERIFY(!repository.remove(1, DddFileType::DriverCard));
        QCOMPARE(repository.findDuplicateReport(cardReport()), -1);
        QCOMPARE(repository.lastError(), u"DDD report database is not open"_s);
    }

    void duplicatesFollowFingerprintThenPath_data()
    {
        QTest::addColumn<QStringList>("stored"); // "type fingerprint path" per stored report, in id order
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<qint64>("expected");

        QTest::addRow("fingerprint decides over path") << QStringList {u"1 F1 /a"_s} << u"1 F2 /a"_s << qint64(0);
        QTest::addRow("same fingerprint, highest id")
            << QStringList {u"1 F1 /a"_s, u"1 F1 /b"_s, u"1 F2 /c"_s} << u"1 F1 /c"_s << qint64(2);
        QTest::addRow("stored without fingerprint: path") << QStringList {u"1 - /a"_s} << u"1 F1 /a"_s << qint64(1);
        QTest::addRow("wanted without fingerprint: path") << QStringList {u"1 F1 /a"_s} << u"1 - /a"_s << qint64(1);
        QTest::addRow("no fingerprints, no path") << QStringList {u"1 - -"_s} << u"1 - -"_s << qint64(0);
        QTest::addRow("card never matches tachograph") << QStringList {u"2 F1 /a"_s} << u"1 F1 /a"_s << qint64(0);
        QTest::addRow("meta not an object is skipped")
            << QStringList {u"1 F1 /a"_s, u"1 F1 /a broken"_s} << u"1 F1 /a"_s << qint64(1);
    }

    void duplicatesFollowFingerprintThenPath()
    {
        QFETCH(QStringList, stored);
        QFETCH(QString, wanted);
        QFETCH(qint64, expected);
        const auto report = [](const QString &description) {
            const QStringList parts = description.split(u' ');
            DddReport report = parts.at(0) == u"2" ? vuReport() : cardReport();
            report.sourceFingerprint = parts.at(1) == u"-" ? QString() : parts.at(1);
            report.filePath = parts.at(2) == u"-" ? QString() : parts.at(2);
            return report;
        };
        for (const QString &description : std::as_const(stored)) {
            const qint64 id = m_repository->save(report(description));
            if (description.endsWith(u"broken"_s))
                QVERIFY(
                    SqliteProbe(m_file).execute(u"UPDATE DddReportMeta SET Json = '[1]' WHERE ReportId = ?"_s, {id}));
        }
        QCOMPARE(m_repository->findDuplicateReport(report(wanted)), expected);
    }

    void removalTakesOneReportWhole()
    {
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(m_repository->save(cardReport()), i + 1);
            QCOMPARE(m_repository->save(vuReport()), i + 1);
        }
        const qint64 before = rowsInAllTables();
        QVERIFY(m_repository->remove(3, DddFileType::DriverCard));
        QCOMPARE(count(u"Events"_s, u"ReportId = 3"_s), 0);
        QCOMPARE(count(u"DddRows"_s, u"ReportId = 3 AND ReportType = 1"_s), 0);
        QCOMPARE(count(u"DddSections"_s, u"ReportId = 3 AND ReportType = 1"_s), 0);
        QCOMPARE(count(u"DddReportMeta"_s, u"ReportId = 3 AND ReportType = 1"_s), 0);
        // header, two events, their two JSON rows, the section as a JSON row and a section row, the meta row
        QCOMPARE(rowsInAllTables(), before - 8);
        QCOMPARE(m_repository->loadReport(3, DddFileType::Tachograph).tachoEvents.size(), 3);
        QCOMPARE(count(u"TachoEvents"_s, u"ReportId = 3"_s), 3);
        QVERIFY(m_repository->remove(99, DddFileType::Tachograph));
        QCOMPARE(rowsInAllTables(), before - 8);
    }

    void listingIsNewestFirst()
    {
        tessaron::test::pinTimeZoneAndClock("Europe/Berlin");
        const SqliteProbe probe(m_file);
        const QStringList cardDates {u"2024-03-01 10:00:00"_s, u"01.03.2024 10:00:05"_s, u""_s,
            u"2024-03-31 02:30:00"_s, u"2024-03-01 10:00:00"_s, u"garbage"_s};
        for (const QString &date : cardDates)
            QVERIFY(probe.execute(u"INSERT INTO DriverCardReports (ReportDate, CardNumber) VALUES (?, 'C')"_s, {date}));
        QVERIFY(
            probe.execute(u"INSERT INTO TachographReports (ReportId, ReportDate) VALUES (5, '2024-03-01 10:00:00')"_s));
        QVERIFY(probe.execute(u"INSERT INTO TachographReports (ReportDate) VALUES ('2024-03-31 03:00:00')"_s));
        QStringList order;
        for (const QVariant &entry : m_repository->listReports()) {
            const QVariantMap map = entry.toMap();
            order.append(map.value(u"reportType"_s).toString().left(1) + map.value(u"reportId"_s).toString());
        }
        QCOMPARE(order, QStringList({u"Т6"_s, u"К4"_s, u"К2"_s, u"К5"_s, u"Т5"_s, u"К1"_s, u"К6"_s, u"К3"_s}));
    }

    void storedFormAndTotals()
    {
        DddReport card = cardReport();
        card.fileType = DddFileType::Unknown;
        card.totalDistanceKm = 7;
        card.events = {QVariantMap {{u"b"_s, u"Тест \"1\""_s}, {u"a"_s, 1}, {u"EventType"_s, u"E"_s}}};
        card.vehicles = {QVariantMap {{u"vehicleOdometerBegin"_s, u"НЕТ ДАННЫХ"_s}, {u"vehicleOdometerEnd"_s, 500000}},
            QVariantMap {{u"vehicleOdometerBegin"_s, 100}, {u"vehicleOdometerEnd"_s, u"150"_s}},
            QVariantMap {{u"vehicleOdometerBegin"_s, 200}, {u"vehicleOdometerEnd"_s, 150}},
            // Past what an odometer shows (a synchronised database may hold anything): no reading, so no distance
            // and no sum that wraps below zero.
            QVariantMap {
                {u"vehicleOdometerBegin"_s, 0}, {u"vehicleOdometerEnd"_s, qlonglong(9'000'000'000'000'000'000)}},
            QVariantMap {{u"vehicleOdometerBegin"_s, 0}, {u"vehicleOdometerEnd"_s, 10'000'000}}};
        for (int i = 0; i < 250; ++i)
            card.vehicles.append(QVariantMap {{u"vehicleOdometerBegin"_s, 0}, {u"vehicleOdometerEnd"_s, 9'999'999}});
        QCOMPARE(m_repository->save(card), 1);
        const SqliteProbe probe(m_file);
        const auto text = [&](const QString &sql) { return probe.scalar(sql).toString(); };
        // The vehicles' distances, summed in 64 bits; the report's own 7 km is not added again: the total is the
        // one rule the charts draw, which the decoder also writes into the report.
        QCOMPARE(probe.scalar(u"SELECT TotalDistanceKm FROM DriverCardReports"_s).toLongLong(), 50 + 250 * 9'999'999LL);
        tessaron::ddd::fillTotalDistance(card); // the report holds the largest value it can, not a wrapped one
        QCOMPARE(card.totalDistanceKm, std::numeric_limits<qint32>::max());
        QCOMPARE(text(u"SELECT Json FROM DddRows WHERE Dataset = 'events'"_s),
            u"{\"EventType\":\"E\",\"a\":1,\"b\":\"Тест \\\"1\\\"\"}"_s);
        QCOMPARE(text(u"SELECT EventType FROM Events"_s), u"E"_s);
        QCOMPARE(count(u"DddReportMeta"_s, u"ReportType = 1"_s), 1);
        QCOMPARE(text(u"SELECT json_type(Json, '$.averageSpeed') || json_array_length(Json, '$.printableStrings')"
                      " || (SELECT count(*) FROM json_each(DddReportMeta.Json)) FROM DddReportMeta"_s),
            u"integer037"_s);

        DddReport vu = vuReport();
        vu.overSpeedingEvents = {QVariantMap {{u"maxSpeedValue"_s, 90}}, QVariantMap {},
            QVariantMap {{u"maxspeedvalue"_s, 80}}, QVariantMap {{u"eventType1"_s, 0}, {u"eventType"_s, 3}}, 5};
        vu.detailedSpeed = {QVariantMap {{u"speedsPerSecond"_s, QVariantList {1, 2}}}};
        QCOMPARE(m_repository->save(vu), 1);
        QCOMPARE(text(u"SELECT group_concat(ifnull(EventType, '-') || ':' || ifnull(MaxSpeedValue, '-')) "
                      "FROM TachoOverSpeedingEvents"_s),
            u"-:90,0:-"_s);
        QCOMPARE(text(u"SELECT TotalOverSpeeding || TotalEvents FROM TachographReports"_s), u"53"_s);
        QCOMPARE(text(u"SELECT SpeedsPerSecond || SpeedValuesJson FROM TachoDetailedSpeedData"_s), u"[1,2][1,2]"_s);
    }

private:
    qint64 count(const QString &table, const QString &where = u"1"_s) const
    {
        return SqliteProbe(m_file).scalar(u"SELECT count(*) FROM %1 WHERE %2"_s.arg(table, where)).toLongLong();
    }

    qint64 rowsInAllTables() const
    {
        const QVariant names = SqliteProbe(m_file).scalar(u"SELECT group_concat(name) FROM sqlite_master WHERE type = "
                                                          "'table' AND name NOT IN ('sqlite_sequence', 'Blocker')"_s);
        const QStringList tables = names.toString().split(u',');
        [&] { QCOMPARE(tables.size(), 23); }();
        qint64 total = 0;
        for (const QString &table : tables)
            total += count(table);
        return total;
    }

    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    std::unique_ptr<DddRepository> m_repository;
    QString m_file;
};

QTEST_GUILESS_MAIN(TestDddRepository)
#include "tst_ddd_repository.moc"
