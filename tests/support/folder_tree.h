#pragma once

#include <QByteArray>
#include <QStringList>

namespace tessaron::test {

// Writes a file, creating its missing parent folders. Returns false when either fails.
bool makeFile(const QString &path, const QByteArray &content);

// Builds a tree below root (created too): a path ending in "/" is a folder, any other a file holding its own
// relative path, so that copies of one name in different folders tell apart. Returns false on any failure.
bool makeTree(const QString &root, const QStringList &paths);

} // namespace tessaron::test
