import QtQuick
import QtTest
import Tessaron

TestCase {
    id: testCase

    name: "DddDatasetView"
    when: windowShown
    visible: true
    width: 900
    height: 500

    Component {
        id: viewComponent

        DddDatasetView {
            width: 800
            height: 400
        }
    }

    SignalSpy {
        id: doubleClickSpy

        signalName: "rowDoubleClicked"
    }

    function createView(properties) {
        var view = createTemporaryObject(viewComponent, testCase, properties);
        verify(view);
        waitForRendering(view);
        return view;
    }

    function textItems(item, found) {
        var result = found || [];
        if (item.hasOwnProperty("textFormat") && item.hasOwnProperty("text") && item.visible)
            result.push(item);
        for (var i = 0; i < item.children.length; ++i)
            textItems(item.children[i], result);
        if (item.contentItem && item.contentItem !== item && item.contentItem.children)
            textItems(item.contentItem, result);
        return result;
    }

    function textItem(view, text) {
        var items = textItems(view);
        for (var i = 0; i < items.length; ++i) {
            if (items[i].text === text)
                return items[i];
        }
        return null;
    }

    function test_cellsShowFileTextsAsPlainText() {
        var hostile = "<img src=\"file:///etc/passwd\"><b>Иванов</b>";
        var view = createView({
            rows: [{ cardHolderSurname: hostile, description: "<i>x</i>" }],
            columns: [["cardHolderSurname", "Фамилия", 300], ["description", "Поле", 200], ["vuManufacturerName"]],
            english: true
        });
        verify(textItem(view, hostile), "the name is shown as its characters");
        verify(textItem(view, "<i>x</i>"), "an unknown field name stays as written");
        verify(textItem(view, "—"), "a missing key shows a dash");
        verify(textItem(view, "Tachograph manufacturer"), "a column without title shows the label of its key");
        var items = textItems(view);
        for (var i = 0; i < items.length; ++i)
            compare(items[i].textFormat, Text.PlainText, "plain: " + items[i].text);
        view.rows = [];
        verify(textItem(view, "No data"));
        view.columns = [];
        view.english = false;
        verify(textItem(view, "Столбцы не настроены"));
    }

    function test_draggingStopsAtTheFloorAndResetsWithTheDataset() {
        var view = createView({ rows: [{ a: "x", b: "y" }], columns: [["a", "A", 200], ["b", "B", 200]],
                                uiScale: 1.5 });
        compare(view.columnWidths, [300, 500], "the last column fills the view");
        var handleY = view.headerHeight / 2;
        mouseDrag(view, 300 - 8, handleY, 60, 0);
        fuzzyCompare(view.columnWidths[0], 360, 2);
        mouseDrag(view, view.columnWidths[0] - 8, handleY, -400, 0);
        compare(view.columnWidths[0], 84, "the floor of 56 pixels grows with the scale");
        view.columns = [["a", "A", 200], ["b", "B", 200]];
        compare(view.resizedWidths, [], "a new dataset drops the dragged widths");
        compare(view.columnWidths[0], 300);
    }

    function test_doubleClickGivesTheRow() {
        var rows = [{ fileNumber: "0501", name: "A" }, { fileNumber: "0502", name: "B" }];
        var view = createView({ rows: rows, columns: [["fileNumber", "Файл", 90], ["name", "Раздел", 280]] });
        doubleClickSpy.target = view;
        doubleClickSpy.clear();
        mouseDoubleClickSequence(view, 40, view.headerHeight + view.rowHeight * 1.5);
        compare(doubleClickSpy.count, 1);
        compare(doubleClickSpy.signalArguments[0][0].fileNumber, "0502");
    }

    function test_manyRowsKeepFewDelegates() {
        var rows = [];
        for (var i = 0; i < 5000; ++i)
            rows.push({ n: i });
        var view = createView({ rows: rows, columns: [["n", "N", 100]] });
        verify(view.listView.count === 5000);
        verify(view.listView.contentItem.children.length < 60, "delegates: " + view.listView.contentItem.children.length);
    }

    function test_cutTextsEndInAnEllipsisAndShowWholeOnHover() {
        var longText = "Идентификация транспортного средства";
        var view = createView({ rows: [{ a: longText, b: "1" }], columns: [["a", "Запись, байт", 120], ["b", "Б", 100]],
                                fillLastColumn: false });
        var cuts = [textItem(view, longText), textItem(view, "Запись, байт")];
        var shortCell = textItem(view, "1");
        verify(!shortCell.truncated);
        for (var i = 0; i < cuts.length; ++i) {
            verify(cuts[i].truncated && cuts[i].elide === Text.ElideRight, cuts[i].text);
            mouseMove(cuts[i], 20, cuts[i].height / 2);
            tryVerify(function () { return cuts[i].tipShown; }, 2000, "the whole text on hover: " + cuts[i].text);
        }
        mouseMove(shortCell, 10, shortCell.height / 2);
        wait(600);
        verify(!shortCell.tipShown, "a text that fits needs no tip");
    }
}
