import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

// One row of the documents form: its label, the editor its kind asks for and, below, why the controller cannot
// print the value. Every value is read as the controller's form shows it and handed back through
// updateSelectedValue; a text only when it was changed, so that tabbing through a field stores nothing and an
// empty field keeps its printed default.
Item {
    id: field

    required property var modelData
    property var form: null

    readonly property var controller: form ? form.controller : null
    readonly property string key: modelData.key
    readonly property string kind: modelData.kind
    readonly property string shown: DocumentsLogic.text(form ? form.formValues[key] : undefined)
    readonly property string problem: DocumentsLogic.text(form ? form.fieldErrors[key] : undefined)
    readonly property real uiScale: form ? form.uiScale : 1
    // On the phone the label stands above its editor, so that the editor, and the choice in it, get the whole
    // width; elsewhere it stands beside it.
    readonly property bool stacked: form !== null && form.phoneForm === true

    function hand(value) {
        if (controller)
            controller.updateSelectedValue(key, value);
    }

    objectName: "field_" + key
    Layout.columnSpan: 2
    Layout.fillWidth: true
    implicitHeight: grid.implicitHeight

    GridLayout {
        id: grid

        anchors.left: parent.left
        anchors.right: parent.right
        columns: field.stacked ? 1 : 2
        columnSpacing: Math.round(8 * field.uiScale)
        rowSpacing: 2

        Label {
            id: fieldLabel

            objectName: "label_" + field.key
            Layout.row: 0
            Layout.column: 0
            Layout.preferredWidth: field.stacked ? -1 : Math.round(200 * field.uiScale)
            Layout.fillWidth: field.stacked
            text: field.modelData.label
            textFormat: Text.PlainText
            elide: Text.ElideRight
        }

        RowLayout {
            id: row

            Layout.row: field.stacked ? 1 : 0
            Layout.column: field.stacked ? 0 : 1
            Layout.fillWidth: true
            spacing: Math.round(8 * field.uiScale)

            TextField {
                objectName: "editor_" + field.key
                Layout.fillWidth: true
                visible: field.kind === "text" || field.kind === "readOnly"
                readOnly: field.kind === "readOnly"
                text: field.shown
                maximumLength: field.modelData.max > 0 ? field.modelData.max : 32767
                placeholderText: field.modelData.placeholder || ""
                ToolTip.visible: hovered && ToolTip.text !== ""
                ToolTip.text: field.modelData.tip || ""
                ToolTip.delay: 500
                onEditingFinished: {
                    if (!readOnly && text !== field.shown)
                        field.hand(text);
                }
            }

            ChoiceBox {
                objectName: "choice_" + field.key
                Layout.fillWidth: true
                visible: field.kind === "master" || field.kind === "customer" || field.kind === "yesNo"
                model: field.kind === "master" ? (field.form ? field.form.masters : [])
                     : field.kind === "customer" ? (field.form ? field.form.customers : [])
                     : field.kind === "yesNo" ? ["Нет", "Да"] : []
                textRole: field.kind === "master" ? "fullName" : field.kind === "customer" ? "name" : ""
                selectedIndex: field.kind === "master" ? DocumentsLogic.masterIndex(model, field.shown)
                             : field.kind === "customer" ? DocumentsLogic.customerIndex(model, field.shown)
                             : (field.shown === "Да" ? 1 : 0)
                displayText: currentIndex < 0 ? field.shown : currentText
                onActivated: function (index) { field.hand(textAt(index)); }
            }

            Button {
                objectName: "add_" + field.key
                visible: field.kind === "master" || field.kind === "customer"
                text: "Добавить"
                onClicked: field.kind === "master" ? field.form.openMasterDialog() : field.form.openCustomerDialog()
            }
        }

        Label {
            objectName: "problem_" + field.key
            Layout.row: field.stacked ? 2 : 1
            Layout.column: field.stacked ? 0 : 1
            Layout.fillWidth: true
            // Under the editor, whatever the label's width.
            visible: field.problem !== ""
            text: field.problem
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: "#b00020"
        }
    }
}
