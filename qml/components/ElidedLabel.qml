import QtQuick
import QtQuick.Controls

// One line of text that ends in "…" when it does not fit; hovering over a cut text shows the whole of it. The
// tip is made only while it shows, and shows its text as plain characters, as the label does.
Label {
    id: label

    readonly property bool tipShown: tipLoader.item !== null && tipLoader.item.visible

    textFormat: Text.PlainText
    elide: Text.ElideRight
    maximumLineCount: 1

    HoverHandler {
        id: hover
    }

    Loader {
        id: tipLoader

        active: label.truncated && hover.hovered

        sourceComponent: ToolTip {
            id: tip

            parent: label
            visible: true
            delay: 400
            width: Math.min(implicitWidth, Math.max(200, label.Window.width - 2 * margins))

            contentItem: Text {
                text: label.text
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                maximumLineCount: 12
                elide: Text.ElideRight
                font: label.font
                color: tip.palette.toolTipText
            }
        }
    }
}
