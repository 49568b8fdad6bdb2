.pragma library

// Chart kinds (chartType) and drawing styles (visualizationType).
var ChartActivity = 0;
var ChartSpeed = 1;
var ChartDistance = 2;
var ChartEvents = 3;
var ChartFaults = 4;
var ChartOdometer = 5;
var ChartPlaces = 6;
var ChartCalibrations = 7;
var ChartWorkTime = 8;

var StyleAuto = 0;
var StyleBars = 1;
var StyleLine = 2;
var StylePoints = 3;
var StyleArea = 4;
var StylePie = 5;

var defaultColor = "#1877c9";
var otherSliceColor = "#9e9e9e";
var palette = ["#1877c9", "#2e9d54", "#e0a21b", "#4d9de0", "#a14bc4"];
var driveColor = "#1877c9";
var workColor = "#2e9d54";
var availableColor = "#e0a21b";
var restColor = "#4d9de0";
var noCardColor = "#a8a8a8";

var maximumPieSlices = 12;

function t(english, ru, en) {
    return english ? en : ru;
}

function isBlank(value) {
    return value === undefined || value === null || String(value).length === 0;
}

// A number from a value that may be text with a decimal comma; NaN when it is none.
function numberOf(value) {
    if (value === undefined || value === null)
        return NaN;
    if (typeof value === "number")
        return value;
    if (typeof value === "boolean")
        return NaN;
    var text = String(value).trim();
    if (text.length === 0)
        return NaN;
    return Number(text.split(",").join("."));
}

// --- Numeric series -------------------------------------------------------------------------------------

function makePoint(label, value, color) {
    var text = isBlank(label) ? "—" : String(label);
    return { label: text, value: value < 0 ? 0 : value, color: color || defaultColor };
}

function pushPoint(points, label, value, color) {
    var number = numberOf(value);
    if (!isFinite(number))
        return;
    points.push(makePoint(label, number, color));
}

// Counts per key. Keys that are whole numbers without leading zeros come first in ascending order, all
// others after them in order of first appearance.
function groupedCounts(keys, color) {
    var counts = {};
    var order = [];
    for (var i = 0; i < keys.length; ++i) {
        var key = isBlank(keys[i]) ? "—" : String(keys[i]);
        if (!counts.hasOwnProperty(key)) {
            counts[key] = 0;
            order.push(key);
        }
        counts[key] += 1;
    }
    var numeric = [];
    var others = [];
    for (var j = 0; j < order.length; ++j) {
        if (/^(0|[1-9][0-9]*)$/.test(order[j]))
            numeric.push(order[j]);
        else
            others.push(order[j]);
    }
    numeric.sort(function (a, b) { return Number(a) - Number(b); });
    var points = [];
    var sorted = numeric.concat(others);
    for (var k = 0; k < sorted.length; ++k)
        points.push(makePoint(sorted[k], counts[sorted[k]], color));
    return points;
}

function positionLabel(value, position) {
    return isBlank(value) ? String(position + 1) : String(value);
}

// One bar per driven distance the report computed ({label, value}); the rule that makes them lives in C++, so
// the page and the PDF draw the same distances.
function distanceSeries(distanceRows) {
    var points = [];
    for (var i = 0; i < distanceRows.length; ++i) {
        var row = distanceRows[i] || {};
        pushPoint(points, positionLabel(row.label, i), row.value);
    }
    return points;
}

function countSeries(rows, key, english, color) {
    var keys = [];
    for (var i = 0; i < rows.length; ++i) {
        var row = rows[i] || {};
        var value = row[key];
        if (english && !isBlank(row[key + "English"]))
            value = row[key + "English"];
        keys.push(value);
    }
    return groupedCounts(keys, color);
}

function odometerSeries(dayRows) {
    var points = [];
    for (var i = 0; i < dayRows.length; ++i) {
        var row = dayRows[i] || {};
        pushPoint(points, positionLabel(row.dayNo, i), row.odometerValueMidnight);
    }
    return points;
}

function placeSeries(placeRows) {
    var keys = [];
    for (var i = 0; i < placeRows.length; ++i) {
        var row = placeRows[i] || {};
        var country = !isBlank(row.dailyWorkPeriodCountry) ? row.dailyWorkPeriodCountry
                                                           : (!isBlank(row.country) ? row.country : "—");
        var region = !isBlank(row.dailyWorkPeriodRegion) ? row.dailyWorkPeriodRegion
                                                         : (!isBlank(row.region) ? row.region : "—");
        keys.push(country + " / " + region);
    }
    return groupedCounts(keys, workColor);
}

function calibrationSeries(calibrationRows, english) {
    var parameters = [
        ["W", "W", "wVehicleCharacteristicConstant"],
        ["K", "K", "kConstantOfRecordingEquipment"],
        ["L", "L", "iTyreCircumference"],
        ["Разрешённая скорость", "Authorised speed", "authorisedSpeed"],
        ["Старый одометр", "Old odometer", "oldOdometerValue"],
        ["Новый одометр", "New odometer", "newOdometerValue"]
    ];
    var points = [];
    for (var i = 0; i < calibrationRows.length; ++i) {
        var row = calibrationRows[i] || {};
        for (var p = 0; p < parameters.length; ++p)
            pushPoint(points, t(english, parameters[p][0], parameters[p][1]), row[parameters[p][2]], availableColor);
    }
    return points;
}

function workTimeSeries(workingRows) {
    var points = [];
    for (var i = 0; i < workingRows.length; ++i) {
        var row = workingRows[i] || {};
        var label = !isBlank(row.dayNumber) ? row.dayNumber : positionLabel(row.dayKey, i);
        pushPoint(points, label, row.workMinutes, workColor);
    }
    return points;
}

function listOf(value) {
    return value && value.length !== undefined ? value : [];
}

// The points {label, value, color} of every chart but the speed and activity charts, whose series are built in
// C++. `data` holds the row lists by the chart's property names (distanceRows, eventRows, ...).
function numericSeries(chartType, style, data, english) {
    switch (chartType) {
    case ChartDistance:
        return distanceSeries(listOf(data.distanceRows));
    case ChartEvents:
        return countSeries(listOf(data.eventRows), "eventType", english, "#a14bc4");
    case ChartFaults:
        return countSeries(listOf(data.faultRows), "faultType", english, "#d05b51");
    case ChartOdometer:
        return odometerSeries(listOf(data.dayRows));
    case ChartPlaces:
        return placeSeries(listOf(data.placeRows));
    case ChartCalibrations:
        return calibrationSeries(listOf(data.calibrationRows), english);
    case ChartWorkTime:
        return workTimeSeries(listOf(data.workingRows));
    }
    return [];
}

// The counts {label, value} the chart's C++ series built, as points in the chart's colour.
function countPoints(counts) {
    var list = listOf(counts);
    var points = [];
    for (var i = 0; i < list.length; ++i)
        points.push(makePoint(list[i].label, list[i].value));
    return points;
}

// --- Detailed speed ------------------------------------------------------------------------------------

// The speed buckets the chart's C++ series built ({label, value, min, max, time}), as plain JavaScript points in
// the chart's colour: the drawing reads each point several times, and a point read from the C++ list is made
// afresh at every reading. At most 1200 of them, whatever the file.
function speedPoints(buckets) {
    var list = listOf(buckets);
    var points = [];
    for (var i = 0; i < list.length; ++i) {
        var bucket = list[i];
        points.push({ label: bucket.label, value: bucket.value, min: bucket.min, max: bucket.max, time: bucket.time,
                      color: defaultColor });
    }
    return points;
}

// --- Drawing geometry ------------------------------------------------------------------------------------

// The slices of a pie: none when the total is 0 or less; beyond 12 points the 11 largest and "Other".
function pieSlices(points, english) {
    var total = 0;
    for (var i = 0; i < points.length; ++i)
        total += points[i].value;
    if (!(total > 0))
        return [];
    var slices = points.slice();
    if (slices.length > maximumPieSlices) {
        slices.sort(function (a, b) { return b.value - a.value; });
        var rest = 0;
        for (var r = maximumPieSlices - 1; r < slices.length; ++r)
            rest += slices[r].value;
        slices = slices.slice(0, maximumPieSlices - 1);
        slices.push({ label: t(english, "Остальные", "Other"), value: rest, color: otherSliceColor });
    }
    var result = [];
    var angle = -Math.PI / 2;
    for (var s = 0; s < slices.length; ++s) {
        var sweep = slices[s].value / total * 2 * Math.PI;
        result.push({
            label: slices[s].label,
            value: slices[s].value,
            color: slices[s].color || palette[s % palette.length],
            startAngle: angle,
            endAngle: angle + sweep
        });
        angle += sweep;
    }
    return result;
}

// The top of the value axis: the largest value, at least 1; for speed the largest bucket maximum rounded up
// to a multiple of 10, at least 20.
function scaleMaximum(points, isSpeed) {
    var maximum = 0;
    for (var i = 0; i < points.length; ++i) {
        var value = isSpeed && points[i].max !== undefined ? points[i].max : points[i].value;
        if (value > maximum)
            maximum = value;
    }
    if (isSpeed)
        return Math.max(20, Math.ceil(maximum / 10) * 10);
    return Math.max(1, maximum);
}

// Indexes of the points that get an X label: every step-th one and always the last.
function labelIndexes(pointCount, maximumLabels) {
    var indexes = [];
    if (pointCount <= 0)
        return indexes;
    var labels = Math.max(2, maximumLabels);
    var step = Math.max(1, Math.ceil((pointCount - 1) / (labels - 1)));
    for (var i = 0; i < pointCount; i += step)
        indexes.push(i);
    if (indexes[indexes.length - 1] !== pointCount - 1)
        indexes.push(pointCount - 1);
    return indexes;
}

function speedLabelCount(plotWidth, uiScale) {
    return Math.max(3, Math.min(8, Math.floor(plotWidth / Math.max(90, 110 * uiScale))));
}

function twoDigits(value) {
    return value < 10 ? "0" + value : String(value);
}

// "HH:mm" of a speed bucket, preceded by "dd.MM " when the series spans more than one date.
function speedLabel(time, spansDates) {
    if (!isFinite(time))
        return "—";
    var date = new Date(time);
    var clock = twoDigits(date.getUTCHours()) + ":" + twoDigits(date.getUTCMinutes());
    if (!spansDates)
        return clock;
    return twoDigits(date.getUTCDate()) + "." + twoDigits(date.getUTCMonth() + 1) + " " + clock;
}

function spansDates(points) {
    if (points.length < 2)
        return false;
    var first = points[0].time;
    var last = points[points.length - 1].time;
    if (!isFinite(first) || !isFinite(last))
        return false;
    return Math.floor(first / 86400000) !== Math.floor(last / 86400000);
}

// Labels longer than the given length are cut with "…".
function cutLabel(text, length) {
    var value = String(text);
    return value.length > length ? value.slice(0, length) + "…" : value;
}

// The drawing form a style resolves to for a chart: "lanes", "pie", "bars", "line", "points" or "area".
function drawingForm(chartType, style) {
    switch (style) {
    case StyleBars:
        return "bars";
    case StyleLine:
        return "line";
    case StylePoints:
        return "points";
    case StyleArea:
        return "area";
    case StylePie:
        return "pie";
    }
    if (chartType === ChartActivity)
        return "lanes";
    if (chartType === ChartSpeed || chartType === ChartOdometer)
        return "line";
    return "bars";
}

// Plot margins {left, top, right, bottom} in pixels.
function margins(chartType, style, uiScale) {
    var bottom = 70;
    if (chartType === ChartSpeed)
        bottom = 74;
    else if (chartType === ChartActivity && style === StyleAuto)
        bottom = 52;
    else if (chartType === ChartWorkTime)
        bottom = 58;
    return { left: 88 * uiScale, top: 20 * uiScale, right: 18 * uiScale, bottom: bottom * uiScale };
}

function laneHeight(plotHeight, dayCount) {
    if (dayCount <= 0)
        return 22;
    return Math.max(22, Math.min(48, plotHeight / dayCount));
}

// --- Texts -------------------------------------------------------------------------------------------------

function title(chartType, english) {
    var titles = [
        ["График активности по дням", "Activity by day"],
        ["График детальной скорости", "Detailed speed"],
        ["Пробег по данным одометра", "Mileage from odometer data"],
        ["События", "Events"],
        ["Неисправности", "Faults"],
        ["Одометр по дням", "Odometer by day"],
        ["Посещённые места", "Visited places"],
        ["Параметры калибровки", "Calibration parameters"],
        ["Рабочее время по дням", "Work time by day"]
    ];
    var entry = titles[chartType] || titles[0];
    return t(english, entry[0], entry[1]);
}

// Legend entries {label, color}.
function legend(chartType, english) {
    var drive = { label: t(english, "Вождение", "Driving"), color: driveColor };
    var work = { label: t(english, "Работа", "Work"), color: workColor };
    var ready = { label: t(english, "Готовность", "Availability"), color: availableColor };
    var rest = { label: t(english, "Отдых", "Rest"), color: restColor };
    switch (chartType) {
    case ChartActivity:
        return [drive, work, ready, rest, { label: t(english, "Не вставлена карта", "No card inserted"), color: noCardColor }];
    case ChartSpeed:
        return [{ label: t(english, "Скорость, км/ч", "Speed, km/h"), color: defaultColor }];
    case ChartDistance:
        return [{ label: t(english, "Пробег, км", "Distance, km"), color: defaultColor }];
    case ChartEvents:
        return [{ label: t(english, "События", "Events"), color: "#a14bc4" }];
    case ChartFaults:
        return [{ label: t(english, "Неисправности", "Faults"), color: "#d05b51" }];
    case ChartOdometer:
        return [{ label: t(english, "Одометр, км", "Odometer, km"), color: defaultColor }];
    case ChartPlaces:
        return [{ label: t(english, "Количество посещений", "Visit count"), color: defaultColor }];
    case ChartCalibrations:
        return [{ label: t(english, "Значения параметров", "Parameter values"), color: defaultColor }];
    case ChartWorkTime:
        return [work, rest, ready, drive];
    }
    return [];
}

// Axis captions {x, y}; x is empty where the chart shows none.
function axisCaptions(chartType, style, english) {
    var auto = style === StyleAuto;
    var captions = [
        [auto ? t(english, "Время суток", "Time of day") : t(english, "День", "Day"),
         auto ? t(english, "День", "Day") : t(english, "Количество записей активности", "Activity record count")],
        [t(english, "Дата и время", "Date and time"), t(english, "Скорость, км/ч", "Speed, km/h")],
        [t(english, "Дата / транспортное средство", "Date / vehicle"), t(english, "Пробег, км", "Distance, km")],
        [t(english, "Тип события", "Event type"), t(english, "Количество событий", "Event count")],
        [t(english, "Тип неисправности", "Fault type"), t(english, "Количество неисправностей", "Fault count")],
        [t(english, "День", "Day"), t(english, "Показание одометра, км", "Odometer, km")],
        [t(english, "Место", "Place"), t(english, "Количество посещений", "Visit count")],
        [t(english, "Параметр", "Parameter"), t(english, "Значение параметра", "Parameter value")],
        // Work time is drawn as one bar per day: the days run along X and the minutes up Y.
        [t(english, "День", "Day"), t(english, "Продолжительность, мин", "Duration, min")]
    ];
    var entry = captions[chartType] || captions[0];
    var showX = chartType === ChartActivity || chartType === ChartSpeed || chartType === ChartOdometer
        || chartType === ChartWorkTime;
    return { x: showX ? entry[0] : "", y: entry[1] };
}

// Shown while a chart's series is being built.
function buildingText(chartType, english) {
    if (chartType === ChartActivity)
        return t(english, "Строится график активности…", "Building the activity chart…");
    return t(english, "Строится график скорости…", "Building the speed chart…");
}

// Shown in the chart's area when its series could not be built for want of memory.
function failureText(english) {
    return t(english, "Недостаточно памяти для построения графика.", "Not enough memory to build the chart.");
}

function emptyText(chartType, english) {
    if (chartType === ChartSpeed)
        return t(english, "В файле нет данных детальной скорости", "This file has no detailed speed data");
    return t(english, "Недостаточно данных для графика", "Not enough data for chart");
}

function maximumZoom(chartType) {
    return chartType === ChartSpeed ? 20.0 : 3.0;
}

function zoomStep(chartType) {
    return chartType === ChartSpeed ? 0.5 : 0.25;
}

// The zoom kept when the chart changes: leaving the speed chart brings a deep zoom back within 3.
function zoomAfterChartChange(chartType, zoom) {
    return chartType !== ChartSpeed && zoom > 3.0 ? 3.0 : zoom;
}
