#pragma once

#include <QMargins>
#include <QPoint>
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

// The area, in the program's logical pixels, within which a window without its frame lies anywhere so that the
// window with its frame lies within a screen's available area. The area and the frame are in the platform's own
// pixels, the logical ones times scale counted from the screen's origin, as Qt maps a window's geometry (rounding
// each of its position and size). Each side is rounded inwards: at a fractional scale the window gives up a logical
// pixel or so rather than reach a device pixel past the area (911 logical pixels at 150 % are 1367 device pixels, one
// more than a 1366 screen has). An empty available area or a frame that leaves no room gives an empty area.
QRect roomWithinFrame(const QRect &nativeAvailable, const QMargins &nativeFrame, qreal scale, const QPoint &origin);

// The room a window has on its screen: roomWithinFrame of the screen's available area and the window's frame as far
// as the platform knows it, read in the platform's own pixels. Empty without a screen.
QRect windowRoom(const QWindow &window);

// Gives a window not yet shown its first geometry on its screen and shows it: its declared size is the preferred
// one, its declared minimum is bounded by the room its screen's available area leaves beside the frame
// (roomWithinFrame), so a maximised window fits too. Where the platform tells the frame only once the window is
// shown (X11, where the window manager adds it), the frame's corner is first put at the area's corner, and the
// window is placed once more when the frame is told, within a few seconds of showing; nothing later (the
// technician moving, resizing or maximising the window) is undone.
void showPlaced(QWindow &window);

} // namespace tessaron::ui
