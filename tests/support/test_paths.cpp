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

} // namespace tessaron::test
