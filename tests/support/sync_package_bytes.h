#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace tessaron::test {

// Package fields as the phone app writes them: stream version 19, big-endian. Sound or damaged packages are
// put together from these pieces.
template<typename... Fields> QByteArray packageFields(const Fields &...fields)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_15);
    (out << ... << fields);
    return bytes;
}

// The sound opening of a package of count entries: magic, version "1", creation time, count.
inline QByteArray packageHeader(qint32 count, const QString &createdAt = QStringLiteral("2025-03-01T10:15:00.000Z"))
{
    return packageFields(QStringLiteral("TESSARON_SYNC_PACKAGE_V1"), QStringLiteral("1"), createdAt, count);
}

// The entries of a package as paths and contents, in package order; empty when it cannot be read.
QList<std::pair<QString, QByteArray>> packageEntries(const QString &packagePath);

// The entry paths of a package, in package order; empty when it cannot be read.
QStringList packageEntryPaths(const QString &packagePath);

} // namespace tessaron::test
