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

    function test_speedSeriesIsBuiltOnceAfterAPauseAndDrawnFromTheCache() {
        var chart = createChart({ chartType: DddChartSeries.ChartSpeed, speedRows: dayOfSpeed() });
        compare(chart.speedSeries, null);
        verify(chart.speedSeriesPending);
        verify(!textShown(chart, "В файле нет данных детальной скорости"), "no empty notice while the series is built");
        tryVerify(function () { return chart.speedSeries !== null; }, 3000);
        var built = chart.speedSeries;
        compare(built.bucketCount, DddChartSeries.bucketCountFor(1000, 1));
        verify(textShown(chart, "Элементов: 86400"));

        chart.visualizationType = DddChartSeries.StyleArea;
        chart.english = true;
        chart.width = 1001;
        wait(400);
        verify(chart.speedSeries === built, "a repaint or a width that keeps the bucket count reuses the series");

        chart.zoomFactor = 2;
        tryVerify(function () { return chart.speedSeries !== built; }, 3000);
        compare(chart.speedSeries.bucketCount, 1200);
    }

    function test_leavingTheSpeedChartClampsTheZoom() {
        var chart = createChart({ chartType: DddChartSeries.ChartSpeed, speedRows: [] });
        chart.zoomFactor = 12;
        compare(chart.maximumZoom, 20);
        tryVerify(function () { return chart.speedSeries !== null; }, 3000);
        verify(textShown(chart, "В файле нет данных детальной скорости"));
        chart.chartType = DddChartSeries.ChartFaults;
        compare([chart.zoomFactor, chart.maximumZoom], [3, 3]);
        chart.english = true;
        verify(textShown(chart, "Not enough data for chart"));
    }

    function test_legendCountAndLanes() {
        var rows = [];
        for (var day = 1; day <= 30; ++day)
            rows.push({ day: day, minutes: 0, activity: "Drive" });
        var chart = createChart({ chartType: DddChartSeries.ChartActivity, activityRows: rows });
        verify(textShown(chart, "Не вставлена карта"));
        verify(textShown(chart, "Элементов: 30"));
        compare(chart.lanes.length, 30);
        waitForRendering(chart);
        var flick = chart.canvas.parent.parent;
        verify(flick.contentHeight > flick.height, "30 lanes of at least 22 pixels need more room than the view");
        chart.visualizationType = DddChartSeries.StyleBars;
        compare([chart.lanes.length, chart.series.length], [0, 30]);
    }
}
