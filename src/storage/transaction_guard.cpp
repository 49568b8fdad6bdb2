#include "transaction_guard.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <sqlite3.h>

namespace tessaron::storage {

namespace {

// SQLite's primary code of the connection's last failure. Qt keeps only SQLite's text for a failed commit, and the
// code tells a full disk.
QString lastSqliteCode(const QSqlDatabase &database)
{
    const QVariant handle = database.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return {};
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    return connection != nullptr ? QString::number(sqlite3_errcode(connection) & 0xff) : QString();
}

} // namespace

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
