#include "dialog_start_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tessaron::platform {

QString dialogStartFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir().mkpath(documents) && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

} // namespace tessaron::platform
