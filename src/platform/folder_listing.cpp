#include "folder_listing.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tessaron::platform {

namespace {

bool fail(FolderListingStep step, const std::error_code &code, FolderListingError *error)
{
    if (error != nullptr)
        *error = {step, QString::fromLocal8Bit(code.message()), code};
    return false;
}

} // namespace

bool listFolder(const QString &path, QList<FolderEntry> *entries, FolderListingError *error)
{
    namespace fs = std::filesystem;
    std::error_code code;
    fs::directory_iterator it(fs::path(QFile::encodeName(path).toStdString()), code);
    if (code)
        return fail(FolderListingStep::Open, code, error);

    const QDir folder(path);
    QList<FolderEntry> found;
    for (; it != fs::directory_iterator(); it.increment(code)) {
        const fs::file_status status = it->symlink_status(code);
        if (code == std::errc::no_such_file_or_directory)
            continue;
        if (code)
            return fail(FolderListingStep::ReadEntry, code, error);
        const bool isFolder = fs::is_directory(status);
        if (fs::is_symlink(status)) {
            // A link's target may be missing or unreadable: then it is no folder, and no reason to fail.
            std::error_code targetCode;
            if (fs::is_directory(it->status(targetCode)))
                continue;
        }
        const QString name = QFile::decodeName(QByteArray::fromStdString(it->path().filename().native()));
        found.append({name, folder.filePath(name), isFolder});
    }
    // A failing increment sets the code and leaves the end iterator behind, which ends the loop.
    if (code)
        return fail(FolderListingStep::Advance, code, error);

    std::sort(found.begin(), found.end(), [](const FolderEntry &a, const FolderEntry &b) { return a.name < b.name; });
    *entries = std::move(found);
    return true;
}

} // namespace tessaron::platform
