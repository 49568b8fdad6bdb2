import QtQuick
import QtTest
import Tessaron

// The chart series: speed buckets, counts, the pie's "other" slice, the odometer fallback and day lanes.
TestCase {
    name: "DddSeries"

    // Rows of one-minute speed blocks holding `samples` speeds in all, starting at 01.03.2024 0:00:00.
    function speedRows(samples) {
        var rows = [];
        var start = Date.UTC(2024, 2, 1);
        for (var done = 0; done < samples; done += 60) {
            var count = Math.min(60, samples - done);
            var values = [];
            for (var i = 0; i < count; ++i)
                values.push((done + i) % 90);
            var time = new Date(start + done * 1000);
            rows.push({
                speedBlockBeginDate: time.getUTCDate() + "." + (time.getUTCMonth() + 1 < 10 ? "0" : "")
                    + (time.getUTCMonth() + 1) + "." + time.getUTCFullYear() + " " + time.getUTCHours() + ":"
                    + (time.getUTCMinutes() < 10 ? "0" : "") + time.getUTCMinutes() + ":00",
                speedValues: values,
                validSpeedCount: count,
                averageSpeed: 0
            });
        }
        return rows;
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
        var series = DddChartSeries.speedSeries(speedRows(data.samples), data.width, data.zoom);
        compare(series.sampleCount, data.samples);
        compare(series.bucketCount, data.buckets);
        compare(series.bucketSize, data.size);
        compare(series.points.length, data.points);
    }

    function test_speedBucketsKeepPeaksAndTimes() {
        var rows = [
            { speedBlockBeginDate: "01.03.2024 10:01:00", speedsPerSecond: "10, 20, 30", averageSpeed: 20 },
            { speedBlockBeginDate: "01.03.2024 10:00:00", speedValues: "[0, 0, 120]", averageSpeed: 40 },
            { speedBlockBeginDate: "not a date", averageSpeed: "55,5" }
        ];
        var series = DddChartSeries.speedSeries(rows, 1, 1);
        compare(series.sampleCount, 7);
        compare(series.bucketSize, 1);
        compare(series.points.length, 7);
        compare(series.points[0].label, "01.03.2024 10:00", "rows are taken in time order");
        compare(series.points[2].max, 120);
        compare(series.points[3].label, "01.03.2024 10:01");
        compare(series.points[6].value, 55.5, "a row without values adds its average once");
        compare(series.points[6].label, "—");
    }

    function test_speedSeriesStaysWithinItsBucketsWhenRowsDeclareNoSamples() {
        var rows = speedRows(6000);
        for (var i = 0; i < rows.length; ++i)
            rows[i].validSpeedCount = 0;
        var series = DddChartSeries.speedSeries(rows, 1000, 1);
        compare(series.sampleCount, 0);
        verify(series.points.length <= series.bucketCount, series.points.length + " buckets");
    }

    function test_speedScaleUsesBucketMaximum() {
        compare(DddChartSeries.scaleMaximum([{ value: 40, max: 87 }], true), 90);
        compare(DddChartSeries.scaleMaximum([{ value: 3, max: 5 }], true), 20);
        compare(DddChartSeries.scaleMaximum([{ value: 0.2 }], false), 1);
        compare(DddChartSeries.scaleMaximum([{ value: 7 }, { value: 3 }], false), 7);
    }

    function test_pieGathersTheRestIntoOther() {
        var events = [];
        for (var type = 0; type < 20; ++type) {
            for (var n = 0; n <= type; ++n)
                events.push({ eventType: "Событие " + type });
        }
        var points = DddChartSeries.numericSeries(DddChartSeries.ChartEvents, DddChartSeries.StylePie,
                                                  { eventRows: events }, false);
        compare(points.length, 20);
        var slices = DddChartSeries.pieSlices(points, false);
        compare(slices.length, 12);
        compare(slices[0].label, "Событие 19");
        compare(slices[10].label, "Событие 9");
        compare(slices[11].label, "Остальные");
        compare(slices[11].color, "#9e9e9e");
        compare(slices[11].value, 45, "1 + 2 + ... + 9");
        compare(slices[0].startAngle, -Math.PI / 2, "the first slice starts at the top");
        fuzzyCompare(slices[11].endAngle, 1.5 * Math.PI, 1e-9);
        compare(DddChartSeries.pieSlices(points, true)[11].label, "Other");
        compare(DddChartSeries.pieSlices([{ label: "a", value: 0 }], false).length, 0);
    }

    function test_countsListWholeNumbersFirst() {
        var rows = [{ day: "b" }, { day: "10" }, { day: "9" }, { day: "0123" }, { day: "b" }, {}];
        var points = DddChartSeries.numericSeries(DddChartSeries.ChartActivity, DddChartSeries.StyleBars,
                                                  { activityRows: rows }, false);
        var labels = [];
        for (var i = 0; i < points.length; ++i)
            labels.push(points[i].label + "=" + points[i].value);
        compare(labels, ["6=1", "9=1", "10=1", "b=2", "0123=1"]);
    }

    function test_activityPieCountsActivities() {
        var rows = [{ activity: "Drive" }, { activity: "Rest" }, { activity: "Drive" }, { activity: "" }];
        var points = DddChartSeries.numericSeries(DddChartSeries.ChartActivity, DddChartSeries.StylePie,
                                                  { activityRows: rows }, false);
        compare(points.length, 3);
        compare(points[0].label + points[0].value, "Drive2");
        compare(points[2].label, "—");
    }

    function test_distanceFromVehicles() {
        var vehicles = [
            { vehicleOdometerBegin: 1000, vehicleOdometerEnd: 1250, vehicleRegistrationNumber1: "A123BC" },
            { vehicleOdometerBegin: "НЕТ ДАННЫХ", vehicleOdometerEnd: 10 },
            { vehicleOdometerBegin: "10,5", vehicleOdometerEnd: "20" },
            { vehicleOdometerBegin: 50, vehicleOdometerEnd: 40 }
        ];
        var points = DddChartSeries.numericSeries(DddChartSeries.ChartDistance, 0, { vehicleRows: vehicles }, false);
        compare(points.length, 2);
        compare(points[0].label, "A123BC");
        compare(points[0].value, 250);
        compare(points[1].label, "3");
        compare(points[1].value, 9.5);
    }

    function test_distanceFallsBackToMidnightOdometer() {
        var vehicles = [{ vehicleOdometerBegin: "НЕТ ДАННЫХ", vehicleOdometerEnd: "НЕТ ДАННЫХ" }];
        var days = [
            { dayNo: 3, timeReal: "03.08.2022 23:59:59", odometerValueMidnight: 1300 },
            { dayNo: 1, timeReal: "01.08.2022 23:59:59", odometerValueMidnight: 1000 },
            { dayNo: 2, timeReal: "02.08.2022 23:59:59", odometerValueMidnight: 0 },
            { dayNo: 5, odometerValueMidnight: 1500 },
            { dayNo: 4, timeReal: "04.08.2022 23:59:59", odometerValueMidnight: 1200 }
        ];
        var points = DddChartSeries.numericSeries(DddChartSeries.ChartDistance, 0,
                                                  { vehicleRows: vehicles, dayRows: days }, false);
        var labels = [];
        for (var i = 0; i < points.length; ++i)
            labels.push(points[i].label + "=" + points[i].value);
        compare(labels, ["3=300", "5=300"], "a lower reading starts again without a point");
    }

    function test_otherSeries() {
        var odometer = DddChartSeries.numericSeries(DddChartSeries.ChartOdometer, 0,
                                                    { dayRows: [{ dayNo: 1, odometerValueMidnight: 5 }, { odometerValueMidnight: -3 }] }, false);
        compare(odometer.length, 2);
        compare(odometer[1].label, "2");
        compare(odometer[1].value, 0, "negative values become 0");

        var places = DddChartSeries.numericSeries(DddChartSeries.ChartPlaces, 0,
                                                  { placeRows: [{ dailyWorkPeriodCountry: "RUS", dailyWorkPeriodRegion: "Moscow Region" },
                                                                { country: "E" }, { dailyWorkPeriodCountry: "RUS", dailyWorkPeriodRegion: "Moscow Region" }] }, false);
        compare(places.length, 2);
        compare(places[0].label, "RUS / Moscow Region");
        compare(places[0].value, 2);
        compare(places[1].label, "E / —");

        var calibrations = DddChartSeries.numericSeries(DddChartSeries.ChartCalibrations, 0,
                                                        { calibrationRows: [{ wVehicleCharacteristicConstant: "8000", kConstantOfRecordingEquipment: "7990,5", iTyreCircumference: "3200", authorisedSpeed: "90", oldOdometerValue: "x" }] }, false);
        compare(calibrations.length, 4, "values that are no numbers are skipped");
        compare(calibrations[1].value, 7990.5);
        compare(calibrations[3].label, "Разрешённая скорость");

        var work = DddChartSeries.numericSeries(DddChartSeries.ChartWorkTime, 0,
                                                { workingRows: [{ dayNumber: "7", workMinutes: 300 }, { dayKey: "8", workMinutes: 60 }, { workMinutes: 1 }] }, false);
        compare(work[0].label, "7");
        compare(work[1].label, "8");
        compare(work[2].label, "3");

        var faults = DddChartSeries.numericSeries(DddChartSeries.ChartFaults, 0,
                                                  { faultRows: [{ faultType: "Сбой", faultTypeEnglish: "Failure" }, { faultType: "Карта" }] }, true);
        compare(faults[0].label, "Failure");
        compare(faults[1].label, "Карта");
        compare(faults[0].color, "#d05b51");
    }

    function test_dayLanesSortWholeNumbersByValue() {
        var rows = [
            { day: 10, minutes: 0, activity: "Drive" },
            { day: 9, time: "08:30", activity: "Work" },
            { day: 9, time: "08:00", activity: "Rest" },
            { dayNo: 2, timeOfChange: "23:59", activity: "Отдых" },
            { activityDailyPresenceCounter1: "x", cardStatus: "Not Inserted" }
        ];
        var lanes = DddChartSeries.dayLanes(rows);
        var keys = [];
        for (var i = 0; i < lanes.length; ++i)
            keys.push(lanes[i].key);
        compare(keys, ["2", "9", "10", "x"]);
        compare(lanes[1].segments.length, 2);
        compare(lanes[1].segments[0].start, 480);
        compare(lanes[1].segments[0].end, 510);
        compare(lanes[1].segments[0].color, "#4d9de0");
        compare(lanes[1].segments[1].start, 510);
        compare(lanes[1].segments[1].end, 1440, "the last change of a day holds until the day ends");
        compare(lanes[0].segments[0].end, 1440);
        compare(lanes[3].segments[0].color, "#a8a8a8");
        compare(lanes[3].segments[0].start, 0);
        compare(lanes[3].segments[0].end, 1440, "a day of one record fills its lane");
    }

    function test_activityColors_data() {
        return [
            { tag: "drive", row: { activity: "Drive" }, color: "#1877c9" },
            { tag: "вождение", row: { activity: "Вождение" }, color: "#1877c9" },
            { tag: "work", row: { activity: "Работа" }, color: "#2e9d54" },
            { tag: "availability", row: { activity: "Доступность" }, color: "#e0a21b" },
            { tag: "break", row: { activity: "Перерыв/отдых" }, color: "#4d9de0" },
            { tag: "no card", row: { activity: "", cardStatus: "Не вставлена" }, color: "#a8a8a8" },
            { tag: "other", row: { activity: "Скорость 5 км/ч" }, color: "#777777" }
        ];
    }

    function test_activityColors(data) {
        compare(DddChartSeries.activityColor(data.row), data.color);
    }

    function test_labelsAndGeometry() {
        compare(DddChartSeries.labelIndexes(1, 12), [0]);
        compare(DddChartSeries.labelIndexes(5, 12), [0, 1, 2, 3, 4]);
        compare(DddChartSeries.labelIndexes(30, 12), [0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 29]);
        compare(DddChartSeries.speedLabelCount(1000, 1), 8);
        compare(DddChartSeries.speedLabelCount(200, 1), 3);
        compare(DddChartSeries.speedLabel(Date.UTC(2024, 2, 1, 9, 5), false), "09:05");
        compare(DddChartSeries.speedLabel(Date.UTC(2024, 2, 1, 9, 5), true), "01.03 09:05");
        compare(DddChartSeries.drawingForm(0, 0), "lanes");
        compare(DddChartSeries.drawingForm(1, 0), "line");
        compare(DddChartSeries.drawingForm(5, 0), "line");
        compare(DddChartSeries.drawingForm(3, 0), "bars");
        compare(DddChartSeries.drawingForm(0, 5), "pie");
        compare(DddChartSeries.margins(1, 0, 1).bottom, 74);
        compare(DddChartSeries.margins(0, 0, 1).bottom, 52);
        compare(DddChartSeries.margins(0, 1, 1).bottom, 70);
        compare(DddChartSeries.margins(8, 0, 2).bottom, 116);
        compare(DddChartSeries.laneHeight(600, 3), 48);
        compare(DddChartSeries.laneHeight(600, 100), 22);
        compare(DddChartSeries.axisCaptions(0, 0, false).x, "Время суток");
        compare(DddChartSeries.axisCaptions(0, 1, true).y, "Activity record count");
        compare(DddChartSeries.axisCaptions(3, 0, false).x, "", "event charts have no X caption");
        compare(DddChartSeries.axisCaptions(8, 0, false).x, "День", "work time bars stand on their days");
        compare(DddChartSeries.axisCaptions(8, 0, true).y, "Duration, min");
        compare(DddChartSeries.zoomAfterChartChange(0, 12), 3);
        compare(DddChartSeries.zoomAfterChartChange(1, 12), 12);
    }
}
