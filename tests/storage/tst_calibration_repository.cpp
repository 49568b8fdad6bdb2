#include "storage/calibration_repository.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::CalibrationRepository;
using tessaron::test::SqliteProbe;

namespace {

QVariantMap record(const QString &registration, const QString &customer, int writeResult, const QString &written)
{
    return {
        {u"VehicleRegistrationNumber"_s, registration},
        {u"CustomerName"_s, customer},
        {u"WriteResult"_s, writeResult},
        {u"WriteTimestamp"_s, written},
        {u"VuSerialNumber"_s, QString(u"SN-"_s + registration)},
    };
}

QStringList registrations(const QList<QVariantMap> &rows)
{
    QStringList result;
    for (const QVariantMap &row : rows)
        result.append(row.value(u"VehicleRegistrationNumber"_s).toString());
    return result;
}

} // namespace

class TestCalibrationRepository : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newTableHasEveryKnownColumn();
    void recordRoundTrip();
    void unknownColumnIsRefused();
    void searchKeepsSuccessfulRecordsNewestFirst();
    void searchFilters_data();
    void searchFilters();
    void updateCustomerAndOrder();
    void deleteCalibration();
    void olderTableIsUpgradedAndKeepsItsRows();
    void twoStoresOfOneFileAtOnce();
    void unusableFileFailsCleanly_data();
    void unusableFileFailsCleanly();

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    QString m_path;
};

void TestCalibrationRepository::init()
{
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    m_path = m_paths->filePath(u"CalibrationDB.db"_s);
}

void TestCalibrationRepository::cleanup()
{
    m_paths.reset();
}

void TestCalibrationRepository::newTableHasEveryKnownColumn()
{
    {
        CalibrationRepository repository(m_path);
        QVERIFY2(repository.isOpen(), qPrintable(repository.lastError()));
        // Re-adding columns that exist is not a failure.
        QVERIFY2(repository.lastError().isEmpty(), qPrintable(repository.lastError()));
    }
    const QStringList expected = QStringList {u"Id"_s} + CalibrationRepository::columnNames();
    QCOMPARE(SqliteProbe(m_path).columns(u"Calibrations"_s), expected);
    for (const QString &column : {u"RecordDateTime"_s, u"OrderNumber"_s, u"CustomerName"_s, u"VuSerialNumber"_s,
             u"NextCalibrationDate"_s, u"VehicleRegistrationNumber"_s, u"VehicleIdentificationNumber"_s, u"TyreSize"_s,
             u"HighResOdometer"_s, u"VuManufacturerName"_s, u"SkziNumber"_s, u"VuManufacturingDate"_s,
             u"WVehicleCharacteristicConstant"_s, u"KConstantOfRecordingEquipment"_s, u"LTyreCircumference"_s,
             u"VuPartNumber"_s, u"WriteResult"_s, u"WriteTimestamp"_s})
        QVERIFY2(expected.contains(column), qPrintable(column));
}

void TestCalibrationRepository::recordRoundTrip()
{
    CalibrationRepository repository(m_path);
    QVariantMap values = record(u"А123ВС77"_s, u"ООО «Ромашка»"_s, 1, u"2024-03-01 10:00:00"_s);
    values.insert(u"LTyreCircumference"_s, u"3250"_s);
    values.insert(u"OrderNumber"_s, 17);
    const int id = repository.insertCalibration(values);
    QVERIFY2(id > 0, qPrintable(repository.lastError()));

    const QVariantMap row = repository.calibration(id);
    QCOMPARE(row.value(u"Id"_s).toInt(), id);
    QCOMPARE(row.value(u"VehicleRegistrationNumber"_s).toString(), u"А123ВС77"_s);
    QCOMPARE(row.value(u"LTyreCircumference"_s).toString(), u"3250"_s);
    QCOMPARE(row.value(u"OrderNumber"_s).toInt(), 17);
    QCOMPARE(row.size(), CalibrationRepository::columnNames().size() + 1);
    // Written as local time in the database's text form.
    QVERIFY(QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"_s)
                .match(row.value(u"RecordDateTime"_s).toString())
                .hasMatch());
    QVERIFY(repository.calibration(id + 1).isEmpty());
}

void TestCalibrationRepository::unknownColumnIsRefused()
{
    CalibrationRepository repository(m_path);
    QCOMPARE(repository.insertCalibration({{u"Nonsense\"; DROP TABLE Calibrations; --"_s, 1}}), -1);
    QVERIFY(repository.lastError().contains(u"Nonsense"_s));
    QVERIFY(SqliteProbe(m_path).columns(u"Calibrations"_s).contains(u"Id"_s));
}

void TestCalibrationRepository::searchKeepsSuccessfulRecordsNewestFirst()
{
    CalibrationRepository repository(m_path);
    repository.insertCalibration(record(u"OLD"_s, {}, 1, u"2023-01-01 08:00:00"_s));
    repository.insertCalibration(record(u"FAILED"_s, {}, 0, u"2025-01-01 08:00:00"_s));
    repository.insertCalibration(record(u"NEW"_s, {}, 1, u"2024-06-01 08:00:00"_s));
    repository.insertCalibration(record(u"MIDDLE"_s, {}, 1, u"2023-12-31 23:59:59"_s));

    const QList<QVariantMap> rows = repository.searchSuccessfulCalibrations({}, {});
    QCOMPARE(registrations(rows), (QStringList {u"NEW"_s, u"MIDDLE"_s, u"OLD"_s}));
    QVERIFY(rows.first().contains(u"VuSerialNumber"_s));
    QCOMPARE(rows.first().value(u"VuSerialNumber"_s).toString(), u"SN-NEW"_s);
}

void TestCalibrationRepository::searchFilters_data()
{
    QTest::addColumn<QString>("registration");
    QTest::addColumn<QString>("customer");
    QTest::addColumn<QStringList>("expected");

    const QStringList all {u"В777ОР99"_s, u"а123вс77"_s, u"А123ВС77"_s, u"X001XX"_s};
    QTest::addRow("no filters") << QString() << QString() << all;
    QTest::addRow("blank filters") << u"  "_s << u"\t"_s << all;
    QTest::addRow("cyrillic lower case finds both cases")
        << u"а123"_s << QString() << QStringList {u"а123вс77"_s, u"А123ВС77"_s};
    QTest::addRow("cyrillic upper case finds both cases")
        << u"ВС77"_s << QString() << QStringList {u"а123вс77"_s, u"А123ВС77"_s};
    QTest::addRow("filter is trimmed") << u"  в777ор "_s << QString() << QStringList {u"В777ОР99"_s};
    QTest::addRow("latin letters ignore case") << u"x001"_s << QString() << QStringList {u"X001XX"_s};
    QTest::addRow("customer in other case") << QString() << u"РОМАШКА"_s << QStringList {u"В777ОР99"_s, u"а123вс77"_s};
    QTest::addRow("both filters must match") << u"а123"_s << u"ромашка"_s << QStringList {u"а123вс77"_s};
    QTest::addRow("nothing matches") << u"Я999"_s << QString() << QStringList();
    QTest::addRow("customer filter skips rows without a customer")
        << QString() << u"ип"_s << QStringList {u"А123ВС77"_s};
}

void TestCalibrationRepository::searchFilters()
{
    QFETCH(QString, registration);
    QFETCH(QString, customer);
    QFETCH(QStringList, expected);

    CalibrationRepository repository(m_path);
    repository.insertCalibration(record(u"В777ОР99"_s, u"ООО «Ромашка»"_s, 1, u"2024-04-01 00:00:00"_s));
    repository.insertCalibration(record(u"а123вс77"_s, u"ромашка и партнёры"_s, 1, u"2024-03-01 00:00:00"_s));
    repository.insertCalibration(record(u"А123ВС77"_s, u"ИП Сидоров"_s, 1, u"2024-02-01 00:00:00"_s));
    QVariantMap withoutCustomer = record(u"X001XX"_s, {}, 1, u"2024-01-01 00:00:00"_s);
    withoutCustomer.remove(u"CustomerName"_s);
    repository.insertCalibration(withoutCustomer);

    QCOMPARE(registrations(repository.searchSuccessfulCalibrations(registration, customer)), expected);
}

void TestCalibrationRepository::updateCustomerAndOrder()
{
    CalibrationRepository repository(m_path);
    const int id = repository.insertCalibration(record(u"А1"_s, u"Старый"_s, 1, u"2024-01-01 00:00:00"_s));
    QVERIFY(repository.updateCustomerAndOrder(id, u"Новый заказчик"_s, 42));
    const QVariantMap row = repository.calibration(id);
    QCOMPARE(row.value(u"CustomerName"_s).toString(), u"Новый заказчик"_s);
    QCOMPARE(row.value(u"OrderNumber"_s).toInt(), 42);

    QVERIFY(!repository.updateCustomerAndOrder(id + 100, u"Никто"_s, 1));
    QVERIFY(repository.lastError().isEmpty());
}

void TestCalibrationRepository::deleteCalibration()
{
    CalibrationRepository repository(m_path);
    const int id = repository.insertCalibration(record(u"А1"_s, {}, 1, u"2024-01-01 00:00:00"_s));
    const int kept = repository.insertCalibration(record(u"А2"_s, {}, 1, u"2024-01-02 00:00:00"_s));
    QVERIFY(repository.deleteCalibration(id));
    QVERIFY(!repository.deleteCalibration(id));
    QVERIFY(repository.calibration(id).isEmpty());
    QVERIFY(!repository.calibration(kept).isEmpty());
    QVERIFY(repository.lastError().isEmpty());
}

void TestCalibrationRepository::olderTableIsUpgradedAndKeepsItsRows()
{
    // An early layout without most columns, holding two records already.
    const SqliteProbe probe(m_path);
    QVERIFY(probe.execute(u"CREATE TABLE Calibrations (Id INTEGER PRIMARY KEY AUTOINCREMENT, "
                          "VuSerialNumber TEXT, VehicleRegistrationNumber TEXT, WriteResult INTEGER, "
                          "LegacyNote TEXT)"_s));
    QVERIFY(probe.execute(u"INSERT INTO Calibrations (VuSerialNumber, VehicleRegistrationNumber, WriteResult, "
                          "LegacyNote) VALUES ('0001', 'е001кх', 1, 'первая'), ('0002', 'Е002КХ', 0, 'вторая')"_s));

    {
        CalibrationRepository repository(m_path);
        QVERIFY2(repository.isOpen(), qPrintable(repository.lastError()));
        QVERIFY2(repository.lastError().isEmpty(), qPrintable(repository.lastError()));

        const QStringList columns = probe.columns(u"Calibrations"_s);
        for (const QString &column : CalibrationRepository::columnNames())
            QVERIFY2(columns.contains(column), qPrintable(column));
        QVERIFY(columns.contains(u"LegacyNote"_s));

        const QList<QVariantMap> rows = repository.searchSuccessfulCalibrations(u"Е001"_s, {});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().value(u"VuSerialNumber"_s).toString(), u"0001"_s);
        QCOMPARE(rows.first().value(u"LegacyNote"_s).toString(), u"первая"_s);
        QVERIFY(rows.first().value(u"CustomerName"_s).isNull());

        const int id = rows.first().value(u"Id"_s).toInt();
        QVERIFY(repository.updateCustomerAndOrder(id, u"Заказчик"_s, 5));
        QCOMPARE(repository.calibration(id).value(u"OrderNumber"_s).toInt(), 5);
        // New records on the upgraded table still get their time of recording.
        const int added = repository.insertCalibration(record(u"Н1"_s, {}, 1, u"2024-01-01 00:00:00"_s));
        QVERIFY(!repository.calibration(added).value(u"RecordDateTime"_s).toString().isEmpty());
    }
    QCOMPARE(probe.scalar(u"SELECT COUNT(*) FROM Calibrations"_s).toInt(), 3);
    QCOMPARE(
        probe.scalar(u"SELECT LegacyNote FROM Calibrations WHERE VuSerialNumber = '0002'"_s).toString(), u"вторая"_s);

    // Opening the upgraded file again changes nothing.
    const QStringList columns = probe.columns(u"Calibrations"_s);
    {
        CalibrationRepository again(m_path);
    }
    QCOMPARE(probe.columns(u"Calibrations"_s), columns);
}

void TestCalibrationRepository::twoStoresOfOneFileAtOnce()
{
    CalibrationRepository writer(m_path);
    CalibrationRepository reader(m_path);
    QVERIFY(writer.isOpen() && reader.isOpen());
    const int id = writer.insertCalibration(record(u"Т1"_s, u"Общий"_s, 1, u"2024-01-01 00:00:00"_s));
    QCOMPARE(reader.searchSuccessfulCalibrations({}, u"общий"_s).size(), 1);
    QVERIFY(reader.deleteCalibration(id));
    QVERIFY(writer.calibration(id).isEmpty());
}

void TestCalibrationRepository::unusableFileFailsCleanly_data()
{
    QTest::addColumn<bool>("corrupt");
    QTest::addRow("path is a folder") << false;
    QTest::addRow("file is not a database") << true;
}

void TestCalibrationRepository::unusableFileFailsCleanly()
{
    QFETCH(bool, corrupt);
    if (corrupt)
        tessaron::test::writeCorruptFile(m_path);
    else
        QVERIFY(QDir().mkpath(m_path));

    CalibrationRepository repository(m_path);
    QVERIFY(!repository.isOpen());
    QVERIFY(!repository.lastError().isEmpty());
    QVERIFY(repository.searchSuccessfulCalibrations({}, {}).isEmpty());
    QVERIFY(repository.calibration(1).isEmpty());
    QVERIFY(!repository.updateCustomerAndOrder(1, u"x"_s, 1));
    QVERIFY(!repository.deleteCalibration(1));
    QCOMPARE(repository.insertCalibration(record(u"А1"_s, {}, 1, {})), -1);
}

QTEST_GUILESS_MAIN(TestCalibrationRepository)
#include "tst_calibration_repository.moc"
