import QtQuick
import QtQuick.Controls

// A combo box that always shows the choice `selectedIndex` holds. A plain combo box falls back to its first
// entry when its model is replaced (the same names in the other language) while the choice itself stays, and
// the user's pick can undo a binding of its index; here the choice is written to it whenever either changes.
//
// A choice too long for the box, shown or in the list, ends in "…", and hovering over it shows the whole text.
ComboBox {
    id: box

    property int selectedIndex: 0
    readonly property bool truncated: shownText.truncated

    onSelectedIndexChanged: currentIndex = selectedIndex
    onModelChanged: currentIndex = selectedIndex
    Component.onCompleted: currentIndex = selectedIndex

    ToolTip.visible: pointer.hovered && truncated && !popup.visible
    ToolTip.text: displayText
    ToolTip.delay: 400

    // Hovering is followed even where the style turns hover effects off, as ElidedLabel does.
    HoverHandler {
        id: pointer
    }

    contentItem: Label {
        id: shownText

        leftPadding: 4
        rightPadding: 4
        text: box.displayText
        textFormat: Text.PlainText
        elide: Text.ElideRight
        maximumLineCount: 1
        verticalAlignment: Text.AlignVCenter
        font: box.font
        color: box.palette.buttonText
    }

    delegate: ItemDelegate {
        id: entry

        required property int index

        readonly property bool truncated: implicitContentWidth > availableWidth

        width: ListView.view ? ListView.view.width : implicitWidth
        text: box.textAt(index)
        font: box.font
        highlighted: box.highlightedIndex === index
        hoverEnabled: true
        ToolTip.visible: hovered && truncated
        ToolTip.text: text
        ToolTip.delay: 400
    }
}
