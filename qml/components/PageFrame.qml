import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The shared page container every page derives from: a header with the back command, the title and a
// trailing slot; a content column that scrolls when asked; an optional footer.
Page {
    id: frame

    property string pageTitle: ""
    // The application controller; set only where a test gives a page another one.
    property QtObject app: AppContext.controller
    // The page's own controller (the DDD page sets app.ddd).
    property QtObject controller: null
    // The page's language where it offers English: the shell's own texts (back, the menu) follow it.
    property bool english: false
    property bool showHeader: true
    // Whether a page takes its phone form, where it has one; a test sets it.
    property bool phoneForm: Qt.platform.os === "android" || Qt.platform.os === "ios"
    property real contentMargin: Math.round(16 * uiScale)
    property real contentSpacing: Math.round(10 * uiScale)
    property bool contentScrollable: true
    property Component footerComponent: null
    property Component headerTrailingComponent: null
    property var navigationStack: StackView.view

    readonly property real uiScale: app && app.settings && app.settings.uiScale > 0 ? app.settings.uiScale : 1.0
    readonly property int uiFontSize: Math.round(14 * uiScale)

    default property alias content: contentColumn.data

    signal backRequested()

    // Pops the top page when the stack holds another one below it.
    function popPage() {
        if (navigationStack && navigationStack.depth > 1) {
            navigationStack.pop();
            return true;
        }
        return false;
    }

    title: pageTitle
    font.pixelSize: uiFontSize

    header: ToolBar {
        visible: frame.showHeader

        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: frame.contentMargin / 2
            anchors.rightMargin: frame.contentMargin / 2
            spacing: frame.contentSpacing

            ToolButton {
                objectName: "backButton"
                text: frame.english ? "‹ Back" : "‹ Назад"
                font.pixelSize: frame.uiFontSize
                visible: frame.navigationStack !== null && frame.navigationStack !== undefined
                         && frame.navigationStack.depth > 1
                onClicked: frame.backRequested()
            }

            Label {
                objectName: "pageTitleLabel"
                Layout.fillWidth: true
                text: frame.pageTitle
                textFormat: Text.PlainText
                elide: Text.ElideRight
                font.pixelSize: Math.round(frame.uiFontSize * 1.3)
                font.bold: true
                verticalAlignment: Text.AlignVCenter
            }

            Loader {
                objectName: "headerTrailingLoader"
                sourceComponent: frame.headerTrailingComponent
                active: frame.headerTrailingComponent !== null
            }
        }
    }

    footer: Loader {
        objectName: "footerLoader"
        sourceComponent: frame.footerComponent
        active: frame.footerComponent !== null
    }

    Flickable {
        id: contentFlickable

        objectName: "contentFlickable"
        anchors.fill: parent
        clip: true
        interactive: frame.contentScrollable && contentHeight > height
        contentWidth: width
        contentHeight: frame.contentScrollable ? contentColumn.implicitHeight + 2 * frame.contentMargin : height
        boundsBehavior: Flickable.StopAtBounds

        ScrollBar.vertical: ScrollBar {
            policy: contentFlickable.interactive ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff
        }

        ColumnLayout {
            id: contentColumn

            x: frame.contentMargin
            y: frame.contentMargin
            width: contentFlickable.width - 2 * frame.contentMargin
            height: frame.contentScrollable ? implicitHeight : contentFlickable.height - 2 * frame.contentMargin
            spacing: frame.contentSpacing
        }
    }
}
