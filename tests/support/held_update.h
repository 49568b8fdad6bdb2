#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>

namespace tessaron::test {

// A second process of the running test program in the middle of a write to one SQLite file: it runs the statements in
// order on a connection of its own (a "BEGIN" without its "COMMIT" leaves the transaction open, with the locks it took
// and, past its page cache, its pages written into the file) and holds what they left until it is ended, its time is
// up or it is killed. The test program's main calls runIfAsked() first.
class HeldUpdate
{
public:
    // Starts the process and waits until it holds the update (isHeld()); ended with a rollback after holdFor.
    HeldUpdate(const QString &path, const QStringList &statements,
        std::chrono::milliseconds holdFor = std::chrono::minutes(2));
    // Ends the process as end() does.
    ~HeldUpdate();
    HeldUpdate(const HeldUpdate &) = delete;
    HeldUpdate &operator=(const HeldUpdate &) = delete;

    bool isHeld() const { return m_held; }
    // What the process printed: why it holds nothing, when it does not.
    QString output() const { return m_output; }
    // Rolls the update back and ends the process; returns once it has ended.
    void end();
    // Kills the process where it stands: what it wrote stays in the file, beside the journal that undoes it.
    void kill();

    // In a process a HeldUpdate started: runs and holds its update, and returns the exit code (0 once held and rolled
    // back, 1 when a statement fails). -1 in any other process.
    static int runIfAsked();

private:
    QProcess m_process;
    QString m_output;
    bool m_held = false;
};

} // namespace tessaron::test
