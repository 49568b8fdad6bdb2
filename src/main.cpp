#include "logging/application_logger.h"
#include "qml/qml_app_controller.h"
#include "qml/qml_engine_setup.h"
#include "storage/app_paths.h"
#include "ui/theme_manager.h"
#include "ui/translation_loader.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(TessaronPlugin)

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Verholt"));
    QApplication::setApplicationName(QStringLiteral("Tessaron"));
    QApplication::setApplicationVersion(QStringLiteral("2.5.0.192"));

    using tessaron::ui::ThemeManager;
    ThemeManager::apply(ThemeManager::load(ThemeManager::settingsFilePath()));
    tessaron::storage::AppPaths::ensureDirectories();
    tessaron::logging::ApplicationLogger::initialize();
    using tessaron::ui::TranslationLoader;
    TranslationLoader::useRussianLocale();
    QString translationError;
    if (!TranslationLoader::installQtTranslations(TranslationLoader::qtTranslationsFolder(), &translationError))
        tessaron::logging::ApplicationLogger::write(
            tessaron::logging::Level::Warning, QStringLiteral("app"), translationError, QStringLiteral("startup"));

    int exitCode = 0;
    {
        // Declared before the engine, so the engine, and every binding to the controller, is gone first.
        tessaron::qml::QmlAppController controller;

        QQmlApplicationEngine engine;
        tessaron::qml::configureEngine(engine);
        engine.rootContext()->setContextProperty(QStringLiteral("app"), &controller);
        QObject::connect(
            &engine, &QQmlApplicationEngine::objectCreationFailed, &application, [] { QCoreApplication::exit(1); },
            Qt::QueuedConnection);
        tessaron::qml::loadMainWindow(engine);
        exitCode = application.exec();
    }
    tessaron::logging::ApplicationLogger::shutdown();
    return exitCode;
}
