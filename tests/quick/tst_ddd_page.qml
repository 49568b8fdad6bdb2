import QtQuick
import QtQuick.Controls
import QtTest
import Tessaron

// The DDD page against a stand-in controller: what it lists, shows and calls.
TestCase {
    id: testCase

    name: "DddPage"
    when: windowShown
    visible: true
    width: 1280
    height: 900

    Component {
        id: fakeControllerComponent

        FakeDddController {}
    }

    Component {
        id: fakeAppComponent

        QtObject {
            property QtObject ddd: null
            property int resumeCount: 0

            function resumeDeviceMonitoring() {
                resumeCount += 1;
            }
        }
    }

    Component {
        id: pageComponent

        DddPage {}
    }

    Component {
        id: placeholderComponent

        Item {}
    }

    StackView {
        id: stack

        anchors.fill: parent
    }

    property QtObject fakeApp: null
    property QtObject ddd: null

    function init() {
        ddd = createTemporaryObject(fakeControllerComponent, testCase);
        fakeApp = createTemporaryObject(fakeAppComponent, testCase, { ddd: ddd });
        stack.push(placeholderComponent, {}, StackView.Immediate);
        stack.push(pageComponent, { app: fakeApp }, StackView.Immediate);
        verify(stack.currentItem);
        waitForRendering(stack.currentItem);
    }

    function cleanup() {
        stack.clear(StackView.Immediate);
    }

    function page() {
        return stack.currentItem;
    }

    function child(name) {
        var item = findChild(page(), name);
        verify(item, name);
        return item;
    }

    function publishCard(extra) {
        var values = {
            fileName: "card.ddd", filePath: "/data/card.ddd", fileType: "Карта водителя", fileKind: 1, fileSize: 26635,
            statusText: "Разбор завершён",
            summary: { fileName: "card.ddd", fileType: "Карта водителя", cardNumber: "E12345678T000001",
                       driverSurname: "Иванов", expiryDate: "15 июня 2030 г.", eventCount: 0, faultCount: 6 },
            sections: [{ fileNumber: "0501", name: "Идентификация приложения", fileType: 0, payloadHex: "0102" },
                       { fileNumber: "0502", name: "События", fileType: 0, payloadHex: "" }],
            cardIcc: [{ description: "clockstop", value: "01" }],
            faults: [{ faultType: "Сбой карты", faultBeginTime: "01.02.2023 10:00:00" }]
        };
        publishWith(values, extra);
    }

    // Publishes values with the extra ones over them.
    function publishWith(values, extra) {
        for (var key in extra)
            values[key] = extra[key];
        ddd.publish(values);
    }

    function publishTachograph(extra) {
        var values = {
            fileName: "vu.ddd", filePath: "/data/vu.ddd", fileType: "Тахограф", fileKind: 2, fileSize: 103348,
            statusText: "Разбор завершён", sections: [], cardIcc: [], faults: [],
            summary: { fileName: "vu.ddd", fileType: "Тахограф", vin: "WDB9066351S123456", registrationNumber: "AB123CD" },
            tachoChildSections: [{ fileNumber: "7601", name: "VehicleIdentification" }],
            vuIdentification: [{ description: "vuManufacturerName", value: "Maker" }]
        };
        publishWith(values, extra);
    }

    // Every item under item (itself included) that passes the test, walking controls' content items too.
    function itemsWhere(item, test, found) {
        var result = found || [];
        if (test(item))
            result.push(item);
        var children = item.children || [];
        var walkedContent = false;
        for (var i = 0; i < children.length; ++i) {
            walkedContent = walkedContent || children[i] === item.contentItem;
            itemsWhere(children[i], test, result);
        }
        if (item.contentItem && item.contentItem !== item && !walkedContent)
            itemsWhere(item.contentItem, test, result);
        return result;
    }

    function textItems(item) {
        return itemsWhere(item, function (candidate) {
            return candidate.hasOwnProperty("textFormat") && typeof candidate.text === "string";
        });
    }

    function named(item, name) {
        return itemsWhere(item, function (candidate) { return candidate.objectName === name; });
    }

    function visibleText(text) {
        var items = textItems(page());
        for (var i = 0; i < items.length; ++i) {
            if (items[i].text === text && items[i].visible)
                return items[i];
        }
        return null;
    }

    function test_cardDatasetsAndTheFileBox() {
        verify(!child("dataArea").visible && !child("fileBox").visible && child("hint").visible);
        verify(!child("statusBar").visible, "no report, no error, no decode");
        publishCard({});
        verify(child("dataArea").visible && child("fileBox").visible && !child("hint").visible);
        compare(page().navigationNames, ["Содержание файла", "ICC", "Данные событий", "Данные неисправностей", "Анализ"],
                "events are listed because the card holds EF 0502; the analysis comes last");
        verify(visibleText("E12345678T000001"));
        verify(visibleText("0 / 6"));
        verify(visibleText("Разбор завершён"));
    }

    function test_selectionIsKeptByKind() {
        publishCard({});
        page().selectSection(3);
        compare(page().selectedSection, "faults");
        publishCard({ applicationIdentification: [{ description: "cardStructureVersion", value: "0100" }] });
        compare(page().sectionIndex, 4, "the faults stay selected although a dataset was listed before them");
        compare(child("datasetView").rows[0].faultType, "Сбой карты");

        page().selectSection(page().datasets.length);
        compare(child("sectionStack").currentIndex, 1);
        publishTachograph();
        compare(page().sectionIndex, 0, "another file type starts at its first section");
        compare(child("sectionStack").currentIndex, 0);
        compare(page().navigationNames, ["Содержание файла", "Идентификация тахографа", "Анализ"]);
        publishTachograph({ fileType: "Vehicle unit" });
        verify(page().isTachograph, "the kind by its number, not by its text");
    }

    function test_controllerTextsArePlain() {
        var markup = "<img src=\"file:///x.png\"><b>bold</b>";
        publishCard({
            fileName: markup + ".ddd", lastError: "Ошибка: " + markup,
            summary: { fileName: markup, driverSurname: markup, cardNumber: markup, expiryDate: markup },
            sections: [{ fileNumber: "0501", name: markup, fileType: 0 }],
            cardIcc: [{ description: markup, value: markup }],
            analysis: { compliance: { violations: [markup], warnings: [markup], recommendations: [] },
                        efficiency: { totalWorkTime: markup }, workingHours: [{ dayNumber: markup }] },
            savedReports: [{ reportId: 1, reportType: "Тахограф", fileKind: 2, reportDate: markup, description: markup }]
        });
        var seen = 0;
        var sections = page().datasets.length + 3;
        for (var section = 0; section < sections; ++section) {
            page().selectSection(section);
            waitForRendering(page());
            var items = textItems(page());
            for (var i = 0; i < items.length; ++i) {
                if (items[i].text.indexOf("<img") < 0)
                    continue;
                seen += 1;
                compare(items[i].textFormat, Text.PlainText, "plain: " + items[i].text);
            }
        }
        verify(seen >= 10, "markup texts found: " + seen);
        verify(visibleText("Ошибка: " + markup), "the error is shown as its characters");
    }

    // The technician's choice in the header's language box reaches the page's texts, and the box follows the page.
    function test_languageBoxTranslatesThePage() {
        ddd.publish({ lastError: "Файл не найден: /data/Файл.ddd", statusText: "Ошибка разбора" });
        compare(child("statusLabel").text, "Файл не найден: /data/Файл.ddd");
        compare(child("statusLabel").color, "#a00000");
        const language = child("languageBox");
        language.activated(1);
        compare([page().english, language.currentIndex], [true, 1]);
        compare(child("statusLabel").text, "File not found: /data/Файл.ddd");
        compare([page().pageTitle, child("backButton").text], ["DDD decoder", "‹ Back"]);
        ddd.publish({ lastError: "", busy: true, statusText: "Разбор файла .ddd..." });
        compare(child("statusLabel").text, "Decoding .ddd file...");
        compare(child("statusLabel").color, "#276327");
        verify(child("busyBar").visible);
        language.activated(0);
        compare(child("statusLabel").text, "Разбор файла .ddd...");
        compare(child("backButton").text, "‹ Назад");
    }

    function test_damagedFileShowsItsStatusAsAWarning_data() {
        return [
            { tag: "cut", text: "Файл обрезан: блок 7602 короче заявленного",
              english: "File truncated: block 7602 is shorter than declared" },
            { tag: "unsplit", text: "Разбор завершён с ошибками: не разобрано 5242880 байт из 5243371",
              english: "Decoded with errors: 5242880 of 5243371 bytes not decoded" },
            { tag: "second generation", text: "Разбор завершён: данные второго поколения не расшифрованы (блоков: 13)",
              english: "Decoding complete: second-generation data not decoded (blocks: 13)" }
        ];
    }

    function test_damagedFileShowsItsStatusAsAWarning(data) {
        publishCard({ statusWarning: true, statusText: data.text });
        verify(child("dataArea").visible, "what was decoded before the damage stays shown");
        compare(child("statusLabel").text, data.text);
        compare(child("statusLabel").color, "#a06000");
        compare(child("statusBar").color, "#fdf6e9");
        waitForRendering(page());
        grabImage(page()).save("ddd_page_damaged_status_" + data.tag.replace(/\W+/g, "_") + ".png");
        page().english = true;
        compare(child("statusLabel").text, data.english);
        ddd.publish({ statusWarning: false, statusText: "Разбор завершён" });
        compare(child("statusLabel").color, "#276327");
        compare(child("statusBar").color, "#eaf4ea");
    }

    // A long error is read whole by scrolling within its line, which keeps to a quarter of the page: the answer
    // stays above the scrolling content and must not take the page from the data.
    function test_longErrorScrollsWithinItsLine() {
        const error = "Не удалось сохранить отчёт: " + "база данных занята другим процессом; ".repeat(200);
        publishCard({ lastError: error });
        waitForRendering(page());
        const label = child("statusLabel");
        compare(label.text, error);
        verify(label.interactive && label.contentHeight > label.height, "the rest is reached by scrolling it");
        const bar = child("statusBar");
        verify(bar.height <= Math.round(page().height / 4), bar.height + " of " + page().height);
        const area = child("dataArea");
        fuzzyCompare(area.height, page().roomForData, 1, "the data fills the rest of the page");
        grabImage(page()).save("ddd_page_long_error.png");
    }

    function test_buttonsCallTheController() {
        var open = child("openButton");
        var process = child("processButton");
        var clear = child("clearButton");
        verify(open.enabled);
        verify(!process.enabled && !child("chartsButton").enabled, "nothing to process yet");
        mouseClick(open);
        publishCard({});
        mouseClick(process);
        mouseClick(child("chartsButton"));
        compare(child("sectionStack").currentIndex, 2);
        mouseClick(clear);
        compare(ddd.calls, ["refreshSavedReports", "chooseAndOpenFile", "openFile /data/card.ddd", "clear"],
                "the stored reports are listed once the page is made");
        ddd.publish({ busy: true });
        verify(!open.enabled && !process.enabled && !clear.enabled);
    }

    function test_fileContentsRowOpensItsHex() {
        publishCard({});
        var view = child("datasetView");
        waitForRendering(view);
        mouseDoubleClickSequence(view, 40, view.headerHeight + view.rowHeight / 2);
        var dialog = child("hexDialog");
        tryVerify(function () { return dialog.opened; });
        compare(page().hexDialogTitle, "0501 — Идентификация приложения");
        compare(page().hexDialogText.slice(0, 15), "00000000  01 02");
        dialog.close();

        page().selectSection(1);
        mouseDoubleClickSequence(view, 40, view.headerHeight + view.rowHeight / 2);
        wait(50);
        verify(!dialog.opened, "only the file contents open the hex view");
    }

    function test_backResumesMonitoring() {
        page().backRequested();
        compare(stack.depth, 1);
        compare(fakeApp.resumeCount, 1);
        tryVerify(function () { return !stack.busy; });

        stack.push(pageComponent, { app: fakeApp, resumeMonitoringOnClose: false }, StackView.Immediate);
        page().backRequested();
        compare(stack.depth, 1);
        tryVerify(function () { return !stack.busy; });
        compare(fakeApp.resumeCount, 1, "opened by the download preview: monitoring stays as it is");
    }

    Component {
        id: seriesSpy

        SignalSpy {
            signalName: "seriesChanged"
        }
    }

    function test_switchingSectionsKeepsTheSpeedSeries() {
        var speed = [];
        for (var minute = 0; minute < 10; ++minute)
            speed.push({ speedBlockBeginDate: "01.08.2022 10:0" + minute + ":00", speedValues: [minute, 30],
                         validSpeedCount: 2 });
        ddd.publish({ fileName: "vu.ddd", fileType: "Тахограф", fileKind: 2, detailedSpeed: speed,
                      tachoChildSections: [{ fileNumber: "7604", name: "VUDetailedSpeedData" }] });
        page().selectSection(page().datasets.length + 1);
        page().selectedChartMetric = 1;
        var chart = child("chart");
        tryVerify(function () { return !chart.speedSeriesPending && chart.speedSampleCount === 20; }, 3000);
        var builds = createTemporaryObject(seriesSpy, testCase, { target: chart.speedSeries });

        page().selectSection(0);
        waitForRendering(page());
        page().selectSection(page().datasets.length + 1);
        page().selectedChartStyle = 1;
        wait(400);
        compare(builds.count, 0, "switching sections and styles reuses the series");
        compare(chart.speedSampleCount, 20);
    }

    function pickFrom(box, index) {
        mouseClick(box);
        tryVerify(function () { return box.popup.opened; });
        box.popup.contentItem.positionViewAtIndex(index, ListView.Contain);
        waitForRendering(box.popup.contentItem);
        mouseClick(box.popup.contentItem.itemAtIndex(index));
        tryVerify(function () { return !box.popup.visible; });
    }

    function test_newReportStartsTheChartsOver() {
        publishCard({ analysis: { workingHours: [{ dayNumber: 1, workMinutes: 90 }] } });
        mouseClick(child("chartsButton"));
        var metricBox = child("metricBox");
        var chart = child("chart");
        pickFrom(metricBox, 8);
        pickFrom(child("styleBox"), 5);
        page().english = true;
        compare(metricBox.currentIndex, 8, "the other language's names keep the choice");
        compare(child("styleBox").currentIndex, 5);
        compare(child("chartTitle").text, "Work time by day");
        page().english = false;

        publishTachograph({ activityChanges: [{ day: 2, minutes: 60, activity: "Drive" }] });
        mouseClick(child("chartsButton"));
        tryCompare(chart, "laneCount", 1, 5000, "a download without daily records draws its activity changes");
        compare([page().selectedChartMetric, metricBox.currentIndex, chart.chartType], [0, 0, 0]);
        compare([page().selectedChartStyle, child("styleBox").currentIndex, chart.visualizationType], [0, 0, 0]);
        compare(metricBox.displayText, "Активность");
        compare(child("chartTitle").text, "График активности по дням");
    }

    function test_analysisTableKeepsItsHeaderAndStartsOverWithANewReport() {
        var days = [];
        for (var day = 1; day <= 40; ++day)
            days.push({ dayNumber: day, workTime: "01:00", restTime: "23:00", workStart: "08:00", workEnd: "09:00" });
        publishCard({ analysis: { workingHours: days } });
        page().selectSection(page().datasets.length);
        var view = child("analysisView");
        var table = child("workingHoursView");
        waitForRendering(view);
        fuzzyCompare(table.height, view.height, 1, "forty days fill the view's height and no more");

        view.contentY = table.y + 2 * table.rowHeight;
        compare(findChild(table, "tableHeader").mapToItem(view, 0, 0).y, 0, "the header stays at the view's top");
        table.contentX = 200;
        table.listView.contentY = table.listView.originY + 5 * table.rowHeight;

        publishCard({ fileName: "other.ddd", filePath: "/data/other.ddd", analysis: { workingHours: days } });
        compare(view.contentY, 0);
        compare(table.contentX, 0, "the day column is in sight again");
        compare(table.listView.contentY, table.listView.originY);
    }

    // --- Archive and export ---------------------------------------------------------------------------------

    // The whole window, so that open dialogs are in the picture.
    function shoot(fileName) {
        waitForRendering(page());
        wait(50);
        grabImage(testCase.Window.contentItem).save(fileName);
    }

    function lastCall() {
        return ddd.calls[ddd.calls.length - 1];
    }

    function openedDialog(name) {
        var dialog = child(name);
        tryVerify(function () { return dialog.opened; });
        return dialog;
    }

    function test_storedReports() {
        mouseClick(child("reportsButton"));
        compare(ddd.calls, ["refreshSavedReports", "refreshSavedReports"], "on completion, then by the button");
        verify(child("dataArea").visible && !child("sectionList").visible && !child("hint").visible);
        compare(child("sectionStack").currentIndex, 3);
        ddd.savedReports = [
            { reportId: 2, reportDate: "2024-03-01 10:00:00", reportType: "Тахограф", fileKind: 2, keyValue: "XTA21099000000001" },
            { reportId: 2, reportDate: "2024-02-28 09:15:00", reportType: "Карта водителя", fileKind: 1, description: "IVANOV IVAN" },
            { reportId: 1, reportDate: "2024-02-01 08:00:00", reportType: "Карта водителя", fileKind: 1, description: "RUD000001" }];
        shoot("ddd_page_stored_reports.png");
        verify(visibleText("XTA21099000000001") && visibleText("IVANOV IVAN") && visibleText("????????"));
        mouseClick(named(page(), "openStoredButton")[0]);
        compare(lastCall(), "openSavedReport 2 true");

        var deletes = named(page(), "deleteStoredButton");
        mouseClick(deletes[0]);
        var dialog = openedDialog("deleteConfirmation");
        compare(dialog.message, "Удалить сохранённый отчёт 2024-03-01 10:00:00 — XTA21099000000001? "
                + "Это действие нельзя отменить.");
        shoot("ddd_page_delete_confirmation.png");
        mouseClick(findChild(dialog, "rejectButton"));
        tryVerify(function () { return !dialog.visible; });
        compare(lastCall(), "openSavedReport 2 true", "cancel deletes nothing");
        mouseClick(deletes[0]);
        openedDialog("deleteConfirmation");
        page().english = true;
        verify(visibleText("Driver card") && visibleText("Tachograph"));
        compare([dialog.title, findChild(dialog, "acceptButton").text], ["Delete report?", "Delete"]);
        shoot("ddd_page_delete_confirmation_en.png");
        mouseClick(findChild(dialog, "acceptButton"));
        compare(lastCall(), "deleteSavedReport 2 true");

        ddd.duplicateReportDetected(5);
        var notice = openedDialog("duplicateNotice");
        compare([notice.title, notice.message, findChild(notice, "acceptButton").text],
                ["Report already saved", "This file is already saved as report #5. No duplicate was created.", "OK"]);
        notice.close();
        ddd.savedReports = [];
        verify(visibleText("No saved reports"));

        page().english = false;
        publishCard({ savedReports: [{ reportId: 1, reportType: "Карта водителя", fileKind: 1, reportDate: "2024-02-28 09:15:00",
                                      description: "IVANOV IVAN" }] });
        publishCard({ applicationIdentification: [{ description: "cardStructureVersion", value: "0100" }] });
        compare([page().selectedSection, child("sectionStack").currentIndex], ["#reports", 3], "kept by kind");
        verify(child("sectionList").visible);
        shoot("ddd_page_stored_reports_with_report.png");
        ddd.publish({ busy: true });
        verify(!named(page(), "openStoredButton")[0].enabled, "a decode would replace the reopened report");
        verify(!child("saveButton").enabled && child("exportButton").enabled);
    }

    // The choices for each file type, the refusal of an empty choice, and the chosen ones reaching the export with
    // the save dialog's file URL.
    function test_pdfExport_data() {
        return [
            { tag: "card", sections: 15, charts: ["faults"] },
            { tag: "tachograph", sections: 20, charts: ["activity", "speed", "workingTime"] }
        ];
    }

    function test_pdfExport(data) {
        if (data.tag === "card")
            publishCard({});
        else
            publishTachograph({ activityDaily: [{}], detailedSpeed: [{}], analysis: { workingHours: [{}] } });
        var exporter = child("pdfExport");
        exporter.saveDialogOpener = function () { exporter.finish("file:///home/u/%D0%BE%20a.pdf", "file:///home/u"); };
        mouseClick(child("exportButton"));
        var dialog = openedDialog("pdfOptionsDialog");
        var boxes = itemsWhere(dialog.contentItem, function (item) { return /^pdf\w+_/.test(item.objectName); });
        compare(boxes.filter(function (box) { return box.checked; }).length, data.sections, "every section ticked");
        compare(boxes.filter(function (box) { return !box.checked; }).map(function (box) { return box.objectName; }),
                data.charts.map(function (key) { return "pdfChart_" + key; }), "charts offered with data, unticked");
        shoot("ddd_page_pdf_options_" + data.tag + ".png");
        page().english = true;
        shoot("ddd_page_pdf_options_" + data.tag + "_en.png");

        mouseClick(findChild(dialog, "pdfClearSelection"));
        mouseClick(findChild(dialog, "pdfContinue"));
        compare(dialog.validation, "Select at least one section or chart");
        page().english = false;
        mouseClick(findChild(dialog, "pdfContinue"));
        verify(dialog.opened && findChild(dialog, "pdfValidation").visible, "nothing ticked: the dialog stays");
        shoot("ddd_page_pdf_options_refused.png");
        mouseClick(named(dialog.contentItem, "pdfChart_" + data.charts[0])[0]);
        compare(dialog.validation, "", "a tick clears the refusal");
        mouseClick(named(dialog.contentItem, "pdfSection_basicInfo")[0]);
        mouseClick(findChild(dialog, "pdfContinue"));
        compare(lastCall(), "exportReportPdf file:///home/u/%D0%BE%20a.pdf "
                + JSON.stringify({ sections: ["basicInfo"], graphs: [data.charts[0]] }));
    }
}
