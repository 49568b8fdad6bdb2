#include "test_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace tessaron::test {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size();
}

QMap<QString, QByteArray> fileTree(const QString &root)
{
    QMap<QString, QByteArray> tree;
    const QDir base(root);
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString name = base.relativeFilePath(info.filePath());
        if (info.isSymLink())
            tree.insert(name, "<link>" + info.symLinkTarget().toUtf8());
        else if (info.isDir())
            tree.insert(name, "<folder>");
        else
            tree.insert(name, QCryptographicHash::hash(fileBytes(info.filePath()), QCryptographicHash::Sha256).toHex());
    }
    return tree;
}

} // namespace tessaron::test
