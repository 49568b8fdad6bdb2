#include "qml_engine_setup.h"

#include <QQmlEngine>

namespace tessaron::qml {

void configureEngine(QQmlEngine &engine)
{
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
}

} // namespace tessaron::qml
