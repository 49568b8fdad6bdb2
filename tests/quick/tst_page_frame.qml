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
        stack.clear(StackView.Immediate);
        backSpy.clear();
    }

    // The back command shows only over a page below, and the page decides what back means.
    function test_backAndPop() {
        const first = stack.push(frameComponent, {}, StackView.Immediate);
        compare(first.app, app, "the application controller comes from the context");
        compare([first.title, findChild(first, "pageTitleLabel").text], ["Страница", "Страница"]);
        compare(findChild(first, "backButton").visible, false);
        compare(first.popPage(), false, "the only page stays");

        const second = stack.push(frameComponent, {}, StackView.Immediate);
        backSpy.target = second;
        const back = findChild(second, "backButton");
        tryCompare(back, "visible", true);
        mouseClick(back);
        compare(backSpy.count, 1);
        compare(stack.depth, 2);
        compare(second.popPage(), true);
        compare(stack.depth, 1);
        compare(stack.push(frameComponent, { showHeader: false }, StackView.Immediate).header.visible, false);
    }

    function test_slotsAreFilled() {
        const frame = stack.push(slotsComponent, {}, StackView.Immediate);
        waitForRendering(frame);
        verify(findChild(frame, "trailingButton"));
        compare(findChild(frame, "footerLabel").text, "Подвал");
        const block = findChild(frame, "contentBlock");
        verify(block.height > 0, "a fixed column fills the page's height");
        compare(block.width, frame.width - 2 * frame.contentMargin);

        const tall = stack.push(tallComponent, {}, StackView.Immediate);
        waitForRendering(tall);
        const flickable = tall.contentItem.children[0];
        verify(flickable.contentHeight > flickable.height && flickable.interactive, "long content scrolls");
    }
}
