import QtQuick
import QtQuick.Controls
import Tessaron

ApplicationWindow {
    id: window

    width: 1280
    height: 800
    visible: true
    title: "Tessaron"

    StackView {
        id: pageStack

        anchors.fill: parent
    }
}
