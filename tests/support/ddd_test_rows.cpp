#include "ddd_test_rows.h"

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

} // namespace tessaron::test
