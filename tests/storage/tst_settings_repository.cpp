#include "storage/app_paths.h"
#include "storage/settings_keys.h"
#include "storage/settings_repository.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;
using tessaron::storage::AppPaths;
using tessaron::storage::SettingsRepository;
using tessaron::test::SqliteProbe;
namespace settings = tessaron::storage::settings;

class TestSettingsRepository : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensTheDefaultFileUnderLocalAppData();
    void schemaHasTheMergedColumns();
    void seedsTheDefaults_data();
    void seedsTheDefaults();
    void seedingKeepsValuesTheUserSet();
    void typedValuesRoundTrip();
    void setterStampsChangesOnlyInUtcText();
    void unusableFileFailsCleanly_data();
    void unusableFileFailsCleanly();

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    QString m_path;
};

void TestSettingsRepository::init()
{
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    QVERIFY(m_paths->isValid());
    m_path = m_paths->filePath(u"SettingsDB.db"_s);
}

void TestSettingsRepository::cleanup()
{
    m_paths.reset();
}

void TestSettingsRepository::opensTheDefaultFileUnderLocalAppData()
{
    AppPaths::ensureDirectories();
    {
        SettingsRepository repository;
        QVERIFY2(repository.isOpen(), qPrintable(repository.lastError()));
        QVERIFY(repository.setString(settings::sectionWorkshop, settings::workshopName, u"Мастерская"_s));
    }
    const QString expected = m_paths->localAppData() + u"/Tessaron/Data/DB/SettingsDB.db"_s;
    QVERIFY(QFileInfo(expected).isFile());
    QCOMPARE(SqliteProbe(expected)
                 .scalar(u"SELECT Value FROM Settings WHERE Section = 'WORKSHOP' AND Key = 'name'"_s)
                 .toString(),
        u"Мастерская"_s);
}

void TestSettingsRepository::schemaHasTheMergedColumns()
{
    {
        SettingsRepository repository(m_path);
    }
    const SqliteProbe probe(m_path);
    QCOMPARE(probe.columns(u"Settings"_s),
        (QStringList {
            u"Id"_s, u"Section"_s, u"Key"_s, u"Value"_s, u"ValueType"_s, u"Description"_s, u"LastModified"_s}));
    // The merge's upsert needs the unique pair.
    QVERIFY(probe.execute(u"INSERT INTO Settings(Section,Key,Value) VALUES('WORKSHOP','name','x') "
                          "ON CONFLICT(Section,Key) DO UPDATE SET Value=excluded.Value"_s));
}

void TestSettingsRepository::seedsTheDefaults_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("type");

    for (const QString &key : {settings::workshopMark, settings::workshopName, settings::workshopPost,
             settings::workshopCity, settings::workshopStreet, settings::workshopPhone})
        QTest::addRow("workshop %s", qPrintable(key)) << settings::sectionWorkshop << key << QString() << u"String"_s;
    QTest::addRow("certificate printer") << settings::sectionMain << settings::printerAct << u"По умолчанию"_s
                                         << u"String"_s;
    QTest::addRow("sticker printer") << settings::sectionMain << settings::printerLabel << u"По умолчанию"_s
                                     << u"String"_s;
    QTest::addRow("log switch") << settings::sectionProgram << settings::logEnable << u"true"_s << u"Bool"_s;
}

void TestSettingsRepository::seedsTheDefaults()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QFETCH(QString, type);

    {
        SettingsRepository repository(m_path);
        QVERIFY2(repository.isOpen(), qPrintable(repository.lastError()));
        QCOMPARE(repository.value(section, key, u"absent"_s), expected);
    }
    const SqliteProbe probe(m_path);
    const QVariantList where {section, key};
    QCOMPARE(probe.scalar(u"SELECT ValueType FROM Settings WHERE Section = ? AND Key = ?"_s, where).toString(), type);
    QVERIFY(!probe.scalar(u"SELECT Value FROM Settings WHERE Section = ? AND Key = ?"_s, where).isNull());
    // Seeded rows carry the earliest stamp, so any value set elsewhere wins a merge over them.
    QCOMPARE(probe.scalar(u"SELECT LastModified FROM Settings WHERE Section = ? AND Key = ?"_s, where).toString(),
        u"1970-01-01 00:00:00"_s);
}

void TestSettingsRepository::seedingKeepsValuesTheUserSet()
{
    {
        SettingsRepository repository(m_path);
        QVERIFY(repository.setBool(settings::sectionProgram, settings::logEnable, false));
        QVERIFY(repository.setString(settings::sectionWorkshop, settings::workshopCity, u"Екатеринбург"_s));
    }
    SettingsRepository reopened(m_path);
    QCOMPARE(reopened.boolValue(settings::sectionProgram, settings::logEnable, true), false);
    QCOMPARE(reopened.value(settings::sectionWorkshop, settings::workshopCity), u"Екатеринбург"_s);
    QCOMPARE(SqliteProbe(m_path).scalar(u"SELECT COUNT(*) FROM Settings"_s).toInt(), int(settings::defaults().size()));
}

void TestSettingsRepository::typedValuesRoundTrip()
{
    SettingsRepository repository(m_path);
    QVERIFY(repository.setInt(settings::sectionPorts, settings::downloadMaxBaudRate, 57600));
    QVERIFY(repository.setBool(settings::sectionPorts, settings::useParvik, true));
    QVERIFY(repository.setString(settings::sectionWorkshop, settings::workshopStreet, u"ул. Ленина, д. 5 «Б»"_s));
    QVERIFY(repository.setString(settings::sectionPorts, settings::calibrationPort, u"not a number"_s));

    QCOMPARE(repository.intValue(settings::sectionPorts, settings::downloadMaxBaudRate, 0), 57600);
    QCOMPARE(repository.boolValue(settings::sectionPorts, settings::useParvik, false), true);
    QCOMPARE(repository.value(settings::sectionWorkshop, settings::workshopStreet), u"ул. Ленина, д. 5 «Б»"_s);
    QCOMPARE(repository.intValue(settings::sectionPorts, settings::calibrationPort, -7), -7);
    QCOMPARE(repository.boolValue(settings::sectionPorts, settings::calibrationPort, true), true);

    const SqliteProbe probe(m_path);
    QCOMPARE(
        probe.scalar(u"SELECT ValueType FROM Settings WHERE Key = ?"_s, {settings::downloadMaxBaudRate}).toString(),
        u"Int"_s);
    QCOMPARE(
        probe.scalar(u"SELECT ValueType FROM Settings WHERE Key = ?"_s, {settings::useParvik}).toString(), u"Bool"_s);
}

void TestSettingsRepository::setterStampsChangesOnlyInUtcText()
{
    SettingsRepository repository(m_path);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    QVERIFY(repository.setString(u"Custom"_s, u"Ключ"_s, u"первое"_s));
    const SqliteProbe probe(m_path);
    const QString statement = u"SELECT LastModified FROM Settings WHERE Section = 'Custom' AND Key = 'Ключ'"_s;
    const QString stamp = probe.scalar(statement).toString();
    QVERIFY2(QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"_s).match(stamp).hasMatch(),
        qPrintable(stamp));
    const QDateTime written = QDateTime::fromString(stamp + u"Z"_s, Qt::ISODate);
    QVERIFY(written >= before.addSecs(-1) && written <= QDateTime::currentDateTimeUtc().addSecs(1));
    // The same text as SQLite's own clock would have written: it compares as text with merged stamps.
    QCOMPARE(stamp.size(), probe.scalar(u"SELECT CURRENT_TIMESTAMP"_s).toString().size());

    // Writing an unchanged value back keeps the stamp; a change renews it.
    QVERIFY(probe.execute(u"UPDATE Settings SET LastModified = '2001-01-01 00:00:00' WHERE Key = 'Ключ'"_s));
    QVERIFY(repository.setString(u"Custom"_s, u"Ключ"_s, u"первое"_s));
    QCOMPARE(probe.scalar(statement).toString(), u"2001-01-01 00:00:00"_s);
    QVERIFY(repository.setString(u"Custom"_s, u"Ключ"_s, u"второе"_s));
    QVERIFY(probe.scalar(statement).toString() > u"2001-01-01 00:00:00"_s);
}

void TestSettingsRepository::unusableFileFailsCleanly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addRow("path is a folder") << u"folder"_s;
    QTest::addRow("folder of the path is missing") << u"missing"_s;
    QTest::addRow("file is not a database") << u"corrupt"_s;
}

void TestSettingsRepository::unusableFileFailsCleanly()
{
    QFETCH(QString, kind);
    QByteArray corrupt;
    QString path = m_path;
    if (kind == u"folder"_s)
        QVERIFY(QDir().mkpath(path));
    else if (kind == u"missing"_s)
        path = m_paths->filePath(u"no/such/folder/SettingsDB.db"_s);
    else
        corrupt = tessaron::test::writeCorruptFile(path);

    {
        SettingsRepository repository(path);
        QVERIFY(!repository.isOpen());
        QVERIFY(!repository.lastError().isEmpty());
        const QString firstError = repository.lastError();
        QCOMPARE(repository.value(settings::sectionWorkshop, settings::workshopName, u"fallback"_s), u"fallback"_s);
        QCOMPARE(repository.intValue(settings::sectionPorts, settings::calibrationBaudRate, 5), 5);
        QVERIFY(!repository.setString(settings::sectionWorkshop, settings::workshopName, u"x"_s));
        QCOMPARE(repository.lastError(), firstError);
    }
    if (kind == u"corrupt"_s) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), corrupt);
    }
    if (kind == u"missing"_s)
        QVERIFY(!QFileInfo::exists(m_paths->filePath(u"no"_s)));
}

QTEST_GUILESS_MAIN(TestSettingsRepository)
#include "tst_settings_repository.moc"
