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

// The names (without ".ddd") of the real downloads that have expected facts beside them.
QStringList sampleNames();

// The expected facts of a real download ("vu-gen1-a" or "vu-gen1-a.ddd"); empty when they cannot be read.
QJsonObject sampleFacts(const QString &name);

} // namespace tessaron::test

// Skips the calling test function, naming the path it tried, when a real sample file is absent.
#define TESSARON_REQUIRE_SAMPLE(pathVariable, fileName)                                                                \
    const QString pathVariable = tessaron::test::samplePath(fileName);                                                 \
    if (const QString missing = tessaron::test::missingSample(fileName); !missing.isEmpty())                           \
        QSKIP(qPrintable(missing));
