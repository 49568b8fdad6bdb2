#include "sync_package_bytes.h"

#include <QFile>

namespace tessaron::test {

QList<std::pair<QString, QByteArray>> packageEntries(const QString &packagePath)
{
    QFile file(packagePath);
    file.open(QIODevice::ReadOnly);
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_5_15);
    QString text;
    qint32 count = 0;
    in >> text >> text >> text >> count;
    QList<std::pair<QString, QByteArray>> entries;
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        std::pair<QString, QByteArray> entry;
        in >> entry.first >> entry.second;
        entries.append(std::move(entry));
    }
    return in.status() == QDataStream::Ok ? entries : QList<std::pair<QString, QByteArray>>();
}

QStringList packageEntryPaths(const QString &packagePath)
{
    QStringList paths;
    for (const auto &entry : packageEntries(packagePath))
        paths.append(entry.first);
    return paths;
}

} // namespace tessaron::test
