#include "qml/qml_engine_setup.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(TessaronPlugin)

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);

    QQmlApplicationEngine engine;
    tessaron::qml::configureEngine(engine);
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &application, [] { QCoreApplication::exit(1); },
        Qt::QueuedConnection);
    engine.load(tessaron::qml::mainQmlUrl);
    return application.exec();
}
