#pragma once

#include <QDateTime>
#include <QString>

#include <atomic>
#include <functional>

namespace tessaron::sync {

class SyncTransport;

// The outcome of one synchronisation session.
struct UsbSyncResult
{
    // True only when the session ran to its end; false on every failure and on cancellation.
    bool success = false;
    // On success "Слияние по MTP завершено. …" with this side's import message, otherwise the failure text; a
    // failure after this side's merge adds "Данные уже объединены." with what the merge added.
    QString message;
    // What this side's import added and wrote; kept when a later step fails, 0 until the import has run.
    qint32 recordsAdded = 0;
    qint32 fileCount = 0;
    // True when the session ended because cancel was raised (success is false then): a stop the user asked for,
    // not a failure. The message tells what the import had done by then.
    bool cancelled = false;
    // True when this side's import changed the local data (SyncResult::dataChanged), also when the session failed
    // or was cancelled afterwards, or the import itself failed part way: what a caller shows of that data is stale.
    bool dataChanged = false;
};

// How long a session waits, in milliseconds. The defaults are the ones the phone app is built against.
struct UsbSyncTimings
{
    // The pause between two looks at the phone's folder.
    int round = 500;
    // A waiting text is reported in the first round of each window of this length.
    int reminderWindow = 5000;
    // Computer side: the phone's join, its package, its acknowledgement.
    int joinLimit = 180000;
    int requestLimit = 600000;
    int acknowledgementLimit = 600000;
    // Phone side: the computer's announcement, its answer (the result itself is awaited without a limit).
    int announcementLimit = 180000;
    int answerLimit = 600000;
};

// One synchronisation of the local data with the phone app over the phone's synchronisation folders. The two
// sides never talk directly: each drops small text files and packages into the folders and polls the listing
// for the other side's files. With host true it is the computer's side (announce, take the phone's package,
// merge, answer with the merged data, await the acknowledgement); with host false the phone's side of the same
// exchange. Every failure is a result, never an exception.
class UsbSyncSession
{
public:
    UsbSyncSession() = delete;

    // Blocks until the session has succeeded, failed or been cancelled. cancel is only read (raise it from
    // another thread to stop at the next look at the phone); progress, which may be empty, is called on the
    // calling thread with every stage text.
    static UsbSyncResult run(
        bool host, std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress);

    // The same over a given transport (opened here and closed at the end), with the given waits and a clock
    // giving the current UTC time, so that every wait can be shortened and every fault injected.
    static UsbSyncResult run(bool host, SyncTransport &transport, const UsbSyncTimings &timings,
        const std::function<QDateTime()> &nowUtc, std::atomic<bool> &cancel,
        const std::function<void(const QString &)> &progress);

    // Whether id is a session id: "yyyyMMdd_HHmmss_zzz_" and 32 lower-case hexadecimal digits.
    static bool isValidSessionId(const QString &id);
    // Whether an announcement of the session id may name a running session: the id is valid and its time, read
    // as UTC, lies at most 300000 ms before and 120000 ms after nowUtc.
    static bool isFreshAnnouncement(const QString &id, const QDateTime &nowUtc);
    // A new session id for that UTC time.
    static QString makeSessionId(const QDateTime &utc);
};

} // namespace tessaron::sync
