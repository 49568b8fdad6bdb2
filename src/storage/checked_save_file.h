#pragma once

#include <QByteArrayView>
#include <QFileDevice>
#include <QIODevice>
#include <QString>

#include <memory>

namespace tessaron::storage {

// Replaces a file whole or leaves it as it was, and never tells a write that did not reach the disk as success.
//
// The bytes go to a temporary file beside the target (QSaveFile) that is renamed over it on commit. QSaveFile alone
// does not hold on Qt 6.4: its commit() writes out the last buffered bytes while closing and misses a failure there
// (a full disk), so it renames an empty or cut file over the good one and answers true; it ignores what syncing the
// file and closing it answer (a network share tells of a failed write only there); and a write the file system
// takes only in part is no error to it. Here every write must take all of its bytes, the buffer is written out and
// checked, and the file is forced to the device (fsync; FlushFileBuffers on Windows) and that checked, before the
// commit; then the commit's answer and the file's error after it decide.
//
// One save on one thread. Destroyed without a commit, it removes its temporary file.
class CheckedSaveFile
{
public:
    explicit CheckedSaveFile(const QString &path);
    ~CheckedSaveFile();
    CheckedSaveFile(const CheckedSaveFile &) = delete;
    CheckedSaveFile &operator=(const CheckedSaveFile &) = delete;

    // Creates the temporary file for writing, with extraMode added (QIODevice::Text: the platform's line ends).
    // False when it cannot be created; nothing at the path is touched.
    bool open(QIODevice::OpenMode extraMode = {});

    // The open temporary file, for a writer that streams into it (QPdfWriter, QDataStream, QImage::save). Such
    // writers go on after a failed write; the failure is kept here and fails the commit.
    QIODevice *device();

    // Writes all of bytes; false when any of them did not reach the file (the commit then fails).
    bool write(QByteArrayView bytes);

    // Puts what was written in the place of the file at the path. True only when every byte reached the file, the
    // device holds them, and the file took that place. Otherwise false: the temporary file is removed and the file
    // at the path stays as it was.
    bool commit();

    // The first failure: the file system's kind (QFileDevice::ResourceError for a full disk) and its own English
    // text, for the log; NoError and empty while nothing failed.
    QFileDevice::FileError error() const;
    QString errorString() const;

    // The technician's sentence for the failed save: sentence with the Russian reason in brackets ("… (на диске нет
    // места)"); the file system's own text goes to the log under category.
    QString failure(const QString &sentence, const QString &category) const;

private:
    class File;
    std::unique_ptr<File> m_file;
};

} // namespace tessaron::storage
