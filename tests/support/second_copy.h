#pragma once

#include "ddd/ddd_report.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

namespace tessaron::test {

// The test program started again as another copy of Tessaron on the same report database: a second process with
// its own connection and its own file locks, as another program, or the application started twice, has them.
class SecondCopy
{
public:
    // Starts a copy that takes the file for writing (SQLite's exclusive lock), waiting at most wait for it, and
    // returns once it holds the file (said() "held") or has given up ("busy"). It holds the file until finished.
    static std::unique_ptr<SecondCopy> holdFile(const QString &path, std::chrono::milliseconds wait);
    // Starts a copy that removes the stored report through a repository of its own, and returns once that copy's
    // commit has begun (said() "committing"; the commit then waits for the file as SQLite waits) or it has ended.
    static std::unique_ptr<SecondCopy> removeReport(const QString &path, qint64 reportId, ddd::DddFileType type);
    // Finishes the copy.
    ~SecondCopy();
    SecondCopy(const SecondCopy &) = delete;
    SecondCopy &operator=(const SecondCopy &) = delete;

    // The first line the copy wrote.
    QString said() const { return m_said; }
    // Lets a holding copy go and waits until the copy has ended; its last line ("removed", "failed: …").
    QString finish();

    // First thing in a test program's initMain(): when the program was started as a second copy, it does that
    // copy's part and ends the process here; otherwise it returns at once.
    static void actIfAsked();

private:
    explicit SecondCopy(const QStringList &request);

    QProcess m_process;
    QString m_said;
};

} // namespace tessaron::test
