#include "level.h"

using namespace Qt::StringLiterals;

namespace tessaron::logging {

QString levelName(Level level)
{
    switch (level) {
    case Level::Debug:
        return u"debug"_s;
    case Level::Info:
        return u"info"_s;
    case Level::Warning:
        return u"warning"_s;
    case Level::Error:
        return u"error"_s;
    case Level::Critical:
        return u"critical"_s;
    }
    return u"info"_s;
}

} // namespace tessaron::logging
