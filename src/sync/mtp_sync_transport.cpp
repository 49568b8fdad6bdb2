#include "mtp_sync_transport.h"

#include "logging/shown_failure.h"
#include "platform/mtp_device_finder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace tessaron::sync {

namespace {

using platform::FolderEntry;

const QString kSyncFolderName = u"TessaronSyncMTP"_s;
const QString kNotOpenText = u"MTP-папка синхронизации не открыта"_s;
// The storages are the first level below the device root.
constexpr int kMaxSearchDepth = 7;
constexpr int kFolderBudget = 2000;
constexpr qsizetype kMaxVisitedEntries = 40;
constexpr qint64 kChunkSize = 65536;

bool fail(QString *error, const QString &text)
{
    if (error != nullptr)
        *error = text;
    return false;
}

// A failure of the phone's file system: our text, then the system's own.
// The sentence with the Russian reason in brackets; the file system's own text goes to the log.
QString fileSystemText(const QString &text, const QString &reason, const QString &systemText)
{
    return logging::shownFailure(u"%1 (%2)"_s.arg(text, reason), systemText, u"sync"_s);
}

QString fileSystemText(const QString &text, const QFileDevice &file)
{
    return fileSystemText(text, logging::failureReason(file.error()), file.errorString());
}

void report(const std::function<void(const QString &)> &progress, const QString &text)
{
    if (progress)
        progress(text);
}

bool listEntries(const QString &folder, QList<FolderEntry> *entries, QString *error)
{
    platform::FolderListingError listingError;
    if (platform::listFolder(folder, entries, &listingError))
        return true;
    switch (listingError.step) {
    case platform::FolderListingStep::Open:
        return fail(error,
            fileSystemText(u"Не удалось просмотреть папку на телефоне"_s, logging::failureReason(listingError.code),
                listingError.text));
    case platform::FolderListingStep::Advance:
        return fail(error,
            fileSystemText(
                u"Ошибка чтения списка MTP-файлов"_s, logging::failureReason(listingError.code), listingError.text));
    case platform::FolderListingStep::ReadEntry:
        return fail(error,
            fileSystemText(u"Не удалось получить свойства MTP-объекта"_s, logging::failureReason(listingError.code),
                listingError.text));
    }
    return fail(error,
        fileSystemText(u"Не удалось просмотреть папку на телефоне"_s, logging::failureReason(listingError.code),
            listingError.text));
}

struct FolderSearch
{
    int budget = kFolderBudget;
    QStringList found;
    // Shown when no synchronisation folder turns up, so the user sees where we looked.
    QStringList visited;
};

// Depth-first, in name order; a synchronisation folder is kept and not entered. Bounded by depth and by a
// budget of folders, so a huge or looping tree cannot hold the wait up.
bool findNamedFolders(
    const QString &folder, int depth, const QString &displayPath, FolderSearch &search, QString *error)
{
    if (depth == kMaxSearchDepth || search.budget < 1)
        return true;
    QList<FolderEntry> entries;
    if (!listEntries(folder, &entries, error))
        return false;
    for (const FolderEntry &entry : std::as_const(entries)) {
        if (!entry.isFolder)
            continue;
        if (--search.budget < 0)
            return true;
        if (entry.name.compare(kSyncFolderName, Qt::CaseInsensitive) == 0) {
            search.found.append(entry.path);
            continue;
        }
        const QString path = displayPath.isEmpty() ? entry.name : displayPath + u'/' + entry.name;
        if (search.visited.size() < kMaxVisitedEntries)
            search.visited.append(path);
        if (!findNamedFolders(entry.path, depth + 1, path, search, error))
            return false;
    }
    return true;
}

// What upload names its file until the phone app has taken it whole: "name.<uuid>.uploading".
QString temporaryUploadName(const QString &name)
{
    return name + u'.' + QUuid::createUuid().toString(QUuid::WithoutBraces) + u".uploading"_s;
}

bool isTemporaryUploadName(const QString &fileName, const QString &name)
{
    static const QString suffix = u".uploading"_s;
    // The name, a dot, a UUID of 36 characters without braces, the suffix.
    constexpr qsizetype uuidLength = 36;
    if (fileName.size() != name.size() + 1 + uuidLength + suffix.size() || !fileName.startsWith(name + u'.')
        || !fileName.endsWith(suffix))
        return false;
    return !QUuid::fromString(QStringView(fileName).mid(name.size() + 1, uuidLength)).isNull();
}

QString emptyStreamText(const QString &name, qint64 size, qint64 buffer)
{
    return u"MTP вернул пустой поток для %1 (размер %2, буфер %3 байт)."_s.arg(name).arg(size).arg(buffer);
}

// The session id of a reply file ("Result_<id>.txt"), or nothing for any other name.
std::optional<QString> replySessionId(const QString &name)
{
    for (const QString &prefix : {u"Response_"_s, u"Result_"_s, u"Ack_"_s}) {
        if (!name.startsWith(prefix))
            continue;
        const qsizetype dot = name.indexOf(u'.', prefix.size());
        return name.mid(prefix.size(), dot < 0 ? -1 : dot - prefix.size());
    }
    return std::nullopt;
}

} // namespace

MtpSyncTransport::MtpSyncTransport(const MtpTimings &timings)
    : m_timings(timings)
{
    // A round must take time and a window must have a length, or the wait would never end or divide by zero.
    m_timings.pollInterval = std::max(1, m_timings.pollInterval);
    m_timings.reminderInterval = std::max(1, m_timings.reminderInterval);
}

MtpSyncTransport::~MtpSyncTransport()
{
    close();
}

bool MtpSyncTransport::open(
    std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress, QString *error)
{
    close();
    report(progress, u"Ожидание телефона в режиме «Передача файлов (MTP)»…"_s);
    QString status = u"Система пока не сообщила о MTP-устройствах"_s;
    for (int elapsed = 0;;) {
        const bool cancelled = cancel.load();
        if (cancelled || elapsed >= m_timings.openTimeout) {
            close();
            return fail(error,
                cancelled ? u"Синхронизация отменена"_s : u"Не удалось открыть телефон через MTP: %1"_s.arg(status));
        }

        QStringList roots;
        QString listError;
        if (!platform::MtpDeviceFinder::deviceRoots(&roots, &listError))
            status = listError;
        else if (roots.isEmpty())
            status = u"MTP-устройства пока не подключены"_s;
        else
            status = u"Найдено MTP-устройств: %1; открываю файловую систему телефона…"_s.arg(roots.size());
        for (const QString &root : std::as_const(roots)) {
            if (cancel.load())
                break;
            QString deviceError;
            if (openDevice(root, progress, &deviceError))
                return true;
            status = deviceError.isEmpty() ? u"MTP-устройство открыто, но папка TessaronSyncMTP не найдена"_s
                                           : deviceError;
        }

        QThread::msleep(static_cast<unsigned long>(m_timings.pollInterval));
        const int before = elapsed;
        elapsed += m_timings.pollInterval;
        // One reminder in the first round of each window, also when the round does not divide the window.
        if (progress && elapsed / m_timings.reminderInterval > before / m_timings.reminderInterval)
            progress(u"MTP: %1. Разблокируйте Honor и оставьте USB в режиме «Передача файлов»."_s.arg(status));
    }
}

bool MtpSyncTransport::openDevice(
    const QString &root, const std::function<void(const QString &)> &progress, QString *error)
{
    report(progress, u"Подключение к телефону через MTP…"_s);
    QList<FolderEntry> rootEntries;
    if (!listEntries(root, &rootEntries, error))
        return false;
    FolderSearch search;
    for (const FolderEntry &entry : std::as_const(rootEntries)) {
        if (!entry.isFolder && search.visited.size() < kMaxVisitedEntries)
            search.visited.append(u"[объект] %1"_s.arg(entry.name));
    }
    if (!findNamedFolders(root, 0, QString(), search, error))
        return false;
    if (search.found.isEmpty()) {
        const QString visited = search.visited.isEmpty() ? u"нет папок"_s : search.visited.join(u"; "_s);
        return fail(error, u"Папка TessaronSyncMTP не найдена. Просмотренные MTP-папки: %1"_s.arg(visited));
    }
    m_syncFolders = search.found;
    m_open = true;
    report(progress, u"Телефон найден, папка TessaronSyncMTP готова"_s);
    return true;
}

void MtpSyncTransport::close()
{
    m_syncFolders.clear();
    m_targetFolder.clear();
    m_open = false;
}

bool MtpSyncTransport::listFolderFiles(const QString &folder, QList<FolderEntry> *files, QString *error) const
{
    QList<FolderEntry> entries;
    if (!listEntries(folder, &entries, error))
        return false;
    for (const FolderEntry &entry : std::as_const(entries)) {
        if (!entry.isFolder)
            files->append(entry);
    }
    return true;
}

bool MtpSyncTransport::listFiles(QStringList *names, QString *error)
{
    if (!m_open || names == nullptr)
        return fail(error, kNotOpenText);
    QList<FolderEntry> files;
    for (const QString &folder : std::as_const(m_syncFolders)) {
        if (!listFolderFiles(folder, &files, error))
            return false;
    }
    names->clear();
    for (const FolderEntry &file : std::as_const(files))
        names->append(file.name);
    return true;
}

bool MtpSyncTransport::fileExists(const QString &name, bool *exists, QString *error)
{
    if (exists == nullptr)
        return false;
    QStringList names;
    if (!listFiles(&names, error))
        return false;
    *exists = names.contains(name);
    return true;
}

MtpSyncTransport::Lookup MtpSyncTransport::findFile(
    const QString &name, QString *path, QString *folder, QString *error) const
{
    for (const QString &syncFolder : m_syncFolders) {
        QList<FolderEntry> files;
        if (!listFolderFiles(syncFolder, &files, error))
            return Lookup::Failed;
        for (const FolderEntry &file : std::as_const(files)) {
            if (file.name != name)
                continue;
            if (path != nullptr)
                *path = file.path;
            if (folder != nullptr)
                *folder = syncFolder;
            return Lookup::Found;
        }
    }
    return Lookup::Missing;
}

bool MtpSyncTransport::openPhoneFile(const QString &name, QFile *file, QString *error) const
{
    if (!m_open)
        return fail(error, kNotOpenText);
    QString path;
    switch (findFile(name, &path, nullptr, error)) {
    case Lookup::Failed:
        return false;
    case Lookup::Missing:
        return fail(error, u"Файл %1 не найден в TessaronSyncMTP"_s.arg(name));
    case Lookup::Found:
        break;
    }
    // Opening a named pipe blocks until something writes into it, which may never come.
    if (!QFileInfo(path).isFile())
        return fail(
            error, u"Файл %1 на телефоне не является обычным файлом (канал, сокет или устройство)."_s.arg(name));
    file->setFileName(path);
    if (!file->open(QIODevice::ReadOnly))
        return fail(error, fileSystemText(u"Не удалось скачать файл с телефона"_s, *file));
    return true;
}

bool MtpSyncTransport::download(const QString &name, const QString &localPath, QString *error)
{
    QFile source;
    if (!openPhoneFile(name, &source, error))
        return false;
    QFile target(localPath);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(error, fileSystemText(u"Не удалось создать локальный файл для MTP-передачи"_s, target));
    const QString writeFailure = u"Не удалось записать полученные данные на диск"_s;
    QByteArray buffer(kChunkSize, Qt::Uninitialized);
    qint64 received = 0;
    for (;;) {
        const qint64 read = source.read(buffer.data(), kChunkSize);
        if (read < 0)
            return fail(error, fileSystemText(u"Ошибка чтения MTP-потока"_s, source));
        if (read == 0)
            break;
        if (target.write(buffer.constData(), read) != read)
            return fail(error, fileSystemText(writeFailure, target));
        received += read;
    }
    target.close();
    if (target.error() != QFileDevice::NoError)
        return fail(error, fileSystemText(writeFailure, target));
    if (received == 0)
        return fail(error, emptyStreamText(name, source.size(), kChunkSize));
    return true;
}

bool MtpSyncTransport::readFile(const QString &name, qint64 maxSize, QByteArray *content, QString *error)
{
    QFile source;
    if (!openPhoneFile(name, &source, error))
        return false;
    const qint64 size = std::max<qint64>(1, maxSize);
    QByteArray bytes(size, Qt::Uninitialized);
    qint64 received = 0;
    // A read may end short of what the file holds: another follows until the bound or the end.
    for (qint64 read = 1; read > 0 && received < size; received += read) {
        read = source.read(bytes.data() + received, size - received);
        if (read < 0)
            return fail(error, fileSystemText(u"Ошибка чтения MTP-потока"_s, source));
    }
    if (received == 0)
        return fail(error, emptyStreamText(name, source.size(), size));
    bytes.truncate(received);
    *content = bytes;
    return true;
}

QString MtpSyncTransport::uploadFolder(const QString &name) const
{
    QString folder = m_targetFolder.isEmpty() ? m_syncFolders.first() : m_targetFolder;
    if (const std::optional<QString> sessionId = replySessionId(name)) {
        QString requestFolder;
        if (findFile(u"Request_%1.tspak"_s.arg(*sessionId), nullptr, &requestFolder, nullptr) == Lookup::Found)
            folder = requestFolder;
    }
    return folder;
}

bool MtpSyncTransport::upload(const QString &localPath, const QString &name, QString *error)
{
    if (!m_open)
        return fail(error, kNotOpenText);
    QFile source(localPath);
    if (!source.open(QIODevice::ReadOnly))
        return fail(error, fileSystemText(u"Не удалось открыть файл для передачи"_s, source));

    const QString temporaryName = temporaryUploadName(name);
    // Unbuffered, so that every write reaches the mount at once and the bytes counted are the bytes it took.
    QFile target(QDir(uploadFolder(name)).filePath(temporaryName));
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        return fail(error, fileSystemText(u"Не удалось создать временный файл %1 на телефоне"_s.arg(name), target));
    }

    const qint64 total = source.size();
    qint64 written = 0;
    // QFile::remove would close the file again first and skip the removal when that close fails.
    const auto abandon = [&](const QString &text) {
        target.close();
        QFile::remove(target.fileName());
        return fail(error, text);
    };
    const auto stageFailure = [&](const QString &stage) {
        return abandon(
            fileSystemText(u"Не удалось передать файл %1 на телефон: этап %2, записано %3 из %4 байт"_s.arg(name, stage)
                               .arg(written)
                               .arg(total),
                target));
    };

    QByteArray buffer(kChunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 read = source.read(buffer.data(), kChunkSize);
        if (read < 0) {
            return abandon(fileSystemText(
                u"Не удалось передать файл %1 на телефон: не удалось прочитать локальный пакет"_s.arg(name), source));
        }
        if (read == 0)
            break;
        // A write the phone takes only in part is followed by one for the rest: that one fails with the reason
        // (a full phone), which a short write alone does not give.
        for (qint64 put = 0; put < read;) {
            const qint64 taken = target.write(buffer.constData() + put, read - put);
            if (taken <= 0)
                return stageFailure(u"запись"_s);
            put += taken;
            written += taken;
        }
    }
    // A mounted phone may report a failed transfer only when the file is closed.
    if (!target.flush())
        return stageFailure(u"фиксация записи"_s);
    target.close();
    if (target.error() != QFileDevice::NoError)
        return stageFailure(u"фиксация записи"_s);
    return true;
}

bool MtpSyncTransport::uploadToAllFolders(const QString &localPath, const QString &name, QString *error)
{
    if (!m_open || m_syncFolders.isEmpty())
        return fail(error, kNotOpenText);
    bool uploaded = true;
    for (const QString &folder : std::as_const(m_syncFolders)) {
        m_targetFolder = folder;
        uploaded = upload(localPath, name, error);
        if (!uploaded)
            break;
    }
    m_targetFolder.clear();
    return uploaded;
}

bool MtpSyncTransport::remove(const QString &name, QString *error)
{
    return removeWhere([&](const QString &fileName) { return fileName == name; }, error);
}

bool MtpSyncTransport::removeUnfinishedUploads(const QString &name, QString *error)
{
    return removeWhere([&](const QString &fileName) { return isTemporaryUploadName(fileName, name); }, error);
}

bool MtpSyncTransport::removeWhere(const std::function<bool(const QString &)> &matches, QString *error)
{
    if (!m_open)
        return false;
    QList<FolderEntry> files;
    for (const QString &folder : std::as_const(m_syncFolders)) {
        if (!listFolderFiles(folder, &files, error))
            return false;
    }
    for (const FolderEntry &file : std::as_const(files)) {
        if (!matches(file.name))
            continue;
        QFile phoneFile(file.path);
        if (!phoneFile.remove())
            return fail(error, fileSystemText(u"Не удалось удалить временный MTP-файл"_s, phoneFile));
    }
    return true;
}

} // namespace tessaron::sync
