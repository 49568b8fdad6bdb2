#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <initializer_list>
#include <vector>

namespace tessaron::ddd {

// The shape of many rows of one dataset: its keys, made once. A row is a copy of the shape's map with the values
// filled in, so building one clones the key nodes instead of comparing keys and rebalancing for each insert.
// Decoders build tens of thousands of such rows per file.
class RowTemplate
{
public:
    // The keys in the order row() takes their values; any order, each key once.
    RowTemplate(std::initializer_list<QString> keys);

    qsizetype size() const { return qsizetype(m_valueIndex.size()); }

    // The row holding values[i] under the i-th key given to the constructor; values.size() must equal size().
    QVariantMap row(std::initializer_list<QVariant> values) const;

private:
    QVariantMap m_shape;
    std::vector<qsizetype> m_valueIndex; // for each key in ascending order, the index of its value
};

} // namespace tessaron::ddd
