import QtQuick
import QtTest
import Tessaron

// The archive and PDF export logic of the DDD page: stored-report rows, export options, the proposed file name
// and the save dialog's result.
TestCase {
    name: "DddArchiveText"

    function test_displayValue_data() {
        var card = "Карта водителя";
        return [
            { tag: "card holder", row: { reportType: card, description: " IVANOV IVAN " }, value: "IVANOV IVAN" },
            { tag: "card number as description", row: { reportType: card, description: "RUD00001" }, value: "????????" },
            { tag: "question mark", row: { reportType: card, description: "?VAN" }, value: "????????" },
            { tag: "card without description", row: { reportType: card, keyValue: "RUD1" }, value: "????????" },
            { tag: "registration", row: { reportType: "Тахограф", description: "A123BC77" }, value: "A123BC77" },
            { tag: "VIN without registration", row: { reportType: "Tachograph", description: " ", keyValue: " XTA1 " },
              value: "XTA1" },
            { tag: "tachograph without either", row: { reportType: "Тахограф" }, value: "????????" }
        ];
    }

    function test_displayValue(data) {
        compare(DddArchiveText.displayValue(data.row), data.value);
    }

    function test_proposedFileName_data() {
        return [
            { tag: "Cyrillic kept", tachograph: false, name: "Иванов И.И. 2024#1.ddd", english: false,
              proposed: "Отчёт_карты_водителя_Иванов_И.И._2024_1.pdf" },
            { tag: "ends trimmed", tachograph: true, name: "(vu) ∑.DDD", english: false, proposed: "Отчёт_тахографа_vu.pdf" },
            { tag: "leading dot", tachograph: true, name: ".hidden", english: true, proposed: "Tachograph_report_.hidden.pdf" },
            { tag: "empty stem", tachograph: false, name: "%%.ddd", english: false,
              proposed: "Отчёт_карты_водителя_расшифрованный_файл.pdf" }
        ];
    }

    function test_proposedFileName(data) {
        compare(DddArchiveText.proposedFileName(data.tachograph, data.name, data.english), data.proposed);
    }

    function test_exportTarget_data() {
        return [
            { tag: "local file as its URL", file: "file:///home/u/%D0%BE%20a.pdf", folder: "file:///tmp",
              target: "file:///home/u/%D0%BE%20a.pdf" },
            { tag: "other URL", file: "content://docs/%D0%B0%20b.pdf", folder: "file:///home/u/",
              target: "file:///home/u/%D0%B0%20b.pdf" },
            { tag: "no file", file: "", folder: "file:///home/u", target: "file:///home/u/%D0%B0%20%23.pdf" },
            { tag: "nothing at all", file: "", folder: "", target: "" }
        ];
    }

    function test_exportTarget(data) {
        compare(DddArchiveText.exportTarget(data.file, data.folder, "а #.pdf"), data.target);
    }

    function test_exportOptionsKeepTheChoiceOrder() {
        var sections = DddArchiveText.sectionChoices(false, false);
        var charts = DddArchiveText.chartChoices({ vehicles: [{}], activityChanges: [{}] }, {}, false);
        var none = DddArchiveText.selection(sections, false);
        compare(DddArchiveText.exportOptions(sections, { analysis: true, basicInfo: true }, charts,
                                             { mileage: true, activity: true }),
                { sections: ["basicInfo", "analysis"], graphs: ["activity", "mileage"] });
        compare(DddArchiveText.exportOptions(sections, none, charts, {}), null);
        compare(DddPageText.translate("Не удалось создать PDF отчёта: /a b.pdf", true), "Could not create the PDF report: /a b.pdf");
        compare(DddPageText.translate("Не удалось создать каталог базы отчётов: /d", true),
                "Could not create the report database folder: /d");
    }
}
