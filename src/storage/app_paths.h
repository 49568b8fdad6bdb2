#pragma once

#include <QString>

namespace tessaron::storage {

// The application's folders. Every function only composes a path and creates nothing, except
// ensureDirectories. The per-user root is LOCALAPPDATA/Tessaron (the platform's application-local data
// folder when LOCALAPPDATA is empty); the program folder is the folder of the running executable.
class AppPaths
{
public:
    AppPaths() = delete;

    // The per-user root folder of the application.
    static QString root();
    // The per-user data folder: root()/Data.
    static QString data();
    // The folder of the application's databases: data()/DB.
    static QString databaseDirectory();
    // fileName joined to databaseDirectory().
    static QString database(const QString &fileName);
    // Where synchronisation keeps its backups: data()/Backups.
    static QString backupDirectory();

    // The folder of the running program (or the test override).
    static QString programDirectory();
    // Downloaded DDD files: programDirectory()/DATA, absolute.
    static QString downloadDirectory();
    // Runtime data beside the program (the former report database lay here): programDirectory()/Data.
    static QString runtimeDataDirectory();
    // Where the application log is written: programDirectory()/Logs.
    static QString logDirectory();

    // Creates, with every missing parent, the database, program, download, runtime data and backup folders.
    // Failures are not reported: whoever opens a file there meets them.
    static void ensureDirectories();

    // Makes programDirectory() answer the given folder; an empty text restores the executable's folder.
    static void setProgramDirectoryForTesting(const QString &directory);
};

} // namespace tessaron::storage
