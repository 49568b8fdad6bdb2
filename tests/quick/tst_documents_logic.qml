import QtQuick
import QtTest
import Tessaron

// The documents page's arithmetic and choices, called directly.
TestCase {
    name: "DocumentsLogic"

    function test_zoom_data() {
        return [
            { tag: "fit page takes the tighter side", value: DocumentsLogic.fitPageZoom(624, 524, 1200, 1000), zoom: 0.5 },
            { tag: "fit page at least 0.05", value: DocumentsLogic.fitPageZoom(30, 30, 1190, 1684), zoom: 0.05 },
            { tag: "fit width", value: DocumentsLogic.fitWidthZoom(1214, 1190), zoom: 1 },
            { tag: "fit width at least 0.05", value: DocumentsLogic.fitWidthZoom(10, 1190), zoom: 0.05 },
            { tag: "plus", value: DocumentsLogic.stepZoom(0.7, 0.1), zoom: 0.8 },
            { tag: "minus stops at 0.1", value: DocumentsLogic.stepZoom(0.15, -0.1), zoom: 0.1 },
            { tag: "plus stops at 3.0", value: DocumentsLogic.stepZoom(2.95, 0.1), zoom: 3.0 }
        ];
    }

    function test_zoom(data) {
        compare(data.value, data.zoom);
    }

    function test_customerMatch_data() {
        var customers = [{ name: "ООО Ромашка " }, { name: "Иванов" }];
        return [
            { tag: "trimmed, any case", customers: customers, name: "  ооо ромашка", index: 0 },
            { tag: "exact", customers: customers, name: "Иванов", index: 1 },
            { tag: "part of a name", customers: customers, name: "Иван", index: -1 },
            { tag: "missing name", customers: customers, name: undefined, index: -1 }
        ];
    }

    function test_customerMatch(data) {
        compare(DocumentsLogic.customerIndex(data.customers, data.name), data.index);
    }

    function test_defaultParties_data() {
        var masters = [{ fullName: "Петров" }];
        var customers = [{ name: "ООО", address: "Тверь", phone: "1" }];
        return [
            { tag: "empty record takes the first of each", selected: { OrderMaster: " ", CustomerName: null },
              masters: masters, customers: customers,
              changes: [["OrderMaster", "Петров"], ["CustomerName", "ООО"], ["CustomerAddress", "Тверь"],
                        ["CustomerPhone", "1"]] },
            { tag: "an unknown customer stays", selected: { OrderMaster: "Сидоров", CustomerName: "Прочие" },
              masters: masters, customers: customers, changes: [] },
            { tag: "a known customer in other case gets the directory's values",
              selected: { OrderMaster: "Сидоров", CustomerName: "ооо", CustomerAddress: "Тверь", CustomerPhone: 1 },
              masters: masters, customers: customers, changes: [["CustomerName", "ООО"]] },
            { tag: "empty directories", selected: {}, masters: [], customers: [], changes: [] }
        ];
    }

    function test_defaultParties(data) {
        compare(DocumentsLogic.defaultPartyChanges(data.selected, data.masters, data.customers), data.changes);
    }

    function test_printChoices() {
        compare(DocumentsLogic.initialPrinterIndex(["По умолчанию", "A"], "A"), 1);
        compare(DocumentsLogic.initialPrinterIndex(["По умолчанию", "A"], "Нет в списке"), 0);
        compare(DocumentsLogic.paperChoices(false).map(function (c) { return c.key; }), ["A4", "A5", "Letter"]);
        compare(DocumentsLogic.paperChoices(true)[DocumentsLogic.initialPaperIndex(true)].key, "driver");
        compare(DocumentsLogic.printOptions("P", "A5", true, 3, false, 1, false),
                { printerName: "P", paper: "A5", orientation: "landscape", copies: 3, color: false, duplex: 1,
                  fitToPage: false });
        compare(DocumentsLogic.printHint("", false, "driver"), "Проверьте параметры и нажмите «Печать».");
    }
}
