#pragma once

#include "platform/folder_listing.h"
#include "sync/sync_transport.h"

class QFile;

namespace tessaron::sync {

// How MtpSyncTransport::open waits, in milliseconds: a round of device searches every pollInterval, giving up
// after openTimeout, with a reminder in the first round of every reminderInterval window.
struct MtpTimings
{
    int pollInterval = 500;
    int openTimeout = 180000;
    int reminderInterval = 5000;
};

// The phone's folders named "TessaronSyncMTP", reached through the folder the desktop mounts for a phone in MTP
// mode ("Передача файлов"). A device is that mount's root (found by platform::MtpDeviceFinder), its storages
// are the root's subfolders, and a synchronisation folder is found up to seven levels below the root on every
// storage. Entries are taken in name order, so "the first" file or folder is always the same one.
class MtpSyncTransport final : public SyncTransport
{
public:
    explicit MtpSyncTransport(const MtpTimings &timings = MtpTimings());
    ~MtpSyncTransport() override;

    // Tries every present device once per round until one holds a synchronisation folder; fails with
    // "Синхронизация отменена" on cancel, or with the last status when the time is up.
    bool open(std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress, QString *error) override;
    void close() override;
    bool listFiles(QStringList *names, QString *error) override;
    bool fileExists(const QString &name, bool *exists, QString *error) override;
    // An empty phone file is refused, as the phone's transfer gives nothing to tell it from a failed one.
    bool download(const QString &name, const QString &localPath, QString *error) override;
    bool readFile(const QString &name, qint64 maxSize, QByteArray *content, QString *error) override;
    // Writes "name.<uuid>.uploading" (never over an existing file) into the folder uploadToAllFolders points at,
    // else the first folder; a reply ("Response_", "Result_" or "Ack_" with a session id) goes beside the
    // session's "Request_<id>.tspak" when there is one. The file keeps its temporary name: the phone app
    // renames it. A failed upload removes what it wrote.
    bool upload(const QString &localPath, const QString &name, QString *error) override;
    bool uploadToAllFolders(const QString &localPath, const QString &name, QString *error) override;
    bool remove(const QString &name, QString *error) override;
    bool removeUnfinishedUploads(const QString &name, QString *error) override;

private:
    enum class Lookup { Found, Missing, Failed };

    bool openDevice(const QString &root, const std::function<void(const QString &)> &progress, QString *error);
    bool listFolderFiles(const QString &folder, QList<platform::FolderEntry> *files, QString *error) const;
    Lookup findFile(const QString &name, QString *path, QString *folder, QString *error) const;
    // Opens the first file called name for reading when it is a regular file; false with the text otherwise.
    bool openPhoneFile(const QString &name, QFile *file, QString *error) const;
    // Deletes every file of the synchronisation folders whose name matches.
    bool removeWhere(const std::function<bool(const QString &)> &matches, QString *error);
    QString uploadFolder(const QString &name) const;

    MtpTimings m_timings;
    QStringList m_syncFolders;
    QString m_targetFolder;
    bool m_open = false;
};

} // namespace tessaron::sync
