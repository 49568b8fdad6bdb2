#include "sync_package_bytes.h"

#include <QDataStream>
#include <QFile>
#include <QtEndian>

namespace tessaron::test {

PackageBytes PackageBytes::header(qint32 count, const QString &createdAt)
{
    PackageBytes package;
    package.string(QStringLiteral("TESSARON_SYNC_PACKAGE_V1"))
        .string(QStringLiteral("1"))
        .string(createdAt)
        .int32(count);
    return package;
}

PackageBytes &PackageBytes::int32(qint32 value)
{
    char raw[4];
    qToBigEndian(value, raw);
    data.append(raw, 4);
    return *this;
}

PackageBytes &PackageBytes::string(const QString &text)
{
    if (text.isNull())
        return int32(-1);
    int32(qint32(text.size() * 2));
    for (const QChar c : text) {
        char raw[2];
        qToBigEndian(c.unicode(), raw);
        data.append(raw, 2);
    }
    return *this;
}

PackageBytes &PackageBytes::bytes(const QByteArray &content)
{
    if (content.isNull())
        return int32(-1);
    int32(qint32(content.size()));
    data.append(content);
    return *this;
}

QStringList packageEntryPaths(const QString &packagePath)
{
    QFile file(packagePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_5_15);
    QString magic, version, createdAt;
    qint32 count = 0;
    in >> magic >> version >> createdAt >> count;
    QStringList paths;
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString path;
        QByteArray content;
        in >> path >> content;
        paths.append(path);
    }
    return in.status() == QDataStream::Ok ? paths : QStringList();
}

} // namespace tessaron::test
