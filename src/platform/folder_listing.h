#pragma once

#include <QList>
#include <QString>

#include <system_error>

namespace tessaron::platform {

// One entry of a folder: its name, its full path and whether it is a folder. A link to a folder is not a folder
// here and is left out of listings, so a walk never follows one.
struct FolderEntry
{
    QString name;
    QString path;
    bool isFolder = false;
};

// Where a listing failed: opening the folder, reading the next entry, or reading one entry's type.
enum class FolderListingStep { Open, Advance, ReadEntry };

struct FolderListingError
{
    FolderListingStep step = FolderListingStep::Open;
    // The file system's own text for the failure, and its code.
    QString text;
    std::error_code code;
};

// The entries of a folder, hidden ones included, sorted by name (by UTF-16 code units, independent of locale),
// so that "the first" of several entries is always the same one. Unlike QDir's listings it tells a failure
// apart from an empty folder: a folder that vanished, cannot be read or answers with an I/O error gives false
// and the error; the list is then left untouched. An entry that vanishes between the listing and reading its
// type is skipped.
bool listFolder(const QString &path, QList<FolderEntry> *entries, FolderListingError *error);

} // namespace tessaron::platform
