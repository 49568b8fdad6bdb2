import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

// The driver-activity analysis of the shown report: summary tiles, the compliance score, the time
// classification, the table of working days and the lists of violations, warnings and recommendations.
Flickable {
    id: view

    property var analysis: ({})
    property bool english: false
    property real uiScale: 1.0
    property int uiFontSize: 16
    property real spacing: Math.round(10 * uiScale)

    readonly property var workingHours: DddPageText.list(analysis, "workingHours")
    readonly property var tiles: DddPageText.analysisTiles(analysis, english)
    readonly property var classificationTiles: DddPageText.classificationTiles(analysis, english)
    readonly property alias workingHoursView: workingHoursView

    function t(ru, en) {
        return english ? en : ru;
    }

    // Back to the top, with the daily table at its first row and first column.
    function resetScroll() {
        contentY = 0;
        workingHoursView.resetScroll();
    }

    clip: true
    contentWidth: width
    contentHeight: analysisColumn.implicitHeight
    boundsBehavior: Flickable.StopAtBounds
    ScrollBar.vertical: ScrollBar {}

    ColumnLayout {
        id: analysisColumn

        readonly property var compliance: DddPageText.group(view.analysis, "compliance")
        readonly property int overallScore: Number(compliance.overallScore) || 0

        width: view.width - Math.round(12 * view.uiScale)
        spacing: view.spacing

        Label {
            text: view.t("Сводный анализ режима труда и отдыха", "Summary of working and rest time")
            textFormat: Text.PlainText
            font.bold: true
            font.pixelSize: Math.round(view.uiFontSize * 1.15)
        }

        // Four tiles to a row, two on a narrow view, where four would cut their texts. The tiles of both grids
        // are a fixed number whose texts follow the analysis, so no report or language adds or removes an item
        // of the layout; the column count follows the column's width, set by the view, never the grid's own
        // width, which changes while the grid arranges itself.
        GridLayout {
            Layout.fillWidth: true
            columns: analysisColumn.width >= 680 * view.uiScale ? 4 : 2
            columnSpacing: Math.round(8 * view.uiScale)
            rowSpacing: Math.round(8 * view.uiScale)

            Repeater {
                model: view.tiles.length

                delegate: Rectangle {
                    id: tile

                    required property int index
                    readonly property var modelData: view.tiles[index]

                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredWidth: 1
                    implicitHeight: tileColumn.implicitHeight + Math.round(16 * view.uiScale)
                    color: "#f7f9fb"
                    border.color: "#dddddd"
                    radius: 4

                    ColumnLayout {
                        id: tileColumn

                        anchors.left: parent.left
                        anchors.right: parent.right
                        anchors.top: parent.top
                        anchors.margins: Math.round(8 * view.uiScale)
                        spacing: 2

                        Label {
                            Layout.fillWidth: true
                            text: tile.modelData.label
                            textFormat: Text.PlainText
                            wrapMode: Text.Wrap
                            color: "#555555"
                        }

                        ElidedLabel {
                            Layout.fillWidth: true
                            text: tile.modelData.value
                            font.bold: true
                            font.pixelSize: Math.round(view.uiFontSize * 1.2)
                        }
                    }
                }
            }
        }

        Rectangle {
            objectName: "complianceBox"
            Layout.fillWidth: true
            implicitHeight: complianceColumn.implicitHeight + Math.round(20 * view.uiScale)
            border.color: DddPageText.scoreColor(analysisColumn.overallScore)
            border.width: 2
            radius: 4

            // One line where the width allows, leaving the height to the table of days.
            Flow {
                id: complianceColumn

                anchors.left: parent.left
                anchors.right: parent.right
                anchors.top: parent.top
                anchors.margins: Math.round(10 * view.uiScale)
                spacing: Math.round(24 * view.uiScale)

                Row {
                    spacing: Math.round(6 * view.uiScale)

                    Label {
                        text: view.t("Соблюдение режима", "Compliance")
                        textFormat: Text.PlainText
                    }

                    Label {
                        text: analysisColumn.overallScore + " / 100"
                        textFormat: Text.PlainText
                        font.bold: true
                        color: DddPageText.scoreColor(analysisColumn.overallScore)
                    }
                }

                Row {
                    spacing: Math.round(6 * view.uiScale)

                    Label {
                        text: view.t("Дневное вождение", "Daily driving")
                        textFormat: Text.PlainText
                    }

                    Label {
                        text: (Number(analysisColumn.compliance.dailyDrivingScore) || 0) + " / 100"
                        textFormat: Text.PlainText
                        font.bold: true
                    }
                }

                Label {
                    text: analysisColumn.compliance.isCompliant === true
                          ? view.t("Нарушений не выявлено", "No violations found")
                          : view.t("Требуется внимание", "Attention required")
                    textFormat: Text.PlainText
                    color: analysisColumn.compliance.isCompliant === true ? "#2e7d32" : "#b00020"
                    font.bold: true
                }
            }
        }

        Label {
            text: view.t("Распределение времени", "Time classification")
            textFormat: Text.PlainText
            font.bold: true
        }

        GridLayout {
            Layout.fillWidth: true
            columns: analysisColumn.width >= 600 * view.uiScale ? 5 : 3
            columnSpacing: Math.round(8 * view.uiScale)
            rowSpacing: columnSpacing

            Repeater {
                model: view.classificationTiles.length

                delegate: Rectangle {
                    id: classTile

                    required property int index
                    readonly property var modelData: view.classificationTiles[index]

                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    implicitHeight: classColumn.implicitHeight + Math.round(16 * view.uiScale)
                    color: "#ffffff"
                    border.color: modelData.color
                    radius: 4

                    ColumnLayout {
                        id: classColumn

                        anchors.fill: parent
                        anchors.margins: Math.round(8 * view.uiScale)
                        spacing: 2

                        ElidedLabel {
                            Layout.fillWidth: true
                            text: classTile.modelData.label
                            color: "#555555"
                        }

                        Label {
                            text: classTile.modelData.value
                            textFormat: Text.PlainText
                            font.bold: true
                            font.pixelSize: Math.round(view.uiFontSize * 1.2)
                            color: classTile.modelData.color
                        }
                    }
                }
            }
        }

        // As high as the view at most, so that scrolled into view it shows whole, its own header over its rows;
        // the header stays in sight while the view scrolls the table's top away.
        DddDatasetView {
            id: workingHoursView

            objectName: "workingHoursView"
            Layout.fillWidth: true
            Layout.preferredHeight: Math.min(naturalHeight, Math.max(view.height, headerHeight + 3 * rowHeight))
            headerShift: view.contentY - y
            rows: view.workingHours
            columns: DddPageText.localizedColumns(DddPageText.workingHoursColumns, view.english)
            fillLastColumn: false
            uiScale: view.uiScale
            uiFontSize: view.uiFontSize
            english: view.english
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.bottomMargin: Math.round(8 * view.uiScale)
            spacing: Math.round(8 * view.uiScale)

            Repeater {
                model: [
                    { ru: "Нарушения", en: "Violations", key: "violations", color: "#b00020", fill: "#fdf0f1" },
                    { ru: "Предупреждения", en: "Warnings", key: "warnings", color: "#a06000", fill: "#fdf6e9" },
                    { ru: "Рекомендации", en: "Recommendations", key: "recommendations", color: "#1f5f99",
                      fill: "#eef5fb" }
                ]

                delegate: Rectangle {
                    id: panel

                    required property var modelData

                    readonly property var items: DddPageText.list(analysisColumn.compliance, modelData.key)

                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.alignment: Qt.AlignTop
                    implicitHeight: panelColumn.implicitHeight + Math.round(16 * view.uiScale)
                    color: modelData.fill
                    border.color: modelData.color
                    radius: 4

                    ColumnLayout {
                        id: panelColumn

                        anchors.fill: parent
                        anchors.margins: Math.round(8 * view.uiScale)
                        spacing: 4

                        Label {
                            text: view.t(panel.modelData.ru, panel.modelData.en) + " (" + panel.items.length + ")"
                            textFormat: Text.PlainText
                            font.bold: true
                            color: panel.modelData.color
                        }

                        // The lines change with the report: a positioner holds them, not the panel's layout.
                        Column {
                            id: panelLines

                            Layout.fillWidth: true

                            Repeater {
                                model: DddPageText.messageLines(panel.items, view.english)

                                delegate: Label {
                                    required property string modelData

                                    width: panelLines.width
                                    text: modelData
                                    textFormat: Text.PlainText
                                    wrapMode: Text.Wrap
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
