import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Dialogs.quickimpl as DialogsQuickImpl

// The row of a file in Qt Quick's file dialog, standing in for Qt's own (see the engine set-up): the icon and
// name, and below them the size and time written as the program's other file dialogs write them.
Item {
    id: root

    required property DialogsQuickImpl.FileDialogDelegate delegate
    required property int fileDetailRowWidth
    property color fileDetailRowTextColor

    implicitWidth: column.implicitWidth
    implicitHeight: column.implicitHeight

    Column {
        id: column

        y: (parent.height - height) / 2

        Row {
            spacing: root.delegate.spacing

            IconImage {
                id: iconImage

                source: root.delegate.icon.source
                sourceSize: Qt.size(root.delegate.icon.width, root.delegate.icon.height)
                width: root.delegate.icon.width
                height: root.delegate.icon.height
                color: root.delegate.icon.color
                y: (parent.height - height) / 2
            }

            Label {
                text: root.delegate.fileName
                textFormat: Text.PlainText
                color: root.delegate.icon.color
                y: (parent.height - height) / 2
            }
        }

        Item {
            x: iconImage.width + root.delegate.spacing
            width: root.fileDetailRowWidth - x - root.delegate.leftPadding
            implicitHeight: childrenRect.height

            Label {
                objectName: "fileSizeLabel"
                text: root.delegate.fileIsDir ? "" : app.fileSizeText(root.delegate.fileSize)
                font.pixelSize: root.delegate.font.pixelSize * 0.75
                color: root.fileDetailRowTextColor
            }

            Label {
                objectName: "fileTimeLabel"
                text: app.fileTimeText(root.delegate.fileModified)
                font.pixelSize: root.delegate.font.pixelSize * 0.75
                color: root.fileDetailRowTextColor
                x: parent.width - width
            }
        }
    }
}
