#pragma once

#include "known_database.h"

#include <QString>

namespace tessaron::storage {

// File names and locations of the application's databases.
class DatabaseCatalog
{
public:
    DatabaseCatalog() = delete;

    // The database's file name ("SettingsDB.db", ...); empty for a value outside the enumeration.
    static QString fileName(KnownDatabase database);

    // The database's full local path; empty for a value outside the enumeration. Creates nothing.
    static QString path(KnownDatabase database);

    // Makes sure the report database can be opened at path(Reports). When that file is missing, an earlier
    // "driver_cards.db" (runtime data folder, database folder, program folder, in that order) is copied
    // beside the target through SQLite, as its last commit left it (another program's write in progress is waited
    // for up to 5 s), checked with "PRAGMA quick_check" and only then renamed into place. The earlier file is never
    // removed and its committed content never changed (a journal a killed program left is rolled back in it, as
    // any SQLite reader does). A failed move leaves neither the target nor a temporary copy behind, and the next
    // call tries again. Returns false, with a Russian text in *error (written only on failure), when the move fails
    // (a file held past the wait says so) or the target's folder cannot be created.
    static bool prepareReportsDatabase(QString *error = nullptr);
};

} // namespace tessaron::storage
