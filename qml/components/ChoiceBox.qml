import QtQuick
import QtQuick.Controls

// A combo box that always shows the choice `selectedIndex` holds. A plain combo box falls back to its first
// entry when its model is replaced (the same names in the other language) while the choice itself stays, and
// the user's pick can undo a binding of its index; here the choice is written to it whenever either changes.
ComboBox {
    id: box

    property int selectedIndex: 0

    onSelectedIndexChanged: currentIndex = selectedIndex
    onModelChanged: currentIndex = selectedIndex
    Component.onCompleted: currentIndex = selectedIndex
}
