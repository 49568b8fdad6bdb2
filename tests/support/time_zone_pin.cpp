#include "time_zone_pin.h"

#include "ddd/ddd_readers.h"

#include <QTimeZone>

#include <ctime>
#include <optional>

namespace tessaron::test {

namespace {

// TZ as the program found it; nullopt when it was not set, which the C library reads differently from empty.
const std::optional<QByteArray> &suiteZone()
{
    static const std::optional<QByteArray> zone
        = qEnvironmentVariableIsSet("TZ") ? std::optional(qgetenv("TZ")) : std::nullopt;
    return zone;
}

} // namespace

void setTimeZone(const char *zone)
{
    suiteZone();
    qputenv("TZ", zone);
    tzset();
}

void restoreSuiteTimeZone()
{
    if (const std::optional<QByteArray> &zone = suiteZone())
        qputenv("TZ", *zone);
    else
        qunsetenv("TZ");
    tzset();
}

QDateTime pinnedNow()
{
    return QDateTime(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());
}

void pinTimeZoneAndClock(const char *zone, const QDateTime &now)
{
    setTimeZone(zone);
    ddd::setCurrentDateTimeForTesting(now);
}

void releaseTimeZoneAndClock()
{
    ddd::setCurrentDateTimeForTesting({});
    restoreSuiteTimeZone();
}

} // namespace tessaron::test
