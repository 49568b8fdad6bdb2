import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The shared page container every page derives from: a header with the back command, the title and a
// trailing slot; a content column that scrolls when asked, under a column of items that never scroll away; an
// optional footer.
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
    // The height the content column fills when it does not scroll: the page's less its pinned items.
    readonly property real contentRoom: contentFlickable.height - contentColumn.y - contentMargin

    default property alias content: contentColumn.data
    // Items kept above the content, in sight however far it is scrolled: where a page gives its answers, so that
    // the answer to a command at the page's foot is never scrolled away.
    property alias pinnedContent: pinnedColumn.data

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
        anchors.top: pinnedColumn.shown ? pinnedColumn.bottom : parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        clip: true
        interactive: frame.contentScrollable && contentHeight > height
        contentWidth: width
        contentHeight: frame.contentScrollable ? contentColumn.y + contentColumn.implicitHeight + frame.contentMargin
                                               : height
        boundsBehavior: Flickable.StopAtBounds

        ScrollBar.vertical: ScrollBar {
            policy: contentFlickable.interactive ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff
        }

        ColumnLayout {
            id: contentColumn

            x: frame.contentMargin
            // Under pinned items the content follows them as it would within one column.
            y: pinnedColumn.shown ? frame.contentSpacing : frame.contentMargin
            width: contentFlickable.width - 2 * frame.contentMargin
            height: frame.contentScrollable ? implicitHeight : frame.contentRoom
            spacing: frame.contentSpacing
        }
    }

    // After the flickable, which stays the content item's first child.
    ColumnLayout {
        id: pinnedColumn

        // Whether any pinned item shows: a layout leaves hidden items out of its size.
        readonly property bool shown: implicitHeight > 0

        objectName: "pinnedColumn"
        x: frame.contentMargin
        y: frame.contentMargin
        width: parent.width - 2 * frame.contentMargin
        height: implicitHeight
        spacing: frame.contentSpacing
    }
}
