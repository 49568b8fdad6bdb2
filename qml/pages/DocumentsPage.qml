import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessaron

// The documents: the calibrated tachographs (app.documents), the certificate values of the selected one, and
// issuing, previewing and printing its certificate or sticker. Masters and customers come from app.settings.
PageFrame {
    id: page

    property QtObject settings: app ? app.settings : null
    property string masterError: ""
    property string customerError: ""
    property bool settlingParties: false
    // The phone form (phoneForm): one column, and the search in two further fields of its own that refresh only
    // on Enter, "Найти" and "Очистить", never while typing.
    readonly property bool narrow: phoneForm || width < 760
    readonly property var selected: controller ? controller.selected : ({})
    readonly property var formValues: controller ? controller.formValues : ({})
    readonly property var fieldErrors: controller ? controller.fieldErrors : ({})
    readonly property bool hasSelection: controller !== null && controller.hasSelection
    readonly property var masters: settings ? settings.masters : []
    readonly property var customers: settings ? settings.customers : []
    readonly property alias currentTab: tabs.currentIndex
    // The list's column widths: dates, registration numbers and the order header whole (in bold, as a selected row
    // and the header show them), the rest shared.
    readonly property var columnWidths: DocumentsLogic.columnWidths(listHeader.width,
        DocumentsLogic.listColumns.map(function (column) {
            return column.sample ? Math.ceil(listMetrics.advanceWidth(column.sample)) + 2 * cellPadding + 2 : 0;
        }))
    readonly property int cellPadding: Math.round(6 * uiScale)

    function refreshNow() {
        searchTimer.stop();
        controller.refresh(registrationField.text, customerField.text);
    }

    // The search fields show what the list was made with: an issue or a delete lists everything again.
    function showFilters() {
        if (!controller)
            return;
        var registration = DocumentsLogic.text(controller.registrationFilter);
        var customer = DocumentsLogic.text(controller.customerFilter);
        if (registrationField.text !== registration) {
            registrationField.text = registration;
            phoneRegistrationField.text = registration;
        }
        if (customerField.text !== customer) {
            customerField.text = customer;
            phoneCustomerField.text = customer;
        }
    }

    function clearSearch() {
        registrationField.clear();
        customerField.clear();
        phoneRegistrationField.clear();
        phoneCustomerField.clear();
        searchTimer.stop();
        controller.refresh();
    }

    function openForm() {
        if (hasSelection)
            tabs.currentIndex = 1;
    }

    // Fills in the first master and the directory's customer; the edits it makes come back here through
    // selectedChanged and find nothing further to change.
    function ensureDefaultParties() {
        if (settlingParties)
            return;
        settlingParties = true;
        DocumentsLogic.applyDefaultParties(controller, masters, customers);
        settlingParties = false;
    }

    function openMasterDialog() {
        masterDialog.open();
    }

    function openCustomerDialog() {
        customerDialog.open();
    }

    function issue(sticker) {
        if (sticker ? controller.createSticker() : controller.createCertificate())
            previewDialog.open();
    }

    function addMaster(name) {
        var trimmed = name.trim();
        masterError = "";
        if (trimmed === "")
            masterError = "Введите ФИО мастера.";
        else if (settings.addMaster(trimmed))
            controller.updateSelectedValue("OrderMaster", trimmed);
        else
            masterError = settings.lastError !== "" ? settings.lastError : "Не удалось добавить мастера.";
        if (masterError !== "")
            masterMessage.open();
    }

    function addCustomer(name, address, phone) {
        var trimmed = name.trim();
        customerError = "";
        if (trimmed === "") {
            customerError = "Введите наименование клиента.";
        } else if (settings.addCustomer(trimmed, address.trim(), phone.trim())) {
            controller.updateSelectedValue("CustomerName", trimmed);
            controller.updateSelectedValue("CustomerAddress", address.trim());
            controller.updateSelectedValue("CustomerPhone", phone.trim());
        } else {
            customerError = settings.lastError !== "" ? settings.lastError : "Не удалось добавить клиента.";
        }
        if (customerError !== "")
            customerMessage.open();
    }

    objectName: "documentsPage"
    pageTitle: "Документы"
    controller: app ? app.documents : null
    contentScrollable: false
    onBackRequested: popPage()
    onHasSelectionChanged: {
        if (!hasSelection)
            tabs.currentIndex = 0;
    }
    Component.onCompleted: {
        if (!controller)
            return;
        controller.refresh();
        Qt.callLater(ensureDefaultParties);
    }

    Connections {
        target: page.controller

        function onSelectedChanged() {
            page.ensureDefaultParties();
        }

        function onRecordsChanged() {
            page.showFilters();
        }
    }

    FontMetrics {
        id: listMetrics

        font.family: page.font.family
        font.pixelSize: page.font.pixelSize
        font.bold: true
    }

    Connections {
        target: page.settings

        function onMastersChanged() {
            page.ensureDefaultParties();
        }

        function onCustomersChanged() {
            page.ensureDefaultParties();
        }
    }

    Timer {
        id: searchTimer

        objectName: "searchTimer"
        interval: 200
        onTriggered: page.controller.refresh(registrationField.text, customerField.text)
    }

    footerComponent: Component {
        Pane {
            padding: Math.round(8 * page.uiScale)

            ColumnLayout {
                anchors.fill: parent
                spacing: Math.round(6 * page.uiScale)

                // Two rows on a narrow screen, so that "Выход" stays in reach.
                GridLayout {
                    objectName: "listButtons"
                    visible: tabs.currentIndex === 0
                    columns: page.narrow ? 3 : 6
                    columnSpacing: Math.round(8 * page.uiScale)
                    rowSpacing: Math.round(6 * page.uiScale)

                    Button {
                        objectName: "openButton"
                        text: "Открыть"
                        enabled: page.hasSelection
                        onClicked: page.openForm()
                    }

                    Button {
                        objectName: "certificatesFolderButton"
                        text: "Сертификаты"
                        onClicked: page.controller.openDataFolder("Сертификаты")
                    }

                    Button {
                        objectName: "stickersFolderButton"
                        text: "Наклейки"
                        onClicked: page.controller.openDataFolder("Наклейки")
                    }

                    Button {
                        objectName: "deleteButton"
                        text: "Удалить"
                        enabled: page.hasSelection
                        onClicked: deleteConfirmation.open()
                    }

                    Item {
                        Layout.fillWidth: true
                        visible: !page.narrow
                    }

                    Button {
                        objectName: "listExitButton"
                        text: "Выход"
                        onClicked: page.backRequested()
                    }
                }

                GridLayout {
                    objectName: "formButtons"
                    visible: tabs.currentIndex === 1
                    columns: page.narrow ? 3 : 6
                    columnSpacing: Math.round(8 * page.uiScale)
                    rowSpacing: Math.round(6 * page.uiScale)

                    Button {
                        objectName: "certificateButton"
                        text: "Сертификат"
                        onClicked: page.issue(false)
                    }

                    Button {
                        objectName: "stickerButton"
                        text: "Наклейка"
                        onClicked: page.issue(true)
                    }

                    Button {
                        objectName: "clearButton"
                        text: "Очистить"
                        onClicked: {
                            page.controller.clearSelection();
                            tabs.currentIndex = 0;
                        }
                    }

                    Item {
                        Layout.fillWidth: true
                        visible: !page.narrow
                    }

                    Button {
                        objectName: "formExitButton"
                        text: "Выход"
                        onClicked: page.backRequested()
                    }
                }

                Label {
                    objectName: "statusLine"
                    Layout.fillWidth: true
                    readonly property bool failed: page.controller !== null && page.controller.lastError !== ""
                    text: page.controller ? (failed ? page.controller.lastError : page.controller.statusText) : ""
                    color: failed ? "#b00020" : "#606060"
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                }
            }
        }
    }

    TabBar {
        id: tabs

        objectName: "documentTabs"
        Layout.fillWidth: true

        TabButton {
            text: page.narrow ? "Тахографы" : "Перечень настроенных тахографов"
        }

        TabButton {
            objectName: "formTabButton"
            text: "Отчетная документация"
            enabled: page.hasSelection
        }
    }

    StackLayout {
        Layout.fillWidth: true
        Layout.fillHeight: true
        currentIndex: tabs.currentIndex

        ColumnLayout {
            spacing: page.contentSpacing

            GridLayout {
                objectName: "desktopSearch"
                Layout.fillWidth: true
                visible: !page.phoneForm
                columns: page.narrow ? 2 : 6
                columnSpacing: Math.round(8 * page.uiScale)

                Label {
                    text: "Поиск по гос.\nномеру:"
                    textFormat: Text.PlainText
                }

                TextField {
                    id: registrationField

                    objectName: "registrationSearchField"
                    Layout.fillWidth: true
                    maximumLength: 13
                    onTextEdited: {
                        phoneRegistrationField.text = text;
                        searchTimer.restart();
                    }
                    onAccepted: page.refreshNow()
                }

                Label {
                    text: "Поиск по клиенту:"
                    textFormat: Text.PlainText
                }

                TextField {
                    id: customerField

                    objectName: "customerSearchField"
                    Layout.fillWidth: true
                    maximumLength: 300
                    onTextEdited: {
                        phoneCustomerField.text = text;
                        searchTimer.restart();
                    }
                    onAccepted: page.refreshNow()
                }

                Button {
                    objectName: "searchButton"
                    text: "Поиск"
                    onClicked: page.refreshNow()
                }

                Button {
                    objectName: "clearSearchButton"
                    text: "Очистить"
                    onClicked: page.clearSearch()
                }
            }

            // The phone's search: the same two filters, mirrored into the fields above, so that the list is
            // refreshed with whichever was typed last.
            GridLayout {
                objectName: "phoneSearch"
                Layout.fillWidth: true
                visible: page.phoneForm
                columns: 2
                columnSpacing: Math.round(8 * page.uiScale)

                TextField {
                    id: phoneRegistrationField

                    objectName: "phoneRegistrationSearchField"
                    Layout.fillWidth: true
                    Layout.columnSpan: 2
                    maximumLength: 13
                    placeholderText: "Поиск по гос. номеру"
                    onTextEdited: registrationField.text = text
                    onAccepted: page.refreshNow()
                }

                TextField {
                    id: phoneCustomerField

                    objectName: "phoneCustomerSearchField"
                    Layout.fillWidth: true
                    Layout.columnSpan: 2
                    maximumLength: 300
                    placeholderText: "Поиск по клиенту"
                    onTextEdited: customerField.text = text
                    onAccepted: page.refreshNow()
                }

                Button {
                    objectName: "phoneSearchButton"
                    Layout.fillWidth: true
                    text: "Найти"
                    onClicked: page.refreshNow()
                }

                Button {
                    objectName: "phoneClearSearchButton"
                    Layout.fillWidth: true
                    text: "Очистить"
                    onClicked: page.clearSearch()
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                border.color: "#cccccc"
                color: "#ffffff"

                ColumnLayout {
                    anchors.fill: parent
                    anchors.margins: 1
                    spacing: 0

                    Row {
                        id: listHeader

                        Layout.fillWidth: true
                        visible: !page.phoneForm

                        Repeater {
                            model: DocumentsLogic.listColumns

                            delegate: Rectangle {
                                required property var modelData
                                required property int index

                                width: page.columnWidths[index] || 0
                                height: Math.round(48 * page.uiScale)
                                color: "#eef2f6"
                                border.color: "#d5dbe1"

                                Label {
                                    anchors.fill: parent
                                    anchors.margins: Math.round(4 * page.uiScale)
                                    text: page.narrow ? parent.modelData.narrowTitle : parent.modelData.title
                                    textFormat: Text.PlainText
                                    font.bold: true
                                    horizontalAlignment: Text.AlignHCenter
                                    verticalAlignment: Text.AlignVCenter
                                    elide: Text.ElideRight
                                }
                            }
                        }
                    }

                    // The phone's header: what the two lines of each record hold.
                    Rectangle {
                        objectName: "phoneListHeader"
                        Layout.fillWidth: true
                        visible: page.phoneForm
                        implicitHeight: phoneHeaderLines.implicitHeight + 2 * Math.round(6 * page.uiScale)
                        color: "#eef2f6"
                        border.color: "#d5dbe1"

                        Column {
                            id: phoneHeaderLines

                            anchors.fill: parent
                            anchors.margins: Math.round(6 * page.uiScale)
                            anchors.leftMargin: page.cellPadding
                            anchors.rightMargin: page.cellPadding

                            Repeater {
                                model: [["№ заказа", "Дата настройки"], ["Клиент", "Гос. номер"]]

                                delegate: Item {
                                    required property var modelData

                                    width: phoneHeaderLines.width
                                    implicitHeight: headerLeft.implicitHeight

                                    ElidedLabel {
                                        id: headerLeft

                                        objectName: "phoneHeader_" + parent.modelData[0]
                                        anchors.left: parent.left
                                        anchors.right: headerRight.left
                                        anchors.rightMargin: page.cellPadding
                                        text: parent.modelData[0]
                                        font.bold: true
                                    }

                                    ElidedLabel {
                                        id: headerRight

                                        anchors.right: parent.right
                                        width: Math.min(implicitWidth, parent.width / 2)
                                        text: parent.modelData[1]
                                        font.bold: true
                                        horizontalAlignment: Text.AlignRight
                                    }
                                }
                            }
                        }
                    }

                    ListView {
                        id: recordList

                        objectName: "recordList"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        clip: true
                        model: page.controller ? page.controller.records : []
                        boundsBehavior: Flickable.StopAtBounds
                        ScrollBar.vertical: ScrollBar {}

                        Label {
                            objectName: "emptyListLabel"
                            // Over the view itself, not its scrolled content, which is empty.
                            parent: recordList
                            anchors.fill: parent
                            anchors.margins: Math.round(16 * page.uiScale)
                            visible: recordList.count === 0 && text !== ""
                            text: page.controller ? page.controller.emptyListText : ""
                            textFormat: Text.PlainText
                            wrapMode: Text.Wrap
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                            color: "#606060"
                        }

                        delegate: Rectangle {
                            id: recordRow

                            required property var modelData
                            required property int index

                            readonly property bool isSelected: page.hasSelection && modelData.id === page.selected.Id

                            width: recordList.width
                            height: page.phoneForm ? phoneLines.implicitHeight + 2 * Math.round(6 * page.uiScale)
                                                   : Math.round(34 * page.uiScale)
                            color: isSelected ? "#cfe3f7" : (index % 2 === 0 ? "#ffffff" : "#f4f6f8")

                            Row {
                                anchors.fill: parent
                                visible: !page.phoneForm

                                Repeater {
                                    model: page.phoneForm ? [] : DocumentsLogic.listColumns

                                    delegate: ElidedLabel {
                                        required property var modelData
                                        required property int index

                                        objectName: "cell_" + modelData.key
                                        width: page.columnWidths[index] || 0
                                        height: recordRow.height
                                        leftPadding: page.cellPadding
                                        rightPadding: page.cellPadding
                                        text: DocumentsLogic.text(recordRow.modelData[modelData.key])
                                        verticalAlignment: Text.AlignVCenter
                                        font.bold: recordRow.isSelected
                                    }
                                }
                            }

                            // On the phone a record takes two lines: order number and date, customer and
                            // registration number; the right-hand values whole, the left-hand ones cut if need be.
                            Column {
                                id: phoneLines

                                anchors.left: parent.left
                                anchors.right: parent.right
                                anchors.verticalCenter: parent.verticalCenter
                                anchors.leftMargin: page.cellPadding
                                anchors.rightMargin: page.cellPadding
                                visible: page.phoneForm
                                spacing: 2

                                Repeater {
                                    model: page.phoneForm ? DocumentsLogic.phoneLines(recordRow.modelData) : []

                                    delegate: Item {
                                        required property var modelData
                                        required property int index

                                        width: phoneLines.width
                                        implicitHeight: Math.max(lineLeft.implicitHeight, lineRight.implicitHeight)

                                        ElidedLabel {
                                            id: lineLeft

                                            objectName: "phoneCell_" + parent.index + "_0"
                                            anchors.left: parent.left
                                            anchors.right: lineRight.left
                                            anchors.rightMargin: page.cellPadding
                                            text: parent.modelData[0]
                                            font.bold: recordRow.isSelected || parent.index === 0
                                        }

                                        ElidedLabel {
                                            id: lineRight

                                            objectName: "phoneCell_" + parent.index + "_1"
                                            anchors.right: parent.right
                                            width: Math.min(implicitWidth, parent.width * 0.6)
                                            text: parent.modelData[1]
                                            horizontalAlignment: Text.AlignRight
                                            font.bold: recordRow.isSelected
                                        }
                                    }
                                }
                            }

                            MouseArea {
                                anchors.fill: parent
                                onClicked: page.controller.select(recordRow.modelData.id)
                                onDoubleClicked: {
                                    page.controller.select(recordRow.modelData.id);
                                    page.openForm();
                                }
                            }
                        }
                    }
                }
            }
        }

        ScrollView {
            id: formScroll

            objectName: "formView"
            clip: true
            contentWidth: availableWidth
            // Beside the form, not over the right-hand fields: on a low window the form always scrolls.
            rightPadding: ScrollBar.vertical.visible ? ScrollBar.vertical.width + Math.round(4 * page.uiScale) : 0
            ScrollBar.vertical.policy: contentHeight > height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff

            GridLayout {
                width: formScroll.availableWidth
                columns: page.narrow ? 1 : 2
                columnSpacing: page.contentSpacing
                rowSpacing: page.contentSpacing

                Repeater {
                    model: DocumentsLogic.formGroups

                    delegate: GroupBox {
                        id: group

                        required property var modelData

                        Layout.fillWidth: true
                        Layout.preferredWidth: 1
                        Layout.alignment: Qt.AlignTop
                        title: modelData.title

                        GridLayout {
                            anchors.left: parent.left
                            anchors.right: parent.right
                            columns: 2
                            columnSpacing: Math.round(8 * page.uiScale)

                            Repeater {
                                model: group.modelData.fields

                                delegate: DocumentField {
                                    form: page
                                }
                            }
                        }
                    }
                }
            }
        }
    }

    MessageBox {
        id: deleteConfirmation

        objectName: "deleteConfirmation"
        title: "Удаление записи"
        message: DocumentsLogic.deleteQuestion(page.selected)
        acceptText: "Удалить"
        rejectText: "Отмена"
        uiScale: page.uiScale
        onAccepted: page.controller.removeSelected()
    }

    Dialog {
        id: masterDialog

        objectName: "masterDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        font.pixelSize: page.uiFontSize
        title: "Добавить мастера"
        standardButtons: Dialog.Ok | Dialog.Cancel
        width: Math.min(480 * page.uiScale, parent ? parent.width : 480)

        ColumnLayout {
            anchors.left: parent.left
            anchors.right: parent.right

            Label {
                text: "ФИО мастера:"
            }

            TextField {
                id: masterNameField

                objectName: "masterNameField"
                Layout.fillWidth: true
                maximumLength: 200
            }
        }

        onAccepted: {
            page.addMaster(masterNameField.text);
            masterNameField.clear();
        }
        onRejected: masterNameField.clear()
    }

    Dialog {
        id: customerDialog

        objectName: "customerDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        font.pixelSize: page.uiFontSize
        title: "Добавить клиента"
        standardButtons: Dialog.Ok | Dialog.Cancel
        width: Math.min(520 * page.uiScale, parent ? parent.width : 520)

        function clearFields() {
            customerNameField.clear();
            customerAddressField.clear();
            customerPhoneField.clear();
        }

        GridLayout {
            anchors.left: parent.left
            anchors.right: parent.right
            columns: 2

            Label {
                text: "Наименование клиента:"
            }

            TextField {
                id: customerNameField

                objectName: "customerNameField"
                Layout.fillWidth: true
                maximumLength: 200
            }

            Label {
                text: "Адрес:"
            }

            TextField {
                id: customerAddressField

                objectName: "customerAddressField"
                Layout.fillWidth: true
                maximumLength: 300
            }

            Label {
                text: "Телефон:"
            }

            TextField {
                id: customerPhoneField

                objectName: "customerPhoneField"
                Layout.fillWidth: true
                maximumLength: 32
            }
        }

        onAccepted: {
            page.addCustomer(customerNameField.text, customerAddressField.text, customerPhoneField.text);
            clearFields();
        }
        onRejected: clearFields()
    }

    Dialog {
        id: masterMessage

        objectName: "masterMessage"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        font.pixelSize: page.uiFontSize
        title: "Мастер"
        standardButtons: Dialog.Ok
        width: Math.min(420 * page.uiScale, parent ? parent.width : 420)

        Label {
            width: parent.width
            text: page.masterError
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
        }
    }

    Dialog {
        id: customerMessage

        objectName: "customerMessage"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        font.pixelSize: page.uiFontSize
        title: "Клиент"
        standardButtons: Dialog.Ok
        width: Math.min(420 * page.uiScale, parent ? parent.width : 420)

        Label {
            width: parent.width
            text: page.customerError
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
        }
    }

    DocumentPreviewDialog {
        id: previewDialog

        objectName: "previewDialog"
        controller: page.controller
        settings: page.settings
        font.pixelSize: page.uiFontSize
    }
}
