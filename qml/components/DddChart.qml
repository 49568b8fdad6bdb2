import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

// One of the nine charts of a decoded report, drawn on a canvas in one of six styles, with zoom. The canvas
// covers only the visible part of the zoomed content, so a deep zoom costs no memory.
Item {
    id: chart

    property int chartType: 0
    property int visualizationType: 0
    property var activityRows: []
    property var speedRows: []
    // The distances the report computed ({label, value} in km), drawn as they are.
    property var distanceRows: []
    property var eventRows: []
    property var faultRows: []
    property var dayRows: []
    property var placeRows: []
    property var calibrationRows: []
    property var workingRows: []
    property real uiScale: 1.0
    property int uiFontSize: 16
    property bool english: false
    property bool compactLandscape: false
    property real zoomFactor: 1.0
    readonly property real maximumZoom: DddChartSeries.maximumZoom(chartType)

    // The detailed speed, bucketed by a C++ worker off the GUI thread (a month joined many times over is millions
    // of one-second values) and drawn from here: rebuilt only after a pause in the changes of the rows, the width
    // or the zoom, and only while this is the speed chart. While it is built the chart says so.
    readonly property alias speedSeries: speedBuilder
    readonly property int speedSampleCount: speedBuilder.sampleCount
    readonly property bool speedSeriesPending: speedBuilder.building
    readonly property var speedPoints: DddChartSeries.speedPoints(speedBuilder.points)

    // The activity chart's day lanes and counts, made by a C++ worker from every activity row (tens of
    // thousands of changes in a file joined many times over) while this is the activity chart.
    readonly property alias activitySeries: activityBuilder

    readonly property bool isSpeed: chartType === DddChartSeries.ChartSpeed
    readonly property bool isActivity: chartType === DddChartSeries.ChartActivity
    // True while the series of the chart shown is being built on a worker.
    readonly property bool seriesPending: isSpeed ? speedBuilder.building
                                                  : isActivity && activityBuilder.building
    // True when the series of the chart shown could not be built for want of memory: the area says so instead of
    // drawing, and the rest of the page stays.
    readonly property bool seriesFailed: isSpeed ? speedBuilder.failed : isActivity && activityBuilder.failed
    readonly property string form: DddChartSeries.drawingForm(chartType, visualizationType)
    readonly property var series: {
        if (isSpeed)
            return speedPoints;
        if (isActivity) {
            if (form === "lanes")
                return [];
            return DddChartSeries.countPoints(form === "pie" ? activityBuilder.activityCounts
                                                             : activityBuilder.dayCounts);
        }
        return DddChartSeries.numericSeries(chartType, visualizationType, chart, english);
    }
    // The day lanes: how many there are; the painter asks the series for those in view.
    readonly property int laneCount: isActivity && form === "lanes" ? activityBuilder.laneCount : 0
    readonly property int itemCount: {
        switch (chartType) {
        case DddChartSeries.ChartActivity:
            return count(activityRows);
        case DddChartSeries.ChartSpeed:
            return speedSampleCount;
        case DddChartSeries.ChartDistance:
            return series.length;
        case DddChartSeries.ChartEvents:
            return count(eventRows);
        case DddChartSeries.ChartFaults:
            return count(faultRows);
        case DddChartSeries.ChartOdometer:
            return count(dayRows);
        case DddChartSeries.ChartPlaces:
            return count(placeRows);
        case DddChartSeries.ChartCalibrations:
            return count(calibrationRows);
        case DddChartSeries.ChartWorkTime:
            return count(workingRows);
        }
        return 0;
    }
    readonly property alias canvas: canvas

    function count(rows) {
        return rows && rows.length !== undefined ? rows.length : 0;
    }

    function t(ru, en) {
        return english ? en : ru;
    }

    function repaint() {
        canvas.requestPaint();
    }

    // The technician chose this chart again (its metric, its view, the charts section): a series that failed for
    // want of memory is tried once more, memory may be back.
    function chooseAgain() {
        if (isSpeed)
            speedBuilder.tryAgain();
        else if (isActivity)
            activityBuilder.tryAgain();
    }

    onZoomFactorChanged: repaint()
    onChartTypeChanged: {
        zoomFactor = DddChartSeries.zoomAfterChartChange(chartType, zoomFactor);
        repaint();
    }
    onSeriesChanged: repaint()
    onLaneCountChanged: repaint()
    onFormChanged: repaint()
    onEnglishChanged: repaint()

    DddSpeedSeries {
        id: speedBuilder

        rows: chart.speedRows || []
        chartWidth: area.width
        zoom: chart.zoomFactor
        active: chart.isSpeed
    }

    DddActivitySeries {
        id: activityBuilder

        rows: chart.activityRows || []
        active: chart.isActivity
        // The lanes are asked for at every paint, so new ones of as many days need a paint of their own.
        onSeriesChanged: chart.repaint()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 6 * chart.uiScale

        Text {
            objectName: "chartTitle"
            Layout.fillWidth: true
            text: DddChartSeries.title(chart.chartType, chart.english)
            textFormat: Text.PlainText
            font.pixelSize: chart.uiFontSize + 2
            font.bold: true
            color: "#333333"
            elide: Text.ElideRight
        }

        Flow {
            Layout.fillWidth: true
            spacing: 12 * chart.uiScale

            Repeater {
                model: DddChartSeries.legend(chart.chartType, chart.english)

                Row {
                    id: legendEntry

                    required property var modelData

                    spacing: 4 * chart.uiScale

                    Rectangle {
                        anchors.verticalCenter: parent.verticalCenter
                        width: 12 * chart.uiScale
                        height: width
                        color: legendEntry.modelData.color
                    }

                    Text {
                        text: legendEntry.modelData.label
                        textFormat: Text.PlainText
                        font.pixelSize: chart.uiFontSize
                        color: "#333333"
                    }
                }
            }

            Text {
                text: chart.t("Элементов: %1", "Items: %1").replace("%1", chart.itemCount)
                textFormat: Text.PlainText
                font.pixelSize: chart.uiFontSize
                color: "#555555"
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 8 * chart.uiScale

            Label {
                text: chart.t("Масштаб:", "Zoom:")
                font.pixelSize: chart.uiFontSize
            }

            Slider {
                id: zoomSlider

                Layout.preferredWidth: 220 * chart.uiScale
                from: 1.0
                to: chart.maximumZoom
                stepSize: DddChartSeries.zoomStep(chart.chartType)
                snapMode: Slider.SnapAlways
                value: chart.zoomFactor
                onMoved: chart.zoomFactor = value
            }

            Label {
                text: chart.zoomFactor.toFixed(2) + "×"
                font.pixelSize: chart.uiFontSize
            }

            Button {
                text: chart.t("Сбросить", "Reset")
                font.pixelSize: chart.uiFontSize
                onClicked: chart.zoomFactor = 1.0
            }

            Label {
                Layout.fillWidth: true
                visible: chart.zoomFactor > 1.0
                text: chart.t("Используйте горизонтальную прокрутку", "Use horizontal scrolling")
                font.pixelSize: chart.uiFontSize
                color: "#555555"
                elide: Text.ElideRight
            }
        }

        Rectangle {
            id: area

            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumHeight: 160 * chart.uiScale
            color: "#ffffff"
            border.color: "#dddddd"
            clip: true

            onWidthChanged: chart.repaint()
            onHeightChanged: chart.repaint()

            Flickable {
                id: flick

                anchors.fill: parent
                anchors.margins: 1
                anchors.bottomMargin: horizontalBar.visible ? horizontalBar.height + 1 : 1
                contentWidth: width * chart.zoomFactor
                contentHeight: DddChartPainter.contentHeight({
                    form: chart.form, chartType: chart.chartType, style: chart.visualizationType,
                    uiScale: chart.uiScale, viewHeight: height, laneCount: chart.laneCount
                })
                boundsBehavior: Flickable.StopAtBounds
                clip: true
                visible: chart.itemCount > 0 && !chart.seriesFailed
                onContentXChanged: chart.repaint()
                onContentYChanged: chart.repaint()

                ScrollBar.vertical: ScrollBar {
                    policy: flick.contentHeight > flick.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
                }

                Canvas {
                    id: canvas

                    x: flick.contentX
                    y: flick.contentY
                    width: flick.width
                    height: flick.height
                    // Rasterised on a thread of its own: a speed line of 1200 buckets with their shaded ranges
                    // takes over 100 ms to fill where the scene graph renders on the GUI thread.
                    renderStrategy: Canvas.Threaded
                    onWidthChanged: requestPaint()
                    onHeightChanged: requestPaint()
                    onPaint: {
                        var ctx = getContext("2d");
                        DddChartPainter.paint(ctx, width, height, {
                            width: flick.contentWidth,
                            height: flick.contentHeight,
                            viewHeight: flick.height,
                            offsetX: flick.contentX,
                            offsetY: flick.contentY,
                            chartType: chart.chartType,
                            style: chart.visualizationType,
                            form: chart.form,
                            uiScale: chart.uiScale,
                            uiFontSize: chart.uiFontSize,
                            english: chart.english,
                            compact: chart.compactLandscape,
                            laneCount: chart.laneCount,
                            lanesFrom: function (first, count) { return activityBuilder.lanesFrom(first, count); },
                            points: chart.series
                        });
                    }
                }
            }

            ScrollBar {
                id: horizontalBar

                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                orientation: Qt.Horizontal
                visible: flick.visible && flick.contentWidth > flick.width + 0.5
                policy: ScrollBar.AlwaysOn
                size: flick.visibleArea.widthRatio
                position: flick.visibleArea.xPosition
                onPositionChanged: {
                    if (pressed)
                        flick.contentX = position * flick.contentWidth;
                }
            }

            Rectangle {
                objectName: "buildingNotice"
                anchors.centerIn: parent
                width: buildingText.implicitWidth + 24 * chart.uiScale
                height: buildingText.implicitHeight + 12 * chart.uiScale
                visible: chart.seriesPending
                color: "#f2ffffff"
                border.color: "#dddddd"
                radius: 4 * chart.uiScale

                Text {
                    id: buildingText

                    anchors.centerIn: parent
                    text: DddChartSeries.buildingText(chart.chartType, chart.english)
                    textFormat: Text.PlainText
                    font.pixelSize: chart.uiFontSize
                    color: "#555555"
                }
            }

            Text {
                anchors.centerIn: parent
                width: parent.width - 24
                visible: chart.itemCount === 0 && !chart.seriesPending && !chart.seriesFailed
                text: DddChartSeries.emptyText(chart.chartType, chart.english)
                textFormat: Text.PlainText
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                font.pixelSize: chart.uiFontSize
                color: "#777777"
            }

            Text {
                objectName: "failureNotice"
                anchors.centerIn: parent
                width: parent.width - 24
                visible: chart.seriesFailed && !chart.seriesPending
                text: DddChartSeries.failureText(chart.english)
                textFormat: Text.PlainText
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                font.pixelSize: chart.uiFontSize
                color: "#a00000"
            }
        }
    }
}
