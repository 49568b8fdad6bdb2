#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

namespace tessaron::test {

// The whole content of a file; empty when it cannot be read.
QByteArray fileBytes(const QString &path);

// Writes a file of that content at path, creating its missing parent folders; false when either fails.
bool writeFile(const QString &path, const QByteArray &content = {});

// Everything below root, hidden entries included, as relative path -> SHA-256 of the content ("<folder>" for a
// folder, "<link>" and its target for a symbolic link, which is not followed): two equal trees hold the same
// names and bytes.
QMap<QString, QByteArray> fileTree(const QString &root);

} // namespace tessaron::test
