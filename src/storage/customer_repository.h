#pragma once

#include "customer.h"
#include "sql_connection.h"

#include <QList>
#include <QString>

#include <memory>

namespace tessaron::storage {

// The customers directory ("Customers" in "CustomersDB.db"). Lives on one thread.
class CustomerRepository
{
public:
    // Opens databasePath, or the default location when it is empty, and creates the table. When the store
    // cannot be opened or read, isOpen() is false, lastError() says why and every call fails cleanly.
    explicit CustomerRepository(const QString &databasePath = {});
    ~CustomerRepository();
    CustomerRepository(const CustomerRepository &) = delete;
    CustomerRepository &operator=(const CustomerRepository &) = delete;

    bool isOpen() const;
    // Open for reading only: the file, its folder or its disk refuses writes. lastError() says why, and every
    // write fails with the driver's text.
    bool isReadOnly() const { return m_connection.isReadOnly(); }

    // Adds an active customer; name, address and phone are trimmed. Returns the new id, or -1 with
    // lastError() set when the name is blank or the statement fails.
    qint64 addCustomer(const QString &name, const QString &address, const QString &phone);

    // The active customers, ordered by name without regard to case. Empty on failure (lastError() set).
    QList<Customer> customers() const;

    // The active customer of exactly this name (case-sensitive), or null when there is none or on failure.
    std::unique_ptr<Customer> customerByName(const QString &name) const;

    // The text of the last failure; later successes do not clear it.
    QString lastError() const { return m_lastError; }

private:
    SqlConnection m_connection;
    mutable QString m_lastError;
};

} // namespace tessaron::storage
