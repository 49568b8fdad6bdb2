#pragma once

#include <QDateTime>
#include <QString>

class QFileDialog;

namespace tessaron::ui {

// Lets a Qt (not native) file dialog's detail view show its size, type and date columns whole, each as wide as
// its texts, the name column taking the rest. A dialog without a detail view is left as it is.
void showFileDialogColumnsWhole(QFileDialog &dialog);

// Makes a Qt (not native) file dialog write its sizes and dates in Russian: Qt's file list formats them in the
// system's locale whatever the program's default, "4.88 KiB" and "7 Dec 2026". Types follow the default locale.
void showFileDetailsInRussian(QFileDialog &dialog);

// Asks for one existing file in the program's own file dialog (Qt's, not the native one, so that its details
// read in Russian, with whole columns). Returns the chosen path, or an empty string when the dialog is cancelled.
QString chooseExistingFile(const QString &title, const QString &folder, const QString &filter);

// A file's size as the program writes it: "512 байт", "4,9 КБ", "12,3 МБ".
QString fileSizeText(qint64 bytes);
// A file's time as the program writes it: "07.12.2026 08:05".
QString fileTimeText(const QDateTime &time);

} // namespace tessaron::ui
