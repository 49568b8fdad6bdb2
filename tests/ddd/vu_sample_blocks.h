#pragma once

// Real vehicle-unit downloads for acceptance tests: the file cut into its transfer blocks where its expected
// facts place them, so the record decoders are checked apart from the block splitter.

#include "ddd/ddd_report.h"
#include "support/test_files.h"
#include "support/test_paths.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

namespace tessaron::test {

struct VuSample
{
    QJsonObject expected;
    ddd::DddReport report; // blocks only, nothing decoded yet
};

// False when the sample or its facts are absent.
inline bool loadVuSample(const QString &name, VuSample &sample)
{
    const QByteArray bytes = fileBytes(samplePath(name + QStringLiteral(".ddd")));
    sample.expected = sampleFacts(name);
    if (bytes.isEmpty() || sample.expected.isEmpty())
        return false;
    sample.report = {};
    sample.report.fileType = ddd::DddFileType::Tachograph;
    QHash<QString, qint32> occurrences;
    for (const QJsonValue &value : sample.expected.value(QStringLiteral("blocks")).toArray()) {
        const QJsonObject entry = value.toObject();
        ddd::DddBlock block;
        block.fileNumber = entry.value(QStringLiteral("tag")).toString();
        block.occurrence = ++occurrences[block.fileNumber];
        block.offset = entry.value(QStringLiteral("offset")).toInt();
        block.length = entry.value(QStringLiteral("length")).toInt();
        block.data = bytes.mid(block.offset, block.length);
        sample.report.blocks.append(block);
    }
    return !sample.report.blocks.isEmpty();
}

// The first block of that number in a sample, or an empty block.
inline ddd::DddBlock blockOf(const VuSample &sample, const QString &fileNumber)
{
    for (const ddd::DddBlock &block : sample.report.blocks) {
        if (block.fileNumber == fileNumber)
            return block;
    }
    return {};
}

} // namespace tessaron::test

// Skips the calling test function when the sample or its facts are absent.
#define TESSARON_REQUIRE_VU_SAMPLE(sampleVariable, name)                                                               \
    tessaron::test::VuSample sampleVariable;                                                                           \
    if (!tessaron::test::loadVuSample(name, sampleVariable))                                                           \
        QSKIP(qPrintable(QStringLiteral("real sample not found: ") + (name)));
