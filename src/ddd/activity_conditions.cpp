#include "activity_conditions.h"

#include "ddd_readers.h"

#include <QStringList>

#include <algorithm>
#include <climits>

namespace tessaron::ddd::activity {

namespace {

constexpr const char16_t *ferryTrainWords[] = {u"паром", u"поезд", u"ferry", u"train"};

} // namespace

QString conditionName(const RowFields &row)
{
    for (const QVariant *value : {row.specificConditionType, row.conditionType, row.type}) {
        QString name = textOf(value);
        if (!name.isEmpty())
            return name;
    }
    return {};
}

bool isFerryOrTrain(const RowFields &row)
{
    const QString name = conditionName(row);
    if (!name.isEmpty()) {
        for (const char16_t *word : ferryTrainWords) {
            if (name.contains(QStringView(word), Qt::CaseInsensitive))
                return true;
        }
    }

    for (const QVariant *value : {row.specificConditionType, row.conditionCode, row.type}) {
        if (!value)
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
    QVariantList manualRecords;
    for (const QVariant &row : cardIwData) {
        const QVariantMap record = row.toMap();
        if (isManualRecord(RowFields(record)))
            manualRecords.append(record);
    }

    QVariantList ferryTrainConditions;
    QVariantList ferryTrainIntervals;
    qint64 ferryTrainMinutes = 0;
    int openStart = -1;
    for (const QVariant &row : specificConditions) {
        const QVariantMap record = row.toMap();
        const RowFields fields(record);
        if (!isFerryOrTrain(fields))
            continue;
        ferryTrainConditions.append(record);

        const QString name = conditionName(fields).toLower();
        const bool isBegin = name.contains(u"начало") || name.contains(u"begin");
        const bool isEnd = name.contains(u"оконч") || name.contains(u"end");

        QString timeText = textOf(fields.entryTime);
        if (timeText.isEmpty())
            timeText = textOf(fields.time);
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
