import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The settings: the workshop's details printed on certificates and stickers, the printers for both, and the
// program's own switches. Edits are kept by app.settings until "Сохранить".
PageFrame {
    id: page

    property QtObject settings: app ? app.settings : null
    // The page's own message; the controller's lastError takes its place in the foot line while it is set.
    property string localMessage: ""

    readonly property var workshopFields: [
        { key: "workshopMark", label: "Клеймо мастерской" },
        { key: "workshopName", label: "Название мастерской" },
        { key: "workshopPost", label: "Почтовый индекс" },
        { key: "workshopCity", label: "Город" },
        { key: "workshopStreet", label: "Улица и дом" },
        { key: "workshopPhone", label: "Телефон" }
    ]

    function saveSettings() {
        localMessage = "";
        if (settings && settings.save())
            localMessage = "Настройки сохранены";
    }

    objectName: "settingsPage"
    pageTitle: "Настройки"
    onBackRequested: popPage()
    Component.onCompleted: {
        if (settings)
            settings.loadSettings(true);
    }

    headerTrailingComponent: Component {
        Button {
            objectName: "saveButton"
            text: "Сохранить"
            enabled: page.settings !== null
            onClicked: page.saveSettings()
        }
    }

    footerComponent: Component {
        Pane {
            padding: Math.round(8 * page.uiScale)

            Label {
                objectName: "footLine"
                width: parent.width
                text: page.settings && page.settings.lastError !== "" ? page.settings.lastError : page.localMessage
                color: page.settings && page.settings.lastError !== "" ? "#b00020" : "#606060"
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
            }
        }
    }

    TabBar {
        id: tabs

        objectName: "settingsTabs"
        Layout.fillWidth: true

        TabButton {
            text: "Мастерская"
        }

        TabButton {
            text: "Принтеры"
        }

        TabButton {
            objectName: "programTab"
            text: "Программа"
        }
    }

    StackLayout {
        Layout.fillWidth: true
        currentIndex: tabs.currentIndex

        ColumnLayout {
            spacing: page.contentSpacing

            Label {
                Layout.fillWidth: true
                text: "Все поля обязательны: они печатаются в сертификатах и на наклейках."
                wrapMode: Text.Wrap
                color: "#606060"
            }

            GridLayout {
                Layout.fillWidth: true
                columns: 2
                columnSpacing: page.contentSpacing
                rowSpacing: page.contentSpacing

                Repeater {
                    model: page.workshopFields

                    delegate: Label {
                        required property var modelData
                        required property int index

                        Layout.row: index
                        Layout.column: 0
                        text: modelData.label + ":"
                    }
                }

                Repeater {
                    model: page.workshopFields

                    delegate: TextField {
                        required property var modelData
                        required property int index

                        objectName: modelData.key + "Field"
                        Layout.row: index
                        Layout.column: 1
                        Layout.fillWidth: true
                        Layout.maximumWidth: Math.round(640 * page.uiScale)
                        placeholderText: modelData.label
                        text: page.settings ? page.settings[modelData.key] : ""
                        selectByMouse: true
                        onTextEdited: page.settings[modelData.key] = text
                    }
                }
            }
        }

        GridLayout {
            columns: 2
            columnSpacing: page.contentSpacing
            rowSpacing: page.contentSpacing

            Label {
                text: "Принтер для сертификатов:"
            }

            ComboBox {
                objectName: "printerActBox"
                Layout.fillWidth: true
                Layout.maximumWidth: Math.round(520 * page.uiScale)
                model: page.settings ? page.settings.printers : []
                currentIndex: page.settings ? page.settings.printers.indexOf(page.settings.printerAct) : -1
                displayText: currentIndex < 0 && page.settings ? page.settings.printerAct + " (нет в системе)"
                                                               : currentText
                onActivated: index => page.settings.printerAct = textAt(index)
            }

            Label {
                text: "Принтер для наклеек:"
            }

            ComboBox {
                objectName: "printerLabelBox"
                Layout.fillWidth: true
                Layout.maximumWidth: Math.round(520 * page.uiScale)
                model: page.settings ? page.settings.printers : []
                currentIndex: page.settings ? page.settings.printers.indexOf(page.settings.printerLabel) : -1
                displayText: currentIndex < 0 && page.settings ? page.settings.printerLabel + " (нет в системе)"
                                                               : currentText
                onActivated: index => page.settings.printerLabel = textAt(index)
            }
        }

        ColumnLayout {
            spacing: page.contentSpacing

            Label {
                text: "Журнал работы"
                font.bold: true
            }

            Switch {
                objectName: "logSwitch"
                text: "Вести журнал работы программы"
                checked: page.settings ? page.settings.logEnabled : false
                onToggled: page.settings.logEnabled = checked
            }

            Button {
                objectName: "openLogFolderButton"
                text: "Открыть папку журнала"
                enabled: page.settings !== null
                onClicked: {
                    page.localMessage = "";
                    page.settings.openLogFolder();
                }
            }

            Label {
                Layout.fillWidth: true
                text: "Переключатель журнала вступает в силу после нажатия «Сохранить»."
                wrapMode: Text.Wrap
                color: "#606060"
            }
        }
    }
}
