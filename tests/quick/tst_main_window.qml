import QtQuick
import QtQuick.Controls
import QtTest
import Tessaron

TestCase {
    id: testCase

    name: "MainWindow"
    when: windowShown

    // The application's own window, as the entry point loads it.
    function createWindow() {
        var component = Qt.createComponent("qrc:/qml/Main.qml");
        compare(component.status, Component.Ready, component.errorString());
        var window = createTemporaryObject(component, testCase, { visible: true });
        verify(window);
        tryCompare(window.pageStack, "busy", false);
        compare(window.pageStack.currentItem.objectName, "mainMenuPage");
        return window;
    }

    function command(window, name) {
        var action = findChild(window, name);
        verify(action, name);
        return action;
    }

    function test_commandOfTheShownPageDoesNothing_data() {
        return [
            { tag: "settings", command: "settingsCommand", page: "settingsPage", other: "documentsCommand" },
            { tag: "documents", command: "documentsCommand", page: "documentsPage", other: "settingsCommand" },
            { tag: "ddd", command: "dddCommand", page: "dddPage", other: "settingsCommand" }
        ];
    }

    function test_commandOfTheShownPageDoesNothing(data) {
        var window = createWindow();
        var stack = window.pageStack;
        command(window, data.command).trigger();
        tryCompare(stack, "busy", false);
        compare([stack.depth, stack.currentItem.objectName], [2, data.page]);
        var shown = stack.currentItem;

        command(window, data.command).trigger();
        command(window, data.command).trigger();
        tryCompare(stack, "busy", false);
        compare(stack.depth, 2);
        verify(stack.currentItem === shown, "the same page, not a second copy");

        // Another page of the menu still opens over it, and one "Назад" returns to the page before.
        command(window, data.other).trigger();
        tryCompare(stack, "busy", false);
        compare(stack.depth, 3);
        var back = findChild(stack.currentItem, "backButton");
        tryVerify(function () { return back.visible; });
        back.clicked();
        tryCompare(stack, "busy", false);
        verify(stack.currentItem === shown);
    }

    function test_pageLanguageLeavesTheMenuRussian() {
        var window = createWindow();
        var stack = window.pageStack;
        command(window, "dddCommand").trigger();
        tryCompare(stack, "busy", false);
        var page = stack.currentItem;
        var language = findChild(page, "languageBox");
        verify(language);
        language.activated(1);
        compare(page.english, true);
        compare(page.pageTitle, "DDD decoder");

        var menus = window.menuBar;
        compare([menus.menuAt(0).title, menus.menuAt(1).title], ["Файл", "Сервис"]);
        var texts = [];
        for (var name of ["dddCommand", "documentsCommand", "settingsCommand", "quitCommand"])
            texts.push(command(window, name).text);
        compare(texts, ["Расшифровка .ddd", "Документы", "Настройки", "Выход"]);
        waitForRendering(window.contentItem);
        grabImage(window.contentItem.parent).save("main_window_ddd_english_page.png");

        language.activated(0);
        compare(page.pageTitle, "Расшифровка .ddd");
        compare(menus.menuAt(0).title, "Файл");
    }
}
