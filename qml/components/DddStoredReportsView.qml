import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

// The archive of stored reports: one row per report (date, kind, what it is of) with its open and delete
// commands, and the command that reloads the list. It asks; the page acts.
ColumnLayout {
    id: view

    property var reports: []
    property bool english: false
    // While a decode runs a stored report cannot be opened: the decode's result would replace it.
    property bool busy: false
    property real uiScale: 1.0

    signal refreshRequested()
    signal openRequested(var reportId, bool tachograph)
    signal deleteRequested(var row)

    function t(ru, en) {
        return english ? en : ru;
    }

    spacing: Math.round(8 * uiScale)

    Button {
        objectName: "refreshReportsButton"
        text: view.t("Обновить", "Refresh")
        onClicked: view.refreshRequested()
    }

    ListView {
        id: reportList

        objectName: "storedReportsList"
        Layout.fillWidth: true
        Layout.fillHeight: true
        clip: true
        model: view.reports
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        delegate: Rectangle {
            id: reportRow

            required property var modelData
            required property int index

            readonly property bool tachograph: DddArchiveText.isTachographRow(modelData)

            width: reportList.width
            height: Math.round(48 * view.uiScale)
            color: index % 2 === 0 ? "#ffffff" : "#f3f6f8"

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: Math.round(10 * view.uiScale)
                anchors.rightMargin: Math.round(10 * view.uiScale)
                spacing: Math.round(12 * view.uiScale)

                ElidedLabel {
                    Layout.preferredWidth: Math.round(170 * view.uiScale)
                    text: DddArchiveText.text(reportRow.modelData.reportDate)
                }

                ElidedLabel {
                    Layout.preferredWidth: Math.round(130 * view.uiScale)
                    text: DddPageText.translate(reportRow.modelData.reportType, view.english)
                    color: "#555555"
                }

                ElidedLabel {
                    Layout.fillWidth: true
                    text: DddArchiveText.displayValue(reportRow.modelData)
                    font.bold: true
                }

                Button {
                    objectName: "openStoredButton"
                    text: view.t("Открыть", "Open")
                    enabled: !view.busy
                    onClicked: view.openRequested(reportRow.modelData.reportId, reportRow.tachograph)
                }

                Button {
                    objectName: "deleteStoredButton"
                    text: view.t("Удалить", "Delete")
                    onClicked: view.deleteRequested(reportRow.modelData)
                }
            }
        }

        Label {
            objectName: "noStoredReports"
            anchors.centerIn: parent
            visible: reportList.count === 0
            text: view.t("Сохранённых отчётов нет", "No saved reports")
            textFormat: Text.PlainText
            color: "#555555"
        }
    }
}
