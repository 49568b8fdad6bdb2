#include "qml_engine_setup.h"

#include "ui/window_placement.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>

namespace tessaron::qml {

void configureEngine(QQmlEngine &engine)
{
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    // The program speaks Russian whatever the system's language: Qt.uiLanguage and the catalogues QML asks for.
    engine.setUiLanguage(QStringLiteral("ru_RU"));
}

bool loadMainWindow(QQmlApplicationEngine &engine)
{
    engine.load(mainQmlUrl);
    const QList<QObject *> roots = engine.rootObjects();
    auto *window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.constLast());
    if (!window)
        return false;
    ui::showPlaced(*window);
    return true;
}

} // namespace tessaron::qml
