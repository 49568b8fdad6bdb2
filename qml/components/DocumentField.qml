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

    function hand(value) {
        if (controller)
            controller.updateSelectedValue(key, value);
    }

    objectName: "field_" + key
    Layout.columnSpan: 2
    Layout.fillWidth: true
    implicitHeight: column.implicitHeight

    ColumnLayout {
        id: column

        anchors.left: parent.left
        anchors.right: parent.right
        spacing: 2

        RowLayout {
            id: row

            Layout.fillWidth: true
            spacing: Math.round(8 * field.uiScale)

            Label {
                id: fieldLabel

                Layout.preferredWidth: Math.round(200 * field.uiScale)
                text: field.modelData.label
                textFormat: Text.PlainText
                elide: Text.ElideRight
            }

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

            ComboBox {
                objectName: "choice_" + field.key
                Layout.fillWidth: true
                visible: field.kind === "master" || field.kind === "customer" || field.kind === "yesNo"
                model: field.kind === "master" ? (field.form ? field.form.masters : [])
                     : field.kind === "customer" ? (field.form ? field.form.customers : [])
                     : field.kind === "yesNo" ? ["Нет", "Да"] : []
                textRole: field.kind === "master" ? "fullName" : field.kind === "customer" ? "name" : ""
                currentIndex: field.kind === "master" ? DocumentsLogic.masterIndex(model, field.shown)
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
            Layout.fillWidth: true
            // Under the editor, whatever the label's width.
            Layout.leftMargin: fieldLabel.Layout.preferredWidth + row.spacing
            visible: field.problem !== ""
            text: field.problem
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: "#b00020"
        }
    }
}
