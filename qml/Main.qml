import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

ApplicationWindow {
    id: window

    // The DDD viewer page; the command "Расшифровка .ddd" is disabled while this is null.
    property Component dddPageComponent: Component { DddPage {} }

    readonly property alias pageStack: pageStack
    // The menu speaks the language of the page shown.
    readonly property bool english: pageStack.currentItem !== null && pageStack.currentItem.english === true

    function t(ru, en) {
        return english ? en : ru;
    }

    function openDddPage() {
        if (!dddPageComponent)
            return false;
        // The DDD page shares no serial port: it opens without pausing device monitoring.
        pageStack.push(dddPageComponent);
        return true;
    }

    // The documents page shares no serial port either: no pause.
    function openDocumentsPage() {
        pageStack.push(documentsPageComponent);
        return true;
    }

    function openSettingsPage() {
        pageStack.push(settingsPageComponent);
        return true;
    }

    // The size the window asks for; the entry point shows it at this size where the screen holds it, else at the
    // screen's available size, never below the minimum, centred.
    width: 1280
    height: 800
    // A small laptop screen less the task bar: every page is laid out to stay whole from here up.
    minimumWidth: 1024
    minimumHeight: 640
    title: "Tessaron " + Qt.application.version

    Action {
        id: dddCommand

        objectName: "dddCommand"
        text: window.t("Расшифровка .ddd", "DDD decoder")
        enabled: window.dddPageComponent !== null
        onTriggered: window.openDddPage()
    }

    Action {
        id: documentsCommand

        objectName: "documentsCommand"
        text: window.t("Документы", "Documents")
        onTriggered: window.openDocumentsPage()
    }

    Action {
        id: settingsCommand

        objectName: "settingsCommand"
        text: window.t("Настройки", "Settings")
        onTriggered: window.openSettingsPage()
    }

    Action {
        id: quitCommand

        objectName: "quitCommand"
        text: window.t("Выход", "Exit")
        onTriggered: app.quit()
    }

    menuBar: MenuBar {
        Menu {
            title: window.t("Файл", "File")

            MenuItem {
                action: dddCommand
            }

            MenuItem {
                action: documentsCommand
            }

            MenuSeparator {}

            MenuItem {
                action: quitCommand
            }
        }

        Menu {
            title: window.t("Сервис", "Tools")

            MenuItem {
                action: settingsCommand
            }
        }
    }

    Component {
        id: documentsPageComponent

        DocumentsPage {}
    }

    Component {
        id: settingsPageComponent

        SettingsPage {}
    }

    Component {
        id: mainMenuComponent

        PageFrame {
            id: mainMenuPage

            objectName: "mainMenuPage"
            pageTitle: "Главное меню"

            Repeater {
                model: [dddCommand, documentsCommand, settingsCommand, quitCommand]

                delegate: Button {
                    required property var modelData

                    objectName: modelData.objectName + "Button"
                    Layout.preferredWidth: Math.round(360 * mainMenuPage.uiScale)
                    Layout.preferredHeight: Math.round(56 * mainMenuPage.uiScale)
                    Layout.alignment: Qt.AlignHCenter
                    action: modelData
                    font.pixelSize: Math.round(mainMenuPage.uiFontSize * 1.15)
                }
            }
        }
    }

    StackView {
        id: pageStack

        objectName: "pageStack"
        anchors.fill: parent
        initialItem: mainMenuComponent
    }
}
