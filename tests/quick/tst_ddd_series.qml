import QtQuick
import QtTest
import Tessaron

// The chart series: speed buckets, counts, the pie's "other" slice, the driven distances, day lanes and their
// counts.
TestCase {
    id: testCase

    name: "DddSeries"

    // Rows of one-minute speed blocks holding `samples` speeds in all, from 01.03.2024 0:00:00.
    function speedRows(samples) {
        var rows = [];
        for (var done = 0; done < samples; done += 60) {
            var minute = done / 60;
            var values = [];
            for (var i = done; i < Math.min(done + 60, samples); ++i)
                values.push(i % 90);
            var time = Math.floor(minute % 1440 / 60) + ":" + ("0" + minute % 60).slice(-2) + ":00";
            rows.push({ speedBlockBeginDate: (1 + Math.floor(minute / 1440)) + ".03.2024 " + time, speedValues: values,
                        validSpeedCount: values.length });
        }
        return rows;
    }

    Component {
        id: seriesComponent

        DddSpeedSeries {
            active: true
        }
    }

    Component {
        id: activityComponent

        DddActivitySeries {
            active: true
        }
    }

    // The activity series the chart's C++ builder makes of the rows, once it is built.
    function activitySeries(rows) {
        var series = createTemporaryObject(activityComponent, testCase, { rows: rows });
        verify(series.building);
        tryVerify(function () { return !series.building; }, 5000, "the activity series is built");
        return series;
    }

    // Every lane as "key:start-end#colour,...".
    function laneTexts(series) {
        return series.lanesFrom(0, series.laneCount).map(function (lane) {
            return lane.key + ":" + lane.segments.map(function (segment) {
                return segment.start + "-" + segment.end + segment.color;
            }).join(",");
        });
    }

    // The series the chart's C++ builder makes of the rows, at that width and zoom, once it is built.
    function speedSeries(rows, width, zoom) {
        var series = createTemporaryObject(seriesComponent, testCase, { rows: rows, chartWidth: width, zoom: zoom });
        verify(series.building);
        tryVerify(function () { return !series.building; }, 5000, "the speed series is built");
        return series;
    }

    function test_speedBuckets_data() {
        return [
            { tag: "100 000 samples at zoom 1", samples: 100000, width: 1000, zoom: 1, buckets: 625, size: 160, points: 625 },
            { tag: "100 000 samples at zoom 2", samples: 100000, width: 1000, zoom: 2, buckets: 1200, size: 84, points: 1191 },
            { tag: "narrow chart keeps 180 buckets", samples: 3600, width: 100, zoom: 1, buckets: 180, size: 20, points: 180 },
            { tag: "fewer samples than buckets", samples: 120, width: 1000, zoom: 1, buckets: 625, size: 1, points: 120 }
        ];
    }

    function test_speedBuckets(data) {
        var series = speedSeries(speedRows(data.samples), data.width, data.zoom);
        compare(series.sampleCount, data.samples);
        compare(series.bucketCount, data.buckets);
        compare(series.bucketSize, data.size);
        compare(series.points.length, data.points);
    }

    function test_speedBucketsKeepPeaksAndTimes() {
        var rows = [
            { speedBlockBeginDate: "01.03.2024 10:01:00", speedsPerSecond: "10, 20, 30", averageSpeed: 20 },
            { speedBlockBeginDate: "01.03.2024 10:00:00", speedValues: "[0, 0, 120]", averageSpeed: 40 },
            { speedBlockBeginDate: "not a date", averageSpeed: "55,5" },
            { speedBlockBeginDate: "30.02.2024 10:00:00", speedValues: [], speedsPerSecond: "-5; 7.5" },
            { speedBlockBeginDate: " 1.3.2024 9:59:00 ", speedValues: ["12,5", true, null, 14] }
        ];
        var series = speedSeries(rows, 1, 1);
        compare(series.sampleCount, 11);
        compare(series.bucketSize, 1);
        compare(series.points.length, 11);
        var points = DddChartSeries.speedPoints(series.points);
        compare(points[0].label, "01.03.2024 09:59", "a date and an hour of one digit, blanks around, are read");
        compare([points[0].value, points[1].value], [12.5, 14], "items that are no numbers are skipped");
        compare(points[2].label, "01.03.2024 10:00", "rows are taken in time order");
        compare(points[4].max, 120);
        compare(points[5].label, "01.03.2024 10:01");
        compare(points[8].value, 55.5, "a row without values adds its average once");
        compare(points[8].label, "—");
        compare([points[9].label, points[9].value, points[10].value], ["—", 0, 7.5],
                "an impossible date is none; a negative speed counts as 0; an empty list gives way to the per-second text");
        compare(points[10].color, DddChartSeries.defaultColor);
        verify(isNaN(points[10].time));
    }

    function test_speedSeriesStaysWithinItsBucketsWhenRowsDeclareNoSamples() {
        var rows = speedRows(6000);
        for (var i = 0; i < rows.length; ++i)
            rows[i].validSpeedCount = 0;
        var series = speedSeries(rows, 1000, 1);
        compare(series.sampleCount, 0);
        verify(series.points.length <= series.bucketCount, series.points.length + " buckets");
        compare([DddChartSeries.scaleMaximum([{ value: 40, max: 87 }], true),
                 DddChartSeries.scaleMaximum([{ value: 3, max: 5 }], true),
                 DddChartSeries.scaleMaximum([{ value: 0.2 }], false)], [90, 20, 1]);
    }

    // Labels and values of a series as "label=value".
    function pairs(points) {
        return points.map(function (point) { return point.label + "=" + point.value; });
    }

    function test_pieGathersTheRestIntoOther() {
        var events = [];
        for (var type = 0; type < 20; ++type) {
            for (var n = 0; n <= type; ++n)
                events.push({ eventType: "Событие " + type });
        }
        var points = DddChartSeries.numericSeries(DddChartSeries.ChartEvents, DddChartSeries.StylePie,
                                                  { eventRows: events }, false);
        var slices = DddChartSeries.pieSlices(points, true);
        compare(slices.length, 12);
        compare(pairs([slices[0], slices[10], slices[11]]), ["Событие 19=20", "Событие 9=10", "Other=45"]);
        compare(slices[11].color, "#9e9e9e");
        compare(slices[0].startAngle, -Math.PI / 2, "the first slice starts at the top");
        fuzzyCompare(slices[11].endAngle, 1.5 * Math.PI, 1e-9);
        compare(DddChartSeries.pieSlices([{ label: "a", value: 0 }], false).length, 0);
    }

    function test_numericSeries_data() {
        var place = { dailyWorkPeriodCountry: "RUS", dailyWorkPeriodRegion: "Moscow Region" };
        return [
            { tag: "distance draws what the report computed", chart: DddChartSeries.ChartDistance,
              rows: { distanceRows: [{ label: "A123BC", value: 250 }, { label: "", value: 0 }, { value: 12 }],
                      dayRows: [{ dayNo: 1, odometerValueMidnight: 5 }] },
              pairs: ["A123BC=250", "2=0", "3=12"] },
            { tag: "odometer", chart: DddChartSeries.ChartOdometer,
              rows: { dayRows: [{ dayNo: 1, odometerValueMidnight: 5 }, { odometerValueMidnight: -3 }] },
              pairs: ["1=5", "2=0"] },
            { tag: "places", chart: DddChartSeries.ChartPlaces, rows: { placeRows: [place, { country: "E" }, place] },
              pairs: ["RUS / Moscow Region=2", "E / —=1"] },
            { tag: "calibrations skip what is no number", chart: DddChartSeries.ChartCalibrations,
              rows: { calibrationRows: [{ wVehicleCharacteristicConstant: "8000",
                                          kConstantOfRecordingEquipment: "7990,5", iTyreCircumference: "3200",
                                          authorisedSpeed: "90", oldOdometerValue: "x" }] },
              pairs: ["W=8000", "K=7990.5", "L=3200", "Разрешённая скорость=90"] },
            { tag: "work time", chart: DddChartSeries.ChartWorkTime,
              rows: { workingRows: [{ dayNumber: "7", workMinutes: 300 }, { dayKey: "8", workMinutes: 60 },
                                    { workMinutes: 1 }] }, pairs: ["7=300", "8=60", "3=1"] },
            { tag: "faults in English", chart: DddChartSeries.ChartFaults, english: true,
              rows: { faultRows: [{ faultType: "Сбой", faultTypeEnglish: "Failure" }, { faultType: "Карта" }] },
              pairs: ["Failure=1", "Карта=1"] }
        ];
    }

    function test_numericSeries(data) {
        compare(pairs(DddChartSeries.numericSeries(data.chart, data.style || 0, data.rows, data.english || false)),
                data.pairs);
    }

    function test_activityCounts_data() {
        return [
            { tag: "counts list whole numbers first", counts: "dayCounts",
              rows: [{ day: "b" }, { day: "10" }, { day: "9" }, { day: "0123" }, { day: "b" }, {}],
              pairs: ["6=1", "9=1", "10=1", "b=2", "0123=1"] },
            { tag: "a day is its first key given", counts: "dayCounts",
              rows: [{ day: "", dayNo: 3 }, { dayNo: null, activityDailyPresenceCounter1: 3 }, { day: 2.5 }],
              pairs: ["3=2", "2.5=1"] },
            { tag: "activity pie counts activities", counts: "activityCounts",
              rows: [{ activity: "Drive" }, { activity: "Rest" }, { activity: "Drive" }, {}],
              pairs: ["Drive=2", "Rest=1", "—=1"] }
        ];
    }

    function test_activityCounts(data) {
        var series = activitySeries(data.rows);
        compare(pairs(DddChartSeries.countPoints(series[data.counts])), data.pairs);
        compare(DddChartSeries.countPoints(series[data.counts])[0].color, DddChartSeries.defaultColor);
    }

    function test_dayLanesSortWholeNumbersByValue() {
        var rows = [
            { day: 10, minutes: 0, activity: "Drive" },
            { day: 9, time: "08:30", activity: "Work" },
            { day: 9, time: "08:00", activity: "Rest" },
            { dayNo: 2, timeOfChange: "23:59", activity: "Отдых" },
            { activityDailyPresenceCounter1: "x", cardStatus: "Not Inserted" }
        ];
        var series = activitySeries(rows);
        compare(laneTexts(series), ["2:1439-1440#4d9de0", "9:480-510#4d9de0,510-1440#2e9d54", "10:0-1440#1877c9",
                                    "x:0-1440#a8a8a8"], "the last change of a day holds until the day ends");
        compare(series.lanesFrom(1, 2).map(function (lane) { return lane.key; }), ["9", "10"]);
        compare([series.lanesFrom(3, 5).length, series.lanesFrom(4, 1).length, series.lanesFrom(-1, 1).length],
                [1, 0, 1], "a window beyond the lanes gives those there are");
    }

    function test_dayLanesOrderChangesByMinute() {
        var rows = [
            { day: 1, minutes: "600,5", activity: "Work" },
            { day: 1, time: " 7:15:00", activity: "Drive" },
            { day: 1, minutes: -30, activity: "Rest" },
            { day: 1, minutes: true, timeOfChange: "7:15", activity: "Availability" },
            { day: 1, minutes: 2000, activity: "Rest" },
            { day: "b", activity: "Rest" },
            { day: "a", activity: "Drive" },
            { activity: "Work" }
        ];
        compare(laneTexts(activitySeries(rows)),
                ["0:0-1440#2e9d54", "1:0-435#4d9de0,435-435#1877c9,435-600.5#e0a21b,600.5-1440#2e9d54,1440-1440#4d9de0",
                 "a:0-1440#1877c9", "b:0-1440#4d9de0"],
                "equal minutes keep the rows' order; minutes are clamped to the day; a row without a day is day 0");
    }

    // Rows replaced while their lanes are made: only the lanes of the rows given last are ever held.
    function test_activitySeriesDropsTheLanesOfRowsReplaced() {
        var many = [];
        for (var i = 0; i < 100000; ++i)
            many.push({ day: 1 + i % 3000, minutes: i % 1440, activity: "Drive" });
        var series = createTemporaryObject(activityComponent, testCase, { rows: many });
        wait(200);
        series.rows = [{ day: 5, activity: "Rest" }];
        var counts = [];
        series.seriesChanged.connect(function () { counts.push(series.laneCount); });
        tryCompare(series, "building", false, 10000);
        wait(300);
        compare(laneTexts(series), ["5:0-1440#4d9de0"]);
        compare(counts, [1], "no lanes of the rows replaced came in between");
    }

    // New rows empty the lanes at once; an inactive series builds nothing.
    function test_activitySeriesFollowsItsRows() {
        var series = activitySeries([{ day: 1, activity: "Drive" }]);
        var rows = [{ day: 1, activity: "Drive" }, { day: 2, activity: "Rest" }];
        series.rows = rows;
        compare([series.laneCount, series.building], [0, true]);
        tryCompare(series, "building", false);
        compare(series.laneCount, 2);
        series.active = false;
        series.rows = [];
        wait(300);
        compare([series.laneCount, series.building], [0, false]);
    }

    function test_activityColors_data() {
        return [
            { tag: "drive", row: { activity: "Drive" }, color: "#1877c9" },
            { tag: "вождение", row: { activity: "Вождение" }, color: "#1877c9" },
            { tag: "work", row: { activity: "Работа" }, color: "#2e9d54" },
            { tag: "availability", row: { activity: "Доступность" }, color: "#e0a21b" },
            { tag: "break", row: { activity: "Перерыв/отдых" }, color: "#4d9de0" },
            { tag: "no card", row: { activity: "", cardStatus: "Не вставлена" }, color: "#a8a8a8" },
            { tag: "other", row: { activity: "Скорость 5 км/ч" }, color: "#777777" },
            { tag: "drive in capitals", row: { activity: "DRIVE" }, color: "#1877c9" },
            { tag: "english work", row: { activity: "Work" }, color: "#2e9d54" },
            { tag: "english availability", row: { activity: "Availability" }, color: "#e0a21b" },
            { tag: "english rest", row: { activity: "Break/Rest" }, color: "#4d9de0" },
            { tag: "готовность", row: { activity: "Готовность" }, color: "#e0a21b" },
            { tag: "english card not inserted", row: { cardStatus: "NOT INSERTED" }, color: "#a8a8a8" },
            { tag: "activity before card status", row: { activity: "Отдых", cardStatus: "Не вставлена" },
              color: "#4d9de0" },
            { tag: "nothing told", row: {}, color: "#777777" }
        ];
    }

    function test_activityColors(data) {
        compare(activitySeries([data.row]).lanesFrom(0, 1)[0].segments[0].color, data.color);
    }

    function test_labelsAndGeometry() {
        compare(DddChartSeries.labelIndexes(1, 12), [0]);
        compare(DddChartSeries.labelIndexes(30, 12), [0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 29]);
        compare(DddChartSeries.speedLabel(Date.UTC(2024, 2, 1, 9, 5), true), "01.03 09:05");
        compare([0, 1, 3, 5].map(function (metric) { return DddChartSeries.drawingForm(metric, 0); }),
                ["lanes", "line", "bars", "line"]);
        compare(DddChartSeries.drawingForm(0, 5), "pie");
        compare([DddChartSeries.laneHeight(600, 3), DddChartSeries.laneHeight(600, 100)], [48, 22]);
        compare(DddChartSeries.axisCaptions(0, 1, true).y, "Activity record count");
        compare(DddChartSeries.axisCaptions(3, 0, false).x, "", "event charts have no X caption");
        compare(DddChartSeries.axisCaptions(8, 0, false).x, "День", "work time bars stand on their days");
        compare([DddChartSeries.zoomAfterChartChange(0, 12), DddChartSeries.zoomAfterChartChange(1, 12)], [3, 12]);
    }
}
