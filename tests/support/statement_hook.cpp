#include "statement_hook.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QStringList>
#include <QVariant>

#include <sqlite3.h>

namespace tessaron::test {

StatementHook::StatementHook(const QString &connectionPrefix, std::function<void(const QString &)> onStatement)
    : m_onStatement(std::move(onStatement))
{
    QStringList names;
    for (const QString &name : QSqlDatabase::connectionNames()) {
        if (name.startsWith(connectionPrefix))
            names.append(name);
    }
    if (names.size() != 1)
        return;
    const QVariant handle = QSqlDatabase::database(names.first(), false).driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return;
    m_handle = *static_cast<sqlite3 *const *>(handle.constData());
    if (m_handle && sqlite3_trace_v2(m_handle, SQLITE_TRACE_STMT, &StatementHook::traced, this) != SQLITE_OK)
        m_handle = nullptr;
}

StatementHook::~StatementHook()
{
    if (m_handle)
        sqlite3_trace_v2(m_handle, 0, nullptr, nullptr);
}

int StatementHook::traced(unsigned type, void *context, void *statement, void *)
{
    if (type != SQLITE_TRACE_STMT)
        return 0;
    auto *const prepared = static_cast<sqlite3_stmt *>(statement);
    char *const expanded = sqlite3_expanded_sql(prepared);
    const QString text = QString::fromUtf8(expanded ? expanded : sqlite3_sql(prepared));
    sqlite3_free(expanded);
    static_cast<StatementHook *>(context)->m_onStatement(text);
    return 0;
}

} // namespace tessaron::test
