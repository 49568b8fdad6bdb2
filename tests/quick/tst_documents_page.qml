import QtCore
import QtQuick
import QtQuick.Controls
import QtTest
import Tessaron

// The documents page and its dialogs against a stand-in controller: what they show and what they call.
TestCase {
    id: testCase

    name: "DocumentsPage"
    when: windowShown
    visible: true
    width: 1280
    height: 860

    Component {
        id: fakeComponent

        FakeDocumentsController {}
    }

    Component {
        id: fakeAppComponent

        QtObject {
            property QtObject documents: null
            property QtObject settings: null
        }
    }

    Component {
        id: pageComponent

        DocumentsPage {}
    }

    Rectangle {
        id: fixture

        width: 400
        height: 600
        color: "#336699"
    }

    StackView {
        id: stack

        anchors.fill: parent
    }

    property QtObject fake: null
    readonly property var twoRecords: [
        { id: 1, order: 17, customer: "Иванов", date: "06.05.2024 12:34", serial: "12345", nextCalibration: "06.05.2026",
          vehicle: "А123ВС77" },
        { id: 2, order: 18, customer: "ООО Ромашка", date: "07.05.2024 09:00", serial: "777", nextCalibration: "",
          vehicle: "B456OP" }
    ]

    function openPage(values) {
        fake = createTemporaryObject(fakeComponent, testCase, values || {});
        var fakeApp = createTemporaryObject(fakeAppComponent, testCase, { documents: fake, settings: fake });
        stack.push(pageComponent, { app: fakeApp }, StackView.Immediate);
        waitForRendering(stack.currentItem);
        return stack.currentItem;
    }

    function cleanup() {
        stack.clear(StackView.Immediate);
    }

    function child(name) {
        var item = findChild(stack.currentItem, name);
        verify(item, name);
        return item;
    }

    function rowAt(index) {
        var list = child("recordList");
        return list.itemAtIndex(index);
    }

    function test_formTabNeedsASelection() {
        var page = openPage({ records: twoRecords });
        compare(fake.calls, ["refresh ()"]);
        verify(!child("formTabButton").enabled);
        verify(!child("deleteButton").enabled);
        page.openForm();
        compare(page.currentTab, 0);

        mouseClick(rowAt(1));
        compare(fake.calls[1], "select 2");
        verify(child("deleteButton").enabled);
        verify(rowAt(1).isSelected);
        verify(!rowAt(0).isSelected);
        compare(rowAt(1).color, Qt.color("#cfe3f7"));
        mouseDoubleClickSequence(rowAt(0));
        compare(page.currentTab, 1);
        grabImage(page).save("documents_page_form_fake.png");
        mouseClick(child("clearButton"));
        compare(page.currentTab, 0);
        verify(!child("formTabButton").enabled);
    }

    function test_searchRefreshesOnceAfterTheLastKeystroke() {
        openPage();
        var field = child("registrationSearchField");
        mouseClick(field);
        keyClick("a");
        wait(100);
        keyClick("b");
        compare(fake.calls, ["refresh ()"]);
        tryCompare(fake, "calls", ["refresh ()", "refresh ab|"], 1000);
        wait(300);
        compare(fake.calls.length, 2, "one refresh for the two keystrokes");

        mouseClick(child("customerSearchField"));
        keyClick("c");
        keyClick(Qt.Key_Return);
        compare(fake.calls[2], "refresh ab|c", "Enter refreshes at once");
        wait(300);
        compare(fake.calls.length, 3, "and stops the timer");
        mouseClick(child("clearSearchButton"));
        compare(child("registrationSearchField").text, "");
        compare(child("customerSearchField").text, "");
        compare(fake.calls[3], "refresh ()");
    }

    function test_fieldsShowTheirKeyAndHandOnlyChanges() {
        var page = openPage();
        fake.selected = { Id: 1, OrderNumber: 17, SetupTable: null, Inspection: "Да", Manipulation: "да" };
        fake.calls = [];
        compare(child("editor_OrderNumber").text, "17");
        compare(child("editor_SetupTable").text, "");
        compare(child("editor_Note").text, "");
        compare(child("editor_Note").placeholderText, "Эксплуатация только на территории РФ.");
        compare(child("editor_VehicleIdentificationNumber").maximumLength, 17);
        compare(child("choice_Inspection").currentIndex, 1);
        compare(child("choice_Manipulation").currentIndex, 0, "only exactly Да shows Да");

        page.openForm();
        var note = child("editor_Note");
        note.forceActiveFocus();
        child("editor_OrderNumber").forceActiveFocus();
        note.forceActiveFocus();
        child("editor_SetupTable").forceActiveFocus();
        compare(fake.calls, [], "passing through fields hands nothing");
        note.forceActiveFocus();
        keyClick("x");
        keyClick(Qt.Key_Tab);
        compare(fake.calls, ["update Note=x"]);
        child("choice_Manipulation").activated(1);
        compare(fake.calls[1], "update Manipulation=Да");
    }

    function test_defaultPartiesSettleInOnePass() {
        var page = openPage({ records: twoRecords, masters: [{ fullName: "Петров П.П." }, { fullName: "Сидоров" }],
                              customers: [{ name: "ООО Ромашка", address: "Тверь", phone: "321" }] });
        fake.calls = [];
        fake.select(1);
        compare(fake.selected.OrderMaster, "Петров П.П.");
        compare(fake.selected.CustomerName, "Иванов", "a customer outside the directory stays");
        compare(fake.selected.CustomerAddress, undefined);
        fake.select(2);
        compare(fake.selected.CustomerAddress, "Тверь");
        compare(fake.calls.slice(-2), ["update CustomerAddress=Тверь", "update CustomerPhone=321"]);
        var count = fake.calls.length;
        page.ensureDefaultParties();
        compare(fake.calls.length, count, "a second pass changes nothing");
        compare(child("choice_CustomerName").currentIndex, 0);
        compare(child("choice_OrderMaster").currentText, "Петров П.П.");
    }

    function test_addMasterAndCustomer_data() {
        return [
            { tag: "master, empty name", kind: "Master", answer: true, fields: ["  "], message: "Введите ФИО мастера." },
            { tag: "master refused", kind: "Master", answer: false, fields: ["Кузнецов"],
              message: "Не удалось добавить мастера." },
            { tag: "master added", kind: "Master", answer: true, fields: [" Кузнецов "], message: "" },
            { tag: "customer, empty name", kind: "Customer", answer: true, fields: ["", "a", "b"],
              message: "Введите наименование клиента." },
            { tag: "customer refused", kind: "Customer", answer: false, fields: ["ООО", "", ""],
              message: "Не удалось добавить клиента." },
            { tag: "customer added", kind: "Customer", answer: true, fields: [" ООО Лето ", " Псков ", " 1 "], message: "" }
        ];
    }

    function test_addMasterAndCustomer(data) {
        var page = openPage({ records: twoRecords, addAnswer: data.answer });
        fake.select(1);
        page.openForm();
        mouseClick(child(data.kind === "Master" ? "add_OrderMaster" : "add_CustomerName"));
        var dialog = child(data.kind === "Master" ? "masterDialog" : "customerDialog");
        tryVerify(function () { return dialog.opened; });
        var names = data.kind === "Master" ? ["masterNameField"]
                                           : ["customerNameField", "customerAddressField", "customerPhoneField"];
        for (var i = 0; i < names.length; ++i)
            child(names[i]).text = data.fields[i];
        dialog.accept();
        var message = child(data.kind === "Master" ? "masterMessage" : "customerMessage");
        compare(message.opened || message.visible, data.message !== "");
        compare(data.kind === "Master" ? page.masterError : page.customerError, data.message);
        compare(child(names[0]).text, "", "the fields are cleared");
        if (data.message === "" && data.kind === "Master")
            compare(fake.selected.OrderMaster, "Кузнецов");
        if (data.message === "" && data.kind === "Customer")
            compare([fake.selected.CustomerName, fake.selected.CustomerAddress, fake.selected.CustomerPhone],
                    ["ООО Лето", "Псков", "1"]);
        message.close();
    }

    function test_deleteAsksFirst() {
        openPage({ records: twoRecords });
        fake.select(2);
        mouseClick(child("deleteButton"));
        var confirmation = child("deleteConfirmation");
        tryVerify(function () { return confirmation.opened; });
        verify(fake.calls.indexOf("removeSelected") < 0);
        waitForRendering(stack.currentItem);
        grabImage(stack.currentItem).save("documents_page_delete.png");
        confirmation.reject();
        verify(fake.calls.indexOf("removeSelected") < 0);
        confirmation.open();
        confirmation.accept();
        compare(fake.calls[fake.calls.length - 1], "removeSelected");
    }

    function test_previewZoom() {
        var path = StandardPaths.writableLocation(StandardPaths.TempLocation).toString().replace("file://", "")
                + "/tessaron_preview_fixture.png";
        var shot = grabImage(fixture);
        shot.save(path);
        var page = openPage({ records: twoRecords });
        var dialog = child("previewDialog");
        dialog.open();
        tryVerify(function () { return dialog.opened; });
        verify(child("noPreviewLabel").visible);
        compare(child("noPreviewLabel").text, "Предпросмотр недоступен");
        dialog.close();

        fake.previewSource = "file://" + path;
        dialog.open();
        tryVerify(function () { return dialog.opened && child("previewImage").status === Image.Ready; });
        var view = child("previewView");
        var fitted = DocumentsLogic.fitPageZoom(view.width, view.height, shot.width, shot.height);
        compare(dialog.zoom, fitted);
        mouseClick(child("zoomInButton"));
        compare(dialog.zoomMode, "manual");
        compare(dialog.zoom, DocumentsLogic.stepZoom(fitted, 0.1));
        dialog.width -= 100;
        compare(dialog.zoom, DocumentsLogic.stepZoom(fitted, 0.1), "manual zoom stays on resize");
        mouseClick(child("fitWidthButton"));
        compare(dialog.zoom, DocumentsLogic.fitWidthZoom(view.width, shot.width));
        dialog.width += 100;
        compare(dialog.zoom, DocumentsLogic.fitWidthZoom(view.width, shot.width), "refits on resize");
        compare(child("zoomLabel").text, DocumentsLogic.zoomPercent(dialog.zoom));
        dialog.close();
    }

    function test_printFormResetsAndBuildsOptions_data() {
        return [
            { tag: "sticker, cancelled", sticker: true, answer: false, error: "", printer: "Brother QL",
              options: { printerName: "Brother QL", paper: "driver", orientation: "portrait", copies: 1, color: true,
                         duplex: 0, fitToPage: true } },
            { tag: "certificate, failed", sticker: false, answer: false, error: "Принтер не найден: Office",
              printer: "Office",
              options: { printerName: "Office", paper: "A4", orientation: "portrait", copies: 1, color: true,
                         duplex: 0, fitToPage: true } }
        ];
    }

    function test_printFormResetsAndBuildsOptions(data) {
        openPage({ printAnswer: data.answer, lastError: data.error });
        var form = child("printDialog");
        form.openFor(data.sticker);
        tryVerify(function () { return form.opened; });
        compare(child("printerBox").currentText, data.printer);
        compare(child("paperBox").count, data.sticker ? 5 : 3);
        child("copiesBox").value = 5;
        child("orientationBox").currentIndex = 1;
        form.close();
        form.openFor(data.sticker);
        tryVerify(function () { return form.opened; });
        compare(child("copiesBox").value, 1, "every opening starts from the defaults");
        compare(form.options(), data.options);
        if (data.sticker) {
            waitForRendering(form.contentItem);
            grabImage(stack.currentItem).save("documents_print_form_sticker.png");
        }
        child("colorBox").currentIndex = 1;
        child("duplexBox").currentIndex = 2;
        child("scaleBox").currentIndex = 1;
        compare([form.options().color, form.options().duplex, form.options().fitToPage], [false, 2, false]);
        verify(!form.print());
        verify(form.opened, "a failed print keeps the form open");
        compare(child("printHint").text, data.error !== "" ? data.error : "Печать не выполнена.");
        form.close();
    }
}
