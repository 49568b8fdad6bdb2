#pragma once

#include <QByteArray>
#include <QString>

namespace tessaron::test {

// The whole content of a file; empty when it cannot be read.
QByteArray fileBytes(const QString &path);

// Writes a file of that content at path, creating its missing parent folders; false when either fails.
bool writeFile(const QString &path, const QByteArray &content = {});

} // namespace tessaron::test
