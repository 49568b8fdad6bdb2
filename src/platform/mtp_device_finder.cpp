#include "mtp_device_finder.h"

#include "folder_listing.h"
#include "logging/shown_failure.h"

#include <QFileInfo>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tessaron::platform {

namespace {

QString gvfsFolder()
{
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = u"/run/user/"_s + QString::number(getuid());
    return runtime + u"/gvfs"_s;
}

} // namespace

bool MtpDeviceFinder::deviceRoots(QStringList *roots, QString *error)
{
    if (qEnvironmentVariableIsSet("TESSARON_MTP_ROOTS")) {
        QStringList present;
        const QStringList listed = qEnvironmentVariable("TESSARON_MTP_ROOTS").split(u':', Qt::SkipEmptyParts);
        for (const QString &root : listed) {
            if (QFileInfo(root).isDir() && !present.contains(root))
                present.append(root);
        }
        *roots = present;
        return true;
    }

    const QString gvfs = gvfsFolder();
    if (!QFileInfo::exists(gvfs)) {
        roots->clear();
        return true;
    }
    QList<FolderEntry> entries;
    FolderListingError listingError;
    if (!listFolder(gvfs, &entries, &listingError)) {
        if (error != nullptr)
            *error = logging::shownFailure(
                u"Список MTP-устройств не читается (%1)"_s.arg(logging::failureReason(listingError.code)),
                gvfs + u": "_s + listingError.text, u"sync"_s);
        return false;
    }
    QStringList found;
    for (const FolderEntry &entry : entries) {
        if (entry.name.startsWith(u"mtp:"_s))
            found.append(entry.path);
    }
    *roots = found;
    return true;
}

} // namespace tessaron::platform
