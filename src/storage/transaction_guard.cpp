#include "transaction_guard.h"

#include <QSqlError>

namespace tessaron::storage {

TransactionGuard::TransactionGuard(QSqlDatabase database)
    : m_database(std::move(database))
{
    m_active = m_database.transaction();
    if (!m_active)
        m_errorText = m_database.lastError().text();
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
    m_errorText = m_database.lastError().text();
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
