#pragma once

// Time zone and "now" for tests whose texts depend on them: each test pins both, so a result never depends on
// the machine or the day the suite runs.

#include <QDateTime>

namespace tessaron::test {

// Sets TZ and makes the C library read it again, so local-time conversions follow at once.
void setTimeZone(const char *zone);

// Puts TZ back as the test program found it: the zone the suite runs in (UTC unless configured otherwise).
void restoreSuiteTimeZone();

// The decoder's "now" most tests pin: 1 March 2026, 12:00 UTC.
QDateTime pinnedNow();

// Pins TZ and the decoder's clock.
void pinTimeZoneAndClock(const char *zone = "UTC", const QDateTime &now = pinnedNow());

// Frees the decoder's clock and puts TZ back to the zone the suite runs in.
void releaseTimeZoneAndClock();

} // namespace tessaron::test
