import QtQuick
import QtTest
import Tessaron

// The page's text logic: field labels, cell texts, column widths, translations, dataset lists and the hex view.
TestCase {
    name: "DddText"

    function test_fieldLabels_data() {
        return [
            { tag: "telling row, Russian", name: "vuManufacturerName", english: false, label: "Производитель тахографа" },
            { tag: "telling row, English", name: "kConstantOfRecordingEquipment", english: true,
              label: "Recording equipment constant K" },
            { tag: "Russian name, English label", name: "VIN номер", english: true, label: "VIN number" },
            { tag: "section name spelt as decoded", name: "VUOverSpedingEventData", english: true,
              label: "Overspeeding events" },
            { tag: "written label", name: "sensorPairingDateFirst", english: false, label: "Первое сопряжение датчика" },
            { tag: "card file name", name: "Использованные ТС", english: true, label: "Vehicles used" },
            { tag: "signature of a card file", name: "Идентификация карты (подпись)", english: true,
              label: "Card identification (signature)" },
            { tag: "second generation signature, Russian", name: "События (поколение 2, подпись)", english: false,
              label: "События (поколение 2, подпись)" },
            { tag: "other type byte", name: "Места (тип 7)", english: true, label: "Places (type 7)" },
            { tag: "transfer block", name: "Технические данные (поколение 2)", english: true,
              label: "Technical data (generation 2)" },
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
            compare(entry.length, 2, names[i]);
            verify(entry[0].length > 0 && entry[1].length > 0, names[i]);
            verify(!/[а-яё]/i.test(entry[1]), "English label of " + names[i] + " is English: " + entry[1]);
        }
    }

    function test_cellText_data() {
        return [
            { tag: "missing key", row: { other: "x" }, key: "value", english: false, text: "—" },
            { tag: "null value", row: { value: null }, key: "value", english: false, text: "—" },
            { tag: "empty text", row: { value: "" }, key: "value", english: false, text: "—" },
            { tag: "zero stays", row: { value: 0 }, key: "value", english: false, text: "0" },
            { tag: "nested map as JSON", row: { data: { hex: "0A" } }, key: "data", english: false, text: "{\"hex\":\"0A\"}" },
            { tag: "list as JSON", row: { fields: ["a", "b"] }, key: "fields", english: false, text: "[\"a\",\"b\"]" },
            { tag: "description is a field name", row: { description: "clockstop" }, key: "description", english: true,
              text: "Clock stop status" },
            { tag: "section name", row: { name: "Signature" }, key: "name", english: false, text: "Электронная подпись" },
            { tag: "card number loses its plus", row: { cardNumberDriverSlotBegin: "+RUD0000093346301" },
              key: "cardNumberDriverSlotBegin", english: false, text: "RUD0000093346301" },
            { tag: "unknown code in Russian", row: { eventType: "UNKNOWN (0x1a)" }, key: "eventType", english: false,
              text: "Неизвестно (0X1A)" },
            { tag: "English value in Russian", row: { cardStatus: " Not Inserted " }, key: "cardStatus", english: false,
              text: "Не вставлена" },
            { tag: "card activity Drive in Russian", row: { activity: "Drive" }, key: "activity", english: false,
              text: "Вождение" },
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
            { tag: "markup stays text", row: { value: "<img src=\"x.png\"><b>Иванов</b>" }, key: "value",
              english: false, text: "<img src=\"x.png\"><b>Иванов</b>" }
        ];
    }

    function test_cellText(data) {
        compare(DddTable.cellText(data.row, data.key, data.english), data.text);
    }

    function test_columnWidths_data() {
        return [
            { tag: "configured widths", columns: [["a", "A", 100], ["b", "B", 200]], resized: [], scale: 1,
              view: 0, fill: false, widths: [100, 200] },
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
    }

    function test_draggedWidthStopsAtItsFloor() {
        compare(DddTable.draggedWidth(100, -80, 1), 56);
        compare(DddTable.draggedWidth(100, -80, 2), 112);
        compare(DddTable.draggedWidth(100, 35, 1), 135);
        compare(DddTable.withResizedWidth([], 2, 90), [0, 0, 90]);
    }

    function test_translate_data() {
        return [
            { tag: "Russian unchanged", text: "Разбор завершён", english: false, result: "Разбор завершён" },
            { tag: "exact", text: "Разбор завершён", english: true, result: "Decoding complete" },
            { tag: "prefix keeps the path", text: "Файл не найден: C:/Данные/файл.ddd", english: true,
              result: "File not found: C:/Данные/файл.ddd" },
            { tag: "folder", text: "Выбранный путь не является файлом: /tmp", english: true,
              result: "Selected path is not a file: /tmp" },
            { tag: "unknown format", text: "Не удалось определить формат DDD", english: true,
              result: "Could not determine the DDD format" },
            { tag: "unknown head", text: "Файл не похож на DDD: неизвестный заголовок", english: true,
              result: "The file does not look like DDD: unknown header" },
            { tag: "violation keeps its figures", text: "Превышен дневной лимит вождения: 10:00 > 9:00", english: true,
              result: "Daily driving limit exceeded: 10:00 > 9:00" },
            { tag: "short breaks whole", text: "Найдено 3 перерывов короче 15 минут", english: true,
              result: "Found 3 breaks shorter than 15 minutes" },
            { tag: "saved report whole", text: "Сохранённый отчёт №5 открыт", english: true,
              result: "Saved report #5 opened" },
            { tag: "file type", text: "Тахограф", english: true, result: "Tachograph" },
            { tag: "foreign text unchanged", text: "Permission denied", english: true, result: "Permission denied" }
        ];
    }

    function test_translate(data) {
        compare(DddPageText.translate(data.text, data.english), data.result);
    }

    function test_translateDate_data() {
        return [
            { tag: "Russian unchanged", text: "15 июня 1985 г.", english: false, result: "15 июня 1985 г." },
            { tag: "month and year mark", text: "15 июня 1985 г.", english: true, result: "15 June 1985" },
            { tag: "upper case month", text: "1 ДЕКАБРЯ 2030 г. ", english: true, result: "1 December 2030 " },
            { tag: "period of two dates", text: "31 июля 2022 г. — 29 августа 2022 г.", english: true,
              result: "31 July 2022 — 29 August 2022" },
            { tag: "no month keeps the mark", text: "2022 г.", english: true, result: "2022 г." }
        ];
    }

    function test_translateDate(data) {
        compare(DddPageText.translateDate(data.text, data.english), data.result);
    }

    function rowsFrom(map) {
        return function (key) { return map[key] || []; };
    }

    function keysOf(entries) {
        var keys = [];
        for (var i = 0; i < entries.length; ++i)
            keys.push(entries[i].key);
        return keys;
    }

    function test_cardDatasetsFollowTheFile() {
        var rows = { cardIcc: [{ description: "clockstop", value: "01" }], vehicles: [{ vehicleOdometerBegin: 1 }] };
        compare(keysOf(DddPageText.shownDatasets(false, rowsFrom(rows), [])), ["sections", "cardIcc", "vehicles"]);

        var sections = [{ fileNumber: "0502", fileType: 1 }];
        compare(keysOf(DddPageText.shownDatasets(false, rowsFrom(rows), sections)), ["sections", "cardIcc", "vehicles"],
                "a signature of EF 0502 alone does not list the events");

        sections = [{ fileNumber: "0502", fileType: 0 }, { fileNumber: "0504", fileType: 0 }];
        compare(keysOf(DddPageText.shownDatasets(false, rowsFrom(rows), sections)),
                ["sections", "cardIcc", "events", "activityChanges", "vehicles"]);
    }

    function test_tachographNeverShowsCardSections() {
        var rows = { events: [{ eventType: "x" }], cardIcc: [{}], vuIdentification: [{}] };
        var sections = [{ fileNumber: "0502", fileType: 0 }];
        compare(keysOf(DddPageText.shownDatasets(true, rowsFrom(rows), sections)),
                ["tachoChildSections", "vuIdentification"]);
    }

    function test_sectionsAreKeptByKind() {
        var card = DddPageText.shownDatasets(false, rowsFrom({ events: [{}] }), []);
        compare(DddPageText.sectionKey(card, 1), "events");
        compare(DddPageText.sectionKey(card, 2), "#analysis");
        compare(DddPageText.sectionKey(card, 3), "#charts");
        var more = DddPageText.shownDatasets(false, rowsFrom({ cardIcc: [{}], events: [{}] }), []);
        compare(DddPageText.sectionIndexOf(more, "events"), 2);
        compare(DddPageText.sectionIndexOf(more, "#charts"), 4);
        compare(DddPageText.sectionIndexOf(more, "vehicles"), 0, "a section no longer listed falls back to the first");
        compare(DddPageText.stackIndex(1, 3), 0);
        compare(DddPageText.stackIndex(3, 3), 1);
        compare(DddPageText.stackIndex(4, 3), 2);
    }

    function test_pageNeverReadsThePerSecondChartRows() {
        // A month of vehicle-unit speed is 86 400 rows in "charts"; the page converts only what it shows.
        compare(DddPageText.controllerLists.indexOf("charts"), -1);
        verify(DddPageText.controllerLists.indexOf("detailedSpeed") >= 0);
        verify(DddPageText.controllerLists.indexOf("activityDaily") >= 0);
    }

    function test_localizedColumnsKeepLiteralTitles() {
        var columns = DddPageText.localizedColumns([["vehicleIdentificationNumber", "VIN", null, 205],
                                                    ["tyreSize", "Размер шин", "Tyre size", 150]], true);
        compare(columns, [["vehicleIdentificationNumber", "VIN", 205], ["tyreSize", "Tyre size", 150]]);
    }

    function test_hexDump() {
        compare(DddPageText.hexDump("", false), "Нет данных HEX");
        compare(DddPageText.hexDump("zz", true), "No HEX data");
        var padding = "";
        for (var i = 0; i < 13; ++i)
            padding += "   ";
        compare(DddPageText.hexDump("41 42-0a", false), "00000000  41 42 0A" + padding + "  |AB.|");
        var lines = DddPageText.hexDump("000102030405060708090A0B0C0D0E0F7E7F", false).split("\n");
        compare(lines.length, 2);
        compare(lines[0], "00000000  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  |................|");
        compare(lines[1].slice(0, 16), "00000010  7E 7F ");
        compare(lines[1].slice(-4), "|~.|");
    }

    function test_hexDumpStopsAt65536Bytes() {
        var chunk = "";
        for (var i = 0; i < 256; ++i)
            chunk += "41";
        var text = "";
        for (var j = 0; j < 257; ++j)
            text += chunk;
        var lines = DddPageText.hexDump(text, false).split("\n");
        compare(lines.length, 4096 + 2);
        compare(lines[4095].slice(0, 8), "0000FFF0");
        compare(lines[4096], "");
        compare(lines[4097], "Показаны первые 65536 байт");
    }

    function test_blockHexSources() {
        compare(DddPageText.blockHex({ payloadHex: "0A0B", data: { hex: "FF" } }), "0A0B");
        compare(DddPageText.blockHex({ data: { hex: "FF" } }), "FF");
        compare(DddPageText.blockHex({}), "");
        compare(DddPageText.hexTitle({ fileNumber: "0501", name: "Идентификация приложения" }, false),
                "0501 — Идентификация приложения");
        compare(DddPageText.hexTitle({ fileNumber: "7601", name: "VUCertificate" }, false),
                "7601 — Сертификат тахографа", "named as in the section list");
        compare(DddPageText.hexTitle({ fileNumber: "7601", name: "VUCertificate" }, true),
                "7601 — Tachograph certificate");
    }

    function test_fileBoxRows() {
        var controller = { fileName: "", fileType: "Тахограф", fileSize: 0 };
        var summary = { fileName: "vu.ddd", vin: "VIN1", dataStartDate: "1 июля 2022 г.", dataEndDate: "2 июля 2022 г.",
                        eventCount: 3 };
        var rows = DddPageText.fileBoxRows(controller, summary, true, true);
        compare(rows[0], ["Name:", "vu.ddd"]);
        compare(rows[1], ["Type:", "Tachograph"]);
        compare(rows[2], ["Size:", "from the database"]);
        compare(rows[3], ["VIN:", "VIN1"]);
        compare(rows[4], ["Reg. number:", "not found"]);
        compare(rows[5], ["Data period:", "1 July 2022 — 2 July 2022"]);
        compare(rows[6], ["Events / faults:", "3 / 0"]);

        rows = DddPageText.fileBoxRows({ fileName: "card.ddd", fileType: "Карта водителя", fileSize: 12 }, {}, false, false);
        compare(rows[2], ["Размер:", "12 байт"]);
        compare(rows[3], ["Номер карты:", "не найден"]);
    }

    function test_analysisFiguresReadMissingGroupsAsEmpty() {
        var tiles = DddPageText.analysisTiles({}, false);
        compare(tiles.length, 8);
        compare(tiles[0].value, "—");
        compare(tiles[2].value, "0.0 %");
        compare(tiles[5].value, "— / —");
        compare(tiles[6].value, "0");
        compare(tiles[7].value, "0");
        tiles = DddPageText.analysisTiles({ efficiency: { utilizationRate: 83.333, totalWorkTime: "12:05" },
                                            workingHours: [{}, {}] }, false);
        compare(tiles[0].value, "12:05");
        compare(tiles[2].value, "83.3 %");
        compare(tiles[6].value, "2");
        compare(DddPageText.hoursMinutes(605), "10:05");
        compare(DddPageText.hoursMinutes(-5), "00:00");
        compare(DddPageText.hoursMinutes(6000), "100:00");
        compare(DddPageText.scoreColor(80), "#2e7d32");
        compare(DddPageText.scoreColor(60), "#a06000");
        compare(DddPageText.scoreColor(59), "#b00020");
        compare(DddPageText.messageLines([], true), ["No data"]);
        compare(DddPageText.messageLines(["Ночных рабочих сессий: 2"], true), ["• Night work sessions: 2"]);
    }
}
