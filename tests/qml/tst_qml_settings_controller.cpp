#include "logging/application_logger.h"
#include "qml/qml_settings_controller.h"
#include "storage/app_paths.h"
#include "storage/customer_repository.h"
#include "storage/master_repository.h"
#include "storage/settings_keys.h"
#include "storage/settings_repository.h"
#include "storage/sql_connection.h"
#include "support/scripted_phone.h"
#include "support/small_disk.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/url_catcher.h"
#include "sync/mtp_sync_transport.h"
#include "sync/synchronization_manager.h"
#include "sync/usb_sync_session.h"

#include <QDesktopServices>
#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <memory>
#include <new>
#include <thread>

using namespace Qt::StringLiterals;
using tessaron::qml::QmlSettingsController;
using tessaron::sync::UsbSyncResult;
namespace keys = tessaron::storage::settings;

namespace {

QStringList noPrinters()
{
    return {};
}

// A complete set of workshop details.
void fillWorkshop(QmlSettingsController &controller)
{
    controller.setWorkshopMark(QStringLiteral("RU-0042"));
    controller.setWorkshopName(QStringLiteral("ООО «Тахосервис»"));
    controller.setWorkshopPost(QStringLiteral("190000"));
    controller.setWorkshopCity(QStringLiteral("Санкт-Петербург"));
    controller.setWorkshopStreet(QStringLiteral("ул. Заводская, 5"));
    controller.setWorkshopPhone(QStringLiteral("+7 812 000-00-00"));
}

// Long enough for the sanitizer build; only the wait a row means to exhaust gets a short limit.
constexpr int kGenerous = 30000;
const QString kPhoneName = u"ООО «Телефон»"_s;
const QString kPhoneId = u"20260301_120000_000_"_s + QString(32, u'b');

// Leaves the phone's installation, edited after the computer's last save (its workshop name, a master, a customer),
// as a package at path; false when a step fails.
bool exportPhone(tessaron::test::TempAppPaths &paths, const QString &path)
{
    paths.useInstallation(u"phone"_s);
    tessaron::storage::AppPaths::ensureDirectories();
    const bool exported
        = tessaron::storage::SettingsRepository().setString(keys::sectionWorkshop, keys::workshopName, kPhoneName)
        && tessaron::storage::MasterRepository().addMaster(u"Сидоров"_s) > 0
        && tessaron::storage::CustomerRepository().addCustomer(u"ООО «Перевозчик»"_s, {}, {}) > 0
        && tessaron::sync::SynchronizationManager::exportPackage(path).success;
    paths.useInstallation({});
    return exported;
}

// The phone app's half of a session over folder, with the phone's package, until the computer has answered; then
// fault: "unplugged" (the phone's folder vanishes) or "empty" (an empty acknowledgement); or "full": the phone fills
// up as it sends its join, before the computer answers.
void playPhone(const QString &folder, const QByteArray &package, const QString &fault,
    const tessaron::test::SmallDisk &disk, const std::stop_token &stop)
{
    using tessaron::test::waitForUpload;
    tessaron::test::putWhole(folder, u"Request_%1.tspak"_s.arg(kPhoneId), package);
    const QString hostId = waitForUpload(folder, u"Host_.{52}\\.txt"_s, stop).mid(5, 52);
    if (hostId.isEmpty())
        return;
    const QString incoming = folder + u"/.incoming"_s;
    tessaron::test::writeFile(incoming, u"TESSARON_MTP_JOIN|%1|%2"_s.arg(hostId, kPhoneId).toUtf8());
    if (fault == u"full")
        disk.fill();
    QFile::rename(incoming, folder + u"/Join_%1.txt"_s.arg(hostId));
    if (waitForUpload(folder, u"Result_%1\\.txt"_s.arg(kPhoneId), stop).isEmpty()
        || waitForUpload(folder, u"Response_%1\\.tspak"_s.arg(kPhoneId), stop).isEmpty())
        return;
    if (fault == u"unplugged")
        QDir(folder).removeRecursively();
    else if (fault == u"empty")
        tessaron::test::putWhole(folder, u"Ack_%1.txt"_s.arg(kPhoneId), {});
}

QString stored(const QString &section, const QString &key)
{
    tessaron::storage::SettingsRepository repository;
    return repository.value(section, key, QStringLiteral("<absent>"));
}

// A session that reports a stage, then waits until cancelled or released and ends with the given outcome;
// "throw" throws instead, as an allocation too large for memory would.
QmlSettingsController::UsbSyncRunner scriptedSession(
    const QString &outcome, std::atomic<bool> *release = nullptr, std::atomic<bool> *sawCancel = nullptr)
{
    return [=](bool, std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress) {
        progress(QStringLiteral("Подготовка локальной базы к слиянию…"));
        while (release != nullptr && !*release && !cancel)
            QThread::msleep(5);
        if (sawCancel != nullptr)
            *sawCancel = cancel.load();
        if (outcome == u"throw")
            throw std::bad_alloc();
        return cancel ? UsbSyncResult {false, QStringLiteral("Синхронизация отменена"), 0, 0, true}
                      : UsbSyncResult {outcome.startsWith(u"Слияние"), outcome, 3, 1};
    };
}

} // namespace

class TestQmlSettingsController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_paths = std::make_unique<tessaron::test::TempAppPaths>();
        QVERIFY(m_paths->isValid());
        tessaron::storage::AppPaths::ensureDirectories(); // as the entry point does before any store opens
    }

    void cleanup()
    {
        qunsetenv("TESSARON_MTP_ROOTS");
        tessaron::storage::SqlConnection::setOpenReadOnly(false);
        tessaron::logging::ApplicationLogger::shutdown();
        tessaron::logging::ApplicationLogger::setEnabled(true);
        m_paths.reset();
    }

    void saveRefusesABlankWorkshopDetail_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QString>("message");

        QTest::addRow("stamp mark") << QByteArray("workshopMark") << QStringLiteral("Укажите клеймо мастерской");
        QTest::addRow("name") << QByteArray("workshopName") << QStringLiteral("Укажите название мастерской");
        QTest::addRow("postal code") << QByteArray("workshopPost")
                                     << QStringLiteral("Укажите почтовый индекс мастерской");
        QTest::addRow("city") << QByteArray("workshopCity") << QStringLiteral("Укажите город мастерской");
        QTest::addRow("street") << QByteArray("workshopStreet") << QStringLiteral("Укажите улицу и дом мастерской");
        QTest::addRow("phone") << QByteArray("workshopPhone") << QStringLiteral("Укажите телефон мастерской");
    }

    void saveRefusesABlankWorkshopDetail()
    {
        QFETCH(QByteArray, property);
        QFETCH(QString, message);

        QmlSettingsController controller(noPrinters);
        fillWorkshop(controller);
        controller.setPrinterAct(QStringLiteral("Brother QL"));
        controller.setLogEnabled(false);
        QVERIFY(controller.setProperty(property.constData(), QStringLiteral("  \t")));
        QSignalSpy changed(&controller, &QmlSettingsController::changed);

        QCOMPARE(controller.save(), false);
        QCOMPARE(controller.lastError(), message);
        QCOMPARE(changed.count(), 1);

        // Nothing of the refused save reached the database.
        QCOMPARE(stored(keys::sectionWorkshop, keys::workshopMark), QString());
        QCOMPARE(stored(keys::sectionWorkshop, keys::workshopPhone), QString());
        QCOMPARE(stored(keys::sectionMain, keys::printerAct), QStringLiteral("По умолчанию"));
        QCOMPARE(stored(keys::sectionProgram, keys::logEnable), QStringLiteral("true"));
        QCOMPARE(tessaron::logging::ApplicationLogger::isEnabled(), true);
    }

    void saveWritesEverySettingTrimmed()
    {
        QmlSettingsController controller(noPrinters);
        QVERIFY(!controller.save()); // leaves an error the successful save must clear
        fillWorkshop(controller);
        controller.setWorkshopCity(QStringLiteral("  Санкт-Петербург "));
        controller.setPrinterAct(QStringLiteral("HP LaserJet"));
        controller.setPrinterLabel(QStringLiteral("Brother QL-800"));
        controller.setLogEnabled(false);
        QSignalSpy changed(&controller, &QmlSettingsController::changed);

        QVERIFY(controller.save());
        QCOMPARE(controller.lastError(), QString());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(controller.workshopCity(), QStringLiteral("Санкт-Петербург"));
        const QStringList expected {QStringLiteral("RU-0042"), QStringLiteral("ООО «Тахосервис»"),
            QStringLiteral("190000"), QStringLiteral("Санкт-Петербург"), QStringLiteral("ул. Заводская, 5"),
            QStringLiteral("+7 812 000-00-00")};
        QStringList workshop;
        for (const QString &key : {keys::workshopMark, keys::workshopName, keys::workshopPost, keys::workshopCity,
                 keys::workshopStreet, keys::workshopPhone})
            workshop.append(stored(keys::sectionWorkshop, key));
        QCOMPARE(workshop, expected);
        QCOMPARE(stored(keys::sectionMain, keys::printerAct), QStringLiteral("HP LaserJet"));
        QCOMPARE(stored(keys::sectionMain, keys::printerLabel), QStringLiteral("Brother QL-800"));
        QCOMPARE(stored(keys::sectionProgram, keys::logEnable), QStringLiteral("false"));
        QCOMPARE(tessaron::logging::ApplicationLogger::isEnabled(), false);

        // A fresh controller reads back what was saved.
        QmlSettingsController reread(noPrinters);
        QCOMPARE(
            (QStringList {reread.workshopMark(), reread.workshopName(), reread.workshopPost(), reread.workshopCity(),
                reread.workshopStreet(), reread.workshopPhone(), reread.printerAct(), reread.printerLabel()}),
            (expected + QStringList {QStringLiteral("HP LaserJet"), QStringLiteral("Brother QL-800")}));
        QCOMPARE(reread.isLogEnabled(), false);
    }

    void saveFailingPartwayKeepsEveryStoredSetting()
    {
        {
            QmlSettingsController controller(noPrinters);
            fillWorkshop(controller);
            QVERIFY(controller.save());
        }
        // The database refuses the eighth of the nine writes, after the workshop keys have gone through.
        const tessaron::test::SqliteProbe probe(tessaron::storage::AppPaths::database(QStringLiteral("SettingsDB.db")));
        QVERIFY(
            probe.execute(QStringLiteral("CREATE TRIGGER refuse_label BEFORE UPDATE ON Settings "
                                         "WHEN NEW.Key = 'PrinterLabel' BEGIN SELECT RAISE(ABORT, 'disk full'); END")));

        QmlSettingsController controller(noPrinters);
        fillWorkshop(controller);
        controller.setWorkshopName(QStringLiteral("ООО «Новое имя»"));
        controller.setPrinterLabel(QStringLiteral("Brother QL-800"));
        QCOMPARE(controller.save(), false);
        QCOMPARE(controller.lastError(), QStringLiteral("Не удалось записать настройку"));

        QCOMPARE(stored(keys::sectionWorkshop, keys::workshopName), QStringLiteral("ООО «Тахосервис»"));
        QCOMPARE(stored(keys::sectionMain, keys::printerLabel), QStringLiteral("По умолчанию"));
    }

    // A settings file that cannot open is told from the start; a save is refused and leaves the file as it was.
    void storeThatCannotOpenIsToldAndLeftAlone_data()
    {
        QTest::addColumn<bool>("corrupt");
        QTest::addRow("path is a folder") << false;
        QTest::addRow("file is not a database") << true;
    }

    void storeThatCannotOpenIsToldAndLeftAlone()
    {
        QFETCH(bool, corrupt);
        const QString path = tessaron::storage::AppPaths::database(QStringLiteral("SettingsDB.db"));
        const QByteArray before = corrupt ? tessaron::test::writeCorruptFile(path) : QByteArray();
        QVERIFY(corrupt || QDir().mkpath(path));
        QmlSettingsController controller(noPrinters);
        // One sentence naming the file, at the start and when a save is refused.
        const QString told = (corrupt ? QStringLiteral("База данных %1 повреждена или не читается")
                                      : QStringLiteral("Не удалось открыть базу данных %1"))
                                 .arg(QDir::toNativeSeparators(path));
        QCOMPARE(controller.lastError(), told);
        fillWorkshop(controller);
        QCOMPARE(controller.save(), false);
        QCOMPARE(controller.lastError(), told);
        QCOMPARE(tessaron::test::fileBytes(path), before);
    }

    // Settings on a disk that refuses writes: what they hold shows, the technician is told from the start and
    // on every reload, and a save is refused with the driver's text, leaving the file as it was.
    void readOnlySettingsShowWhatTheyHold()
    {
        {
            QmlSettingsController controller(noPrinters);
            fillWorkshop(controller);
            controller.setLogEnabled(false);
            QVERIFY(controller.save());
        }
        tessaron::logging::ApplicationLogger::initialize(m_paths->filePath(QStringLiteral("Logs")));
        tessaron::logging::ApplicationLogger::setEnabled(true); // the save above switched it off
        const QString path = tessaron::storage::AppPaths::database(QStringLiteral("SettingsDB.db"));
        const QByteArray before = tessaron::test::fileBytes(path);
        tessaron::storage::SqlConnection::setOpenReadOnly(true);

        QmlSettingsController controller(noPrinters);
        const QString told
            = QStringLiteral("База данных %1 доступна только для чтения").arg(QDir::toNativeSeparators(path));
        QCOMPARE(controller.lastError(), told);
        QCOMPARE(controller.workshopName(), QStringLiteral("ООО «Тахосервис»"));
        QCOMPARE(controller.isLogEnabled(), false);
        controller.loadSettings(true);
        QCOMPARE(controller.lastError(), told);

        controller.setWorkshopName(QStringLiteral("ООО «Новое имя»"));
        QCOMPARE(controller.save(), false);
        QVERIFY2(controller.lastError().startsWith(QStringLiteral("Не удалось записать настрой")),
            qPrintable(controller.lastError()));
        QCOMPARE(tessaron::test::fileBytes(path), before);
        const QByteArray log = tessaron::test::fileBytes(tessaron::logging::ApplicationLogger::filePath());
        QVERIFY2(log.contains("\"category\":\"storage\"") && log.contains("SettingsDB.db"), log.constData());
    }

    void loadSettingsDropsUnsavedEditsAndClearsTheError()
    {
        QmlSettingsController controller(noPrinters);
        controller.setWorkshopName(QStringLiteral("не сохранено"));
        QVERIFY(!controller.save());
        QVERIFY(!controller.lastError().isEmpty());
        QSignalSpy changed(&controller, &QmlSettingsController::changed);
        QSignalSpy masters(&controller, &QmlSettingsController::mastersChanged);

        controller.loadSettings(false);
        QCOMPARE(controller.workshopName(), QString());
        QCOMPARE(controller.lastError(), QString());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(masters.count(), 0);

        controller.loadSettings(true);
        QCOMPARE(masters.count(), 1);
    }

    void printersLeaveOneNoteOut()
    {
        QStringList system {QStringLiteral("OneNote (Desktop)"), QStringLiteral("HP LaserJet 400"),
            QStringLiteral("Send To OneNote 2016"), QStringLiteral("Brother QL-800"),
            QStringLiteral("onenote for windows 10"), QString()};
        QmlSettingsController controller([&system] { return system; });
        QCOMPARE(controller.printers(),
            (QStringList {
                QStringLiteral("По умолчанию"), QStringLiteral("HP LaserJet 400"), QStringLiteral("Brother QL-800")}));

        system = {QStringLiteral("Canon")};
        QSignalSpy changed(&controller, &QmlSettingsController::changed);
        controller.loadSettings(true);
        QCOMPARE(controller.printers(), (QStringList {QStringLiteral("По умолчанию"), QStringLiteral("Canon")}));
        QCOMPARE(changed.count(), 1);
    }

    // Refused additions say why and leave the lists; accepted ones refresh them and clear an earlier error, and
    // keep no control character pasted with a name or an address.
    void addMasterAndCustomerRefreshTheirLists()
    {
        QmlSettingsController controller(noPrinters);
        QSignalSpy masters(&controller, &QmlSettingsController::mastersChanged);
        QSignalSpy customers(&controller, &QmlSettingsController::customersChanged);
        QSignalSpy changed(&controller, &QmlSettingsController::changed);

        QCOMPARE(controller.addMaster(QStringLiteral("   ")), false);
        QVERIFY(!controller.lastError().isEmpty());
        QCOMPARE(controller.addCustomer(QString(), QStringLiteral("Москва"), QString()), false);
        QVERIFY(!controller.lastError().isEmpty());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(masters.count() + customers.count(), 0);

        QVERIFY(controller.addMaster(QStringLiteral("Иванов Иван Иванович\u000B")));
        QCOMPARE(controller.lastError(), QString());
        QCOMPARE(masters.count(), 1);
        QCOMPARE(controller.masters().size(), 1);
        QCOMPARE(controller.masters().constFirst().toMap().value(QStringLiteral("fullName")).toString(),
            QStringLiteral("Иванов Иван Иванович"));

        QVERIFY(controller.addCustomer(
            QStringLiteral("ООО «Перевозчик»"), QStringLiteral("Моск\u0007ва"), QStringLiteral("+7 495 000-00-00")));
        QCOMPARE(customers.count(), 1);
        const QVariantMap customer = controller.customers().constFirst().toMap();
        QCOMPARE(customer.value(QStringLiteral("name")).toString(), QStringLiteral("ООО «Перевозчик»"));
        QCOMPARE(customer.value(QStringLiteral("address")).toString(), QStringLiteral("Москва"));
        QCOMPARE(customer.value(QStringLiteral("phone")).toString(), QStringLiteral("+7 495 000-00-00"));

        // Another controller sees them in the databases.
        QmlSettingsController other(noPrinters);
        QCOMPARE(other.masters().size(), 1);
        QCOMPARE(other.customers().size(), 1);
    }

    void openLogFolderCreatesAndOpensIt()
    {
        tessaron::test::UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        QmlSettingsController controller(noPrinters);
        const bool opened = controller.openLogFolder();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

        QVERIFY(opened);
        const QString folder = QDir(m_paths->programDirectory()).filePath(QStringLiteral("Logs"));
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(catcher.urls, QList<QUrl> {QUrl::fromLocalFile(folder)});
    }

    // Create, share and import packages: properties, signals in their order, imported workshop data at once.
    void syncPackagesAreCreatedSharedAndImported()
    {
        QmlSettingsController controller(noPrinters);
        tessaron::test::UrlCatcher catcher;
        QDesktopServices::setUrlHandler(u"file"_s, &catcher, "open");
        const auto unsetHandler = qScopeGuard([] { QDesktopServices::unsetUrlHandler(u"file"_s); });
        QStringList emitted;
        connect(&controller, &QmlSettingsController::changed, this, [&] { emitted.append(u"changed"_s); });
        connect(&controller, &QmlSettingsController::syncChanged, this, [&] { emitted.append(u"sync"_s); });
        controller.refreshSyncPackages();
        QVERIFY(!controller.shareSyncPackage());
        QCOMPARE(controller.lastError(), u"Сначала создайте пакет синхронизации."_s);

        QVERIFY(controller.createSyncPackage());
        const QString created = controller.lastSyncPackage();
        QCOMPARE(controller.syncStatus(), u"Пакет создан: "_s + created);
        QCOMPARE(controller.syncPackages(), QStringList {created});
        controller.refreshSyncPackages();
        QCOMPARE(emitted, QStringList({u"changed"_s, u"changed"_s, u"sync"_s, u"sync"_s}));

        m_paths->useInstallation(u"phone"_s);
        tessaron::storage::AppPaths::ensureDirectories();
        QVERIFY(tessaron::storage::SettingsRepository().setString(keys::sectionWorkshop, keys::workshopName, u"Т"_s));
        QVERIFY(tessaron::storage::MasterRepository().addMaster(u"Сидоров"_s) > 0);
        const QString package = m_paths->filePath(u"phone.tspak"_s);
        QVERIFY(tessaron::sync::SynchronizationManager::exportPackage(package).success);
        m_paths->useInstallation({});
        controller.setPackageChooser([&] { return package; });
        QVERIFY(controller.selectAndImportSyncPackage());
        QCOMPARE(controller.workshopName(), u"Т"_s);
        QCOMPARE(controller.masters().size(), 1);
        QCOMPARE(controller.lastSyncPackage(), package);
        QVERIFY(controller.syncStatus().startsWith(u"Синхронизация завершена. Добавлено записей: "_s));
        QCOMPARE(emitted.constLast(), u"sync"_s);
        QVERIFY(controller.shareSyncPackage(created) && controller.shareSyncPackage());
        QCOMPARE(catcher.urls,
            QList<QUrl>({QUrl::fromLocalFile(controller.syncDirectory()), QUrl::fromLocalFile(m_paths->path())}));

        // Failures keep the last success and emit only changed(); a cancelled question changes nothing.
        emitted.clear();
        QVERIFY(!controller.importSyncPackage(package + u".none"_s));
        QCOMPARE(controller.lastError(), u"Пакет синхронизации не найден."_s);
        const QString folder = controller.syncDirectory();
        QVERIFY(QDir(folder).removeRecursively() && tessaron::test::writeFile(folder));
        QVERIFY(!controller.createSyncPackage());
        QCOMPARE(controller.lastError(), u"Не удалось создать каталог: "_s + folder);
        controller.setPackageChooser([] { return QString(); });
        QVERIFY(!controller.selectAndImportSyncPackage());
        QCOMPARE(controller.lastError(), u"Не удалось создать каталог: "_s + folder);
        QCOMPARE(emitted, QStringList({u"changed"_s, u"changed"_s}));
        QCOMPARE(controller.lastSyncPackage(), package);
    }

    void usbSyncProgressFollowsTheFirstStageWord()
    {
        QCOMPARE(
            QmlSettingsController::usbSyncProgressFor(QStringLiteral("Слияние баз и файлов на компьютере…"), 0), 85);
        QCOMPARE(QmlSettingsController::usbSyncProgressFor(QStringLiteral("Получение пакета телефона…"), 42), 42);
        QCOMPARE(QmlSettingsController::usbSyncProgressFor(QStringLiteral("ОЖИДАНИЕ"), 0), 10);
        // The list's order decides, not the text's.
        QCOMPARE(QmlSettingsController::usbSyncProgressFor(QStringLiteral("Передача, подготовка"), 0), 35);
    }

    void usbSyncCompletes_data()
    {
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("message");
        const QString done = QStringLiteral("Слияние по MTP завершено. Синхронизация завершена.");
        QTest::addRow("success") << done << done;
        QTest::addRow("thrown") << QStringLiteral("throw")
                                << QStringLiteral("Синхронизация по MTP прервана из-за внутренней ошибки. Данные, "
                                                  "возможно, уже объединены.");
    }

    void usbSyncCompletes()
    {
        QFETCH(QString, outcome);
        QFETCH(QString, message);
        QmlSettingsController controller(noPrinters);
        controller.setUsbSyncRunner(scriptedSession(outcome));
        fillWorkshop(controller);
        QSignalSpy changes(&controller, &QmlSettingsController::syncChanged);
        QVERIFY(controller.startUsbSync());
        QVERIFY(controller.isUsbSyncActive());
        QCOMPARE(controller.usbSyncStatus(), QStringLiteral("Подготовка MTP-синхронизации..."));
        QVERIFY(changes.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isUsbSyncActive(), 10000);
        const bool success = message.startsWith(u"Слияние");
        QCOMPARE(controller.usbSyncStatus(), message);
        QCOMPARE(controller.usbSyncProgress(), success ? 100 : 0);
        QCOMPARE(controller.lastError(), success ? QString() : message);
        QCOMPARE(controller.syncStatus(), success ? message : QString());
        // start, the stage (35), the completion
        QCOMPARE(changes.size(), 3);
        QCOMPARE(stored(keys::sectionWorkshop, keys::workshopMark), QStringLiteral("RU-0042"));
    }

    // Refused while a worker exists, also between the applied completion and the end of its thread; refused
    // when saving fails; a cancel request reaches the session and changes nothing without one; the controller's
    // end stops a running session.
    void usbSyncRefusals()
    {
        // Declared first: the session still reads them while the controller's end waits for it.
        std::atomic<bool> release = false;
        std::atomic<bool> sawCancel = false;
        QmlSettingsController controller(noPrinters);
        QSignalSpy changes(&controller, &QmlSettingsController::syncChanged);
        controller.cancelUsbSync();
        QCOMPARE(changes.size(), 0);
        QVERIFY(!controller.startUsbSync());
        QCOMPARE(controller.lastError(), QStringLiteral("Укажите клеймо мастерской"));
        QVERIFY(!controller.isUsbSyncActive());

        fillWorkshop(controller);
        controller.setUsbSyncRunner(scriptedSession(QStringLiteral("Слияние"), &release, &sawCancel));
        QVERIFY(controller.startUsbSync());
        QVERIFY(!controller.startUsbSync());
        QCOMPARE(controller.lastError(), QStringLiteral("Синхронизация по MTP уже выполняется."));
        // Package work waits for the session, which exports and imports the same data.
        controller.setPackageChooser([] { return QStringLiteral("/nowhere.tspak"); });
        QVERIFY(!controller.createSyncPackage() && !controller.importSyncPackage(QStringLiteral("/nowhere.tspak"))
            && !controller.selectAndImportSyncPackage());
        QCOMPARE(controller.lastError(), QStringLiteral("Синхронизация по MTP уже выполняется."));
        controller.cancelUsbSync();
        QCOMPARE(controller.usbSyncStatus(), QStringLiteral("Отмена USB-синхронизации..."));
        QVERIFY(controller.isUsbSyncActive());
        bool refusedInTheGap = false;
        connect(&controller, &QmlSettingsController::syncChanged, this, [&] {
            if (!controller.isUsbSyncActive() && !refusedInTheGap)
                refusedInTheGap = !controller.startUsbSync();
        });
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isUsbSyncActive(), 10000);
        QVERIFY(sawCancel);
        QVERIFY(refusedInTheGap);
        QCOMPARE(controller.usbSyncStatus(), QStringLiteral("Синхронизация отменена"));
        // A stop asked for is no failure: its outcome is the last one shown.
        QCOMPARE(controller.syncStatus(), QStringLiteral("Синхронизация отменена"));
        // Once the thread has ended (its finished signal was queued after the completion).
        bool started = false;
        QTRY_VERIFY_WITH_TIMEOUT(started || (started = controller.startUsbSync()), 10000);
        // The controller's end cancels the running session and waits for its thread.
    }

    // A session or a package import that fails after its merge has changed the stored data: the page shows what is
    // stored (the phone's newer workshop name and its master) and the message says what was merged, so that a save,
    // or a synchronisation started again (which saves first), never writes the older name back as the newer one.
    // The phone is played over a real folder.
    void failurePastTheMergeKeepsThePhonesValues_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message"); // a pattern
        const QString merged = u"\\. Данные уже объединены\\. Добавлено записей: 3, файлов: 0\\."_s;
        QTest::addRow("session, phone unplugged awaiting the acknowledgement")
            << u"unplugged"_s
            << u"Не удалось просмотреть папку на телефоне \\(папка не найдена или устройство отключено\\)"_s + merged;
        QTest::addRow("session, empty acknowledgement")
            << u"empty"_s
            << u"MTP вернул пустой поток для Ack_%1\\.txt \\(размер 0, буфер 16385 байт\\)"_s.arg(kPhoneId) + merged;
        QTest::addRow("session, phone full past the merge")
            << u"full"_s
            << u"Не удалось передать файл Response_%1\\.tspak на телефон: этап запись, записано \\d+ из \\d+ байт "
               u"\\(на диске нет места\\)"_s.arg(kPhoneId)
                + merged;
        QTest::addRow("session throwing past its merge")
            << u"thrown"_s
            << u"Синхронизация по MTP прервана из-за внутренней ошибки\\. Данные, возможно, уже объединены\\."_s;
        QTest::addRow("package import, a later database refusing its rows")
            << u"import"_s
            << u"Ошибка объединения CustomersDB\\.db: .*\\. Часть данных уже объединена\\. Добавлено записей: 2, файлов: 0\\."_s;
    }

    void failurePastTheMergeKeepsThePhonesValues()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        const tessaron::test::SmallDisk disk;
        if (fault == u"full" && !disk.isMounted())
            QSKIP("a full phone needs a tmpfs of its own, which only root may mount");
        QmlSettingsController controller(noPrinters);
        fillWorkshop(controller);
        QVERIFY(controller.save());
        const QString package = m_paths->filePath(u"phone.tspak"_s);
        QVERIFY(exportPhone(*m_paths, package));

        if (fault == u"import") {
            // The customers' database, merged after the settings and the masters, refuses every new row.
            const tessaron::test::SqliteProbe probe(tessaron::storage::AppPaths::database(u"CustomersDB.db"_s));
            QVERIFY(probe.execute(u"CREATE TRIGGER refuse BEFORE INSERT ON Customers BEGIN SELECT RAISE(ABORT, "
                                  u"'disk full'); END"_s));
            QVERIFY(!controller.importSyncPackage(package));
        } else if (fault == u"thrown") {
            // The phone's package is merged; then the answer to the phone, which reads every data file into memory,
            // runs out of it.
            controller.setUsbSyncRunner(
                [package](bool, std::atomic<bool> &, const std::function<void(const QString &)> &) -> UsbSyncResult {
                    if (tessaron::sync::SynchronizationManager::importPackage(package).success)
                        throw std::bad_alloc();
                    return {};
                });
            QVERIFY(controller.startUsbSync());
            QTRY_VERIFY_WITH_TIMEOUT(!controller.isUsbSyncActive(), kGenerous);
        } else {
            const QString root = fault == u"full" ? disk.filePath(u"Phone"_s) : m_paths->filePath(u"Phone"_s);
            const QString folder = root + u"/Internal/TessaronSyncMTP"_s;
            QVERIFY(QDir().mkpath(folder));
            qputenv("TESSARON_MTP_ROOTS", root.toLocal8Bit());
            controller.setUsbSyncRunner(
                [](bool pcSide, std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress) {
                    tessaron::sync::MtpSyncTransport transport({10, kGenerous, 1000});
                    const tessaron::sync::UsbSyncTimings timings {
                        10, 1000, kGenerous, kGenerous, kGenerous, kGenerous, kGenerous};
                    return tessaron::sync::UsbSyncSession::run(
                        pcSide, transport, timings, &QDateTime::currentDateTimeUtc, cancel, progress);
                });
            std::jthread phone([&, bytes = tessaron::test::fileBytes(package)](
                                   const std::stop_token &stop) { playPhone(folder, bytes, fault, disk, stop); });
            QVERIFY(controller.startUsbSync());
            QTRY_VERIFY_WITH_TIMEOUT(!controller.isUsbSyncActive(), 4 * kGenerous);
        }

        QVERIFY2(
            QRegularExpression(QRegularExpression::anchoredPattern(message)).match(controller.lastError()).hasMatch(),
            qPrintable(controller.lastError()));
        QCOMPARE(controller.workshopName(), kPhoneName);
        QCOMPARE(controller.masters().size(), 1);
        QVERIFY(controller.save());
        QCOMPARE(stored(keys::sectionWorkshop, keys::workshopName), kPhoneName);
    }

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
};

QTEST_MAIN(TestQmlSettingsController)

#include "tst_qml_settings_controller.moc"
