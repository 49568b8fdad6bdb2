#pragma once

#include <QFileDevice>
#include <QString>

#include <system_error>

namespace tessaron::logging {

// The text the technician reads for a failure whose cause is another system's own words (SQLite's, the file
// system's, Qt's: English whatever the program's language). Writes "sentence: systemText" to the application log
// under category and returns the sentence alone, a Russian one that names what failed. An empty systemText logs
// the sentence alone.
QString shownFailure(const QString &sentence, const QString &systemText, const QString &category);

// A failure's text followed by a sentence that says more (what had already been done): a full stop goes between
// them unless the text already ends a sentence.
QString withSentence(const QString &text, const QString &sentence);

// The Russian reason of a file's failure, to end a sentence with: "на диске нет места" for a full disk, a
// general one where the kind tells no more.
QString failureReason(QFileDevice::FileError error);
QString failureReason(const std::error_code &code);

// shownFailure for a file's failure: the sentence with the Russian reason of error in brackets ("Не удалось записать
// файл: … (на диске нет места)").
QString shownFileFailure(
    const QString &sentence, QFileDevice::FileError error, const QString &systemText, const QString &category);

} // namespace tessaron::logging
