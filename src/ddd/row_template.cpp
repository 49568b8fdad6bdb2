#include "row_template.h"

#include <QtGlobal>

namespace tessaron::ddd {

RowTemplate::RowTemplate(std::initializer_list<QString> keys)
{
    for (const QString &key : keys)
        m_shape.insert(key, QVariant());
    Q_ASSERT(m_shape.size() == qsizetype(keys.size()));
    m_valueIndex.reserve(keys.size());
    for (auto it = m_shape.keyBegin(); it != m_shape.keyEnd(); ++it) {
        qsizetype index = 0;
        for (const QString &key : keys) {
            if (key == *it)
                break;
            ++index;
        }
        m_valueIndex.push_back(index);
    }
}

QVariantMap RowTemplate::row(std::initializer_list<QVariant> values) const
{
    Q_ASSERT(qsizetype(values.size()) == size());
    QVariantMap row = m_shape;
    const QVariant *given = values.begin();
    auto index = m_valueIndex.cbegin();
    for (auto it = row.begin(); it != row.end(); ++it, ++index) // begin() makes the row's own copy
        it.value() = given[*index];
    return row;
}

} // namespace tessaron::ddd
