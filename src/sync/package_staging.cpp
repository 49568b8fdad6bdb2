#include "package_staging.h"

#include "logging/shown_failure.h"
#include "storage/checked_save_file.h"
#include "sync/database_merge.h"
#include "sync/package_database_check.h"
#include "sync/synchronization_manager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>
#include <filesystem>
#include <system_error>

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

std::filesystem::path nativePath(const QString &path)
{
    return std::filesystem::path(path.toStdU16String());
}

// Why the lock in folder could not be taken. Qt tells of a lock file it could not write only as an unknown error
// (and removes what it wrote of it): a disk left without a block of room is where it met that.
QString lockFailureReason(const QLockFile &lock, const QString &folder)
{
    if (lock.error() == QLockFile::PermissionError)
        return logging::failureReason(QFileDevice::PermissionsError);
    const QStorageInfo disk(folder);
    const bool full = disk.isValid() && disk.bytesAvailable() < std::max(disk.blockSize(), 1);
    return logging::failureReason(full ? QFileDevice::ResourceError : QFileDevice::UnspecifiedError);
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

bool PackageStaging::create(QString *reason)
{
    const QString parent = QFileInfo(m_path).absolutePath();
    for (QString folder = parent; !QFileInfo::exists(folder); folder = QFileInfo(folder).absolutePath()) {
        m_madeFrom = folder;
        if (QFileInfo(folder).absolutePath() == folder)
            break;
    }
    std::error_code code;
    QString why;
    if (std::filesystem::create_directories(nativePath(parent), code); code)
        why = logging::failureReason(code);
    else if (!m_lock.tryLock(0))
        why = lockFailureReason(m_lock, parent);
    else if (!std::filesystem::create_directory(nativePath(m_path), code))
        why = logging::failureReason(code ? code : std::make_error_code(std::errc::file_exists));
    if (why.isEmpty())
        return true;
    if (reason)
        *reason = why;
    return false;
}

bool PackageStaging::stageDatabase(const QString &name, const QByteArray &content, QString *error) const
{
    if (SynchronizationManager::databasePath(name).isEmpty())
        return true;
    // Checked to the device: a cut copy would be read as a damaged package and refuse a sound one.
    storage::CheckedSaveFile file(m_path + u'/' + name);
    if (file.open() && file.write(content) && file.commit())
        return true;
    *error = file.failure(u"Не удалось подготовить базу %1"_s.arg(name), u"sync"_s) + u'.';
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
