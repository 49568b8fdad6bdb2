import QtQuick
import QtQuick.Controls
import QtTest
import Tessaron
import "ItemsInSight.js" as InSight

TestCase {
    id: testCase

    name: "SettingsPage"
    when: windowShown
    visible: true
    width: 1000
    height: 700

    readonly property QtObject settings: app.settings

    Component {
        id: pageComponent

        SettingsPage {}
    }

    StackView {
        id: stack

        anchors.fill: parent
    }

    function fillWorkshop() {
        settings.workshopMark = "RU-0042";
        settings.workshopName = "ООО «Тахосервис»";
        settings.workshopPost = "190000";
        settings.workshopCity = "Санкт-Петербург";
        settings.workshopStreet = "ул. Заводская, 5";
        settings.workshopPhone = "+7 812 000-00-00";
    }

    function openPage() {
        const page = stack.push(pageComponent, {}, StackView.Immediate);
        waitForRendering(page);
        return page;
    }

    function cleanup() {
        stack.clear();
        syncFixture.reset();
        settings.loadSettings(true);
    }

    // Each workshop field carries what is typed into it to the controller, and shows what the controller holds.
    function test_typingReachesTheController_data() {
        return ["Mark", "Name", "Post", "City", "Street", "Phone"].map(name => ({ tag: name, name: name }));
    }

    function test_typingReachesTheController(data) {
        const page = openPage();
        const property = "workshop" + data.name;
        settings[property] = "";
        const field = findChild(page, property + "Field");
        mouseClick(field);
        keyClick(Qt.Key_A);
        keyClick(Qt.Key_B);
        compare(settings[property], "ab");
        settings[property] = "RU-7";
        compare(field.text, "RU-7");
    }

    function test_saveRefusalShowsInRedAndSuccessInGrey() {
        const page = openPage();
        settings.workshopPhone = "";
        page.saveSettings();
        const footLine = findChild(page, "footLine");
        compare(footLine.text, "Укажите клеймо мастерской");
        compare(footLine.color, Qt.color("#b00020"));

        fillWorkshop();
        mouseClick(findChild(page, "saveButton"));
        compare(settings.lastError, "");
        compare(footLine.text, "Настройки сохранены");
        compare(footLine.color, Qt.color("#606060"));
    }

    // Settings that cannot be written are shown, and the page says so in red from the moment it opens.
    function test_readOnlyStoreIsToldOnOpening() {
        const page = stack.push(pageComponent, { settings: readOnlySettings }, StackView.Immediate);
        waitForRendering(page);
        const footLine = findChild(page, "footLine");
        verify(footLine.text.endsWith("SettingsDB.db доступна только для чтения"), footLine.text);
        compare(footLine.color, Qt.color("#b00020"));
        grabImage(page).save("settings_page_read_only.png");
        verify(!readOnlySettings.save());
        verify(footLine.text.startsWith("Укажите") || footLine.text.startsWith("Не удалось записать настрой"),
               footLine.text);
    }

    // Each printer box offers the system's default first, carries a choice to the controller and shows a
    // stored printer that is gone; the log switch carries its state.
    function test_printersAndLogSwitchReachTheController() {
        const page = openPage();
        findChild(page, "settingsTabs").currentIndex = 1;
        for (const [name, property] of [["printerActBox", "printerAct"], ["printerLabelBox", "printerLabel"]]) {
            const box = findChild(page, name);
            compare([box.textAt(0), box.currentIndex], ["По умолчанию", 0], name);
            settings[property] = "Принтер, которого нет";
            compare(box.displayText, "Принтер, которого нет (нет в системе)");
            box.activated(0);
            compare(settings[property], "По умолчанию", property);
        }
        findChild(page, "settingsTabs").currentIndex = 2;
        const logSwitch = findChild(page, "logSwitch");
        tryCompare(logSwitch, "visible", true);
        const before = settings.logEnabled;
        mouseClick(logSwitch);
        compare(settings.logEnabled, !before);
    }

    function openProgramTab(properties) {
        const page = stack.push(pageComponent, properties, StackView.Immediate);
        findChild(page, "settingsTabs").currentIndex = 2;
        waitForRendering(page);
        return page;
    }

    // The block's texts top to bottom below the log commands; an import answered with a missing file is red.
    function test_syncBlockInTheDesktopForm() {
        const page = openProgramTab({});
        const names = ["openLogFolderButton", "syncTitle", "syncCaption", "createSyncPackageButton",
                       "importSyncPackageButton", "shareSyncPackageButton"];
        compare(names.map(name => findChild(page, name).text).slice(1),
                ["Синхронизация данных",
                 "Настройки, справочники, история калибровок, сертификаты, DDD и загруженные файлы",
                 "Создать пакет синхронизации", "Импортировать пакет", "Открыть папку пакетов"]);
        const rows = names.map(name => findChild(page, name).mapToItem(page, 0, 0).y);
        verify(rows[0] < rows[1] && rows[1] < rows[2] && rows[2] < rows[3] && rows[3] === rows[4] && rows[4] < rows[5],
               rows);
        compare(findChild(page, "syncCaption").font.pixelSize, Math.max(11, page.uiFontSize - 1));
        mouseClick(findChild(page, "importSyncPackageButton"));
        compare(findChild(page, "footLine").text, "Пакет синхронизации не найден.");
        compare(findChild(page, "footLine").color, Qt.color("#b00020"));
    }

    // The list dialog: empty at first, then the created package, which "Импорт" imports before closing.
    function test_syncPackagesInThePhoneForm() {
        const page = openProgramTab({ phoneForm: true });
        compare(findChild(page, "shareSyncPackageButton").text, "Передать последний пакет");
        const dialog = findChild(page, "packageDialog");
        const footLine = findChild(page, "footLine");
        mouseClick(findChild(page, "importSyncPackageButton"));
        tryCompare(dialog, "opened", true);
        compare([dialog.width, dialog.height], [Math.min(testCase.width - 24, 620), Math.min(testCase.height - 40, 520)]);
        compare(findChild(page, "noPackagesLabel").visible, true);
        compare(findChild(page, "noPackagesLabel").text, "Пакеты ещё не созданы");
        dialog.close();
        tryCompare(dialog, "visible", false);

        mouseClick(findChild(page, "createSyncPackageButton"));
        verify(footLine.text.startsWith("Пакет создан: "), footLine.text);
        compare(footLine.color, Qt.color("#606060"));
        compare(findChild(page, "syncStatusLabel").text, footLine.text);
        grabImage(page).save("settings_page_sync.png");

        mouseClick(findChild(page, "importSyncPackageButton"));
        tryCompare(dialog, "opened", true);
        const row = findChild(page, "packageList").itemAtIndex(0);
        verify(row.height >= 48 && !findChild(page, "noPackagesLabel").visible);
        compare("/" + findChild(row, "packageName").text, settings.lastSyncPackage.slice(settings.lastSyncPackage.lastIndexOf("/")));
        waitForRendering(page);
        grabImage(testCase).save("settings_page_packages.png");
        mouseClick(findChild(row, "importListedPackageButton"));
        tryCompare(dialog, "visible", false);
        verify(footLine.text.startsWith("Синхронизация завершена. Добавлено записей: "), footLine.text);
    }

    // The run's dialog cannot be closed while the run lasts, shows the phone's words as they are, and offers
    // "Закрыть" once the run has ended.
    function test_usbSyncDialogStaysForTheWholeRun() {
        const page = openProgramTab({});
        fillWorkshop();
        const start = findChild(page, "mtpSyncButton");
        compare(findChild(page, "mtpCaption").text.startsWith("Подключите разблокированный телефон кабелем USB"), true);
        mouseClick(start);
        const dialog = findChild(page, "mtpDialog");
        tryCompare(dialog, "opened", true);
        verify(settings.usbSyncActive);
        verify(!start.enabled);
        const status = findChild(dialog.contentItem, "mtpStatus");
        tryCompare(status, "text", "Ожидание телефона: <b>Honor</b> & <i>Передача файлов</i>");
        compare(status.textFormat, Text.PlainText);
        compare(settings.usbSyncProgress, 10);
        verify(findChild(dialog.contentItem, "mtpProgress").indeterminate);
        keyClick(Qt.Key_Escape);
        mouseClick(page, 5, 5);
        verify(dialog.opened);
        waitForRendering(page);
        grabImage(dialog.parent.parent).save("settings_page_mtp_dialog.png");

        const button = findChild(dialog.footer, "mtpDialogButton");
        compare(button.text, "Отменить");
        mouseClick(button);
        tryCompare(settings, "usbSyncActive", false);
        compare(button.text, "Закрыть");
        compare(status.text, "Синхронизация отменена");
        verify(!findChild(dialog.contentItem, "mtpProgress").indeterminate);
        compare(findChild(page, "syncStatusLabel").text, "Синхронизация отменена");
        compare(settings.lastError, "");
        verify(dialog.opened);
        tryCompare(start, "enabled", true);
        mouseClick(button);
        tryCompare(dialog, "visible", false);
        waitForRendering(page);
        grabImage(page).save("settings_page_mtp_cancelled.png");
    }

    // The program's own window at that size, showing the settings page on its tab "Программа". A screen smaller
    // than the window's minimum lowers the minimum to its own available area, as the placement does.
    function openSmallestWindow(width, height) {
        const component = Qt.createComponent("qrc:/qml/Main.qml");
        compare(component.status, Component.Ready, component.errorString());
        const window = createTemporaryObject(component, testCase, { visible: true, width: width, height: height,
                                                                    minimumHeight: Math.min(640, height) });
        findChild(window, "settingsCommand").trigger();
        tryCompare(window.pageStack, "busy", false);
        const page = window.pageStack.currentItem;
        compare([page.objectName, window.width, window.height], ["settingsPage", width, height]);
        findChild(page, "settingsTabs").currentIndex = 2;
        waitForRendering(page);
        return page;
    }

    // What a phone may answer, as long as its answer may be (16 KB in UTF-8): its own lines, then its reason and what
    // had already been done, which must stay readable.
    function phoneFailure() {
        const end = " Причина: недостаточно места. Данные уже объединены. Добавлено записей: 3, файлов: 0.";
        let text = "Телефон не смог объединить базы: ";
        const bytes = piece => piece.split("").reduce((sum, c) => sum + (c.charCodeAt(0) < 0x80 ? 1 : 2), 0);
        let size = bytes(text) + bytes(end);
        for (let line = 1; ; ++line) {
            const piece = "строка " + line + " ответа приложения на телефоне, записанная как есть;"
                          + (line % 7 === 0 ? "\n" : " ");
            if (size + bytes(piece) > 16384)
                break;
            text += piece;
            size += bytes(piece);
        }
        return text + end;
    }

    // Scrolls the view until its end shows, with the mouse wheel as a user would; the end of the text is then in
    // sight.
    function scrollToTheEnd(view) {
        tryVerify(() => {
            mouseWheel(view, view.width / 2, view.height / 2, 0, -120);
            return view.atYEnd;
        }, 20000, view.objectName);
        compare(view.contentHeight, view.label.height);
        verify(view.label.mapToItem(view, 0, view.label.height).y <= view.height + 1);
    }

    function test_syncMessagesAtTheSmallestWindow_data() {
        return [{ tag: "a phone's failure of 16 KB", phone: true, width: 1024, height: 640, name: "" },
                { tag: "an export leaving out 300 files", phone: false, width: 1024, height: 640, name: "" },
                { tag: "a phone's failure of 16 KB, on a scaled laptop screen", phone: true, width: 1093, height: 582,
                  name: "_laptop" },
                { tag: "an export leaving out 300 files, on a scaled laptop screen", phone: false, width: 1093,
                  height: 582, name: "_laptop" }];
    }

    // At the program's smallest window on an ordinary screen, and on a scaled laptop's, a long message takes no more
    // than a third of it and is read whole by scrolling the foot line; each control of the synchronisation block can
    // still be scrolled to, uncovered. The MTP dialog keeps its size and its button, and its text scrolls. The run saves the workshop, as the MTP test
    // does: both sort after the tests that count on an empty one.
    function test_syncMessagesAtTheSmallestWindow(data) {
        const page = openSmallestWindow(data.width, data.height);
        const window = page.Window.window;
        const content = findChild(page, "contentFlickable");
        const footLine = findChild(page, "footLine");
        const mtpSyncButton = findChild(page, "mtpSyncButton");
        const tag = (data.phone ? "phone_failure" : "export_300_left_out") + data.name;
        let message = "";
        if (data.phone) {
            message = phoneFailure();
            syncFixture.endSessionsWith(message);
            fillWorkshop();
            content.contentY = content.contentHeight - content.height;
            mouseClick(mtpSyncButton);
            const dialog = findChild(page, "mtpDialog");
            tryCompare(dialog, "opened", true);
            tryCompare(settings, "usbSyncActive", false);
            compare([dialog.width, dialog.height],
                    [Math.min(window.width - 24, 620), Math.min(window.height - 40, 300)]);
            const status = findChild(dialog.contentItem, "mtpStatus");
            compare(status.text, message);
            verify(status.height < status.contentHeight, "the text scrolls within the dialog");
            const button = findChild(dialog.footer, "mtpDialogButton");
            compare(button.text, "Закрыть");
            InSight.verifyUncovered(testCase, button, dialog);
            waitForRendering(page);
            grabImage(dialog.parent.parent).save("settings_page_long_" + tag + "_dialog.png");
            scrollToTheEnd(status);
            InSight.verifyUncovered(testCase, button, dialog);
            waitForRendering(page);
            grabImage(dialog.parent.parent).save("settings_page_long_" + tag + "_dialog_end.png");
            mouseClick(button);
            tryCompare(dialog, "visible", false);
            compare(footLine.color, Qt.color("#b00020"));
        } else {
            verify(syncFixture.addRefusedDocuments(300));
            mouseClick(findChild(page, "createSyncPackageButton"));
            message = settings.syncStatus;
            verify(message.startsWith("Пакет создан: ") && message.endsWith(
                       "и ещё 290 (весь список — в журнале работы программы)."), message);
            compare(footLine.color, Qt.color("#606060"));
        }
        compare(footLine.text, message);
        verify(page.footer.height <= window.height / 3, page.footer.height);
        verify(footLine.height < footLine.contentHeight, "the foot line scrolls");
        verify(footLine.height >= 3 * footLine.font.pixelSize, footLine.height);

        content.contentY = 0;
        waitForRendering(page);
        grabImage(findChild(page, "mtpDialog").parent.parent).save("settings_page_long_" + tag + ".png");
        for (const name of ["logSwitch", "openLogFolderButton", "createSyncPackageButton", "importSyncPackageButton",
                            "shareSyncPackageButton", "mtpSyncButton"]) {
            const control = findChild(page, name);
            compare(InSight.scrollIntoSight(control), content);
            InSight.verifyUncovered(testCase, control, content, page.footer);
        }
        for (const name of ["backButton", "saveButton"])
            InSight.verifyUncovered(testCase, findChild(page, name), page, page.footer);
        compare(footLine.text, message, "nothing was started");
        verify(window.pageStack.currentItem === page, "nothing was started");
        scrollToTheEnd(footLine);
        waitForRendering(page);
        grabImage(findChild(page, "mtpDialog").parent.parent).save("settings_page_long_" + tag + "_end.png");
    }
}
