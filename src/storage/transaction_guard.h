#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

namespace tessaron::storage {

// Begins a transaction on construction and rolls it back on destruction unless commit() succeeded. A
// failed commit rolls back at once, so the connection never stays inside a transaction.
class TransactionGuard
{
public:
    explicit TransactionGuard(QSqlDatabase database);
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard &) = delete;
    TransactionGuard &operator=(const TransactionGuard &) = delete;

    // False when the transaction could not begin; errorText() then says why.
    bool isActive() const { return m_active; }
    // Commits; on failure rolls back and keeps the driver's text in errorText().
    bool commit();
    void rollback();
    QString errorText() const { return m_error.text(); }
    // The driver's error of the failed begin or commit with SQLite's code, for storage::shownSqlFailure.
    QSqlError error() const { return m_error; }

private:
    QSqlError withSqliteCode(const QSqlError &error) const;

    QSqlDatabase m_database;
    bool m_active = false;
    QSqlError m_error;
};

} // namespace tessaron::storage
