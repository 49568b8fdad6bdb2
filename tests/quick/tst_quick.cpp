#include "ddd_file_builder.h"
#include "qml/qml_app_controller.h"
#include "qml/qml_engine_setup.h"
#include "qml/qml_settings_controller.h"
#include "storage/app_paths.h"
#include "storage/calibration_repository.h"
#include "storage/sql_connection.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "sync/usb_sync_session.h"

#include <QDir>
#include <QFileInfo>
#include <QQmlContext>
#include <QQmlEngine>
#include <QThread>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include <memory>

Q_IMPORT_QML_PLUGIN(TessaronPlugin)

// What the documents suite needs of the application's own stores: calibration records of its own, removed again
// afterwards, and a file standing where the XML copies' folder should be.
class DocumentsFixture : public QObject
{
    Q_OBJECT

public:
    // A successfully written calibration record with values over a few defaults; its id, or -1.
    Q_INVOKABLE int addCalibration(const QVariantMap &values)
    {
        QVariantMap record {{QStringLiteral("WriteResult"), 1},
            {QStringLiteral("VuSerialNumber"), QStringLiteral("S1")},
            {QStringLiteral("RecordDateTime"), QStringLiteral("2024-11-03 09:15:00")},
            {QStringLiteral("NextCalibrationDate"), QStringLiteral("2026-11-03")},
            {QStringLiteral("WVehicleCharacteristicConstant"), QStringLiteral("8000")},
            {QStringLiteral("KConstantOfRecordingEquipment"), QStringLiteral("8000")},
            {QStringLiteral("LTyreCircumference"), QStringLiteral("3250")}};
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            record.insert(it.key(), it.value());
        const int id = tessaron::storage::CalibrationRepository().insertCalibration(record);
        if (id > 0)
            m_added.append(id);
        return id;
    }

    // Removes every record addCalibration made that is still there, and gives the XML folder back.
    Q_INVOKABLE void reset()
    {
        tessaron::storage::CalibrationRepository calibrations;
        for (const int id : std::as_const(m_added))
            calibrations.deleteCalibration(id);
        m_added.clear();
        blockXmlFolder(false);
    }

    // Puts a file where the XML copies' folder is (the folder moved aside), or gives the folder back.
    Q_INVOKABLE bool blockXmlFolder(bool blocked)
    {
        const QString folder = QDir(tessaron::storage::AppPaths::data()).filePath(QStringLiteral("XML"));
        const QString aside = folder + QStringLiteral(".aside");
        if (blocked) {
            if (QFileInfo(folder).isDir() && !QDir().rename(folder, aside))
                return false;
            QFile file(folder);
            return file.open(QIODevice::WriteOnly) && file.write("not a folder") > 0;
        }
        if (QFileInfo(folder).isFile())
            QFile::remove(folder);
        return !QFileInfo::exists(aside) || QDir().rename(aside, folder);
    }

    Q_INVOKABLE bool exists(const QUrl &url) const { return QFileInfo::exists(url.toLocalFile()); }

private:
    QList<int> m_added;
};

// Gives every suite what the application gives its QML: the application controller as "app", here over
// folders in a temporary place, its file dialog for packages answering a missing file; a settings controller
// over the same stores opened read-only as "readOnlySettings"; the folder of the real sample files as
// "samplesDir"; the temporary folder behind the application's folders as "testDataDir", for files a suite
// writes; and synthetic downloads there, a driver card and a vehicle unit with detailed speed, as
// "syntheticFiles" ({card, vehicleUnit}: their paths); and "documentsFixture", which adds calibration records to the
// application's journal and blocks its XML folder. A synchronisation with the phone reports one stage, in
// the phone's own words with markup in them, and runs until it is cancelled.
class QuickTestSetup : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        if (!m_app) {
            m_paths = std::make_unique<tessaron::test::TempAppPaths>();
            tessaron::storage::AppPaths::ensureDirectories();
            m_app = std::make_unique<tessaron::qml::QmlAppController>();
            // No file dialog in tests: the desktop import is answered with a package that does not exist.
            m_app->settingsController()->setPackageChooser(
                [this] { return m_paths->filePath(QStringLiteral("chosen.tspak")); });
            m_app->settingsController()->setUsbSyncRunner(
                [](bool, std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress) {
                    progress(QStringLiteral("Ожидание телефона: <b>Honor</b> & <i>Передача файлов</i>"));
                    while (!cancel)
                        QThread::msleep(10);
                    return tessaron::sync::UsbSyncResult {false, QStringLiteral("Синхронизация отменена"), 0, 0, true};
                });
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
        engine->rootContext()->setContextProperty(QStringLiteral("samplesDir"), tessaron::test::samplesDir());
        engine->rootContext()->setContextProperty(QStringLiteral("testDataDir"), m_paths->path());
        engine->rootContext()->setContextProperty(QStringLiteral("readOnlySettings"), m_readOnlySettings.get());
        engine->rootContext()->setContextProperty(QStringLiteral("syntheticFiles"), m_syntheticFiles);
        engine->rootContext()->setContextProperty(QStringLiteral("documentsFixture"), &m_documentsFixture);
    }

    void cleanupTestCase()
    {
        m_documentsFixture.reset();
        m_readOnlySettings.reset();
        m_app.reset();
        m_paths.reset();
    }

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    std::unique_ptr<tessaron::qml::QmlAppController> m_app;
    std::unique_ptr<tessaron::qml::QmlSettingsController> m_readOnlySettings;
    QVariantMap m_syntheticFiles;
    DocumentsFixture m_documentsFixture;
};

QUICK_TEST_MAIN_WITH_SETUP(tessaron_quick, QuickTestSetup)

#include "tst_quick.moc"
