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

QStringList sampleNames()
{
    return {QStringLiteral("vu-gen1-a"), QStringLiteral("vu-gen1-anon"), QStringLiteral("card-gen1-a"),
        QStringLiteral("card-gen1-2007"), QStringLiteral("card-gen2-anon"), QStringLiteral("card-nonstandard")};
}

QJsonObject sampleFacts(const QString &name)
{
    QString base = name;
    if (base.endsWith(QStringLiteral(".ddd")))
        base.chop(4);
    return QJsonDocument::fromJson(fileBytes(samplePath(QStringLiteral("expected/") + base + QStringLiteral(".json"))))
        .object();
}

} // namespace tessaron::test
