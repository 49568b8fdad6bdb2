#include "activity_conditions.h"

#include "activity_events.h"
#include "ddd_readers.h"

#include <QStringList>

#include <algorithm>
#include <climits>

namespace tessaron::ddd::activity {

namespace {

constexpr const char16_t *ferryTrainWords[] = {u"паром", u"поезд", u"ferry", u"train"};

} // namespace

QString conditionName(const QVariantMap &row)
{
    static const QString typeTextKeys[] = {
        QStringLiteral("specificConditionType"),
        QStringLiteral("conditionType"),
        QStringLiteral("type"),
    };
    for (const QString &key : typeTextKeys) {
        QString name = textOf(row, key);
        if (!name.isEmpty())
            return name;
    }
    return {};
}

bool isFerryOrTrain(const QVariantMap &row)
{
    const QString name = conditionName(row);
    for (const char16_t *word : ferryTrainWords) {
        if (name.contains(QStringView(word), Qt::CaseInsensitive))
            return true;
    }

    static const QString codeKeys[] = {
        QStringLiteral("specificConditionType"),
        QStringLiteral("conditionCode"),
        QStringLiteral("type"),
    };
    for (const QString &key : codeKeys) {
        const auto value = row.constFind(key);
        if (value == row.constEnd())
            continue;
        bool ok = false;
        const int code = value->toInt(&ok);
        if (ok && (code == 3 || code == 4))
            return true;
    }
    return false;
}

QVariantMap analyzeConditions(const QVariantList &cardIwData, const QVariantList &specificConditions)
{
    static const QString entryTimeKey = QStringLiteral("entryTime");
    static const QString timeKey = QStringLiteral("time");

    QVariantList manualRecords;
    for (const QVariant &row : cardIwData) {
        const QVariantMap record = row.toMap();
        if (isManualRecord(record))
            manualRecords.append(record);
    }

    QVariantList ferryTrainConditions;
    QVariantList ferryTrainIntervals;
    qint64 ferryTrainMinutes = 0;
    int openStart = -1;
    for (const QVariant &row : specificConditions) {
        const QVariantMap record = row.toMap();
        if (!isFerryOrTrain(record))
            continue;
        ferryTrainConditions.append(record);

        const QString name = conditionName(record).toLower();
        const bool isBegin = name.contains(u"начало") || name.contains(u"begin");
        const bool isEnd = name.contains(u"оконч") || name.contains(u"end");

        QString timeText = textOf(record, entryTimeKey);
        if (timeText.isEmpty())
            timeText = textOf(record, timeKey);
        bool ok = false;
        const int minute = parseMinutes(timeText, &ok);
        if (!ok)
            continue;

        if (isBegin) {
            openStart = minute;
        } else if (isEnd && openStart >= 0) {
            int length = minute - openStart;
            if (length < 0)
                length += minutesPerDay; // the crossing passed midnight
            ferryTrainMinutes += length;
            ferryTrainIntervals.append(QVariantMap {
                {QStringLiteral("begin"), formatMinutes(openStart)},
                {QStringLiteral("end"), formatMinutes(minute)},
                {QStringLiteral("minutes"), length},
            });
            openStart = -1;
        }
    }

    return {
        {QStringLiteral("manualInputCount"), qint64(manualRecords.size())},
        {QStringLiteral("manualRecords"), manualRecords},
        {QStringLiteral("specificConditionCount"), qint64(specificConditions.size())},
        {QStringLiteral("specificConditions"), specificConditions},
        {QStringLiteral("ferryTrainCount"), int(std::min<qsizetype>(ferryTrainConditions.size(), INT_MAX))},
        {QStringLiteral("ferryTrainConditions"), ferryTrainConditions},
        {QStringLiteral("ferryTrainMinutes"), int(std::min<qint64>(ferryTrainMinutes, INT_MAX))},
        {QStringLiteral("ferryTrainIntervals"), ferryTrainIntervals},
    };
}

} // namespace tessaron::ddd::activity
