#include "sync_package_bytes.h"

#include <QFile>

namespace tessaron::test {

QStringList packageEntryPaths(const QString &packagePath)
{
    QFile file(packagePath);
    file.open(QIODevice::ReadOnly);
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_5_15);
    QString text;
    QByteArray content;
    qint32 count = 0;
    in >> text >> text >> text >> count;
    QStringList paths;
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        in >> text >> content;
        paths.append(text);
    }
    return in.status() == QDataStream::Ok ? paths : QStringList();
}

} // namespace tessaron::test
