import QtQuick
import QtQuick.Controls

// A modal message with an accepting button and, when rejectText is set, a button that only closes it.
Dialog {
    id: dialog

    property string message: ""
    property string acceptText: ""
    property string rejectText: ""
    property real uiScale: 1.0

    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    font.pixelSize: Math.round(14 * uiScale)
    width: Math.min(Math.round(520 * uiScale), parent ? parent.width : 520)

    // The message in a positioner, which takes its height from the wrapped text at its next polish: a wrapped
    // Label straight in a titled dialog, its text holding a line break, re-enters the dialog's implicitHeight
    // whenever the width changes (a binding loop).
    Column {
        width: dialog.availableWidth

        Label {
            objectName: "messageText"
            width: parent.width
            text: dialog.message
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
        }
    }

    footer: DialogButtonBox {
        Button {
            objectName: "rejectButton"
            visible: dialog.rejectText.length > 0
            text: dialog.rejectText
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
        }

        Button {
            objectName: "acceptButton"
            text: dialog.acceptText
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
        }
    }
}
