#include "storage/app_paths.h"
#include "storage/vehicle_catalog_repository.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::Manufacturer;
using tessaron::storage::VehicleCatalogRepository;
using tessaron::storage::VehicleModel;
using tessaron::test::SqliteProbe;

namespace {

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

} // namespace

class TestVehicleCatalogRepository : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void schemaHasTheMergedTables();
    void manufacturersAreListedByNameIgnoringCase();
    void modelsRoundTripPerManufacturer();
    void uniqueNamesAreEnforced();
    void modelNeedsAKnownManufacturer();
    void unusableFileFailsCleanly();

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    QString m_path;
};

void TestVehicleCatalogRepository::init()
{
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    m_path = m_paths->filePath(u"VehicleDB.db"_s);
}

void TestVehicleCatalogRepository::cleanup()
{
    m_paths.reset();
}

void TestVehicleCatalogRepository::schemaHasTheMergedTables()
{
    {
        VehicleCatalogRepository repository(m_path);
    }
    const SqliteProbe probe(m_path);
    QCOMPARE(probe.columns(u"Manufacturers"_s), (QStringList {u"Id"_s, u"Name"_s, u"CreatedAt"_s}));
    QCOMPARE(probe.columns(u"Models"_s),
        (QStringList {u"Id"_s, u"Name"_s, u"ManufacturerId"_s, u"TCO1priority"_s, u"TCO1variant"_s, u"TCO1period"_s,
            u"DiagVar"_s, u"CanSpeed"_s, u"Protocol"_s, u"SpeedRatioPrimaryShaft"_s, u"CreatedAt"_s}));
    QCOMPARE(probe
                 .scalar(u"SELECT \"table\" || '.' || \"to\" || ' ' || on_delete FROM "
                         "pragma_foreign_key_list('Models')"_s)
                 .toString(),
        u"Manufacturers.Id CASCADE"_s);
}

void TestVehicleCatalogRepository::manufacturersAreListedByNameIgnoringCase()
{
    VehicleCatalogRepository repository(m_path);
    for (const QString &name : {u"урал"_s, u"КАМАЗ"_s, u"Volvo"_s, u"  газ  "_s, u"DAF"_s})
        QVERIFY(repository.addManufacturer(name) > 0);
    QStringList names;
    for (const Manufacturer &manufacturer : repository.manufacturers())
        names.append(manufacturer.name);
    QCOMPARE(names, (QStringList {u"DAF"_s, u"Volvo"_s, u"газ"_s, u"КАМАЗ"_s, u"урал"_s}));
}

void TestVehicleCatalogRepository::modelsRoundTripPerManufacturer()
{
    VehicleCatalogRepository repository(m_path);
    const qint64 kamaz = repository.addManufacturer(u"КАМАЗ"_s);
    const qint64 volvo = repository.addManufacturer(u"Volvo"_s);
    QVERIFY(repository.addModel(modelOf(kamaz, u"5490"_s)) > 0);
    QVERIFY(repository.addModel(modelOf(kamaz, u"65115"_s)) > 0);
    QVERIFY(repository.addModel(modelOf(volvo, u"FH"_s)) > 0);

    const QList<VehicleModel> models = repository.models(kamaz);
    QCOMPARE(models.size(), 2);
    const VehicleModel &first = models.first();
    QCOMPARE(first.name, u"5490"_s);
    QCOMPARE(first.manufacturerId, kamaz);
    QCOMPARE(first.tco1Priority, 3);
    QCOMPARE(first.tco1Variant, 1);
    QCOMPARE(first.tco1Period, 50);
    QCOMPARE(first.diagVar, 2);
    QCOMPARE(first.canSpeed, 1);
    QCOMPARE(first.protocol, 4);
    QCOMPARE(first.speedRatioPrimaryShaft, 2.875);
    QVERIFY(first.createdAt.isValid());
    QCOMPARE(repository.models(volvo).size(), 1);
    QVERIFY(repository.models(volvo + 100).isEmpty());
}

void TestVehicleCatalogRepository::uniqueNamesAreEnforced()
{
    VehicleCatalogRepository repository(m_path);
    const qint64 maz = repository.addManufacturer(u"МАЗ"_s);
    const qint64 man = repository.addManufacturer(u"MAN"_s);
    QCOMPARE(repository.addManufacturer(u" МАЗ "_s), qint64(-1));
    QVERIFY(!repository.lastError().isEmpty());
    QCOMPARE(repository.addManufacturer(u""_s), qint64(-1));

    QVERIFY(repository.addModel(modelOf(maz, u"TGX"_s)) > 0);
    QVERIFY(repository.addModel(modelOf(man, u"TGX"_s)) > 0);
    QCOMPARE(repository.addModel(modelOf(man, u"TGX "_s)), qint64(-1));
    QCOMPARE(repository.manufacturers().size(), 2);
    QCOMPARE(repository.models(man).size(), 1);
}

void TestVehicleCatalogRepository::modelNeedsAKnownManufacturer()
{
    VehicleCatalogRepository repository(m_path);
    QCOMPARE(repository.addModel(modelOf(12345, u"Сирота"_s)), qint64(-1));
    QVERIFY(repository.lastError().contains(u"FOREIGN KEY"_s, Qt::CaseInsensitive));
    QCOMPARE(SqliteProbe(m_path).scalar(u"SELECT COUNT(*) FROM Models"_s).toInt(), 0);
}

void TestVehicleCatalogRepository::unusableFileFailsCleanly()
{
    QVERIFY(QDir().mkpath(m_path));
    VehicleCatalogRepository repository(m_path);
    QVERIFY(!repository.isOpen());
    const QString error = repository.lastError();
    QVERIFY(!error.isEmpty());
    QCOMPARE(repository.addManufacturer(u"МАЗ"_s), qint64(-1));
    QCOMPARE(repository.addModel(modelOf(1, u"x"_s)), qint64(-1));
    QVERIFY(repository.manufacturers().isEmpty());
    QVERIFY(repository.models(1).isEmpty());
    QCOMPARE(repository.lastError(), error);
}

QTEST_GUILESS_MAIN(TestVehicleCatalogRepository)
#include "tst_vehicle_catalog_repository.moc"
