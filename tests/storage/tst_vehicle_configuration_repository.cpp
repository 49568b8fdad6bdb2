#include "storage/app_paths.h"
#include "storage/vehicle_configuration_repository.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::VehicleConfigurationRepository;
using tessaron::test::SqliteProbe;

class TestVehicleConfigurationRepository : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void schemaHasTheMergedColumns();
    void savedParametersComeBack();
    void lookupIgnoresBlanksAndLatinCase_data();
    void lookupIgnoresBlanksAndLatinCase();
    void savingAgainReplacesTheSet();
    void blankNamesAreRefused();
    void corruptFileFailsCleanly();

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
};

void TestVehicleConfigurationRepository::init()
{
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    tessaron::storage::AppPaths::ensureDirectories();
}

void TestVehicleConfigurationRepository::cleanup()
{
    m_paths.reset();
}

void TestVehicleConfigurationRepository::schemaHasTheMergedColumns()
{
    {
        VehicleConfigurationRepository repository;
    }
    const QString path = tessaron::storage::AppPaths::database(u"VehicleConfigurations.db"_s);
    QCOMPARE(SqliteProbe(path).columns(u"VehicleConfigurations"_s),
        (QStringList {u"Id"_s, u"Manufacturer"_s, u"Model"_s, u"ParametersJson"_s, u"UpdatedAt"_s}));
}

void TestVehicleConfigurationRepository::savedParametersComeBack()
{
    VehicleConfigurationRepository repository;
    const QString json = u"{\"k\":\"8000\",\"l\":\"3250\",\"примечание\":\"ось 2\"}"_s;
    QVERIFY2(repository.saveConfiguration(u"КАМАЗ"_s, u"5490"_s, json), qPrintable(repository.lastError()));
    QCOMPARE(repository.parametersJson(u"КАМАЗ"_s, u"5490"_s), json);
    QCOMPARE(repository.parametersJson(u"КАМАЗ"_s, u"65115"_s), QString());

    const SqliteProbe probe(tessaron::storage::AppPaths::database(u"VehicleConfigurations.db"_s));
    const QString stamp = probe.scalar(u"SELECT UpdatedAt FROM VehicleConfigurations"_s).toString();
    QVERIFY2(QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"_s).match(stamp).hasMatch(),
        qPrintable(stamp));
}

void TestVehicleConfigurationRepository::lookupIgnoresBlanksAndLatinCase_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("found");
    QTest::addRow("same names") << u"Volvo"_s << u"FH 460"_s << true;
    QTest::addRow("latin letters in other case") << u"VOLVO"_s << u"fh 460"_s << true;
    QTest::addRow("surrounding blanks") << u"  Volvo "_s << u"FH 460\t"_s << true;
    QTest::addRow("other model") << u"Volvo"_s << u"FH 500"_s << false;
}

void TestVehicleConfigurationRepository::lookupIgnoresBlanksAndLatinCase()
{
    QFETCH(QString, manufacturer);
    QFETCH(QString, model);
    QFETCH(bool, found);
    VehicleConfigurationRepository repository;
    QVERIFY(repository.saveConfiguration(u" Volvo"_s, u"FH 460 "_s, u"{}"_s));
    QCOMPARE(repository.parametersJson(manufacturer, model) == u"{}"_s, found);
}

void TestVehicleConfigurationRepository::savingAgainReplacesTheSet()
{
    VehicleConfigurationRepository first;
    VehicleConfigurationRepository second;
    QVERIFY(first.saveConfiguration(u"MAN"_s, u"TGX"_s, u"{\"v\":1}"_s));
    QVERIFY(second.saveConfiguration(u"man"_s, u" tgx"_s, u"{\"v\":2}"_s));
    QCOMPARE(first.parametersJson(u"MAN"_s, u"TGX"_s), u"{\"v\":2}"_s);
    const SqliteProbe probe(tessaron::storage::AppPaths::database(u"VehicleConfigurations.db"_s));
    QCOMPARE(probe.scalar(u"SELECT COUNT(*) FROM VehicleConfigurations"_s).toInt(), 1);
}

void TestVehicleConfigurationRepository::blankNamesAreRefused()
{
    VehicleConfigurationRepository repository;
    QVERIFY(!repository.saveConfiguration(u"  "_s, u"TGX"_s, u"{}"_s));
    QVERIFY(!repository.lastError().isEmpty());
    QVERIFY(!repository.saveConfiguration(u"MAN"_s, QString(), u"{}"_s));
}

void TestVehicleConfigurationRepository::corruptFileFailsCleanly()
{
    const QString path = m_paths->filePath(u"broken.db"_s);
    const QByteArray bytes = tessaron::test::writeCorruptFile(path);
    {
        VehicleConfigurationRepository repository(path);
        QVERIFY(!repository.isOpen());
        QVERIFY(!repository.lastError().isEmpty());
        QVERIFY(!repository.saveConfiguration(u"MAN"_s, u"TGX"_s, u"{}"_s));
        QCOMPARE(repository.parametersJson(u"MAN"_s, u"TGX"_s), QString());
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
}

QTEST_GUILESS_MAIN(TestVehicleConfigurationRepository)
#include "tst_vehicle_configuration_repository.moc"
