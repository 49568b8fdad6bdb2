import QtQuick
import QtQuick.Controls
import QtTest
import Tessaron

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
}
