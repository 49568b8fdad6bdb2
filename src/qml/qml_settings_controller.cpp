#include "qml_settings_controller.h"

#include "logging/application_logger.h"
#include "storage/app_paths.h"
#include "storage/certificate_field.h"
#include "storage/customer_repository.h"
#include "storage/master_repository.h"
#include "storage/settings_keys.h"
#include "storage/settings_repository.h"
#include "sync/synchronization_manager.h"
#include "ui/file_dialog_columns.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QUrl>

namespace tessaron::qml {

namespace keys = storage::settings;
using sync::SynchronizationManager;

QStringList QmlSettingsController::systemPrinterNames()
{
    return QPrinterInfo::availablePrinterNames();
}

QmlSettingsController::QmlSettingsController(QObject *parent)
    : QmlSettingsController(&QmlSettingsController::systemPrinterNames, parent)
{ }

QmlSettingsController::QmlSettingsController(PrinterSource printerSource, QObject *parent)
    : QObject(parent)
    , m_printerSource(std::move(printerSource))
    , m_settings(std::make_unique<storage::SettingsRepository>())
    , m_usbSyncRunner(defaultUsbSyncRunner())
{
    readSettings();
    refreshPrinters();
    refreshMasters();
    refreshCustomers();
    m_lastError = storeProblem();
}

QmlSettingsController::~QmlSettingsController()
{
    stopUsbSyncWorker();
}

void QmlSettingsController::setText(QString &member, const QString &value)
{
    if (member == value)
        return;
    member = value;
    Q_EMIT changed();
}

void QmlSettingsController::setWorkshopMark(const QString &value)
{
    setText(m_workshopMark, value);
}

void QmlSettingsController::setWorkshopName(const QString &value)
{
    setText(m_workshopName, value);
}

void QmlSettingsController::setWorkshopPost(const QString &value)
{
    setText(m_workshopPost, value);
}

void QmlSettingsController::setWorkshopCity(const QString &value)
{
    setText(m_workshopCity, value);
}

void QmlSettingsController::setWorkshopStreet(const QString &value)
{
    setText(m_workshopStreet, value);
}

void QmlSettingsController::setWorkshopPhone(const QString &value)
{
    setText(m_workshopPhone, value);
}

void QmlSettingsController::setPrinterAct(const QString &value)
{
    setText(m_printerAct, value);
}

void QmlSettingsController::setPrinterLabel(const QString &value)
{
    setText(m_printerLabel, value);
}

void QmlSettingsController::setLogEnabled(bool enabled)
{
    if (m_logEnabled == enabled)
        return;
    m_logEnabled = enabled;
    Q_EMIT changed();
}

void QmlSettingsController::loadSettings(bool refreshLists)
{
    readSettings();
    if (refreshLists) {
        refreshPrinters();
        refreshMasters();
        refreshCustomers();
        Q_EMIT mastersChanged();
        Q_EMIT customersChanged();
    }
    m_lastError = storeProblem();
    Q_EMIT changed();
}

QString QmlSettingsController::storeProblem()
{
    // A store's own text already names its file and what is wrong with it; the store's name stands in only when
    // it says nothing.
    struct Store
    {
        bool isOpen;
        bool isReadOnly;
        QString error;
        QString cannotOpen;
        QString readOnly;
    };
    const Store stores[] = {
        {m_settings->isOpen(), m_settings->isReadOnly(), m_settings->lastError(),
            QStringLiteral("Не удалось открыть базу настроек"), QStringLiteral("Настройки доступны только для чтения")},
        {masterRepository()->isOpen(), masterRepository()->isReadOnly(), masterRepository()->lastError(),
            QStringLiteral("Не удалось открыть справочник мастеров"),
            QStringLiteral("Справочник мастеров доступен только для чтения")},
        {customerRepository()->isOpen(), customerRepository()->isReadOnly(), customerRepository()->lastError(),
            QStringLiteral("Не удалось открыть справочник клиентов"),
            QStringLiteral("Справочник клиентов доступен только для чтения")},
    };
    for (const Store &store : stores) {
        if (!store.isOpen)
            return store.error.isEmpty() ? store.cannotOpen : store.error;
        if (store.isReadOnly)
            return store.error.isEmpty() ? store.readOnly : store.error;
    }
    return {};
}

void QmlSettingsController::readSettings()
{
    const storage::SettingsRepository &store = *m_settings;
    m_workshopMark = store.value(keys::sectionWorkshop, keys::workshopMark);
    m_workshopName = store.value(keys::sectionWorkshop, keys::workshopName);
    m_workshopPost = store.value(keys::sectionWorkshop, keys::workshopPost);
    m_workshopCity = store.value(keys::sectionWorkshop, keys::workshopCity);
    m_workshopStreet = store.value(keys::sectionWorkshop, keys::workshopStreet);
    m_workshopPhone = store.value(keys::sectionWorkshop, keys::workshopPhone);
    m_printerAct = store.value(keys::sectionMain, keys::printerAct, keys::defaultPrinterName);
    m_printerLabel = store.value(keys::sectionMain, keys::printerLabel, keys::defaultPrinterName);
    m_logEnabled = store.boolValue(keys::sectionProgram, keys::logEnable, true);
    m_theme = ui::ThemeManager::load(ui::ThemeManager::settingsFilePath());
}

void QmlSettingsController::refreshPrinters()
{
    QStringList printers {keys::defaultPrinterName};
    const QStringList system = m_printerSource ? m_printerSource() : QStringList();
    for (const QString &name : system) {
        if (name.trimmed().isEmpty() || printers.contains(name))
            continue;
        if (name.contains(QStringLiteral("OneNote"), Qt::CaseInsensitive))
            continue;
        printers.append(name);
    }
    m_printers = printers;
}

void QmlSettingsController::refreshMasters()
{
    QVariantList rows;
    if (storage::MasterRepository *repository = masterRepository()) {
        const QList<storage::Master> masters = repository->masters();
        for (const storage::Master &master : masters)
            rows.append(QVariantMap {{QStringLiteral("id"), master.id}, {QStringLiteral("fullName"), master.fullName}});
    }
    m_masters = rows;
}

void QmlSettingsController::refreshCustomers()
{
    QVariantList rows;
    if (storage::CustomerRepository *repository = customerRepository()) {
        const QList<storage::Customer> customers = repository->customers();
        for (const storage::Customer &customer : customers)
            rows.append(QVariantMap {{QStringLiteral("id"), customer.id}, {QStringLiteral("name"), customer.name},
                {QStringLiteral("address"), customer.address}, {QStringLiteral("phone"), customer.phone}});
    }
    m_customers = rows;
}

storage::MasterRepository *QmlSettingsController::masterRepository()
{
    if (!m_masterRepository)
        m_masterRepository = std::make_unique<storage::MasterRepository>();
    return m_masterRepository.get();
}

storage::CustomerRepository *QmlSettingsController::customerRepository()
{
    if (!m_customerRepository)
        m_customerRepository = std::make_unique<storage::CustomerRepository>();
    return m_customerRepository.get();
}

bool QmlSettingsController::fail(const QString &text)
{
    m_lastError = text;
    Q_EMIT changed();
    return false;
}

bool QmlSettingsController::save()
{
    struct Mandatory
    {
        const QString &value;
        QString refusal;
    };
    const Mandatory mandatory[] = {
        {m_workshopMark, QStringLiteral("Укажите клеймо мастерской")},
        {m_workshopName, QStringLiteral("Укажите название мастерской")},
        {m_workshopPost, QStringLiteral("Укажите почтовый индекс мастерской")},
        {m_workshopCity, QStringLiteral("Укажите город мастерской")},
        {m_workshopStreet, QStringLiteral("Укажите улицу и дом мастерской")},
        {m_workshopPhone, QStringLiteral("Укажите телефон мастерской")},
    };
    for (const Mandatory &field : mandatory) {
        if (field.value.trimmed().isEmpty())
            return fail(field.refusal);
    }

    m_workshopMark = m_workshopMark.trimmed();
    m_workshopName = m_workshopName.trimmed();
    m_workshopPost = m_workshopPost.trimmed();
    m_workshopCity = m_workshopCity.trimmed();
    m_workshopStreet = m_workshopStreet.trimmed();
    m_workshopPhone = m_workshopPhone.trimmed();

    storage::SettingsRepository &store = *m_settings;
    const bool written = store.isOpen()
        && store.setValues({
            {keys::sectionWorkshop, keys::workshopMark, m_workshopMark},
            {keys::sectionWorkshop, keys::workshopName, m_workshopName},
            {keys::sectionWorkshop, keys::workshopPost, m_workshopPost},
            {keys::sectionWorkshop, keys::workshopCity, m_workshopCity},
            {keys::sectionWorkshop, keys::workshopStreet, m_workshopStreet},
            {keys::sectionWorkshop, keys::workshopPhone, m_workshopPhone},
            {keys::sectionMain, keys::printerAct, m_printerAct},
            {keys::sectionMain, keys::printerLabel, m_printerLabel},
            {keys::sectionProgram, keys::logEnable, m_logEnabled},
        });
    if (!written)
        return fail(store.lastError().isEmpty() ? QStringLiteral("Не удалось сохранить настройки") : store.lastError());

    logging::ApplicationLogger::setEnabled(m_logEnabled);
    m_lastError.clear();
    Q_EMIT changed();
    return true;
}

// Names and addresses go onto certificates and their XML copies: a control character pasted with them is dropped
// here, where they are typed, so that the directory holds what the documents print.
bool QmlSettingsController::addMaster(const QString &fullName)
{
    storage::MasterRepository *repository = masterRepository();
    if (repository->addMaster(storage::certificateText(fullName)) < 0)
        return fail(repository->lastError());
    refreshMasters();
    m_lastError.clear();
    Q_EMIT mastersChanged();
    Q_EMIT changed();
    return true;
}

bool QmlSettingsController::addCustomer(const QString &name, const QString &address, const QString &phone)
{
    storage::CustomerRepository *repository = customerRepository();
    if (repository->addCustomer(
            storage::certificateText(name), storage::certificateText(address), storage::certificateText(phone))
        < 0)
        return fail(repository->lastError());
    refreshCustomers();
    m_lastError.clear();
    Q_EMIT customersChanged();
    Q_EMIT changed();
    return true;
}

bool QmlSettingsController::openLogFolder()
{
    const QString folder = storage::AppPaths::logDirectory();
    if (!QDir().mkpath(folder) || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        return fail(QStringLiteral("Не удалось открыть папку журнала: %1").arg(QDir::toNativeSeparators(folder)));
    return true;
}

QString QmlSettingsController::choosePackageFile()
{
    return ui::chooseExistingFile(QStringLiteral("Выбрать пакет синхронизации"),
        SynchronizationManager::syncDirectory(), QStringLiteral("Пакет Tessaron (*.tspak)"));
}

QString QmlSettingsController::syncDirectory() const
{
    return SynchronizationManager::syncDirectory();
}

void QmlSettingsController::refreshSyncPackages()
{
    const QStringList packages = SynchronizationManager::packageFiles();
    if (packages == m_syncPackages)
        return;
    m_syncPackages = packages;
    Q_EMIT syncChanged();
}

void QmlSettingsController::succeedSync(const QString &package, const QString &message)
{
    m_lastSyncPackage = package;
    m_syncStatus = message;
    m_lastError.clear();
    Q_EMIT changed();
}

bool QmlSettingsController::createSyncPackage()
{
    // Never beside a synchronisation with the phone, which exports and imports the same data on its thread.
    if (isUsbSyncRunning())
        return false;
    const sync::SyncResult result = SynchronizationManager::exportPackage();
    if (!result.success)
        return fail(result.message);
    succeedSync(result.packagePath, result.message);
    refreshSyncPackages();
    Q_EMIT syncChanged();
    return true;
}

bool QmlSettingsController::importSyncPackage(const QString &path)
{
    if (isUsbSyncRunning())
        return false;
    const sync::SyncResult result = SynchronizationManager::importPackage(path);
    if (!result.success) {
        // Fields left holding what the failed import has already replaced would write it back at the next save.
        if (result.dataChanged)
            loadSettings(true);
        return fail(result.message);
    }
    succeedSync(path, result.message);
    loadSettings(true);
    refreshSyncPackages();
    Q_EMIT syncChanged();
    return true;
}

bool QmlSettingsController::selectAndImportSyncPackage()
{
    if (isUsbSyncRunning())
        return false;
    const QString chosen = m_packageChooser ? m_packageChooser() : QString();
    return !chosen.isEmpty() && importSyncPackage(chosen);
}

bool QmlSettingsController::shareSyncPackage(const QString &path)
{
    const QString package = path.isEmpty() ? m_lastSyncPackage : path;
    if (package.isEmpty() || !QFileInfo::exists(package))
        return fail(QStringLiteral("Сначала создайте пакет синхронизации."));
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(package).absolutePath())))
        return fail(QStringLiteral("Не удалось открыть каталог пакетов синхронизации."));
    m_lastError.clear();
    Q_EMIT changed();
    return true;
}

bool QmlSettingsController::shareSyncPackage()
{
    return shareSyncPackage(QString());
}

} // namespace tessaron::qml
