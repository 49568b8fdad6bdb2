#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <array>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

namespace tessaron::ddd {

// The shape of many rows of one dataset: its keys, made once. A row is a copy of the shape's nodes with the values
// moved in, so building one clones the key nodes instead of comparing keys and rebalancing for each insert.
// Decoders build tens of thousands of such rows per file.
class RowTemplate
{
public:
    // The keys in the order row() takes their values; any order, each key once.
    RowTemplate(std::initializer_list<QString> keys);

    qsizetype size() const { return qsizetype(m_valueIndex.size()); }

    // The row holding the i-th value under the i-th key given to the constructor; as many values as keys.
    template<typename... Values> QVariantMap row(Values &&...values) const
    {
        std::array<QVariant, sizeof...(Values)> given {QVariant(std::forward<Values>(values))...};
        return fill(given.data(), qsizetype(given.size()));
    }

private:
    QVariantMap fill(QVariant *values, qsizetype count) const;

    std::map<QString, QVariant> m_shape;
    std::vector<qsizetype> m_valueIndex; // for each key in ascending order, the index of its value
};

} // namespace tessaron::ddd
