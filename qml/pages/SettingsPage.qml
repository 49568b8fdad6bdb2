import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The settings: the workshop's details printed on certificates and stickers, the printers for both, and the
// program's own switches with the synchronisation packages. Edits are kept by app.settings until "Сохранить".
PageFrame {
    id: page

    property QtObject settings: app ? app.settings : null
    // The page's own message; the controller's lastError takes its place in the foot line while it is set.
    property string localMessage: ""
    readonly property bool narrow: width < Math.round(560 * uiScale)
    readonly property int captionFontSize: Math.max(11, uiFontSize - 1)
    // The foot line's share of the page: a long message scrolls within it, and the page's controls keep the rest.
    readonly property real footLineMaximumHeight: Math.round(height / 4)

    readonly property var workshopFields: [
        { key: "workshopMark", label: "Клеймо мастерской" },
        { key: "workshopName", label: "Название мастерской" },
        { key: "workshopPost", label: "Почтовый индекс" },
        { key: "workshopCity", label: "Город" },
        { key: "workshopStreet", label: "Улица и дом" },
        { key: "workshopPhone", label: "Телефон" }
    ]

    // Shows the package operation's success message in the foot line; a failure shows there through lastError.
    function syncDone(succeeded) {
        if (succeeded)
            localMessage = settings.syncStatus;
        return succeeded;
    }

    function startUsbSync() {
        localMessage = "";
        if (settings && settings.startUsbSync())
            mtpDialog.open();
    }

    function saveSettings() {
        localMessage = "";
        if (settings && settings.save())
            localMessage = "Настройки сохранены";
    }

    objectName: "settingsPage"
    pageTitle: "Настройки"
    onBackRequested: popPage()
    Component.onCompleted: {
        if (settings) {
            settings.loadSettings(true);
            settings.refreshSyncPackages();
        }
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
            id: footPane

            padding: Math.round(8 * page.uiScale)

            // A line above: where the page's own content ends and the message, which scrolls by itself, begins.
            background: Rectangle {
                color: footPane.palette.window

                Rectangle {
                    width: parent.width
                    height: 1
                    visible: footLine.text !== ""
                    color: "#c8c8c8"
                }
            }

            ScrollingLabel {
                id: footLine

                objectName: "footLine"
                width: parent.width
                maximumHeight: page.footLineMaximumHeight - footPane.topPadding - footPane.bottomPadding
                text: page.settings && page.settings.lastError !== "" ? page.settings.lastError : page.localMessage
                color: page.settings && page.settings.lastError !== "" ? "#b00020" : "#606060"
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

            Label {
                objectName: "syncTitle"
                Layout.topMargin: page.contentSpacing
                text: "Синхронизация данных"
                font.bold: true
            }

            Label {
                objectName: "syncCaption"
                Layout.fillWidth: true
                text: "Настройки, справочники, история калибровок, сертификаты, DDD и загруженные файлы"
                wrapMode: Text.Wrap
                color: "#606060"
                font.pixelSize: page.captionFontSize
            }

            GridLayout {
                columns: page.narrow ? 1 : 2
                columnSpacing: page.contentSpacing
                rowSpacing: page.contentSpacing

                Button {
                    objectName: "createSyncPackageButton"
                    text: "Создать пакет синхронизации"
                    enabled: page.settings !== null
                    onClicked: {
                        page.localMessage = "";
                        page.syncDone(page.settings.createSyncPackage());
                    }
                }

                Button {
                    objectName: "importSyncPackageButton"
                    text: "Импортировать пакет"
                    enabled: page.settings !== null
                    onClicked: {
                        page.localMessage = "";
                        if (page.phoneForm)
                            packageDialog.open();
                        else
                            page.syncDone(page.settings.selectAndImportSyncPackage());
                    }
                }
            }

            Button {
                objectName: "shareSyncPackageButton"
                text: page.phoneForm ? "Передать последний пакет" : "Открыть папку пакетов"
                enabled: page.settings !== null
                onClicked: {
                    page.localMessage = "";
                    page.settings.shareSyncPackage();
                }
            }

            Label {
                Layout.topMargin: page.contentSpacing
                text: "Синхронизация телефона и ПК по MTP"
                font.bold: true
            }

            Label {
                objectName: "mtpCaption"
                Layout.fillWidth: true
                text: page.phoneForm
                      ? "При первом запуске выберите обычную папку во внутренней памяти (например, DCIM или «Документы»). В ней приложение создаст TessaronSyncMTP. Подключите разблокированный телефон кабелем в режиме «Передача файлов (MTP)» и запустите синхронизацию на обоих устройствах."
                      : "Подключите разблокированный телефон кабелем USB, выберите на нём режим «Передача файлов (MTP)» и запустите синхронизацию на ПК и телефоне."
                wrapMode: Text.Wrap
                color: "#606060"
                font.pixelSize: page.captionFontSize
            }

            Button {
                objectName: "mtpSyncButton"
                text: "Синхронизировать через MTP"
                highlighted: true
                enabled: page.settings !== null && !page.settings.usbSyncActive
                onClicked: page.startUsbSync()
            }

            Label {
                objectName: "syncStatusLabel"
                Layout.fillWidth: true
                visible: text !== ""
                text: page.settings ? page.settings.syncStatus : ""
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                color: "#606060"
                font.pixelSize: Math.max(10, page.uiFontSize - 2)
            }
        }
    }

    Dialog {
        id: packageDialog

        readonly property real rowHeight: Math.max(48, Math.round(52 * page.uiScale))

        objectName: "packageDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        title: "Пакеты синхронизации"
        width: Math.min((parent ? parent.width : 644) - 24, 620)
        height: Math.min((parent ? parent.height : 560) - 40, 520)

        ColumnLayout {
            anchors.fill: parent
            spacing: page.contentSpacing

            Label {
                Layout.fillWidth: true
                text: "Выберите пакет, полученный с компьютера. Новые записи будут добавлены, существующие данные не удаляются."
                wrapMode: Text.Wrap
                color: "#606060"
                font.pixelSize: page.captionFontSize
            }

            ListView {
                id: packageList

                objectName: "packageList"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                model: page.settings ? page.settings.syncPackages : []

                delegate: RowLayout {
                    required property string modelData

                    width: ListView.view.width
                    height: packageDialog.rowHeight
                    spacing: page.contentSpacing

                    Label {
                        objectName: "packageName"
                        Layout.fillWidth: true
                        text: modelData.substring(modelData.lastIndexOf("/") + 1)
                        textFormat: Text.PlainText
                        elide: Text.ElideMiddle
                    }

                    Button {
                        objectName: "importListedPackageButton"
                        text: "Импорт"
                        onClicked: {
                            page.localMessage = "";
                            if (page.syncDone(page.settings.importSyncPackage(modelData)))
                                packageDialog.close();
                        }
                    }
                }

                Label {
                    objectName: "noPackagesLabel"
                    anchors.centerIn: parent
                    visible: packageList.count === 0
                    text: "Пакеты ещё не созданы"
                    color: "#606060"
                }
            }
        }

        footer: DialogButtonBox {
            Button {
                objectName: "choosePackageFileButton"
                text: "Выбрать файл в памяти устройства"
                DialogButtonBox.buttonRole: DialogButtonBox.ActionRole
                onClicked: {
                    page.localMessage = "";
                    if (page.syncDone(page.settings.selectAndImportSyncPackage()))
                        packageDialog.close();
                }
            }

            Button {
                text: "Закрыть"
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }
    }

    // Stays open for the whole run, so that nothing else touches the data the session is merging.
    Dialog {
        id: mtpDialog

        readonly property bool active: page.settings !== null && page.settings.usbSyncActive

        objectName: "mtpDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min((parent ? parent.width : 644) - 24, 620)
        height: Math.min((parent ? parent.height : 340) - 40, 300)
        title: "Синхронизация через MTP"
        modal: true
        closePolicy: Popup.NoAutoClose
        font.pixelSize: page.uiFontSize

        ColumnLayout {
            anchors.fill: parent
            spacing: page.contentSpacing

            // May carry the phone's own words, up to 16 KB: the dialog keeps its size and the text scrolls.
            ScrollingLabel {
                objectName: "mtpStatus"
                Layout.fillWidth: true
                Layout.fillHeight: true
                text: page.settings ? page.settings.usbSyncStatus : ""
            }

            ProgressBar {
                objectName: "mtpProgress"
                Layout.fillWidth: true
                from: 0
                to: 100
                value: page.settings ? page.settings.usbSyncProgress : 0
                indeterminate: mtpDialog.active
            }
        }

        footer: DialogButtonBox {
            Button {
                objectName: "mtpDialogButton"
                text: mtpDialog.active ? "Отменить" : "Закрыть"
                DialogButtonBox.buttonRole: DialogButtonBox.ActionRole
                onClicked: {
                    if (mtpDialog.active)
                        page.settings.cancelUsbSync();
                    else
                        mtpDialog.close();
                }
            }
        }
    }
}
