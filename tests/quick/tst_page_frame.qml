import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtTest
import Tessaron

TestCase {
    id: testCase

    name: "PageFrame"
    when: windowShown
    visible: true
    width: 600
    height: 400

    Component {
        id: frameComponent

        PageFrame {
            pageTitle: "Страница"
        }
    }

    Component {
        id: slotsComponent

        PageFrame {
            pageTitle: "С вложениями"
            contentScrollable: false
            headerTrailingComponent: Component {
                Button {
                    objectName: "trailingButton"
                    text: "Действие"
                }
            }
            footerComponent: Component {
                Label {
                    objectName: "footerLabel"
                    text: "Подвал"
                }
            }

            Rectangle {
                objectName: "contentBlock"
                Layout.fillWidth: true
                Layout.fillHeight: true
                color: "#dceaf7"
            }
        }
    }

    Component {
        id: tallComponent

        PageFrame {
            pageTitle: "Длинная"

            Repeater {
                model: 40

                delegate: Label {
                    text: "Строка " + index
                }
            }
        }
    }

    StackView {
        id: stack

        anchors.fill: parent
    }

    SignalSpy {
        id: backSpy

        signalName: "backRequested"
    }

    function cleanup() {
        stack.clear();
        backSpy.clear();
    }

    function test_popPageNeedsASecondPage() {
        stack.push(frameComponent);
        compare(stack.currentItem.popPage(), false, "the only page stays");
        compare(stack.depth, 1);

        stack.push(frameComponent);
        compare(stack.currentItem.popPage(), true);
        compare(stack.depth, 1);
    }

    function test_membersAndDefaults() {
        const frame = stack.push(frameComponent);
        compare(frame.pageTitle, "Страница");
        compare(frame.title, "Страница");
        compare(frame.app, app, "the application controller comes from the context");
        compare(frame.controller, null);
        compare(frame.showHeader, true);
        compare(frame.contentScrollable, true);
        compare(frame.footerComponent, null);
        compare(frame.headerTrailingComponent, null);
        compare(frame.navigationStack, stack);
        compare(frame.uiScale, 1.0);
        compare(frame.uiFontSize, 14);
        verify(frame.contentMargin > 0);
        verify(frame.contentSpacing > 0);
        compare(findChild(frame, "pageTitleLabel").text, "Страница");
    }

    function test_backCommandOnlyWithAPageBelow() {
        const first = stack.push(frameComponent);
        waitForRendering(first);
        const firstBack = findChild(first, "backButton");
        compare(firstBack.visible, false);

        const second = stack.push(frameComponent, {}, StackView.Immediate);
        backSpy.target = second;
        const back = findChild(second, "backButton");
        tryCompare(back, "visible", true);
        mouseClick(back);
        compare(backSpy.count, 1);
        compare(stack.depth, 2, "the page decides what back means");
    }

    function test_headerCanBeHidden() {
        const frame = stack.push(frameComponent, {showHeader: false}, StackView.Immediate);
        compare(frame.header.visible, false);
    }

    function test_slotsAreFilled() {
        const frame = stack.push(slotsComponent, {}, StackView.Immediate);
        waitForRendering(frame);
        verify(findChild(frame, "trailingButton"));
        compare(findChild(frame, "footerLabel").text, "Подвал");
        const block = findChild(frame, "contentBlock");
        verify(block.height > 0, "a fixed column fills the page's height");
        compare(block.width, frame.width - 2 * frame.contentMargin);
    }

    function test_longContentScrolls() {
        const frame = stack.push(tallComponent, {}, StackView.Immediate);
        waitForRendering(frame);
        const flickable = frame.contentItem.children[0];
        verify(flickable.contentHeight > flickable.height);
        verify(flickable.interactive);
    }
}
