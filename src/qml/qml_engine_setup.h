#pragma once

#include <QUrl>

class QQmlEngine;

namespace tessaron::qml {

// Where the entry point and the tests find the main window.
inline const QUrl mainQmlUrl {QStringLiteral("qrc:/qml/Main.qml")};

// Lets an engine find the statically linked "Tessaron" module. Qt 6.4 does not search its resource path by
// default; later versions do, and adding it twice is harmless.
void configureEngine(QQmlEngine &engine);

} // namespace tessaron::qml
