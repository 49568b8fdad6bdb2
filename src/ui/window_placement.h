#pragma once

#include <QRect>
#include <QSize>

class QWindow;

namespace tessaron::ui {

// The first geometry of a window that asks for the preferred size: that size where the screen's available area
// holds it, else the available size, but never below the window's minimum; centred in the available area, or at
// its top left where the window is larger, so its title bar stays on the screen. An empty available area (no
// screen) gives the preferred size at the origin.
QRect initialWindowGeometry(const QRect &available, const QSize &preferred, const QSize &minimum);

// Gives a window not yet shown its first geometry on its screen and shows it: its declared size is the preferred
// one, the place is its frame's corner, and a frame the platform already told is left out of the available area.
void showPlaced(QWindow &window);

} // namespace tessaron::ui
