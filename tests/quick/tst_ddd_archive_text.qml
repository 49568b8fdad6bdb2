import QtQuick
import QtTest
import Tessaron

// The archive and PDF export logic of the DDD page: stored-report rows, export choices and options, the proposed
// file name and the save dialog's result.
TestCase {
    name: "DddArchiveText"

    function test_displayValue_data() {
        return [
            { tag: "card holder", row: { reportType: "Карта водителя", description: " IVANOV IVAN ", keyValue: "RUD1" },
              value: "IVANOV IVAN" },
            { tag: "card description with a digit", row: { reportType: "Карта водителя", description: "RUD0000012345600" },
              value: "????????" },
            { tag: "card description with a question mark", row: { reportType: "Карта водителя", description: "?VAN" },
              value: "????????" },
            { tag: "card without description", row: { reportType: "Карта водителя", description: null, keyValue: "RUD1" },
              value: "????????" },
            { tag: "tachograph registration", row: { reportType: "Тахограф", description: "A123BC77", keyValue: "VIN" },
              value: "A123BC77" },
            { tag: "tachograph without registration", row: { reportType: "Tachograph", description: " ",
                                                             keyValue: " XTA21099000000001 " },
              value: "XTA21099000000001" },
            { tag: "tachograph without either", row: { reportType: "Тахограф" }, value: "????????" }
        ];
    }

    function test_displayValue(data) {
        compare(DddArchiveText.displayValue(data.row), data.value);
    }

    function test_proposedFileName_data() {
        return [
            { tag: "card, Cyrillic kept", tachograph: false, name: "Иванов И.И. 2024#1.ddd", english: false,
              proposed: "Отчёт_карты_водителя_Иванов_И.И._2024_1.pdf" },
            { tag: "tachograph, ends trimmed", tachograph: true, name: "(vu) ∑.DDD", english: false,
              proposed: "Отчёт_тахографа_vu.pdf" },
            { tag: "leading dot is no extension", tachograph: true, name: ".hidden", english: true,
              proposed: "Tachograph_report_.hidden.pdf" },
            { tag: "empty stem", tachograph: false, name: "%%.ddd", english: false,
              proposed: "Отчёт_карты_водителя_расшифрованный_файл.pdf" },
            { tag: "no name, English", tachograph: false, name: "", english: true,
              proposed: "Driver_card_report_decoded_file.pdf" }
        ];
    }

    function test_proposedFileName(data) {
        compare(DddArchiveText.proposedFileName(data.tachograph, data.name, data.english), data.proposed);
    }

    function test_exportTarget_data() {
        return [
            { tag: "chosen local file as its URL", file: "file:///home/u/%D0%BE%D1%82%20%D1%87%D1%91%D1%82.pdf",
              folder: "file:///tmp", target: "file:///home/u/%D0%BE%D1%82%20%D1%87%D1%91%D1%82.pdf" },
            { tag: "other URL: its name in the folder", file: "content://media/docs/%D0%B0%20b.pdf",
              folder: "file:///home/u/", target: "file:///home/u/%D0%B0%20b.pdf" },
            { tag: "no file: the proposed name", file: "", folder: "file:///home/u",
              target: "file:///home/u/%D0%9E%D1%82%D1%87%D1%91%D1%82_%D1%82%D0%B0%D1%85.pdf" },
            { tag: "nothing at all", file: "", folder: "", target: "" }
        ];
    }

    function test_exportTarget(data) {
        compare(DddArchiveText.exportTarget(data.file, data.folder, "Отчёт_тах.pdf"), data.target);
    }

    function test_sectionChoicesFollowTheFileType() {
        var vu = DddArchiveText.sectionChoices(true, false);
        var card = DddArchiveText.sectionChoices(false, true);
        compare(vu.length, 20);
        compare(card.length, 15);
        compare([vu[0].key, vu[2].key, vu[19].key], ["basicInfo", "tachoEvents", "analysis"]);
        compare([card[1].label, card[2].label, card[14].label], ["Statistics", "Events Data", "Analysis"]);
    }

    function test_chartsAreOfferedOnlyWithData() {
        compare(DddArchiveText.chartChoices({}, {}, false), []);
        var rows = { activityChanges: [{}], events: [{}], faults: [], placeDailyWorkPeriod: [{}] };
        var offered = DddArchiveText.chartChoices(rows, { workingHours: [{}] }, true);
        compare(offered.map(function (choice) { return choice.key; }), ["activity", "events", "places", "workingTime"]);
        compare(offered[0].label, "Activity chart");
    }

    function test_exportOptionsKeepTheChoiceOrder() {
        var sections = DddArchiveText.sectionChoices(false, false);
        var charts = DddArchiveText.chartChoices({ vehicles: [{}], activityChanges: [{}] }, {}, false);
        var chosen = DddArchiveText.withChoice(DddArchiveText.selection(sections, false), "analysis", true);
        chosen = DddArchiveText.withChoice(chosen, "basicInfo", true);
        var graphs = DddArchiveText.withChoice(DddArchiveText.selection(charts, false), "mileage", true);
        graphs = DddArchiveText.withChoice(graphs, "activity", true);
        compare(DddArchiveText.exportOptions(sections, chosen, charts, graphs),
                { sections: ["basicInfo", "analysis"], graphs: ["activity", "mileage"] });
        compare(DddArchiveText.exportOptions(sections, DddArchiveText.selection(sections, false), charts, {}), null);
        compare(DddArchiveText.exportOptions(sections, {}, charts, graphs), { sections: [], graphs: ["activity", "mileage"] });
    }

    function test_archiveTextsInEnglish() {
        var row = { reportDate: "2024-03-01 10:00:00", reportType: "Тахограф", description: "A123BC77" };
        compare(DddArchiveText.deleteQuestion(row, false),
                "Удалить сохранённый отчёт 2024-03-01 10:00:00 — A123BC77? Это действие нельзя отменить.");
        compare(DddArchiveText.deleteQuestion(row, true),
                "Delete saved report 2024-03-01 10:00:00 — A123BC77? This cannot be undone.");
        compare(DddArchiveText.duplicateNotice(7, true), "This file is already saved as report #7. No duplicate was created.");
        var texts = [
            ["Не удалось создать PDF отчёта: /tmp/a b/x.pdf", "Could not create the PDF report: /tmp/a b/x.pdf"],
            ["Не удалось создать каталог базы отчётов: /data/DB", "Could not create the report database folder: /data/DB"],
            ["Этот отчёт уже сохранён (№3)", "This report is already saved (#3)"],
            ["Отчёт сохранён в ReportsDB.db (№4)", "Report saved to ReportsDB.db (#4)"],
            ["Сохранённый отчёт №5 открыт", "Saved report #5 opened"],
            ["Отчёт сохранён: /tmp/x.pdf", "Report saved: /tmp/x.pdf"],
            ["PDF не создан: /tmp/x.pdf", "PDF not created: /tmp/x.pdf"],
            ["Не задан путь для сохранения отчёта", "No path given for saving the report"],
            ["Сохранённый отчёт удалён", "Saved report deleted"]
        ];
        for (var i = 0; i < texts.length; ++i)
            compare(DddPageText.translate(texts[i][0], true), texts[i][1]);
    }
}
