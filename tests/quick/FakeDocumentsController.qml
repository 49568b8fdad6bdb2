import QtQml

// Stands in for app.documents and app.settings in the documents page's fast suites: the same properties and
// signals, answers the tests choose, and a record of the calls the page makes.
QtObject {
    id: fake

    property var records: []
    property var selected: ({})
    property string lastError: ""
    property string statusText: ""
    property string previewSource: ""
    property string previewTitle: ""
    property bool previewIsSticker: false
    readonly property bool hasSelection: Object.keys(selected).length > 0
    // The form shows the selected values as they are; converting the dates is the real controller's part.
    readonly property var formValues: selected
    property var fieldErrors: ({})
    property string emptyListText: ""
    property bool printAnswer: false
    property var calls: []
    // Stands in for app as well: the page reaches both controllers through it.
    readonly property QtObject documents: fake
    readonly property QtObject settings: fake

    // What the page reads of app.settings.
    property var masters: []
    property var customers: []
    property var printers: ["По умолчанию", "Brother QL", "Office"]
    property string printerAct: "Office"
    property string printerLabel: "Brother QL"
    property real uiScale: 1.0
    property bool addAnswer: true

    function record(call) {
        calls = calls.concat([call]);
    }

    function refresh(tacho, customer) {
        record("refresh " + (arguments.length > 0 ? tacho + "|" + customer : "()"));
    }

    function select(id) {
        record("select " + id);
        for (var i = 0; i < records.length; ++i) {
            if (records[i].id === id)
                selected = { Id: id, OrderNumber: records[i].order, CustomerName: records[i].customer,
                             VuSerialNumber: records[i].serial };
        }
    }

    function clearSelection() {
        selected = {};
    }

    function removeSelected() {
        record("removeSelected");
    }

    function updateSelectedValue(key, value) {
        record("update " + key + "=" + value);
        var copy = Object.assign({}, selected);
        copy[key] = value;
        selected = copy;
    }

    function discardPreview() {
        record("discardPreview");
        previewSource = "";
    }

    function printPreview(options) {
        record("print " + JSON.stringify(options));
        return printAnswer;
    }

    function addMaster(name) {
        record("addMaster " + name);
        if (addAnswer)
            masters = masters.concat([{ fullName: name }]);
        return addAnswer;
    }

    function addCustomer(name, address, phone) {
        record("addCustomer " + name + "|" + address + "|" + phone);
        if (addAnswer)
            customers = customers.concat([{ name: name, address: address, phone: phone }]);
        return addAnswer;
    }
}
