#include "window_placement.h"

#include <QMargins>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace tessaron::ui {

namespace {

// Where a span of that length starts in the available span: centred, or at its start when it does not fit.
int centredStart(int availableStart, int availableLength, int length)
{
    return availableStart + std::max(0, (availableLength - length) / 2);
}

} // namespace

QRect initialWindowGeometry(const QRect &available, const QSize &preferred, const QSize &minimum)
{
    if (available.isEmpty())
        return QRect(QPoint(0, 0), preferred.expandedTo(minimum));
    const QSize size = preferred.boundedTo(available.size()).expandedTo(minimum);
    return QRect(centredStart(available.x(), available.width(), size.width()),
        centredStart(available.y(), available.height(), size.height()), size.width(), size.height());
}

void showPlaced(QWindow &window)
{
    const QScreen *screen = window.screen();
    const QMargins frame = window.frameMargins();
    const QRect available = screen ? screen->availableGeometry().marginsRemoved(frame) : QRect();
    const QRect geometry = initialWindowGeometry(available, window.size(), window.minimumSize());
    window.resize(geometry.size());
    // The frame's corner, where the platform draws one: the window's content starts inside it.
    window.setFramePosition(geometry.topLeft());
    window.show();
}

} // namespace tessaron::ui
