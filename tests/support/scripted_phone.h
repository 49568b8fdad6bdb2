#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <stop_token>

namespace tessaron::test {

// The phone app's part of a synchronisation, played by a test over the folder the transport sees as the phone's
// synchronisation folder.

// The files of a folder by name, named pipes and other files that are no regular files included.
QStringList filesIn(const QString &folder, const QString &filter = QStringLiteral("*"));

// Plays the phone app's part with the computer's uploads until stop: when it takes them, "X.<uuid>.uploading"
// becomes "X" once complete (a text not empty, a package readable to its last entry). Returns the first name wholly
// matching pattern (when it takes none, the temporary name of a complete upload whose final name does), or empty
// once stopped.
QString waitForUpload(const QString &folder, const QString &pattern, const std::stop_token &stop, bool takes = true);

// Puts a file into folder whole, as the phone app's finished upload.
void putWhole(const QString &folder, const QString &name, const QByteArray &content);

} // namespace tessaron::test
