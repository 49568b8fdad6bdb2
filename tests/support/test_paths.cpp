#include "test_paths.h"

#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace tessaron::test {

QString samplesDir()
{
    const QString fromEnvironment = qEnvironmentVariable("TESSARON_SAMPLES_DIR");
    return QDir::cleanPath(fromEnvironment.isEmpty() ? QStringLiteral(TESSARON_SAMPLES_DIR) : fromEnvironment);
}

QString samplePath(const QString &fileName)
{
    return QDir(samplesDir()).filePath(fileName);
}

QString missingSample(const QString &fileName)
{
    const QString path = samplePath(fileName);
    return QFileInfo::exists(path) ? QString() : QStringLiteral("real sample file not found: ") + path;
}

bool samplesRequired()
{
    return qEnvironmentVariableIntValue("TESSARON_REQUIRE_SAMPLES") == 1;
}

QString requiredSampleFailure(const QString &reason)
{
    return QStringLiteral("TESSARON_REQUIRE_SAMPLES=1: the samples must be there, so this fails instead of skipping: ")
        + reason;
}

QStringList sampleNames()
{
    return {QStringLiteral("vu-gen1-a"), QStringLiteral("vu-gen1-anon"), QStringLiteral("card-gen1-a"),
        QStringLiteral("card-gen1-2007"), QStringLiteral("card-gen2-anon"), QStringLiteral("card-nonstandard")};
}

QJsonObject sampleFacts(const QString &name, QString *missing)
{
    QString base = name;
    if (base.endsWith(QStringLiteral(".ddd")))
        base.chop(4);
    const QString path = samplePath(QStringLiteral("expected/") + base + QStringLiteral(".json"));
    const QJsonObject facts = QJsonDocument::fromJson(fileBytes(path)).object();
    if (facts.isEmpty() && missing)
        *missing = QStringLiteral("real sample facts not found or unreadable: ") + path;
    return facts;
}

} // namespace tessaron::test
