import QtQuick
import QtQuick.Controls
import Tessaron

// One dataset as a table: fixed columns that the user can widen or narrow by their header handles, one
// delegate per visible row.
Rectangle {
    id: view

    property var rows: []
    property var columns: []
    property real uiScale: 1.0
    property bool english: false
    property color textColor: "#333333"
    property bool fillLastColumn: true
    property int uiFontSize: 16
    property var resizedWidths: []
    // How far the header is drawn below the table's top, so that it stays in sight while an outer view scrolls
    // the table's top away; it never covers the last row.
    property real headerShift: 0

    readonly property var columnWidths: DddTable.columnWidths(columns, resizedWidths, uiScale, width, fillLastColumn)
    readonly property real tableWidth: DddTable.totalWidth(columnWidths)
    readonly property real headerHeight: Math.max(32, 34 * uiScale)
    readonly property real rowHeight: Math.max(34, 38 * uiScale)
    readonly property int rowCount: rows && rows.length !== undefined ? rows.length : 0
    // The height that shows every row without scrolling.
    readonly property real naturalHeight: headerHeight + Math.max(1, rowCount) * rowHeight
                                          + (horizontalBar.visible ? horizontalBar.height : 0) + 2
    readonly property alias listView: list
    property alias contentX: horizontal.contentX

    signal rowDoubleClicked(var row)

    // Back to the first row and the first column.
    function resetScroll() {
        horizontal.contentX = 0;
        list.positionViewAtBeginning();
    }

    onColumnsChanged: {
        resizedWidths = [];
        resetScroll();
    }

    color: "#ffffff"
    border.color: "#dddddd"
    clip: true

    Flickable {
        id: horizontal

        anchors.fill: parent
        anchors.bottomMargin: horizontalBar.visible ? horizontalBar.height : 0
        visible: view.columns.length > 0
        contentWidth: view.tableWidth
        contentHeight: height
        flickableDirection: Flickable.HorizontalFlick
        boundsBehavior: Flickable.StopAtBounds
        clip: true

        Row {
            id: header

            objectName: "tableHeader"
            y: Math.max(0, Math.min(view.headerShift, view.height - view.headerHeight - view.rowHeight))
            z: 1
            height: view.headerHeight

            Repeater {
                model: view.columns

                Rectangle {
                    id: headerCell

                    required property var modelData
                    required property int index

                    width: view.columnWidths[index] || 0
                    height: header.height
                    color: "#4d4d4d"

                    ElidedLabel {
                        anchors.fill: parent
                        anchors.leftMargin: 6
                        anchors.rightMargin: handle.width
                        text: DddTable.columnTitle(headerCell.modelData, view.english)
                        color: "#ffffff"
                        font.bold: true
                        font.pixelSize: view.uiFontSize
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }

                    Rectangle {
                        id: handle

                        anchors.right: parent.right
                        width: Math.max(14, 16 * view.uiScale)
                        height: parent.height
                        color: handleArea.pressed ? "#8db8dd" : (handleArea.containsMouse ? "#6f9fc8" : "#626262")

                        MouseArea {
                            id: handleArea

                            property real widthAtPress: 0
                            property real pressX: 0

                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: Qt.SplitHCursor
                            preventStealing: true
                            onPressed: function (mouse) {
                                widthAtPress = headerCell.width;
                                pressX = mapToItem(view, mouse.x, 0).x;
                            }
                            onPositionChanged: function (mouse) {
                                if (!pressed)
                                    return;
                                var distance = mapToItem(view, mouse.x, 0).x - pressX;
                                view.resizedWidths = DddTable.withResizedWidth(
                                    view.resizedWidths, headerCell.index,
                                    DddTable.draggedWidth(widthAtPress, distance, view.uiScale));
                            }
                        }
                    }
                }
            }
        }

        ListView {
            id: list

            y: header.height
            width: Math.max(view.tableWidth, horizontal.width)
            height: horizontal.height - header.height
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: view.rows
            reuseItems: true

            delegate: Rectangle {
                id: rowItem

                required property var modelData
                required property int index

                width: view.tableWidth
                height: view.rowHeight
                color: index % 2 === 0 ? "#ffffff" : "#f6f6f6"

                Row {
                    anchors.fill: parent

                    Repeater {
                        model: view.columns

                        ElidedLabel {
                            required property var modelData
                            required property int index

                            width: view.columnWidths[index] || 0
                            height: rowItem.height
                            leftPadding: 6
                            rightPadding: 6
                            text: DddTable.cellText(rowItem.modelData, modelData[0], view.english)
                            color: view.textColor
                            font.pixelSize: view.uiFontSize
                            verticalAlignment: Text.AlignVCenter
                        }
                    }
                }

                MouseArea {
                    anchors.fill: parent
                    onDoubleClicked: view.rowDoubleClicked(rowItem.modelData)
                }
            }
        }
    }

    ScrollBar {
        id: horizontalBar

        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        orientation: Qt.Horizontal
        visible: view.columns.length > 0 && view.tableWidth > view.width
        size: horizontal.visibleArea.widthRatio
        position: horizontal.visibleArea.xPosition
        policy: ScrollBar.AlwaysOn
        onPositionChanged: {
            if (pressed)
                horizontal.contentX = position * horizontal.contentWidth;
        }
    }

    ScrollBar {
        id: verticalBar

        anchors.right: parent.right
        anchors.top: parent.top
        anchors.topMargin: view.headerHeight
        anchors.bottom: horizontalBar.visible ? horizontalBar.top : parent.bottom
        orientation: Qt.Vertical
        visible: view.columns.length > 0 && list.contentHeight > list.height
        size: list.visibleArea.heightRatio
        position: list.visibleArea.yPosition
        policy: ScrollBar.AlwaysOn
        onPositionChanged: {
            if (pressed)
                list.contentY = list.originY + position * list.contentHeight;
        }
    }

    Text {
        anchors.centerIn: parent
        visible: view.columns.length === 0 || view.rowCount === 0
        text: view.columns.length === 0 ? (view.english ? "No columns configured" : "Столбцы не настроены")
                                        : (view.english ? "No data" : "Данные отсутствуют")
        textFormat: Text.PlainText
        color: "#777777"
        font.pixelSize: view.uiFontSize
    }
}
