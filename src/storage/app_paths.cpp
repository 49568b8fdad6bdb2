#include "app_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

struct ProgramDirectoryOverride
{
    QMutex mutex;
    QString directory;
};

ProgramDirectoryOverride &programDirectoryOverride()
{
    static ProgramDirectoryOverride instance;
    return instance;
}

QString joined(const QString &directory, const QString &name)
{
    return QDir::cleanPath(directory + u'/' + name);
}

} // namespace

QString AppPaths::root()
{
    const QString localAppData = qEnvironmentVariable("LOCALAPPDATA");
    if (!localAppData.isEmpty())
        return QDir::cleanPath(localAppData) + u"/Tessaron"_s;
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
}

QString AppPaths::data()
{
    return joined(root(), u"Data"_s);
}

QString AppPaths::databaseDirectory()
{
    return joined(data(), u"DB"_s);
}

QString AppPaths::database(const QString &fileName)
{
    return joined(databaseDirectory(), fileName);
}

QString AppPaths::backupDirectory()
{
    return joined(data(), u"Backups"_s);
}

QString AppPaths::programDirectory()
{
    {
        ProgramDirectoryOverride &override = programDirectoryOverride();
        const QMutexLocker locker(&override.mutex);
        if (!override.directory.isEmpty())
            return override.directory;
    }
    // Without an application object (early start-up) the working folder is the best guess there is.
    if (QCoreApplication::instance() == nullptr)
        return QDir::currentPath();
    return QDir::cleanPath(QCoreApplication::applicationDirPath());
}

QString AppPaths::downloadDirectory()
{
    return QDir(joined(programDirectory(), u"DATA"_s)).absolutePath();
}

QString AppPaths::runtimeDataDirectory()
{
    return joined(programDirectory(), u"Data"_s);
}

QString AppPaths::logDirectory()
{
    return joined(programDirectory(), u"Logs"_s);
}

void AppPaths::ensureDirectories()
{
    const QString directories[] = {
        databaseDirectory(),
        programDirectory(),
        downloadDirectory(),
        runtimeDataDirectory(),
        backupDirectory(),
    };
    for (const QString &directory : directories)
        QDir().mkpath(directory);
}

void AppPaths::setProgramDirectoryForTesting(const QString &directory)
{
    ProgramDirectoryOverride &override = programDirectoryOverride();
    const QMutexLocker locker(&override.mutex);
    override.directory = directory.isEmpty() ? QString() : QDir::cleanPath(QDir(directory).absolutePath());
}

} // namespace tessaron::storage
