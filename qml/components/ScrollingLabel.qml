import QtQuick
import QtQuick.Controls

// A wrapped plain text that is read whole however long it is: as tall as its text up to maximumHeight (or the
// height its layout gives it), and scrolled within itself beyond that, with a scroll bar shown whenever there is more.
// A message may carry another side's words, up to 16 KB: it must neither be cut nor push the controls around it away.
Flickable {
    id: view

    property alias text: label.text
    property alias color: label.color
    property alias font: label.font
    property real maximumHeight: Number.POSITIVE_INFINITY
    readonly property int textFormat: label.textFormat
    readonly property alias label: label

    implicitHeight: Math.min(label.implicitHeight, maximumHeight)
    contentWidth: width
    contentHeight: label.height
    clip: true
    interactive: contentHeight > height
    boundsBehavior: Flickable.StopAtBounds

    // Its width is kept free whether it shows or not: a width that followed it would change the wrapping, and the
    // wrapping whether it shows.
    ScrollBar.vertical: ScrollBar {
        id: bar

        policy: view.interactive ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
    }

    Label {
        id: label

        width: view.width - bar.width
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
    }
}
