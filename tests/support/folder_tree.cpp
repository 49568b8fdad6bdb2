#include "folder_tree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tessaron::test {

bool makeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size();
}

bool makeTree(const QString &root, const QStringList &paths)
{
    if (!QDir().mkpath(root))
        return false;
    for (const QString &path : paths) {
        const QString full = root + u'/' + path;
        if (path.endsWith(u'/') ? !QDir().mkpath(full) : !makeFile(full, path.toUtf8()))
            return false;
    }
    return true;
}

} // namespace tessaron::test
