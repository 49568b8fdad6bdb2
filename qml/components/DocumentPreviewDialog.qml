import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

// The last issued document's preview image, shown inside the application (never the PDF through the
// system), with zoom and the way to the print settings.
Dialog {
    id: dialog

    property QtObject controller: null
    property QtObject settings: null
    property real zoom: 1
    // "page" and "width" refit on every resize; "manual" keeps the zoom the user chose.
    property string zoomMode: "page"

    readonly property string source: controller ? controller.previewSource : ""
    readonly property real imageWidth: previewImage.implicitWidth
    readonly property real imageHeight: previewImage.implicitHeight
    readonly property real uiScale: settings && settings.uiScale > 0 ? settings.uiScale : 1.0

    function refit() {
        if (zoomMode === "page")
            zoom = DocumentsLogic.fitPageZoom(view.width, view.height, imageWidth, imageHeight);
        else if (zoomMode === "width")
            zoom = DocumentsLogic.fitWidthZoom(view.width, imageWidth);
    }

    function fitPage() {
        zoomMode = "page";
        refit();
    }

    function fitWidth() {
        zoomMode = "width";
        refit();
    }

    function stepZoom(step) {
        zoomMode = "manual";
        zoom = DocumentsLogic.stepZoom(zoom, step);
    }

    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    title: controller && controller.previewTitle !== "" ? controller.previewTitle : "Предпросмотр документа"
    width: parent ? parent.width * 0.9 : 900
    height: parent ? parent.height * 0.9 : 700
    onAboutToShow: fitPage()
    // The image is a file in the temporary folder, shown only here: it goes when the dialog does.
    onClosed: {
        if (controller)
            controller.discardPreview();
    }

    header: ColumnLayout {
        spacing: 0

        Label {
            Layout.fillWidth: true
            Layout.margins: Math.round(12 * dialog.uiScale)
            text: dialog.title
            textFormat: Text.PlainText
            font.bold: true
            elide: Text.ElideRight
        }

        RowLayout {
            Layout.leftMargin: Math.round(12 * dialog.uiScale)
            spacing: Math.round(6 * dialog.uiScale)

            Label {
                text: "Масштаб:"
            }

            Button {
                objectName: "zoomOutButton"
                text: "−"
                onClicked: dialog.stepZoom(-0.1)
            }

            Label {
                objectName: "zoomLabel"
                Layout.preferredWidth: Math.round(56 * dialog.uiScale)
                horizontalAlignment: Text.AlignHCenter
                text: DocumentsLogic.zoomPercent(dialog.zoom)
            }

            Button {
                objectName: "zoomInButton"
                text: "+"
                onClicked: dialog.stepZoom(0.1)
            }

            Button {
                objectName: "fitPageButton"
                text: "По размеру окна"
                onClicked: dialog.fitPage()
            }

            Button {
                objectName: "fitWidthButton"
                text: "По ширине"
                onClicked: dialog.fitWidth()
            }
        }
    }

    Flickable {
        id: view

        objectName: "previewView"
        anchors.fill: parent
        clip: true
        contentWidth: Math.max(width, dialog.imageWidth * dialog.zoom + 24)
        contentHeight: Math.max(height, dialog.imageHeight * dialog.zoom + 24)
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}
        ScrollBar.horizontal: ScrollBar {}
        onWidthChanged: dialog.refit()
        onHeightChanged: dialog.refit()

        Rectangle {
            anchors.fill: parent
            color: "#e4e7eb"
        }

        Image {
            id: previewImage

            objectName: "previewImage"
            x: (view.contentWidth - width) / 2
            y: (view.contentHeight - height) / 2
            width: implicitWidth * dialog.zoom
            height: implicitHeight * dialog.zoom
            source: dialog.source
            cache: false
            smooth: true
            mipmap: true
            visible: dialog.source !== ""
            onStatusChanged: {
                if (status === Image.Ready)
                    dialog.refit();
            }
        }

        Label {
            objectName: "noPreviewLabel"
            anchors.centerIn: parent
            visible: dialog.source === ""
            text: "Предпросмотр недоступен"
        }
    }

    footer: Pane {
        RowLayout {
            anchors.fill: parent
            spacing: Math.round(8 * dialog.uiScale)

            Label {
                objectName: "previewStatus"
                Layout.fillWidth: true
                readonly property bool failed: dialog.controller !== null && dialog.controller.lastError !== ""
                text: dialog.controller ? (failed ? dialog.controller.lastError : dialog.controller.statusText) : ""
                color: failed ? "#b00020" : "#606060"
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
            }

            Button {
                objectName: "printButton"
                text: "Печать…"
                onClicked: printDialog.openFor(dialog.controller ? dialog.controller.previewIsSticker : false)
            }

            Button {
                text: "Закрыть"
                onClicked: dialog.close()
            }
        }
    }

    PrintSettingsDialog {
        id: printDialog

        objectName: "printDialog"
        parent: dialog.parent
        font: dialog.font
        controller: dialog.controller
        settings: dialog.settings
    }
}
