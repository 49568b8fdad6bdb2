#pragma once

// Internal to the activity analyzer: activity-change rows as events grouped into days, and the small readers
// that classify a row. Nothing here keeps state; everything takes rows by const reference.

#include <QDate>
#include <QList>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace tessaron::ddd::activity {

inline constexpr int minutesPerDay = 1440;

enum class ActivityKind { Driving, Available, Work, Rest, Unknown };

// The values of the keys the analysis reads, found in one walk over a row: every lookup in a map walks down
// its tree, and the analysis reads a dozen keys of each of thousands of rows. Null where the row lacks the key;
// the row must outlive the fields.
struct RowFields
{
    explicit RowFields(const QVariantMap &row);

    const QVariant *presenceCounter = nullptr; // "activityDailyPresenceCounter1"
    const QVariant *dayKey = nullptr;
    const QVariant *day = nullptr;
    const QVariant *time = nullptr;
    const QVariant *minutes = nullptr;
    const QVariant *slot = nullptr;
    const QVariant *activity = nullptr;
    const QVariant *cardStatus = nullptr;
    const QVariant *manualInputFlag = nullptr;
    const QVariant *manualInput = nullptr;
    const QVariant *specificConditionType = nullptr;
    const QVariant *conditionType = nullptr;
    const QVariant *type = nullptr;
    const QVariant *conditionCode = nullptr;
    const QVariant *entryTime = nullptr;
};

// The text of a value; a missing key reads as the empty text, an integer as its decimal digits.
QString textOf(const QVariant *value);

// One activity-change row.
struct Event
{
    QVariantMap record;
    QString dayKey; // never empty
    int minute = 0; // 0..1439 whenever hasTime; a row without a readable time keeps what its "minutes" said
    bool hasTime = false;

    // Read once from the record, because the sorts and the rules of the analysis ask again and again.
    int dayOrder = 0;
    ActivityKind kind = ActivityKind::Unknown;
    bool cardInserted = false;
    bool unknownActivity = false; // no activity text, or one that says it is unknown
    bool manual = false;
    bool ferryOrTrain = false;
};

// One day: the events that share a day key, and the counters the analysis fills.
struct DayData
{
    QString dayKey;
    QDate date; // the calendar day; invalid when the download gives none for the key
    QList<Event> events; // in-day order
    int workMinutes = 0;
    int restMinutes = 0;
    int availableMinutes = 0;
    int unknownMinutes = 0;
    int drivingMinutes = 0;
    int workActivityMinutes = 0;
    int restActivityMinutes = 0;
    int workStart = -1; // -1 while the day has no card interval
    int workEnd = -1;
    int manualInputCount = 0;
    int specificConditionCount = 0;
};

// One event per row, in row order. With driverSlotOnly only the rows of the vehicle unit's driver slot
// ("Водитель") are kept; otherwise no row is skipped.
QList<Event> makeEvents(const QVariantList &rows, bool driverSlotOnly = false);

// Sorts the events by day (order key, then day text, then minute), makes one day per distinct day text in that
// order and sorts each day's events (timed before untimed, then by minute). Both sorts are stable, so changes at
// one minute keep their order in the file.
QList<DayData> groupDays(QList<Event> events);

// A day key as decimal, failing that as hexadecimal; a key that is neither sorts last (INT_MAX).
int dayOrderKey(const QString &key);

// The time of day of "hh:mm" or of a text holding " hh:mm" (a date and time); 0 and *ok false otherwise.
int parseMinutes(const QString &text, bool *ok);

ActivityKind activityKind(const RowFields &row);

// The activity text is empty, "Unknown" or "Неизвестно".
bool isUnknownActivity(const RowFields &row);

// A driver card was inserted when the change was recorded.
bool inserted(const RowFields &row);

// The record was entered by hand ("manualInputFlag", else "manualInput").
bool isManualRecord(const RowFields &row);

} // namespace tessaron::ddd::activity
