#include "time_zone_pin.h"

#include "ddd/ddd_readers.h"

#include <QTimeZone>

#include <ctime>

namespace tessaron::test {

void setTimeZone(const char *zone)
{
    qputenv("TZ", zone);
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
    setTimeZone("UTC");
}

} // namespace tessaron::test
