#pragma once

#include <QLockFile>
#include <QString>

// Where an import checks a package's databases before its first change: a folder of its own in the synchronisation
// folder, marked as its own by a lock for as long as it runs, and the removal of what imports that no longer run
// left there and beside the local databases. Only the synchronisation code and its tests include this header.
namespace tessaron::sync {

// An import's own staging folder, Sync/incoming_<id>, held through its lock for as long as the import runs, and
// removed with the lock, and with the folders it had to make when they stay empty, on every way out. An export copies
// its databases in one of its own, so that an import removes what a killed export left there too.
class PackageStaging
{
public:
    explicit PackageStaging(const QString &id);
    ~PackageStaging();
    PackageStaging(const PackageStaging &) = delete;
    PackageStaging &operator=(const PackageStaging &) = delete;

    QString id() const { return m_id; }
    QString path() const { return m_path; }

    // Takes the lock and makes the folder; false when either fails, with the Russian reason in *reason when given
    // ("на диске нет места").
    bool create(QString *reason = nullptr);

    // Writes the bytes of the package database of that name (one of SynchronizationManager::databaseNames(),
    // exactly) into the folder, and nothing for any other name: a journal, WAL or shared-memory file beside a staged
    // database would be read as its own. False when any byte did not reach the device, with the Russian sentence and
    // its reason in *error ("Не удалось подготовить базу MasterDB.db (на диске нет места)."); the file system's own
    // text goes to the log.
    bool stageDatabase(const QString &name, const QByteArray &content, QString *error) const;

private:
    QString m_id;
    QString m_path;
    QLockFile m_lock;
    // The outermost folder above the staging folder that create() made, if any.
    QString m_madeFrom;
};

// Removes the staging folders (and their locks) of the synchronisation folder that no running import holds: those
// an import left when it was killed or its machine lost power. The folder at ownPath is this import's.
void removeAbandonedStagingFolders(const QString &ownPath);

// Removes the databases, with their journals, that imports no longer running were making beside the local ones
// (mergeDatabase's buildingDatabasePath under the import's id): a killed import leaves a copy as large as the
// incoming database for good. The staging lock of the id in the name tells whether its import still runs; this
// import holds its own.
void removeAbandonedDatabaseBuilds();

// Runs the merge's own check on every staged package database, so that a damaged one refuses the package before
// the first merge.
bool checkStagedDatabases(const QString &stagingFolder, QString *error);

} // namespace tessaron::sync
