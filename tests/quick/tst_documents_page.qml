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

    function openPage(values, pageProperties) {
        fake = createTemporaryObject(fakeComponent, testCase, values || {});
        stack.push(pageComponent, Object.assign({ app: fake }, pageProperties || {}), StackView.Immediate);
        waitForRendering(stack.currentItem);
        return stack.currentItem;
    }

    function cleanup() {
        stack.clear(StackView.Immediate);
        testCase.width = 1280;
        documentsFixture.reset();
    }

    function child(name) {
        var item = findChild(stack.currentItem, name);
        verify(item, name);
        return item;
    }

    function rowAt(index) {
        return child("recordList").itemAtIndex(index);
    }

    // The texts of a row's cells, each checked to be shown whole.
    function wholeTexts(index, names) {
        return names.map(function (name) {
            var cell = findChild(rowAt(index), name);
            verify(cell && cell.visible && !cell.truncated, name + " " + (cell ? cell.text : ""));
            return cell.text;
        });
    }

    function test_selectionEnablesFormAndDeleteAsksFirst() {
        var page = openPage({ records: twoRecords });
        compare(fake.calls, ["refresh ()"]);
        verify(!child("formTabButton").enabled && !child("deleteButton").enabled);
        page.openForm();
        compare(page.currentTab, 0);

        mouseClick(rowAt(1));
        compare(fake.calls[1], "select 2");
        verify(child("deleteButton").enabled && rowAt(1).isSelected && !rowAt(0).isSelected);
        compare(rowAt(1).color, Qt.color("#cfe3f7"));
        mouseClick(child("deleteButton"));
        var confirmation = child("deleteConfirmation");
        tryVerify(function () { return confirmation.opened; });
        confirmation.reject();
        verify(fake.calls.indexOf("removeSelected") < 0, "nothing is deleted before the confirmation");
        confirmation.open();
        confirmation.accept();
        compare(fake.calls[fake.calls.length - 1], "removeSelected");

        mouseDoubleClickSequence(rowAt(0));
        compare(page.currentTab, 1);
        mouseClick(child("clearButton"));
        compare(page.currentTab, 0);
        verify(!child("formTabButton").enabled);
    }

    // No clock: the search timer is made to wait an hour, so only the test lets it expire; each keystroke
    // (re)starts the one single-shot timer, whose expiry refreshes once with both fields.
    function test_searchRefreshesOnceAfterTheLastKeystroke() {
        openPage();
        verify(!child("phoneSearch").visible, "the desktop form keeps the phone's search hidden");
        var timer = findChild(stack.currentItem, "searchTimer");
        verify(timer && !timer.repeat, "one single-shot search timer");
        timer.interval = 3600000;
        mouseClick(child("registrationSearchField"));
        keyClick("a");
        verify(timer.running);
        keyClick("b");
        verify(timer.running);
        compare(fake.calls, ["refresh ()"], "no refresh while typing");
        compare(child("phoneRegistrationSearchField").text, "ab", "the phone's field follows");
        timer.stop();
        timer.triggered();
        compare(fake.calls, ["refresh ()", "refresh ab|"], "one refresh for the two keystrokes");

        mouseClick(child("customerSearchField"));
        keyClick("c");
        verify(timer.running);
        keyClick(Qt.Key_Return);
        compare(fake.calls[2], "refresh ab|c", "Enter refreshes at once");
        verify(!timer.running, "and stops the timer");
        compare(fake.calls.length, 3);
        mouseClick(child("clearSearchButton"));
        compare([child("registrationSearchField").text, child("customerSearchField").text, fake.calls[3]],
                ["", "", "refresh ()"]);
    }

    function test_fieldsShowTheirKeyAndHandOnlyChanges() {
        var page = openPage();
        fake.selected = { Id: 1, OrderNumber: 17, SetupTable: null, Inspection: "Да", Manipulation: "да" };
        fake.calls = [];
        compare([child("editor_OrderNumber").text, child("editor_SetupTable").text, child("editor_Note").text],
                ["17", "", ""], "missing and null show as empty");
        compare(child("editor_Note").placeholderText, "Эксплуатация только на территории РФ.");
        compare(child("editor_VehicleIdentificationNumber").maximumLength, 17);
        compare([child("choice_Inspection").currentIndex, child("choice_Manipulation").currentIndex], [1, 0],
                "only exactly Да shows Да");

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
        fake.selected = { Id: 2, OrderMaster: "Сидоров", CustomerName: "  ооо ромашка" };
        compare(fake.selected.CustomerAddress, "Тверь");
        compare(fake.calls.slice(-3), ["update CustomerName=ООО Ромашка", "update CustomerAddress=Тверь",
                                       "update CustomerPhone=321"], "matched trimmed, without regard to case");
        var count = fake.calls.length;
        page.ensureDefaultParties();
        compare(fake.calls.length, count, "a second pass changes nothing");
        compare([child("choice_CustomerName").currentIndex, child("choice_OrderMaster").currentText], [0, "Сидоров"]);
        fake.selected = { Id: 3, CustomerName: " " };
        compare([fake.selected.OrderMaster, fake.selected.CustomerName, fake.selected.CustomerPhone],
                ["Петров П.П.", "ООО Ромашка", "321"], "an empty record takes the first of each");
    }

    function test_addMasterAndCustomer_data() {
        var customerFields = ["customerNameField", "customerAddressField", "customerPhoneField"];
        return [
            { tag: "master, empty name", fields: ["masterNameField"], texts: ["  "], answer: true,
              error: "masterError", message: "Введите ФИО мастера.", expected: {} },
            { tag: "master refused", fields: ["masterNameField"], texts: ["Кузнецов"], answer: false,
              error: "masterError", message: "Не удалось добавить мастера.", expected: {} },
            { tag: "customer refused", fields: customerFields, texts: ["ООО", "", ""], answer: false,
              error: "customerError", message: "Не удалось добавить клиента.", expected: {} },
            { tag: "customer added", fields: customerFields, texts: [" ООО Лето ", " Псков ", " 1 "], answer: true,
              error: "customerError", message: "",
              expected: { CustomerName: "ООО Лето", CustomerAddress: "Псков", CustomerPhone: "1" } }
        ];
    }

    function test_addMasterAndCustomer(data) {
        var page = openPage({ records: twoRecords, addAnswer: data.answer });
        fake.select(1);
        page.openForm();
        var master = data.error === "masterError";
        mouseClick(child(master ? "add_OrderMaster" : "add_CustomerName"));
        var dialog = child(master ? "masterDialog" : "customerDialog");
        tryVerify(function () { return dialog.opened; });
        for (var i = 0; i < data.fields.length; ++i)
            child(data.fields[i]).text = data.texts[i];
        dialog.accept();
        var message = child(master ? "masterMessage" : "customerMessage");
        compare(message.visible, data.message !== "");
        compare(page[data.error], data.message);
        compare(child(data.fields[0]).text, "", "the fields are cleared");
        for (var key in data.expected)
            compare(fake.selected[key], data.expected[key], key);
        message.close();
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
        verify(child("noPreviewLabel").visible && child("noPreviewLabel").text === "Предпросмотр недоступен");
        dialog.close();

        fake.previewSource = "file://" + path;
        dialog.open();
        tryVerify(function () { return dialog.opened && child("previewImage").status === Image.Ready; });
        var view = child("previewView");
        var fitted = Math.min((view.width - 24) / shot.width, (view.height - 24) / shot.height);
        compare(dialog.zoom, fitted);
        compare([DocumentsLogic.fitPageZoom(30, 30, 400, 600), DocumentsLogic.fitWidthZoom(10, 400)], [0.05, 0.05]);
        compare([DocumentsLogic.stepZoom(0.15, -0.1), DocumentsLogic.stepZoom(2.95, 0.1)], [0.1, 3.0]);
        mouseClick(child("zoomInButton"));
        compare(dialog.zoomMode, "manual");
        compare(dialog.zoom, DocumentsLogic.stepZoom(fitted, 0.1));
        dialog.width -= 100;
        compare(dialog.zoom, DocumentsLogic.stepZoom(fitted, 0.1), "manual zoom stays on resize");
        mouseClick(child("fitWidthButton"));
        compare(dialog.zoom, (view.width - 24) / shot.width);
        dialog.width += 100;
        compare(dialog.zoom, (view.width - 24) / shot.width, "refits on resize");
        compare(child("zoomLabel").text, DocumentsLogic.zoomPercent(dialog.zoom));
        dialog.close();
    }

    function test_printFormResetsOnEveryOpening() {
        openPage();
        var form = child("printDialog");
        form.openFor(true);
        tryVerify(function () { return form.opened; });
        compare(child("paperBox").count, 5);
        compare(form.options(), { printerName: "Brother QL", paper: "driver", orientation: "portrait", copies: 1,
                                  color: true, duplex: 0, fitToPage: true });
        waitForRendering(form.contentItem);
        grabImage(stack.currentItem).save("documents_print_form_sticker.png");
        child("copiesBox").value = 5;
        child("colorBox").currentIndex = 1;
        child("duplexBox").currentIndex = 2;
        child("scaleBox").currentIndex = 1;
        child("orientationBox").currentIndex = 1;
        compare(form.options(), { printerName: "Brother QL", paper: "driver", orientation: "landscape", copies: 5,
                                  color: false, duplex: 2, fitToPage: false });
        verify(!form.print());
        verify(form.opened, "a failed print keeps the form open");
        compare(child("printHint").text, "Печать не выполнена.", "the controller answered false without an error");
        form.close();

        fake.lastError = "Принтер не найден: Office";
        form.openFor(false);
        tryVerify(function () { return form.opened; });
        compare(child("printHint").text, "Проверьте параметры и нажмите «Печать».");
        compare(form.options(), { printerName: "Office", paper: "A4", orientation: "portrait", copies: 1,
                                  color: true, duplex: 0, fitToPage: true });
        verify(!form.print());
        compare(child("printHint").text, "Принтер не найден: Office");
        fake.printAnswer = true;
        verify(form.print());
        tryVerify(function () { return !form.visible; });
    }

    // The phone form's own two fields: typing there mirrors into the desktop fields and starts no timer; only
    // Enter, "Найти" and "Очистить" refresh.
    function test_phoneFormSearchesOnlyWhenAsked() {
        testCase.width = 420;
        var page = openPage({ records: twoRecords }, { phoneForm: true });
        verify(page.narrow, "one column on the phone");
        verify(!child("desktopSearch").visible && child("phoneSearch").visible);
        verify(child("listButtons").implicitWidth <= page.width, "the buttons wrap, Выход stays in reach");
        var timer = child("searchTimer");

        mouseClick(child("phoneRegistrationSearchField"));
        keyClick("a");
        keyClick("b");
        verify(!timer.running, "typing starts no timer");
        compare(fake.calls, ["refresh ()"], "and refreshes nothing");
        compare(child("registrationSearchField").text, "ab", "the desktop field follows");
        keyClick(Qt.Key_Return);
        compare(fake.calls[1], "refresh ab|", "Enter refreshes");

        mouseClick(child("phoneCustomerSearchField"));
        keyClick("c");
        mouseClick(child("phoneSearchButton"));
        compare(fake.calls[2], "refresh ab|c", "Найти refreshes with both");
        waitForRendering(page);
        grabImage(page).save("documents_page_phone_form.png");

        mouseClick(child("phoneClearSearchButton"));
        compare([child("phoneRegistrationSearchField").text, child("phoneCustomerSearchField").text,
                 child("registrationSearchField").text, child("customerSearchField").text, fake.calls[3]],
                ["", "", "", "", "refresh ()"]);
    }

    // The application's own controller on a fresh installation: the list says why it is empty, the status line
    // no longer asks to open the section, and a folder the desktop cannot open is named in the status line.
    function test_freshInstallationTellsWhyTheListIsEmpty() {
        var page = stack.push(pageComponent, {}, StackView.Immediate);
        waitForRendering(page);
        verify(page.controller === app.documents);
        var label = child("emptyListLabel");
        verify(label.visible);
        verify(label.text.indexOf("поступают с телефона при синхронизации") >= 0, label.text);
        compare(child("statusLine").text, "Записей в списке: 0");
        grabImage(page).save("documents_page_empty_list.png");

        mouseClick(child("certificatesFolderButton"));
        var status = child("statusLine");
        verify(/^Не удалось открыть папку.*Сертификаты$/.test(status.text), status.text);
        compare(status.color, Qt.color("#b00020"));
        waitForRendering(page);
        grabImage(page).save("documents_page_folder_not_opened.png");
    }

    // A value the controller cannot print shows why below its field; the others show nothing.
    function test_fieldProblemShowsBelowItsField() {
        var page = openPage({ records: twoRecords });
        fake.select(1);
        page.openForm();
        var problem = child("problem_KConstantOfRecordingEquipment");
        verify(!problem.visible);
        fake.fieldErrors = { KConstantOfRecordingEquipment: "Введите целое число, без букв и знаков" };
        verify(problem.visible);
        compare(problem.text, "Введите целое число, без букв и знаков");
        verify(!child("problem_WVehicleCharacteristicConstant").visible);
        waitForRendering(page);
        grabImage(page).save("documents_page_field_problems.png");
    }

    // The application's own controller at 640 px: dates show whole, a selected (bold) row's too. After a search, an
    // issue with the XML folder blocked and a value too long for its box tells both, lists everything under emptied
    // search fields, and its preview image goes with the dialog; a delete empties them too. On the phone a record
    // is two whole lines under a whole header, and a master's long name ends in "…", the whole of it on hover.
    function test_realControllerAtNarrowWidths() {
        testCase.width = 640;
        var base = { WriteResult: 1, RecordDateTime: "2024-11-03 09:15:00", NextCalibrationDate: "2026-11-03",
            WVehicleCharacteristicConstant: 8000, KConstantOfRecordingEquipment: 8000, LTyreCircumference: 3250 };
        for (var record of [{ OrderNumber: 41, CustomerName: "Иванов", VehicleRegistrationNumber: "К001КК" },
                            { OrderNumber: 42, CustomerName: "Петров П.П.", VehicleRegistrationNumber: "А123ВС77" }])
            verify(documentsFixture.addCalibration(Object.assign(record, base)));
        var page = stack.push(pageComponent, {}, StackView.Immediate);
        waitForRendering(page);
        mouseClick(rowAt(0));
        wholeTexts(0, ["cell_date", "cell_nextCalibration", "cell_order", "cell_vehicle"]);
        grabImage(page).save("documents_page_640.png");

        var customerField = child("customerSearchField");
        customerField.text = "петров";
        page.refreshNow();
        compare(child("recordList").count, 1);
        mouseDoubleClickSequence(rowAt(0));
        verify(documentsFixture.blockXmlFolder());
        app.documents.updateSelectedValue("OrderResponsible", "Ответственный ".repeat(20));
        mouseClick(child("certificateButton"));
        var dialog = child("previewDialog");
        tryVerify(function () { return dialog.opened; });
        var status = child("statusLine").text;
        verify(/XML-копия не сохранена: на месте папки XML-копий [^]*«Ответственный»/.test(status), status);
        compare([customerField.text, child("phoneCustomerSearchField").text, child("recordList").count], ["", "", 2]);
        dialog.close();
        tryCompare(app.documents, "previewSource", "", 5000, "the preview goes with its dialog");
        waitForRendering(page);
        grabImage(page).save("documents_page_issue_warnings.png");

        customerField.text = "петров";
        page.refreshNow();
        app.documents.removeSelected();
        compare([customerField.text, child("phoneCustomerSearchField").text, child("recordList").count], ["", "", 1]);

        stack.clear(StackView.Immediate);
        testCase.width = 420;
        var longName = "Кузнецов Александр Владимирович, старший мастер участка калибровки";
        page = stack.push(pageComponent, { phoneForm: true, settings: createTemporaryObject(fakeComponent, testCase,
                                              { masters: [{ fullName: longName }] }) }, StackView.Immediate);
        waitForRendering(page);
        verify(child("phoneListHeader").visible && !child("phoneHeader_№ заказа").truncated, "the order header whole");
        compare(wholeTexts(0, ["phoneCell_0_0", "phoneCell_0_1", "phoneCell_1_0", "phoneCell_1_1"]),
                ["№ 41", "03.11.2024 09:15", "Иванов", "К001КК"]);
        grabImage(page).save("documents_page_420_phone_list.png");
        mouseClick(rowAt(0));
        page.openForm();
        var choice = child("choice_OrderMaster");
        compare([choice.displayText, choice.ToolTip.text], [longName, longName]);
        verify(choice.truncated && choice.width > page.width / 2, "cut with an ellipsis, not kept narrow");
        mouseMove(choice, choice.width / 3, choice.height / 2);
        tryVerify(function () { return choice.ToolTip.visible; });
        waitForRendering(page);
        grabImage(page).save("documents_page_420_phone_form.png");
    }
}
