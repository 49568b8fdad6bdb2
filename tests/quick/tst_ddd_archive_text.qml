import QtQuick
import QtTest
import Tessaron

// The archive and PDF export logic of the DDD page: each row one call and its answer.
TestCase {
    name: "DddArchiveText"

    function row(tag, call, args, answer) {
        return { tag: tag, call: call, args: args, answer: answer };
    }

    function test_answers_data() {
        var a = DddArchiveText;
        var card = DddPageText.fileKinds.driverCard;
        var tachograph = DddPageText.fileKinds.tachograph;
        var sections = a.sectionChoices(false, false);
        var charts = a.chartChoices({ vehicles: [{}], activityChanges: [{}] }, {}, false);
        var ticked = { analysis: true, basicInfo: true };
        return [
            row("card holder", a.displayValue, [{ fileKind: card, description: " IVANOV I " }], "IVANOV I"),
            row("card number", a.displayValue, [{ fileKind: card, description: "RUD00001" }], "????????"),
            row("question mark", a.displayValue, [{ fileKind: card, description: "?VAN" }], "????????"),
            row("registration", a.displayValue, [{ fileKind: tachograph, description: "A1", keyValue: "X" }], "A1"),
            row("VIN", a.displayValue, [{ fileKind: tachograph, description: " ", keyValue: " XTA1 " }], "XTA1"),
            row("tachograph without either", a.displayValue, [{ fileKind: tachograph }], "????????"),
            row("kind by number, not by its text", a.isTachographRow, [{ fileKind: card, reportType: "Тахограф" }],
                false),
            row("tachograph row", a.isTachographRow, [{ fileKind: tachograph, reportType: "" }], true),
            row("Cyrillic kept", a.proposedFileName, [false, "Иванов И.И. 2024#1.ddd", false],
                "Отчёт_карты_водителя_Иванов_И.И._2024_1.pdf"),
            row("ends trimmed", a.proposedFileName, [true, "(vu) ∑.DDD", false], "Отчёт_тахографа_vu.pdf"),
            row("leading dot", a.proposedFileName, [true, ".hidden", true], "Tachograph_report_.hidden.pdf"),
            row("empty stem", a.proposedFileName, [false, "%%.ddd", false],
                "Отчёт_карты_водителя_расшифрованный_файл.pdf"),
            row("local file as its URL", a.exportTarget, ["file:///h/%D0%BE%20a.pdf", "file:///tmp", "а #.pdf"],
                "file:///h/%D0%BE%20a.pdf"),
            row("other URL", a.exportTarget, ["content://d/%D0%B0%20b.pdf", "file:///h/", "а #.pdf"],
                "file:///h/%D0%B0%20b.pdf"),
            row("no file", a.exportTarget, ["", "file:///h", "а #.pdf"], "file:///h/%D0%B0%20%23.pdf"),
            row("nothing at all", a.exportTarget, ["", "", "а #.pdf"], ""),
            row("choice order", a.exportOptions, [sections, ticked, charts, { mileage: true, activity: true }],
                { sections: ["basicInfo", "analysis"], graphs: ["activity", "mileage"] }),
            row("nothing ticked", a.exportOptions, [sections, a.selection(sections, false), charts, {}], null),
            row("duplicate notice", a.duplicateNotice, [5, false],
                "Этот файл уже сохранён как отчёт №5. Повторная копия не создана."),
            row("renderer's text", DddPageText.translate, ["Не удалось создать PDF отчёта: /a b.pdf", true],
                "Could not create the PDF report: /a b.pdf"),
            row("catalogue's text", DddPageText.translate, ["Не удалось создать каталог базы отчётов: /d", true],
                "Could not create the report database folder: /d"),
            row("stored report held by another program", DddPageText.translate,
                ["Не удалось прочитать сохранённый отчёт: базу отчётов держит другая программа дольше 5 с", true],
                "Could not read the saved report: another program has held the report database for longer than 5 s"),
            row("stored report without the memory to read it", DddPageText.translate,
                ["Не удалось прочитать сохранённый отчёт: недостаточно памяти", true],
                "Could not read the saved report: not enough memory")
        ];
    }

    function test_answers(data) {
        compare(data.call.apply(null, data.args), data.answer);
    }
}
