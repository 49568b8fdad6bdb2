#include "transaction_guard.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

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
    // QSqlDatabase::commit runs the same statement but keeps only SQLite's text, not its code (a full disk).
    QSqlQuery commit(m_database);
    if (commit.exec(u"COMMIT"_s)) {
        m_active = false;
        return true;
    }
    m_error = commit.lastError();
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
