import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

// The print settings of the last issued document; every opening starts from the defaults for its kind.
Dialog {
    id: dialog

    property QtObject controller: null
    property QtObject settings: null
    property bool sticker: false
    property string errorText: ""

    readonly property var printers: settings ? settings.printers : []
    readonly property var paperChoices: DocumentsLogic.paperChoices(sticker)
    readonly property string paperKey: paperBox.currentIndex >= 0 && paperBox.currentIndex < paperChoices.length
                                       ? paperChoices[paperBox.currentIndex].key : ""

    function openFor(isSticker) {
        sticker = isSticker;
        open();
    }

    function reset() {
        var preferred = settings ? (sticker ? settings.printerLabel : settings.printerAct) : "";
        printerBox.currentIndex = DocumentsLogic.initialPrinterIndex(printers, preferred);
        paperBox.currentIndex = DocumentsLogic.initialPaperIndex(sticker);
        orientationBox.currentIndex = 0;
        copiesBox.value = 1;
        colorBox.currentIndex = 0;
        duplexBox.currentIndex = 0;
        scaleBox.currentIndex = 0;
        errorText = "";
    }

    function options() {
        return DocumentsLogic.printOptions(printerBox.currentText, paperKey, orientationBox.currentIndex === 1,
                                           copiesBox.value, colorBox.currentIndex === 0, duplexBox.currentIndex,
                                           scaleBox.currentIndex === 0);
    }

    function print() {
        if (controller && controller.printPreview(options())) {
            close();
            return true;
        }
        errorText = controller && controller.lastError !== "" ? controller.lastError : "Печать не выполнена.";
        return false;
    }

    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    title: "Параметры печати"
    width: Math.min(620, parent ? parent.width : 620)
    onAboutToShow: reset()

    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        spacing: 8

        GridLayout {
            Layout.fillWidth: true
            columns: 2
            columnSpacing: 10

            Label {
                text: "Принтер:"
            }

            ComboBox {
                id: printerBox

                objectName: "printerBox"
                Layout.fillWidth: true
                model: dialog.printers
            }

            Label {
                text: "Формат бумаги:"
            }

            ComboBox {
                id: paperBox

                objectName: "paperBox"
                Layout.fillWidth: true
                model: dialog.paperChoices
                textRole: "text"
            }

            Label {
                text: "Ориентация:"
            }

            ComboBox {
                id: orientationBox

                objectName: "orientationBox"
                Layout.fillWidth: true
                model: ["Книжная", "Альбомная"]
            }

            Label {
                text: "Количество копий:"
            }

            SpinBox {
                id: copiesBox

                objectName: "copiesBox"
                from: 1
                to: 99
                editable: true
            }

            Label {
                text: "Цветность:"
            }

            ComboBox {
                id: colorBox

                objectName: "colorBox"
                Layout.fillWidth: true
                model: ["Цветная", "Чёрно-белая"]
            }

            Label {
                text: "Двусторонняя печать:"
            }

            ComboBox {
                id: duplexBox

                objectName: "duplexBox"
                Layout.fillWidth: true
                model: ["Без двусторонней печати", "По длинной стороне", "По короткой стороне"]
            }

            Label {
                text: "Масштаб:"
            }

            ComboBox {
                id: scaleBox

                objectName: "scaleBox"
                Layout.fillWidth: true
                model: ["По размеру страницы", "100%"]
            }
        }

        Label {
            objectName: "printHint"
            Layout.fillWidth: true
            text: DocumentsLogic.printHint(dialog.errorText, dialog.sticker, dialog.paperKey)
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: dialog.errorText !== "" ? "#b00020" : "#606060"
        }
    }

    footer: DialogButtonBox {
        Button {
            objectName: "printNowButton"
            text: "Печать"
            onClicked: dialog.print()
        }

        Button {
            objectName: "backButton"
            text: "Назад"
            onClicked: dialog.close()
        }
    }
}
