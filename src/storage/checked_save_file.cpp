#include "checked_save_file.h"

#include "logging/shown_failure.h"

#include <QSaveFile>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <unistd.h>
#endif

namespace tessaron::storage {

// A save file that keeps its first failure: the file's own error is cleared by the next write, and a writer that
// streams into it (QPdfWriter) ignores what a write answers.
class CheckedSaveFile::File : public QSaveFile
{
public:
    using QSaveFile::QSaveFile;

    FileError failure = NoError;
    QString failureText;

    void keepFailure()
    {
        if (failure != NoError)
            return;
        // A write that got only part of its bytes on disk gives no reason; one more attempt at what is left in the
        // buffer gives the file system's own (a full disk).
        if (isOpen())
            flush();
        keep(error() == NoError ? WriteError : error(), errorString());
    }

    void keep(FileError kind, const QString &text)
    {
        if (failure != NoError)
            return;
        failure = kind;
        failureText = text;
    }

    // Forces the written bytes from the system's cache to the device. Only here does the system tell of a write it
    // took and then could not complete (a network share's delayed write error, an I/O error, a quota): the close
    // that follows the commit's rename has no one left to tell. A file system that cannot be synced at all has
    // nothing to tell.
    void syncToDevice()
    {
#ifdef Q_OS_WIN
        if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(handle()))))
            return;
        const DWORD code = GetLastError();
        keep(code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL ? ResourceError : WriteError,
            qt_error_string(int(code)));
#else
        if (::fsync(handle()) == 0)
            return;
        const int code = errno;
        if (code == EINVAL || code == ENOTSUP)
            return;
        keep(code == ENOSPC || code == EDQUOT ? ResourceError : WriteError, qt_error_string(code));
#endif
    }

protected:
    // A part the file system did not take is offered again, which either takes it or tells why not.
    qint64 writeData(const char *data, qint64 length) override
    {
        qint64 done = 0;
        while (done < length) {
            const qint64 written = QSaveFile::writeData(data + done, length - done);
            if (written <= 0) {
                keepFailure();
                return done > 0 ? done : -1;
            }
            done += written;
        }
        return done;
    }
};

CheckedSaveFile::CheckedSaveFile(const QString &path)
    : m_file(std::make_unique<File>(path))
{ }

CheckedSaveFile::~CheckedSaveFile() = default;

bool CheckedSaveFile::open(QIODevice::OpenMode extraMode)
{
    if (m_file->open(QIODevice::WriteOnly | extraMode))
        return true;
    m_file->keepFailure();
    return false;
}

QIODevice *CheckedSaveFile::device()
{
    return m_file.get();
}

bool CheckedSaveFile::write(QByteArrayView bytes)
{
    return m_file->write(bytes.data(), bytes.size()) == bytes.size() && m_file->failure == QFileDevice::NoError;
}

bool CheckedSaveFile::commit()
{
    if (!m_file->isOpen()) {
        m_file->keepFailure();
        return false;
    }
    // The commit would write out the buffer while closing, sync the file ignoring what the system answers, and
    // rename it whatever came of either.
    if (m_file->failure == QFileDevice::NoError && !m_file->flush())
        m_file->keepFailure();
    if (m_file->failure == QFileDevice::NoError)
        m_file->syncToDevice();
    if (m_file->failure != QFileDevice::NoError) {
        m_file->cancelWriting();
        m_file->commit(); // removes the temporary file and answers false
        return false;
    }
    if (!m_file->commit() || m_file->error() != QFileDevice::NoError) {
        m_file->keepFailure();
        return false;
    }
    return true;
}

QFileDevice::FileError CheckedSaveFile::error() const
{
    return m_file->failure;
}

QString CheckedSaveFile::errorString() const
{
    return m_file->failureText;
}

QString CheckedSaveFile::failure(const QString &sentence, const QString &category) const
{
    return logging::shownFileFailure(sentence, error(), errorString(), category);
}

} // namespace tessaron::storage
