import QtQuick
import QtQuick.Controls
import QtTest
import Tessaron
import "ItemsInSight.js" as InSight

TestCase {
    id: testCase

    // The reports a test stored, removed after it.
    property var savedReportIds: []

    name: "MainWindow"
    when: windowShown

    // The application's own window, as the entry point loads it, with the properties given.
    function createWindow(properties) {
        var component = Qt.createComponent("qrc:/qml/Main.qml");
        compare(component.status, Component.Ready, component.errorString());
        var window = createTemporaryObject(component, testCase, Object.assign({ visible: true }, properties || {}));
        verify(window);
        tryCompare(window.pageStack, "busy", false);
        compare(window.pageStack.currentItem.objectName, "mainMenuPage");
        return window;
    }

    function open(window, name) {
        var action = findChild(window, name);
        verify(action, name);
        action.trigger();
        tryCompare(window.pageStack, "busy", false);
    }

    // Choosing the page already shown does nothing; another page still opens over it, and one "Назад" returns.
    function test_commandOfTheShownPageDoesNothing_data() {
        return [
            { tag: "settings", command: "settingsCommand", other: "documentsCommand" },
            { tag: "documents", command: "documentsCommand", other: "settingsCommand" },
            { tag: "ddd", command: "dddCommand", other: "settingsCommand" }
        ];
    }

    function test_commandOfTheShownPageDoesNothing(data) {
        var window = createWindow();
        var stack = window.pageStack;
        open(window, data.command);
        var shown = stack.currentItem;
        open(window, data.command);
        compare(stack.depth, 2);
        verify(stack.currentItem === shown, "the same page, not a second copy");
        open(window, data.other);
        compare(stack.depth, 3);
        findChild(stack.currentItem, "backButton").clicked();
        tryCompare(stack, "busy", false);
        verify(stack.currentItem === shown);
    }

    // The DDD page's language is the page's own: the window's menu stays Russian.
    function test_pageLanguageLeavesTheMenuRussian() {
        var window = createWindow();
        open(window, "dddCommand");
        findChild(window.pageStack.currentItem, "languageBox").activated(1);
        compare(window.pageStack.currentItem.pageTitle, "DDD decoder");
        var menus = window.menuBar;
        compare([menus.menuAt(0).title, menus.menuAt(1).title, findChild(window, "quitCommand").text],
                ["Файл", "Сервис", "Выход"]);
    }

    function cleanup() {
        for (const reportId of savedReportIds)
            verify(app.ddd.deleteSavedReport(reportId, true));
        savedReportIds = [];
        app.ddd.clear();
        documentsFixture.reset();
        syncFixture.reset();
    }

    // Each page as a scaled laptop screen shows it: 1366×768 at 125 % leaves 1093×614 logical pixels, and the
    // window less its task bar about 1093×582, its minimum bounded by that area as the placement bounds it. The
    // page's commands stay in sight (the menu bar, the header, the footer); what lies in its content is reached
    // by scrolling. A picture of each, from the top of its content and, where it scrolls, from its end.
    function test_everyPageKeepsItsCommandsOnALaptopScreen_data() {
        const dddCommands = ["backButton", "languageBox", "openButton", "processButton", "chartsButton",
                             "reportsButton", "saveButton", "exportButton", "clearButton"];
        return [
            { tag: "main menu", command: "", view: "", commands: [],
              content: ["dddCommandButton", "documentsCommandButton", "settingsCommandButton", "quitCommandButton"] },
            { tag: "ddd analysis", command: "dddCommand", view: "analysis", commands: dddCommands,
              content: ["sectionList", "analysisView"] },
            { tag: "ddd charts", command: "dddCommand", view: "charts", commands: dddCommands,
              content: ["metricBox", "styleBox", "chart"] },
            { tag: "ddd stored reports", command: "dddCommand", view: "reports", commands: dddCommands,
              content: ["refreshReportsButton", "openStoredButton", "deleteStoredButton"] },
            { tag: "documents list", command: "documentsCommand", view: "list",
              commands: ["backButton", "openButton", "certificatesFolderButton", "stickersFolderButton", "deleteButton",
                         "listExitButton"],
              content: ["documentTabs", "registrationSearchField", "customerSearchField", "searchButton",
                        "clearSearchButton", "recordList"] },
            { tag: "documents form", command: "documentsCommand", view: "form",
              commands: ["backButton", "certificateButton", "stickerButton", "clearButton", "formExitButton"],
              content: ["documentTabs", "editor_OrderNumber", "choice_OrderMaster", "add_OrderMaster",
                        "choice_CustomerName", "add_CustomerName", "editor_TyreSize", "editor_SkziNumber",
                        "editor_NextCalibrationDate", "choice_Inspection", "editor_Note"] },
            { tag: "settings workshop", command: "settingsCommand", view: "0", commands: ["backButton", "saveButton"],
              content: ["settingsTabs", "workshopMarkField", "workshopNameField", "workshopPostField",
                        "workshopCityField", "workshopStreetField", "workshopPhoneField"] },
            { tag: "settings printers", command: "settingsCommand", view: "1", commands: ["backButton", "saveButton"],
              content: ["settingsTabs", "printerActBox", "printerLabelBox"] },
            { tag: "settings program", command: "settingsCommand", view: "2", commands: ["backButton", "saveButton"],
              content: ["settingsTabs", "logSwitch", "openLogFolderButton", "createSyncPackageButton",
                        "importSyncPackageButton", "shareSyncPackageButton", "mtpSyncButton"] }
        ];
    }

    function test_everyPageKeepsItsCommandsOnALaptopScreen(data) {
        const window = createWindow({ width: 1093, height: 582, minimumHeight: 582 });
        compare([window.width, window.height], [1093, 582]);
        if (data.command !== "")
            open(window, data.command);
        const page = window.pageStack.currentItem;
        showView(page, data.view);
        const root = InSight.rootOf(page);
        const content = findChild(page, "contentFlickable");
        const name = "laptop_" + data.tag.replace(/\W+/g, "_");
        content.contentY = 0;
        waitForRendering(page);
        grabImage(root).save(name + ".png");

        for (let i = 0; i < window.menuBar.count; ++i)
            InSight.verifyUncovered(testCase, window.menuBar.itemAt(i), window.menuBar);
        for (const command of data.commands)
            InSight.verifyUncovered(testCase, control(page, command), page);
        for (const item of data.content) {
            const shown = control(page, item);
            const view = InSight.scrollIntoSight(shown);
            verify(view, item + " lies in a view that scrolls");
            InSight.verifyUncovered(testCase, shown, view, page.footer);
        }
        if (content.contentHeight > content.height) {
            content.contentY = content.contentHeight - content.height;
            waitForRendering(page);
            grabImage(root).save(name + "_end.png");
        }
    }

    // The answer to a command is read wherever the page is scrolled: on a scaled laptop's smallest page (1093×530
    // under the menu bar), with the content scrolled to its end, a command of the footer, the header or the
    // content is pressed, and its answer lies whole in the window, uncovered, at the content's end and at its top.
    function test_answerStaysInSightWhereverThePageIsScrolled_data() {
        return [
            { tag: "ddd save", command: "dddCommand", view: "analysis", press: "saveButton", line: "statusBar",
              text: "statusLabel", answer: /^Отчёт сохранён в ReportsDB\.db \(№\d+\)$/, failed: false },
            { tag: "ddd failed export", command: "dddCommand", view: "analysis", press: "exportButton",
              line: "statusBar", text: "statusLabel", answer: /^Не удалось .+/, failed: true },
            { tag: "ddd decoded again", command: "dddCommand", view: "analysis", press: "processButton",
              line: "statusBar", text: "statusLabel", answer: /^Разбор завершён$/, failed: false },
            { tag: "documents search", command: "documentsCommand", view: "list", press: "searchButton",
              line: "statusLine", text: "statusLine", answer: /^Записей в списке: 1$/, failed: false },
            { tag: "documents folder not opened", command: "documentsCommand", view: "list",
              press: "certificatesFolderButton", line: "statusLine", text: "statusLine",
              answer: /^Не удалось открыть папку.*Сертификаты$/, failed: true },
            { tag: "settings package made", command: "settingsCommand", view: "2", press: "createSyncPackageButton",
              line: "footLine", text: "footLine", answer: /^Пакет создан: /, failed: false },
            { tag: "settings package not found", command: "settingsCommand", view: "2",
              press: "importSyncPackageButton", line: "footLine", text: "footLine",
              answer: /^Пакет синхронизации не найден\.$/, failed: true }
        ];
    }

    function test_answerStaysInSightWhereverThePageIsScrolled(data) {
        const window = createWindow({ width: 1093, height: 560, minimumHeight: 400 });
        window.height = 530 + window.menuBar.height;
        if (data.command !== "")
            open(window, data.command);
        const page = window.pageStack.currentItem;
        if (page.objectName === "dddPage")
            showReport(page, data.view);
        else
            showView(page, data.view);
        compare([page.width, page.height], [1093, 530]);
        const content = findChild(page, "contentFlickable");
        const toEnd = () => {
            content.contentY = Math.max(0, content.contentHeight - content.height);
            waitForRendering(page);
        };
        verify(page.objectName !== "dddPage" || content.contentHeight > content.height, "the page scrolls");
        toEnd();

        const pressed = control(page, data.press);
        if (InSight.scrollingViewOf(pressed))
            InSight.scrollIntoSight(pressed);
        if (data.press === "exportButton") {
            // The save dialog answers with a file whose folder cannot be made: a file stands in its place.
            const exporter = control(page, "pdfExport");
            exporter.saveDialogOpener = () => exporter.finish("file://" + syntheticFiles.vehicleUnit + "/отчёт.pdf", "");
        }
        mouseClick(pressed);
        if (data.press === "exportButton") {
            const options = control(page, "pdfOptionsDialog");
            tryVerify(() => options.opened);
            mouseClick(findChild(options, "pdfContinue"));
            tryVerify(() => !options.visible);
        }
        if (data.press === "processButton")
            tryVerify(() => !app.ddd.busy, 60000, "the decode ends");
        if (data.press === "saveButton")
            savedReportIds = app.ddd.savedReports.map(report => report.reportId);

        const text = control(page, data.text);
        verify(data.answer.test(text.text), text.text);
        compare(text.color, Qt.color(data.failed ? (page.objectName === "dddPage" ? "#a00000" : "#b00020")
                                                 : (page.objectName === "dddPage" ? "#276327" : "#606060")));
        const line = control(page, data.line);
        for (const place of ["end", "top"]) {
            if (place === "end")
                toEnd();
            else
                content.contentY = 0;
            waitForRendering(page);
            grabImage(InSight.rootOf(page)).save("answer_" + data.tag.replace(/\W+/g, "_") + "_" + place + ".png");
            verify(line.visible, data.line);
            compare(InSight.clipperOf(line), null, "nothing cuts the answer off at the " + place);
            InSight.verifyUncovered(testCase, line, page, page.objectName === "dddPage" ? page.footer : null);
        }
    }

    // A vehicle unit's download decoded on the DDD page, with no stored report to take a save for a second one.
    function showReport(page, view) {
        app.ddd.refreshSavedReports();
        for (const report of app.ddd.savedReports.slice())
            verify(app.ddd.deleteSavedReport(report.reportId, DddArchiveText.isTachographRow(report)));
        verify(app.ddd.openFile(syntheticFiles.vehicleUnit));
        tryVerify(() => !app.ddd.busy, 60000, "the decode ends");
        compare(app.ddd.lastError, "");
        page.selectSection(page.datasets.length + (view === "charts" ? 1 : 0));
        waitForRendering(page);
    }

    function control(page, name) {
        const found = findChild(page, name);
        verify(found, name);
        return found;
    }

    // Brings the page to the view the row names: a section of a real download on the DDD page, the list or the
    // form of a calibration record on the documents page, a tab of the settings.
    function showView(page, view) {
        if (page.objectName === "dddPage") {
            const missing = sampleFiles.missing("vu-gen1-a.ddd");
            if (missing.length > 0) {
                if (sampleFiles.required)
                    fail(sampleFiles.requiredFailure(missing));
                skip(missing);
            }
            verify(app.ddd.openFile(sampleFiles.path("vu-gen1-a.ddd")));
            tryVerify(() => !app.ddd.busy, 60000, "the decode ends");
            if (view === "reports") {
                // A stored report to list, where the suites before left none; this suite removes only its own.
                app.ddd.refreshSavedReports();
                if (app.ddd.savedReports.length === 0) {
                    verify(app.ddd.saveReport(), app.ddd.lastError);
                    savedReportIds = app.ddd.savedReports.map(report => report.reportId);
                }
                control(page, "reportsButton").clicked();
                tryVerify(() => control(page, "storedReportsList").count > 0);
            } else {
                page.selectSection(page.datasets.length + (view === "charts" ? 1 : 0));
            }
        } else if (page.objectName === "documentsPage") {
            verify(documentsFixture.addCalibration({ WriteResult: 1, OrderNumber: 41, CustomerName: "Иванов",
                RecordDateTime: "2024-11-03 09:15:00", NextCalibrationDate: "03.11.2026",
                VehicleRegistrationNumber: "К001КК", WVehicleCharacteristicConstant: 8000,
                KConstantOfRecordingEquipment: 8000, LTyreCircumference: 3250 }));
            page.controller.refresh();
            tryVerify(() => control(page, "recordList").count === 1);
            mouseClick(control(page, "recordList").itemAtIndex(0));
            tryVerify(() => page.hasSelection);
            if (view === "form")
                control(page, "documentTabs").currentIndex = 1;
        } else if (page.objectName === "settingsPage") {
            control(page, "settingsTabs").currentIndex = Number(view);
        }
        waitForRendering(page);
    }
}
