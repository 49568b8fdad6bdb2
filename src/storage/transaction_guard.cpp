#include "transaction_guard.h"

#include "sql_connection.h"

#include <QSqlError>

namespace tessaron::storage {

TransactionGuard::TransactionGuard(QSqlDatabase database)
    : m_database(std::move(database))
{
    m_active = m_database.transaction();
    if (!m_active)
        m_error = m_database.lastError();
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
    const QSqlError error = m_database.lastError();
    m_error = QSqlError(error.driverText(), error.databaseText(), error.type(), lastSqliteCode(m_database));
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
