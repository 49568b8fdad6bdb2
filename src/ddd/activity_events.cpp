#include "activity_events.h"

#include <QRegularExpression>
#include <QTime>

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

QString textOf(const QVariantMap &record, const QString &key)
{
    return record.value(key).toString();
}

QList<Event> makeEvents(const QVariantList &rows)
{
    static const QString counterKey = QStringLiteral("activityDailyPresenceCounter1");
    static const QString dayKeyKey = QStringLiteral("dayKey");
    static const QString dayKey = QStringLiteral("day");
    static const QString timeKey = QStringLiteral("time");
    static const QString minutesKey = QStringLiteral("minutes");

    QList<Event> events;
    events.reserve(rows.size());
    for (const QVariant &row : rows) {
        Event event;
        event.record = row.toMap();
        event.dayKey = textOf(event.record, counterKey);
        if (event.dayKey.isEmpty())
            event.dayKey = textOf(event.record, event.record.contains(dayKeyKey) ? dayKeyKey : dayKey);
        if (event.dayKey.isEmpty())
            event.dayKey = QStringLiteral("0");

        bool ok = false;
        event.minute = parseMinutes(textOf(event.record, timeKey), &ok);
        event.hasTime = ok;
        if (!ok) {
            const auto minutes = event.record.constFind(minutesKey);
            if (minutes != event.record.constEnd()) {
                event.minute = minutes->toInt();
                event.hasTime = event.minute >= 0 && event.minute < minutesPerDay;
            }
        }

        event.dayOrder = dayOrderKey(event.dayKey);
        event.kind = activityKind(event.record);
        event.cardInserted = inserted(event.record);
        events.append(std::move(event));
    }
    return events;
}

QList<DayData> groupDays(QList<Event> events)
{
    std::sort(events.begin(), events.end(), eventDayLess);

    // Equal day texts are neighbours after that sort, so each run of them is one day.
    QList<DayData> days;
    qsizetype runStart = 0;
    while (runStart < events.size()) {
        qsizetype runEnd = runStart + 1;
        while (runEnd < events.size() && events.at(runEnd).dayKey == events.at(runStart).dayKey)
            ++runEnd;
        DayData day;
        day.dayKey = events.at(runStart).dayKey;
        day.events.reserve(runEnd - runStart);
        for (qsizetype i = runStart; i < runEnd; ++i)
            day.events.append(std::move(events[i]));
        std::sort(day.events.begin(), day.events.end(), inDayLess);
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

ActivityKind activityKind(const QVariantMap &record)
{
    static const QString activityKey = QStringLiteral("activity");
    const QString activity = textOf(record, activityKey).trimmed();
    for (const KindStem &entry : kindStems) {
        if (activity.contains(QStringView(entry.stem), Qt::CaseInsensitive))
            return entry.kind;
    }
    return ActivityKind::Unknown;
}

bool inserted(const QVariantMap &record)
{
    static const QString cardStatusKey = QStringLiteral("cardStatus");
    const QString status = textOf(record, cardStatusKey).trimmed();
    if (status.isEmpty())
        return false;
    for (const char16_t *stem : notInsertedStems) {
        if (status.contains(QStringView(stem), Qt::CaseInsensitive))
            return false;
    }
    for (const char16_t *text : insertedTexts) {
        if (status.compare(QStringView(text), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isManualRecord(const QVariantMap &record)
{
    static const QString flagKey = QStringLiteral("manualInputFlag");
    static const QString manualKey = QStringLiteral("manualInput");
    const QString flag = textOf(record, flagKey).trimmed();
    if (!flag.isEmpty() && flag != QStringView(u"0") && flag.compare(u"Нет", Qt::CaseInsensitive) != 0
        && flag.compare(u"No", Qt::CaseInsensitive) != 0)
        return true;
    return record.value(manualKey).toBool();
}

} // namespace tessaron::ddd::activity
