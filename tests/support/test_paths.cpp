#include "test_paths.h"

#include <QDir>
#include <QFile>

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

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace tessaron::test
