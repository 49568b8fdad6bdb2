#include "storage/certificate_repository.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::CertificateRepository;
using tessaron::test::SqliteProbe;

namespace {

QList<int> ids(const QList<QVariantMap> &rows)
{
    QList<int> result;
    for (const QVariantMap &row : rows)
        result.append(row.value(u"Id"_s).toInt());
    return result;
}

} // namespace

class TestCertificateRepository : public QObject
{
    Q_OBJECT

private slots:
    // The default file in the application folder, with the record's 30 values between the fixed columns.
    void tableLayout()
    {
        const tessaron::test::TempAppPaths paths;
        const CertificateRepository repository;
        QVERIFY2(repository.testConnection() && repository.lastError().isEmpty(), qPrintable(repository.lastError()));
        QCOMPARE(
            repository.databasePath(), QDir(paths.localAppData()).filePath(u"Tessaron/Data/DB/CertificateDB.db"_s));
        QStringList expected {u"Id INTEGER"_s, u"RecordDateTime DATETIME"_s};
        for (const QString &name : CertificateRepository::fields())
            expected.append(name + u" TEXT"_s);
        expected += {u"DocumentPath TEXT"_s, u"PdfPath TEXT"_s, u"IsSuccess INTEGER"_s, u"ErrorMessage TEXT"_s,
            u"CreationTimestamp DATETIME"_s};
        const QVariant columns = SqliteProbe(repository.databasePath())
                                     .scalar(u"SELECT group_concat(line, '|') FROM (SELECT name || ' ' || type AS line "
                                             "FROM pragma_table_info('CertificateData') ORDER BY cid)"_s);
        QCOMPARE(columns.toString().split(u'|'), expected);
    }

    void rowsAndTheirChanges()
    {
        const tessaron::test::TempAppPaths paths;
        CertificateRepository repository(paths.filePath(u"c.db"_s));
        const QVariantMap partial = {{u"OrderNumber"_s, 12}, {u"OrderMaster"_s, u""_s}, {u"NotAField"_s, u"x"_s}};
        const int id = repository.saveCertificate(partial, u"doc"_s, u"pdf"_s, true);
        const int other = repository.saveCertificate(partial, {}, {}, false);
        QVERIFY2(id > 0 && other > id, qPrintable(repository.lastError()));

        QVariantMap row = repository.certificate(id);
        QCOMPARE(row.size(), 37);
        QCOMPARE(row.value(u"OrderNumber"_s), QVariant(u"12"_s));
        QCOMPARE(row.value(u"OrderMaster"_s), QVariant(u""_s));
        QVERIFY(row.value(u"VehicleVin"_s).isNull());
        QCOMPARE(row.value(u"IsSuccess"_s), QVariant(1));
        QVERIFY(tessaron::storage::dateTimeFromSql(row.value(u"CreationTimestamp"_s)).isValid());
        QCOMPARE(repository.certificate(other).value(u"IsSuccess"_s), QVariant(0));

        QVariantMap full;
        for (const QString &name : CertificateRepository::fields())
            full.insert(name, QString(name + u" new"_s));
        full.remove(u"OrderNumber"_s);
        QVERIFY(repository.updateCertificate(id, full));
        QVERIFY(repository.updateCertificateFilePaths(id, u"doc2"_s, u"pdf2"_s));
        QVERIFY(repository.saveCertificateWithError(id, u"Принтер не найден"_s));
        row = repository.certificate(id);
        for (const QString &name : CertificateRepository::fields()) {
            QCOMPARE(row.value(name).toString(), full.value(name).toString());
            QCOMPARE(row.value(name).isNull(), !full.contains(name));
        }
        QCOMPARE(row.value(u"DocumentPath"_s), QVariant(u"doc2"_s));
        QCOMPARE(row.value(u"ErrorMessage"_s), QVariant(u"Принтер не найден"_s));
        QCOMPARE(repository.certificate(other).value(u"OrderNumber"_s), QVariant(u"12"_s));

        // An unknown id changes nothing and is no database error; a second repository sees the same file.
        QVERIFY(repository.deleteCertificate(id));
        QVERIFY(!repository.updateCertificate(id, full) && !repository.updateCertificateFilePaths(id, {}, {}));
        QVERIFY(!repository.saveCertificateWithError(id, {}) && !repository.deleteCertificate(id));
        QVERIFY2(repository.lastError().isEmpty(), qPrintable(repository.lastError()));
        QVERIFY(repository.certificate(id).isEmpty());
        QCOMPARE(ids(CertificateRepository(paths.filePath(u"c.db"_s)).allCertificates()), QList<int> {other});
    }

    void searches()
    {
        const tessaron::test::TempAppPaths paths;
        tessaron::test::setTimeZone("Europe/Moscow");
        CertificateRepository repository(paths.filePath(u"c.db"_s));
        repository.saveCertificate({{u"OrderNumber"_s, u"A-100"_s}, {u"TachographSerialNumber"_s, u"S1"_s}}, {}, {});
        repository.saveCertificate({{u"CustomerName"_s, u"ООО Вектор"_s}}, {}, {});
        repository.saveCertificate({{u"TachographSerialNumber"_s, u"S1"_s}}, {}, {});
        repository.saveCertificate({{u"VehicleVin"_s, u"A-100"_s}}, {}, {});
        repository.saveCertificate({{u"CustomerName"_s, u"later"_s}}, {}, {});
        QVERIFY(SqliteProbe(paths.filePath(u"c.db"_s))
                    .execute(u"UPDATE CertificateData SET CreationTimestamp = '2024-05-06 ' || "
                             "CASE Id WHEN 1 THEN '08:59:59' WHEN 2 THEN '09:00:00' WHEN 3 THEN '09:30:00' WHEN 4 THEN "
                             "'10:00:00' ELSE '10:00:01' END"_s));

        QCOMPARE(ids(repository.allCertificates()), (QList<int> {5, 4, 3, 2, 1}));
        QCOMPARE(ids(repository.searchCertificates({})), (QList<int> {5, 3, 2, 1}));
        QCOMPARE(ids(repository.searchCertificates(u"a-1"_s)), QList<int> {1});
        QCOMPARE(ids(repository.searchCertificates(u"S_"_s)), (QList<int> {3, 1}));
        QCOMPARE(ids(repository.certificatesBySerialNumber(u"S1"_s)), (QList<int> {3, 1}));
        QVERIFY(repository.certificatesBySerialNumber(u"s1"_s).isEmpty());

        // 12:00 to 13:00 in Moscow are 09:00 to 10:00 on the database's UTC clock, both bounds included.
        const QDateTime from(QDate(2024, 5, 6), QTime(12, 0));
        const QDateTime to(QDate(2024, 5, 6), QTime(13, 0));
        QCOMPARE(ids(repository.certificatesByDateRange(from, to)), (QList<int> {4, 3, 2}));
        QCOMPARE(ids(repository.certificatesByDateRange(from.toUTC(), to.toUTC())), (QList<int> {4, 3, 2}));
    }

    void unusableFileFailsCleanly_data()
    {
        QTest::addColumn<bool>("corrupt");
        QTest::addRow("path is a folder") << false;
        QTest::addRow("file is not a database") << true;
    }

    void unusableFileFailsCleanly()
    {
        QFETCH(bool, corrupt);
        const tessaron::test::TempAppPaths paths;
        const QString path = paths.filePath(u"c.db"_s);
        const QByteArray content = corrupt ? tessaron::test::writeCorruptFile(path) : QByteArray();
        QVERIFY(corrupt || QDir().mkpath(path));

        CertificateRepository repository(path);
        QCOMPARE(repository.testConnection(), corrupt);
        QVERIFY(!repository.lastError().isEmpty());
        QCOMPARE(repository.saveCertificate({}, {}, {}), -1);
        QVERIFY(repository.allCertificates().isEmpty() && !repository.deleteCertificate(1));
        // A Russian sentence for the technician whether the file never opened or its statements fail.
        QCOMPARE(repository.lastError(),
            corrupt ? u"Не удалось обратиться к базе свидетельств"_s : u"Не удалось открыть базу данных "_s + path);
        QCOMPARE(tessaron::test::fileBytes(path), content);
    }
    void cleanup() { tessaron::test::releaseTimeZoneAndClock(); }
};

QTEST_GUILESS_MAIN(TestCertificateRepository)
#include "tst_certificate_repository.moc"
