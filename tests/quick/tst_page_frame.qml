import QtQuick
import QtQuick.Controls
import QtTest
import Tessaron

TestCase {
    id: testCase

    name: "PageFrame"
    when: windowShown
    width: 400
    height: 300

    Component {
        id: frameComponent

        PageFrame {
            pageTitle: "Страница"
        }
    }

    StackView {
        id: stack

        anchors.fill: parent
    }

    function cleanup() {
        stack.clear();
    }

    function test_popPageNeedsASecondPage() {
        stack.push(frameComponent);
        compare(stack.currentItem.popPage(), false, "the only page stays");
        compare(stack.depth, 1);

        stack.push(frameComponent);
        compare(stack.currentItem.popPage(), true);
        compare(stack.depth, 1);
    }
}
