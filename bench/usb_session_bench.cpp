// Area "usb-join": the computer's side of a synchronisation session over a phone played in a temporary folder,
// whose join file is 200 MB long. A thread plays the phone app: it waits for the computer's announcement and
// answers with the oversized join. The session refuses the join; what it read meanwhile shows in the process's
// peak memory, which the area prints with its growth during the sessions. The files given are not read; run the
// area in a process of its own.

#include "core_bench.h"

#include "storage/app_paths.h"
#include "sync/mtp_sync_transport.h"
#include "sync/usb_sync_session.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <thread>

using namespace Qt::StringLiterals;
using tessaron::sync::MtpSyncTransport;
using tessaron::sync::UsbSyncResult;
using tessaron::sync::UsbSyncSession;
using tessaron::sync::UsbSyncTimings;

namespace tessaron::bench {

namespace {

constexpr qint64 joinBytes = 200 * 1000 * 1000;
constexpr qint64 chunkBytes = 1 << 20;
constexpr int generous = 120000;

// Written in chunks, so that the phone's half adds nothing to the peak it is meant to show.
bool writeLongJoin(const QString &path, const QString &hostId)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray head = u"TESSARON_MTP_JOIN|%1|"_s.arg(hostId).toUtf8();
    const QByteArray chunk(chunkBytes, 'x');
    bool written = file.write(head) == head.size();
    for (qint64 left = joinBytes - head.size(); written && left > 0; left -= chunkBytes)
        written = file.write(chunk.constData(), std::min(left, chunkBytes)) == std::min(left, chunkBytes);
    return written;
}

// The phone app's half: the announcement's id, then the oversized join, whole under its final name.
void playPhone(const QString &folder, const std::stop_token &stop)
{
    static const QRegularExpression announcement(u"^Host_(.{52})\\.txt(\\..*\\.uploading)?$"_s);
    for (; !stop.stop_requested(); QThread::msleep(5)) {
        for (const QString &name : QDir(folder).entryList(QDir::Files)) {
            const QRegularExpressionMatch match = announcement.match(name);
            if (!match.hasMatch())
                continue;
            const QString hostId = match.captured(1);
            const QString incoming = folder + u"/.incoming"_s;
            if (writeLongJoin(incoming, hostId))
                QFile::rename(incoming, folder + u"/Join_%1.txt"_s.arg(hostId));
            return;
        }
    }
}

} // namespace

int benchUsbJoin(const QStringList &, int repeat)
{
    QTemporaryDir root;
    qputenv("LOCALAPPDATA", root.filePath(u"LocalAppData"_s).toLocal8Bit());
    storage::AppPaths::setProgramDirectoryForTesting(root.filePath(u"Program"_s));
    storage::AppPaths::ensureDirectories();
    const QString folder = root.filePath(u"device/Internal/TessaronSyncMTP"_s);
    QDir().mkpath(folder);
    qputenv("TESSARON_MTP_ROOTS", root.filePath(u"device"_s).toLocal8Bit());
    std::printf("usb-join: a join file of %lld bytes\n", qlonglong(joinBytes));

    const long before = peakResidentKilobytes();
    UsbSyncResult result;
    print("UsbSyncSession::run, the computer's side, until the join is refused", repeat, measure(repeat, [&] {
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(folder + u'/' + name);
        std::jthread phone([&](const std::stop_token &stop) { playPhone(folder, stop); });
        MtpSyncTransport transport({10, generous, 1000});
        std::atomic<bool> cancel = false;
        const UsbSyncTimings timings {10, 1000, generous, generous, generous, generous, generous};
        result = UsbSyncSession::run(true, transport, timings, &QDateTime::currentDateTimeUtc, cancel, {});
    }));
    std::printf("  %s\n  peak resident memory %.1f MB, %.1f MB more than before the sessions\n",
        qPrintable(result.message), double(peakResidentKilobytes()) / 1024.0,
        double(peakResidentKilobytes() - before) / 1024.0);
    return result.success ? 1 : 0;
}

} // namespace tessaron::bench
