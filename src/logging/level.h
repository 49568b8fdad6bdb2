#pragma once

#include <QString>

namespace tessaron::logging {

// Severity of a log record; the values are stable.
enum class Level {
    Debug = 0,
    Info = 1,
    Warning = 2,
    Error = 3,
    Critical = 4,
};

// The level as the log writes it: "debug", "info", "warning", "error" or "critical".
QString levelName(Level level);

} // namespace tessaron::logging
