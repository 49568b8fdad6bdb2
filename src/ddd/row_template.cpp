#include "row_template.h"

#include "checked_growth.h"

#include <QtGlobal>

namespace tessaron::ddd {

RowTemplate::RowTemplate(std::initializer_list<QString> keys)
{
    for (const QString &key : keys)
        m_shape.emplace(key, QVariant());
    Q_ASSERT(m_shape.size() == keys.size());
    reserveChecked(m_valueIndex, qsizetype(keys.size()));
    for (const auto &[shapeKey, value] : m_shape) {
        qsizetype index = 0;
        for (const QString &key : keys) {
            if (key == shapeKey)
                break;
            ++index;
        }
        m_valueIndex.push_back(index);
    }
}

QVariantMap RowTemplate::fill(QVariant *values, qsizetype count) const
{
    Q_ASSERT(count == size());
    Q_UNUSED(count);
    std::map<QString, QVariant> row = m_shape;
    auto index = m_valueIndex.cbegin();
    for (auto &entry : row)
        entry.second = std::move(values[*index++]);
    return QVariantMap(std::move(row));
}

} // namespace tessaron::ddd
