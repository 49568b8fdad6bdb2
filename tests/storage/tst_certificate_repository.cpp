#include "storage/certificate_repository.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::CertificateRepository;
using tessaron::test::SqliteProbe;

namespace {

// A record with every field set to "<field> <tag>".
QVariantMap fullRecord(const QString &tag)
{
    QVariantMap record;
    for (const QString &name : CertificateRepository::fields())
        record.insert(name, QString(name + u' ' + tag));
    return record;
}

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
    void init();
    void cleanup();

    void tableLayout();
    void insertAndRead();
    void changesOfOneRow();
    void searches();
    void dateRangeIncludesBothBoundsInAnyZone();
    void unusableFileFailsCleanly_data();
    void unusableFileFailsCleanly();

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    QString m_path;
};

void TestCertificateRepository::init()
{
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    m_path = m_paths->filePath(u"CertificateDB.db"_s);
}

void TestCertificateRepository::cleanup()
{
    m_paths.reset();
    tessaron::test::releaseTimeZoneAndClock();
}

void TestCertificateRepository::tableLayout()
{
    {
        const CertificateRepository repository;
        QVERIFY2(repository.testConnection(), qPrintable(repository.lastError()));
        QCOMPARE(
            repository.databasePath(), QDir(m_paths->localAppData()).filePath(u"Tessaron/Data/DB/CertificateDB.db"_s));
    }
    const CertificateRepository repository(m_path);
    QVERIFY2(repository.lastError().isEmpty(), qPrintable(repository.lastError()));

    QStringList expected = {u"Id INTEGER  1"_s, u"RecordDateTime DATETIME CURRENT_TIMESTAMP 0"_s};
    for (const QString &name : CertificateRepository::fields())
        expected.append(name + u" TEXT  0"_s);
    expected += {u"DocumentPath TEXT  0"_s, u"PdfPath TEXT  0"_s, u"IsSuccess INTEGER 1 0"_s, u"ErrorMessage TEXT  0"_s,
        u"CreationTimestamp DATETIME CURRENT_TIMESTAMP 0"_s};
    QCOMPARE(expected.size(), 37);
    const SqliteProbe probe(m_path);
    const QString layout = probe
                               .scalar(u"SELECT group_concat(line, '|') FROM (SELECT name || ' ' || type || ' ' || "
                                       "ifnull(dflt_value, '') || ' ' || pk AS line FROM "
                                       "pragma_table_info('CertificateData') ORDER BY cid)"_s)
                               .toString();
    QCOMPARE(layout.split(u'|'), expected);
    QCOMPARE(probe
                 .scalar(u"SELECT group_concat(name || ':' || sql, '|') FROM (SELECT name, sql FROM sqlite_master "
                         "WHERE type = 'index' AND tbl_name = 'CertificateData' ORDER BY name)"_s)
                 .toString(),
        u"idx_creation_date:CREATE INDEX idx_creation_date ON CertificateData(CreationTimestamp)|"
        "idx_order_number:CREATE INDEX idx_order_number ON CertificateData(OrderNumber)|"
        "idx_serial_number:CREATE INDEX idx_serial_number ON CertificateData(TachographSerialNumber)"_s);
}

void TestCertificateRepository::insertAndRead()
{
    CertificateRepository repository(m_path);
    const QVariantMap partial = {{u"OrderNumber"_s, 12}, {u"CustomerName"_s, u"ООО «Ромашка»"_s},
        {u"OrderMaster"_s, u""_s}, {u"NotAField"_s, u"ignored"_s}};
    const int first = repository.saveCertificate(partial, u"/doc/1.pdf"_s, u"/pdf/1.pdf"_s, true);
    QVERIFY2(first > 0, qPrintable(repository.lastError()));
    const int second = repository.saveCertificate(partial, {}, {}, false);
    QVERIFY2(second > first, qPrintable(repository.lastError()));

    const QVariantMap row = repository.certificate(first);
    QCOMPARE(row.size(), 37);
    QCOMPARE(row.value(u"OrderNumber"_s).toString(), u"12"_s);
    QCOMPARE(row.value(u"CustomerName"_s).toString(), u"ООО «Ромашка»"_s);
    QCOMPARE(row.value(u"DocumentPath"_s).toString(), u"/doc/1.pdf"_s);
    QCOMPARE(row.value(u"PdfPath"_s).toString(), u"/pdf/1.pdf"_s);
    QCOMPARE(row.value(u"IsSuccess"_s).toInt(), 1);
    QVERIFY(row.value(u"ErrorMessage"_s).isNull());
    QVERIFY(tessaron::storage::dateTimeFromSql(row.value(u"CreationTimestamp"_s)).isValid());
    QCOMPARE(repository.certificate(second).value(u"IsSuccess"_s).toInt(), 0);

    // A key the record lacks is NULL in the row; a key holding the empty text is the empty text.
    const SqliteProbe probe(m_path);
    QCOMPARE(probe
                 .scalar(u"SELECT (VehicleVin IS NULL) || (OrderMaster IS NULL) || (OrderMaster = '') FROM "
                         "CertificateData WHERE Id = ?"_s,
                     {first})
                 .toString(),
        u"101"_s);
    QVERIFY(repository.certificate(second + 1).isEmpty());

    // A second repository on the same file, open at the same time, sees both rows.
    const CertificateRepository other(m_path);
    QCOMPARE(ids(other.allCertificates()).size(), 2);
}

void TestCertificateRepository::changesOfOneRow()
{
    CertificateRepository repository(m_path);
    const int id = repository.saveCertificate(fullRecord(u"old"_s), u"d"_s, u"p"_s);
    const int other = repository.saveCertificate(fullRecord(u"other"_s), u"d"_s, u"p"_s);

    QVariantMap update = fullRecord(u"new"_s);
    update.remove(u"WorkshopPhone"_s);
    QVERIFY2(repository.updateCertificate(id, update), qPrintable(repository.lastError()));
    QVERIFY(repository.updateCertificateFilePaths(id, u"doc2"_s, u"pdf2"_s));
    QVERIFY(repository.saveCertificateWithError(id, u"Принтер не найден"_s));

    QVariantMap row = repository.certificate(id);
    for (const QString &name : CertificateRepository::fields()) {
        if (name == u"WorkshopPhone")
            QVERIFY(row.value(name).isNull());
        else
            QCOMPARE(row.value(name).toString(), QString(name + u" new"_s));
    }
    QCOMPARE(row.value(u"DocumentPath"_s).toString(), u"doc2"_s);
    QCOMPARE(row.value(u"PdfPath"_s).toString(), u"pdf2"_s);
    QCOMPARE(row.value(u"IsSuccess"_s).toInt(), 0);
    QCOMPARE(row.value(u"ErrorMessage"_s).toString(), u"Принтер не найден"_s);
    QCOMPARE(repository.certificate(other).value(u"OrderNumber"_s).toString(), u"OrderNumber other"_s);

    QVERIFY(repository.deleteCertificate(id));
    QVERIFY(repository.certificate(id).isEmpty());
    QCOMPARE(ids(repository.allCertificates()), QList<int> {other});

    // An unknown id changes nothing and is no database error.
    QVERIFY(!repository.updateCertificate(id, update));
    QVERIFY(!repository.updateCertificateFilePaths(id, u"x"_s, u"y"_s));
    QVERIFY(!repository.saveCertificateWithError(id, u"x"_s));
    QVERIFY(!repository.deleteCertificate(id));
    QVERIFY2(repository.lastError().isEmpty(), qPrintable(repository.lastError()));
    QCOMPARE(repository.certificate(other), repository.allCertificates().value(0));
}

void TestCertificateRepository::searches()
{
    CertificateRepository repository(m_path);
    const int a
        = repository.saveCertificate({{u"OrderNumber"_s, u"A-100"_s}, {u"TachographSerialNumber"_s, u"S1"_s}}, {}, {});
    const int b = repository.saveCertificate({{u"CustomerName"_s, u"ООО Вектор"_s}}, {}, {});
    const int c = repository.saveCertificate({{u"TachographSerialNumber"_s, u"S1"_s}}, {}, {});
    repository.saveCertificate({{u"VehicleVin"_s, u"A-100"_s}}, {}, {});
    const SqliteProbe probe(m_path);
    QVERIFY(probe.execute(u"UPDATE CertificateData SET CreationTimestamp = '2024-01-0' || Id || ' 00:00:00'"_s));

    QCOMPARE(ids(repository.allCertificates()), (QList<int> {4, c, b, a}));
    QCOMPARE(ids(repository.searchCertificates({})), (QList<int> {c, b, a}));
    QCOMPARE(ids(repository.searchCertificates(u"a-1"_s)), QList<int> {a});
    QCOMPARE(ids(repository.searchCertificates(u"Вектор"_s)), QList<int> {b});
    QCOMPARE(ids(repository.searchCertificates(u"S_"_s)), (QList<int> {c, a}));
    QCOMPARE(ids(repository.certificatesBySerialNumber(u"S1"_s)), (QList<int> {c, a}));
    QVERIFY(repository.certificatesBySerialNumber(u"s1"_s).isEmpty());
}

void TestCertificateRepository::dateRangeIncludesBothBoundsInAnyZone()
{
    tessaron::test::setTimeZone("Europe/Moscow");
    CertificateRepository repository(m_path);
    const SqliteProbe probe(m_path);
    for (const QString &stamp : {u"2024-05-06 08:59:59"_s, u"2024-05-06 09:00:00"_s, u"2024-05-06 09:30:00"_s,
             u"2024-05-06 10:00:00"_s, u"2024-05-06 10:00:01"_s}) {
        const int id = repository.saveCertificate({}, {}, {});
        QVERIFY(probe.execute(u"UPDATE CertificateData SET CreationTimestamp = ? WHERE Id = ?"_s, {stamp, id}));
    }
    // 12:00 to 13:00 in Moscow are 09:00 to 10:00 UTC, the database's clock.
    const QDateTime from(QDate(2024, 5, 6), QTime(12, 0));
    const QDateTime to(QDate(2024, 5, 6), QTime(13, 0));
    QCOMPARE(ids(repository.certificatesByDateRange(from, to)), (QList<int> {4, 3, 2}));
    QCOMPARE(ids(repository.certificatesByDateRange(from.toUTC(), to.toUTC())), (QList<int> {4, 3, 2}));
    QVERIFY(repository.certificatesByDateRange(to, from).isEmpty());
}

void TestCertificateRepository::unusableFileFailsCleanly_data()
{
    QTest::addColumn<bool>("corrupt");
    QTest::addRow("path is a folder") << false;
    QTest::addRow("file is not a database") << true;
}

void TestCertificateRepository::unusableFileFailsCleanly()
{
    QFETCH(bool, corrupt);
    const QByteArray content = corrupt ? tessaron::test::writeCorruptFile(m_path) : QByteArray();
    if (!corrupt)
        QVERIFY(QDir().mkpath(m_path));

    CertificateRepository repository(m_path);
    QCOMPARE(repository.testConnection(), corrupt);
    const QString openError = repository.lastError();
    QVERIFY(!openError.isEmpty());
    QCOMPARE(repository.saveCertificate(fullRecord(u"x"_s), {}, {}), -1);
    QVERIFY(repository.allCertificates().isEmpty());
    QVERIFY(!repository.deleteCertificate(1));
    // The driver's own text, whether the file never opened or its statements fail.
    QVERIFY2(repository.lastError().contains(corrupt ? u"not a database"_s : u"unable to open"_s),
        qPrintable(repository.lastError()));
    if (corrupt) {
        QCOMPARE(tessaron::test::readFile(m_path), content);
    }

    // Another repository on a sound file works beside it.
    const CertificateRepository sound(m_paths->filePath(u"other.db"_s));
    QVERIFY(sound.testConnection());
}

QTEST_GUILESS_MAIN(TestCertificateRepository)
#include "tst_certificate_repository.moc"
