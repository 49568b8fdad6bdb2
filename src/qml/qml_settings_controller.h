#pragma once

#include "ui/theme_manager.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace tessaron::storage {
class CustomerRepository;
class MasterRepository;
class SettingsRepository;
} // namespace tessaron::storage

namespace tessaron::sync {
struct UsbSyncResult;
} // namespace tessaron::sync

namespace tessaron::qml {

// The settings as QML sees them (app.settings): the workshop's details, the printers for certificates and
// stickers, the log switch, the directories of masters and customers, and the synchronisation packages. Edits
// stay in the controller until save() writes them to the settings database.
class QmlSettingsController : public QObject
{
    Q_OBJECT

    Q_PROPERTY(QString workshopMark READ workshopMark WRITE setWorkshopMark NOTIFY changed)
    Q_PROPERTY(QString workshopName READ workshopName WRITE setWorkshopName NOTIFY changed)
    Q_PROPERTY(QString workshopPost READ workshopPost WRITE setWorkshopPost NOTIFY changed)
    Q_PROPERTY(QString workshopCity READ workshopCity WRITE setWorkshopCity NOTIFY changed)
    Q_PROPERTY(QString workshopStreet READ workshopStreet WRITE setWorkshopStreet NOTIFY changed)
    Q_PROPERTY(QString workshopPhone READ workshopPhone WRITE setWorkshopPhone NOTIFY changed)
    Q_PROPERTY(QString printerAct READ printerAct WRITE setPrinterAct NOTIFY changed)
    Q_PROPERTY(QString printerLabel READ printerLabel WRITE setPrinterLabel NOTIFY changed)
    Q_PROPERTY(bool logEnabled READ isLogEnabled WRITE setLogEnabled NOTIFY changed)
    Q_PROPERTY(QStringList printers READ printers NOTIFY changed)
    Q_PROPERTY(QVariantList masters READ masters NOTIFY mastersChanged)
    Q_PROPERTY(QVariantList customers READ customers NOTIFY customersChanged)
    Q_PROPERTY(double uiScale READ uiScale NOTIFY changed)
    Q_PROPERTY(QString lastError READ lastError NOTIFY changed)
    Q_PROPERTY(QString syncDirectory READ syncDirectory CONSTANT)
    Q_PROPERTY(QStringList syncPackages READ syncPackages NOTIFY syncChanged)
    Q_PROPERTY(QString lastSyncPackage READ lastSyncPackage NOTIFY syncChanged)
    Q_PROPERTY(QString syncStatus READ syncStatus NOTIFY syncChanged)
    Q_PROPERTY(bool usbSyncActive READ isUsbSyncActive NOTIFY syncChanged)
    Q_PROPERTY(QString usbSyncStatus READ usbSyncStatus NOTIFY syncChanged)
    Q_PROPERTY(int usbSyncProgress READ usbSyncProgress NOTIFY syncChanged)

public:
    // Names of the system's printers, in the system's order.
    using PrinterSource = std::function<QStringList()>;
    static QStringList systemPrinterNames();
    // Asks the user for a package file to import; an empty text means the question was cancelled.
    using PackageChooser = std::function<QString()>;
    // The platform's file-open dialog over the synchronisation folder, for "*.tspak" files.
    static QString choosePackageFile();
    // Runs one synchronisation session with the phone (the computer's side when the flag is true), blocking
    // until it ends; raising the atomic flag asks it to stop.
    using UsbSyncRunner = std::function<sync::UsbSyncResult(
        bool pcSide, std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress)>;

    // Opens the settings database for the controller's life and loads everything, the lists included;
    // lastError tells of a store that could not be opened or is read-only.
    explicit QmlSettingsController(QObject *parent = nullptr);
    QmlSettingsController(PrinterSource printerSource, QObject *parent = nullptr);
    // Asks a running synchronisation to stop and waits for its thread, however long that takes.
    ~QmlSettingsController() override;

    QString workshopMark() const { return m_workshopMark; }
    QString workshopName() const { return m_workshopName; }
    QString workshopPost() const { return m_workshopPost; }
    QString workshopCity() const { return m_workshopCity; }
    QString workshopStreet() const { return m_workshopStreet; }
    QString workshopPhone() const { return m_workshopPhone; }
    QString printerAct() const { return m_printerAct; }
    QString printerLabel() const { return m_printerLabel; }
    bool isLogEnabled() const { return m_logEnabled; }
    // "По умолчанию" (the system's default printer) first, then the system's printers; OneNote's virtual
    // printers are left out, because they cannot print a certificate or sticker.
    QStringList printers() const { return m_printers; }
    // Maps with "id" and "fullName".
    QVariantList masters() const { return m_masters; }
    // Maps with "id", "name", "address" and "phone".
    QVariantList customers() const { return m_customers; }
    double uiScale() const { return m_theme.scale; }
    QString lastError() const { return m_lastError; }
    // The synchronisation folder, where packages are created by default.
    QString syncDirectory() const;
    // Absolute paths of the packages in the synchronisation folder, newest first, as of the last refresh.
    QStringList syncPackages() const { return m_syncPackages; }
    // The package last created (absolute) or imported (as it was passed); empty until then, even when
    // packages lie in the synchronisation folder.
    QString lastSyncPackage() const { return m_lastSyncPackage; }
    // The success message of the last package creation, import or synchronisation with the phone, or the
    // outcome of a cancelled synchronisation.
    QString syncStatus() const { return m_syncStatus; }

    // Replaces the file dialog of selectAndImportSyncPackage (tests answer without a dialog).
    void setPackageChooser(PackageChooser chooser) { m_packageChooser = std::move(chooser); }
    // True from startUsbSync until the session's end has been applied.
    bool isUsbSyncActive() const { return m_usbSyncActive; }
    // The running session's latest stage, then its final message.
    QString usbSyncStatus() const { return m_usbSyncStatus; }
    // 0 to 100, guessed from the words of the stage texts.
    int usbSyncProgress() const { return m_usbSyncProgress; }
    // The progress a stage text stands for: the first of the stage words it holds (in any letter case) gives
    // its percentage; without one the progress stays as it was.
    static int usbSyncProgressFor(const QString &text, int current);
    // What runs a synchronisation on the worker thread; UsbSyncSession::run unless replaced.
    void setUsbSyncRunner(UsbSyncRunner runner);

    void setWorkshopMark(const QString &value);
    void setWorkshopName(const QString &value);
    void setWorkshopPost(const QString &value);
    void setWorkshopCity(const QString &value);
    void setWorkshopStreet(const QString &value);
    void setWorkshopPhone(const QString &value);
    void setPrinterAct(const QString &value);
    void setPrinterLabel(const QString &value);
    void setLogEnabled(bool enabled);

    // Reloads every setting from the settings database and the theme from Settings.ini, dropping unsaved
    // edits; with refreshLists also the printers, masters and customers. lastError then tells of a store that
    // could not be opened or is read-only, and is empty otherwise; emits changed().
    Q_INVOKABLE void loadSettings(bool refreshLists);
    // Refuses, writing nothing, while one of the six workshop details is blank; otherwise writes every setting
    // (workshop details trimmed) and switches the log as the settings say. False with lastError set when
    // refused or when the database fails.
    Q_INVOKABLE bool save();
    // Adds to the directory and refreshes the list, clearing lastError; false with lastError set on failure.
    Q_INVOKABLE bool addMaster(const QString &fullName);
    Q_INVOKABLE bool addCustomer(const QString &name, const QString &address, const QString &phone);
    // Creates the log folder when it is missing and opens it in the system's file browser.
    Q_INVOKABLE bool openLogFolder();
    // Saves the settings, then synchronises with the phone on a worker thread: the computer's side of a session
    // over the phone's synchronisation folder. False, starting nothing, while one runs (with a message) or when
    // saving fails (with its message). A session that ends after its merge, failed or not, reloads the settings and
    // lists, so that the next save or synchronisation never writes older values over what it merged; so does one
    // whose runner throws, which may have thrown after the merge, its message saying the data may be merged.
    Q_INVOKABLE bool startUsbSync();
    // Asks the running synchronisation to stop; it stays active until the session has ended. Nothing without one.
    // The cancel's outcome then becomes syncStatus, with lastError cleared: a stop asked for is no failure.
    Q_INVOKABLE void cancelUsbSync();

    // Synchronisation packages. Each fails with false, the reason in lastError and changed() emitted (a
    // cancelled file question excepted). They run on the caller's thread; while a synchronisation with the phone
    // runs, creating and importing are refused with false and no message.
    //
    // Writes a package of the local data under the default name in the synchronisation folder. On success the
    // package becomes lastSyncPackage, its message syncStatus, lastError is cleared, changed() is emitted, the
    // list refreshed and syncChanged() emitted last.
    Q_INVOKABLE bool createSyncPackage();
    // Imports the package at path. On success path (as passed) becomes lastSyncPackage, the message syncStatus,
    // lastError is cleared and changed() emitted; then every setting and list is reloaded (the imported data
    // shows at once), the package list refreshed and syncChanged() emitted last. An import that fails after it has
    // changed the local data reloads every setting and list too, before it sets lastError.
    Q_INVOKABLE bool importSyncPackage(const QString &path);
    // Asks for a package file and imports it. A cancelled question returns false and changes nothing.
    Q_INVOKABLE bool selectAndImportSyncPackage();
    // Opens the folder holding the package at path (lastSyncPackage when path is empty) in the system's file
    // manager, so the file can be passed on; lastError is cleared and changed() emitted. Fails with "Сначала
    // создайте пакет синхронизации." when there is no such file.
    Q_INVOKABLE bool shareSyncPackage(const QString &path);
    Q_INVOKABLE bool shareSyncPackage();
    // Re-reads the synchronisation folder; emits syncChanged() only when the list differs.
    Q_INVOKABLE void refreshSyncPackages();

Q_SIGNALS:
    void changed();
    void mastersChanged();
    void customersChanged();
    void syncChanged();

private:
    void setText(QString &member, const QString &value);
    void readSettings();
    void refreshPrinters();
    void refreshMasters();
    void refreshCustomers();
    storage::MasterRepository *masterRepository();
    storage::CustomerRepository *customerRepository();
    bool fail(const QString &text);
    // Takes a package operation's success: its package, its message, no error; emits changed().
    void succeedSync(const QString &package, const QString &message);
    static UsbSyncRunner defaultUsbSyncRunner();
    void runUsbSyncWorker(bool pcSide);
    // Raises the cancel flag and waits for the worker thread, then deletes it.
    void stopUsbSyncWorker();
    void applyUsbSyncProgress(const QString &text);
    // Applies the session's end: success and a cancel replace syncStatus, any other failure sets lastError. Every
    // setting and list is reloaded whenever the session may have changed the stored data, failed or not.
    void finishUsbSync(const sync::UsbSyncResult &result);
    // Whether a synchronisation's worker thread still exists: package work is then refused without a message.
    bool isUsbSyncRunning() const { return m_usbSyncWorker != nullptr || m_usbSyncActive; }
    // What the technician must be told about the stores: the first one that could not be opened or is
    // read-only, in the store's own Russian sentence; empty when all can be written.
    QString storeProblem();

    PrinterSource m_printerSource;
    PackageChooser m_packageChooser = &QmlSettingsController::choosePackageFile;
    std::unique_ptr<storage::SettingsRepository> m_settings;
    std::unique_ptr<storage::MasterRepository> m_masterRepository;
    std::unique_ptr<storage::CustomerRepository> m_customerRepository;

    QString m_workshopMark;
    QString m_workshopName;
    QString m_workshopPost;
    QString m_workshopCity;
    QString m_workshopStreet;
    QString m_workshopPhone;
    QString m_printerAct;
    QString m_printerLabel;
    bool m_logEnabled = true;
    ui::Theme m_theme;
    QStringList m_printers;
    QVariantList m_masters;
    QVariantList m_customers;
    QString m_lastError;
    QStringList m_syncPackages;
    QString m_lastSyncPackage;
    QString m_syncStatus;

    UsbSyncRunner m_usbSyncRunner;
    // Owned; released when its thread has finished, or by the destructor after waiting for it.
    QThread *m_usbSyncWorker = nullptr;
    std::atomic<bool> m_usbSyncCancel = false;
    bool m_usbSyncActive = false;
    QString m_usbSyncStatus;
    int m_usbSyncProgress = 0;
};

} // namespace tessaron::qml
