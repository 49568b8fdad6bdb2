import QtQuick
import QtQuick.Dialogs
import Tessaron

// The PDF export of the shown report: the choice of contents, then the save dialog, then the controller's
// export with that file. The controller's status and error texts tell the result. It draws nothing itself.
Item {
    id: exporter

    property QtObject controller: null
    property bool isTachograph: false
    // The shown file's name, the stem of the proposed file name.
    property string sourceName: ""
    // The controller's dataset rows by name and its analysis: which charts have data.
    property var rows: ({})
    property var analysis: ({})
    property bool english: false
    property real uiScale: 1.0
    property var currentPdfExportOptions: ({ sections: ["all"], graphs: [] })
    // Opens the save dialog; tests put a function (proposed name) in its place that calls finish() itself.
    property var saveDialogOpener: null

    readonly property string proposedFileName: DddArchiveText.proposedFileName(isTachograph, sourceName, english)
    readonly property alias optionsDialog: optionsDialog

    visible: false

    function begin() {
        optionsDialog.begin();
    }

    // The save dialog's result: the chosen file's URL, the folder it showed.
    function finish(fileUrl, folderUrl) {
        if (controller)
            controller.exportReportPdf(DddArchiveText.exportTarget(fileUrl, folderUrl, proposedFileName),
                                       currentPdfExportOptions);
    }

    DddPdfOptionsDialog {
        id: optionsDialog

        sectionChoices: DddArchiveText.sectionChoices(exporter.isTachograph, exporter.english)
        chartChoices: DddArchiveText.chartChoices(exporter.rows, exporter.analysis, exporter.english)
        english: exporter.english
        uiScale: exporter.uiScale
        onOptionsChosen: function (options) {
            exporter.currentPdfExportOptions = options;
            if (exporter.saveDialogOpener) {
                exporter.saveDialogOpener(exporter.proposedFileName);
                return;
            }
            if (exporter.controller)
                saveDialog.currentFolder = exporter.controller.dialogStartFolder();
            saveDialog.selectedFile = saveDialog.currentFolder + "/" + encodeURIComponent(exporter.proposedFileName);
            saveDialog.open();
        }
    }

    FileDialog {
        id: saveDialog

        objectName: "pdfSaveDialog"
        title: exporter.english ? "Save decoded report" : "Сохранить отчёт расшифровки"
        fileMode: FileDialog.SaveFile
        acceptLabel: exporter.english ? "Save" : "Сохранить"
        nameFilters: ["PDF (*.pdf)", exporter.english ? "All files (*)" : "Все файлы (*)"]
        defaultSuffix: "pdf"
        onAccepted: exporter.finish(selectedFile, currentFolder)
    }
}
