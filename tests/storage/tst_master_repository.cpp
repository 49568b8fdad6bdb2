#include "storage/master_repository.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::Master;
using tessaron::storage::MasterRepository;
using tessaron::test::SqliteProbe;

class TestMasterRepository : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void schemaHasTheMergedColumns();
    void addedMastersAreListedByNameIgnoringCase();
    void inactiveMastersAreNotListed();
    void blankNamesAreRefused_data();
    void blankNamesAreRefused();
    void unusableFileFailsCleanly();

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    QString m_path;
};

void TestMasterRepository::init()
{
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    m_path = m_paths->filePath(u"MasterDB.db"_s);
}

void TestMasterRepository::cleanup()
{
    m_paths.reset();
}

void TestMasterRepository::schemaHasTheMergedColumns()
{
    {
        MasterRepository repository(m_path);
    }
    QCOMPARE(SqliteProbe(m_path).columns(u"Masters"_s),
        (QStringList {u"Id"_s, u"FullName"_s, u"CreatedAt"_s, u"IsActive"_s}));
}

void TestMasterRepository::addedMastersAreListedByNameIgnoringCase()
{
    MasterRepository repository(m_path);
    QVERIFY2(repository.isOpen(), qPrintable(repository.lastError()));
    const qint64 first = repository.addMaster(u"  яковлев Я. Я. "_s);
    const qint64 second = repository.addMaster(u"Андреев А. А."_s);
    const qint64 third = repository.addMaster(u"борисов Б. Б."_s);
    QVERIFY(first > 0 && second > first && third > second);

    const QList<Master> masters = repository.masters();
    QStringList names;
    for (const Master &master : masters)
        names.append(master.fullName);
    QCOMPARE(names, (QStringList {u"Андреев А. А."_s, u"борисов Б. Б."_s, u"яковлев Я. Я."_s}));
    QCOMPARE(masters.first().id, second);
    QVERIFY(masters.first().isActive);
    QVERIFY(masters.first().createdAt.isValid());
    QVERIFY(qAbs(masters.first().createdAt.secsTo(QDateTime::currentDateTimeUtc())) < 120);
}

void TestMasterRepository::inactiveMastersAreNotListed()
{
    MasterRepository repository(m_path);
    repository.addMaster(u"Работает"_s);
    QVERIFY(SqliteProbe(m_path).execute(u"INSERT INTO Masters (FullName, IsActive) VALUES (?, 0)"_s, {u"Уволен"_s}));
    const QList<Master> masters = repository.masters();
    QCOMPARE(masters.size(), 1);
    QCOMPARE(masters.first().fullName, u"Работает"_s);
}

void TestMasterRepository::blankNamesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addRow("empty") << QString();
    QTest::addRow("blanks") << u"  \t "_s;
}

void TestMasterRepository::blankNamesAreRefused()
{
    QFETCH(QString, name);
    MasterRepository repository(m_path);
    QCOMPARE(repository.addMaster(name), qint64(-1));
    QVERIFY(!repository.lastError().isEmpty());
    QVERIFY(repository.masters().isEmpty());
}

void TestMasterRepository::unusableFileFailsCleanly()
{
    QVERIFY(QDir().mkpath(m_path));
    MasterRepository repository(m_path);
    QVERIFY(!repository.isOpen());
    const QString error = repository.lastError();
    QVERIFY(!error.isEmpty());
    QCOMPARE(repository.addMaster(u"Иванов"_s), qint64(-1));
    QVERIFY(repository.masters().isEmpty());
    QCOMPARE(repository.lastError(), error);
}

QTEST_GUILESS_MAIN(TestMasterRepository)
#include "tst_master_repository.moc"
