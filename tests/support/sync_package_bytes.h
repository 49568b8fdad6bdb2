#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tessaron::test {

// Writes a synchronisation package field by field, as the phone app does, without QDataStream: a string is
// its UTF-16 byte count (big-endian, 0xFFFFFFFF for a null string) and its big-endian code units, a byte array
// its byte count and bytes, an integer four big-endian bytes. The fields may be put in any order or left out,
// so damaged packages are built as easily as sound ones.
class PackageBytes
{
public:
    // The sound opening: magic, format version "1", the creation time given and the entry count.
    static PackageBytes header(qint32 count, const QString &createdAt = QStringLiteral("2025-03-01T10:15:00.000Z"));

    PackageBytes &string(const QString &text);
    PackageBytes &bytes(const QByteArray &content);
    PackageBytes &int32(qint32 value);
    PackageBytes &entry(const QString &path, const QByteArray &content) { return string(path).bytes(content); }

    QByteArray data;
};

// The entry paths of a package, in package order; empty when it cannot be read.
QStringList packageEntryPaths(const QString &packagePath);

} // namespace tessaron::test
