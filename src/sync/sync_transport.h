#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace tessaron::sync {

// Plain file operations on the phone's synchronisation folders, the only way a synchronisation session reaches
// the phone. Names are file names inside those folders, compared case-sensitively. Every operation returns
// true on success; on failure it returns false and sets the text behind the last argument when one is given.
// One transport serves one thread.
class SyncTransport
{
public:
    virtual ~SyncTransport() = default;
    SyncTransport(const SyncTransport &) = delete;
    SyncTransport &operator=(const SyncTransport &) = delete;

    // Waits for a phone with a synchronisation folder and opens it, reporting its stages through progress (which
    // may be empty). Raising cancel from another thread ends the wait. A failed open leaves the transport closed.
    virtual bool open(std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress, QString *error)
        = 0;
    // Forgets the phone. Safe to call when closed.
    virtual void close() = 0;
    // Replaces names with the files of every synchronisation folder, folder by folder; duplicates stay.
    virtual bool listFiles(QStringList *names, QString *error) = 0;
    // Sets exists to whether listFiles holds name exactly.
    virtual bool fileExists(const QString &name, bool *exists, QString *error) = 0;
    // Copies the first file called name to localPath. Only a regular file is read: anything else (a named pipe, a
    // socket, a device) could block the read for good, and is refused, naming it. A failure may leave a partial
    // local file.
    virtual bool download(const QString &name, const QString &localPath, QString *error) = 0;
    // Reads the first file called name into content, as download does, but never more than maxSize bytes of it: a
    // longer file gives its first maxSize bytes, so that a reader asking for one byte beyond the longest text it
    // takes tells a longer file without holding it.
    virtual bool readFile(const QString &name, qint64 maxSize, QByteArray *content, QString *error) = 0;
    // Creates a new file on the phone from localPath, under a temporary name that begins with name.
    virtual bool upload(const QString &localPath, const QString &name, QString *error) = 0;
    // upload into every synchronisation folder in turn, stopping at the first failure.
    virtual bool uploadToAllFolders(const QString &localPath, const QString &name, QString *error) = 0;
    // Deletes every file called name; none is success. Closed: false without a text.
    virtual bool remove(const QString &name, QString *error) = 0;
    // Deletes every upload of name that still has its temporary name, one the other side has not taken (yet);
    // none is success. Closed: false without a text.
    virtual bool removeUnfinishedUploads(const QString &name, QString *error) = 0;

protected:
    SyncTransport() = default;
};

} // namespace tessaron::sync
