#include "window_placement.h"

#include <QMargins>
#include <QScreen>
#include <QWindow>

namespace tessaron::ui {

namespace {

// Where a span of that length, no longer than the available span, starts when centred in it.
int centredStart(int availableStart, int availableLength, int length)
{
    return availableStart + (availableLength - length) / 2;
}

} // namespace

QSize minimumSizeWithin(const QRect &available, const QSize &minimum)
{
    return available.isEmpty() ? minimum : minimum.boundedTo(available.size());
}

QRect initialWindowGeometry(const QRect &available, const QSize &preferred, const QSize &minimum)
{
    if (available.isEmpty())
        return QRect(QPoint(0, 0), preferred.expandedTo(minimum));
    const QSize size = preferred.boundedTo(available.size()).expandedTo(minimumSizeWithin(available, minimum));
    return QRect(centredStart(available.x(), available.width(), size.width()),
        centredStart(available.y(), available.height(), size.height()), size.width(), size.height());
}

void showPlaced(QWindow &window)
{
    // The platform window first: where the platform knows its frame before the window is shown, the frame is then
    // told and left out of the available area; where it does not (a frame the window manager adds later), the
    // frame's corner lies at the area's corner, so the title bar stays on the screen.
    window.create();
    const QScreen *screen = window.screen();
    const QMargins frame = window.frameMargins();
    const QRect available = screen ? screen->availableGeometry().marginsRemoved(frame) : QRect();
    const QRect geometry = initialWindowGeometry(available, window.size(), window.minimumSize());
    window.setMinimumSize(minimumSizeWithin(available, window.minimumSize()));
    window.resize(geometry.size());
    window.setFramePosition(geometry.topLeft() - QPoint(frame.left(), frame.top()));
    window.show();
}

} // namespace tessaron::ui
