.pragma library

// Whether a control can be reached where it is shown: inside its window and its area, and not lying under
// anything drawn over it. The suites of every page share these checks.

// An item's or a popup's rectangle in the window.
function sceneRect(item) {
    if (typeof item.mapToItem !== "function")
        return item.parent.mapToItem(null, item.x, item.y, item.width, item.height);
    return item.mapToItem(null, 0, 0, item.width, item.height);
}

function within(inner, outer) {
    return inner.x >= outer.x - 0.5 && inner.y >= outer.y - 0.5
            && inner.x + inner.width <= outer.x + outer.width + 0.5
            && inner.y + inner.height <= outer.y + outer.height + 0.5;
}

// The innermost of the topmost visible items at the point, stacked as they are drawn (by z, then in order): the
// one a press there reaches first. A child may lie outside its parent (a window's menu bar above its content)
// unless the parent clips it. Null when no item lies there.
function topItemAt(item, x, y) {
    const inside = item.contains(Qt.point(x, y));
    if (!item.visible || (item.clip && !inside))
        return null;
    const children = [];
    for (let i = 0; i < item.children.length; ++i)
        children.push({ child: item.children[i], order: i });
    children.sort((a, b) => b.child.z - a.child.z || b.order - a.order);
    for (const entry of children) {
        const point = item.mapToItem(entry.child, x, y);
        const found = topItemAt(entry.child, point.x, point.y);
        if (found)
            return found;
    }
    return inside ? item : null;
}

// The window's root item, which covers the whole window.
function rootOf(item) {
    let root = item;
    while (root.parent)
        root = root.parent;
    return root;
}

// The nearest item around the control that clips it and cuts some of it off, or null: a control scrolled part
// way out of its view is not read whole.
function clipperOf(item) {
    const rect = sceneRect(item);
    for (let around = item.parent; around; around = around.parent) {
        if (around.clip && !within(rect, sceneRect(around)))
            return around;
    }
    return null;
}

// The nearest view around the item that scrolls its content (a Flickable, the inside of a ScrollView), or null.
function scrollingViewOf(item) {
    for (let view = item.parent; view; view = view.parent) {
        if (view.contentItem !== undefined && view.contentY !== undefined && view.flickableDirection !== undefined)
            return view;
    }
    return null;
}

// Scrolls the nearest view around the control, as far as it scrolls, so that the control comes to the middle of
// it: where a user scrolls to reach it. The view, or null when nothing around the control scrolls.
function scrollIntoSight(control) {
    const view = scrollingViewOf(control);
    if (view) {
        const middle = control.mapToItem(view.contentItem, 0, control.height / 2).y;
        view.contentY = Math.max(0, Math.min(middle - view.height / 2, view.contentHeight - view.height));
    }
    return view;
}

// Through the test case: the control is enabled and lies wholly in sight, inside the window, the area and above
// the other item given, and nothing lies over its middle.
function verifyUncovered(test, control, area, other) {
    const rect = sceneRect(control);
    const root = rootOf(control);
    test.verify(control.visible && control.enabled, control.objectName);
    test.verify(within(rect, sceneRect(area)) && within(rect, Qt.rect(0, 0, root.width, root.height)),
                control.objectName + " " + rect + " " + sceneRect(area));
    test.verify(!other || rect.y + rect.height <= sceneRect(other).y + 0.5, control.objectName);
    const middle = control.mapToItem(root, control.width / 2, control.height / 2);
    let found = topItemAt(root, middle.x, middle.y);
    while (found && found !== control)
        found = found.parent;
    test.verify(found === control, control.objectName + " is covered by " + topItemAt(root, middle.x, middle.y));
}
