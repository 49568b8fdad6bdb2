#pragma once

#include <QString>

#include <functional>

struct sqlite3;

namespace tessaron::test {

// Calls back as each statement of one of this process's SQLite connections (made through Qt) starts to run, with its
// SQL text and the values bound to it written in: the seam at which a test lets another program act between two
// statements of the code under test, on the real file. Removed by the destructor.
class StatementHook
{
public:
    // Hooks the one connection whose name starts with connectionPrefix; none when there is no such connection or
    // more than one.
    StatementHook(const QString &connectionPrefix, std::function<void(const QString &statement)> onStatement);
    ~StatementHook();
    StatementHook(const StatementHook &) = delete;
    StatementHook &operator=(const StatementHook &) = delete;

    bool isHooked() const { return m_handle != nullptr; }

private:
    static int traced(unsigned type, void *context, void *statement, void *sql);

    sqlite3 *m_handle = nullptr;
    std::function<void(const QString &)> m_onStatement;
};

} // namespace tessaron::test
