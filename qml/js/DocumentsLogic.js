.pragma library

// What the documents page and its dialogs compute rather than draw: the form's table, the default parties,
// the preview's zoom and the print options.

// The list's columns: wide and narrow header, key of the list row, share of the width and, for the dates, the
// registration number and the order number's header, the widest usual text the column must show whole.
var listColumns = [
    { title: "Номер\nзаказа", narrowTitle: "№\nзаказа", key: "order", share: 0.11, sample: "заказа" },
    { title: "Клиент", narrowTitle: "Клиент", key: "customer", share: 0.25 },
    { title: "Дата\nнастройки", narrowTitle: "Дата\nнастр.", key: "date", share: 0.17, sample: "00.00.0000 00:00" },
    { title: "Сер. номер\nтахографа", narrowTitle: "Сер.\n№", key: "serial", share: 0.17 },
    { title: "Дата след.\nкалибровки", narrowTitle: "След.\nнастр.", key: "nextCalibration", share: 0.14,
      sample: "00.00.0000" },
    { title: "Гос. номер", narrowTitle: "Гос.\n№", key: "vehicle", share: 0.16, sample: "А000АА000" }
];

// The widths of the list's columns in a list total wide: each column its share, but never less than its minimum
// (minimums: one a column, 0 for none); the other columns share what is left in proportion to their shares.
// When the minimums alone take more than the total, they are kept and the others get nothing.
function columnWidths(total, minimums) {
    var pinned = [];
    for (var i = 0; i < listColumns.length; ++i)
        pinned.push(false);
    var free = total;
    var freeShare = 1;
    for (var changed = true; changed;) {
        changed = false;
        free = total;
        freeShare = 0;
        for (i = 0; i < listColumns.length; ++i) {
            if (pinned[i])
                free -= minimums[i] || 0;
            else
                freeShare += listColumns[i].share;
        }
        for (i = 0; i < listColumns.length; ++i) {
            if (!pinned[i] && (minimums[i] || 0) > Math.max(0, free) * listColumns[i].share / freeShare) {
                pinned[i] = true;
                changed = true;
            }
        }
    }
    var widths = [];
    for (i = 0; i < listColumns.length; ++i)
        widths.push(pinned[i] ? minimums[i] : Math.max(0, free) * listColumns[i].share / freeShare);
    return widths;
}

// The two lines a record takes in the phone's list: the order number and the date, the customer and the
// registration number.
function phoneLines(row) {
    return [["№ " + text(row.order), text(row.date)], [text(row.customer), text(row.vehicle)]];
}

// The form: groups of fields, each with its label, key of the selected record, input limit (0: none), kind
// ("text", "readOnly", "master", "customer", "yesNo"), the text shown while empty and the tooltip.
var formGroups = [
    { title: "Заказ", fields: [
        { label: "№ заказа:", key: "OrderNumber", max: 32, kind: "text", tip: "Номер заказа: целое число." },
        { label: "Дата:", key: "RecordDateTime", kind: "readOnly" },
        { label: "Ответственный:", key: "OrderResponsible", max: 200, kind: "text",
          tip: "ФИО ответственного за заказ." },
        { label: "Мастер:", key: "OrderMaster", kind: "master" }
    ] },
    { title: "Клиент", fields: [
        { label: "Имя:", key: "CustomerName", kind: "customer" },
        { label: "Адрес:", key: "CustomerAddress", kind: "readOnly" },
        { label: "Телефон:", key: "CustomerPhone", kind: "readOnly" }
    ] },
    { title: "Транспортное средство", fields: [
        { label: "Марка:", key: "VehicleMark", max: 100, kind: "text", tip: "Марка транспортного средства." },
        { label: "Модель:", key: "VehicleModel", max: 100, kind: "text", tip: "Модель транспортного средства." },
        { label: "VIN:", key: "VehicleIdentificationNumber", max: 17, kind: "text",
          tip: "VIN: 17 знаков, латинские буквы и цифры." },
        { label: "Рег. номер:", key: "VehicleRegistrationNumber", max: 13, kind: "text",
          tip: "Государственный регистрационный номер." },
        { label: "Маркировка шин:", key: "TyreSize", max: 15, kind: "text",
          tip: "Маркировка шин, например 315/70 R22.5." },
        { label: "Одометр, км:", key: "HighResOdometer", max: 14, kind: "text",
          tip: "Показание одометра в километрах." }
    ] },
    { title: "Тахограф", fields: [
        { label: "Производитель:", key: "VuManufacturerName", max: 100, kind: "text",
          tip: "Производитель тахографа." },
        { label: "Модель:", key: "VuPartNumber", max: 100, kind: "text", tip: "Модель (исполнение) тахографа." },
        { label: "Сер. номер:", key: "VuSerialNumber", kind: "readOnly" },
        { label: "Произведён:", key: "VuManufacturingDate", kind: "readOnly" },
        { label: "СКЗИ:", key: "SkziNumber", max: 32, kind: "text", tip: "Номер блока СКЗИ тахографа." }
    ] },
    { title: "Данные настройки тахографа", fields: [
        { label: "W:", key: "WVehicleCharacteristicConstant", max: 5, kind: "text",
          tip: "W: целое число от 1000 до 64255." },
        { label: "K:", key: "KConstantOfRecordingEquipment", max: 5, kind: "text",
          tip: "K: целое число от 1000 до 64255." },
        { label: "L:", key: "LTyreCircumference", max: 4, kind: "text",
          tip: "L: окружность шины в миллиметрах, целое число." },
        { label: "Следующая настройка:", key: "NextCalibrationDate", max: 10, kind: "text",
          tip: "Дата следующей настройки: формат ДД.ММ.ГГГГ." }
    ] },
    { title: "Результат", fields: [
        { label: "Установочная таблица:", key: "SetupTable", max: 100, kind: "text",
          placeholder: "Стойка двери водителя", tip: "Где установлена табличка с данными настройки." },
        { label: "Манипуляции:", key: "Manipulation", kind: "yesNo" },
        { label: "Инспекции:", key: "Inspection", kind: "yesNo" },
        { label: "Примечания:", key: "Note", max: 500, kind: "text",
          placeholder: "Эксплуатация только на территории РФ.", tip: "Особые отметки для сертификата." }
    ] }
];

// A value of the selected record as the form shows it: missing or null is the empty text.
function text(value) {
    return value === undefined || value === null ? "" : String(value);
}

// Index of the master of exactly that full name, -1 when none.
function masterIndex(masters, fullName) {
    var wanted = text(fullName);
    for (var i = 0; i < masters.length; ++i) {
        if (text(masters[i].fullName) === wanted)
            return i;
    }
    return -1;
}

// Index of the customer whose name equals name, both trimmed, without regard to case; -1 when none.
function customerIndex(customers, name) {
    var wanted = text(name).trim().toLowerCase();
    for (var i = 0; i < customers.length; ++i) {
        if (text(customers[i].name).trim().toLowerCase() === wanted)
            return i;
    }
    return -1;
}

// The edits that fill in the first master and the directory's customer: [key, value] pairs, none when
// nothing is to change, so a second pass after applying them finds nothing.
function defaultPartyChanges(selected, masters, customers) {
    var changes = [];
    if (text(selected.OrderMaster).trim() === "" && masters.length > 0)
        changes.push(["OrderMaster", text(masters[0].fullName)]);
    var index = customerIndex(customers, selected.CustomerName);
    if (index < 0 && text(selected.CustomerName).trim() === "" && customers.length > 0)
        index = 0;
    if (index >= 0) {
        var customer = customers[index];
        var pairs = [["CustomerName", "name"], ["CustomerAddress", "address"], ["CustomerPhone", "phone"]];
        for (var i = 0; i < pairs.length; ++i) {
            if (text(selected[pairs[i][0]]) !== text(customer[pairs[i][1]]))
                changes.push([pairs[i][0], text(customer[pairs[i][1]])]);
        }
    }
    return changes;
}

// Hands the default parties to the controller while it has a selection; returns how many values changed.
function applyDefaultParties(controller, masters, customers) {
    if (!controller || !controller.hasSelection)
        return 0;
    var changes = defaultPartyChanges(controller.selected, masters || [], customers || []);
    for (var i = 0; i < changes.length; ++i)
        controller.updateSelectedValue(changes[i][0], changes[i][1]);
    return changes.length;
}

// The preview's zoom: the page or its width fitted into the view with 12 units of margin on each side.
function fitPageZoom(viewWidth, viewHeight, imageWidth, imageHeight) {
    if (imageWidth <= 0 || imageHeight <= 0)
        return 1;
    return Math.max(0.05, Math.min((viewWidth - 24) / imageWidth, (viewHeight - 24) / imageHeight));
}

function fitWidthZoom(viewWidth, imageWidth) {
    if (imageWidth <= 0)
        return 1;
    return Math.max(0.05, (viewWidth - 24) / imageWidth);
}

// One step of "−" or "+", kept within 0.1 to 3.0 (and free of binary fractions).
function stepZoom(zoom, step) {
    return Math.min(3.0, Math.max(0.1, Math.round((zoom + step) * 1000) / 1000));
}

function zoomPercent(zoom) {
    return Math.round(zoom * 100) + "%";
}

// The paper choices of the print form: a sticker also gets the tape the driver reports and the fixed size.
function paperChoices(sticker) {
    var choices = [{ text: "A4", key: "A4" }, { text: "A5", key: "A5" }, { text: "Letter", key: "Letter" }];
    if (sticker) {
        choices.push({ text: "Размер ленты из драйвера (рекомендуется)", key: "driver" });
        choices.push({ text: "Наклейка 100 × 18,6 мм (заданный размер)", key: "sticker" });
    }
    return choices;
}

// The printer the form starts with: the settings' printer for the document when it is listed, else the first.
function initialPrinterIndex(printers, preferred) {
    var index = printers.indexOf(preferred);
    return index >= 0 ? index : 0;
}

function initialPaperIndex(sticker) {
    return sticker ? 3 : 0;
}

// The options the document renderer prints with.
function printOptions(printerName, paperKey, landscape, copies, color, duplex, fitToPage) {
    return {
        printerName: printerName,
        paper: paperKey,
        orientation: landscape ? "landscape" : "portrait",
        copies: copies,
        color: color,
        duplex: duplex,
        fitToPage: fitToPage
    };
}

function printHint(error, sticker, paperKey) {
    if (error !== "")
        return error;
    if (sticker && paperKey === "driver")
        return "В окне печати выберите в свойствах Brother установленную ленту. Наклейка будет вписана в её печатную область.";
    return "Проверьте параметры и нажмите «Печать».";
}

// What the delete confirmation names.
function deleteQuestion(selected) {
    return "Удалить запись калибровки: заказ № " + text(selected.OrderNumber) + ", клиент «"
        + text(selected.CustomerName) + "», тахограф " + text(selected.VuSerialNumber)
        + "?\nЗапись будет удалена без возможности восстановления; выданные документы останутся.";
}
