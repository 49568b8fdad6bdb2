#include "storage/customer_repository.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::Customer;
using tessaron::storage::CustomerRepository;
using tessaron::test::SqliteProbe;

class TestCustomerRepository : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void schemaHasTheMergedColumns();
    void addedCustomersAreListedByNameIgnoringCase();
    void customerByNameMatchesExactly_data();
    void customerByNameMatchesExactly();
    void blankNameIsRefused();
    void corruptFileFailsCleanly();

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    QString m_path;
};

void TestCustomerRepository::init()
{
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    m_path = m_paths->filePath(u"CustomersDB.db"_s);
}

void TestCustomerRepository::cleanup()
{
    m_paths.reset();
}

void TestCustomerRepository::schemaHasTheMergedColumns()
{
    {
        CustomerRepository repository(m_path);
    }
    QCOMPARE(SqliteProbe(m_path).columns(u"Customers"_s),
        (QStringList {u"Id"_s, u"CustomerName"_s, u"Address"_s, u"Phone"_s, u"CreatedAt"_s, u"IsActive"_s}));
}

void TestCustomerRepository::addedCustomersAreListedByNameIgnoringCase()
{
    CustomerRepository repository(m_path);
    QVERIFY2(repository.isOpen(), qPrintable(repository.lastError()));
    QVERIFY(repository.addCustomer(u"ООО «Вектор»"_s, u"г. Тверь"_s, u"+7 4822 00-00-00"_s) > 0);
    QVERIFY(repository.addCustomer(u" ип агеев "_s, u" г. Казань "_s, QString()) > 0);

    const QList<Customer> customers = repository.customers();
    QCOMPARE(customers.size(), 2);
    QCOMPARE(customers.at(0).name, u"ип агеев"_s);
    QCOMPARE(customers.at(0).address, u"г. Казань"_s);
    QCOMPARE(customers.at(0).phone, QString());
    QCOMPARE(customers.at(1).name, u"ООО «Вектор»"_s);
    QCOMPARE(customers.at(1).phone, u"+7 4822 00-00-00"_s);
    QVERIFY(customers.at(1).createdAt.isValid());
}

void TestCustomerRepository::customerByNameMatchesExactly_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("found");
    QTest::addRow("same text") << u"ООО «Вектор»"_s << true;
    QTest::addRow("other letter case") << u"ооо «вектор»"_s << false;
    QTest::addRow("trailing blank") << u"ООО «Вектор» "_s << false;
    QTest::addRow("part of the name") << u"Вектор"_s << false;
    QTest::addRow("inactive customer") << u"Закрыт"_s << false;
}

void TestCustomerRepository::customerByNameMatchesExactly()
{
    QFETCH(QString, asked);
    QFETCH(bool, found);
    CustomerRepository repository(m_path);
    const qint64 id = repository.addCustomer(u"ООО «Вектор»"_s, u"г. Тверь"_s, u"123"_s);
    QVERIFY(
        SqliteProbe(m_path).execute(u"INSERT INTO Customers (CustomerName, IsActive) VALUES (?, 0)"_s, {u"Закрыт"_s}));

    const std::unique_ptr<Customer> customer = repository.customerByName(asked);
    QCOMPARE(customer != nullptr, found);
    if (customer) {
        QCOMPARE(customer->id, id);
        QCOMPARE(customer->address, u"г. Тверь"_s);
        QCOMPARE(customer->phone, u"123"_s);
        QVERIFY(customer->isActive);
    }
}

void TestCustomerRepository::blankNameIsRefused()
{
    CustomerRepository repository(m_path);
    QCOMPARE(repository.addCustomer(u"   "_s, u"адрес"_s, u"телефон"_s), qint64(-1));
    QVERIFY(!repository.lastError().isEmpty());
    QVERIFY(repository.customers().isEmpty());
}

void TestCustomerRepository::corruptFileFailsCleanly()
{
    const QByteArray bytes = tessaron::test::writeCorruptFile(m_path);
    {
        CustomerRepository repository(m_path);
        QVERIFY(!repository.isOpen());
        QVERIFY(!repository.lastError().isEmpty());
        QCOMPARE(repository.addCustomer(u"Кто-то"_s, {}, {}), qint64(-1));
        QVERIFY(repository.customers().isEmpty());
        QVERIFY(repository.customerByName(u"Кто-то"_s) == nullptr);
    }
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
}

QTEST_GUILESS_MAIN(TestCustomerRepository)
#include "tst_customer_repository.moc"
