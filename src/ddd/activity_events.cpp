#include "activity_events.h"

#include "activity_conditions.h"
#include "checked_growth.h"
#include "vu_records.h"

#include <QRegularExpression>
#include <QTime>
#include <QVarLengthArray>

#include <algorithm>
#include <climits>

namespace tessaron::ddd::activity {

namespace {

struct KindStem
{
    const char16_t *stem;
    ActivityKind kind;
};

// First match wins, so "Driver available" is driving.
constexpr KindStem kindStems[] = {
    {u"drive", ActivityKind::Driving},
    {u"driv", ActivityKind::Driving},
    {u"вожден", ActivityKind::Driving},
    {u"available", ActivityKind::Available},
    {u"availability", ActivityKind::Available},
    {u"доступ", ActivityKind::Available},
    {u"готов", ActivityKind::Available},
    {u"work", ActivityKind::Work},
    {u"работ", ActivityKind::Work},
    {u"rest", ActivityKind::Rest},
    {u"отдых", ActivityKind::Rest},
    {u"перерыв", ActivityKind::Rest},
};

constexpr const char16_t *insertedTexts[] = {
    u"Inserted",
    u"Inserted Card",
    u"Карта вставлена",
    u"Вставлена",
    u"Вставлена карта",
};

constexpr const char16_t *notInsertedStems[] = {u"not inserted", u"не встав", u"not-inserted"};

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

ActivityKind activityKindOf(const QString &text)
{
    const QString activity = text.trimmed();
    for (const KindStem &entry : kindStems) {
        if (activity.contains(QStringView(entry.stem), Qt::CaseInsensitive))
            return entry.kind;
    }
    return ActivityKind::Unknown;
}

bool isUnknownActivityText(const QString &text)
{
    const QString activity = text.trimmed();
    return activity.isEmpty() || activity.compare(u"Unknown", Qt::CaseInsensitive) == 0
        || activity.compare(u"Неизвестно", Qt::CaseInsensitive) == 0;
}

bool isInsertedText(const QString &text)
{
    const QString status = text.trimmed();
    if (status.isEmpty())
        return false;
    for (const char16_t *stem : notInsertedStems) {
        if (status.contains(QStringView(stem), Qt::CaseInsensitive))
            return false;
    }
    for (const char16_t *inserted : insertedTexts) {
        if (status.compare(QStringView(inserted), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The answers for the last few distinct texts.
template<typename T> class TextMemo
{
public:
    T value(const QString &text, T (*compute)(const QString &))
    {
        for (const Entry &entry : m_entries) {
            if (entry.text == text)
                return entry.value;
        }
        const T computed = compute(text);
        if (m_entries.size() < capacity)
            m_entries.append({text, computed});
        return computed;
    }

private:
    static constexpr qsizetype capacity = 16;
    struct Entry
    {
        QString text;
        T value;
    };
    QVarLengthArray<Entry, capacity> m_entries;
};

bool eventDayLess(const Event &a, const Event &b)
{
    if (a.dayOrder != b.dayOrder)
        return a.dayOrder < b.dayOrder;
    const int byText = QString::compare(a.dayKey, b.dayKey, Qt::CaseSensitive);
    if (byText == 0)
        return a.minute < b.minute;
    return byText < 0;
}

bool inDayLess(const Event &a, const Event &b)
{
    if (a.hasTime != b.hasTime)
        return a.hasTime;
    return a.minute < b.minute;
}

} // namespace

RowFields::RowFields(const QVariantMap &row)
{
    for (auto it = row.constBegin(); it != row.constEnd(); ++it) {
        const QStringView key = it.key();
        const QVariant *value = &it.value();
        switch (key.size()) {
        case 3:
            if (key == u"day")
                day = value;
            break;
        case 4:
            if (key == u"time")
                time = value;
            else if (key == u"type")
                type = value;
            else if (key == u"slot")
                slot = value;
            break;
        case 6:
            if (key == u"dayKey")
                dayKey = value;
            break;
        case 7:
            if (key == u"minutes")
                minutes = value;
            break;
        case 8:
            if (key == u"activity")
                activity = value;
            break;
        case 9:
            if (key == u"entryTime")
                entryTime = value;
            break;
        case 10:
            if (key == u"cardStatus")
                cardStatus = value;
            break;
        case 11:
            if (key == u"manualInput")
                manualInput = value;
            break;
        case 13:
            if (key == u"conditionType")
                conditionType = value;
            else if (key == u"conditionCode")
                conditionCode = value;
            break;
        case 15:
            if (key == u"manualInputFlag")
                manualInputFlag = value;
            break;
        case 21:
            if (key == u"specificConditionType")
                specificConditionType = value;
            break;
        case 29:
            if (key == u"activityDailyPresenceCounter1")
                presenceCounter = value;
            break;
        default:
            break;
        }
    }
}

QString textOf(const QVariant *value)
{
    return value ? value->toString() : QString();
}

QList<Event> makeEvents(const QVariantList &rows, bool driverSlotOnly)
{
    // Decoded rows repeat a handful of activity and status texts and run day by day: classify each text once.
    TextMemo<ActivityKind> kinds;
    TextMemo<bool> unknownActivities;
    TextMemo<bool> insertedStates;
    QString lastDayKey;
    int lastDayOrder = 0;

    QList<Event> events;
    reserveChecked(events, rows.size());
    for (const QVariant &row : rows) {
        Event event;
        event.record = row.toMap();
        const RowFields fields(event.record);
        if (driverSlotOnly && textOf(fields.slot).trimmed() != vu::driverSlotText)
            continue;

        event.dayKey = textOf(fields.presenceCounter);
        if (event.dayKey.isEmpty())
            event.dayKey = textOf(fields.dayKey ? fields.dayKey : fields.day);
        if (event.dayKey.isEmpty())
            event.dayKey = QStringLiteral("0");

        bool ok = false;
        event.minute = parseMinutes(textOf(fields.time), &ok);
        event.hasTime = ok;
        if (!ok && fields.minutes) {
            event.minute = fields.minutes->toInt();
            event.hasTime = event.minute >= 0 && event.minute < minutesPerDay;
        }

        if (lastDayKey.isNull() || event.dayKey != lastDayKey) {
            lastDayKey = event.dayKey;
            lastDayOrder = dayOrderKey(event.dayKey);
        }
        event.dayOrder = lastDayOrder;
        const QString activityText = textOf(fields.activity);
        event.kind = kinds.value(activityText, activityKindOf);
        event.unknownActivity = unknownActivities.value(activityText, isUnknownActivityText);
        event.cardInserted = insertedStates.value(textOf(fields.cardStatus), isInsertedText);
        event.manual = isManualRecord(fields);
        event.ferryOrTrain = isFerryOrTrain(fields);
        events.append(std::move(event));
    }
    return events;
}

QList<DayData> groupDays(QList<Event> events)
{
    std::stable_sort(events.begin(), events.end(), eventDayLess);

    // Equal day texts are neighbours after that sort, so each run of them is one day.
    QList<DayData> days;
    qsizetype runStart = 0;
    while (runStart < events.size()) {
        qsizetype runEnd = runStart + 1;
        while (runEnd < events.size() && events.at(runEnd).dayKey == events.at(runStart).dayKey)
            ++runEnd;
        DayData day;
        day.dayKey = events.at(runStart).dayKey;
        reserveChecked(day.events, runEnd - runStart);
        for (qsizetype i = runStart; i < runEnd; ++i)
            day.events.append(std::move(events[i]));
        std::stable_sort(day.events.begin(), day.events.end(), inDayLess);
        days.append(std::move(day));
        runStart = runEnd;
    }
    return days;
}

int dayOrderKey(const QString &key)
{
    bool ok = false;
    int value = key.toInt(&ok, 10);
    if (ok)
        return value;
    value = key.toInt(&ok, 16);
    return ok ? value : INT_MAX;
}

int parseMinutes(const QString &text, bool *ok)
{
    const QString trimmed = text.trimmed();

    // Every decoded row carries exactly "hh:mm"; read that without the general path below.
    if (trimmed.size() == 5 && isAsciiDigit(trimmed.at(0)) && isAsciiDigit(trimmed.at(1)) && trimmed.at(2) == u':'
        && isAsciiDigit(trimmed.at(3)) && isAsciiDigit(trimmed.at(4))) {
        const int hours = (trimmed.at(0).unicode() - u'0') * 10 + (trimmed.at(1).unicode() - u'0');
        const int minutes = (trimmed.at(3).unicode() - u'0') * 10 + (trimmed.at(4).unicode() - u'0');
        *ok = hours < 24 && minutes < 60;
        return *ok ? hours * 60 + minutes : 0;
    }

    static const QRegularExpression timePattern(QStringLiteral("(?:^|\\s)(\\d{1,2}):(\\d{2})"));
    QString candidate = trimmed;
    const QRegularExpressionMatch match = timePattern.match(trimmed);
    if (match.hasMatch())
        candidate = match.captured(1) + u':' + match.captured(2);
    const QTime time = QTime::fromString(candidate, QStringLiteral("HH:mm"));
    *ok = time.isValid();
    return *ok ? time.hour() * 60 + time.minute() : 0;
}

ActivityKind activityKind(const RowFields &row)
{
    return activityKindOf(textOf(row.activity));
}

bool isUnknownActivity(const RowFields &row)
{
    return isUnknownActivityText(textOf(row.activity));
}

bool inserted(const RowFields &row)
{
    return isInsertedText(textOf(row.cardStatus));
}

bool isManualRecord(const RowFields &row)
{
    const QString flag = textOf(row.manualInputFlag).trimmed();
    if (!flag.isEmpty() && flag != QStringView(u"0") && flag.compare(u"Нет", Qt::CaseInsensitive) != 0
        && flag.compare(u"No", Qt::CaseInsensitive) != 0)
        return true;
    return row.manualInput && row.manualInput->toBool();
}

} // namespace tessaron::ddd::activity
