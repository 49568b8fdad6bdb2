#include "logging/application_logger.h"
#include "storage/app_paths.h"
#include "storage/master_repository.h"
#include "support/log_capture.h"
#include "support/scripted_phone.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/time_zone_pin.h"
#include "sync/mtp_sync_transport.h"
#include "sync/synchronization_manager.h"
#include "sync/usb_sync_session.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <QTimeZone>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tessaron::sync;
using tessaron::storage::MasterRepository;
using tessaron::test::fileBytes;
using tessaron::test::filesIn;
using tessaron::test::putWhole;
using tessaron::test::waitForUpload;

namespace {

const QString kFolder = u"Internal/TessaronSyncMTP"_s;
// Long enough for the sanitizer build; only the wait a row means to exhaust gets a short limit.
constexpr int kGenerous = 30000;
constexpr int kShort = 300;
const QString kDone = u"Слияние по MTP завершено. Синхронизация завершена. Добавлено записей: 1, файлов: 0."_s;
// The computer only checks the phone's id for its form, so the scripted phone keeps one.
const QString kPhone = u"20260301_120000_000_"_s + QString(32, u'b');
// The phone side's pinned clock.
const QDateTime kNow(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());
const QString kTransferFault = u"Передача прервана тестом"_s;
const QString kWaitingForPhone = u"Ожидание телефона в режиме «Передача файлов (MTP)»…"_s;

// Exports the phone's installation, holding the master "Иванов", to packagePath; then leaves the computer's own
// installation in use, holding "Петров". False when a step fails.
bool preparePhoneAndComputer(tessaron::test::TempAppPaths &paths, const QString &packagePath)
{
    const auto addMaster = [](const QString &name) {
        tessaron::storage::AppPaths::ensureDirectories();
        return MasterRepository().addMaster(name) > 0;
    };
    paths.useInstallation(u"phone"_s);
    const bool exported = addMaster(u"Иванов"_s) && SynchronizationManager::exportPackage(packagePath).success;
    paths.useInstallation({});
    return exported && addMaster(u"Петров"_s);
}

// The real transport whose failAt-th transfer (upload or download; looks are left alone, their number depends
// on timing) fails with kTransferFault.
class FailingTransport final : public SyncTransport
{
public:
    FailingTransport(const MtpTimings &timings, int failAt)
        : m_real(timings)
        , m_left(failAt)
    { }
    bool open(std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress, QString *error) override
    {
        return m_real.open(cancel, progress, error);
    }
    void close() override { m_real.close(); }
    bool listFiles(QStringList *names, QString *error) override { return m_real.listFiles(names, error); }
    bool fileExists(const QString &name, bool *exists, QString *error) override
    {
        return m_real.fileExists(name, exists, error);
    }
    bool download(const QString &name, const QString &path, QString *error) override
    {
        return transfer(error) && m_real.download(name, path, error);
    }
    bool readFile(const QString &name, qint64 maxSize, QByteArray *content, QString *error) override
    {
        return transfer(error) && m_real.readFile(name, maxSize, content, error);
    }
    bool upload(const QString &path, const QString &name, QString *error) override
    {
        return transfer(error) && m_real.upload(path, name, error);
    }
    bool uploadToAllFolders(const QString &path, const QString &name, QString *error) override
    {
        return transfer(error) && m_real.uploadToAllFolders(path, name, error);
    }
    bool remove(const QString &name, QString *error) override { return m_real.remove(name, error); }
    bool removeUnfinishedUploads(const QString &name, QString *error) override
    {
        return m_real.removeUnfinishedUploads(name, error);
    }

private:
    bool transfer(QString *error) { return --m_left != 0 || (*error = kTransferFault, false); }

    MtpSyncTransport m_real;
    int m_left;
};

// One side of a session over the real device folder, with generous limits and no progress callback.
UsbSyncResult runSide(bool host)
{
    MtpSyncTransport transport({10, kGenerous, 1000});
    std::atomic<bool> cancel = false;
    const UsbSyncTimings timings {10, 1000, kGenerous, kGenerous, kGenerous, kGenerous, kGenerous};
    return UsbSyncSession::run(host, transport, timings, &QDateTime::currentDateTimeUtc, cancel, {});
}

// The session's records of the application log, as "level operation: message".
QStringList sessionLog()
{
    QStringList records;
    const QList<QVariantMap> log = tessaron::test::logRecords(u"sync.mtp"_s);
    for (const QVariantMap &record : log)
        records.append(u"%1 %2: %3"_s.arg(record.value(u"level"_s).toString(), record.value(u"operation"_s).toString(),
            record.value(u"message"_s).toString()));
    return records;
}

// One session of the computer against the scripted phone: what the phone does, the fault the test injects
// ("short <wait>", "… quiet" without a progress callback, "… untaken" with a phone app that takes none of the
// computer's uploads, "cancel <stage text>", "no phone", "odd document": one whose name the phone would refuse, and a
// named pipe, "unreadable document": a file nobody may read, root neither, "link in the document's place": the
// computer's link where the phone's document goes), and what must come of it. "{H}" stands for the host id, "{P}" for
// the phone's.
struct Row
{
    QByteArray request; // "package": the phone's package; "pipe": a named pipe no one writes into
    QString join;
    QString ack; // null: the phone stops before acknowledging
    QString fault;
    QString message;
    QStringList onPhone {};
    QStringList localCopies {};
    int records = 0;
    // What the computer's import left unwritten, as its message names it after the counts.
    QString unwritten {};
};

// One session of the phone against a scripted computer, which has announced a stale session and two fresh ones,
// each with the text announcement ("{H}" its id), and answers the join with its merged data, when response, and
// the result; without a result the test cancels once the answer's limit has passed.
struct PhoneRow
{
    QString announcement;
    bool response;
    QString result;
    QString message;
    int records = 0;
};

} // namespace

Q_DECLARE_METATYPE(Row)
Q_DECLARE_METATYPE(PhoneRow)

class TestUsbSyncSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sessionIdsAndAnnouncements();
    void computerSide_data();
    void computerSide();
    void phoneSide_data();
    void phoneSide();
    void bothHalves();

private:
    QString folder() const { return m_paths->filePath(u"device/"_s + kFolder); }

    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
};

void TestUsbSyncSession::init()
{
    m_paths.reset(); // one at a time
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    tessaron::logging::ApplicationLogger::shutdown();
    tessaron::logging::ApplicationLogger::initialize(m_paths->filePath(u"log"_s));
    QVERIFY(QDir().mkpath(folder()));
    qputenv("TESSARON_MTP_ROOTS", m_paths->filePath(u"device"_s).toLocal8Bit());
}

void TestUsbSyncSession::sessionIdsAndAnnouncements()
{
    const QString id = UsbSyncSession::makeSessionId(QDateTime::currentDateTime());
    QCOMPARE(id.size(), 52);
    QVERIFY2(UsbSyncSession::isValidSessionId(id), qPrintable(id));
    for (const QString &bad :
        QStringList {id.toUpper(), id.left(16) + id.mid(17), id + u'0', id + u'\n', id.left(51) + u'-'})
        QVERIFY2(!UsbSyncSession::isValidSessionId(bad), qPrintable(bad));

    for (const auto &[offset, fresh] : {std::pair {-300000, true}, {-300001, false}, {120000, true}, {120001, false}})
        QCOMPARE(
            UsbSyncSession::isFreshAnnouncement(UsbSyncSession::makeSessionId(kNow.addMSecs(offset)), kNow), fresh);
    QVERIFY(!UsbSyncSession::isFreshAnnouncement(UsbSyncSession::makeSessionId(kNow).toUpper(), kNow));
    // Read as UTC: 02:30 on 30 March 2025 is no local time in Berlin; the id is made from local time there.
    tessaron::test::setTimeZone("Europe/Berlin");
    const QDateTime inGap(QDate(2025, 3, 30), QTime(2, 30), QTimeZone::utc());
    const bool freshInGap
        = UsbSyncSession::isFreshAnnouncement(UsbSyncSession::makeSessionId(inGap.toLocalTime()), inGap);
    tessaron::test::setTimeZone("UTC");
    QVERIFY(freshInGap);
}

void TestUsbSyncSession::computerSide_data()
{
    QTest::addColumn<Row>("row");
    const QString join = u"TESSARON_MTP_JOIN|{H}|{P}\r\n"_s;
    const QString badJoin = u"Телефон прислал некорректное подтверждение MTP-сеанса."_s;
    const QString noJoin = u"Истекло время ожидания файла Join_{H}.txt от второго устройства."_s;
    const QString cancelled = u"Синхронизация отменена"_s;
    const QStringList request {u"Request_{P}.tspak"_s};
    const QStringList answered {u"Request_{P}.tspak"_s, u"Response_{P}.tspak"_s, u"Result_{P}.txt"_s};
    const QStringList unacknowledged {u"Mtp_{P}_phone.tspak"_s, u"Mtp_{P}_result.txt"_s};
    const QString merged = u"Данные уже объединены. Добавлено записей: 1, файлов: 0."_s;
    QTest::newRow("success") << Row {"package", join, u"OK|1|0"_s, {}, kDone, {}, {}, 1};
    QTest::newRow("document the phone would refuse, a pipe") << Row {"package", join, u"OK|1|0"_s, u"odd document"_s,
        kDone
            + u" Не переданы на телефон: «files/Documents/pipe» (не обычный файл: канал, сокет или устройство), "
              u"«files/Documents/Акт №5 от 01.12..pdf» (две точки подряд)."_s,
        {}, {}, 1};
    QTest::newRow("unreadable document") << Row {"package", join, u"OK|1|0"_s, u"unreadable document"_s,
        kDone
            + u" Не переданы на телефон: «files/Documents/скан.pdf» (нет прав на чтение, или файл занят другой "
              u"программой)."_s,
        {}, {}, 1};
    const QString unwritten = u" Не записаны: «files/Documents/акт.pdf» (на его месте лежит ссылка)."_s;
    QTest::newRow("link in the document's place") << Row {
        "package", join, u"OK|1|0"_s, u"link in the document's place"_s, kDone + unwritten, {}, {}, 1, unwritten};
    QTest::newRow("acknowledgement with a leading space") << Row {"package", join, u" ERROR|x"_s, {}, kDone, {}, {}, 1};
    QTest::newRow("no join") << Row {"package", {}, {}, u"short join"_s, noJoin, request};
    QTest::newRow("no join, no progress callback") << Row {"package", {}, {}, u"short join quiet"_s, noJoin, request};
    QTest::newRow("announcement never taken") << Row {"package", {}, {}, u"short join untaken"_s, noJoin, request};
    for (const QString &bad :
        QStringList {u"TESSARON_MTP_JOIN|{H}"_s, u"TESSARON_MTP_JOIN|{H}|{P}|"_s, u"TESSARON_MTP_HOST|{H}|{P}"_s,
            u"TESSARON_MTP_JOIN|{P}|{P}"_s, u"TESSARON_MTP_JOIN|{H}|"_s + kPhone.toUpper()})
        QTest::addRow("join %s", qPrintable(bad)) << Row {"package", bad, u"OK"_s, {}, badJoin, request};
    // Valid once trimmed, but longer than the computer reads of a join.
    QTest::newRow("join with 1024 blanks")
        << Row {"package", join + QString(1024, u' '), u"OK"_s, {}, badJoin, request};
    QTest::newRow("no request") << Row {{}, join, u"OK"_s, u"short request"_s,
        u"Истекло время ожидания файла Request_{P}.tspak от второго устройства."_s};
    QTest::newRow("request not a package")
        << Row {"no package", join, u"OK"_s, {}, u"Файл не является пакетом Tessaron."_s,
               {u"Request_{P}.tspak"_s, u"Result_{P}.txt"_s}, {u"Mtp_{P}_error.txt"_s, u"Mtp_{P}_phone.tspak"_s}};
    QTest::newRow("request a named pipe") << Row {"pipe", join, u"OK"_s, {},
        u"Файл Request_{P}.tspak на телефоне не является обычным файлом (канал, сокет или устройство)."_s, request};
    // Past the merge, every failure tells it.
    QTest::newRow("error acknowledgement")
        << Row {"package", join, u"ERROR|x"_s, {}, u"Телефон не смог объединить базы: x. "_s + merged,
               QStringList {u"Ack_{P}.txt"_s} + answered, unacknowledged, 1};
    QTest::newRow("empty acknowledgement") << Row {"package", join, u""_s, {},
        u"MTP вернул пустой поток для Ack_{P}.txt (размер 0, буфер 16385 байт). "_s + merged,
        QStringList {u"Ack_{P}.txt"_s} + answered, unacknowledged, 1};
    QTest::newRow("acknowledgement longer than an answer") << Row {"package", join, u"OK|1|0"_s + QString(16384, u' '),
        {}, u"Телефон прислал некорректное подтверждение слияния. "_s + merged,
        QStringList {u"Ack_{P}.txt"_s} + answered, unacknowledged, 1};
    QTest::newRow("no acknowledgement") << Row {"package", join, {}, u"short ack"_s,
        u"Телефон не подтвердил завершение слияния. "_s + merged, answered, unacknowledged, 1};
    QTest::newRow("answer never taken") << Row {"package", join, {}, u"short ack untaken"_s,
        u"Телефон не подтвердил завершение слияния. "_s + merged, request, unacknowledged, 1};
    QTest::newRow("cancel awaiting the join") << Row {"package", {}, {},
        u"cancel Телефон подключён. Ожидание подтверждения именно этого сеанса…"_s, cancelled, request};
    QTest::newRow("cancel awaiting the acknowledgement")
        << Row {"package", join, {}, u"cancel Ожидание подтверждения телефона…"_s,
               u"Синхронизация отменена после слияния данных. Добавлено записей: 1, файлов: 0."_s, answered,
               unacknowledged, 1};
    QTest::newRow("cancel awaiting the phone")
        << Row {"package", join, u"OK"_s, u"cancel "_s + kWaitingForPhone, cancelled, request};
    // The transport's own failure, here in its sixth transfer: fetching the acknowledgement.
    QTest::newRow("transport fails") << Row {"package", join, u"OK"_s, u"fail transfer 6"_s,
        kTransferFault + u". "_s + merged, QStringList {u"Ack_{P}.txt"_s} + answered, unacknowledged, 1};
    QTest::newRow("no phone") << Row {"package", join, u"OK"_s, u"no phone"_s,
        u"Не удалось открыть телефон через MTP: MTP-устройства пока не подключены"_s, request};
}

void TestUsbSyncSession::computerSide()
{
    QFETCH(Row, row);
    const QString phonePackage = m_paths->filePath(u"phone.tspak"_s);
    const QString document = u"Documents/акт.pdf"_s;
    const bool linkInPlace = row.fault == u"link in the document's place"_s;
    if (linkInPlace) { // the phone brings a document
        m_paths->useInstallation(u"phone"_s);
        QVERIFY(tessaron::test::writeFile(tessaron::storage::AppPaths::data() + u'/' + document, "phone"));
    }
    QVERIFY(preparePhoneAndComputer(*m_paths, phonePackage));
    const QString outside = m_paths->filePath(u"outside.pdf"_s);
    if (linkInPlace) { // which goes where the computer keeps a link to a file of its own
        QVERIFY(tessaron::test::writeFile(outside, "computer"));
        QVERIFY(QDir().mkpath(tessaron::storage::AppPaths::data() + u"/Documents"_s));
        QVERIFY(QFile::link(outside, tessaron::storage::AppPaths::data() + u'/' + document));
    }
    if (row.fault == u"unreadable document"_s) {
        const QString nobodyReads = u"/proc/sys/vm/drop_caches"_s;
        if (!QFileInfo(nobodyReads).isFile())
            QSKIP(qPrintable(nobodyReads + u" is missing here"_s));
        QVERIFY(QDir().mkpath(tessaron::storage::AppPaths::data() + u"/Documents"_s));
        QVERIFY(QFile::link(nobodyReads, tessaron::storage::AppPaths::data() + u"/Documents/скан.pdf"_s));
    }
    const QByteArray request = row.request == "package" ? fileBytes(phonePackage) : row.request;
    const bool noPhone = row.fault == u"no phone"_s;
    const bool cancelled = row.fault.startsWith(u"cancel "_s);
    // The transport's wait for the phone ends the session before anything is exported or announced.
    const bool endsInOpen = noPhone || row.fault == u"cancel "_s + kWaitingForPhone;
    if (noPhone)
        qputenv("TESSARON_MTP_ROOTS", m_paths->filePath(u"unplugged"_s).toLocal8Bit());
    if (row.fault == u"odd document"_s) {
        const QString documents = tessaron::storage::AppPaths::data() + u"/Documents/"_s;
        QVERIFY(tessaron::test::writeFile(documents + u"Акт №5 от 01.12..pdf"_s));
        QCOMPARE(mkfifo(QFile::encodeName(documents + u"pipe"_s).constData(), 0600), 0);
    }
    // The phone app's side: its request, the announcement, the join, the result; after an "OK|" result the
    // response and, unless ack is null, the acknowledgement.
    const QString requestPath = folder() + u"/Request_%1.tspak"_s.arg(kPhone);
    const bool takes = !row.fault.endsWith(u"untaken"_s);
    QString hostId;
    std::atomic<bool> hostSeen = false;
    QByteArray resultText, response;
    std::jthread phone([&](const std::stop_token &stop) {
        if (row.request == "pipe")
            mkfifo(QFile::encodeName(requestPath).constData(), 0600);
        else if (!request.isEmpty())
            putWhole(folder(), QFileInfo(requestPath).fileName(), request);
        hostId = waitForUpload(folder(), u"Host_.{52}\\.txt"_s, stop, takes).mid(5, 52);
        hostSeen = !hostId.isEmpty();
        if (hostId.isEmpty() || row.join.isEmpty())
            return;
        putWhole(folder(), u"Join_%1.txt"_s.arg(hostId),
            QString(row.join).replace(u"{H}"_s, hostId).replace(u"{P}"_s, kPhone).toUtf8());
        resultText
            = fileBytes(folder() + u'/' + waitForUpload(folder(), u"Result_%1\\.txt"_s.arg(kPhone), stop, takes));
        if (!resultText.startsWith("OK|"))
            return;
        response
            = fileBytes(folder() + u'/' + waitForUpload(folder(), u"Response_%1\\.tspak"_s.arg(kPhone), stop, takes));
        if (!row.ack.isNull())
            putWhole(folder(), u"Ack_%1.txt"_s.arg(kPhone), row.ack.toUtf8());
    });

    const auto limit
        = [&](const QString &wait) { return row.fault.startsWith(u"short "_s + wait) ? kShort : kGenerous; };
    const UsbSyncTimings timings {
        10, 100, limit(u"join"_s), limit(u"request"_s), limit(u"ack"_s), kGenerous, kGenerous};
    FailingTransport transport(
        {10, noPhone ? kShort : kGenerous, 1000}, row.fault.section(u"fail transfer "_s, 1).toInt());
    std::atomic<bool> cancel = false;
    QStringList progress;
    const std::function<void(const QString &)> onProgress = [&](const QString &text) {
        progress.append(text);
        if (cancel || !row.fault.startsWith(u"cancel "_s) || text != row.fault.mid(7))
            return;
        // A cancelled session removes its announcement at once: the phone must have seen it first, or the test
        // never learns the host id, however loaded the machine.
        for (QDeadlineTimer seen(kGenerous); !endsInOpen && !hostSeen && !seen.hasExpired();)
            QThread::msleep(5);
        cancel = true;
    };
    // On a thread of its own, so that a read blocked for good fails the row at the bound instead of hanging the test;
    // a writer opened on the pipe then lets it end.
    UsbSyncResult result;
    std::atomic<bool> ended = false;
    std::jthread session([&] {
        result = UsbSyncSession::run(true, transport, timings, &QDateTime::currentDateTimeUtc, cancel,
            row.fault.endsWith(u"quiet"_s) ? nullptr : onProgress);
        ended = true;
    });
    const auto releasePipe = qScopeGuard([&] {
        if (const int writer = ended ? -1 : open(QFile::encodeName(requestPath).constData(), O_WRONLY | O_NONBLOCK);
            writer >= 0)
            close(writer);
    });
    QTRY_VERIFY_WITH_TIMEOUT(ended, 4 * kGenerous);
    phone.request_stop();
    phone.join();
    waitForUpload(folder(), u"(?!)"_s, phone.get_stop_token()); // what the phone renames after the session ended
    const auto named = [&](QStringList texts) {
        return texts.replaceInStrings(u"{P}"_s, kPhone).replaceInStrings(u"{H}"_s, hostId);
    };

    QCOMPARE(result.message, named({row.message}).first());
    QCOMPARE(result.success, row.message.startsWith(kDone));
    QCOMPARE(result.cancelled, cancelled);
    QCOMPARE(result.recordsAdded, row.records);
    QVERIFY(!transport.remove(kPhone, nullptr)); // closed
    QCOMPARE(filesIn(folder()), named(row.onPhone));
    QCOMPARE(resultText.isEmpty() ? fileBytes(folder() + u"/Result_"_s + kPhone + u".txt"_s) : resultText,
        row.records
            ? QByteArray("OK|1|0|Синхронизация завершена. Добавлено записей: 1, файлов: 0.") + row.unwritten.toUtf8()
            : row.onPhone.contains(u"Result_{P}.txt"_s) ? QByteArray("ERROR|Файл не является пакетом Tessaron.")
                                                        : QByteArray());
    if (linkInPlace) // nothing was written through the link
        QCOMPARE(fileBytes(outside), "computer");
    const QString syncFolder = SynchronizationManager::syncDirectory();
    QCOMPARE(filesIn(syncFolder, u"Mtp_*"_s), named(row.localCopies));
    // Exported packages stay: one at the start, one after the merge, which is the response.
    const QStringList exported = filesIn(syncFolder, u"TessaronSync_*"_s);
    QCOMPARE(exported.size(), endsInOpen ? 0 : row.records + 1);
    QCOMPARE(response, row.records ? fileBytes(syncFolder + u'/' + exported.last()) : QByteArray());
    QCOMPARE(MasterRepository().masters().size(), row.records + 1);

    const QStringList log = sessionLog();
    QCOMPARE(log.value(0), u"info start: Запуск MTP-синхронизации на ПК"_s);
    const QString files = u"host=Host_{H}.txt; join=Join_{H}.txt: "_s;
    const QString ending = endsInOpen ? (cancelled ? u"info cancelled: "_s : u"error open-failed: "_s)
                                      : (cancelled ? u"info cancelled; "_s : u"error failed; "_s) + files;
    QCOMPARE(log.filter(QRegularExpression(u"^(error|info cancelled)"_s)),
        result.success ? QStringList() : named({ending + result.message}));
    // A waiting text goes to the log once per reminder window, and only with a progress callback.
    const qsizetype reminders
        = log.count(u"info stage: Телефон подключён. Ожидание подтверждения именно этого сеанса…"_s);
    if (row.fault.startsWith(u"short join"_s))
        QVERIFY2(row.fault.endsWith(u"quiet"_s) ? reminders == 0 : reminders >= 2 && reminders <= 4,
            qPrintable(QString::number(reminders)));
    if (!result.success)
        return;
    // Waiting texts come and go with the timing; the stages come once each, in this order.
    const QStringList stages {u"Подготовка локальной базы к слиянию…"_s,
        u"Объявление активного сеанса телефонам через MTP…"_s,
        u"Ожидание подтверждения телефона для активного сеанса…"_s, u"Получение пакета телефона…"_s,
        u"Слияние баз и файлов на компьютере…"_s, u"Подготовка объединённой базы для телефона…"_s,
        u"Ожидание подтверждения слияния на телефоне…"_s, row.message};
    progress.removeIf([&](const QString &text) { return !stages.contains(text); });
    QCOMPARE(progress, stages);
}

void TestUsbSyncSession::phoneSide_data()
{
    QTest::addColumn<PhoneRow>("row");
    const QString host = u"TESSARON_MTP_HOST|{H}"_s, ok = u"OK|1|0|Синхронизация завершена."_s;
    QTest::newRow("newest fresh announcement") << PhoneRow {host, true, ok, kDone, 1};
    QTest::newRow("announcements of another kind") << PhoneRow {u"TESSARON_MTP_JOIN|{H}"_s, false, {},
        u"Компьютер не объявил активный сеанс. Запустите синхронизацию на ПК."_s};
    QTest::newRow("error result") << PhoneRow {host, true, u"ERROR|x"_s, u"Компьютер не смог объединить данные: x"_s};
    QTest::newRow("garbage result") << PhoneRow {
        host, true, u"OK"_s, u"Компьютер прислал некорректный результат MTP-синхронизации."_s};
    QTest::newRow("result without response")
        << PhoneRow {host, false, ok, u"Компьютер не передал объединённую базу."_s};
    QTest::newRow("cancel awaiting the result") << PhoneRow {host, true, {}, u"Синхронизация отменена"_s};
}

void TestUsbSyncSession::phoneSide()
{
    QFETCH(PhoneRow, row);
    // The other installation's package stands for the computer's merged data.
    const QString merged = m_paths->filePath(u"merged.tspak"_s);
    QVERIFY(preparePhoneAndComputer(*m_paths, merged));
    QStringList hosts; // oldest first, all there before the phone looks
    for (const int age : {300001, 2000, 1000}) {
        hosts.append(UsbSyncSession::makeSessionId(kNow.addMSecs(-age)));
        putWhole(folder(), u"Host_%1.txt"_s.arg(hosts.last()),
            QString(row.announcement).replace(u"{H}"_s, hosts.last()).toUtf8());
    }
    std::atomic<bool> cancel = false;
    QString joined, phoneId;
    std::jthread computer([&](const std::stop_token &stop) {
        joined = waitForUpload(folder(), u"Join_.*\\.txt"_s, stop);
        if (joined.isEmpty())
            return;
        phoneId = QString::fromUtf8(fileBytes(folder() + u'/' + joined)).section(u'|', 2);
        if (row.response)
            putWhole(folder(), u"Response_%1.tspak"_s.arg(phoneId), fileBytes(merged));
        if (row.result.isNull())
            QThread::msleep(3 * kShort); // well past the answer's limit
        else
            putWhole(folder(), u"Result_%1.txt"_s.arg(phoneId), row.result.toUtf8());
        cancel = row.result.isNull();
    });
    // An announcement present from the start is found in the first round: only the wait for a missing result
    // relies on the answer's limit passing.
    const UsbSyncTimings timings {
        10, 100, kGenerous, kGenerous, kGenerous, kShort, row.result.isNull() ? kShort : kGenerous};
    MtpSyncTransport transport({10, kGenerous, 1000});
    const UsbSyncResult result = UsbSyncSession::run(false, transport, timings, [] { return kNow; }, cancel, {});
    computer.request_stop();
    computer.join();
    waitForUpload(folder(), u"(?!)"_s, computer.get_stop_token());

    QCOMPARE(result.message, row.message);
    QCOMPARE(result.cancelled, row.message == u"Синхронизация отменена"_s);
    QCOMPARE(MasterRepository().masters().size(), row.records + 1);
    QCOMPARE(
        joined, row.announcement.startsWith(u"TESSARON_MTP_HOST|"_s) ? u"Join_%1.txt"_s.arg(hosts.last()) : QString());
    QCOMPARE(fileBytes(folder() + u"/Ack_%1.txt"_s.arg(phoneId)), row.records ? "OK|1|0" : "");
    // Seen in every round, the stale announcement is logged once.
    QCOMPARE(sessionLog().filter(u"warning "_s),
        QStringList {u"warning stale-host: Пропущен устаревший маркер компьютера Host_%1.txt"_s.arg(hosts.first())});
}

// This program's two halves over one device folder, the phone's in a child process with its own installation.
void TestUsbSyncSession::bothHalves()
{
    QVERIFY(preparePhoneAndComputer(*m_paths, m_paths->filePath(u"phone.tspak"_s)));
    std::jthread renamer([this](const std::stop_token &stop) { waitForUpload(folder(), u"(?!)"_s, stop); });
    QProcess phone;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TESSARON_TEST_PHONE_PROGRAM"_s, m_paths->filePath(u"phone/Program"_s));
    environment.insert(u"LOCALAPPDATA"_s, m_paths->filePath(u"phone/LocalAppData"_s));
    phone.setProcessEnvironment(environment);
    phone.start(QCoreApplication::applicationFilePath(), {});
    const UsbSyncResult result = runSide(true);
    QVERIFY(phone.waitForFinished(kGenerous));
    QCOMPARE(result.message, kDone);
    QCOMPARE(QString::fromUtf8(phone.readAllStandardOutput()), kDone);
    QCOMPARE(filesIn(folder()), QStringList());
    QCOMPARE(MasterRepository().masters().size(), 2);
    m_paths->useInstallation(u"phone"_s);
    QCOMPARE(MasterRepository().masters().size(), 2);
}

// Started again with TESSARON_TEST_PHONE_PROGRAM set (and LOCALAPPDATA pointing at the phone's data), the
// program plays the phone's half of a session over that installation and prints its message.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString phoneProgram = qEnvironmentVariable("TESSARON_TEST_PHONE_PROGRAM");
    if (phoneProgram.isEmpty()) {
        TestUsbSyncSession test;
        return QTest::qExec(&test, argc, argv);
    }
    tessaron::storage::AppPaths::setProgramDirectoryForTesting(phoneProgram);
    const UsbSyncResult result = runSide(false);
    QTextStream(stdout) << result.message;
    return result.success ? 0 : 1;
}

#include "tst_usb_sync_session.moc"
