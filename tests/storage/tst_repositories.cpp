#include "storage/calibration_repository.h"
#include "storage/customer_repository.h"
#include "storage/master_repository.h"
#include "storage/settings_keys.h"
#include "storage/settings_repository.h"
#include "storage/vehicle_catalog_repository.h"
#include "storage/vehicle_configuration_repository.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace tessaron::storage;
using tessaron::test::SqliteProbe;
namespace keys = tessaron::storage::settings;

namespace {

const QRegularExpression sqlStamp(u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"_s);

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

VehicleModel modelOf(qint64 manufacturerId, const QString &name)
{
    VehicleModel model;
    model.manufacturerId = manufacturerId;
    model.name = name;
    model.tco1Priority = 3;
    model.tco1Variant = 1;
    model.tco1Period = 50;
    model.diagVar = 2;
    model.canSpeed = 1;
    model.protocol = 4;
    model.speedRatioPrimaryShaft = 2.875;
    return model;
}

// Adds the names through the store of that kind and returns the names it then lists.
QStringList addAndList(const QString &kind, const QString &path, const QStringList &names)
{
    QStringList listed;
    if (kind == u"masters"_s) {
        MasterRepository store(path);
        for (const QString &name : names)
            store.addMaster(name);
        for (const Master &master : store.masters())
            listed.append(master.fullName);
    } else if (kind == u"customers"_s) {
        CustomerRepository store(path);
        for (const QString &name : names)
            store.addCustomer(name, {}, {});
        for (const Customer &customer : store.customers())
            listed.append(customer.name);
    } else {
        VehicleCatalogRepository store(path);
        for (const QString &name : names)
            store.addManufacturer(name);
        for (const Manufacturer &manufacturer : store.manufacturers())
            listed.append(manufacturer.name);
    }
    return listed;
}

// Opens the store of that kind on a file it cannot use: it says so, and every call fails with that first error.
void expectEveryCallFails(const QString &kind, const QString &path)
{
    QString error;
    const auto opened = [&error](const auto &store) {
        error = store.lastError();
        return !store.isOpen() && !error.isEmpty();
    };
    if (kind == u"customers"_s) {
        CustomerRepository store(path);
        QVERIFY(opened(store));
        QCOMPARE(store.addCustomer(u"Кто-то"_s, {}, {}), qint64(-1));
        QVERIFY(store.customers().isEmpty() && !store.customerByName(u"Кто-то"_s));
        QCOMPARE(store.lastError(), error);
    } else if (kind == u"masters"_s) {
        MasterRepository store(path);
        QVERIFY(opened(store));
        QCOMPARE(store.addMaster(u"Иванов"_s), qint64(-1));
        QVERIFY(store.masters().isEmpty());
        QCOMPARE(store.lastError(), error);
    } else if (kind == u"vehicles"_s) {
        VehicleCatalogRepository store(path);
        QVERIFY(opened(store));
        QCOMPARE(store.addManufacturer(u"МАЗ"_s), qint64(-1));
        QCOMPARE(store.addModel(modelOf(1, u"x"_s)), qint64(-1));
        QVERIFY(store.manufacturers().isEmpty() && store.models(1).isEmpty());
        QCOMPARE(store.lastError(), error);
    } else if (kind == u"configurations"_s) {
        VehicleConfigurationRepository store(path);
        QVERIFY(opened(store));
        QVERIFY(!store.saveConfiguration(u"MAN"_s, u"TGX"_s, u"{}"_s));
        QCOMPARE(store.parametersJson(u"MAN"_s, u"TGX"_s), QString());
    } else if (kind == u"calibrations"_s) {
        CalibrationRepository store(path);
        QVERIFY(opened(store));
        QVERIFY(store.searchSuccessfulCalibrations({}, {}).isEmpty() && store.calibration(1).isEmpty());
        QVERIFY(!store.updateCustomerAndOrder(1, u"x"_s, 1));
        QVERIFY(!store.deleteCalibration(1));
        QCOMPARE(store.insertCalibration(record(u"А1"_s, {}, 1, {})), -1);
    } else {
        SettingsRepository store(path);
        QVERIFY(opened(store));
        QCOMPARE(store.value(keys::sectionWorkshop, keys::workshopName, u"fallback"_s), u"fallback"_s);
        QCOMPARE(store.intValue(keys::sectionPorts, keys::calibrationBaudRate, 5), 5);
        QVERIFY(!store.setString(keys::sectionWorkshop, keys::workshopName, u"x"_s));
        QCOMPARE(store.lastError(), error);
    }
}

} // namespace

// The small stores, one database file each: their tables as the merge with older files expects them, their rules,
// and their failures on files they cannot use.
class TestRepositories : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void schemaHasTheMergedColumns_data();
    void schemaHasTheMergedColumns();
    void unusableFileFailsCleanly_data();
    void unusableFileFailsCleanly();
    void namesAreListedIgnoringCaseWithoutInactiveOrBlankOnes_data();
    void namesAreListedIgnoringCaseWithoutInactiveOrBlankOnes();
    void customerByNameMatchesExactly_data();
    void customerByNameMatchesExactly();
    void vehicleModelsRoundTripUnderAKnownManufacturer();
    void configurationLookupIgnoresBlanksAndLatinCase_data();
    void configurationLookupIgnoresBlanksAndLatinCase();
    void calibrationRoundTripEditAndDelete();
    void calibrationSearchFilters_data();
    void calibrationSearchFilters();
    void olderCalibrationTableIsUpgradedAndKeepsItsRows();
    void settingsSeedTheDefaults_data();
    void settingsSeedTheDefaults();
    void settingsKeepTypesAndStampOnlyChanges();

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    QString m_path;
};

void TestRepositories::init()
{
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    m_path = m_paths->filePath(u"Store.db"_s);
}

void TestRepositories::cleanup()
{
    m_paths.reset();
}

void TestRepositories::schemaHasTheMergedColumns_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("columns");
    QTest::addRow("customers") << u"customers"_s << u"Customers"_s
                               << QStringList {u"Id"_s, u"CustomerName"_s, u"Address"_s, u"Phone"_s, u"CreatedAt"_s,
                                      u"IsActive"_s};
    QTest::addRow("masters") << u"masters"_s << u"Masters"_s
                             << QStringList {u"Id"_s, u"FullName"_s, u"CreatedAt"_s, u"IsActive"_s};
    QTest::addRow("manufacturers") << u"vehicles"_s << u"Manufacturers"_s
                                   << QStringList {u"Id"_s, u"Name"_s, u"CreatedAt"_s};
    QTest::addRow("models") << u"vehicles"_s << u"Models"_s
                            << QStringList {u"Id"_s, u"Name"_s, u"ManufacturerId"_s, u"TCO1priority"_s,
                                   u"TCO1variant"_s, u"TCO1period"_s, u"DiagVar"_s, u"CanSpeed"_s, u"Protocol"_s,
                                   u"SpeedRatioPrimaryShaft"_s, u"CreatedAt"_s};
    QTest::addRow("configurations") << u"configurations"_s << u"VehicleConfigurations"_s
                                    << QStringList {
                                           u"Id"_s, u"Manufacturer"_s, u"Model"_s, u"ParametersJson"_s, u"UpdatedAt"_s};
    QTest::addRow("calibrations") << u"calibrations"_s << u"Calibrations"_s
                                  << QStringList {u"Id"_s, u"RecordDateTime"_s, u"OrderNumber"_s, u"CustomerName"_s,
                                         u"VuSerialNumber"_s, u"NextCalibrationDate"_s, u"VehicleRegistrationNumber"_s,
                                         u"VehicleIdentificationNumber"_s, u"TyreSize"_s, u"HighResOdometer"_s,
                                         u"VuManufacturerName"_s, u"SkziNumber"_s, u"VuManufacturingDate"_s,
                                         u"WVehicleCharacteristicConstant"_s, u"KConstantOfRecordingEquipment"_s,
                                         u"LTyreCircumference"_s, u"VuPartNumber"_s, u"WriteResult"_s,
                                         u"WriteTimestamp"_s};
    QTest::addRow("settings") << u"settings"_s << u"Settings"_s
                              << QStringList {u"Id"_s, u"Section"_s, u"Key"_s, u"Value"_s, u"ValueType"_s,
                                     u"Description"_s, u"LastModified"_s};
}

void TestRepositories::schemaHasTheMergedColumns()
{
    QFETCH(QString, kind);
    QFETCH(QString, table);
    QFETCH(QStringList, columns);
    // Opened twice: adding what exists already is no failure.
    for (int round = 0; round < 2; ++round) {
        QString error;
        if (kind == u"customers"_s)
            error = CustomerRepository(m_path).lastError();
        else if (kind == u"masters"_s)
            error = MasterRepository(m_path).lastError();
        else if (kind == u"vehicles"_s)
            error = VehicleCatalogRepository(m_path).lastError();
        else if (kind == u"configurations"_s)
            error = VehicleConfigurationRepository(m_path).lastError();
        else if (kind == u"calibrations"_s)
            error = CalibrationRepository(m_path).lastError();
        else
            error = SettingsRepository(m_path).lastError();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
    const SqliteProbe probe(m_path);
    QCOMPARE(probe.columns(table), columns);
    if (table == u"Models"_s) {
        QCOMPARE(probe
                     .scalar(u"SELECT \"table\" || '.' || \"to\" || ' ' || on_delete FROM "
                             "pragma_foreign_key_list('Models')"_s)
                     .toString(),
            u"Manufacturers.Id CASCADE"_s);
    }
    if (table == u"Settings"_s) { // the merge's upsert needs the unique pair
        QVERIFY(probe.execute(u"INSERT INTO Settings(Section,Key,Value) VALUES('WORKSHOP','name','x') "
                              "ON CONFLICT(Section,Key) DO UPDATE SET Value=excluded.Value"_s));
    }
}

void TestRepositories::unusableFileFailsCleanly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    for (const QString &kind :
        {u"customers"_s, u"masters"_s, u"vehicles"_s, u"configurations"_s, u"calibrations"_s, u"settings"_s}) {
        for (const QString &file : {u"folder"_s, u"missing folder"_s, u"not a database"_s})
            QTest::addRow("%s, %s", qPrintable(kind), qPrintable(file)) << kind << file;
    }
}

void TestRepositories::unusableFileFailsCleanly()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QByteArray corrupt;
    QString path = m_path;
    if (file == u"folder"_s)
        QVERIFY(QDir().mkpath(path));
    else if (file == u"missing folder"_s)
        path = m_paths->filePath(u"no/such/folder/Store.db"_s);
    else
        corrupt = tessaron::test::writeCorruptFile(path);

    expectEveryCallFails(kind, path);
    if (QTest::currentTestFailed())
        return;
    if (!corrupt.isEmpty())
        QCOMPARE(tessaron::test::fileBytes(path), corrupt);
    QVERIFY(!QFileInfo::exists(m_paths->filePath(u"no"_s)));
}

void TestRepositories::namesAreListedIgnoringCaseWithoutInactiveOrBlankOnes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("inactive");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("listed");
    QTest::addRow("masters") << u"masters"_s << u"INSERT INTO Masters (FullName, IsActive) VALUES ('Уволен', 0)"_s
                             << QStringList {u"  яковлев Я. Я. "_s, u"Борисов Б. Б."_s, u"  \t "_s, QString(),
                                    u"андреев А. А."_s}
                             << QStringList {u"андреев А. А."_s, u"Борисов Б. Б."_s, u"яковлев Я. Я."_s};
    QTest::addRow("customers") << u"customers"_s
                               << u"INSERT INTO Customers (CustomerName, IsActive) VALUES ('Закрыт', 0)"_s
                               << QStringList {u"ООО «Вектор»"_s, u"   "_s, u" ип агеев "_s}
                               << QStringList {u"ип агеев"_s, u"ООО «Вектор»"_s};
    QTest::addRow("manufacturers, each name once")
        << u"vehicles"_s << QString()
        << QStringList {u"урал"_s, u"КАМАЗ"_s, u"Volvo"_s, u"  газ  "_s, u"DAF"_s, u" КАМАЗ "_s, QString()}
        << QStringList {u"DAF"_s, u"Volvo"_s, u"газ"_s, u"КАМАЗ"_s, u"урал"_s};
}

void TestRepositories::namesAreListedIgnoringCaseWithoutInactiveOrBlankOnes()
{
    QFETCH(QString, kind);
    QFETCH(QString, inactive);
    QFETCH(QStringList, added);
    QFETCH(QStringList, listed);
    addAndList(kind, m_path, {});
    if (!inactive.isEmpty())
        QVERIFY(SqliteProbe(m_path).execute(inactive));
    QCOMPARE(addAndList(kind, m_path, added), listed);
}

void TestRepositories::customerByNameMatchesExactly_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("found");
    QTest::addRow("same text") << u"ООО «Вектор»"_s << true;
    QTest::addRow("other letter case") << u"ооо «вектор»"_s << false;
    QTest::addRow("trailing blank") << u"ООО «Вектор» "_s << false;
    QTest::addRow("part of the name") << u"Вектор"_s << false;
    QTest::addRow("inactive customer") << u"Закрыт"_s << false;
}

void TestRepositories::customerByNameMatchesExactly()
{
    QFETCH(QString, asked);
    QFETCH(bool, found);
    CustomerRepository repository(m_path);
    const qint64 id = repository.addCustomer(u"ООО «Вектор»"_s, u" г. Тверь "_s, u"123"_s);
    QVERIFY(
        SqliteProbe(m_path).execute(u"INSERT INTO Customers (CustomerName, IsActive) VALUES (?, 0)"_s, {u"Закрыт"_s}));

    const std::unique_ptr<Customer> customer = repository.customerByName(asked);
    QCOMPARE(customer != nullptr, found);
    if (customer) {
        QCOMPARE(customer->id, id);
        QCOMPARE(customer->address, u"г. Тверь"_s);
        QCOMPARE(customer->phone, u"123"_s);
        QVERIFY(customer->isActive && customer->createdAt.isValid());
    }
}

void TestRepositories::vehicleModelsRoundTripUnderAKnownManufacturer()
{
    VehicleCatalogRepository repository(m_path);
    const qint64 kamaz = repository.addManufacturer(u"КАМАЗ"_s);
    const qint64 man = repository.addManufacturer(u"MAN"_s);
    QVERIFY(repository.addModel(modelOf(kamaz, u"5490"_s)) > 0);
    QVERIFY(repository.addModel(modelOf(kamaz, u"TGX"_s)) > 0);
    QVERIFY(repository.addModel(modelOf(man, u"TGX"_s)) > 0);
    QCOMPARE(repository.addModel(modelOf(man, u"TGX "_s)), qint64(-1));
    QCOMPARE(repository.addModel(modelOf(12345, u"Сирота"_s)), qint64(-1));
    QCOMPARE(repository.lastError(), u"Не удалось добавить модель"_s);

    const QList<VehicleModel> models = repository.models(kamaz);
    QCOMPARE(models.size(), 2);
    const VehicleModel &first = models.first();
    QCOMPARE(first.name, u"5490"_s);
    QCOMPARE(first.manufacturerId, kamaz);
    QCOMPARE(QList<int>({first.tco1Priority, first.tco1Variant, first.tco1Period, first.diagVar, first.canSpeed,
                 first.protocol}),
        QList<int>({3, 1, 50, 2, 1, 4}));
    QCOMPARE(first.speedRatioPrimaryShaft, 2.875);
    QVERIFY(first.createdAt.isValid());
    QCOMPARE(repository.models(man).size(), 1);
    QVERIFY(repository.models(man + 100).isEmpty());
}

void TestRepositories::configurationLookupIgnoresBlanksAndLatinCase_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("expected");
    const QString second = u"{\"k\":\"8000\",\"примечание\":\"ось 2\"}"_s;
    QTest::addRow("same names") << u"Volvo"_s << u"FH 460"_s << second;
    QTest::addRow("latin letters in other case") << u"VOLVO"_s << u"fh 460"_s << second;
    QTest::addRow("surrounding blanks") << u"  Volvo "_s << u"FH 460\t"_s << second;
    QTest::addRow("other model") << u"Volvo"_s << u"FH 500"_s << QString();
}

void TestRepositories::configurationLookupIgnoresBlanksAndLatinCase()
{
    QFETCH(QString, manufacturer);
    QFETCH(QString, model);
    QFETCH(QString, expected);
    VehicleConfigurationRepository first(m_path);
    VehicleConfigurationRepository second(m_path);
    QVERIFY(first.saveConfiguration(u" Volvo"_s, u"FH 460 "_s, u"{}"_s));
    QVERIFY(!first.saveConfiguration(u"  "_s, u"FH"_s, u"{}"_s));
    QVERIFY(!first.lastError().isEmpty());
    QVERIFY(!first.saveConfiguration(u"Volvo"_s, QString(), u"{}"_s));
    // Saving again from another store replaces the set.
    QVERIFY(second.saveConfiguration(u"volvo"_s, u"fh 460"_s, u"{\"k\":\"8000\",\"примечание\":\"ось 2\"}"_s));
    QCOMPARE(first.parametersJson(manufacturer, model), expected);

    const SqliteProbe probe(m_path);
    QCOMPARE(probe.scalar(u"SELECT COUNT(*) FROM VehicleConfigurations"_s).toInt(), 1);
    const QString stamp = probe.scalar(u"SELECT UpdatedAt FROM VehicleConfigurations"_s).toString();
    QVERIFY2(sqlStamp.match(stamp).hasMatch(), qPrintable(stamp));
}

void TestRepositories::calibrationRoundTripEditAndDelete()
{
    CalibrationRepository repository(m_path);
    CalibrationRepository other(m_path);

    QVariantMap values = record(u"А123ВС77"_s, u"ООО «Ромашка»"_s, 1, u"2024-03-01 10:00:00"_s);
    values.insert(u"LTyreCircumference"_s, u"3250"_s);
    values.insert(u"OrderNumber"_s, 17);
    const int id = repository.insertCalibration(values);
    QVERIFY2(id > 0, qPrintable(repository.lastError()));
    const int kept = repository.insertCalibration(record(u"А2"_s, {}, 1, u"2024-01-02 00:00:00"_s));

    QVariantMap row = other.calibration(id);
    QCOMPARE(row.value(u"Id"_s).toInt(), id);
    QCOMPARE(row.value(u"VehicleRegistrationNumber"_s).toString(), u"А123ВС77"_s);
    QCOMPARE(row.value(u"LTyreCircumference"_s).toString(), u"3250"_s);
    QCOMPARE(row.value(u"OrderNumber"_s).toInt(), 17);
    QCOMPARE(row.size(), 19);
    QVERIFY(sqlStamp.match(row.value(u"RecordDateTime"_s).toString()).hasMatch());

    QVERIFY(other.updateCustomerAndOrder(id, u"Новый заказчик"_s, 42));
    row = repository.calibration(id);
    QCOMPARE(row.value(u"CustomerName"_s).toString(), u"Новый заказчик"_s);
    QCOMPARE(row.value(u"OrderNumber"_s).toInt(), 42);
    QVERIFY(!repository.updateCustomerAndOrder(id + 100, u"Никто"_s, 1));

    QVERIFY(other.deleteCalibration(id));
    QVERIFY(!repository.deleteCalibration(id));
    QVERIFY(repository.calibration(id).isEmpty());
    QVERIFY(!repository.calibration(kept).isEmpty());
    QVERIFY(repository.lastError().isEmpty());
    QCOMPARE(repository.insertCalibration({{u"Nonsense\"; DROP TABLE Calibrations; --"_s, 1}}), -1);
    QVERIFY(repository.lastError().contains(u"Nonsense"_s));
}

void TestRepositories::calibrationSearchFilters_data()
{
    QTest::addColumn<QString>("registration");
    QTest::addColumn<QString>("customer");
    QTest::addColumn<QStringList>("expected");

    const QStringList all {u"В777ОР99"_s, u"а123вс77"_s, u"А123ВС77"_s, u"X001XX"_s};
    QTest::addRow("no filters, newest first, failed writes left out") << QString() << QString() << all;
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

void TestRepositories::calibrationSearchFilters()
{
    QFETCH(QString, registration);
    QFETCH(QString, customer);
    QFETCH(QStringList, expected);

    CalibrationRepository repository(m_path);
    repository.insertCalibration(record(u"А123ВС77"_s, u"ИП Сидоров"_s, 1, u"2024-02-01 00:00:00"_s));
    repository.insertCalibration(record(u"В777ОР99"_s, u"ООО «Ромашка»"_s, 1, u"2024-04-01 00:00:00"_s));
    repository.insertCalibration(record(u"В777ОР98"_s, u"ООО «Ромашка»"_s, 0, u"2025-04-01 00:00:00"_s));
    repository.insertCalibration(record(u"а123вс77"_s, u"ромашка и партнёры"_s, 1, u"2024-03-01 00:00:00"_s));
    QVariantMap withoutCustomer = record(u"X001XX"_s, {}, 1, u"2024-01-01 00:00:00"_s);
    withoutCustomer.remove(u"CustomerName"_s);
    repository.insertCalibration(withoutCustomer);

    const QList<QVariantMap> rows = repository.searchSuccessfulCalibrations(registration, customer);
    QCOMPARE(registrations(rows), expected);
    if (!rows.isEmpty())
        QCOMPARE(rows.first().value(u"VuSerialNumber"_s).toString(), u"SN-"_s + expected.first());
}

void TestRepositories::olderCalibrationTableIsUpgradedAndKeepsItsRows()
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
        QVERIFY2(repository.isOpen() && repository.lastError().isEmpty(), qPrintable(repository.lastError()));
        const QList<QVariantMap> rows = repository.searchSuccessfulCalibrations(u"Е001"_s, {});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().value(u"LegacyNote"_s).toString(), u"первая"_s);
        QVERIFY(rows.first().value(u"CustomerName"_s).isNull());

        const int id = rows.first().value(u"Id"_s).toInt();
        QVERIFY(repository.updateCustomerAndOrder(id, u"Заказчик"_s, 5));
        QCOMPARE(repository.calibration(id).value(u"OrderNumber"_s).toInt(), 5);
        // New records on the upgraded table still get their time of recording.
        const int added = repository.insertCalibration(record(u"Н1"_s, {}, 1, u"2024-01-01 00:00:00"_s));
        QVERIFY(!repository.calibration(added).value(u"RecordDateTime"_s).toString().isEmpty());
    }
    const QStringList columns = probe.columns(u"Calibrations"_s);
    for (const QString &column : CalibrationRepository::columnNames() + QStringList {u"LegacyNote"_s})
        QVERIFY2(columns.contains(column), qPrintable(column));
    QCOMPARE(probe.scalar(u"SELECT COUNT(*) FROM Calibrations"_s).toInt(), 3);
    QCOMPARE(
        probe.scalar(u"SELECT LegacyNote FROM Calibrations WHERE VuSerialNumber = '0002'"_s).toString(), u"вторая"_s);
    {
        CalibrationRepository again(m_path); // opening the upgraded file again changes nothing
        QVERIFY(again.lastError().isEmpty());
    }
    QCOMPARE(probe.columns(u"Calibrations"_s), columns);
}

void TestRepositories::settingsSeedTheDefaults_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("type");

    for (const QString &key : {keys::workshopMark, keys::workshopName, keys::workshopPost, keys::workshopCity,
             keys::workshopStreet, keys::workshopPhone})
        QTest::addRow("workshop %s", qPrintable(key)) << keys::sectionWorkshop << key << QString() << u"String"_s;
    QTest::addRow("certificate printer") << keys::sectionMain << keys::printerAct << u"По умолчанию"_s << u"String"_s;
    QTest::addRow("sticker printer") << keys::sectionMain << keys::printerLabel << u"По умолчанию"_s << u"String"_s;
    QTest::addRow("log switch") << keys::sectionProgram << keys::logEnable << u"true"_s << u"Bool"_s;
}

void TestRepositories::settingsSeedTheDefaults()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QFETCH(QString, type);
    QCOMPARE(SettingsRepository(m_path).value(section, key, u"absent"_s), expected);
    const SqliteProbe probe(m_path);
    const QVariantList where {section, key};
    QCOMPARE(probe.scalar(u"SELECT ValueType FROM Settings WHERE Section = ? AND Key = ?"_s, where).toString(), type);
    // Seeded rows carry the earliest stamp, so any value set elsewhere wins a merge over them.
    QCOMPARE(probe.scalar(u"SELECT LastModified FROM Settings WHERE Section = ? AND Key = ?"_s, where).toString(),
        u"1970-01-01 00:00:00"_s);
    // A value the user set survives the next opening's seeding.
    QVERIFY(SettingsRepository(m_path).setString(section, key, u"своё"_s));
    QCOMPARE(SettingsRepository(m_path).value(section, key), u"своё"_s);
    QCOMPARE(probe.scalar(u"SELECT COUNT(*) FROM Settings"_s).toInt(), int(keys::defaults().size()));
}

void TestRepositories::settingsKeepTypesAndStampOnlyChanges()
{
    SettingsRepository repository(m_path);
    QVERIFY(repository.setInt(keys::sectionPorts, keys::downloadMaxBaudRate, 57600));
    QVERIFY(repository.setBool(keys::sectionPorts, keys::useParvik, true));
    QVERIFY(repository.setString(keys::sectionPorts, keys::calibrationPort, u"not a number"_s));
    QCOMPARE(repository.intValue(keys::sectionPorts, keys::downloadMaxBaudRate, 0), 57600);
    QCOMPARE(repository.boolValue(keys::sectionPorts, keys::useParvik, false), true);
    QCOMPARE(repository.intValue(keys::sectionPorts, keys::calibrationPort, -7), -7);
    QCOMPARE(repository.boolValue(keys::sectionPorts, keys::calibrationPort, true), true);
    const SqliteProbe probe(m_path);
    QCOMPARE(probe.scalar(u"SELECT ValueType FROM Settings WHERE Key = ?"_s, {keys::downloadMaxBaudRate}).toString(),
        u"Int"_s);

    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-2);
    QVERIFY(repository.setString(u"Custom"_s, u"Ключ"_s, u"первое"_s));
    const QString statement = u"SELECT LastModified FROM Settings WHERE Section = 'Custom' AND Key = 'Ключ'"_s;
    const QString stamp = probe.scalar(statement).toString();
    // UTC in SQLite's own text form: it compares as text with merged stamps.
    QVERIFY2(sqlStamp.match(stamp).hasMatch(), qPrintable(stamp));
    const QDateTime written = QDateTime::fromString(stamp + u"Z"_s, Qt::ISODate);
    QVERIFY(written >= before && written <= QDateTime::currentDateTimeUtc().addSecs(1));

    // Writing an unchanged value back keeps the stamp; a change renews it.
    QVERIFY(probe.execute(u"UPDATE Settings SET LastModified = '2001-01-01 00:00:00' WHERE Key = 'Ключ'"_s));
    QVERIFY(repository.setString(u"Custom"_s, u"Ключ"_s, u"первое"_s));
    QCOMPARE(probe.scalar(statement).toString(), u"2001-01-01 00:00:00"_s);
    QVERIFY(repository.setString(u"Custom"_s, u"Ключ"_s, u"второе"_s));
    QVERIFY(probe.scalar(statement).toString() > u"2001-01-01 00:00:00"_s);
}

QTEST_GUILESS_MAIN(TestRepositories)
#include "tst_repositories.moc"
