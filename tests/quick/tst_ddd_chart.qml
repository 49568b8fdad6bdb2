import QtQuick
import QtTest
import Tessaron

TestCase {
    id: testCase

    name: "DddChart"
    when: windowShown
    visible: true
    width: 1100
    height: 600

    Component {
        id: chartComponent

        DddChart {
            width: 1000
            height: 500
        }
    }

    // A day of detailed speed: 1440 one-minute blocks of 60 speeds, 86 400 samples.
    function dayOfSpeed() {
        var rows = [];
        for (var minute = 0; minute < 1440; ++minute) {
            var values = [];
            for (var second = 0; second < 60; ++second)
                values.push((minute + second) % 100);
            var hours = Math.floor(minute / 60);
            var minutes = minute % 60;
            rows.push({
                speedBlockBeginDate: "01.08.2022 " + hours + ":" + (minutes < 10 ? "0" : "") + minutes + ":00",
                speedValues: values,
                validSpeedCount: 60,
                averageSpeed: 50
            });
        }
        return rows;
    }

    function createChart(properties) {
        var chart = createTemporaryObject(chartComponent, testCase, properties);
        verify(chart);
        return chart;
    }

    function textShown(item, text) {
        if (item.visible === false)
            return false;
        if (item.text === text && item.hasOwnProperty("textFormat"))
            return true;
        for (var i = 0; i < item.children.length; ++i) {
            if (textShown(item.children[i], text))
                return true;
        }
        return false;
    }

    Component {
        id: spyComponent

        SignalSpy {
            signalName: "seriesChanged"
        }
    }

    function builtSeries(chart) {
        tryVerify(function () { return !chart.speedSeriesPending; }, 5000, "the speed series is built");
        return chart.speedSeries;
    }

    function test_speedSeriesIsBuiltOnceAfterAPauseAndDrawnFromTheCache() {
        var chart = createChart({ chartType: DddChartSeries.ChartSpeed, speedRows: dayOfSpeed() });
        compare(chart.speedSeries.points.length, 0);
        verify(chart.speedSeriesPending);
        verify(textShown(chart, "Строится график скорости…"), "the chart tells that its series is being built");
        waitForRendering(chart);
        grabImage(chart).save("ddd_chart_speed_building.png");
        verify(!textShown(chart, "В файле нет данных детальной скорости"), "no empty notice while the series is built");
        var series = builtSeries(chart);
        compare([series.bucketCount, series.bucketSize, chart.series.length], [625, 139, 622]);
        verify(textShown(chart, "Элементов: 86400"));
        verify(!textShown(chart, "Строится график скорости…"));
        var builds = createTemporaryObject(spyComponent, testCase, { target: series });

        chart.visualizationType = DddChartSeries.StyleArea;
        chart.english = true;
        chart.width = 1001;
        wait(400);
        compare(builds.count, 0, "a repaint or a width that keeps the bucket count reuses the series");

        chart.zoomFactor = 3;
        chart.zoomFactor = 2;
        verify(chart.speedSeriesPending);
        compare(chart.series.length, 622, "the series drawn stays until the new one is here");
        verify(textShown(chart, "Building the speed chart…"));
        builtSeries(chart);
        compare([builds.count, series.bucketCount], [1, 1200], "changes within the pause make one build");

        // Other rows (another file): the old series is gone at once, never drawn over the new rows.
        chart.speedRows = dayOfSpeed().slice(0, 10);
        compare([chart.speedSampleCount, chart.series.length], [0, 0]);
        verify(chart.speedSeriesPending);
        builtSeries(chart);
        compare([chart.speedSampleCount, chart.series.length], [600, 600]);
    }

    function test_leavingTheSpeedChartClampsTheZoom() {
        var chart = createChart({ chartType: DddChartSeries.ChartSpeed, speedRows: [] });
        chart.zoomFactor = 12;
        compare(chart.maximumZoom, 20);
        builtSeries(chart);
        verify(textShown(chart, "В файле нет данных детальной скорости"));
        chart.chartType = DddChartSeries.ChartFaults;
        compare([chart.zoomFactor, chart.maximumZoom], [3, 3]);
        chart.english = true;
        verify(textShown(chart, "Not enough data for chart"));
    }

    // Other charts build no speed series, whatever speed rows they are given.
    function test_speedSeriesIsBuiltOnlyForTheSpeedChart() {
        var chart = createChart({ chartType: DddChartSeries.ChartEvents, speedRows: dayOfSpeed() });
        wait(400);
        verify(!chart.speedSeriesPending);
        compare(chart.speedSeries.sampleCount, 0);
        chart.chartType = DddChartSeries.ChartSpeed;
        builtSeries(chart);
        compare(chart.speedSampleCount, 86400);
    }

    function test_legendCountAndLanes() {
        var rows = [];
        for (var day = 1; day <= 30; ++day)
            rows.push({ day: day, minutes: 0, activity: "Drive" });
        var chart = createChart({ chartType: DddChartSeries.ChartActivity, activityRows: rows });
        verify(textShown(chart, "Не вставлена карта"));
        verify(textShown(chart, "Элементов: 30"));
        verify(chart.seriesPending);
        verify(textShown(chart, "Строится график активности…"), "the chart tells that its lanes are being made");
        verify(!textShown(chart, "Недостаточно данных для графика"));
        tryVerify(function () { return !chart.seriesPending; }, 5000, "the activity series is built");
        verify(!textShown(chart, "Строится график активности…"));
        compare(chart.laneCount, 30);
        waitForRendering(chart);
        var flick = chart.canvas.parent.parent;
        verify(flick.contentHeight > flick.height, "30 lanes of at least 22 pixels need more room than the view");
        flick.contentY = flick.contentHeight - flick.height;
        waitForRendering(chart);
        wait(300);
        grabImage(chart).save("ddd_chart_activity_scrolled.png");
        chart.visualizationType = DddChartSeries.StyleBars;
        compare([chart.laneCount, chart.series.length], [0, 30]);
        chart.visualizationType = DddChartSeries.StylePie;
        compare(DddChartSeries.pieSlices(chart.series, false).map(function (slice) { return slice.label; }), ["Drive"]);
    }

    // The activity series is built only for the activity chart, and the speed chart's notice is its own.
    function test_activitySeriesIsBuiltOnlyForTheActivityChart() {
        var chart = createChart({ chartType: DddChartSeries.ChartSpeed, speedRows: dayOfSpeed(),
                                  activityRows: [{ day: 1, activity: "Drive" }] });
        verify(!chart.activitySeries.building);
        verify(textShown(chart, "Строится график скорости…"));
        builtSeries(chart);
        compare(chart.activitySeries.laneCount, 0);
        chart.chartType = DddChartSeries.ChartActivity;
        verify(chart.seriesPending);
        tryCompare(chart, "laneCount", 1);
    }
}
