#pragma once

#include <QRect>
#include <QSize>

class QWindow;

namespace tessaron::ui {

// The smallest size a window may take on a screen whose available area is that: its own minimum, but never more
// than the area, so that a scaled laptop screen (1366×768 at 125 % leaves about 1093×576) still shows the whole
// window and its pages scroll. An empty available area (no screen) leaves the minimum as it is.
QSize minimumSizeWithin(const QRect &available, const QSize &minimum);

// The first geometry of a window that asks for the preferred size: that size where the screen's available area
// holds it, else the available size, never below the window's minimum within that area (minimumSizeWithin), so
// never larger than the area; centred in it. An empty available area (no screen) gives the preferred size, at
// least the minimum, at the origin.
QRect initialWindowGeometry(const QRect &available, const QSize &preferred, const QSize &minimum);

// Gives a window not yet shown its first geometry on its screen and shows it: its declared size is the preferred
// one, its declared minimum is bounded by the screen's available area, and its frame, where the platform tells it
// before the window is shown, is left out of that area, so that the whole window, frame included, lies on it.
void showPlaced(QWindow &window);

} // namespace tessaron::ui
