#include "logging/application_logger.h"
#include "qml/qml_app_controller.h"
#include "qml/qml_ddd_controller.h"
#include "qml/qml_documents_controller.h"
#include "qml/qml_settings_controller.h"
#include "storage/app_paths.h"
#include "storage/settings_keys.h"
#include "storage/settings_repository.h"
#include "support/temp_app_paths.h"

#include <QTest>
#include <QTimer>

#include <memory>

using tessaron::qml::QmlAppController;

class TestQmlAppController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_paths = std::make_unique<tessaron::test::TempAppPaths>();
        tessaron::storage::AppPaths::ensureDirectories();
    }

    void cleanup()
    {
        tessaron::logging::ApplicationLogger::shutdown();
        tessaron::logging::ApplicationLogger::setEnabled(true);
        m_paths.reset();
    }

    void switchesTheLogAsTheSettingsSay_data()
    {
        QTest::addColumn<bool>("logEnabled");
        QTest::addRow("log on") << true;
        QTest::addRow("log off") << false;
    }

    void switchesTheLogAsTheSettingsSay()
    {
        QFETCH(bool, logEnabled);
        using tessaron::logging::ApplicationLogger;
        namespace keys = tessaron::storage::settings;
        {
            tessaron::storage::SettingsRepository settings;
            QVERIFY(settings.setBool(keys::sectionProgram, keys::logEnable, logEnabled));
        }
        ApplicationLogger::setEnabled(!logEnabled);
        ApplicationLogger::initialize(m_paths->filePath(QStringLiteral("Logs")));
        {
            QmlAppController app;
            QCOMPARE(ApplicationLogger::isEnabled(), logEnabled);
        }
        QFile log(ApplicationLogger::filePath());
        const QByteArray written = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        QCOMPARE(written.contains("started"), logEnabled);
    }

    void deletesPageControllersInReverseOrder()
    {
        QStringList destroyed;
        {
            QmlAppController app;
            connect(app.settingsController(), &QObject::destroyed, this,
                [&destroyed] { destroyed.append(QStringLiteral("settings")); });
            connect(app.documentsController(), &QObject::destroyed, this,
                [&destroyed] { destroyed.append(QStringLiteral("documents")); });
            connect(app.dddController(), &QObject::destroyed, this,
                [&destroyed] { destroyed.append(QStringLiteral("ddd")); });
        }
        QCOMPARE(
            destroyed, (QStringList {QStringLiteral("ddd"), QStringLiteral("documents"), QStringLiteral("settings")}));
    }

    void pausesAreCountedAndOnlyResumeReachesQml()
    {
        const QMetaObject &meta = QmlAppController::staticMetaObject;
        QCOMPARE(meta.indexOfMethod("pauseDeviceMonitoring()"), -1);

        QmlAppController app;
        const auto state
            = [&app] { return qMakePair(app.deviceMonitoringPauseCount(), app.isDeviceMonitoringPaused()); };
        app.resumeDeviceMonitoring(); // no pause outstanding: nothing changes
        QCOMPARE(state(), qMakePair(0, false));
        app.pauseDeviceMonitoring();
        app.pauseDeviceMonitoring();
        QCOMPARE(state(), qMakePair(2, true));
        QVERIFY(QMetaObject::invokeMethod(&app, "resumeDeviceMonitoring"));
        QCOMPARE(state(), qMakePair(1, true));
        app.resumeDeviceMonitoring();
        app.resumeDeviceMonitoring();
        QCOMPARE(state(), qMakePair(0, false));
    }

    void quitEndsTheEventLoop()
    {
        QmlAppController app;
        QTimer::singleShot(0, &app, [&app] { QMetaObject::invokeMethod(&app, "quit"); });
        QTimer::singleShot(10000, [] { QCoreApplication::exit(7); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
};

QTEST_MAIN(TestQmlAppController)

#include "tst_qml_app_controller.moc"
