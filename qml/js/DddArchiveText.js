.pragma library
.import "DddPageText.js" as DddPageText

// The DDD page's archive and PDF export, apart from drawing: stored-report rows, the export dialog's choices
// and options, the proposed file name and the save dialog's result.

var tr = DddPageText.tr;

function text(value) {
    return value === undefined || value === null ? "" : String(value);
}

// --- Stored reports ---------------------------------------------------------------------------------------

function isTachographRow(row) {
    return row ? DddPageText.isTachographKind(row.fileKind) : false;
}

// What a stored report is shown as: a tachograph's registration, else its VIN; a card holder's name, never a
// card number (a description holding a digit or "?" was not a name). "????????" when there is nothing to show.
function displayValue(row) {
    var unknown = "????????";
    var description = text(row ? row.description : "").trim();
    if (isTachographRow(row)) {
        if (description.length > 0)
            return description;
        var key = text(row ? row.keyValue : "").trim();
        return key.length > 0 ? key : unknown;
    }
    return description.length === 0 || /[0-9?]/.test(description) ? unknown : description;
}

function deleteQuestion(row, english) {
    return tr(english, "Удалить сохранённый отчёт %1? Это действие нельзя отменить.",
              "Delete saved report %1? This cannot be undone.")
        .replace("%1", text(row ? row.reportDate : "") + " — " + displayValue(row));
}

function duplicateNotice(reportId, english) {
    return tr(english, "Этот файл уже сохранён как отчёт №%1. Повторная копия не создана.",
              "This file is already saved as report #%1. No duplicate was created.").replace("%1", text(reportId));
}

// --- PDF export choices -----------------------------------------------------------------------------------

// [key, Russian, English] in the order the dialog lists them.
var commonSections = [["basicInfo", "Основная информация", "Basic information"],
                      ["statistics", "Статистика", "Statistics"]];

var tachographSections = [
    ["tachoEvents", "События тахографа", "Tachograph events"],
    ["tachoFaults", "Неисправности тахографа", "Tachograph faults"],
    ["overspeed", "События превышения скорости", "Overspeed events"],
    ["calibration", "Калибровка и технические данные", "Calibration and technical data"],
    ["activity", "Ежедневная активность", "Daily activity"],
    ["places", "Места рабочего периода", "Work period places"],
    ["detailedSpeed", "Детальная скорость", "Detailed speed"],
    ["specificConditions", "Специальные условия", "Specific conditions"],
    ["vuIdentification", "Идентификация тахографа", "Tachograph identification"],
    ["sensor", "Сопряжённый датчик", "Paired sensor"],
    ["downloadActivity", "Данные загрузки активности", "Activity download data"],
    ["companyLocks", "Блокировки компании", "Company locks"],
    ["controlActivity", "Контрольная активность", "Control activity"],
    ["currentUsage", "Текущее использование", "Current usage"],
    ["timeAdjustments", "Корректировки времени", "Time adjustments"],
    ["cardIwData", "Данные карты ИУ тахографа", "VU card IW data"],
    ["dayInformation", "Информация о дне", "Day information"]
];

var cardSections = [
    ["events", "Данные событий", "Events Data"],
    ["faults", "Данные неисправностей", "Faults Data"],
    ["vehicles", "Использованные автомобили", "Vehicles Used"],
    ["activity", "Данные активности водителя", "Driver Activity Data"],
    ["places", "Места", "Places"],
    ["icc", "ICC", "ICC"],
    ["ic", "IC", "IC"],
    ["applicationIdentification", "Идентификация приложения", "Application identification"],
    ["cardIdentification", "Идентификация карты", "Card identification"],
    ["cardDownload", "Загрузка карты", "Card download"],
    ["drivingLicence", "Водительское удостоверение", "Driving licence"],
    ["asn1", "ASN.1 / BER", "ASN.1 / BER"]
];

// Each chart with the datasets whose rows it draws ("analysis.workingHours" is the analysis list).
var charts = [
    ["activity", "График активности", "Activity chart", ["activityDaily", "activityChanges"]],
    ["speed", "График детальной скорости", "Detailed speed chart", ["detailedSpeed"]],
    ["mileage", "График пробега", "Mileage chart", ["vehicles"]],
    ["events", "График событий", "Events chart", ["tachoEvents", "events"]],
    ["faults", "График неисправностей", "Faults chart", ["tachoFaults", "faults"]],
    ["odometer", "График одометра", "Odometer chart", ["dayInformation"]],
    ["places", "График мест", "Places chart", ["placeDailyWorkPeriod", "places"]],
    ["calibration", "График калибровок", "Calibration chart", ["calibrationData"]],
    ["workingTime", "График рабочего времени", "Working time chart", ["analysis.workingHours"]]
];

function choices(entries, english) {
    var result = [];
    for (var i = 0; i < entries.length; ++i)
        result.push({ key: entries[i][0], label: tr(english, entries[i][1], entries[i][2]) });
    return result;
}

// The sections a report of that type can put into its PDF, as {key, label}.
function sectionChoices(isTachograph, english) {
    var entries = commonSections.concat(isTachograph ? tachographSections : cardSections);
    entries.push(["analysis", "Анализ", "Analysis"]);
    return choices(entries, english);
}

function hasRows(list) {
    return list !== undefined && list !== null && list.length > 0;
}

// The charts the report has data for, as {key, label}. rows maps a dataset name to its rows; analysis is the
// report's analysis map.
function chartChoices(rows, analysis, english) {
    var offered = [];
    for (var i = 0; i < charts.length; ++i) {
        var sources = charts[i][3];
        for (var j = 0; j < sources.length; ++j) {
            var list = sources[j] === "analysis.workingHours" ? (analysis ? analysis.workingHours : undefined)
                                                               : (rows ? rows[sources[j]] : undefined);
            if (hasRows(list)) {
                offered.push(charts[i]);
                break;
            }
        }
    }
    return choices(offered, english);
}

// A check state for every choice: every key true, or every key false.
function selection(choiceList, checked) {
    var result = {};
    for (var i = 0; i < choiceList.length; ++i)
        result[choiceList[i].key] = checked;
    return result;
}

// A copy of the selection with one key set.
function withChoice(selected, key, checked) {
    var result = {};
    for (var name in selected)
        result[name] = selected[name];
    result[key] = checked;
    return result;
}

function checkedKeys(choiceList, selected) {
    var keys = [];
    for (var i = 0; i < choiceList.length; ++i) {
        if (selected && selected[choiceList[i].key] === true)
            keys.push(choiceList[i].key);
    }
    return keys;
}

// The export options {sections, graphs} of the ticked choices in the dialog's order; null when nothing is
// ticked.
function exportOptions(sectionList, sectionSelection, chartList, chartSelection) {
    var sections = checkedKeys(sectionList, sectionSelection);
    var graphs = checkedKeys(chartList, chartSelection);
    if (sections.length === 0 && graphs.length === 0)
        return null;
    return { sections: sections, graphs: graphs };
}

// --- Save dialog ------------------------------------------------------------------------------------------

// The source file's name without its extension (a leading dot is no extension), each character other than a
// Latin or Cyrillic letter, digit, ".", "_" or "-" as "_", without "_" at either end.
function sourceStem(fileName) {
    var name = text(fileName);
    var dot = name.lastIndexOf(".");
    if (dot > 0)
        name = name.slice(0, dot);
    return name.replace(/[^A-Za-z\u0400-\u04FF0-9._-]/g, "_").replace(/^_+|_+$/g, "");
}

function proposedFileName(isTachograph, fileName, english) {
    var stem = sourceStem(fileName);
    if (stem.length === 0)
        stem = tr(english, "расшифрованный_файл", "decoded_file");
    var prefix = isTachograph ? tr(english, "Отчёт_тахографа", "Tachograph_report")
                              : tr(english, "Отчёт_карты_водителя", "Driver_card_report");
    return prefix + "_" + stem + ".pdf";
}

function lastSegment(url) {
    var path = text(url).replace(/[?#].*$/, "");
    var segment = path.slice(path.lastIndexOf("/") + 1);
    try {
        return decodeURIComponent(segment);
    } catch (e) {
        return segment;
    }
}

// What the export is given for the save dialog's result: a chosen local file's URL as it is, which the
// controller turns into a path; for any other URL the dialog's folder joined with its last segment, or with the
// proposed name when it has none or no file came back; empty when there is no folder either.
function exportTarget(fileUrl, folderUrl, proposedName) {
    var file = text(fileUrl);
    if (/^file:/i.test(file) && file.replace(/^file:\/*/i, "").length > 0)
        return file;
    var folder = text(folderUrl).replace(/\/+$/, "");
    if (folder.length === 0)
        return "";
    var segment = lastSegment(file);
    return folder + "/" + encodeURIComponent(segment.length > 0 ? segment : proposedName);
}
