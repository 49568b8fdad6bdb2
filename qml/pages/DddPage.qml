import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

// The DDD viewer: opens a .ddd file through app.ddd and shows its summary, its datasets, the driver-activity
// analysis and charts. Its language switch affects this page only.
PageFrame {
    id: page

    property bool english: false
    property bool resumeMonitoringOnClose: true
    property int selectedChartMetric: 0
    property int selectedChartStyle: 0
    property string hexDialogTitle: ""
    property string hexDialogText: ""

    // The selected section by kind (a dataset's key, "#analysis" or "#charts"), so the selection does not jump
    // when the number of listed datasets changes.
    property string selectedSection: ""

    // The controller's lists as script arrays, converted once per change of the controller's state.
    property var rows: ({})
    property var summary: ({})
    property var analysis: ({})

    readonly property bool busy: controller ? controller.busy : false
    readonly property string statusText: controller ? controller.statusText : ""
    readonly property string lastError: controller ? controller.lastError : ""
    readonly property bool hasReport: (controller && controller.fileName.length > 0)
                                      || DddPageText.present(summary.fileName)
    readonly property bool isTachograph: {
        var type = controller ? controller.fileType : "";
        var summaryType = summary.fileType;
        return type === "Тахограф" || type === "Tachograph" || summaryType === "Тахограф" || summaryType === "Tachograph";
    }
    readonly property var datasets: DddPageText.shownDatasets(isTachograph, function (key) { return rows[key]; },
                                                              rows.sections)
    readonly property var navigationNames: DddPageText.navigationNames(datasets, english)
    readonly property int sectionIndex: DddPageText.sectionIndexOf(datasets, selectedSection)
    readonly property int stackIndex: DddPageText.stackIndex(sectionIndex, datasets.length)
    readonly property var currentDataset: sectionIndex < datasets.length ? datasets[sectionIndex] : null
    readonly property var workingHours: DddPageText.list(analysis, "workingHours")

    // The height left for the data area below the bars and the file box, so that it fills a scrolling page too.
    readonly property real roomForData: {
        var used = 2 * contentMargin;
        var above = [busyBar, statusBar, fileBox];
        for (var i = 0; i < above.length; ++i) {
            if (above[i].visible)
                used += above[i].height + contentSpacing;
        }
        return (contentItem ? contentItem.height : availableHeight) - used;
    }

    function t(ru, en) {
        return english ? en : ru;
    }

    function tr(text) {
        return DddPageText.translate(text, english);
    }

    function selectSection(index) {
        selectedSection = DddPageText.sectionKey(datasets, index);
    }

    function reloadRows() {
        var lists = {};
        var keys = DddPageText.controllerLists;
        for (var i = 0; i < keys.length; ++i)
            lists[keys[i]] = controller ? controller[keys[i]] || [] : [];
        rows = lists;
        summary = controller && controller.summary ? controller.summary : {};
        analysis = controller && controller.analysis ? controller.analysis : {};
    }

    function showBlockHex(row) {
        hexDialogTitle = DddPageText.hexTitle(row);
        hexDialogText = DddPageText.hexDump(DddPageText.blockHex(row), english);
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
    Component.onCompleted: reloadRows()
    onBackRequested: {
        if (popPage() && resumeMonitoringOnClose && app)
            app.resumeDeviceMonitoring();
    }

    Connections {
        target: page.controller

        function onStateChanged() {
            page.reloadRows();
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

    footerComponent: Component {
        Pane {
            id: footerPane

            readonly property bool narrow: page.width < 1150

            padding: Math.round(8 * page.uiScale)

            ColumnLayout {
                anchors.fill: parent
                spacing: Math.round(6 * page.uiScale)

                GridLayout {
                    id: buttonGrid

                    Layout.fillWidth: true
                    columns: footerPane.narrow ? 3 : 4
                    columnSpacing: Math.round(8 * page.uiScale)

                    Button {
                        objectName: "openButton"
                        Layout.fillWidth: true
                        text: page.t("Открыть .ddd", "Open .ddd")
                        enabled: !page.busy
                        onClicked: page.controller.chooseAndOpenFile()
                    }

                    Button {
                        objectName: "processButton"
                        Layout.fillWidth: true
                        text: page.t("Обработать", "Process")
                        enabled: page.controller !== null && page.controller.fileName.length > 0 && !page.busy
                        onClicked: page.controller.openFile(page.controller.filePath)
                    }

                    Button {
                        objectName: "chartsButton"
                        Layout.fillWidth: true
                        text: page.t("Графики", "Charts")
                        enabled: page.hasReport
                        onClicked: page.selectSection(page.datasets.length + 1)
                    }
                }

                RowLayout {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.fillWidth: false
                    Layout.preferredWidth: footerPane.narrow ? buttonGrid.width : buttonGrid.width * 0.75
                    Layout.maximumWidth: Layout.preferredWidth

                    Button {
                        objectName: "clearButton"
                        Layout.fillWidth: true
                        text: page.t("Очистить", "Clear")
                        enabled: !page.busy
                        onClicked: page.controller.clear()
                    }
                }
            }
        }
    }

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
    }

    Rectangle {
        id: statusBar

        objectName: "statusBar"
        Layout.fillWidth: true
        Layout.preferredHeight: statusLabel.implicitHeight + Math.round(16 * page.uiScale)
        visible: (page.hasReport || page.lastError.length > 0 || page.busy)
                 && (page.statusText.length > 0 || page.lastError.length > 0)
        color: page.lastError.length > 0 ? "#fde9e9" : "#eaf4ea"
        border.color: page.lastError.length > 0 ? "#dd6666" : "#8abf8a"
        radius: 4

        Label {
            id: statusLabel

            objectName: "statusLabel"
            anchors.fill: parent
            anchors.margins: Math.round(8 * page.uiScale)
            verticalAlignment: Text.AlignVCenter
            text: page.tr(page.lastError.length > 0 ? page.lastError : page.statusText)
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: page.lastError.length > 0 ? "#a00000" : "#276327"
        }
    }

    GroupBox {
        id: fileBox

        objectName: "fileBox"
        Layout.fillWidth: true
        visible: page.hasReport
        title: page.t("Файл", "File")

        GridLayout {
            anchors.left: parent.left
            anchors.right: parent.right
            columns: 4
            columnSpacing: Math.round(12 * page.uiScale)
            rowSpacing: Math.round(4 * page.uiScale)

            Repeater {
                model: page.hasReport ? DddPageText.fileBoxRows(page.controller, page.summary, page.isTachograph, page.english)
                                      : []

                delegate: RowLayout {
                    id: fileRow

                    required property var modelData

                    Layout.columnSpan: 2
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    spacing: Math.round(8 * page.uiScale)

                    Label {
                        text: fileRow.modelData[0]
                        textFormat: Text.PlainText
                        color: "#555555"
                    }

                    Label {
                        Layout.fillWidth: true
                        text: fileRow.modelData[1]
                        textFormat: Text.PlainText
                        font.bold: true
                        elide: Text.ElideRight
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
        visible: page.hasReport
        spacing: page.contentSpacing

        ListView {
            id: sectionList

            objectName: "sectionList"
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

                Label {
                    anchors.fill: parent
                    anchors.leftMargin: Math.round(10 * page.uiScale)
                    anchors.rightMargin: Math.round(6 * page.uiScale)
                    verticalAlignment: Text.AlignVCenter
                    text: sectionRow.modelData
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
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

            Flickable {
                id: analysisView

                objectName: "analysisView"
                clip: true
                contentWidth: width
                contentHeight: analysisColumn.implicitHeight
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar {}

                ColumnLayout {
                    id: analysisColumn

                    readonly property var compliance: DddPageText.group(page.analysis, "compliance")
                    readonly property int overallScore: Number(compliance.overallScore) || 0

                    width: analysisView.width - Math.round(12 * page.uiScale)
                    spacing: page.contentSpacing

                    Label {
                        text: page.t("Сводный анализ режима труда и отдыха", "Summary of working and rest time")
                        textFormat: Text.PlainText
                        font.bold: true
                        font.pixelSize: Math.round(page.uiFontSize * 1.15)
                    }

                    GridLayout {
                        Layout.fillWidth: true
                        columns: 4
                        columnSpacing: Math.round(8 * page.uiScale)
                        rowSpacing: Math.round(8 * page.uiScale)

                        Repeater {
                            model: DddPageText.analysisTiles(page.analysis, page.english)

                            delegate: Rectangle {
                                id: tile

                                required property var modelData

                                Layout.fillWidth: true
                                Layout.preferredWidth: 1
                                implicitHeight: tileColumn.implicitHeight + Math.round(16 * page.uiScale)
                                color: "#f7f9fb"
                                border.color: "#dddddd"
                                radius: 4

                                ColumnLayout {
                                    id: tileColumn

                                    anchors.fill: parent
                                    anchors.margins: Math.round(8 * page.uiScale)
                                    spacing: 2

                                    Label {
                                        Layout.fillWidth: true
                                        text: tile.modelData.label
                                        textFormat: Text.PlainText
                                        color: "#555555"
                                        elide: Text.ElideRight
                                    }

                                    Label {
                                        Layout.fillWidth: true
                                        text: tile.modelData.value
                                        textFormat: Text.PlainText
                                        font.bold: true
                                        font.pixelSize: Math.round(page.uiFontSize * 1.2)
                                        elide: Text.ElideRight
                                    }
                                }
                            }
                        }
                    }

                    Rectangle {
                        objectName: "complianceBox"
                        Layout.fillWidth: true
                        implicitHeight: complianceColumn.implicitHeight + Math.round(20 * page.uiScale)
                        border.color: DddPageText.scoreColor(analysisColumn.overallScore)
                        border.width: 2
                        radius: 4

                        ColumnLayout {
                            id: complianceColumn

                            anchors.fill: parent
                            anchors.margins: Math.round(10 * page.uiScale)
                            spacing: 4

                            RowLayout {
                                Label {
                                    text: page.t("Соблюдение режима", "Compliance")
                                    textFormat: Text.PlainText
                                }

                                Label {
                                    text: analysisColumn.overallScore + " / 100"
                                    textFormat: Text.PlainText
                                    font.bold: true
                                    color: DddPageText.scoreColor(analysisColumn.overallScore)
                                }
                            }

                            RowLayout {
                                Label {
                                    text: page.t("Дневное вождение", "Daily driving")
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
                                      ? page.t("Нарушений не выявлено", "No violations found")
                                      : page.t("Требуется внимание", "Attention required")
                                textFormat: Text.PlainText
                                color: analysisColumn.compliance.isCompliant === true ? "#2e7d32" : "#b00020"
                                font.bold: true
                            }
                        }
                    }

                    Label {
                        text: page.t("Распределение времени", "Time classification")
                        textFormat: Text.PlainText
                        font.bold: true
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: Math.round(8 * page.uiScale)

                        Repeater {
                            model: DddPageText.classificationTiles(page.analysis, page.english)

                            delegate: Rectangle {
                                id: classTile

                                required property var modelData

                                Layout.fillWidth: true
                                Layout.preferredWidth: 1
                                implicitHeight: classColumn.implicitHeight + Math.round(16 * page.uiScale)
                                color: "#ffffff"
                                border.color: modelData.color
                                radius: 4

                                ColumnLayout {
                                    id: classColumn

                                    anchors.fill: parent
                                    anchors.margins: Math.round(8 * page.uiScale)
                                    spacing: 2

                                    Label {
                                        text: classTile.modelData.label
                                        textFormat: Text.PlainText
                                        color: "#555555"
                                    }

                                    Label {
                                        text: classTile.modelData.value
                                        textFormat: Text.PlainText
                                        font.bold: true
                                        font.pixelSize: Math.round(page.uiFontSize * 1.2)
                                        color: classTile.modelData.color
                                    }
                                }
                            }
                        }
                    }

                    DddDatasetView {
                        objectName: "workingHoursView"
                        Layout.fillWidth: true
                        Layout.preferredHeight: Math.min(Math.max(140 * page.uiScale, headerHeight + rowCount * rowHeight + 16),
                                                         360 * page.uiScale)
                        rows: page.workingHours
                        columns: DddPageText.localizedColumns(DddPageText.workingHoursColumns, page.english)
                        fillLastColumn: false
                        uiScale: page.uiScale
                        uiFontSize: page.uiFontSize
                        english: page.english
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        Layout.bottomMargin: Math.round(8 * page.uiScale)
                        spacing: Math.round(8 * page.uiScale)

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
                                implicitHeight: panelColumn.implicitHeight + Math.round(16 * page.uiScale)
                                color: modelData.fill
                                border.color: modelData.color
                                radius: 4

                                ColumnLayout {
                                    id: panelColumn

                                    anchors.fill: parent
                                    anchors.margins: Math.round(8 * page.uiScale)
                                    spacing: 4

                                    Label {
                                        text: page.t(panel.modelData.ru, panel.modelData.en) + " (" + panel.items.length + ")"
                                        textFormat: Text.PlainText
                                        font.bold: true
                                        color: panel.modelData.color
                                    }

                                    Repeater {
                                        model: DddPageText.messageLines(panel.items, page.english)

                                        delegate: Label {
                                            required property string modelData

                                            Layout.fillWidth: true
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

            ColumnLayout {
                objectName: "chartsView"
                spacing: page.contentSpacing

                RowLayout {
                    spacing: Math.round(8 * page.uiScale)

                    Label {
                        text: page.t("Показатель:", "Metric:")
                    }

                    ComboBox {
                        objectName: "metricBox"
                        Layout.preferredWidth: Math.round(230 * page.uiScale)
                        model: DddPageText.names(DddPageText.chartMetrics, page.english)
                        currentIndex: page.selectedChartMetric
                        onActivated: function (index) { page.selectedChartMetric = index; }
                    }

                    Label {
                        text: page.t("Вид:", "View:")
                    }

                    ComboBox {
                        objectName: "styleBox"
                        Layout.preferredWidth: Math.round(170 * page.uiScale)
                        model: DddPageText.names(DddPageText.chartStyles, page.english)
                        currentIndex: page.selectedChartStyle
                        onActivated: function (index) { page.selectedChartStyle = index; }
                    }
                }

                DddChart {
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
                    vehicleRows: page.rows.vehicles || []
                    eventRows: DddPageText.nonEmpty(page.rows.tachoEvents, page.rows.events)
                    faultRows: DddPageText.nonEmpty(page.rows.tachoFaults, page.rows.faults)
                    dayRows: page.rows.dayInformation || []
                    placeRows: DddPageText.nonEmpty(page.rows.places, page.rows.placeDailyWorkPeriod)
                    calibrationRows: page.rows.calibrationData || []
                    workingRows: page.workingHours
                }
            }
        }
    }

    Label {
        objectName: "hint"
        Layout.fillWidth: true
        visible: !page.hasReport && !page.busy
        text: page.t("Выберите файл .ddd. После разбора слева появятся только разделы, соответствующие типу файла.",
                     "Select a .ddd file. After decoding, the left panel will show only sections for its file type.")
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        color: "#555555"
    }

    Item {
        Layout.fillHeight: true
        visible: !page.hasReport
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
