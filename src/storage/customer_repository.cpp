#include "customer_repository.h"

#include "database_catalog.h"
#include "logging/shown_failure.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

Customer customerFromRecord(const QSqlRecord &record)
{
    Customer customer;
    customer.id = record.value(u"Id"_s).toLongLong();
    customer.name = record.value(u"CustomerName"_s).toString();
    customer.address = record.value(u"Address"_s).toString();
    customer.phone = record.value(u"Phone"_s).toString();
    customer.createdAt = dateTimeFromSql(record.value(u"CreatedAt"_s));
    customer.isActive = record.value(u"IsActive"_s).toInt() != 0;
    return customer;
}

} // namespace

CustomerRepository::CustomerRepository(const QString &databasePath)
    : m_connection(
        u"TessaronCustomers"_s, databasePath.isEmpty() ? DatabaseCatalog::path(KnownDatabase::Customers) : databasePath)
{
    if (!m_connection.isOpen()) {
        m_lastError = m_connection.openError();
        return;
    }
    QSqlError setUpError;
    {
        QSqlQuery query(m_connection.database());
        if (!query.exec(u"CREATE TABLE IF NOT EXISTS Customers ("
                        "Id INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "CustomerName TEXT NOT NULL, "
                        "Address TEXT, "
                        "Phone TEXT, "
                        "CreatedAt DATETIME DEFAULT CURRENT_TIMESTAMP, "
                        "IsActive INTEGER DEFAULT 1)"_s))
            setUpError = query.lastError();
    }
    if (const QString error = m_connection.settle(setUpError, u"Customers"_s); !error.isEmpty())
        m_lastError = error;
}

CustomerRepository::~CustomerRepository() = default;

bool CustomerRepository::isOpen() const
{
    return m_connection.isOpen();
}

qint64 CustomerRepository::addCustomer(const QString &name, const QString &address, const QString &phone)
{
    if (!isOpen())
        return -1;
    const QString trimmedName = name.trimmed();
    if (trimmedName.isEmpty()) {
        m_lastError = u"Укажите наименование заказчика"_s;
        return -1;
    }
    QSqlQuery query(m_connection.database());
    query.prepare(u"INSERT INTO Customers (CustomerName, Address, Phone) VALUES (?, ?, ?)"_s);
    query.addBindValue(trimmedName);
    query.addBindValue(address.trimmed());
    query.addBindValue(phone.trimmed());
    if (!query.exec()) {
        m_lastError = shownSqlFailure(u"Не удалось добавить заказчика в справочник"_s, query.lastError(), u"storage"_s);
        return -1;
    }
    return query.lastInsertId().toLongLong();
}

QList<Customer> CustomerRepository::customers() const
{
    QList<Customer> result;
    if (!isOpen())
        return result;
    QSqlQuery query(m_connection.database());
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT * FROM Customers WHERE IsActive = 1 ORDER BY Id"_s)) {
        m_lastError = shownSqlFailure(u"Не удалось прочитать справочник заказчиков"_s, query.lastError(), u"storage"_s);
        return result;
    }
    while (query.next())
        result.append(customerFromRecord(query.record()));
    // SQLite's NOCASE folds only ASCII; Cyrillic names are ordered here.
    std::stable_sort(result.begin(), result.end(), [](const Customer &left, const Customer &right) {
        return QString::compare(left.name, right.name, Qt::CaseInsensitive) < 0;
    });
    return result;
}

std::unique_ptr<Customer> CustomerRepository::customerByName(const QString &name) const
{
    if (!isOpen())
        return nullptr;
    QSqlQuery query(m_connection.database());
    query.prepare(u"SELECT * FROM Customers WHERE CustomerName = ? AND IsActive = 1 LIMIT 1"_s);
    query.addBindValue(name);
    if (!query.exec()) {
        m_lastError = shownSqlFailure(u"Не удалось найти заказчика в справочнике"_s, query.lastError(), u"storage"_s);
        return nullptr;
    }
    if (!query.next())
        return nullptr;
    return std::make_unique<Customer>(customerFromRecord(query.record()));
}

} // namespace tessaron::storage
