#include "usb_sync_session.h"

#include "logging/application_logger.h"
#include "logging/shown_failure.h"
#include "sync/mtp_sync_transport.h"
#include "sync/synchronization_manager.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QTimeZone>
#include <QUuid>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace tessaron::sync {

namespace {

using logging::ApplicationLogger;
using logging::Level;
using Progress = std::function<void(const QString &)>;

// Anchored at the very end: "$" would also let an id with a line end after it pass.
const QRegularExpression kSessionIdPattern(
    QRegularExpression::anchoredPattern(u"[0-9]{8}_[0-9]{6}_[0-9]{3}_[0-9a-f]{32}"_s));

const QString kCategory = u"sync.mtp"_s;
const QString kCancelledText = u"Синхронизация отменена"_s;
const QString kHostKeyword = u"TESSARON_MTP_HOST"_s;
const QString kJoinKeyword = u"TESSARON_MTP_JOIN"_s;
const QString kErrorPrefix = u"ERROR|"_s;
const QString kOkPrefix = u"OK|"_s;
// How far an announcement's time may lie from the phone's clock and still name a running session.
constexpr qint64 kAnnouncementMaxAge = 300000;
constexpr qint64 kAnnouncementMaxLead = 120000;
// The most of the other side's one-line files that is read: an announcement or a join holds a keyword and one or
// two ids (123 bytes), a result or an acknowledgement an outcome with an import's message. A longer file is
// malformed and is refused without being held; what this side writes is cut to fit.
constexpr qsizetype kMaxIdLineBytes = 1024;
constexpr qsizetype kMaxAnswerBytes = 16384;

// The announcement's time: the id's first 19 characters read as UTC. Date and time are read apart, because a
// whole-text parse takes local time and gives nothing inside a daylight-saving gap.
QDateTime sessionIdTime(const QString &id)
{
    const QDate date = QDate::fromString(id.left(8), u"yyyyMMdd"_s);
    const QTime time = QTime::fromString(id.mid(9, 10), u"HHmmss_zzz"_s);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, QTimeZone::utc());
}

void report(const Progress &progress, const QString &text)
{
    ApplicationLogger::write(Level::Info, kCategory, text, u"stage"_s);
    if (progress)
        progress(text);
}

// The text's UTF-8 within the bound the other side reads, cut before a character that would cross it: an import's
// message long enough to pass it must not make the whole answer malformed.
QByteArray answerBytes(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > kMaxAnswerBytes) {
        qsizetype end = kMaxAnswerBytes;
        while (end > 0 && (uchar(bytes.at(end)) & 0xC0) == 0x80)
            --end;
        bytes.truncate(end);
    }
    return bytes;
}

bool writeText(const QString &path, const QString &text, QString *error)
{
    QFile file(path);
    const QByteArray bytes = answerBytes(text);
    const bool written
        = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush();
    if (!written && error != nullptr)
        *error = logging::shownFailure(
            u"Не удалось сохранить результат синхронизации в %1"_s.arg(path), file.errorString(), u"sync"_s);
    return written;
}

void removeIfPresent(SyncTransport &transport, const QString &name)
{
    QString ignored;
    transport.remove(name, &ignored);
}

// Everything one call of run works with.
class Session
{
public:
    Session(bool host, SyncTransport &transport, const UsbSyncTimings &timings,
        const std::function<QDateTime()> &nowUtc, std::atomic<bool> &cancel, const Progress &progress)
        : m_host(host)
        , m_transport(transport)
        , m_timings(timings)
        , m_nowUtc(nowUtc)
        , m_cancel(cancel)
        , m_progress(progress)
    {
        // A round must take time and a window must have a length, or a wait would spin or divide by zero.
        m_timings.round = std::max(1, m_timings.round);
        m_timings.reminderWindow = std::max(1, m_timings.reminderWindow);
    }

    UsbSyncResult run();

private:
    enum class Poll { Found, Failed, Ended };

    UsbSyncResult runHost();
    UsbSyncResult runPhone();
    // Ends the session: logs the failure (or the cancel, when a wait ended through it), takes what this side
    // uploaded and the other side has not taken off the phone, and the computer's announcement and join, and
    // closes the transport. After this side's merge the message says so, with what the merge added.
    UsbSyncResult fail(const QString &text);
    UsbSyncResult succeed(const SyncResult &import);
    QString localSyncFile(const QString &id, const QString &suffix) const;
    // "Добавлено записей: …, файлов: …." of this side's import.
    QString mergedCounts() const;
    // Uploads the local file as name (into every folder when toAllFolders) and keeps the name for fail.
    bool send(const QString &localPath, const QString &name, bool toAllFolders = false);
    // Reads the other side's one-line file, refusing one longer than maxBytes: *text is then nullopt.
    // False with m_error set when the transport fails.
    bool readLine(const QString &name, qsizetype maxBytes, std::optional<QString> *text);
    // Looks at the phone every round until look finds what it waits for (Found), fails (Failed), or the limit
    // passes or cancel is raised (Ended, m_cancelled telling which); a negative limit waits for ever. The waiting text,
    // when given, is reported in the first round of each reminder window, and only with a progress callback.
    Poll poll(int limit, const QString &waitingText, const std::function<Poll()> &look);
    Poll pollFile(const QString &name, int limit, const QString &waitingText);
    // pollFile with the failure texts of a time-out and a cancel; false with m_error set.
    bool waitForFile(const QString &name, int limit, const QString &waitingText);
    // Downloads the other side's package into its local copy and merges it, keeping the counts. A failed merge
    // is told to the other side as an "ERROR|" file, when that can be written, so that it need not wait for its
    // own time limit. False with m_error set when the download or the merge fails.
    bool receiveAndMerge(const QString &downloadText, const QString &remote, const QString &copy,
        const QString &mergeText, const QString &errorCopy, const QString &errorFile, SyncResult *import);
    // Looks once at the announcements on the phone and takes the newest fresh one when its text names it.
    Poll findAnnouncement(QSet<QString> &reportedStale);

    const bool m_host;
    SyncTransport &m_transport;
    UsbSyncTimings m_timings;
    const std::function<QDateTime()> &m_nowUtc;
    std::atomic<bool> &m_cancel;
    const Progress &m_progress;

    UsbSyncResult m_result;
    // A wait ended because cancel was raised.
    bool m_cancelled = false;
    // This side's import has merged the other side's package.
    bool m_merged = false;
    QString m_error;
    // What this side has uploaded, by final name; the error answers, which must reach the other side, are not kept.
    QStringList m_uploaded;
    // The files the package for the other side left out, and where that side is.
    QList<LeftOutFile> m_leftOut;
    QString m_otherSide;
    QString m_hostFile;
    QString m_joinFile;
    QString m_hostId;
    QString m_phoneId;
};

QString Session::localSyncFile(const QString &id, const QString &suffix) const
{
    return QDir(SynchronizationManager::syncDirectory()).filePath(u"Mtp_%1_%2"_s.arg(id, suffix));
}

QString Session::mergedCounts() const
{
    return SynchronizationManager::addedCounts(m_result.recordsAdded, m_result.fileCount);
}

bool Session::send(const QString &localPath, const QString &name, bool toAllFolders)
{
    m_uploaded.append(name);
    return toAllFolders ? m_transport.uploadToAllFolders(localPath, name, &m_error)
                        : m_transport.upload(localPath, name, &m_error);
}

bool Session::readLine(const QString &name, qsizetype maxBytes, std::optional<QString> *text)
{
    QByteArray bytes;
    if (!m_transport.readFile(name, maxBytes + 1, &bytes, &m_error))
        return false;
    *text = bytes.size() > maxBytes ? std::nullopt : std::optional(QString::fromUtf8(bytes));
    return true;
}

UsbSyncResult Session::fail(const QString &failure)
{
    // After the merge a cancel stops only the waiting, and a failure comes after a change of the data: the message
    // says how it changed, so that it is not taken for a session that changed nothing.
    QString text = failure;
    if (m_merged) {
        text = m_cancelled ? u"Синхронизация отменена после слияния данных. "_s + mergedCounts()
                           : logging::withSentence(failure, u"Данные уже объединены. "_s + mergedCounts());
    }
    const QString files = u"host=%1; join=%2"_s.arg(m_hostFile, m_joinFile);
    if (m_cancelled)
        ApplicationLogger::write(Level::Info, kCategory, text, u"cancelled; "_s + files);
    else
        ApplicationLogger::write(Level::Error, kCategory, text, u"failed; "_s + files);
    // An upload taken later would start a step of a session that no longer runs (a renamed announcement would call
    // the phone app to it). The unfinished names go before the final ones, so that one the app renames meanwhile
    // is removed under its final name.
    QString ignored;
    for (const QString &name : std::as_const(m_uploaded))
        m_transport.removeUnfinishedUploads(name, &ignored);
    if (m_host) {
        removeIfPresent(m_transport, m_hostFile);
        removeIfPresent(m_transport, m_joinFile);
    }
    m_transport.close();
    m_result.success = false;
    m_result.cancelled = m_cancelled;
    m_result.message = text;
    return m_result;
}

UsbSyncResult Session::succeed(const SyncResult &import)
{
    m_transport.close();
    m_result.success = true;
    m_result.message = u"Слияние по MTP завершено. %1"_s.arg(import.message);
    if (!m_leftOut.isEmpty()) {
        m_result.message += u" Не переданы %1: %2."_s.arg(m_otherSide, SynchronizationManager::listed(m_leftOut));
    }
    report(m_progress, m_result.message);
    return m_result;
}

Session::Poll Session::poll(int limit, const QString &waitingText, const std::function<Poll()> &look)
{
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 remindedWindow = -1;
    while (!m_cancel.load() && (limit < 0 || elapsed.elapsed() < limit)) {
        const Poll seen = look();
        if (seen != Poll::Ended)
            return seen;
        const qint64 window = elapsed.elapsed() / m_timings.reminderWindow;
        if (m_progress && !waitingText.isEmpty() && window > remindedWindow) {
            remindedWindow = window;
            report(m_progress, waitingText);
        }
        QThread::msleep(static_cast<unsigned long>(m_timings.round));
    }
    m_cancelled = m_cancel.load();
    return Poll::Ended;
}

Session::Poll Session::pollFile(const QString &name, int limit, const QString &waitingText)
{
    return poll(limit, waitingText, [&] {
        bool exists = false;
        if (!m_transport.fileExists(name, &exists, &m_error))
            return Poll::Failed;
        return exists ? Poll::Found : Poll::Ended;
    });
}

bool Session::waitForFile(const QString &name, int limit, const QString &waitingText)
{
    const Poll seen = pollFile(name, limit, waitingText);
    if (seen == Poll::Ended) {
        m_error = m_cancelled ? kCancelledText : u"Истекло время ожидания файла %1 от второго устройства."_s.arg(name);
    }
    return seen == Poll::Found;
}

UsbSyncResult Session::run()
{
    ApplicationLogger::write(Level::Info, kCategory,
        m_host ? u"Запуск MTP-синхронизации на ПК"_s : u"Запуск MTP-синхронизации на телефоне"_s, u"start"_s);
    if (!m_transport.open(m_cancel, m_progress, &m_error)) {
        // The wait for the phone honours cancel itself: raised now, it is what ended the wait.
        m_result.cancelled = m_cancel.load();
        m_result.message = m_result.cancelled ? kCancelledText : m_error;
        if (m_result.cancelled)
            ApplicationLogger::write(Level::Info, kCategory, m_result.message, u"cancelled"_s);
        else
            ApplicationLogger::write(Level::Error, kCategory, m_result.message, u"open-failed"_s);
        return m_result;
    }
    return m_host ? runHost() : runPhone();
}

UsbSyncResult Session::runHost()
{
    report(m_progress, u"Подготовка локальной базы к слиянию…"_s);
    // Kept in the synchronisation folder only: the phone receives the export made after the merge.
    const SyncResult before = SynchronizationManager::exportPackage(QString());
    if (!before.success)
        return fail(before.message);

    m_hostId = UsbSyncSession::makeSessionId(m_nowUtc());
    m_hostFile = u"Host_%1.txt"_s.arg(m_hostId);
    m_joinFile = u"Join_%1.txt"_s.arg(m_hostId);
    const QString hostCopy = localSyncFile(m_hostId, u"host.txt"_s);
    if (!writeText(hostCopy, u"%1|%2"_s.arg(kHostKeyword, m_hostId), &m_error))
        return fail(m_error);
    report(m_progress, u"Объявление активного сеанса телефонам через MTP…"_s);
    const bool announced = send(hostCopy, m_hostFile, true);
    QFile::remove(hostCopy);
    if (!announced)
        return fail(m_error);

    report(m_progress, u"Ожидание подтверждения телефона для активного сеанса…"_s);
    if (!waitForFile(
            m_joinFile, m_timings.joinLimit, u"Телефон подключён. Ожидание подтверждения именно этого сеанса…"_s))
        return fail(m_error);
    std::optional<QString> joinText;
    if (!readLine(m_joinFile, kMaxIdLineBytes, &joinText))
        return fail(m_error);
    const QStringList join = joinText.value_or(QString()).trimmed().split(u'|', Qt::KeepEmptyParts);
    if (join.size() != 3 || join.at(0) != kJoinKeyword || join.at(1) != m_hostId
        || !UsbSyncSession::isValidSessionId(join.at(2))) {
        return fail(u"Телефон прислал некорректное подтверждение MTP-сеанса."_s);
    }
    m_phoneId = join.at(2);
    const QString requestFile = u"Request_%1.tspak"_s.arg(m_phoneId);
    const QString responseFile = u"Response_%1.tspak"_s.arg(m_phoneId);
    const QString resultFile = u"Result_%1.txt"_s.arg(m_phoneId);
    const QString ackFile = u"Ack_%1.txt"_s.arg(m_phoneId);

    if (!waitForFile(requestFile, m_timings.requestLimit, u"Сеанс подтверждён; ожидание пакета телефона…"_s))
        return fail(m_error);
    const QString requestCopy = localSyncFile(m_phoneId, u"phone.tspak"_s);
    SyncResult import;
    if (!receiveAndMerge(u"Получение пакета телефона…"_s, requestFile, requestCopy,
            u"Слияние баз и файлов на компьютере…"_s, localSyncFile(m_phoneId, u"error.txt"_s), resultFile, &import)) {
        return fail(m_error);
    }

    report(m_progress, u"Подготовка объединённой базы для телефона…"_s);
    const SyncResult merged = SynchronizationManager::exportPackage(QString());
    if (!merged.success)
        return fail(merged.message);
    m_leftOut = merged.leftOut;
    m_otherSide = u"на телефон"_s;
    if (!send(merged.packagePath, responseFile))
        return fail(m_error);
    // The response is on the phone before the result that tells the phone to take it.
    const QString resultCopy = localSyncFile(m_phoneId, u"result.txt"_s);
    const QString resultText = u"OK|%1|%2|%3"_s.arg(import.recordsAdded).arg(import.fileCount).arg(import.message);
    if (!writeText(resultCopy, resultText, &m_error) || !send(resultCopy, resultFile))
        return fail(m_error);

    report(m_progress, u"Ожидание подтверждения слияния на телефоне…"_s);
    const Poll acknowledged = pollFile(ackFile, m_timings.acknowledgementLimit, u"Ожидание подтверждения телефона…"_s);
    if (acknowledged == Poll::Failed)
        return fail(m_error);
    if (acknowledged == Poll::Ended)
        return fail(m_cancelled ? kCancelledText : u"Телефон не подтвердил завершение слияния."_s);
    std::optional<QString> ack;
    if (!readLine(ackFile, kMaxAnswerBytes, &ack))
        return fail(m_error);
    if (!ack)
        return fail(u"Телефон прислал некорректное подтверждение слияния."_s);
    // Only a refusal counts: the phone app's acknowledgement of success is not read further.
    if (ack->startsWith(kErrorPrefix))
        return fail(u"Телефон не смог объединить базы: %1"_s.arg(ack->mid(kErrorPrefix.size())));

    for (const QString &name : {requestFile, responseFile, resultFile, ackFile, m_hostFile, m_joinFile})
        removeIfPresent(m_transport, name);
    for (const QString &copy : {requestCopy, resultCopy})
        QFile::remove(copy);
    return succeed(import);
}

bool Session::receiveAndMerge(const QString &downloadText, const QString &remote, const QString &copy,
    const QString &mergeText, const QString &errorCopy, const QString &errorFile, SyncResult *import)
{
    report(m_progress, downloadText);
    if (!m_transport.download(remote, copy, &m_error))
        return false;
    report(m_progress, mergeText);
    *import = SynchronizationManager::importPackage(copy);
    m_result.recordsAdded = import->recordsAdded;
    m_result.fileCount = import->fileCount;
    m_result.dataChanged = import->dataChanged;
    m_merged = import->success;
    if (import->success)
        return true;
    // Not kept for fail: the error answer stays, so that the other side learns why and need not wait for its limit.
    if (writeText(errorCopy, kErrorPrefix + import->message, nullptr))
        m_transport.upload(errorCopy, errorFile, nullptr);
    m_error = import->message;
    return false;
}

Session::Poll Session::findAnnouncement(QSet<QString> &reportedStale)
{
    QStringList names;
    if (!m_transport.listFiles(&names, &m_error))
        return Poll::Failed;
    QStringList candidates;
    for (const QString &name : std::as_const(names)) {
        if (name.startsWith(u"Host_"_s) && name.endsWith(u".txt"_s))
            candidates.append(name);
    }
    // The computer announces into every synchronisation folder.
    candidates.removeDuplicates();
    std::sort(candidates.begin(), candidates.end());
    QString newest;
    for (const QString &name : std::as_const(candidates)) {
        const QString id = name.mid(5, name.size() - 9);
        if (UsbSyncSession::isFreshAnnouncement(id, m_nowUtc())) {
            newest = name;
        } else if (!reportedStale.contains(name)) {
            reportedStale.insert(name);
            ApplicationLogger::write(
                Level::Warning, kCategory, u"Пропущен устаревший маркер компьютера %1"_s.arg(name), u"stale-host"_s);
        }
    }
    if (newest.isEmpty())
        return Poll::Ended;

    // Ids begin with their UTC time, so the last fresh name is the newest session.
    const QString id = newest.mid(5, newest.size() - 9);
    std::optional<QString> announcement;
    if (!readLine(newest, kMaxIdLineBytes, &announcement))
        return Poll::Failed;
    if (!announcement || announcement->trimmed() != u"%1|%2"_s.arg(kHostKeyword, id))
        return Poll::Ended;
    m_hostId = id;
    return Poll::Found;
}

UsbSyncResult Session::runPhone()
{
    m_phoneId = UsbSyncSession::makeSessionId(m_nowUtc());
    const QString requestFile = u"Request_%1.tspak"_s.arg(m_phoneId);
    const QString responseFile = u"Response_%1.tspak"_s.arg(m_phoneId);
    const QString resultFile = u"Result_%1.txt"_s.arg(m_phoneId);
    const QString ackFile = u"Ack_%1.txt"_s.arg(m_phoneId);

    report(m_progress, u"Подготовка локальной базы к слиянию…"_s);
    const SyncResult request = SynchronizationManager::exportPackage(QString());
    if (!request.success)
        return fail(request.message);
    m_leftOut = request.leftOut;
    m_otherSide = u"на компьютер"_s;
    report(m_progress, u"Передача данных телефона через MTP…"_s);
    if (!send(request.packagePath, requestFile))
        return fail(m_error);
    report(m_progress, u"Пакет телефона отправлен. Поиск активного сеанса компьютера…"_s);

    QSet<QString> reportedStale;
    const Poll announced = poll(m_timings.announcementLimit, u"Ожидание объявления активного сеанса компьютером…"_s,
        [&] { return findAnnouncement(reportedStale); });
    if (announced == Poll::Failed)
        return fail(m_error);
    if (announced == Poll::Ended) {
        return fail(
            m_cancelled ? kCancelledText : u"Компьютер не объявил активный сеанс. Запустите синхронизацию на ПК."_s);
    }
    m_hostFile = u"Host_%1.txt"_s.arg(m_hostId);
    report(m_progress, u"Обнаружен актуальный сеанс компьютера %1"_s.arg(m_hostId));

    m_joinFile = u"Join_%1.txt"_s.arg(m_hostId);
    const QString joinCopy = localSyncFile(m_phoneId, u"join.txt"_s);
    if (!writeText(joinCopy, u"%1|%2|%3"_s.arg(kJoinKeyword, m_hostId, m_phoneId), &m_error))
        return fail(m_error);
    const bool joined = send(joinCopy, m_joinFile);
    QFile::remove(joinCopy);
    if (!joined)
        return fail(m_error);

    report(m_progress, u"Компьютер подтверждён. Ожидание ответа для текущего сеанса…"_s);
    bool responseSeen = false;
    bool resultSeen = false;
    const Poll answered = poll(m_timings.answerLimit, u"Ожидание ответа второго устройства по MTP…"_s, [&] {
        QStringList names;
        if (!m_transport.listFiles(&names, &m_error))
            return Poll::Failed;
        responseSeen = names.contains(responseFile);
        resultSeen = names.contains(resultFile);
        return responseSeen || resultSeen ? Poll::Found : Poll::Ended;
    });
    if (answered == Poll::Failed)
        return fail(m_error);
    if (answered == Poll::Ended) {
        return fail(m_cancelled
                ? kCancelledText
                : u"Истекло время ожидания второго устройства. Убедитесь, что обе программы запущены."_s);
    }
    // Once the computer has begun to answer, its result is awaited for as long as it takes.
    const Poll resulted = poll(-1, QString(), [&] {
        if (resultSeen)
            return Poll::Found;
        if (!m_transport.fileExists(resultFile, &resultSeen, &m_error))
            return Poll::Failed;
        return resultSeen ? Poll::Found : Poll::Ended;
    });
    if (resulted == Poll::Failed)
        return fail(m_error);
    if (resulted == Poll::Ended)
        return fail(kCancelledText);

    std::optional<QString> resultText;
    if (!readLine(resultFile, kMaxAnswerBytes, &resultText))
        return fail(m_error);
    const QString result = resultText.value_or(QString());
    if (result.startsWith(kErrorPrefix))
        return fail(u"Компьютер не смог объединить данные: %1"_s.arg(result.mid(kErrorPrefix.size())));
    if (!result.startsWith(kOkPrefix))
        return fail(u"Компьютер прислал некорректный результат MTP-синхронизации."_s);
    if (!responseSeen) {
        if (!m_transport.fileExists(responseFile, &responseSeen, &m_error))
            return fail(m_error);
        if (!responseSeen)
            return fail(u"Компьютер не передал объединённую базу."_s);
    }

    const QString responseCopy = localSyncFile(m_phoneId, u"pc.tspak"_s);
    const QString ackCopy = localSyncFile(m_phoneId, u"ack.txt"_s);
    SyncResult import;
    if (!receiveAndMerge(u"Загрузка объединённой базы компьютера…"_s, responseFile, responseCopy,
            u"Слияние баз и файлов на телефоне…"_s, ackCopy, ackFile, &import)) {
        return fail(m_error);
    }
    const QString ack = u"OK|%1|%2"_s.arg(import.recordsAdded).arg(import.fileCount);
    if (!writeText(ackCopy, ack, &m_error) || !send(ackCopy, ackFile))
        return fail(m_error);

    // The acknowledgement stays for the computer, which removes it.
    for (const QString &name : {requestFile, responseFile, resultFile})
        removeIfPresent(m_transport, name);
    for (const QString &copy : {responseCopy, ackCopy})
        QFile::remove(copy);
    return succeed(import);
}

} // namespace

bool UsbSyncSession::isValidSessionId(const QString &id)
{
    return kSessionIdPattern.match(id).hasMatch();
}

bool UsbSyncSession::isFreshAnnouncement(const QString &id, const QDateTime &nowUtc)
{
    const QDateTime announced = isValidSessionId(id) ? sessionIdTime(id) : QDateTime();
    const qint64 age = announced.isValid() ? announced.msecsTo(nowUtc) : kAnnouncementMaxAge + 1;
    return age >= -kAnnouncementMaxLead && age <= kAnnouncementMaxAge;
}

QString UsbSyncSession::makeSessionId(const QDateTime &utc)
{
    return utc.toUTC().toString(u"yyyyMMdd_HHmmss_zzz"_s) + u'_' + QUuid::createUuid().toString(QUuid::Id128);
}

UsbSyncResult UsbSyncSession::run(
    bool host, std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress)
{
    MtpSyncTransport transport;
    return run(
        host, transport, UsbSyncTimings(), [] { return QDateTime::currentDateTimeUtc(); }, cancel, progress);
}

UsbSyncResult UsbSyncSession::run(bool host, SyncTransport &transport, const UsbSyncTimings &timings,
    const std::function<QDateTime()> &nowUtc, std::atomic<bool> &cancel,
    const std::function<void(const QString &)> &progress)
{
    return Session(host, transport, timings, nowUtc, cancel, progress).run();
}

} // namespace tessaron::sync
