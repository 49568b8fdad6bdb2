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
}
