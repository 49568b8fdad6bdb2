import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

ApplicationWindow {
    id: window

    // The DDD viewer page; the command "Расшифровка .ddd" is disabled while this is null.
    property Component dddPageComponent: Component { DddPage {} }

    readonly property alias pageStack: pageStack

    // A menu command for the page already shown leaves it as it is: a second copy would need "Назад" twice.
    function showPage(component, pageName) {
        if (pageStack.currentItem === null || pageStack.currentItem.objectName !== pageName)
            pageStack.push(component);
        return true;
    }

    function openDddPage() {
        if (!dddPageComponent)
            return false;
        // The DDD page shares no serial port: it opens without pausing device monitoring.
        return showPage(dddPageComponent, "dddPage");
    }

    // The documents page shares no serial port either: no pause.
    function openDocumentsPage() {
        return showPage(documentsPageComponent, "documentsPage");
    }

    function openSettingsPage() {
        return showPage(settingsPageComponent, "settingsPage");
    }

    // The size the window asks for; the entry point shows it at this size where the screen holds it, else at the
    // screen's available size, centred.
    width: 1280
    height: 800
    // A small laptop screen less the task bar: every page is laid out to stay whole from here up. On a screen with
    // less room (a scaled laptop's) the entry point lowers it to the available area, and the pages scroll.
    minimumWidth: 1024
    minimumHeight: 640
    title: "Tessaron " + Qt.application.version

    Action {
        id: dddCommand

        objectName: "dddCommand"
        text: "Расшифровка .ddd"
        enabled: window.dddPageComponent !== null
        onTriggered: window.openDddPage()
    }

    Action {
        id: documentsCommand

        objectName: "documentsCommand"
        text: "Документы"
        onTriggered: window.openDocumentsPage()
    }

    Action {
        id: settingsCommand

        objectName: "settingsCommand"
        text: "Настройки"
        onTriggered: window.openSettingsPage()
    }

    Action {
        id: quitCommand

        objectName: "quitCommand"
        text: "Выход"
        onTriggered: app.quit()
    }

    menuBar: MenuBar {
        Menu {
            title: "Файл"

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
            title: "Сервис"

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
