#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace tessaron::test {

// The folder of real tachograph downloads: the environment variable TESSARON_SAMPLES_DIR when set, else the
// folder the build was configured with. Tests only read it.
QString samplesDir();

// The full path of one sample file, whether or not it exists.
QString samplePath(const QString &fileName);

// Why a test that needs one sample file skips, naming the path it tried; empty when the file is there.
QString missingSample(const QString &fileName);

// True where the samples folder is meant to be there (TESSARON_REQUIRE_SAMPLES=1, as CI sets it): a check that
// cannot use a real sample then fails instead of skipping.
bool samplesRequired();

// The failure text of a check that could not use a real sample although the samples are required: the reason
// it would have skipped with, and why it fails instead.
QString requiredSampleFailure(const QString &reason);

// The names (without ".ddd") of the real downloads that have expected facts beside them.
QStringList sampleNames();

// The expected facts of a real download ("vu-gen1-a" or "vu-gen1-a.ddd"); empty when they cannot be read, with
// *missing (when given) naming the path tried.
QJsonObject sampleFacts(const QString &name, QString *missing = nullptr);

} // namespace tessaron::test

// Skips the calling test function for a real sample it cannot use, with the reason (which names the path tried);
// fails it instead where the samples are required.
#define TESSARON_SKIP_SAMPLE(reason)                                                                                   \
    do {                                                                                                               \
        const QString tessaronSampleReason = (reason);                                                                 \
        if (tessaron::test::samplesRequired())                                                                         \
            QFAIL(qPrintable(tessaron::test::requiredSampleFailure(tessaronSampleReason)));                            \
        QSKIP(qPrintable(tessaronSampleReason));                                                                       \
    } while (false)

// Skips the calling test function, naming the path it tried, when a real sample file is absent (fails it where the
// samples are required).
#define TESSARON_REQUIRE_SAMPLE(pathVariable, fileName)                                                                \
    const QString pathVariable = tessaron::test::samplePath(fileName);                                                 \
    if (const QString missing = tessaron::test::missingSample(fileName); !missing.isEmpty())                           \
        TESSARON_SKIP_SAMPLE(missing);
