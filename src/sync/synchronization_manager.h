#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace tessaron::sync {

// One file inside a synchronisation package.
struct PackageEntry
{
    // Relative entry path with "/" separators: "db/<database file name>", or "files/DATA/", "files/XML/" or
    // "files/Documents/" followed by the file's path inside that data folder.
    QString path;
    // The file's bytes, whole.
    QByteArray content;
};

// A file an export left out or an import left unwritten, and why.
struct LeftOutFile
{
    // The entry path it would have had (a left-out folder's, for all it holds).
    QString path;
    // Why, as a short Russian phrase ("две точки подряд").
    QString reason;
};

// The outcome of an export or an import.
struct SyncResult
{
    // True only when the whole operation finished.
    bool success = false;
    // The Russian report on success, the Russian reason on failure.
    QString message;
    // Export: the absolute path of the written package. Import: empty.
    QString packagePath;
    // Import: rows added (or, for settings, changed) by every database merge together. Export: 0.
    int recordsAdded = 0;
    // Export: the entries written (databases and files). Import: the data files whose bytes changed.
    int fileCount = 0;
    // Export: the files left out, because an import would refuse their paths, because they are no regular files or
    // because they cannot be read (the message names them too). Import: the data files left unwritten because of what
    // this installation holds where they go (the message names them too, after the counts).
    QList<LeftOutFile> leftOut;
    // Import: true once a merge or a written file has changed the local data (recordsAdded or fileCount above 0),
    // also when a later step failed, whose message then says how much was merged. Export: false.
    bool dataChanged = false;
};

// Synchronisation packages (".tspak"): one file carrying the workshop's databases and data folders from one
// installation to another (PC and phone, or two PCs). The format is the contract with the phone app: a
// QDataStream of version 19 (Qt 5.13-5.15), big-endian, holding the magic "TESSARON_SYNC_PACKAGE_V1" (QString),
// the format version "1" (QString), the creation time (QString, UTC, ISO 8601 with milliseconds, "...Z"), the
// entry count (qint32), then each entry's path (QString) and content (QByteArray). Readers check only magic and
// version and ignore what follows the last entry.
//
// Travels: the settings, masters, customers, vehicle, calibration and certificate databases, the legacy
// "driver_cards.db" and "VehicleConfigurations.db" (the package databases, in that order); the download folder
// (files/DATA/), data/XML (files/XML/) and data/Documents (files/Documents/). The report database
// "ReportsDB.db" never travels.
//
// No state, no instances, no lock on the data (an import only marks its own staging folder): every function may
// run on any thread, but never two at once on the same data folders. Failures come back in SyncResult::message; nothing
// is thrown. A message names ten files left out at most: the log names each, one line a file with its reason.
class SynchronizationManager
{
public:
    SynchronizationManager() = delete;

    // The package databases' file names, in the order they are exported, backed up and merged.
    static QStringList databaseNames();
    // The local path of a package database; empty for any other name.
    static QString databasePath(const QString &fileName);

    // The synchronisation folder, data()/Sync: default place of exported packages and parent of the import's
    // temporary folders. Not created here.
    static QString syncDirectory();

    // Absolute paths of the readable, not hidden "*.tspak" files of the synchronisation folder, newest
    // modification first; empty when the folder is missing.
    static QStringList packageFiles();

    // The left-out files for a message: each shown with its reason ("«a..b.pdf» (две точки подряд)"), the first ten,
    // then how many more and that the application's log holds the whole list (or holds it once switched on, while
    // it is off). The export and the import write that list; a message built from their leftOut may say so.
    static QString listed(const QList<LeftOutFile> &files);

    // What an import changed, for a message: "Добавлено записей: 3, файлов: 1."
    static QString addedCounts(int recordsAdded, int fileCount);

    // Writes a package of the local data to targetPath, or, when it is empty, to
    // "TessaronSync_<yyyy-MM-dd_HH-mm-ss>.tspak" in the synchronisation folder ("_2", "_3", ... appended to the
    // name while it is taken, so an existing package is never replaced). The package is written through a save
    // file and is there only when every byte of it reached the disk: a failure (a full disk: "Не удалось записать
    // пакет синхронизации (на диске нет места).") leaves nothing at the target (and an existing file there as it
    // was). Each local database is taken as its last commit left it, whatever another process is writing: copied
    // through SQLite (waiting up to 5 s for a writer that holds it) into a staging folder of the export's own,
    // Sync/incoming_<uuid> as an import's, read and removed; a database that cannot be copied (held past the wait,
    // damaged) or read fails the export, naming it and why. Only regular files are read,
    // through a link too; symbolic links to folders are followed while they stay inside their data folder, and no
    // folder is entered twice. Files that are the local path of a package database are never taken as data files. A
    // file whose entry path the import would refuse (EntryNameCheck, the same check, and a local path longer than
    // Windows holds), a file that cannot be opened or read (no read permission; on Windows, one another program
    // holds open), anything else that is no regular file (a named pipe, a socket, a device), a folder link leading
    // out of its data folder and one leading to a folder that holds it (a loop) are left out and named in leftOut and
    // the message, so that one odd file never stops or floods a synchronisation; once the package is written, the
    // log names every one of them with its reason.
    static SyncResult exportPackage(const QString &targetPath = {});

    // Brings the package at packagePath into the local data. Everything is checked before the first change, and a
    // refused package leaves the disk as it was: a missing or unreadable file, a file that is no package, more
    // than 100000 entries, a truncated entry, an entry path that EntryNameCheck refuses (one that could leave its
    // folder, that Windows or the phone cannot hold, whose file is another entry's folder, or that an earlier entry
    // already named in any letter case), a data file whose local path would be longer than Windows holds
    // (EntryNameCheck::isLocalPathTooLong, on every platform) even below the shortest folder its data folder can be
    // (its place below the program's folder or the per-user root, that folder a file system's root), a database
    // whose staging path is that long, and a package database that is no whole SQLite database. Every refusal of a
    // path names its entry. An import this installation cannot check (the program's own layouts cannot be made in its
    // temporary folder) is refused too, before any change, as the program's failure naming that folder. What this
    // installation holds of its own where a data file goes never refuses the package: a data file that would be
    // written through a link in the data folders (the file itself a link, or a link on its way leading out of its
    // folder, links of both resolved), onto a local folder or below a local file, or whose local path is longer than
    // Windows holds under this installation's own data folder, is left unwritten (nothing is written through the
    // link) and named with its reason in leftOut, the message and the log, and the databases and every other file are
    // taken.
    // The package databases, and no other "db/" entry (a journal, a WAL, any other name is ignored), are staged and
    // checked, each read as that one file alone (packageDatabaseUri), in the import's staging folder
    // Sync/incoming_<uuid>, marked as its own by the lock file "incoming_<uuid>.lock" beside it and removed on every
    // way out; each import removes the staging folders whose lock no running process holds (left by an import that
    // was killed), and so the databases such an
    // import was making beside their local places (mergeDatabase's "<name>.<uuid>.new" with its journal). Then every
    // existing local package database is copied, through SQLite as its last commit left it, into a new backup folder
    // backupDirectory()/Sync_<yyyyMMdd_HHmmss> ("_2", ... when taken; a database that cannot be copied, held past 5 s
    // by another program or damaged, refuses the import before any change, naming it and why, and leaves no backup
    // folder), the staged databases are merged into the local ones in the list's order (rows are only
    // added; settings take the newer value), and the data files are written through save files over the local files of
    // the same relative path, each whole or not at all (a file that did not reach the disk whole keeps the local one
    // and ends the import: "Не удалось записать файл: <path> (на диске нет места)"); a local file that already holds
    // the same bytes is left unwritten. Entries outside
    // the three data folders, entries named like a package database or its journal ("-journal", "-wal", "-shm")
    // in any letter case, and entries that would land on a package database are ignored; the certificate ledger
    // XML/checksums.txt, named in any letter case, is merged line by line (local lines first, then the incoming
    // lines it lacks), never replaced. recordsAdded and fileCount count only what changed the local data. A
    // failure after the backup (a merge, a write) keeps the merges and files completed before it, and the backup;
    // when they changed the local data, the result counts them and sets dataChanged.
    static SyncResult importPackage(const QString &packagePath);
};

} // namespace tessaron::sync
