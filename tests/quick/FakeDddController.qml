import QtQml

// Stands in for app.ddd in the page's fast suites: the properties the page reads, one coarse stateChanged
// signal, and a record of the calls the page makes.
QtObject {
    id: fake

    property bool busy: false
    property string fileName: ""
    property string filePath: ""
    property string fileType: ""
    property int fileKind: 0
    property int fileSize: 0
    property string statusText: "Выберите файл .ddd"
    property string lastError: ""
    property bool statusWarning: false
    property var summary: ({})
    property var analysis: ({})
    property var savedReports: []

    // Only the lists the suites publish: the page reads a missing one as empty.
    property var sections: []
    property var tachoChildSections: []
    property var cardIcc: []
    property var faults: []
    property var vuIdentification: []
    property var applicationIdentification: []
    property var activityChanges: []
    property var activityDaily: []
    property var detailedSpeed: []

    property var calls: []

    signal stateChanged()
    signal duplicateReportDetected(var existingReportId)

    // Sets the given properties and announces them as the real controller does, with one stateChanged.
    function publish(values) {
        for (var key in values)
            fake[key] = values[key];
        stateChanged();
    }

    function chooseAndOpenFile() {
        calls.push("chooseAndOpenFile");
        return false;
    }

    function openFile(path) {
        calls.push("openFile " + path);
        return true;
    }

    function clear() {
        calls.push("clear");
    }

    function saveReport() {
        calls.push("saveReport");
        return false;
    }

    function exportReportPdf(path, options) {
        calls.push("exportReportPdf " + path + " " + JSON.stringify(options));
        return true;
    }

    function refreshSavedReports() {
        calls.push("refreshSavedReports");
    }

    function openSavedReport(reportId, tachograph) {
        calls.push("openSavedReport " + reportId + " " + tachograph);
        return true;
    }

    function deleteSavedReport(reportId, tachograph) {
        calls.push("deleteSavedReport " + reportId + " " + tachograph);
        return true;
    }
}
