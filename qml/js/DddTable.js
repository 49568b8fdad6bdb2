.pragma library

.import "DddFieldLabels.js" as FieldLabels
.import "DddNumberText.js" as NumberText

var minimumColumnWidth = 56;
var defaultColumnWidth = 150;
var missingValue = "—";

// Lower-cased English value -> Russian, for the Russian view.
var russianValues = {
    "workshop card": "Мастерская",
    "driver": "Водитель",
    "driver card": "Водительская карта",
    "control card": "Карта контролёра",
    "company card": "Карта предприятия",
    "manufacturing card": "Карта изготовителя",
    "no card inserted": "Карта не вставлена",
    "inserted": "Вставлена",
    "not inserted": "Не вставлена",
    "single": "Одиночный режим",
    "crew": "Экипаж",
    "co-driver": "Сопряжённый водитель",
    "russian federation": "Российская Федерация",
    "break/rest": "Перерыв/отдых",
    "rest": "Отдых",
    "no activity": "Нет активности",
    "control": "Контроль",
    "surveillance": "Наблюдение",
    "technical control": "Технический контроль",
    "company control": "Контроль предприятия",
    "availability": "Доступность",
    "work": "Работа",
    "driving": "Вождение",
    // Card activity rows say "Drive"; without it the Russian table would show one activity in English.
    "drive": "Вождение",
    "unknown": "Неизвестно",
    "vehicle unit": "Тахограф",
    "begin": "Начало",
    "end": "Окончание",
    "no data": "Нет данных",
    "no information available": "Нет информации",
    "moscow region": "Московская область",
    "motion sensor": "Датчик движения",
    "reserved": "Зарезервировано"
};

// Exact Russian value -> English, for the English view.
var englishValues = {
    "Мастерская": "Workshop Card",
    "Водитель": "Driver",
    "Водительская карта": "Driver Card",
    "Карта не вставлена": "No card inserted",
    "No card inserted": "No card inserted",
    "Вставлена": "Inserted",
    "Не вставлена": "Not inserted",
    "Одиночный режим": "Single",
    "Экипаж": "Crew",
    "Сопряжённый водитель": "Co-driver",
    "Российская Федерация": "Russian Federation",
    "Перерыв/отдых": "Break/rest",
    "Доступность": "Availability",
    "Работа": "Work",
    "Вождение": "Driving",
    "Неизвестно": "Unknown",
    "Тахограф": "Vehicle unit",
    "Начало": "Begin",
    "Окончание": "End",
    "Нет данных": "No data",
    "Нет информации": "No information available",
    "Московская область": "Moscow Region",
    "Зарезервировано": "Reserved"
};

// Keys whose English text travels in a twin key with "English" appended.
var englishTwinKeys = ["eventType", "eventRecordPurpose", "faultType", "faultRecordPurpose", "calibrationPurpose"];

// Keys whose value is itself a field name.
var fieldNameKeys = ["description", "field", "name"];

function isMissing(value) {
    return value === undefined || value === null || (typeof value === "string" && value.length === 0);
}

// A row's value as the text of one table cell.
function cellText(row, key, english) {
    if (!row || typeof row !== "object")
        return missingValue;
    var value = row[key];
    if (english && englishTwinKeys.indexOf(key) >= 0) {
        // Rows of one kind come without the twin (card faults): their own text beats a blank cell.
        var twin = row[key + "English"];
        if (!isMissing(twin))
            value = twin;
    }
    if (isMissing(value))
        return missingValue;
    if (typeof value === "object")
        return JSON.stringify(value);
    if (NumberText.isFractional(value))
        return NumberText.decimalText(value, english);
    var text = String(value);
    if (fieldNameKeys.indexOf(key) >= 0)
        return FieldLabels.fieldLabel(text, english);
    if (key.indexOf("cardNumber") === 0 && text.charAt(0) === "+")
        text = text.slice(1);
    return english ? englishValue(key, text) : russianValue(text);
}

function russianValue(text) {
    var lowered = text.trim().toLowerCase();
    if (russianValues.hasOwnProperty(lowered))
        return russianValues[lowered];
    var unknown = /^unknown \((0x[0-9a-f]+)\)$/i.exec(lowered);
    if (unknown)
        return "Неизвестно (" + unknown[1].toUpperCase() + ")";
    if (lowered === "invalid date")
        return "Некорректная дата";
    return text;
}

function englishValue(key, text) {
    if (key === "cardType") {
        if (text === "Водитель")
            return "Driver Card";
        if (text === "Мастерская")
            return "Workshop Card";
    }
    if (englishValues.hasOwnProperty(text))
        return englishValues[text];
    return text;
}

// The header title of a column [key, title, width]: its title, else the label of its key.
function columnTitle(column, english) {
    if (column && column.length > 1 && !isMissing(column[1]))
        return String(column[1]);
    return FieldLabels.fieldLabel(column ? column[0] : "", english);
}

// Widths of the columns in pixels. A dragged width (above 0) wins over the configured one; the last column
// takes up the rest of the view when asked to and it was not dragged.
function columnWidths(columns, resizedWidths, uiScale, viewWidth, fillLastColumn) {
    var widths = [];
    var total = 0;
    var count = columns ? columns.length : 0;
    for (var i = 0; i < count; ++i) {
        var width = baseWidth(columns[i], uiScale);
        var dragged = resizedWidths && i < resizedWidths.length ? Number(resizedWidths[i]) : 0;
        if (dragged > 0)
            width = Math.max(minimumColumnWidth * uiScale, dragged);
        widths.push(width);
        total += width;
    }
    if (fillLastColumn && count > 0 && total < viewWidth) {
        var last = count - 1;
        var lastDragged = resizedWidths && last < resizedWidths.length && Number(resizedWidths[last]) > 0;
        if (!lastDragged)
            widths[last] += viewWidth - total;
    }
    return widths;
}

function baseWidth(column, uiScale) {
    var configured = column && column.length > 2 ? Number(column[2]) : 0;
    if (configured > 0)
        return Math.max(minimumColumnWidth, configured * uiScale);
    return defaultColumnWidth * uiScale;
}

function totalWidth(widths) {
    var total = 0;
    for (var i = 0; i < widths.length; ++i)
        total += widths[i];
    return total;
}

// The width a column gets while its handle is dragged: the width at the press plus the distance moved.
function draggedWidth(widthAtPress, distance, uiScale) {
    return Math.max(minimumColumnWidth * uiScale, widthAtPress + distance);
}

// A copy of resizedWidths with one column set, long enough for that index.
function withResizedWidth(resizedWidths, index, width) {
    var copy = resizedWidths ? resizedWidths.slice() : [];
    while (copy.length <= index)
        copy.push(0);
    copy[index] = width;
    return copy;
}
