#pragma once

#include <QUrl>

class QQmlApplicationEngine;
class QQmlEngine;

namespace tessaron::qml {

// Where the entry point and the tests find the main window.
inline const QUrl mainQmlUrl {QStringLiteral("qrc:/qml/Main.qml")};

// Lets an engine find the statically linked "Tessaron" module. Qt 6.4 does not search its resource path by
// default; later versions do, and adding it twice is harmless.
void configureEngine(QQmlEngine &engine);

// Loads the main window and shows it at its first size and place on its screen (ui::showPlaced): 1280×800 where
// the screen holds it, never larger than the screen's available area (its minimum lowered to it), centred. False,
// with nothing shown, when the window could not be created.
bool loadMainWindow(QQmlApplicationEngine &engine);

} // namespace tessaron::qml
