#pragma once

// Hand-made activity rows for the analysis tests, with exactly the keys the record decoders write: a driver
// card's rows carry the presence counter as text and English texts, a vehicle unit's rows an integer day
// number and Russian slot texts.

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QVariantList>
#include <QVariantMap>

#include <initializer_list>

namespace tessaron::test {

// What a change records: an activity with the card inserted, or no card at all.
enum class Act { Drive, Work, Available, Rest, NoCard };

inline QString clockText(int minute)
{
    return QStringLiteral("%1:%2").arg(minute / 60, 2, 10, QLatin1Char('0')).arg(minute % 60, 2, 10, QLatin1Char('0'));
}

inline QString englishActivity(Act act)
{
    switch (act) {
    case Act::Drive:
        return QStringLiteral("Drive");
    case Act::Work:
        return QStringLiteral("Work");
    case Act::Available:
        return QStringLiteral("Availability");
    case Act::Rest:
    case Act::NoCard:
        return QStringLiteral("Rest");
    }
    return {};
}

// One change of a driver card's daily record; a change without the card has no activity text.
inline QVariantMap cardChange(const QString &counter, int minute, Act act)
{
    const bool inserted = act != Act::NoCard;
    return {
        {QStringLiteral("activityDailyPresenceCounter1"), counter},
        {QStringLiteral("slot"), QStringLiteral("Driver")},
        {QStringLiteral("drivingStatus"), inserted ? QStringLiteral("Single") : QStringLiteral("Unknown")},
        {QStringLiteral("cardStatus"), inserted ? QStringLiteral("Inserted") : QStringLiteral("Not Inserted")},
        {QStringLiteral("activity"), inserted ? englishActivity(act) : QString()},
        {QStringLiteral("time"), clockText(minute)},
        {QStringLiteral("day"), counter},
        {QStringLiteral("minutes"), minute},
    };
}

// One change of a vehicle unit's day block; without a card the slot still records rest.
inline QVariantMap vuChange(int dayNo, int minute, Act act)
{
    const bool inserted = act != Act::NoCard;
    return {
        {QStringLiteral("dayNo"), dayNo},
        {QStringLiteral("day"), dayNo},
        {QStringLiteral("slot"), QStringLiteral("Водитель")},
        {QStringLiteral("drivingStatus"), QStringLiteral("Одиночный режим")},
        {QStringLiteral("cardStatus"), inserted ? QStringLiteral("Inserted") : QStringLiteral("Not Inserted")},
        {QStringLiteral("activity"), englishActivity(act)},
        {QStringLiteral("timeOfChange"), clockText(minute)},
        {QStringLiteral("minutes"), minute},
        {QStringLiteral("activityDailyPresenceCounter1"), dayNo},
        {QStringLiteral("time"), clockText(minute)},
    };
}

struct Change
{
    int minute;
    Act act;
};

// The rows of one day, one per change, in the given order.
inline QVariantList cardDay(const QString &counter, std::initializer_list<Change> changes)
{
    QVariantList rows;
    for (const Change &change : changes)
        rows.append(cardChange(counter, change.minute, change.act));
    return rows;
}

inline QVariantList vuDay(int dayNo, std::initializer_list<Change> changes)
{
    QVariantList rows;
    for (const Change &change : changes)
        rows.append(vuChange(dayNo, change.minute, change.act));
    return rows;
}

inline QVariantMap group(const QVariantMap &analysis, const QString &name)
{
    return analysis.value(name).toMap();
}

inline QVariantMap dayEntry(const QVariantMap &analysis, qsizetype index)
{
    return analysis.value(QStringLiteral("workingHours")).toList().value(index).toMap();
}

// False, naming the place in *where, when any number in the value is negative or any text shows a negative
// time.
inline bool hasNothingNegative(const QVariant &value, QString *where, const QString &path = {})
{
    static const QRegularExpression negativeTime(QStringLiteral("-\\d+:\\d"));
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (!hasNothingNegative(it.value(), where, path + u'/' + it.key()))
                return false;
        }
        return true;
    }
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (!hasNothingNegative(list.at(i), where, path + u'/' + QString::number(i)))
                return false;
        }
        return true;
    }
    case QMetaType::QStringList:
    case QMetaType::QString: {
        const QStringList texts = value.toStringList();
        for (const QString &text : texts) {
            if (text.contains(negativeTime)) {
                *where = path + u'=' + text;
                return false;
            }
        }
        return true;
    }
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        if (value.toDouble() < 0) {
            *where = path + u'=' + value.toString();
            return false;
        }
        return true;
    default:
        return true;
    }
}

} // namespace tessaron::test

#define TESSARON_VERIFY_NOTHING_NEGATIVE(analysis)                                                                     \
    do {                                                                                                               \
        QString negativeAt;                                                                                            \
        QVERIFY2(tessaron::test::hasNothingNegative(QVariant(analysis), &negativeAt), qPrintable(negativeAt));         \
    } while (false)
