#pragma once

#include "busy_wait.h"

#include <QString>

#include <chrono>

namespace tessaron::storage {

// Writes at target a copy of the SQLite database at source as its last committed transaction left it. The copy is
// made through SQLite's online backup, which reads the source under a read lock, so a write in progress in this or
// another process (or one a killed process left behind in a hot journal, rolled back first as any reader does) is
// never copied half-done. A writer holding the file is waited for up to busyWait; past it the copy fails, saying that
// the file is busy. target is replaced when it exists. Returns false with a Russian sentence naming source in *error
// (SQLite's own text is logged) and leaves no file at target; source is only read.
bool copyDatabase(const QString &source, const QString &target, QString *error,
    std::chrono::milliseconds busyWait = storage::busyWait);

} // namespace tessaron::storage
