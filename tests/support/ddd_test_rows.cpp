#include "ddd_test_rows.h"

#include <QDateTime>
#include <QTimeZone>
#include <QVariantMap>

namespace tessaron::test {

QString fieldValue(const QVariantList &rows, const QString &description)
{
    for (const QVariant &row : rows) {
        const QVariantMap map = row.toMap();
        if (map.value(QStringLiteral("description")).toString() == description)
            return map.value(QStringLiteral("value")).toString();
    }
    return QStringLiteral("<missing>");
}

QStringList descriptions(const QVariantList &rows)
{
    QStringList result;
    for (const QVariant &row : rows)
        result.append(row.toMap().value(QStringLiteral("description")).toString());
    return result;
}

QString utcText(quint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()).toString(QStringLiteral("dd.MM.yyyy H:mm:ss"));
}

} // namespace tessaron::test
