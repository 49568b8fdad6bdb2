#include "logging/application_logger.h"
#include "storage/app_paths.h"
#include "storage/master_repository.h"
#include "support/sync_package_bytes.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/time_zone_pin.h"
#include "sync/mtp_sync_transport.h"
#include "sync/synchronization_manager.h"
#include "sync/usb_sync_session.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <QTimeZone>

#include <thread>

using namespace Qt::StringLiterals;
using namespace tessaron::sync;
using tessaron::logging::ApplicationLogger;
using tessaron::test::fileBytes;

namespace {

const QString kFolder = u"Internal/TessaronSyncMTP"_s;
// Long enough for the sanitizer build; only the wait a row means to exhaust gets a short limit.
constexpr int kGenerous = 30000;
constexpr int kShort = 300;
const QString kDone = u"Слияние по MTP завершено. Синхронизация завершена. Добавлено записей: 1, файлов: 0."_s;

QString idAt(const QDateTime &utc)
{
    return utc.toString(u"yyyyMMdd_HHmmss_zzz_"_s) + QString(32, u'a');
}

QDateTime nowUtc()
{
    return QDateTime::currentDateTimeUtc();
}

// The masters of the current installation's database (or of the database at path), sorted.
QStringList masterNames(const QString &path = {})
{
    QStringList names;
    for (const tessaron::storage::Master &master : tessaron::storage::MasterRepository(path).masters())
        names.append(master.fullName);
    names.sort();
    return names;
}

// Exports the phone's installation, holding the master "Иванов", to packagePath; then leaves the computer's own
// installation in use, holding "Петров". False when a step fails.
bool preparePhoneAndComputer(tessaron::test::TempAppPaths &paths, const QString &packagePath)
{
    const auto addMaster
        = [](const QString &name) { return tessaron::storage::MasterRepository().addMaster(name) > 0; };
    paths.useInstallation(u"phone"_s);
    tessaron::storage::AppPaths::ensureDirectories();
    const bool exported = addMaster(u"Иванов"_s) && SynchronizationManager::exportPackage(packagePath).success;
    paths.useInstallation({});
    tessaron::storage::AppPaths::ensureDirectories();
    return exported && addMaster(u"Петров"_s);
}

QStringList filesIn(const QString &folder, const QString &filter = u"*"_s)
{
    return QDir(folder).entryList({filter}, QDir::Files, QDir::Name);
}

// The other side of a synchronisation, played by a script on its own thread against the phone's synchronisation
// folder. While it waits it does what the phone app does with the other side's uploads: "X.<uuid>.uploading"
// becomes "X" once complete (a text not empty, a package readable to its last entry). It runs until stopped.
class SyncPeer
{
public:
    SyncPeer(const QString &folder, const std::function<void(SyncPeer &)> &script)
        : m_folder(folder)
        , m_thread([this, script] { script(*this); })
    { }
    ~SyncPeer() { stop(); }
    // Ends every wait, joins the thread and renames what is complete one last time.
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        renameCompleteUploads();
    }
    // Waits for a file whose whole name matches the pattern; its name, or empty once stopped.
    QString waitFor(const QString &pattern)
    {
        const QRegularExpression expression(QRegularExpression::anchoredPattern(pattern));
        for (; !m_stop; QThread::msleep(5)) {
            renameCompleteUploads();
            const QStringList names = filesIn(m_folder).filter(expression);
            if (!names.isEmpty())
                return names.first();
        }
        return {};
    }
    QString path(const QString &name) const { return m_folder + u'/' + name; }
    // Puts a file in place whole, as a finished upload of this side.
    void put(const QString &name, const QByteArray &content)
    {
        tessaron::test::writeFile(path(u".incoming"_s), content);
        QFile::rename(path(u".incoming"_s), path(name));
    }
    // What the script saw, for the test to read after stop().
    QHash<QString, QByteArray> seen;

private:
    void renameCompleteUploads()
    {
        static const QRegularExpression temporary(u"^(.+)\\.[0-9a-f-]{36}\\.uploading$"_s);
        for (const QString &name : filesIn(m_folder)) {
            const QString finalName = temporary.match(name).captured(1);
            const bool complete = finalName.endsWith(u".tspak"_s)
                ? !tessaron::test::packageEntryPaths(path(name)).isEmpty()
                : QFileInfo(path(name)).size() > 0;
            if (!finalName.isEmpty() && complete)
                QFile::rename(path(name), path(finalName));
        }
    }

    QString m_folder;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

// The phone app's side of a session with phone id phoneId: puts its request (none when empty), awaits the
// announcement, puts the join (none when empty; "{H}", "{P}" and "{PU}" stand for the host id, the phone id and
// the phone id in capitals), awaits the result; after an "OK|" result it keeps the masters database of the
// response (seen as "response") and, unless ack is null,
// acknowledges with ack and removes its request, response and result. Seen: "H" and "result".
void scriptedPhone(
    SyncPeer &peer, const QString &phoneId, const QByteArray &request, const QString &join, const QString &ack)
{
    const QString requestFile = u"Request_%1.tspak"_s.arg(phoneId);
    if (!request.isEmpty())
        peer.put(requestFile, request);
    const QString hostId = peer.waitFor(u"Host_[0-9_a-f]{52}\\.txt"_s).mid(5, 52);
    peer.seen.insert(u"H"_s, hostId.toLatin1());
    if (hostId.isEmpty() || join.isEmpty())
        return;
    QString joinText = join;
    peer.put(u"Join_%1.txt"_s.arg(hostId),
        joinText.replace(u"{H}"_s, hostId).replace(u"{PU}"_s, phoneId.toUpper()).replace(u"{P}"_s, phoneId).toUtf8());
    const QString result = peer.waitFor(u"Result_%1\\.txt"_s.arg(phoneId));
    peer.seen.insert(u"result"_s, fileBytes(peer.path(result)));
    if (result.isEmpty() || !peer.seen.value(u"result"_s).startsWith("OK|"))
        return;
    const QString response = peer.waitFor(u"Response_%1\\.tspak"_s.arg(phoneId));
    peer.seen.insert(u"response"_s, fileBytes(peer.path(response)));
    if (ack.isNull())
        return;
    peer.put(u"Ack_%1.txt"_s.arg(phoneId), ack.toUtf8());
    for (const QString &name : {requestFile, response, result})
        QFile::remove(peer.path(name));
}

// The session's records of the application log, as "level operation: message".
QStringList sessionLog()
{
    QStringList records;
    for (const QByteArray &line : fileBytes(ApplicationLogger::filePath()).split('\n')) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        if (record.value(u"category"_s).toString() == u"sync.mtp"_s) {
            records.append(u"%1 %2: %3"_s.arg(record.value(u"level"_s).toString(),
                record.value(u"operation"_s).toString(), record.value(u"message"_s).toString()));
        }
    }
    return records;
}

} // namespace

class TestUsbSyncSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sessionIdsAndAnnouncements();
    void computerSide_data();
    void computerSide();
    void bothHalves();

private:
    QString folder() const { return m_dir->filePath(u"device/"_s + kFolder); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
};

void TestUsbSyncSession::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    tessaron::storage::AppPaths::ensureDirectories();
    ApplicationLogger::shutdown();
    ApplicationLogger::initialize(m_dir->filePath(u"log"_s));
    QVERIFY(QDir().mkpath(folder()));
    qputenv("TESSARON_MTP_ROOTS", m_dir->filePath(u"device"_s).toLocal8Bit());
}

void TestUsbSyncSession::cleanup()
{
    m_paths.reset();
}

void TestUsbSyncSession::sessionIdsAndAnnouncements()
{
    const QString id = UsbSyncSession::makeSessionId(nowUtc().toLocalTime());
    QCOMPARE(id.size(), 52);
    QVERIFY2(UsbSyncSession::isValidSessionId(id), qPrintable(id));
    for (const QString &bad :
        QStringList {id.toUpper(), id.left(16) + id.mid(17), id + u'0', id + u'\n', id.left(51) + u'-'})
        QVERIFY2(!UsbSyncSession::isValidSessionId(bad), qPrintable(bad));

    const QDateTime now(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());
    for (const auto &[offset, fresh] : {std::pair {-300000, true}, {-300001, false}, {120000, true}, {120001, false}})
        QCOMPARE(UsbSyncSession::isFreshAnnouncement(idAt(now.addMSecs(offset)), now), fresh);
    QVERIFY(!UsbSyncSession::isFreshAnnouncement(idAt(now).toUpper(), now));
    // Read as UTC: 02:30 on 30 March 2025 is no local time in Berlin.
    tessaron::test::setTimeZone("Europe/Berlin");
    const QDateTime inGap(QDate(2025, 3, 30), QTime(2, 30), QTimeZone::utc());
    const bool freshInGap = UsbSyncSession::isFreshAnnouncement(idAt(inGap), inGap);
    tessaron::test::setTimeZone("UTC");
    QVERIFY(freshInGap);
}

void TestUsbSyncSession::computerSide_data()
{
    QTest::addColumn<QByteArray>("request"); // "package": the phone's package
    QTest::addColumn<QString>("join");
    QTest::addColumn<QString>("ack");
    // "short <wait>" (quiet: without a progress callback), "cancel <stage text>", "no phone"
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("onPhone");
    QTest::addColumn<QStringList>("localCopies");
    QTest::addColumn<int>("records");

    const QByteArray package = "package";
    const QString join = u"TESSARON_MTP_JOIN|{H}|{P}\r\n"_s;
    const QString ok = u"OK|1|0"_s;
    const QString badJoin = u"Телефон прислал некорректное подтверждение MTP-сеанса."_s;
    const QString cancelled = u"Синхронизация отменена"_s;
    const QStringList request {u"Request_{P}.tspak"_s};
    const QStringList answered {u"Request_{P}.tspak"_s, u"Response_{P}.tspak"_s, u"Result_{P}.txt"_s};
    const QStringList merged {u"Mtp_{P}_ack.txt"_s, u"Mtp_{P}_phone.tspak"_s, u"Mtp_{P}_result.txt"_s};
    const QStringList unacknowledged {u"Mtp_{P}_phone.tspak"_s, u"Mtp_{P}_result.txt"_s};
    const auto row
        = [](const char *name, const QByteArray &request, const QString &join, const QString &ack, const QString &fault,
              const QString &message, const QStringList &onPhone, const QStringList &copies, int records) {
              QTest::addRow("%s", name) << request << join << ack << fault << message << onPhone << copies << records;
          };
    row("success", package, join, ok, {}, kDone, {}, {}, 1);
    row("acknowledgement with a leading space", package, join, u" ERROR|x"_s, {}, kDone, {}, {}, 1);
    const QString noJoin = u"Истекло время ожидания файла Join_{H}.txt от второго устройства."_s;
    row("no join", package, {}, {}, u"short join"_s, noJoin, request, {}, 0);
    row("no join, no progress callback", package, {}, {}, u"short join quiet"_s, noJoin, request, {}, 0);
    row("join of two parts", package, u"TESSARON_MTP_JOIN|{H}"_s, ok, {}, badJoin, request, {}, 0);
    row("join of four parts", package, u"TESSARON_MTP_JOIN|{H}|{P}|"_s, ok, {}, badJoin, request, {}, 0);
    row("join with a phone id in capitals", package, u"TESSARON_MTP_JOIN|{H}|{PU}"_s, ok, {}, badJoin, request, {}, 0);
    row("no request", {}, join, ok, u"short request"_s,
        u"Истекло время ожидания файла Request_{P}.tspak от второго устройства."_s, {}, {}, 0);
    row("request not a package", "no package", join, ok, {}, u"Файл не является пакетом Tessaron."_s,
        {u"Request_{P}.tspak"_s, u"Result_{P}.txt"_s}, {u"Mtp_{P}_error.txt"_s, u"Mtp_{P}_phone.tspak"_s}, 0);
    row("error acknowledgement", package, join, u"ERROR|x"_s, {}, u"Телефон не смог объединить базы: x"_s,
        {u"Ack_{P}.txt"_s}, merged, 1);
    row("no acknowledgement", package, join, {}, u"short ack"_s, u"Телефон не подтвердил завершение слияния."_s,
        answered, unacknowledged, 1);
    row("cancel awaiting the join", package, {}, {},
        u"cancel Телефон подключён. Ожидание подтверждения именно этого сеанса…"_s, cancelled, request, {}, 0);
    row("cancel awaiting the acknowledgement", package, join, {}, u"cancel Ожидание подтверждения телефона…"_s,
        cancelled, answered, unacknowledged, 1);
    row("no phone", package, join, ok, u"no phone"_s,
        u"Не удалось открыть телефон через MTP: MTP-устройства пока не подключены"_s, request, {}, 0);
}

void TestUsbSyncSession::computerSide()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, join);
    QFETCH(QString, ack);
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(QStringList, onPhone);
    QFETCH(QStringList, localCopies);
    QFETCH(int, records);

    const QString phonePackage = m_dir->filePath(u"phone.tspak"_s);
    QVERIFY(preparePhoneAndComputer(*m_paths, phonePackage));
    if (request == "package")
        request = fileBytes(phonePackage);
    if (fault == u"no phone"_s)
        qputenv("TESSARON_MTP_ROOTS", m_dir->filePath(u"unplugged"_s).toLocal8Bit());
    const QString phoneId = UsbSyncSession::makeSessionId(nowUtc());
    SyncPeer peer(folder(), [&](SyncPeer &self) { scriptedPhone(self, phoneId, request, join, ack); });

    UsbSyncTimings timings {10, 100, kGenerous, kGenerous, kGenerous, kGenerous, kGenerous};
    timings.joinLimit = fault.startsWith(u"short join"_s) ? kShort : kGenerous;
    timings.requestLimit = fault == u"short request"_s ? kShort : kGenerous;
    timings.acknowledgementLimit = fault == u"short ack"_s ? kShort : kGenerous;
    MtpSyncTransport transport({10, fault == u"no phone"_s ? kShort : kGenerous, 1000});
    std::atomic<bool> cancel = false;
    QStringList progress;
    const std::function<void(const QString &)> onProgress = [&](const QString &text) {
        progress.append(text);
        cancel = cancel || (fault.startsWith(u"cancel "_s) && text == fault.mid(7));
    };
    const UsbSyncResult result = UsbSyncSession::run(
        true, transport, timings, nowUtc, cancel, fault.endsWith(u"quiet"_s) ? nullptr : onProgress);
    peer.stop();

    const QStringList log = sessionLog();
    const QStringList errors = log.filter(u"error "_s);
    // The host id as the phone saw it, or as the failure record names it.
    const QString hostId = peer.seen.value(u"H"_s).isEmpty()
        ? QRegularExpression(u"host=Host_([^.]*)\\.txt"_s).match(errors.value(0)).captured(1)
        : QString::fromLatin1(peer.seen.value(u"H"_s));
    const auto named = [&](QStringList texts) {
        texts.replaceInStrings(u"{P}"_s, phoneId).replaceInStrings(u"{H}"_s, hostId);
        return texts;
    };
    QCOMPARE(result.message, named({message}).first());
    QCOMPARE(result.success, message == kDone);
    QCOMPARE(result.recordsAdded, records);
    QStringList names;
    QVERIFY(!transport.listFiles(&names, nullptr)); // closed
    QCOMPARE(filesIn(folder()), named(onPhone));
    if (onPhone.contains(u"Result_{P}.txt"_s) && !records)
        QCOMPARE(fileBytes(peer.path(u"Result_"_s + phoneId + u".txt"_s)), "ERROR|Файл не является пакетом Tessaron.");
    const QString syncFolder = SynchronizationManager::syncDirectory();
    QCOMPARE(filesIn(syncFolder, u"Mtp_*"_s), named(localCopies));
    // Exported packages stay: one at the start, one after the merge.
    QCOMPARE(filesIn(syncFolder, u"TessaronSync_*"_s).size(), fault == u"no phone"_s ? 0 : records + 1);
    const QStringList masters = records ? QStringList {u"Иванов"_s, u"Петров"_s} : QStringList {u"Петров"_s};
    QCOMPARE(masterNames(), masters);

    QCOMPARE(log.value(0), u"info start: Запуск MTP-синхронизации на ПК"_s);
    QStringList failure {u"error failed; host=Host_{H}.txt; join=Join_{H}.txt: "_s + result.message};
    if (fault == u"no phone"_s)
        failure = QStringList {u"error open-failed: "_s + result.message};
    QCOMPARE(errors, result.success ? QStringList() : named(failure));
    // A waiting text goes to the log once per reminder window, and only with a progress callback.
    const qsizetype reminders
        = log.count(u"info stage: Телефон подключён. Ожидание подтверждения именно этого сеанса…"_s);
    if (fault.startsWith(u"short join"_s)) {
        QVERIFY(log.contains(u"info stage: Ожидание подтверждения телефона для активного сеанса…"_s));
        QVERIFY2(fault.endsWith(u"quiet"_s) ? reminders == 0 : reminders >= 2 && reminders <= 4,
            qPrintable(QString::number(reminders)));
    }
    if (!result.success)
        return;

    // The response is the export made after the merge.
    const QStringList exported = filesIn(syncFolder, u"TessaronSync_*"_s);
    QCOMPARE(peer.seen.value(u"response"_s), fileBytes(syncFolder + u'/' + exported.last()));
    QCOMPARE(peer.seen.value(u"result"_s), "OK|1|0|Синхронизация завершена. Добавлено записей: 1, файлов: 0.");
    const QStringList waiting {u"Ожидание телефона в режиме «Передача файлов (MTP)»…"_s,
        u"Подключение к телефону через MTP…"_s, u"Телефон найден, папка TessaronSyncMTP готова"_s,
        u"Телефон подключён. Ожидание подтверждения именно этого сеанса…"_s,
        u"Сеанс подтверждён; ожидание пакета телефона…"_s, u"Ожидание подтверждения телефона…"_s};
    progress.removeIf([&](const QString &text) { return waiting.contains(text); });
    QCOMPARE(progress,
        (QStringList {u"Подготовка локальной базы к слиянию…"_s, u"Объявление активного сеанса телефонам через MTP…"_s,
            u"Ожидание подтверждения телефона для активного сеанса…"_s, u"Получение пакета телефона…"_s,
            u"Слияние баз и файлов на компьютере…"_s, u"Подготовка объединённой базы для телефона…"_s,
            u"Ожидание подтверждения слияния на телефоне…"_s, kDone}));
}

// This program's two halves over one device folder, the phone's in a child process with its own installation.
void TestUsbSyncSession::bothHalves()
{
    QVERIFY(preparePhoneAndComputer(*m_paths, m_dir->filePath(u"phone.tspak"_s)));
    SyncPeer renamer(folder(), [](SyncPeer &self) { self.waitFor(u"(?!)"_s); });
    QProcess phone;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TESSARON_TEST_PHONE_PROGRAM"_s, m_paths->filePath(u"phone/Program"_s));
    environment.insert(u"LOCALAPPDATA"_s, m_paths->filePath(u"phone/LocalAppData"_s));
    phone.setProcessEnvironment(environment);
    phone.start(QCoreApplication::applicationFilePath(), {});
    MtpSyncTransport transport({10, kGenerous, 1000});
    std::atomic<bool> cancel = false;
    const UsbSyncResult result = UsbSyncSession::run(
        true, transport, {10, 1000, kGenerous, kGenerous, kGenerous, kGenerous, kGenerous}, nowUtc, cancel, {});
    QVERIFY(phone.waitForFinished(kGenerous));
    renamer.stop();

    QCOMPARE(result.message, kDone);
    QCOMPARE(QString::fromUtf8(phone.readAllStandardOutput()), kDone);
    QCOMPARE(filesIn(folder()), QStringList());
    QCOMPARE(masterNames(), (QStringList {u"Иванов"_s, u"Петров"_s}));
    m_paths->useInstallation(u"phone"_s);
    QCOMPARE(masterNames(), (QStringList {u"Иванов"_s, u"Петров"_s}));
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
    MtpSyncTransport transport({10, kGenerous, 1000});
    std::atomic<bool> cancel = false;
    const UsbSyncResult result = UsbSyncSession::run(
        false, transport, {10, 1000, kGenerous, kGenerous, kGenerous, kGenerous, kGenerous}, nowUtc, cancel, {});
    QTextStream(stdout) << result.message;
    return result.success ? 0 : 1;
}

#include "tst_usb_sync_session.moc"
