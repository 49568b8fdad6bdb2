#include "ddd_file_builder.h"
#include "logging/application_logger.h"
#include "qml/qml_app_controller.h"
#include "qml/qml_engine_setup.h"
#include "qml/qml_settings_controller.h"
#include "storage/app_paths.h"
#include "storage/calibration_repository.h"
#include "storage/sql_connection.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "sync/synchronization_manager.h"
#include "sync/usb_sync_session.h"

#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QThread>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include <memory>

Q_IMPORT_QML_PLUGIN(TessaronPlugin)

// The documents suite's own calibration records in the application's journal, and a file standing where the XML
// copies' folder should be; reset removes both (a real folder stays).
class DocumentsFixture : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE bool addCalibration(const QVariantMap &record)
    {
        m_added.append(tessaron::storage::CalibrationRepository().insertCalibration(record));
        return m_added.constLast() > 0;
    }

    Q_INVOKABLE bool blockXmlFolder() const
    {
        return QDir(xmlFolder()).removeRecursively() && tessaron::test::writeFile(xmlFolder(), "not a folder");
    }

    Q_INVOKABLE void reset()
    {
        for (const int id : std::as_const(m_added))
            tessaron::storage::CalibrationRepository().deleteCalibration(id);
        m_added.clear();
        QFile::remove(xmlFolder());
    }

private:
    static QString xmlFolder() { return QDir(tessaron::storage::AppPaths::data()).filePath(QStringLiteral("XML")); }

    QList<int> m_added;
};

// A synchronisation with the phone that reports one stage, in the phone's own words with markup in them, and then
// ends as the settings suite chooses: when it is cancelled, or at once with the phone's failure.
class SyncFixture : public QObject
{
    Q_OBJECT

public:
    explicit SyncFixture(tessaron::qml::QmlSettingsController *settings)
        : m_settings(settings)
    {
        endSessionsWith({});
    }

    // The sessions started from now on fail at once with this message; empty: they run until cancelled.
    Q_INVOKABLE void endSessionsWith(const QString &failure)
    {
        m_settings->setUsbSyncRunner(
            [failure](bool, std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress) {
                progress(QStringLiteral("Ожидание телефона: <b>Honor</b> & <i>Передача файлов</i>"));
                if (!failure.isEmpty())
                    return tessaron::sync::UsbSyncResult {false, failure, 0, 0, false};
                while (!cancel)
                    QThread::msleep(10);
                return tessaron::sync::UsbSyncResult {false, QStringLiteral("Синхронизация отменена"), 0, 0, true};
            });
    }

    // Documents with long names that no package may carry (two dots before the extension), which an export leaves
    // out and names.
    Q_INVOKABLE bool addRefusedDocuments(int count) const
    {
        for (int i = 1; i <= count; ++i) {
            const QString name
                = QStringLiteral("/Акт выполненных работ по калибровке тахографа №%1 от 01.12..pdf").arg(i);
            if (!tessaron::test::writeFile(refusedFolder() + name, "act"))
                return false;
        }
        return true;
    }

    // Back to sessions that run until cancelled, without those documents and without any package.
    Q_INVOKABLE void reset()
    {
        endSessionsWith({});
        QDir(refusedFolder()).removeRecursively();
        for (const QString &package : tessaron::sync::SynchronizationManager::packageFiles())
            QFile::remove(package);
    }

private:
    static QString refusedFolder()
    {
        return QDir(tessaron::storage::AppPaths::data()).filePath(QStringLiteral("Documents/Калибровки"));
    }

    tessaron::qml::QmlSettingsController *m_settings;
};

// The real sample files to a suite: a file's path, why a test that needs it skips when it is absent, and whether
// it must fail instead (the samples required, as in CI).
class SampleFiles : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool required READ isRequired CONSTANT)

public:
    Q_INVOKABLE QString path(const QString &fileName) const { return tessaron::test::samplePath(fileName); }
    // Empty when the file is there, else the text to skip with, naming the path tried.
    Q_INVOKABLE QString missing(const QString &fileName) const { return tessaron::test::missingSample(fileName); }
    bool isRequired() const { return tessaron::test::samplesRequired(); }
    // The text to fail with, where the samples are required, instead of skipping for the reason.
    Q_INVOKABLE QString requiredFailure(const QString &reason) const
    {
        return tessaron::test::requiredSampleFailure(reason);
    }
};

// Gives every suite what the application gives its QML: the application controller as "app", here over
// folders in a temporary place, its file dialog for packages answering a missing file; a settings controller
// over the same stores opened read-only as "readOnlySettings"; the real sample files as "sampleFiles"
// (SampleFiles); the temporary folder behind the application's folders as "testDataDir", for files a suite
// writes; and synthetic downloads there, a driver card and a vehicle unit with detailed speed, as
// "syntheticFiles" ({card, vehicleUnit}: their paths); "documentsFixture", which adds calibration records to the
// application's journal and blocks its XML folder; and "syncFixture" (SyncFixture), which plays the phone and puts
// files an export leaves out among the documents. The application's log is written, as the application writes it.
class QuickTestSetup : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        if (!m_app) {
            m_paths = std::make_unique<tessaron::test::TempAppPaths>();
            tessaron::storage::AppPaths::ensureDirectories();
            tessaron::logging::ApplicationLogger::initialize();
            m_app = std::make_unique<tessaron::qml::QmlAppController>();
            // No file dialog in tests: the desktop import is answered with a package that does not exist.
            m_app->settingsController()->setPackageChooser(
                [this] { return m_paths->filePath(QStringLiteral("chosen.tspak")); });
            m_syncFixture = std::make_unique<SyncFixture>(m_app->settingsController());
            // The same stores as the application's, opened as on a disk that refuses writes.
            tessaron::storage::SqlConnection::setOpenReadOnly(true);
            m_readOnlySettings = std::make_unique<tessaron::qml::QmlSettingsController>();
            tessaron::storage::SqlConnection::setOpenReadOnly(false);
            m_syntheticFiles = {
                {QStringLiteral("card"), m_paths->filePath(QStringLiteral("synthetic-card.ddd"))},
                {QStringLiteral("vehicleUnit"), m_paths->filePath(QStringLiteral("synthetic-vu.ddd"))},
            };
            tessaron::test::writeFile(m_syntheticFiles.value(QStringLiteral("card")).toString(),
                tessaron::test::CardFileBuilder::minimalDriverCard());
            tessaron::test::writeFile(m_syntheticFiles.value(QStringLiteral("vehicleUnit")).toString(),
                tessaron::test::VuFileBuilder::typicalDownload(2, 30));
        }
        tessaron::qml::configureEngine(*engine);
        engine->rootContext()->setContextProperty(QStringLiteral("app"), m_app.get());
        engine->rootContext()->setContextProperty(QStringLiteral("sampleFiles"), &m_sampleFiles);
        engine->rootContext()->setContextProperty(QStringLiteral("testDataDir"), m_paths->path());
        engine->rootContext()->setContextProperty(QStringLiteral("readOnlySettings"), m_readOnlySettings.get());
        engine->rootContext()->setContextProperty(QStringLiteral("syntheticFiles"), m_syntheticFiles);
        engine->rootContext()->setContextProperty(QStringLiteral("documentsFixture"), &m_documentsFixture);
        engine->rootContext()->setContextProperty(QStringLiteral("syncFixture"), m_syncFixture.get());
    }

    void cleanupTestCase()
    {
        tessaron::logging::ApplicationLogger::shutdown();
        m_syncFixture.reset();
        m_readOnlySettings.reset();
        m_app.reset();
        m_paths.reset();
    }

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    std::unique_ptr<tessaron::qml::QmlAppController> m_app;
    std::unique_ptr<tessaron::qml::QmlSettingsController> m_readOnlySettings;
    std::unique_ptr<SyncFixture> m_syncFixture;
    QVariantMap m_syntheticFiles;
    DocumentsFixture m_documentsFixture;
    SampleFiles m_sampleFiles;
};

QUICK_TEST_MAIN_WITH_SETUP(tessaron_quick, QuickTestSetup)

#include "tst_quick.moc"
