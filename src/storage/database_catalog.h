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
    // beside the target, checked with "PRAGMA quick_check" and only then renamed into place; the earlier file
    // is never changed or removed. A failed move leaves neither the target nor a temporary copy behind.
    // Returns false, with a Russian text in *error (written only on failure), when the move fails or the
    // target's folder cannot be created.
    static bool prepareReportsDatabase(QString *error = nullptr);
};

} // namespace tessaron::storage
