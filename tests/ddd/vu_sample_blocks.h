#pragma once

// Real vehicle-unit downloads for acceptance tests: the file cut into its transfer blocks where its expected
// facts place them, so the record decoders are checked apart from the block splitter.

#include "ddd/ddd_report.h"
#include "support/test_paths.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
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
    QFile file(samplePath(name + QStringLiteral(".ddd")));
    QFile facts(samplePath(QStringLiteral("expected/") + name + QStringLiteral(".json")));
    if (!file.open(QIODevice::ReadOnly) || !facts.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    sample.expected = QJsonDocument::fromJson(facts.readAll()).object();
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

// Where to cut a block of that size: every length near its head and its tail (the counts, the first records,
// the signature boundary) and every fifth one between.
inline QList<qsizetype> cutLengths(qsizetype size)
{
    QList<qsizetype> lengths;
    for (qsizetype length = 0; length <= size; ++length) {
        if (length < 300 || size - length < 300 || length % 5 == 0)
            lengths.append(length);
    }
    return lengths;
}

// Runs check on the block cut at each of cutLengths(), then on 200 copies with four random bytes changed
// (seeded, so a failure repeats); stops at the first failure and names the cut or the trial.
inline void checkCutsAndFlips(
    const ddd::DddBlock &original, quint32 seed, const std::function<void(const ddd::DddBlock &)> &check)
{
    const qsizetype size = original.data.size();
    for (const qsizetype cut : cutLengths(size)) {
        ddd::DddBlock block = original;
        block.data = original.data.left(cut);
        check(block);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("cut at %1").arg(cut)));
    }
    QRandomGenerator random(seed);
    for (int i = 0; i < 200; ++i) {
        ddd::DddBlock block = original;
        for (int flip = 0; flip < 4; ++flip)
            block.data[random.bounded(size)] = char(random.bounded(256));
        check(block);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("flip trial %1").arg(i)));
    }
}

} // namespace tessaron::test

// Skips the calling test function when the sample or its facts are absent.
#define TESSARON_REQUIRE_VU_SAMPLE(sampleVariable, name)                                                               \
    tessaron::test::VuSample sampleVariable;                                                                           \
    if (!tessaron::test::loadVuSample(name, sampleVariable))                                                           \
        QSKIP(qPrintable(QStringLiteral("real sample not found: ") + (name)));
