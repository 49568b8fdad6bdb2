#include "package_staging.h"

#include "sync/database_merge.h"
#include "sync/package_database_check.h"
#include "sync/synchronization_manager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

using namespace Qt::StringLiterals;

namespace tessaron::sync {

namespace {

const QString stagingPrefix = u"incoming_"_s;
const QString stagingLockSuffix = u".lock"_s;

// The staging folder of the import of this id; its lock is this path with stagingLockSuffix.
QString stagingPath(const QString &id)
{
    return SynchronizationManager::syncDirectory() + u'/' + stagingPrefix + id;
}

// The lock that marks a staging folder as owned by a running import: the file beside it, "<folder>.lock". Only
// the death of the process that holds it makes it stale, never its age: an import of a large package runs long.
void prepareStagingLock(QLockFile *lock)
{
    lock->setStaleLockTime(0);
}

// The form of an import's id, a UUID without braces.
const QString importIdPattern = u"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"_s;

} // namespace

PackageStaging::PackageStaging(const QString &id)
    : m_id(id)
    , m_path(stagingPath(id))
    , m_lock(m_path + stagingLockSuffix)
{
    prepareStagingLock(&m_lock);
}

PackageStaging::~PackageStaging()
{
    if (m_lock.isLocked()) {
        QDir(m_path).removeRecursively();
        m_lock.unlock();
    }
    for (QString folder = QFileInfo(m_path).absolutePath(); !m_madeFrom.isEmpty() && QDir().rmdir(folder);
         folder = QFileInfo(folder).absolutePath()) {
        if (folder == m_madeFrom)
            break;
    }
}

bool PackageStaging::create()
{
    const QString parent = QFileInfo(m_path).absolutePath();
    for (QString folder = parent; !QFileInfo::exists(folder); folder = QFileInfo(folder).absolutePath()) {
        m_madeFrom = folder;
        if (QFileInfo(folder).absolutePath() == folder)
            break;
    }
    return QDir().mkpath(parent) && m_lock.tryLock(0) && QDir().mkdir(m_path);
}

bool PackageStaging::stageDatabase(const QString &name, const QByteArray &content, QString *error) const
{
    if (SynchronizationManager::databasePath(name).isEmpty())
        return true;
    QFile file(m_path + u'/' + name);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size())
        return true;
    *error = u"Не удалось подготовить базу %1."_s.arg(name);
    return false;
}

void removeAbandonedStagingFolders(const QString &ownPath)
{
    static const QRegularExpression stagingName(
        QRegularExpression::anchoredPattern(stagingPrefix + importIdPattern + u"(\\.lock)?"_s));
    const QDir sync(QFileInfo(ownPath).absolutePath());
    QSet<QString> folders;
    const QStringList names = sync.entryList({stagingPrefix + u'*'}, QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (const QRegularExpressionMatch match = stagingName.match(name); match.hasMatch())
            folders.insert(sync.filePath(name.chopped(match.capturedLength(1))));
    }
    folders.remove(ownPath);
    for (const QString &folder : std::as_const(folders)) {
        QLockFile lock(folder + stagingLockSuffix);
        prepareStagingLock(&lock);
        if (!lock.tryLock(0))
            continue;
        QDir(folder).removeRecursively();
        lock.unlock();
    }
}

void removeAbandonedDatabaseBuilds()
{
    static const QRegularExpression builtName(u"^.*\\.("_s + importIdPattern + u")\\.new(-journal|-wal|-shm)?$"_s);
    const QStringList names = SynchronizationManager::databaseNames();
    for (const QString &name : names) {
        const QDir folder = QFileInfo(SynchronizationManager::databasePath(name)).absoluteDir();
        const QStringList files = folder.entryList({name + u".*.new*"_s}, QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &file : files) {
            const QRegularExpressionMatch match = builtName.match(file);
            const QString id = match.captured(1);
            if (!match.hasMatch() || file != buildingDatabasePath(name, id) + match.captured(2))
                continue;
            QLockFile lock(stagingPath(id) + stagingLockSuffix);
            prepareStagingLock(&lock);
            if (!lock.tryLock(0))
                continue;
            QFile::remove(folder.filePath(file));
            lock.unlock();
        }
    }
}

bool checkStagedDatabases(const QString &stagingFolder, QString *error)
{
    const QStringList names = SynchronizationManager::databaseNames();
    for (const QString &name : names) {
        const QString incoming = stagingFolder + u'/' + name;
        if (!QFileInfo::exists(incoming))
            continue;
        // SQLite's own words on a damaged file are in the log; the technician reads which database failed.
        if (const PackageDatabaseFault fault = checkPackageDatabaseFile(incoming, name); !fault.isNone()) {
            *error = u"Пакет не импортирован: база %1 не прошла проверку"_s.arg(name)
                + (fault.reason.isEmpty() ? QString() : u": "_s + fault.reason);
            return false;
        }
    }
    return true;
}

} // namespace tessaron::sync
