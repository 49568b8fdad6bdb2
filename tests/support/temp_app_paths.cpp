#include "temp_app_paths.h"

#include "storage/app_paths.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace tessaron::test {

TempAppPaths::TempAppPaths()
    : m_previousLocalAppData(qgetenv("LOCALAPPDATA"))
    , m_hadLocalAppData(qEnvironmentVariableIsSet("LOCALAPPDATA"))
{
    useInstallation({});
}

void TempAppPaths::useInstallation(const QString &name)
{
    useInstallationIn(name.isEmpty() ? m_directory.path() : m_directory.filePath(name));
}

void TempAppPaths::useInstallationIn(const QString &folder)
{
    m_installation = folder;
    QDir().mkpath(localAppData());
    QDir().mkpath(programDirectory());
    qputenv("LOCALAPPDATA", QDir::toNativeSeparators(localAppData()).toLocal8Bit());
    storage::AppPaths::setProgramDirectoryForTesting(programDirectory());
}

TempAppPaths::~TempAppPaths()
{
    storage::AppPaths::setProgramDirectoryForTesting({});
    if (m_hadLocalAppData)
        qputenv("LOCALAPPDATA", m_previousLocalAppData);
    else
        qunsetenv("LOCALAPPDATA");
}

QString TempAppPaths::localAppData() const
{
    return m_installation + u"/LocalAppData"_s;
}

QString TempAppPaths::programDirectory() const
{
    return m_installation + u"/Program"_s;
}

} // namespace tessaron::test
