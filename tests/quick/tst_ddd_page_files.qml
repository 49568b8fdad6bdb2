import QtQuick
import QtQuick.Controls
import QtTest
import Tessaron

// The DDD page on the real controller with real downloads (from the samples folder; a test skips without its
// file). Each file's tables, analysis and charts are grabbed to PNG files in the working folder of the test, the
// build folder, to be looked at.
TestCase {
    id: testCase

    name: "DddPageFiles"
    when: windowShown
    visible: true
    width: 1280
    height: 900

    Component {
        id: pageComponent

        DddPage {}
    }

    StackView {
        id: stack

        width: testCase.width
        height: testCase.height
    }

    Component {
        id: scaledAppComponent

        QtObject {
            property QtObject ddd: app.ddd
            property QtObject settings: QtObject {
                property real uiScale: 1.25
            }

            function resumeDeviceMonitoring() {
            }
        }
    }

    function initTestCase() {
        if (typeof app === "undefined" || !app || !app.ddd)
            skip("the runner gives no application controller");
    }

    function cleanup() {
        stack.clear(StackView.Immediate);
        stack.width = testCase.width;
        stack.height = testCase.height;
        if (app && app.ddd)
            app.ddd.clear();
    }

    // Every skip for a real download: with the reason, which names the path tried; a failure where the samples
    // are required.
    function skipSample(reason) {
        if (sampleFiles.required)
            fail(sampleFiles.requiredFailure(reason));
        skip(reason);
    }

    // The path of a real download; the test skips, naming the path it tried, when the file is absent.
    function samplePath(name) {
        var missing = sampleFiles.missing(name);
        if (missing.length > 0)
            skipSample(missing);
        return sampleFiles.path(name);
    }

    function openSample(name, properties) {
        var path = samplePath(name);
        var page = stack.push(pageComponent, properties || {}, StackView.Immediate);
        verify(page);
        compare(page.controller, app.ddd);
        verify(app.ddd.openFile(path), "decoding starts: " + path);
        tryVerify(function () { return !app.ddd.busy; }, 60000, "the decode ends");
        compare(app.ddd.lastError, "");
        compare(app.ddd.statusText, "Разбор завершён");
        waitForRendering(page);
        return page;
    }

    Component {
        id: activityComponent

        DddActivitySeries {
            active: true
        }
    }

    SignalSpy {
        id: chartPaintSpy

        signalName: "painted"
    }

    // The chart's canvas rasterises on a thread of its own, so a grab right after the series arrives may find the
    // old picture: the shown chart is painted afresh, and the grab waits for that paint rather than for a frame
    // (no frame comes when nothing else changed). The stack index first: a search of the item tree through a shown
    // table's delegates is slow.
    function shoot(page, fileName) {
        var shownChart = page.stackIndex === 2 ? findChild(page, "chart") : null;
        if (shownChart && shownChart.visible && shownChart.itemCount > 0 && !shownChart.seriesPending) {
            chartPaintSpy.target = shownChart.canvas;
            chartPaintSpy.clear();
            shownChart.canvas.requestPaint();
            chartPaintSpy.wait(5000);
        } else {
            waitForRendering(page);
        }
        wait(50);
        var image = grabImage(page);
        image.save(fileName);
    }

    function chart(page) {
        var item = findChild(page, "chart");
        verify(item);
        return item;
    }

    function walkEverySection(page, prefix) {
        var count = page.datasets.length;
        for (var section = 0; section < count; ++section) {
            page.selectSection(section);
            compare(page.stackIndex, 0);
            shoot(page, prefix + "_table_" + page.datasets[section].key + ".png");
        }
        page.selectSection(count);
        compare(page.stackIndex, 1);
        shoot(page, prefix + "_analysis.png");
        var analysisView = findChild(page, "analysisView");
        analysisView.contentY = Math.max(0, analysisView.contentHeight - analysisView.height);
        shoot(page, prefix + "_analysis_end.png");

        page.selectSection(count + 1);
        compare(page.stackIndex, 2);
        var item = chart(page);
        for (var metric = 0; metric < 9; ++metric) {
            page.selectedChartMetric = metric;
            if (metric === 1 && item.speedRows.length > 0)
                tryVerify(function () { return !item.speedSeriesPending && item.speedSampleCount > 0; }, 10000);
            tryVerify(function () { return !item.seriesPending; }, 10000, "the series of chart " + metric + " is built");
            shoot(page, prefix + "_chart_" + metric + ".png");
        }
        page.selectedChartMetric = 0;
        page.selectedChartStyle = 5;
        shoot(page, prefix + "_chart_0_pie.png");
        page.selectedChartStyle = 0;
        page.english = true;
        page.selectSection(0);
        shoot(page, prefix + "_english.png");
    }

    function test_cardFile() {
        var page = openSample("card-gen1-a.ddd");
        verify(!page.isTachograph);
        compare(page.navigationNames[0], "Содержание файла");
        compare(page.navigationNames[page.navigationNames.length - 1], "Анализ");
        verify(page.navigationNames.indexOf("Идентификация карты") > 0);
        verify(findChild(page, "fileBox").visible);
        walkEverySection(page, "ddd_page_card");
    }

    // The daily table and the activity chart tell one story: every day is accounted from its first change to
    // midnight, as its lane is drawn, and its driving is the lane's driving.
    function test_dailyTableAgreesWithTheChart() {
        var page = openSample("card-gen1-a.ddd");
        var table = findChild(page, "workingHoursView");
        verify(table);
        var days = {};
        for (var i = 0; i < table.rows.length; ++i)
            days[table.rows[i].dayKey] = table.rows[i];
        var series = createTemporaryObject(activityComponent, testCase, { rows: app.ddd.activityChanges });
        tryVerify(function () { return !series.building && series.laneCount > 0; }, 5000, "the lanes are made");
        var lanes = series.lanesFrom(0, series.laneCount);
        compare(lanes.length, table.rows.length);
        for (var k = 0; k < lanes.length; ++k) {
            var day = days[lanes[k].key];
            verify(day, "a table row for day " + lanes[k].key);
            var drawn = 0;
            var driving = 0;
            for (var j = 0; j < lanes[k].segments.length; ++j) {
                var segment = lanes[k].segments[j];
                drawn += segment.end - segment.start;
                if (segment.color === DddChartSeries.driveColor)
                    driving += segment.end - segment.start;
            }
            compare(day.workMinutes + day.restMinutes, drawn, "day " + lanes[k].key);
            compare(day.drivingMinutes, driving, "driving of day " + lanes[k].key);
        }
    }

    function test_vehicleUnitFile() {
        var page = openSample("vu-gen1-a.ddd");
        verify(page.isTachograph);
        compare(page.navigationNames[0], "Содержание файла");
        verify(page.navigationNames.indexOf("Данные событий") < 0, "no driver-card sections for a vehicle unit");
        walkEverySection(page, "ddd_page_vu");
    }

    // A real card exported through the page into a folder whose name holds Cyrillic and a blank, given as the
    // save dialog's file URL; the controller's own test reads such a PDF back.
    function test_cardIsExportedToTheChosenFile() {
        var page = openSample("card-gen1-a.ddd");
        var folder = testDataDir + "/Отчёты мастерской";
        var exporter = findChild(page, "pdfExport");
        exporter.saveDialogOpener = function (name) {
            exporter.finish(Qt.resolvedUrl("file://" + folder + "/" + name), "");
        };
        mouseClick(findChild(page, "exportButton"));
        exporter.optionsDialog.sectionSelection = { basicInfo: true };
        exporter.optionsDialog.chartSelection = { activity: true };
        exporter.optionsDialog.proceed();
        compare([app.ddd.lastError, app.ddd.statusText],
                ["", "Отчёт сохранён: " + folder + "/Отчёт_карты_водителя_card-gen1-a.pdf"]);
    }

    function test_failedOpenShowsTheControllersText() {
        var page = stack.push(pageComponent, { english: true }, StackView.Immediate);
        verify(!app.ddd.openFile("/nonexistent/folder/file.ddd"));
        verify(findChild(page, "statusBar").visible && !findChild(page, "dataArea").visible);
        compare(findChild(page, "statusLabel").text, "File not found: /nonexistent/folder/file.ddd");
    }

    // The page at the smallest window the program allows and at a common one, at both interface scales, with a
    // vehicle-unit download: nothing is wider than the page and every footer button shows its whole text.
    function test_pageAtWindowSizes_data() {
        return [
            { tag: "1024x640", width: 1024, height: 640, scale: 1.0 },
            { tag: "1024x640_scale_1.25", width: 1024, height: 640, scale: 1.25 },
            { tag: "1280x800", width: 1280, height: 800, scale: 1.0 },
            { tag: "1280x800_scale_1.25", width: 1280, height: 800, scale: 1.25 }
        ];
    }

    function test_pageAtWindowSizes(data) {
        stack.width = data.width;
        stack.height = data.height;
        var properties = data.scale !== 1.0 ? { app: createTemporaryObject(scaledAppComponent, testCase) } : {};
        var page = openSample("vu-gen1-a.ddd", properties);
        compare(page.uiScale, data.scale);
        var prefix = "ddd_page_" + data.tag;
        shoot(page, prefix + "_contents.png");
        var dataArea = findChild(page, "dataArea");
        verify(dataArea.width <= page.width - 2 * page.contentMargin + 0.5, "content width " + dataArea.width);
        var buttons = ["openButton", "processButton", "chartsButton", "reportsButton", "saveButton", "exportButton",
                       "clearButton"];
        for (var i = 0; i < buttons.length; ++i) {
            var button = findChild(page, buttons[i]);
            var right = button.mapToItem(page, button.width, 0).x;
            verify(right <= page.width + 0.5, buttons[i] + " ends at " + right);
            verify(button.width >= button.implicitWidth, buttons[i] + " shows its whole text");
        }

        page.selectSection(page.datasets.length);
        shoot(page, prefix + "_analysis.png");
        var analysisView = findChild(page, "analysisView");
        var table = findChild(page, "workingHoursView");
        analysisView.contentY = table.y + table.rowHeight;
        shoot(page, prefix + "_analysis_table.png");
        page.selectSection(page.datasets.length + 1);
        tryVerify(function () { return !chart(page).seriesPending && chart(page).laneCount > 0; }, 5000,
                  "the activity chart's lanes are made");
        shoot(page, prefix + "_charts.png");
    }

    // Work time chosen on a card, then a vehicle unit opened: its charts start at the activity chart, and the
    // selector, the title and the drawing agree.
    function test_chartAfterSwitchingFiles() {
        var page = openSample("card-gen1-a.ddd");
        page.selectSection(page.datasets.length + 1);
        page.selectedChartMetric = 8;
        shoot(page, "ddd_page_chart_before_switch.png");
        verify(app.ddd.openFile(samplePath("vu-gen1-a.ddd")));
        tryVerify(function () { return !app.ddd.busy; }, 60000, "the decode ends");
        page.selectSection(page.datasets.length + 1);
        var item = chart(page);
        compare([findChild(page, "metricBox").currentIndex, item.chartType], [0, 0]);
        compare(findChild(item, "chartTitle").text, "График активности по дням");
        tryVerify(function () { return !item.seriesPending && item.laneCount > 0; }, 5000, "the lanes are made");
        shoot(page, "ddd_page_chart_after_switch.png");
    }

    // The valid one-second values of the shown report's speed blocks, counted from its rows.
    function shownSpeedSamples() {
        var total = 0;
        for (var i = 0; i < app.ddd.detailedSpeed.length; ++i)
            total += Math.max(0, Number(app.ddd.detailedSpeed[i].validSpeedCount) || 0);
        return total;
    }

    // The speed chart draws the shown report's samples whatever was shown before: card → vehicle unit → card
    // opened from files, each stored the first time, then each reopened from the archive over the other; real
    // downloads and the runner's synthetic ones.
    function test_speedChartDrawsTheShownReport_data() {
        return [{ tag: "real", real: true }, { tag: "synthetic", real: false }];
    }

    function test_speedChartDrawsTheShownReport(data) {
        var files = data.real ? { card: samplePath("card-gen1-a.ddd"), vu: samplePath("vu-gen1-a.ddd") }
                              : { card: syntheticFiles.card, vu: syntheticFiles.vehicleUnit };
        app.ddd.refreshSavedReports();
        var stored = app.ddd.savedReports.slice();
        for (var r = 0; r < stored.length; ++r)
            verify(app.ddd.deleteSavedReport(stored[r].reportId, DddArchiveText.isTachographRow(stored[r])));
        var page = stack.push(pageComponent, {}, StackView.Immediate);
        var samples = {};
        var ids = {};
        var steps = [["card", "file"], ["vu", "file"], ["card", "file"], ["vu", "archive"], ["card", "archive"]];
        for (var i = 0; i < steps.length; ++i) {
            var kind = steps[i][0];
            if (steps[i][1] === "file")
                verify(app.ddd.openFile(files[kind]));
            else
                verify(app.ddd.openSavedReport(ids[kind], kind === "vu"));
            tryVerify(function () { return !app.ddd.busy; }, 60000, "the decode ends");
            compare([app.ddd.lastError, page.isTachograph], ["", kind === "vu"]);
            if (ids[kind] === undefined) {
                samples[kind] = shownSpeedSamples();
                verify(app.ddd.saveReport(), app.ddd.lastError);
                app.ddd.refreshSavedReports();
                var rows = app.ddd.savedReports;
                for (var k = 0; k < rows.length; ++k)
                    ids[kind] = DddArchiveText.isTachographRow(rows[k]) === (kind === "vu") ? rows[k].reportId : ids[kind];
            }
            page.selectSection(page.datasets.length + 1);
            page.selectedChartMetric = DddChartSeries.ChartSpeed;
            var item = chart(page);
            tryVerify(function () { return !item.speedSeriesPending; }, 10000, "the speed series is built");
            shoot(page, "ddd_page_speed_" + data.tag + "_" + i + "_" + kind + "_" + steps[i][1] + ".png");
            compare(shownSpeedSamples(), samples[kind], "the stored report keeps its speed");
            compare(item.speedSampleCount, samples[kind], "step " + i + ": " + kind);
        }
        verify(samples.card !== samples.vu, "the two files differ in detailed speed");
    }

    // The vehicle unit's events at the smallest window: long texts end in "…"; hovering shows one whole.
    function test_longTextsElide() {
        stack.width = 1024;
        stack.height = 640;
        var page = openSample("vu-gen1-a.ddd");
        page.selectSection(page.datasets.map(function (dataset) { return dataset.key; }).indexOf("tachoEvents"));
        var view = findChild(page, "datasetView");
        waitForRendering(view);
        var cells = view.listView.itemAtIndex(0).children[0].children;
        var cell = null;
        for (var i = 0; i < cells.length && !cell; ++i)
            cell = cells[i].truncated && cells[i].x + cells[i].width < view.width ? cells[i] : null;
        verify(cell, "a cut text in sight");
        mouseMove(cell, cell.width / 2, cell.height / 2);
        tryVerify(function () { return cell.tipShown; }, 2000);
        shoot(page, "ddd_page_table_eliding.png");
        mouseMove(page, 1, 1);
    }
}
