#include "checked_save_file.h"

#include "logging/shown_failure.h"

#include <QSaveFile>

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
        failure = error() == NoError ? WriteError : error();
        failureText = errorString();
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
    // The commit would write out the buffer while closing and rename the file whatever came of it.
    if (m_file->failure == QFileDevice::NoError && !m_file->flush())
        m_file->keepFailure();
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
