#include "ddd_report.h"

namespace tessaron::ddd {

QVariantMap DddReport::summary() const
{
    return {{QStringLiteral("fileName"), fileName}};
}

QVariantList DddReport::blockRows() const
{
    return {};
}

const QVariantList *dataset(const DddReport &report, QStringView name)
{
    for (const DddDataset &entry : allDatasets) {
        if (entry.name == name)
            return &(report.*entry.member);
    }
    return nullptr;
}

QVariantList *dataset(DddReport &report, QStringView name)
{
    return const_cast<QVariantList *>(dataset(std::as_const(report), name));
}

} // namespace tessaron::ddd
