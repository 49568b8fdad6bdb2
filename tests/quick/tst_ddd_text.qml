import QtQuick
import QtTest
import Tessaron

// The page's text logic: field labels, cell texts, column widths, translations, dataset lists and the hex view.
TestCase {
    name: "DddText"

    function test_fieldLabels_data() {
        return [
            { tag: "table, Russian", name: "vuManufacturerName", english: false, label: "Производитель тахографа" },
            { tag: "table, English", name: "kConstantOfRecordingEquipment", english: true,
              label: "Recording equipment constant K" },
            { tag: "suffix, English", name: "Идентификация карты (подпись)", english: true,
              label: "Card identification (signature)" },
            { tag: "suffix, Russian", name: "События (поколение 2, подпись)", english: false,
              label: "События (поколение 2, подпись)" },
            { tag: "type byte", name: "Места (тип 7)", english: true, label: "Places (type 7)" },
            { tag: "file by number", name: "Файл C209", english: true, label: "File C209" },
            { tag: "record array", name: "RecordType 0x2a", english: true, label: "Record type 0x2a" },
            { tag: "unknown name, Russian", name: "someOdd_fieldName", english: false, label: "some Odd field Name" },
            { tag: "unknown name, English", name: "someOdd_fieldName", english: true, label: "Some Odd field Name" }
        ];
    }

    function test_fieldLabels(data) {
        compare(DddFieldLabels.fieldLabel(data.name, data.english), data.label);
    }

    function test_everyTableNameHasTwoLabels() {
        var names = Object.keys(DddFieldLabels.labels);
        verify(names.length >= 136, "the table holds every field name: " + names.length);
        for (var i = 0; i < names.length; ++i) {
            var entry = DddFieldLabels.labels[names[i]];
            verify(entry.length === 2 && entry[0].length > 0 && !/[а-яё]/i.test(entry[1] || "я"), names[i]);
        }
    }

    function test_cellText_data() {
        return [
            { tag: "missing key", row: { other: "x" }, key: "value", english: false, text: "—" },
            { tag: "null value", row: { value: null }, key: "value", english: false, text: "—" },
            { tag: "empty text", row: { value: "" }, key: "value", english: false, text: "—" },
            { tag: "zero stays", row: { value: 0 }, key: "value", english: false, text: "0" },
            { tag: "nested map as JSON", row: { data: { hex: "0A" } }, key: "data", english: false, text: "{\"hex\":\"0A\"}" },
            { tag: "description is a field name", row: { description: "clockstop" }, key: "description", english: true,
              text: "Clock stop status" },
            { tag: "section name", row: { name: "Signature" }, key: "name", english: false, text: "Электронная подпись" },
            { tag: "card number loses its plus", row: { cardNumberDriverSlotBegin: "+RUD0000012345678" },
              key: "cardNumberDriverSlotBegin", english: false, text: "RUD0000012345678" },
            { tag: "unknown code in Russian", row: { eventType: "UNKNOWN (0x1a)" }, key: "eventType", english: false,
              text: "Неизвестно (0X1A)" },
            { tag: "English value in Russian", row: { cardStatus: " Not Inserted " }, key: "cardStatus", english: false,
              text: "Не вставлена" },
            { tag: "invalid date", row: { cardExpiryDate: "Invalid date" }, key: "cardExpiryDate", english: false,
              text: "Некорректная дата" },
            { tag: "English twin", row: { eventType: "Превышение скорости", eventTypeEnglish: "Over speeding" },
              key: "eventType", english: true, text: "Over speeding" },
            { tag: "no twin keeps the own text", row: { faultType: "Card fault" }, key: "faultType", english: true,
              text: "Card fault" },
            { tag: "card type in English", row: { cardType: "Водитель" }, key: "cardType", english: true,
              text: "Driver Card" },
            { tag: "driver elsewhere in English", row: { slot: "Водитель" }, key: "slot", english: true, text: "Driver" },
            { tag: "Russian value in English", row: { activity: "Перерыв/отдых" }, key: "activity", english: true,
              text: "Break/rest" },
            { tag: "an average in Russian", row: { averageSpeed: 23.383333333333333 }, key: "averageSpeed",
              english: false, text: "23,4" },
            { tag: "a decimal text is the file's own", row: { kConstantOfRecordingEquipment: "7990.5" },
              key: "kConstantOfRecordingEquipment", english: false, text: "7990.5" }
        ];
    }

    function test_cellText(data) {
        compare(DddTable.cellText(data.row, data.key, data.english), data.text);
    }

    function test_columnWidths_data() {
        return [
            { tag: "floor of a narrow column", columns: [["a", "A", 20]], resized: [], scale: 1, view: 0,
              fill: false, widths: [56] },
            { tag: "no width takes 150 scaled", columns: [["a"]], resized: [], scale: 2, view: 0, fill: false,
              widths: [300] },
            { tag: "last column fills the view", columns: [["a", "A", 100], ["b", "B", 100]], resized: [], scale: 1,
              view: 500, fill: true, widths: [100, 400] },
            { tag: "wide table is not filled", columns: [["a", "A", 400], ["b", "B", 400]], resized: [], scale: 1,
              view: 500, fill: true, widths: [400, 400] },
            { tag: "dragged width wins", columns: [["a", "A", 100], ["b", "B", 100]], resized: [180, 0], scale: 1,
              view: 0, fill: false, widths: [180, 100] },
            { tag: "dragged width floor is scaled", columns: [["a", "A", 100]], resized: [30], scale: 1.5, view: 0,
              fill: false, widths: [84] },
            { tag: "dragged last column is not filled", columns: [["a", "A", 100], ["b", "B", 100]], resized: [0, 120],
              scale: 1, view: 600, fill: true, widths: [100, 120] }
        ];
    }

    function test_columnWidths(data) {
        compare(DddTable.columnWidths(data.columns, data.resized, data.scale, data.view, data.fill), data.widths);
        compare(DddTable.draggedWidth(100, -80, data.scale), 56 * data.scale, "a dragged column stops at its floor");
    }

    function test_translate_data() {
        return [
            { tag: "Russian unchanged", text: "Разбор завершён", english: false, result: "Разбор завершён" },
            { tag: "exact", text: "Разбор завершён", english: true, result: "Decoding complete" },
            { tag: "prefix keeps the path", text: "Файл не найден: C:/Данные/файл.ddd", english: true,
              result: "File not found: C:/Данные/файл.ddd" },
            { tag: "prefix and suffix", text: "Найдено 3 перерывов короче 15 минут", english: true,
              result: "Found 3 breaks shorter than 15 minutes" },
            { tag: "foreign text unchanged", text: "Permission denied", english: true, result: "Permission denied" },
            { tag: "read-only report database", text: "База данных /home/t/ReportsDB.db доступна только для чтения",
              english: true, result: "Database /home/t/ReportsDB.db is read-only" },
            { tag: "report export on a full disk",
              text: "Не удалось создать PDF отчёта: /home/t/отчёт.pdf (на диске нет места)", english: true, result: "Could not create the PDF report: /home/t/отчёт.pdf (the disk is full)" },
            { tag: "report export cut short", text: "Не удалось создать PDF отчёта: /home/t/отчёт.pdf (ошибка записи)",
              english: true, result: "Could not create the PDF report: /home/t/отчёт.pdf (write error)" },
            { tag: "report rows refused", text: "Не удалось сохранить строки отчёта (таблица Places)", english: true,
              result: "Could not save the report's rows (table Places)" },
            { tag: "date, Russian unchanged", text: "15 июня 1985 г.", english: false, result: "15 июня 1985 г.",
              date: true },
            { tag: "upper case month", text: "1 ДЕКАБРЯ 2030 г. ", english: true, result: "1 December 2030 ",
              date: true },
            { tag: "period in one month", text: "1 июля 2022 г. — 29 июля 2022 г.", english: true,
              result: "1 July 2022 — 29 July 2022", date: true },
            { tag: "no month keeps the mark", text: "2022 г.", english: true, result: "2022 г.", date: true }
        ];
    }

    function test_translate(data) {
        var translate = data.date ? DddPageText.translateDate : DddPageText.translate;
        compare(translate(data.text, data.english), data.result);
    }

    function test_shownDatasets_data() {
        var rows = { cardIcc: [{}], vehicles: [{}], vuIdentification: [{}] };
        return [
            { tag: "card without EF 0502", tachograph: false, rows: rows, sections: [],
              keys: ["sections", "cardIcc", "vehicles"] },
            { tag: "a signature of EF 0502 alone", tachograph: false, rows: rows,
              sections: [{ fileNumber: "0502", fileType: 1 }], keys: ["sections", "cardIcc", "vehicles"] },
            { tag: "card with EF 0502 and 0504", tachograph: false, rows: rows,
              sections: [{ fileNumber: "0502", fileType: 0 }, { fileNumber: "0504", fileType: 0 }],
              keys: ["sections", "cardIcc", "events", "activityChanges", "vehicles"] },
            { tag: "tachograph", tachograph: true, rows: { events: [{}], cardIcc: [{}], vuIdentification: [{}] },
              sections: [{ fileNumber: "0502", fileType: 0 }],
              keys: ["tachoChildSections", "vuIdentification"] }
        ];
    }

    function test_shownDatasets(data) {
        var datasets = DddPageText.shownDatasets(data.tachograph, function (key) { return data.rows[key] || []; },
                                                 data.sections);
        compare(datasets.map(function (dataset) { return dataset.key; }), data.keys);
        var count = datasets.length;
        compare([DddPageText.sectionKey(datasets, count), DddPageText.sectionKey(datasets, count + 1)],
                ["#analysis", "#charts"]);
        compare(DddPageText.sectionIndexOf(datasets, data.keys[1]), 1);
        compare(DddPageText.sectionIndexOf(datasets, "#charts"), count + 1);
        compare(DddPageText.sectionIndexOf(datasets, "faults"), 0, "a section not listed falls back to the first");
        compare([DddPageText.stackIndex(count - 1, count), DddPageText.stackIndex(count, count),
                 DddPageText.stackIndex(count + 1, count)], [0, 1, 2]);
    }

    function test_pageNeverReadsThePerSecondChartRows() {
        // A month of vehicle-unit speed is 86 400 rows in "charts"; the page converts only what it shows.
        compare(DddPageText.controllerLists.indexOf("charts"), -1);
        verify(DddPageText.controllerLists.indexOf("detailedSpeed") >= 0);
    }

    function test_localizedColumnsKeepLiteralTitles() {
        var columns = DddPageText.localizedColumns([["vehicleIdentificationNumber", "VIN", null, 205],
                                                    ["tyreSize", "Размер шин", "Tyre size", 150]], true);
        compare(columns, [["vehicleIdentificationNumber", "VIN", 205], ["tyreSize", "Tyre size", 150]]);
    }

    function test_hexDump() {
        compare(DddPageText.hexDump("zz", true), "No HEX data");
        var lines = DddPageText.hexDump("000102030405060708090A0B0C0D0E0F7e-7f", false).split("\n");
        compare(lines, ["00000000  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  |................|",
                        "00000010  7E 7F " + "   ".repeat(14) + " |~.|"]);
        var text = "41".repeat(65536 + 256);
        lines = DddPageText.hexDump(text, false).split("\n");
        compare(lines.length, 4096 + 2);
        compare(lines[4095].slice(0, 8), "0000FFF0");
        compare(lines.slice(4096), ["", "Показаны первые 65536 байт"]);
        compare(DddPageText.blockHex({ payloadHex: "0A0B", data: { hex: "FF" } }), "0A0B");
        compare(DddPageText.blockHex({ data: { hex: "FF" } }), "FF");
        compare(DddPageText.hexTitle({ fileNumber: "7601", name: "VUCertificate" }, true),
                "7601 — Tachograph certificate", "named as in the section list");
    }

    function test_fileBoxRows() {
        var summary = { fileName: "vu.ddd", vin: "VIN1", dataStartDate: "1 июля 2022 г.", dataEndDate: "2 июля 2022 г.",
                        eventCount: 3 };
        compare(DddPageText.fileBoxRows({ fileType: "Тахограф", fileSize: 0 }, summary, true, true),
                [["Name:", "vu.ddd"], ["Type:", "Tachograph"], ["Size:", "from the database"], ["VIN:", "VIN1"],
                 ["Reg. number:", "not found"], ["Data period:", "1 July 2022 — 2 July 2022"],
                 ["Events / faults:", "3 / 0"]]);
        var card = { fileName: "card.ddd", fileType: "Карта водителя", fileSize: 12 };
        var rows = DddPageText.fileBoxRows(card, {}, false, false);
        compare(rows.slice(2, 4), [["Размер:", "12 байт"], ["Номер карты:", "не найден"]]);
    }

    function test_decimalText_data() {
        return [
            { tag: "rounds to one decimal, English point", value: 23.383333333333333, english: true, text: "23.4" },
            { tag: "no minus for a value that rounds to 0", value: -0.04, english: false, text: "0" },
            { tag: "a number in a text", value: "28.216", english: false, text: "28,2" },
            { tag: "no number keeps its text", value: "—", english: false, text: "—" }
        ];
    }

    function test_decimalText(data) {
        compare(DddNumberText.decimalText(data.value, data.english), data.text);
    }

    function test_analysisFigures() {
        var empty = DddPageText.analysisTiles({}, false).map(function (tile) { return tile.value; });
        compare([empty.length, empty[0], empty[2], empty[5], empty[6]], [8, "—", "0 %", "— / —", "0"]);
        var analysis = { efficiency: { utilizationRate: 83.333, drivingEfficiency: 28.2, totalWorkTime: "12:05" },
                         workingHours: [{}, {}] };
        var tiles = DddPageText.analysisTiles(analysis, false);
        compare([tiles[0].value, tiles[2].value, tiles[3].value, tiles[6].value], ["12:05", "83,3 %", "28,2 %", "2"]);
        compare(DddPageText.analysisTiles(analysis, true)[3].value, "28.2 %", "English keeps the point");
        compare([DddPageText.hoursMinutes(605), DddPageText.hoursMinutes(-5), DddPageText.hoursMinutes(6000)],
                ["10:05", "00:00", "100:00"]);
        compare([DddPageText.scoreColor(80), DddPageText.scoreColor(60), DddPageText.scoreColor(59)],
                ["#2e7d32", "#a06000", "#b00020"]);
        compare(DddPageText.messageLines(["Ночных рабочих сессий: 2"], true), ["• Night work sessions: 2"]);
    }
}
