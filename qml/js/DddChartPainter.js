.pragma library

.import "DddChartSeries.js" as Series
.import "DddNumberText.js" as NumberText

var textColor = "#555555";
var gridColor = "#dddddd";
var laneSeparatorColor = "#eeeeee";
var captionColor = "#455a64";
var lineColor = "#1877c9";

// The height the canvas needs: day lanes may need more room than the view has, every other chart fits it.
function contentHeight(chart) {
    if (chart.form !== "lanes")
        return chart.viewHeight;
    var margins = Series.margins(chart.chartType, chart.style, chart.uiScale);
    var plotHeight = chart.viewHeight - margins.top - margins.bottom;
    var lanes = chart.laneCount;
    var height = margins.top + margins.bottom + lanes * Series.laneHeight(plotHeight, lanes);
    return Math.max(chart.viewHeight, height);
}

// Paints a chart on a canvas that shows the part of the content starting at (offsetX, offsetY). `chart`
// holds: width, height (content), viewHeight, offsetX, offsetY, chartType, style, form, uiScale, uiFontSize,
// english, compact, laneCount, lanesFrom(first, count) (the lanes to draw, as the chart's series gives them),
// points.
function paint(ctx, canvasWidth, canvasHeight, chart) {
    ctx.save();
    ctx.clearRect(0, 0, canvasWidth, canvasHeight);
    ctx.fillStyle = "#ffffff";
    ctx.fillRect(0, 0, canvasWidth, canvasHeight);
    ctx.translate(-chart.offsetX, -chart.offsetY);

    var margins = Series.margins(chart.chartType, chart.style, chart.uiScale);
    var plot = {
        left: margins.left,
        top: margins.top,
        right: chart.width - margins.right,
        bottom: chart.height - margins.bottom
    };
    plot.width = Math.max(1, plot.right - plot.left);
    plot.height = Math.max(1, plot.bottom - plot.top);
    var fontSize = Math.max(9, chart.uiFontSize - 1);
    ctx.font = fontSize + "px sans-serif";

    if (chart.form === "lanes")
        paintLanes(ctx, chart, plot, canvasHeight);
    else if (chart.form === "pie")
        paintPie(ctx, chart, plot);
    else
        paintSeries(ctx, chart, plot, fontSize);

    if (chart.form !== "pie")
        paintCaptions(ctx, chart, plot);
    ctx.restore();
}

// Only the lanes in view are asked for and drawn: a month joined many times over has thousands of days.
function paintLanes(ctx, chart, plot, canvasHeight) {
    var viewPlotHeight = chart.viewHeight - plot.top - (chart.height - plot.bottom);
    var laneHeight = Series.laneHeight(viewPlotHeight, chart.laneCount);
    var lanesBottom = plot.top + laneHeight * chart.laneCount;
    var firstLane = Math.max(0, Math.floor((chart.offsetY - plot.top) / laneHeight));
    var lastLane = Math.min(chart.laneCount - 1, Math.floor((chart.offsetY + canvasHeight - plot.top) / laneHeight));
    var lanes = lastLane >= firstLane ? chart.lanesFrom(firstLane, lastLane - firstLane + 1) : [];
    var hourStep = chart.compact ? 2 : 1;
    // Every hour gets its line; a narrow chart labels every second or third one so the labels do not touch.
    var labelStep = hourStep;
    var labelWidth = ctx.measureText("00:00").width + 8 * chart.uiScale;
    while (labelStep < 6 && plot.width / 24 * labelStep < labelWidth)
        labelStep += hourStep;

    ctx.lineWidth = 1;
    ctx.textAlign = "center";
    ctx.textBaseline = "top";
    for (var hour = 0; hour <= 24; hour += hourStep) {
        var x = plot.left + hour / 24 * plot.width;
        ctx.strokeStyle = gridColor;
        ctx.beginPath();
        ctx.moveTo(x, plot.top);
        ctx.lineTo(x, lanesBottom);
        ctx.stroke();
        if (hour % labelStep !== 0)
            continue;
        var label = (hour < 10 ? "0" : "") + hour + ":00";
        var half = ctx.measureText(label).width / 2;
        ctx.fillStyle = textColor;
        ctx.fillText(label, Math.min(x, chart.width - half - 2), lanesBottom + 6);
    }

    ctx.textAlign = "right";
    ctx.textBaseline = "middle";
    for (var i = 0; i < lanes.length; ++i) {
        var top = plot.top + (firstLane + i) * laneHeight;
        var segments = lanes[i].segments;
        for (var s = 0; s < segments.length; ++s) {
            var start = plot.left + segments[s].start / 1440 * plot.width;
            var end = plot.left + segments[s].end / 1440 * plot.width;
            ctx.fillStyle = segments[s].color;
            ctx.fillRect(start, top + 4, Math.max(1, end - start), Math.max(8, laneHeight - 8));
        }
        ctx.fillStyle = textColor;
        ctx.fillText(Series.cutLabel(lanes[i].key, 10), plot.left - 8, top + laneHeight / 2);
        ctx.strokeStyle = laneSeparatorColor;
        ctx.beginPath();
        ctx.moveTo(plot.left, top + laneHeight);
        ctx.lineTo(plot.right, top + laneHeight);
        ctx.stroke();
    }
}

function paintPie(ctx, chart, plot) {
    var slices = Series.pieSlices(chart.points, chart.english);
    if (slices.length === 0)
        return;
    var centerX = plot.left + plot.width / 2;
    var centerY = plot.top + plot.height / 2;
    var radius = 0.32 * Math.min(plot.width, plot.height);
    for (var i = 0; i < slices.length; ++i) {
        ctx.fillStyle = slices[i].color;
        ctx.beginPath();
        ctx.moveTo(centerX, centerY);
        ctx.arc(centerX, centerY, radius, slices[i].startAngle, slices[i].endAngle, false);
        ctx.closePath();
        ctx.fill();
    }
    // Slices of one colour (all events, all faults) stay apart by a white edge.
    ctx.strokeStyle = "#ffffff";
    ctx.lineWidth = 1.5;
    for (var e = 0; slices.length > 1 && e < slices.length; ++e) {
        ctx.beginPath();
        ctx.moveTo(centerX, centerY);
        ctx.lineTo(centerX + radius * Math.cos(slices[e].startAngle), centerY + radius * Math.sin(slices[e].startAngle));
        ctx.stroke();
    }
    ctx.textAlign = "left";
    ctx.textBaseline = "top";
    for (var j = 0; j < slices.length; ++j) {
        ctx.fillStyle = slices[j].color;
        ctx.fillRect(8, 8 + j * 16 + 3, 10, 10);
        ctx.fillStyle = textColor;
        var value = NumberText.decimalText(slices[j].value, chart.english);
        ctx.fillText(Series.cutLabel(slices[j].label, 34) + " (" + value + ")", 22, 8 + j * 16);
    }
}

function paintSeries(ctx, chart, plot, fontSize) {
    var points = chart.points;
    var isSpeed = chart.chartType === Series.ChartSpeed;
    var maximum = Series.scaleMaximum(points, isSpeed);
    var y = function (value) { return plot.bottom - Math.min(value, maximum) / maximum * plot.height; };

    ctx.lineWidth = 1;
    ctx.textAlign = "right";
    ctx.textBaseline = "middle";
    for (var g = 0; g <= 4; ++g) {
        var value = maximum * g / 4;
        var gridY = y(value);
        ctx.strokeStyle = gridColor;
        ctx.beginPath();
        ctx.moveTo(plot.left, gridY);
        ctx.lineTo(plot.right, gridY);
        ctx.stroke();
        ctx.fillStyle = textColor;
        ctx.fillText(String(Math.round(value)), plot.left - 8, gridY);
    }
    if (points.length === 0)
        return;

    var slot = plot.width / points.length;
    var x = function (index) { return plot.left + slot * (index + 0.5); };

    if (chart.form === "bars") {
        var barWidth = Math.max(2, 0.68 * slot);
        for (var b = 0; b < points.length; ++b) {
            ctx.fillStyle = points[b].color;
            var top = y(points[b].value);
            ctx.fillRect(x(b) - barWidth / 2, top, barWidth, plot.bottom - top);
        }
    } else {
        if (isSpeed) {
            ctx.fillStyle = "rgba(24,119,201,0.18)";
            for (var r = 0; r < points.length; ++r) {
                var high = y(points[r].max);
                ctx.fillRect(x(r) - slot / 2, high, slot, Math.max(1, y(points[r].min) - high));
            }
        }
        if (chart.form === "area") {
            ctx.fillStyle = "rgba(24,119,201,0.20)";
            ctx.beginPath();
            ctx.moveTo(x(0), plot.bottom);
            for (var a = 0; a < points.length; ++a)
                ctx.lineTo(x(a), y(points[a].value));
            ctx.lineTo(x(points.length - 1), plot.bottom);
            ctx.closePath();
            ctx.fill();
        }
        if (chart.form === "line" || chart.form === "area") {
            ctx.strokeStyle = lineColor;
            ctx.lineWidth = isSpeed ? 1.5 * chart.uiScale : Math.max(1, Math.round(2 * chart.uiScale));
            ctx.beginPath();
            for (var l = 0; l < points.length; ++l) {
                if (l === 0)
                    ctx.moveTo(x(l), y(points[l].value));
                else
                    ctx.lineTo(x(l), y(points[l].value));
            }
            ctx.stroke();
        }
        if (chart.form === "points") {
            var radius = Math.max(2, 3 * chart.uiScale);
            ctx.fillStyle = lineColor;
            for (var p = 0; p < points.length; ++p) {
                ctx.beginPath();
                ctx.arc(x(p), y(points[p].value), radius, 0, 2 * Math.PI, false);
                ctx.fill();
            }
        }
    }

    ctx.fillStyle = textColor;
    if (isSpeed)
        paintSpeedLabels(ctx, chart, plot, points, x);
    else
        paintSlantedLabels(ctx, chart, plot, points, x);
}

function paintSpeedLabels(ctx, chart, plot, points, x) {
    var indexes = Series.labelIndexes(points.length, Series.speedLabelCount(plot.width, chart.uiScale));
    var spansDates = Series.spansDates(points);
    var previousRight = -Infinity;
    ctx.textAlign = "left";
    ctx.textBaseline = "top";
    for (var i = 0; i < indexes.length; ++i) {
        var text = Series.speedLabel(points[indexes[i]].time, spansDates);
        var width = ctx.measureText(text).width;
        var left = Math.max(plot.left, Math.min(plot.right - width, x(indexes[i]) - width / 2));
        if (left - previousRight < 8 * chart.uiScale)
            continue;
        ctx.fillText(text, left, plot.bottom + 6);
        previousRight = left + width;
    }
}

// A label shortened with "…" until it fits the room.
function fittedLabel(ctx, text, room) {
    var label = Series.cutLabel(text, 24);
    var length = Math.min(24, String(text).length);
    while (length > 1 && ctx.measureText(label).width > room) {
        length -= 1;
        label = String(text).slice(0, length) + "…";
    }
    return label;
}

function paintSlantedLabels(ctx, chart, plot, points, x) {
    var indexes = Series.labelIndexes(points.length, 12);
    // Slanted labels must end within the bottom margin (above the X caption) and the left edge.
    var captionRoom = Series.axisCaptions(chart.chartType, chart.style, chart.english).x.length > 0 ? 24 : 8;
    var room = (chart.height - plot.bottom - captionRoom * chart.uiScale) * Math.SQRT2;
    ctx.textAlign = "right";
    ctx.textBaseline = "middle";
    for (var i = 0; i < indexes.length; ++i) {
        ctx.save();
        ctx.translate(x(indexes[i]), plot.bottom + 8);
        ctx.rotate(-Math.PI / 4);
        ctx.fillText(fittedLabel(ctx, points[indexes[i]].label, Math.min(room, x(indexes[i]) * Math.SQRT2)), 0, 0);
        ctx.restore();
    }
}

function paintCaptions(ctx, chart, plot) {
    var captions = Series.axisCaptions(chart.chartType, chart.style, chart.english);
    var size = Math.max(9, Math.min(13, chart.uiFontSize - 2));
    ctx.font = "bold " + size + "px sans-serif";
    ctx.fillStyle = captionColor;
    ctx.textAlign = "center";
    ctx.textBaseline = "top";
    if (captions.y.length > 0) {
        ctx.save();
        ctx.translate(4, plot.top + plot.height / 2);
        ctx.rotate(-Math.PI / 2);
        ctx.fillText(captions.y, 0, 0);
        ctx.restore();
    }
    if (captions.x.length > 0) {
        ctx.textBaseline = "bottom";
        ctx.fillText(captions.x, plot.left + plot.width / 2, chart.height - 4);
    }
}
