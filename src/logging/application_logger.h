#pragma once

#include "level.h"

#include <QString>

namespace tessaron::logging {

// The process-wide application log: one JSON object per line ("timestamp", "level", "category",
// "operation", "message") in "tessaron.log", rotated by size into "tessaron.log.1" (newest) ...
// "tessaron.log.N" (oldest). One mutex guards every operation, so any thread may call any function.
// While it runs, Qt's own messages are written to the log as well.
class ApplicationLogger
{
public:
    ApplicationLogger() = delete;

    static constexpr qint64 defaultMaxFileSize = 5 * 1024 * 1024;
    static constexpr int defaultMaxBackupFiles = 5;

    // Starts (or restarts) the log in directory, AppPaths::logDirectory() when empty, creating the folder,
    // and installs the Qt message handler. A log file that cannot be opened is retried on the next write.
    static void initialize(const QString &directory = {});
    // Closes the log and gives Qt's messages back to the previous handler; writes are dropped again.
    static void shutdown();
    static bool isInitialized();

    // Switches writing on or off without closing down the logger. On by default.
    static void setEnabled(bool enabled);
    static bool isEnabled();

    // Appends one record. Does nothing before initialize(), after shutdown() or while switched off; never
    // reports a failure.
    static void write(Level level, const QString &category, const QString &message, const QString &operation = {});

    // The current log file; empty before initialize().
    static QString filePath();

    // When the file reaches maxFileSize bytes it is rotated; maxBackupFiles older files are kept.
    static void setRotation(qint64 maxFileSize, int maxBackupFiles);
};

} // namespace tessaron::logging
