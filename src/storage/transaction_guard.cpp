#include "transaction_guard.h"

#include "sql_connection.h"

#include <QSqlError>

namespace tessaron::storage {

// Qt keeps only SQLite's text of a failed begin or commit; the code, read before anything else runs on the
// connection, tells a full disk or a damaged file.
QSqlError TransactionGuard::withSqliteCode(const QSqlError &error) const
{
    return QSqlError(error.driverText(), error.databaseText(), error.type(), lastSqliteCode(m_database));
}

TransactionGuard::TransactionGuard(QSqlDatabase database)
    : m_database(std::move(database))
{
    m_active = m_database.transaction();
    if (!m_active)
        m_error = withSqliteCode(m_database.lastError());
}

TransactionGuard::~TransactionGuard()
{
    rollback();
}

bool TransactionGuard::commit()
{
    if (!m_active)
        return false;
    if (m_database.commit()) {
        m_active = false;
        return true;
    }
    m_error = withSqliteCode(m_database.lastError());
    rollback();
    return false;
}

void TransactionGuard::rollback()
{
    if (!m_active)
        return;
    m_database.rollback();
    m_active = false;
}

} // namespace tessaron::storage
