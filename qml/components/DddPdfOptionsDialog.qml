import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

// What goes into the PDF report: one box per section of the file type and one per chart the report has data
// for. begin() starts from every section and no chart; "Продолжить" hands the ticked keys on, in the listed
// order, as the export options, and refuses an empty choice itself.
Dialog {
    id: dialog

    property var sectionChoices: []
    property var chartChoices: []
    property bool english: false
    property real uiScale: 1.0

    property var sectionSelection: ({})
    property var chartSelection: ({})
    property string validation: ""

    signal optionsChosen(var options)

    function t(ru, en) {
        return english ? en : ru;
    }

    function select(sections, charts) {
        sectionSelection = DddArchiveText.selection(sectionChoices, sections);
        chartSelection = DddArchiveText.selection(chartChoices, charts);
        validation = "";
    }

    function begin() {
        select(true, false);
        open();
    }

    function proceed() {
        var options = DddArchiveText.exportOptions(sectionChoices, sectionSelection, chartChoices, chartSelection);
        if (options === null) {
            validation = t("Выберите хотя бы один раздел или график", "Select at least one section or chart");
            return;
        }
        close();
        optionsChosen(options);
    }

    objectName: "pdfOptionsDialog"
    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    title: t("Состав PDF-отчёта", "PDF report contents")
    font.pixelSize: Math.round(14 * uiScale)
    width: Math.min(620 * uiScale, parent ? parent.width : 620)
    height: Math.min(implicitHeight, 700 * uiScale, parent ? parent.height : 700)

    // The boxes of one list, two to a row, in a positioner: a list whose model changes (the language, the file
    // type) never adds or removes items of a Quick Layout.
    component ChoiceList: Grid {
        id: choiceList

        property alias model: choiceRepeater.model
        property var selected: ({})
        property string kind: ""

        signal choiceToggled(string key, bool checked)

        width: parent ? parent.width : 0
        columns: 2
        columnSpacing: Math.round(12 * dialog.uiScale)

        Repeater {
            id: choiceRepeater

            delegate: CheckBox {
                required property var modelData

                objectName: choiceList.kind + "_" + modelData.key
                width: (choiceList.width - choiceList.columnSpacing) / 2
                text: modelData.label
                checked: choiceList.selected[modelData.key] === true
                onToggled: choiceList.choiceToggled(modelData.key, checked)
            }
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: Math.round(6 * dialog.uiScale)

        ScrollView {
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth

            Column {
                width: parent.width

                Label {
                    text: dialog.t("Разделы данных (по умолчанию выбраны все)", "Data sections (all selected by default)")
                    textFormat: Text.PlainText
                    font.bold: true
                }

                ChoiceList {
                    kind: "pdfSection"
                    model: dialog.sectionChoices
                    selected: dialog.sectionSelection
                    onChoiceToggled: function (key, checked) {
                        dialog.sectionSelection = DddArchiveText.withChoice(dialog.sectionSelection, key, checked);
                        dialog.validation = "";
                    }
                }

                Label {
                    topPadding: Math.round(10 * dialog.uiScale)
                    text: dialog.t("Графики (не выбраны по умолчанию)", "Charts (not selected by default)")
                    textFormat: Text.PlainText
                    font.bold: true
                }

                ChoiceList {
                    kind: "pdfChart"
                    model: dialog.chartChoices
                    selected: dialog.chartSelection
                    onChoiceToggled: function (key, checked) {
                        dialog.chartSelection = DddArchiveText.withChoice(dialog.chartSelection, key, checked);
                        dialog.validation = "";
                    }
                }
            }
        }

        Label {
            objectName: "pdfValidation"
            Layout.fillWidth: true
            visible: dialog.validation.length > 0
            text: dialog.validation
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: "#b00020"
        }
    }

    // The commands in their own order: the two selection shortcuts, then cancel and continue.
    footer: Item {
        implicitHeight: commands.implicitHeight + 2 * dialog.padding

        RowLayout {
            id: commands

            anchors.right: parent.right
            anchors.rightMargin: dialog.padding
            anchors.verticalCenter: parent.verticalCenter
            spacing: Math.round(8 * dialog.uiScale)

            Button {
                objectName: "pdfSelectAll"
                text: dialog.t("Все разделы", "Select all")
                onClicked: dialog.select(true, false)
            }

            Button {
                objectName: "pdfClearSelection"
                text: dialog.t("Снять выбор", "Clear selection")
                onClicked: dialog.select(false, false)
            }

            Button {
                objectName: "pdfCancel"
                text: dialog.t("Отмена", "Cancel")
                onClicked: dialog.reject()
            }

            Button {
                objectName: "pdfContinue"
                text: dialog.t("Продолжить", "Continue")
                highlighted: true
                onClicked: dialog.proceed()
            }
        }
    }
}
