#include "synchronization_manager.h"

#include "logging/application_logger.h"
#include "logging/shown_failure.h"
#include "storage/app_paths.h"
#include "storage/checked_save_file.h"
#include "storage/database_catalog.h"
#include "storage/database_copy.h"
#include "storage/vehicle_configuration_repository.h"
#include "sync/database_merge.h"
#include "sync/entry_name_check.h"
#include "sync/package_database_check.h"
#include "sync/package_staging.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace tessaron::sync {

namespace {

using storage::AppPaths;

const QString packageMagic = u"TESSARON_SYNC_PACKAGE_V1"_s;
const QString packageVersion = u"1"_s;
constexpr QDataStream::Version packageStreamVersion = QDataStream::Qt_5_15;
static_assert(packageStreamVersion == 19, "the phone app reads stream version 19");
constexpr quint32 maximumEntryCount = 100000;

const QString databasePrefix = u"db/"_s;
const QString filesPrefix = u"files/"_s;
const QString ledgerFileName = u"checksums.txt"_s;

// The three data areas: entry prefix after "files/", and the local folder.
struct DataArea
{
    QString prefix;
    QString folder;
    // The shortest path this folder can have on any installation: its place below the folder an installation
    // chooses (the program's folder, the per-user root) with that folder a file system's root ("/DATA"). What is too
    // long even there no installation holds; what is too long only here is this installation's own condition.
    QString shortestFolder;
    // The folder with its links resolved (resolvedPath), set once for all the entries of a package read; empty
    // until then and when a link on its way leads nowhere.
    QString resolvedFolder = {};
};

QString shortestPlace(const QString &chosenFolder, const QString &folder)
{
    return u'/' + QDir(chosenFolder).relativeFilePath(folder);
}

QList<DataArea> dataAreas()
{
    const QString root = AppPaths::root();
    const QString xml = AppPaths::data() + u"/XML"_s;
    const QString documents = AppPaths::data() + u"/Documents"_s;
    const QString download = AppPaths::downloadDirectory();
    return {
        {u"DATA/"_s, download, shortestPlace(AppPaths::programDirectory(), download)},
        {u"XML/"_s, xml, shortestPlace(root, xml)},
        {u"Documents/"_s, documents, shortestPlace(root, documents)},
    };
}

// Files are compared by what the file system sees: links resolved and, where names ignore case, folded.
QString fileKey(const QString &path)
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return path.toCaseFolded();
#else
    return path;
#endif
}

// The same file, whether or not it exists yet: an existing file by its canonical path (which also reads another
// name of it, such as a Windows short name, as its own), any other by its parent folder resolved through links
// and its name.
QString placeKey(const QString &filePath)
{
    const QFileInfo info(filePath);
    if (const QString canonical = info.canonicalFilePath(); !canonical.isEmpty())
        return fileKey(canonical);
    const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
    return fileKey((parent.isEmpty() ? info.absolutePath() : parent) + u'/' + info.fileName());
}

QSet<QString> databasePlaceKeys()
{
    QSet<QString> keys;
    const QStringList names = SynchronizationManager::databaseNames();
    for (const QString &name : names)
        keys.insert(placeKey(SynchronizationManager::databasePath(name)));
    return keys;
}

// base + suffix for the first try, then base + "_2" + suffix, "_3", ...
QString numberedName(const QString &base, int attempt, const QString &suffix)
{
    if (attempt == 1)
        return base + suffix;
    return base + u'_' + QString::number(attempt) + suffix;
}

constexpr int maximumNameAttempts = 1000;

bool writePackage(QIODevice *device, const QList<PackageEntry> &entries)
{
    QDataStream out(device);
    out.setVersion(packageStreamVersion);
    out << packageMagic << packageVersion << QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)
        << qint32(entries.size());
    for (const PackageEntry &entry : entries)
        out << entry.path << entry.content;
    return out.status() == QDataStream::Ok;
}

SyncResult failure(const QString &message)
{
    SyncResult result;
    result.message = message;
    return result;
}

// folder joined with rest, or empty when the cleaned absolute result does not lie below the folder.
QString placeInside(const QString &folder, const QString &rest)
{
    const QString base = QDir::cleanPath(QDir(folder).absolutePath());
    const QString target = QDir::cleanPath(QDir(base).absoluteFilePath(rest));
    return target.startsWith(base + u'/') ? target : QString();
}

bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isJunction();
}

// The absolute path with the links of its existing part resolved and the part that does not exist yet appended
// as written; empty when a link on the way leads nowhere (writing there would create whatever it names).
QString resolvedPath(const QString &path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList missing;
    for (QFileInfo info(existing); !info.exists(); info = QFileInfo(existing)) {
        const QString parent = info.path();
        if (isLink(info) || parent == existing)
            return {};
        missing.prepend(info.fileName());
        existing = parent;
    }
    QString resolved = QFileInfo(existing).canonicalFilePath();
    if (resolved.isEmpty())
        return {};
    for (const QString &name : std::as_const(missing))
        resolved = QDir(resolved).filePath(name);
    return resolved;
}

// Whether place, with its links resolved, lies below the folder base, resolved too; false when either is empty.
bool liesBelow(const QString &base, const QString &place)
{
    if (base.isEmpty() || place.isEmpty())
        return false;
    return fileKey(place).startsWith(fileKey(base.endsWith(u'/') ? base : base + u'/'));
}

// Whether place, with its links resolved, is the folder base, resolved too, or lies below it.
bool isOrLiesBelow(const QString &base, const QString &place)
{
    return (!base.isEmpty() && fileKey(base) == fileKey(place)) || liesBelow(base, place);
}

struct Collection
{
    QList<PackageEntry> entries;
    QList<LeftOutFile> leftOut;
    // Folders already entered (keys of their canonical paths): a link to an ancestor must not recurse forever.
    QSet<QString> enteredFolders;
    // The package databases' places: never taken as data files.
    QSet<QString> excludedFiles;
    // The data folder being read, its links resolved: a folder reached through a link is entered only below it,
    // where an import would write it too.
    QString areaFolder;
};

// The committed state of the database at local, as bytes: copied through SQLite to copyPath, read and removed there.
// The file's own bytes would hold, half-done, what another process is writing. False with why in *error.
bool readCommittedDatabase(const QString &local, const QString &copyPath, QByteArray *content, QString *error)
{
    if (!storage::copyDatabase(local, copyPath, error))
        return false;
    QFile copy(copyPath);
    if (copy.open(QIODevice::ReadOnly))
        *content = copy.readAll();
    const bool read = copy.error() == QFileDevice::NoError;
    if (!read)
        *error = logging::shownFailure(u"Не удалось прочитать копию базы %1"_s.arg(QDir::toNativeSeparators(local)),
            copy.errorString(), u"sync"_s);
    copy.close();
    QFile::remove(copyPath);
    return read;
}

// Adds each existing package database, in the list's order, as its committed state, copied in a staging folder of the
// export's own (made at the first database, removed on return); their local places are never taken as data files.
// False with why, naming the database, in *error.
bool collectDatabases(Collection *collection, QString *error)
{
    std::optional<PackageStaging> staging;
    const QStringList names = SynchronizationManager::databaseNames();
    for (const QString &name : names) {
        const QString local = SynchronizationManager::databasePath(name);
        if (!QFileInfo::exists(local))
            continue;
        if (!staging) {
            staging.emplace(QUuid::createUuid().toString(QUuid::WithoutBraces));
            if (!staging->create()) {
                // The synchronisation folder's own failure is told as the package's would be.
                if (ensureParent(staging->path(), error))
                    *error = u"Не удалось создать папку для копий баз: %1"_s.arg(
                        QDir::toNativeSeparators(staging->path()));
                return false;
            }
        }
        QByteArray content;
        if (!readCommittedDatabase(local, staging->path() + u'/' + name, &content, error))
            return false;
        collection->entries.append({databasePrefix + name, std::move(content)});
        collection->excludedFiles.insert(fileKey(QFileInfo(local).canonicalFilePath()));
    }
    return true;
}

// All not hidden regular files of the folder by name, then each subfolder by name, depth first. What is listed but
// no regular file (a pipe, a socket, a device, links to them) would hang the read or never end; it is left out and
// named, as are files that cannot be read, folder links leading out of the data folder or to a folder that holds
// them, and paths longer than Windows holds. Broken links are passed over.
void collectFiles(const QString &folder, const QString &prefix, Collection *collection)
{
    const QDir dir(folder);
    if (!dir.exists())
        return;
    const QString canonical = fileKey(dir.canonicalPath());
    if (collection->enteredFolders.contains(canonical))
        return;
    collection->enteredFolders.insert(canonical);

    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::System, QDir::Name);
    for (const QFileInfo &info : files) {
        const QString path = prefix + info.fileName();
        if (!info.exists() || collection->excludedFiles.contains(fileKey(info.canonicalFilePath())))
            continue;
        if (!info.isFile()) {
            collection->leftOut.append({path, u"не обычный файл: канал, сокет или устройство"_s});
            continue;
        }
        if (EntryNameCheck::isLocalPathTooLong(info.absoluteFilePath())) {
            collection->leftOut.append({path, EntryNameCheck::reason(EntryNameFault::PathTooLong)});
            continue;
        }
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            collection->leftOut.append({path, u"нет прав на чтение, или файл занят другой программой"_s});
            continue;
        }
        QByteArray content = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            collection->leftOut.append({path, u"ошибка при чтении файла"_s});
            continue;
        }
        collection->entries.append({path, std::move(content)});
    }
    const QFileInfoList folders = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : folders) {
        const QString path = prefix + info.fileName();
        if (!info.isDir()) // a link to a device is listed with the folders too
            continue;
        if (isOrLiesBelow(info.canonicalFilePath(), dir.canonicalPath()))
            collection->leftOut.append({path, u"ссылка по кругу: ведёт в папку, в которой лежит сама"_s});
        else if (!liesBelow(collection->areaFolder, info.canonicalFilePath()))
            collection->leftOut.append({path, u"ссылка на папку вне папки данных"_s});
        else if (EntryNameCheck::isLocalPathTooLong(info.absoluteFilePath(), true))
            collection->leftOut.append({path, EntryNameCheck::reason(EntryNameFault::PathTooLong)});
        else
            collectFiles(info.filePath(), path + u'/', collection);
    }
}

// A database file's own name, and those of the companions SQLite writes beside it.
const QStringList databaseFileSuffixes {QString(), u"-journal"_s, u"-wal"_s, u"-shm"_s};

// Whether the file name is that of a package database or of one of SQLite's companions beside it, in any letter
// case: where names ignore case, a rollback journal written beside the legacy database (the download folder
// "DATA" is its folder "Data") would replace its tables when it is next opened. (A name ending in the dots and
// blanks that Windows drops never gets here: EntryNameCheck refuses it.)
bool namesDatabaseFile(const QString &name)
{
    const QStringList databases = SynchronizationManager::databaseNames();
    for (const QString &database : databases) {
        for (const QString &suffix : databaseFileSuffixes) {
            if (name.compare(database + suffix, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

// Where an entry goes, once its name has passed EntryNameCheck. Kinds Damaged and Refused are faults of the package
// and refuse it whole; an Unwritable entry is a file this installation cannot take where it goes (what lies at its
// place or on its way, its local path), left unwritten and named; Ignored entries are read and dropped.
struct Placement
{
    enum class Kind { Database, File, Ledger, Ignored, Damaged, Refused, Unwritable };
    Kind kind = Kind::Ignored;
    // Database: the staging file. File, Ledger and Unwritable: the local file.
    QString target = {};
    // Refused: why.
    EntryNameFault fault = EntryNameFault::None;
    // Unwritable: why, as a short Russian phrase.
    QString reason = {};
};

Placement unwritable(const QString &target, const QString &reason)
{
    return {Placement::Kind::Unwritable, target, EntryNameFault::None, reason};
}

// Whether the data file can be written at target without writing through a link: not when target is itself a
// link, wherever it points (the save file would replace what the link names), nor when a link on its way leads out
// of the folder whose resolvedPath is base (or nowhere). The reason, or empty.
QString linkOnTheWay(const QString &base, const QString &target)
{
    if (isLink(QFileInfo(target)))
        return u"на его месте лежит ссылка"_s;
    if (!liesBelow(base, resolvedPath(target)))
        return u"его путь идёт через ссылку за пределы папки данных"_s;
    return {};
}

Placement placeEntry(const QString &path, const QString &stagingFolder, const QList<DataArea> &areas)
{
    using Kind = Placement::Kind;
    const bool isDatabase = path.startsWith(databasePrefix);
    if (!isDatabase && !path.startsWith(filesPrefix))
        return {Kind::Ignored};
    const QString rest = path.mid(isDatabase ? databasePrefix.size() : filesPrefix.size());
    if (isDatabase) {
        const QString target = placeInside(stagingFolder, rest);
        if (target.isEmpty())
            return {Kind::Damaged};
        if (EntryNameCheck::isLocalPathTooLong(target))
            return {Kind::Refused, {}, EntryNameFault::PathTooLong};
        // Only the package databases themselves: SQLite would read a journal or WAL beside one as its own.
        return {SynchronizationManager::databasePath(rest).isEmpty() ? Kind::Ignored : Kind::Database, target};
    }
    for (qsizetype i = 0; i < areas.size(); ++i) {
        const DataArea &area = areas.at(i);
        if (!rest.startsWith(area.prefix))
            continue;
        QString inner = rest.mid(area.prefix.size());
        // Any letter case names the ledger where names ignore case; everywhere it is merged, never replaced.
        const bool isLedger = area.prefix == u"XML/"_s && inner.compare(ledgerFileName, Qt::CaseInsensitive) == 0;
        if (isLedger)
            inner = ledgerFileName;
        const QString target = placeInside(area.folder, inner);
        if (target.isEmpty())
            return {Kind::Damaged};
        // The lengths before the links on its way are resolved, whose cost grows with the square of its depth.
        if (EntryNameCheck::isLocalPathTooLong(area.shortestFolder + u'/' + inner))
            return {Kind::Refused, {}, EntryNameFault::PathTooLongAnywhere};
        if (namesDatabaseFile(inner.section(u'/', -1)))
            return {Kind::Ignored};
        if (EntryNameCheck::isLocalPathTooLong(target))
            return unwritable(target, EntryNameCheck::reason(EntryNameFault::PathTooLong));
        if (const QString link = linkOnTheWay(area.resolvedFolder, target); !link.isEmpty())
            return unwritable(target, link);
        return {isLedger ? Kind::Ledger : Kind::File, target};
    }
    return {Kind::Ignored};
}

// Leaves unwritten, with its reason, each data file that cannot be written where it goes: a folder on its place, a
// file on its way. Changes nothing on disk.
void markBlockedPlaces(QList<Placement> *placements)
{
    using Kind = Placement::Kind;
    QSet<QString> sound;
    for (Placement &placement : *placements) {
        if (placement.kind != Kind::File && placement.kind != Kind::Ledger)
            continue;
        if (QFileInfo(placement.target).isDir()) {
            placement = unwritable(placement.target, u"на его месте лежит папка"_s);
            continue;
        }
        QString folder = QFileInfo(placement.target).absolutePath();
        while (!sound.contains(folder) && !QFileInfo::exists(folder))
            folder = QFileInfo(folder).absolutePath();
        if (sound.contains(folder))
            continue;
        if (!QFileInfo(folder).isDir()) {
            placement = unwritable(placement.target, u"на его пути лежит файл %1"_s.arg(folder));
            continue;
        }
        sound.insert(folder);
    }
}

// The package, read whole, with the place of each entry.
struct ReadPackage
{
    QList<PackageEntry> entries;
    QList<Placement> placements;
};

// Reads the whole package and checks every entry name, and where each entry would go; changes nothing on disk.
// False with the refusal, naming the entry, in *error.
bool readPackage(const QString &packagePath, const QString &stagingFolder, ReadPackage *package, QString *error)
{
    if (packagePath.isEmpty() || !QFileInfo::exists(packagePath)) {
        *error = u"Пакет синхронизации не найден."_s;
        return false;
    }
    QFile file(packagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = logging::shownFailure(u"Не удалось открыть пакет синхронизации"_s, file.errorString(), u"sync"_s);
        return false;
    }
    QDataStream in(&file);
    in.setVersion(packageStreamVersion);
    QString magic;
    QString version;
    QString createdAt;
    qint32 count = 0;
    in >> magic >> version >> createdAt >> count;
    if (in.status() != QDataStream::Ok || magic != packageMagic || version != packageVersion) {
        *error = u"Файл не является пакетом Tessaron."_s;
        return false;
    }
    if (quint32(count) > maximumEntryCount) {
        *error = u"Пакет содержит слишком много файлов."_s;
        return false;
    }
    // Nothing on disk changes while the package is read: each folder is resolved once, not for every entry.
    QList<DataArea> areas = dataAreas();
    for (DataArea &area : areas)
        area.resolvedFolder = resolvedPath(area.folder);
    // Where names ignore case or links lead, a data file may be a package database under another name.
    const QSet<QString> databasePlaces = databasePlaceKeys();
    EntryNameCheck names;
    for (qint32 i = 0; i < count; ++i) {
        PackageEntry entry;
        in >> entry.path >> entry.content;
        if (in.status() != QDataStream::Ok) {
            *error = u"Пакет содержит повреждённый путь: запись %1 из %2 оборвана."_s.arg(i + 1).arg(count);
            return false;
        }
        if (const EntryNameFault fault = names.add(entry.path); fault != EntryNameFault::None) {
            *error = names.refusal(entry.path, fault);
            return false;
        }
        Placement placement = placeEntry(entry.path, stagingFolder, areas);
        if ((placement.kind == Placement::Kind::File || placement.kind == Placement::Kind::Ledger)
            && databasePlaces.contains(placeKey(placement.target)))
            placement.kind = Placement::Kind::Ignored;
        if (placement.kind == Placement::Kind::Damaged) {
            *error = u"Пакет содержит повреждённый путь «%1»."_s.arg(EntryNameCheck::displayed(entry.path));
            return false;
        }
        if (placement.kind == Placement::Kind::Refused) {
            *error = names.refusal(entry.path, placement.fault);
            return false;
        }
        package->entries.append(std::move(entry));
        package->placements.append(placement);
    }
    markBlockedPlaces(&package->placements);
    return true;
}

// Copies every existing local package database, as its last commit left it, into a new folder of the backup folder,
// whose path goes into *folder. A database that cannot be copied (another program holding it past the wait, a damaged
// file) fails the backup, naming it and why, and the folder is removed: a backup is whole or none.
bool backUpDatabases(QString *folder, QString *error)
{
    const QString parent = AppPaths::backupDirectory();
    const QString base = parent + u"/Sync_"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd_HHmmss"_s);
    folder->clear();
    if (QDir().mkpath(parent)) {
        for (int attempt = 1; attempt <= maximumNameAttempts && folder->isEmpty(); ++attempt) {
            const QString candidate = numberedName(base, attempt, {});
            if (QDir().mkdir(candidate))
                *folder = candidate;
            else if (!QFileInfo::exists(candidate))
                break;
        }
    }
    if (folder->isEmpty()) {
        *error = u"Не удалось создать каталог резервной копии."_s;
        return false;
    }
    const QStringList names = SynchronizationManager::databaseNames();
    for (const QString &name : names) {
        const QString local = SynchronizationManager::databasePath(name);
        if (!QFileInfo::exists(local))
            continue;
        const QString target = *folder + u"/db/"_s + name;
        QString problem;
        if (!ensureParent(target, error) || !storage::copyDatabase(local, target, &problem)) {
            if (!problem.isEmpty())
                *error = logging::withSentence(problem, u"Резервная копия не создана, данные не изменены."_s);
            QDir(*folder).removeRecursively();
            folder->clear();
            return false;
        }
    }
    return true;
}

// Keeps the local data file that an entry is about to replace in the import's backup folder, under the entry's
// own path beside the databases ("files/Documents/..."). The first copy of a path is kept (a package names each path
// once). A place that holds no file needs no copy.
bool backUpDataFile(const QString &backupFolder, const QString &entryPath, const QString &local, QString *error)
{
    const QString target = backupFolder + u'/' + entryPath;
    if (!QFileInfo(local).isFile() || QFileInfo::exists(target))
        return true;
    if (!ensureParent(target, error))
        return false;
    if (QFile::copy(local, target))
        return true;
    *error = u"Не удалось создать резервную копию: %1"_s.arg(local);
    return false;
}

// Replaces the file at path with content whole, or leaves it as it was and names the file and why in *error.
bool saveFile(const QString &path, const QByteArray &content, QString *error, QIODevice::OpenMode extraMode = {})
{
    storage::CheckedSaveFile file(path);
    if (file.open(extraMode) && file.write(content) && file.commit())
        return true;
    *error = file.failure(u"Не удалось записать файл: %1"_s.arg(path), u"sync"_s);
    return false;
}

// The ledger's lines without line ends, empty lines dropped.
QList<QByteArray> ledgerLines(const QByteArray &content)
{
    QList<QByteArray> lines;
    const QList<QByteArray> parts = content.split('\n');
    for (QByteArray line : parts) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

// Whether the local file holds exactly these bytes, so that writing them would change nothing.
bool holdsBytes(const QString &path, const QByteArray &content)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() != content.size())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == content;
}

// The certificate ledger is append-only everywhere: the local lines stay in their order and the incoming
// lines this ledger lacks follow them, each on a line of its own (a line cut short on either side stays a line by
// itself, never glued to the next). A ledger that gains no line is left as it is (*changed false).
bool mergeLedger(const QString &path, const QByteArray &incoming, bool *changed, QString *error)
{
    QByteArray local;
    if (QFileInfo::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            local = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            *error = logging::shownFileFailure(
                u"Не удалось записать файл: %1"_s.arg(path), file.error(), file.errorString(), u"sync"_s);
            return false;
        }
    }
    QList<QByteArray> lines = ledgerLines(local);
    QSet<QByteArray> known(lines.cbegin(), lines.cend());
    const qsizetype localCount = lines.size();
    const QList<QByteArray> added = ledgerLines(incoming);
    for (const QByteArray &line : added) {
        if (!known.contains(line)) {
            known.insert(line);
            lines.append(line);
        }
    }
    *changed = lines.size() > localCount;
    if (!*changed)
        return true;
    QByteArray merged;
    for (const QByteArray &line : std::as_const(lines))
        merged += line + '\n';
    // Text mode: the line ends of the platform, as the certificate storage appends them.
    return saveFile(path, merged, error, QIODevice::Text);
}

// Writes the package's databases into the staging folder.
bool stageDatabases(const ReadPackage &package, const PackageStaging &staging, QString *error)
{
    for (qsizetype i = 0; i < package.entries.size(); ++i) {
        const PackageEntry &entry = package.entries.at(i);
        if (package.placements.at(i).kind == Placement::Kind::Database
            && !staging.stageDatabase(entry.path.mid(databasePrefix.size()), entry.content, error))
            return false;
    }
    return true;
}

// A database the installation lacks is made under the import's id, which its staging lock marks as running.
bool mergeStagedDatabases(const QString &stagingFolder, const QString &importId, int *recordsAdded, QString *error)
{
    const QStringList names = SynchronizationManager::databaseNames();
    for (const QString &name : names) {
        const QString incoming = stagingFolder + u'/' + name;
        if (!QFileInfo::exists(incoming))
            continue;
        QString problem;
        if (!mergeDatabase(incoming, SynchronizationManager::databasePath(name), recordsAdded, &problem, importId)) {
            *error = u"Ошибка объединения %1: %2"_s.arg(name, problem);
            return false;
        }
    }
    return true;
}

// Writes the data files, each local file it replaces first kept in the backup folder, and merges the ledger;
// *fileCount counts those that changed.
bool writeDataFiles(const ReadPackage &package, const QString &backupFolder, int *fileCount, QString *error)
{
    using Kind = Placement::Kind;
    for (qsizetype i = 0; i < package.entries.size(); ++i) {
        const Placement &placement = package.placements.at(i);
        if (placement.kind != Kind::File && placement.kind != Kind::Ledger)
            continue;
        const QByteArray &content = package.entries.at(i).content;
        if (placement.kind == Kind::File && holdsBytes(placement.target, content))
            continue;
        if (placement.kind == Kind::File
            && !backUpDataFile(backupFolder, package.entries.at(i).path, placement.target, error))
            return false;
        if (!ensureParent(placement.target, error))
            return false;
        bool changed = true;
        const bool written = placement.kind == Kind::Ledger ? mergeLedger(placement.target, content, &changed, error)
                                                            : saveFile(placement.target, content, error);
        if (!written)
            return false;
        if (changed)
            ++*fileCount;
    }
    return true;
}

// Makes ready what the package's databases are checked against: a failure here is this installation's own (its
// temporary folder), told as such before anything changes.
bool prepareDatabaseChecks(const ReadPackage &package, QString *error)
{
    for (qsizetype i = 0; i < package.entries.size(); ++i) {
        if (package.placements.at(i).kind != Placement::Kind::Database)
            continue;
        const QString name = package.entries.at(i).path.mid(databasePrefix.size());
        if (QString problem; !prepareOwnLayout(name, &problem)) {
            *error = u"Пакет не импортирован: "_s + problem + u'.';
            return false;
        }
    }
    return true;
}

// The data files left unwritten, with why.
QList<LeftOutFile> unwrittenFiles(const ReadPackage &package)
{
    QList<LeftOutFile> files;
    for (qsizetype i = 0; i < package.entries.size(); ++i) {
        if (const Placement &placement = package.placements.at(i); placement.kind == Placement::Kind::Unwritable)
            files.append({package.entries.at(i).path, placement.reason});
    }
    return files;
}

// Each file on a line of its own, whole path and reason, under the sentence that says what befell it: a message names
// ten files at most, and a technician looks here for the rest.
void logLeftOut(const QList<LeftOutFile> &files, const QString &sentence, const QString &operation)
{
    for (const LeftOutFile &file : files) {
        logging::ApplicationLogger::write(logging::Level::Warning, u"sync"_s,
            u"%1: «%2» (%3)"_s.arg(sentence, EntryNameCheck::escaped(file.path), file.reason), operation);
    }
}

// Where the whole list of the files a message names in part is to be found.
QString wholeListPlace()
{
    using logging::ApplicationLogger;
    return ApplicationLogger::isInitialized() && ApplicationLogger::isEnabled()
        ? u"весь список — в журнале работы программы"_s
        : u"весь список записывается в журнал работы программы, когда журнал включён"_s;
}

} // namespace

QStringList SynchronizationManager::databaseNames()
{
    using storage::DatabaseCatalog;
    using storage::KnownDatabase;
    QStringList names;
    for (int database = int(KnownDatabase::Settings); database <= int(KnownDatabase::DriverCards); ++database)
        names.append(DatabaseCatalog::fileName(KnownDatabase(database)));
    names.append(storage::VehicleConfigurationRepository::fileName);
    return names;
}

QString SynchronizationManager::databasePath(const QString &fileName)
{
    using storage::DatabaseCatalog;
    using storage::KnownDatabase;
    for (int database = int(KnownDatabase::Settings); database <= int(KnownDatabase::DriverCards); ++database) {
        if (DatabaseCatalog::fileName(KnownDatabase(database)) == fileName)
            return DatabaseCatalog::path(KnownDatabase(database));
    }
    if (fileName == storage::VehicleConfigurationRepository::fileName)
        return AppPaths::database(fileName);
    return {};
}

QString SynchronizationManager::syncDirectory()
{
    return AppPaths::data() + u"/Sync"_s;
}

QStringList SynchronizationManager::packageFiles()
{
    const QFileInfoList files
        = QDir(syncDirectory()).entryInfoList({u"*.tspak"_s}, QDir::Files | QDir::Readable, QDir::Time);
    QStringList paths;
    for (const QFileInfo &info : files)
        paths.append(info.absoluteFilePath());
    return paths;
}

QString SynchronizationManager::listed(const QList<LeftOutFile> &files)
{
    constexpr qsizetype named = 10;
    QStringList parts;
    for (qsizetype i = 0; i < files.size() && i < named; ++i)
        parts.append(u"«%1» (%2)"_s.arg(EntryNameCheck::displayed(files.at(i).path), files.at(i).reason));
    if (files.size() > named)
        parts.append(u"и ещё %1 (%2)"_s.arg(QString::number(files.size() - named), wholeListPlace()));
    return parts.join(u", "_s);
}

QString SynchronizationManager::addedCounts(int recordsAdded, int fileCount)
{
    return u"Добавлено записей: %1, файлов: %2."_s.arg(recordsAdded).arg(fileCount);
}

SyncResult SynchronizationManager::exportPackage(const QString &targetPath)
{
    AppPaths::ensureDirectories();
    QString target = targetPath;
    if (target.isEmpty()) {
        const QString base
            = syncDirectory() + u"/TessaronSync_"_s + QDateTime::currentDateTime().toString(u"yyyy-MM-dd_HH-mm-ss"_s);
        for (int attempt = 1; attempt <= maximumNameAttempts; ++attempt) {
            target = numberedName(base, attempt, u".tspak"_s);
            if (!QFileInfo::exists(target))
                break;
        }
    }
    target = QFileInfo(target).absoluteFilePath();

    Collection collection;
    if (QString error; !collectDatabases(&collection, &error))
        return failure(error);
    const QList<DataArea> areas = dataAreas();
    for (const DataArea &area : areas) {
        collection.areaFolder = resolvedPath(area.folder);
        collectFiles(area.folder, filesPrefix + area.prefix, &collection);
    }

    // A name the import would refuse stops every synchronisation at the other side: such a file stays here.
    SyncResult result;
    result.leftOut = collection.leftOut;
    QList<PackageEntry> entries;
    EntryNameCheck check;
    for (PackageEntry &entry : collection.entries) {
        if (const EntryNameFault fault = check.add(entry.path); fault == EntryNameFault::None)
            entries.append(std::move(entry));
        else
            result.leftOut.append({entry.path, EntryNameCheck::reason(fault)});
    }

    QString error;
    if (!ensureParent(target, &error))
        return failure(error);
    storage::CheckedSaveFile file(target);
    if (!file.open())
        return failure(
            logging::shownFailure(u"Не удалось создать пакет синхронизации"_s, file.errorString(), u"sync"_s));
    if (!writePackage(file.device(), entries) || !file.commit())
        return failure(file.failure(u"Не удалось записать пакет синхронизации"_s, u"sync"_s) + u'.');

    result.success = true;
    result.packagePath = target;
    result.fileCount = int(entries.size());
    result.message = u"Пакет создан: %1"_s.arg(target);
    logLeftOut(result.leftOut, u"Не вошёл в пакет %1"_s.arg(target), u"export-left-out"_s);
    if (!result.leftOut.isEmpty())
        result.message += u". Не вошли в пакет: %1."_s.arg(listed(result.leftOut));
    return result;
}

SyncResult SynchronizationManager::importPackage(const QString &packagePath)
{
    PackageStaging staging(QUuid::createUuid().toString(QUuid::WithoutBraces));
    ReadPackage package;
    QString error;
    // Every check comes first: until the package has passed them all, nothing changes on disk but this import's
    // own staging folder, which goes with the import.
    if (!readPackage(packagePath, staging.path(), &package, &error) || !prepareDatabaseChecks(package, &error))
        return failure(error);
    if (QString reason; !staging.create(&reason))
        return failure(logging::shownFailure(u"Не удалось подготовить импорт (%1)."_s.arg(reason), {}, u"sync"_s));
    removeAbandonedStagingFolders(staging.path());
    removeAbandonedDatabaseBuilds();
    if (!stageDatabases(package, staging, &error) || !checkStagedDatabases(staging.path(), &error))
        return failure(error);

    QString backupFolder;
    if (!backUpDatabases(&backupFolder, &error))
        return failure(error);
    SyncResult result;
    const bool merged = mergeStagedDatabases(staging.path(), staging.id(), &result.recordsAdded, &error)
        && writeDataFiles(package, backupFolder, &result.fileCount, &error);
    result.dataChanged = result.recordsAdded > 0 || result.fileCount > 0;
    if (!merged) {
        const QString done = u"Часть данных уже объединена. "_s + addedCounts(result.recordsAdded, result.fileCount);
        result.message = result.dataChanged ? logging::withSentence(error, done) : error;
        return result;
    }

    result.success = true;
    result.message = u"Синхронизация завершена. "_s + addedCounts(result.recordsAdded, result.fileCount);
    result.leftOut = unwrittenFiles(package);
    logLeftOut(result.leftOut, u"Не записан из пакета %1"_s.arg(packagePath), u"import-unwritten"_s);
    if (!result.leftOut.isEmpty())
        result.message += u" Не записаны: %1."_s.arg(listed(result.leftOut));
    return result;
}

} // namespace tessaron::sync
