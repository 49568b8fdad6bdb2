import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

// The DDD viewer: opens a .ddd file through app.ddd and shows its summary, its datasets, the driver-activity
// analysis and charts; saves it, exports it as PDF and lists, reopens and deletes stored reports. Its language
// switch affects this page only.
PageFrame {
    id: page

    property bool resumeMonitoringOnClose: true
    property int selectedChartMetric: 0
    property int selectedChartStyle: 0
    // The file-contents row whose block the hex view shows; its title and text follow the page's language.
    property var hexDialogRow: null
    readonly property string hexDialogTitle: DddPageText.hexTitle(hexDialogRow, english)
    readonly property string hexDialogText: hexDialogRow ? DddPageText.hexDump(DddPageText.blockHex(hexDialogRow), english)
                                                         : ""

    // The selected section by kind (a dataset's key, "#analysis", "#charts" or "#reports"), so the selection
    // does not jump when the number of listed datasets changes.
    property string selectedSection: ""
    // The stored report the delete confirmation asks about, and the stored report a save found already there.
    property var pendingDeletion: null
    property var duplicateReportId: null

    // The controller's lists as script arrays, converted once per change of the controller's state.
    property var rows: ({})
    property var summary: ({})
    property var analysis: ({})
    // What the shown report is; when it changes, the views start over at their first row and first chart.
    property string reportIdentity: ""

    readonly property bool busy: controller ? controller.busy : false
    readonly property string statusText: controller ? controller.statusText : ""
    readonly property string lastError: controller ? controller.lastError : ""
    // A report decoded from a damaged file: shown in the warning colours of the compliance panel, never green.
    readonly property bool statusWarning: controller ? controller.statusWarning === true : false
    readonly property bool hasReport: (controller && controller.fileName.length > 0)
                                      || DddPageText.present(summary.fileName)
    readonly property bool isTachograph: controller ? DddPageText.isTachographKind(controller.fileKind) : false
    readonly property var datasets: DddPageText.shownDatasets(isTachograph, function (key) { return rows[key]; },
                                                              rows.sections)
    readonly property var navigationNames: DddPageText.navigationNames(datasets, english)
    readonly property int sectionIndex: DddPageText.sectionIndexOf(datasets, selectedSection)
    readonly property int stackIndex: DddPageText.stackIndex(sectionIndex, datasets.length)
    readonly property var currentDataset: sectionIndex < datasets.length ? datasets[sectionIndex] : null
    readonly property var workingHours: DddPageText.list(analysis, "workingHours")
    readonly property var fileBoxRows: hasReport ? DddPageText.fileBoxRows(controller, summary, isTachograph, english) : []
    readonly property bool showingStoredReports: selectedSection === DddPageText.reportsSection

    // The height left for the data area below the file box, so that it fills a scrolling page too.
    readonly property real roomForData: contentRoom - (fileBox.visible ? fileBox.height + contentSpacing : 0)

    function t(ru, en) {
        return english ? en : ru;
    }

    function tr(text) {
        return DddPageText.translate(text, english);
    }

    function selectSection(index) {
        selectedSection = DddPageText.sectionKey(datasets, index);
        if (selectedSection === DddPageText.chartsSection)
            chart.chooseAgain();
    }

    function reloadRows() {
        var lists = {};
        var keys = DddPageText.controllerLists;
        for (var i = 0; i < keys.length; ++i)
            lists[keys[i]] = controller ? controller[keys[i]] || [] : [];
        rows = lists;
        summary = controller && controller.summary ? controller.summary : {};
        analysis = controller && controller.analysis ? controller.analysis : {};
        var identity = DddPageText.reportIdentity(controller, summary);
        if (identity !== reportIdentity) {
            reportIdentity = identity;
            startOver();
        }
    }

    // A new report is shown from its beginning: the first chart in its first style, tables and the analysis
    // scrolled back to their first row and column.
    function startOver() {
        selectedChartMetric = 0;
        selectedChartStyle = 0;
        datasetView.resetScroll();
        analysisView.resetScroll();
    }

    function showStoredReports() {
        if (controller)
            controller.refreshSavedReports();
        selectSection(datasets.length + 2);
    }

    function showBlockHex(row) {
        hexDialogRow = row;
        hexDialog.open();
    }

    objectName: "dddPage"
    pageTitle: t("Расшифровка .ddd", "DDD decoder")
    controller: app ? app.ddd : null
    contentScrollable: Window.window ? Window.window.visibility !== Window.Maximized
                                       && Window.window.visibility !== Window.FullScreen
                                     : height < 760

    onIsTachographChanged: selectedSection = ""
    onControllerChanged: reloadRows()
    Component.onCompleted: {
        reloadRows();
        if (controller)
            controller.refreshSavedReports();
    }
    onBackRequested: {
        if (popPage() && resumeMonitoringOnClose && app)
            app.resumeDeviceMonitoring();
    }

    Connections {
        target: page.controller

        function onStateChanged() {
            page.reloadRows();
        }

        function onDuplicateReportDetected(existingReportId) {
            page.duplicateReportId = existingReportId;
            duplicateNotice.open();
        }
    }

    headerTrailingComponent: Component {
        ComboBox {
            objectName: "languageBox"
            model: ["Русский", "English"]
            currentIndex: page.english ? 1 : 0
            font.pixelSize: page.uiFontSize
            implicitWidth: Math.round(140 * page.uiScale)
            onActivated: function (index) { page.english = index === 1; }
        }
    }

    // A footer command: the buttons of a row share its width equally, whatever their texts.
    component FooterButton: Button {
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        Layout.minimumWidth: 0
    }

    // The main commands in a grid of four columns (three on a narrow page), wrapping to further rows as
    // commands are added; the closing commands in a centred row below. Widths flow only from the page down,
    // never from the buttons' texts up, so the footer is never wider than the page.
    footerComponent: Component {
        Pane {
            id: footerPane

            readonly property bool narrow: page.width < 1150

            padding: Math.round(8 * page.uiScale)
            contentWidth: availableWidth
            contentHeight: footerColumn.implicitHeight

            Column {
                id: footerColumn

                width: footerPane.availableWidth
                spacing: Math.round(6 * page.uiScale)

                GridLayout {
                    width: parent.width
                    columns: footerPane.narrow ? 3 : 4
                    columnSpacing: Math.round(8 * page.uiScale)
                    rowSpacing: footerColumn.spacing

                    FooterButton {
                        objectName: "openButton"
                        text: page.t("Открыть .ddd", "Open .ddd")
                        enabled: !page.busy
                        onClicked: page.controller.chooseAndOpenFile()
                    }

                    FooterButton {
                        objectName: "processButton"
                        text: page.t("Обработать", "Process")
                        enabled: page.controller !== null && page.controller.fileName.length > 0 && !page.busy
                        onClicked: page.controller.openFile(page.controller.filePath)
                    }

                    FooterButton {
                        objectName: "chartsButton"
                        text: page.t("Графики", "Charts")
                        enabled: page.hasReport
                        onClicked: page.selectSection(page.datasets.length + 1)
                    }

                    FooterButton {
                        objectName: "reportsButton"
                        text: page.t("Отчёты", "Reports")
                        onClicked: page.showStoredReports()
                    }
                }

                RowLayout {
                    x: (parent.width - width) / 2
                    width: footerPane.narrow ? parent.width : Math.round(parent.width * 0.75)
                    spacing: Math.round(8 * page.uiScale)

                    FooterButton {
                        objectName: "saveButton"
                        text: page.t("Сохранить отчёт", "Save report")
                        enabled: page.hasReport && !page.busy
                        onClicked: page.controller.saveReport()
                    }

                    FooterButton {
                        objectName: "exportButton"
                        text: page.t("Экспорт PDF", "Export PDF")
                        enabled: page.hasReport
                        onClicked: pdfExport.begin()
                    }

                    FooterButton {
                        objectName: "clearButton"
                        text: page.t("Очистить", "Clear")
                        enabled: !page.busy
                        onClicked: page.controller.clear()
                    }
                }
            }
        }
    }

    // The answers stay in sight above the scrolling content: a save or an export pressed at the page's foot, with
    // the page scrolled to its end, is told where it can be read.
    pinnedContent: [
        RowLayout {
            id: busyBar

            objectName: "busyBar"
            Layout.fillWidth: true
            visible: page.busy
            spacing: page.contentSpacing

            BusyIndicator {
                running: page.busy
                Layout.preferredWidth: Math.round(32 * page.uiScale)
                Layout.preferredHeight: Math.round(32 * page.uiScale)
            }

            Label {
                text: page.t("Идёт расшифровка файла…", "Decoding file…")
                textFormat: Text.PlainText
            }
        },

        Rectangle {
            id: statusBar

            objectName: "statusBar"
            Layout.fillWidth: true
            Layout.preferredHeight: statusLabel.implicitHeight + Math.round(16 * page.uiScale)
            visible: (page.hasReport || page.lastError.length > 0 || page.busy)
                     && (page.statusText.length > 0 || page.lastError.length > 0)
            color: page.lastError.length > 0 ? "#fde9e9" : page.statusWarning ? "#fdf6e9" : "#eaf4ea"
            border.color: page.lastError.length > 0 ? "#dd6666" : page.statusWarning ? "#a06000" : "#8abf8a"
            radius: 4

            // A long error scrolls within its quarter of the page rather than push the page's data out of it.
            ScrollingLabel {
                id: statusLabel

                objectName: "statusLabel"
                anchors.fill: parent
                anchors.margins: Math.round(8 * page.uiScale)
                maximumHeight: Math.round(page.height / 4) - 2 * anchors.margins
                text: page.tr(page.lastError.length > 0 ? page.lastError : page.statusText)
                color: page.lastError.length > 0 ? "#a00000" : page.statusWarning ? "#a06000" : "#276327"
            }
        }
    ]

    GroupBox {
        id: fileBox

        objectName: "fileBox"
        Layout.fillWidth: true
        visible: page.hasReport
        title: page.t("Файл", "File")

        // Two label/value pairs to a row; a pair too wide for half the row (a long data period) takes a row of its
        // own rather than being cut. In a positioner: the pairs change with the report and the language, and a
        // Repeater adding or removing items of a Quick Layout can leave a destroyed item in it.
        Flow {
            id: fileFlow

            readonly property real halfWidth: (width - spacing) / 2

            anchors.left: parent.left
            anchors.right: parent.right
            spacing: Math.round(4 * page.uiScale)

            Repeater {
                model: page.fileBoxRows

                delegate: Item {
                    id: fileRow

                    required property var modelData

                    readonly property real gap: Math.round(20 * page.uiScale)

                    width: fileRowContent.implicitWidth + gap > fileFlow.halfWidth ? fileFlow.width : fileFlow.halfWidth
                    implicitHeight: fileRowContent.implicitHeight

                    RowLayout {
                        id: fileRowContent

                        anchors.left: parent.left
                        anchors.right: parent.right
                        anchors.rightMargin: fileRow.gap
                        spacing: Math.round(8 * page.uiScale)

                        Label {
                            text: fileRow.modelData[0]
                            textFormat: Text.PlainText
                            color: "#555555"
                        }

                        ElidedLabel {
                            Layout.fillWidth: true
                            text: fileRow.modelData[1]
                            font.bold: true
                        }
                    }
                }
            }
        }
    }

    RowLayout {
        objectName: "dataArea"
        Layout.fillWidth: true
        Layout.fillHeight: true
        Layout.preferredHeight: Math.max(Math.max(300, 360 * page.uiScale), page.roomForData)
        Layout.minimumHeight: Math.max(300, 360 * page.uiScale)
        visible: page.hasReport || page.showingStoredReports
        spacing: page.contentSpacing

        ListView {
            id: sectionList

            objectName: "sectionList"
            visible: page.hasReport
            Layout.preferredWidth: Math.max(210, 250 * page.uiScale)
            Layout.fillHeight: true
            clip: true
            model: page.navigationNames
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {}

            delegate: Rectangle {
                id: sectionRow

                required property string modelData
                required property int index

                readonly property bool selected: index === page.sectionIndex

                width: sectionList.width
                height: Math.max(38, 44 * page.uiScale)
                color: selected ? "#dceaf7" : (index % 2 === 0 ? "#ffffff" : "#f7f7f7")
                border.color: selected ? "#4c8fc9" : "#dddddd"

                ElidedLabel {
                    anchors.fill: parent
                    anchors.leftMargin: Math.round(10 * page.uiScale)
                    anchors.rightMargin: Math.round(6 * page.uiScale)
                    verticalAlignment: Text.AlignVCenter
                    text: sectionRow.modelData
                    font.bold: sectionRow.selected
                }

                MouseArea {
                    anchors.fill: parent
                    onClicked: page.selectSection(sectionRow.index)
                }
            }
        }

        StackLayout {
            objectName: "sectionStack"
            Layout.fillWidth: true
            Layout.fillHeight: true
            currentIndex: page.stackIndex

            DddDatasetView {
                id: datasetView

                objectName: "datasetView"
                rows: page.currentDataset ? page.rows[page.currentDataset.key] || [] : []
                columns: page.currentDataset ? DddPageText.localizedColumns(page.currentDataset.columns, page.english) : []
                uiScale: page.uiScale
                uiFontSize: page.uiFontSize
                english: page.english
                onRowDoubleClicked: function (row) {
                    if (page.sectionIndex === 0)
                        page.showBlockHex(row);
                }
            }

            DddAnalysisView {
                id: analysisView

                objectName: "analysisView"
                analysis: page.analysis
                english: page.english
                uiScale: page.uiScale
                uiFontSize: page.uiFontSize
                spacing: page.contentSpacing
            }

            ColumnLayout {
                objectName: "chartsView"
                spacing: page.contentSpacing

                // The boxes give up width before the row would widen the page.
                RowLayout {
                    Layout.fillWidth: true
                    spacing: Math.round(8 * page.uiScale)

                    Label {
                        text: page.t("Показатель:", "Metric:")
                    }

                    ChoiceBox {
                        objectName: "metricBox"
                        Layout.fillWidth: true
                        Layout.preferredWidth: Math.round(230 * page.uiScale)
                        Layout.maximumWidth: Layout.preferredWidth
                        model: DddPageText.names(DddPageText.chartMetrics, page.english)
                        selectedIndex: page.selectedChartMetric
                        onActivated: function (index) {
                            page.selectedChartMetric = index;
                            chart.chooseAgain();
                        }
                    }

                    Label {
                        text: page.t("Вид:", "View:")
                    }

                    ChoiceBox {
                        objectName: "styleBox"
                        Layout.fillWidth: true
                        Layout.preferredWidth: Math.round(170 * page.uiScale)
                        Layout.maximumWidth: Layout.preferredWidth
                        model: DddPageText.names(DddPageText.chartStyles, page.english)
                        selectedIndex: page.selectedChartStyle
                        onActivated: function (index) {
                            page.selectedChartStyle = index;
                            chart.chooseAgain();
                        }
                    }

                    Item {
                        Layout.fillWidth: true
                    }
                }

                DddChart {
                    id: chart

                    objectName: "chart"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    chartType: page.selectedChartMetric
                    visualizationType: page.selectedChartStyle
                    english: page.english
                    uiScale: page.uiScale
                    uiFontSize: page.uiFontSize
                    activityRows: DddPageText.nonEmpty(page.rows.activityDaily, page.rows.activityChanges)
                    speedRows: page.rows.detailedSpeed || []
                    distanceRows: page.rows.drivenDistances || []
                    eventRows: DddPageText.nonEmpty(page.rows.tachoEvents, page.rows.events)
                    faultRows: DddPageText.nonEmpty(page.rows.tachoFaults, page.rows.faults)
                    dayRows: page.rows.dayInformation || []
                    placeRows: DddPageText.nonEmpty(page.rows.places, page.rows.placeDailyWorkPeriod)
                    calibrationRows: page.rows.calibrationData || []
                    workingRows: page.workingHours
                }
            }

            DddStoredReportsView {
                objectName: "storedReportsView"
                reports: page.controller ? page.controller.savedReports : []
                english: page.english
                busy: page.busy
                uiScale: page.uiScale
                onRefreshRequested: page.controller.refreshSavedReports()
                onOpenRequested: function (reportId, tachograph) { page.controller.openSavedReport(reportId, tachograph); }
                onDeleteRequested: function (row) {
                    page.pendingDeletion = row;
                    deleteConfirmation.open();
                }
            }
        }
    }

    Label {
        objectName: "hint"
        Layout.fillWidth: true
        visible: !page.hasReport && !page.busy && !page.showingStoredReports
        text: page.t("Выберите файл .ddd. После разбора слева появятся только разделы, соответствующие типу файла.",
                     "Select a .ddd file. After decoding, the left panel will show only sections for its file type.")
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        color: "#555555"
    }

    Item {
        Layout.fillHeight: true
        visible: !page.hasReport && !page.showingStoredReports
    }

    MessageBox {
        id: deleteConfirmation

        objectName: "deleteConfirmation"
        title: page.t("Удалить отчёт?", "Delete report?")
        message: DddArchiveText.deleteQuestion(page.pendingDeletion, page.english)
        acceptText: page.t("Удалить", "Delete")
        rejectText: page.t("Отмена", "Cancel")
        uiScale: page.uiScale
        onAccepted: page.controller.deleteSavedReport(page.pendingDeletion.reportId,
                                                      DddArchiveText.isTachographRow(page.pendingDeletion))
    }

    MessageBox {
        id: duplicateNotice

        objectName: "duplicateNotice"
        title: page.t("Отчёт уже сохранён", "Report already saved")
        message: DddArchiveText.duplicateNotice(page.duplicateReportId, page.english)
        acceptText: page.t("Понятно", "OK")
        uiScale: page.uiScale
    }

    DddPdfExport {
        id: pdfExport

        objectName: "pdfExport"
        controller: page.controller
        isTachograph: page.isTachograph
        sourceName: page.controller && page.controller.fileName.length > 0 ? page.controller.fileName
                                                                              : DddArchiveText.text(page.summary.fileName)
        rows: page.rows
        analysis: page.analysis
        english: page.english
        uiScale: page.uiScale
    }

    Dialog {
        id: hexDialog

        objectName: "hexDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        title: page.t("HEX-содержимое блока", "Block HEX contents")
        width: Math.min(920 * page.uiScale, parent ? parent.width : 920)
        height: Math.min(720 * page.uiScale, parent ? parent.height : 720)

        ColumnLayout {
            anchors.fill: parent
            spacing: Math.round(6 * page.uiScale)

            Label {
                Layout.fillWidth: true
                text: page.hexDialogTitle
                textFormat: Text.PlainText
                font.bold: true
                elide: Text.ElideRight
            }

            ScrollView {
                Layout.fillWidth: true
                Layout.fillHeight: true

                TextArea {
                    objectName: "hexText"
                    text: page.hexDialogText
                    textFormat: TextEdit.PlainText
                    readOnly: true
                    selectByMouse: true
                    font.family: "monospace"
                    wrapMode: TextEdit.NoWrap
                }
            }
        }

        footer: DialogButtonBox {
            Button {
                text: page.t("Закрыть", "Close")
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }
    }
}
