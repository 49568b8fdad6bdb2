import QtQuick
import QtQuick.Controls

// The shared page container every page derives from.
Page {
    id: frame

    property string pageTitle: ""
    property var navigationStack: StackView.view

    signal backRequested()

    function popPage() {
        if (navigationStack && navigationStack.depth > 1) {
            navigationStack.pop();
            return true;
        }
        return false;
    }

    title: pageTitle
}
