#include "window_placement.h"

#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QtMath>
#include <qpa/qplatformscreen.h>
#include <qpa/qplatformwindow.h>

namespace tessaron::ui {

namespace {

// How long after showing a window a frame the window manager adds may still come: it comes as the window is mapped,
// so this only bounds the wait where none ever comes (no window manager, or one that draws no frame).
constexpr int frameWaitMs = 5000;

// Where a span of that length, no longer than the available span, starts when centred in it.
int centredStart(int availableStart, int availableLength, int length)
{
    return availableStart + (availableLength - length) / 2;
}

// The first logical coordinate, counted from origin, that maps to native or beyond.
int logicalAtOrAfter(int native, int origin, qreal scale)
{
    return origin + qCeil((native - origin) / scale);
}

// The last logical coordinate, counted from origin, that a window's far edge may reach for its device pixels to end
// at native or before. Qt rounds the window's position and its size each, halves up: two roundings add at most a
// pixel to their sum, and only when both round up from exactly a half, which needs a sum of exactly native and a
// scale with a fraction (at 150 %, a window at 1 that is 909 wide spans 1.5 to 1365, yet is put at 2 and made 1364
// wide, ending at 1366).
int logicalAtOrBefore(int native, int origin, qreal scale)
{
    const int span = native - origin;
    int logical = qFloor(span / scale);
    if (logical * scale > span) // a quotient rounded up to a whole number
        --logical;
    if (logical * scale == span && scale != qFloor(scale))
        --logical;
    return origin + logical;
}

// The window's frame in the platform's pixels; null where the platform does not know it (yet). On X11, asked while
// the window manager is still taking the window in, the platform may measure the frame from a parent window not yet
// around it, and tell negative margins: those are not a frame either.
QMargins nativeFrame(const QWindow &window)
{
    const QPlatformWindow *platformWindow = window.handle();
    const QMargins frame = platformWindow ? platformWindow->frameMargins() : QMargins();
    const bool told = frame.left() >= 0 && frame.top() >= 0 && frame.right() >= 0 && frame.bottom() >= 0;
    return told ? frame : QMargins();
}

// Gives the window its minimum and geometry in the room its screen leaves it; a frame not known yet is put with its
// corner at the geometry's corner, so that its title bar lies on the screen.
void place(QWindow &window, const QSize &preferred, const QSize &minimum, bool frameKnown)
{
    const QRect room = windowRoom(window);
    window.setMinimumSize(minimumSizeWithin(room, minimum));
    const QRect geometry = initialWindowGeometry(room, preferred, minimum);
    if (frameKnown) {
        window.setGeometry(geometry);
        return;
    }
    window.resize(geometry.size());
    window.setFramePosition(geometry.topLeft());
}

// Places a shown window once more when its frame is first told, then goes; goes too once the wait is over.
class LateFramePlacement : public QObject
{
public:
    LateFramePlacement(QWindow &window, const QSize &preferred, const QSize &minimum)
        : QObject(&window)
        , m_window(window)
        , m_preferred(preferred)
        , m_minimum(minimum)
    {
        window.installEventFilter(this);
        QTimer::singleShot(frameWaitMs, this, [this] {
            placeOnceFramed();
            deleteLater();
        });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (watched == &m_window && (type == QEvent::Expose || type == QEvent::Move || type == QEvent::Resize)
            && placeOnceFramed())
            deleteLater();
        return false;
    }

private:
    bool placeOnceFramed()
    {
        // Before the window is exposed the window manager may still be taking it in, and a frame measured then
        // would be one half built.
        if (m_placed || !m_window.isExposed() || nativeFrame(m_window).isNull())
            return m_placed;
        if (m_window.windowStates() != Qt::WindowNoState) {
            // Maximised or full-screen from the start (a window manager's rule): its minimum fits the frame it has
            // now, and it is placed when first restored, where the geometry it returns to is the one given before
            // the frame was known.
            m_window.setMinimumSize(minimumSizeWithin(windowRoom(m_window), m_minimum));
            return false;
        }
        m_placed = true;
        place(m_window, m_preferred, m_minimum, true);
        return true;
    }

    QWindow &m_window;
    const QSize m_preferred;
    const QSize m_minimum;
    bool m_placed = false;
};

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

QRect roomWithinFrame(const QRect &nativeAvailable, const QMargins &nativeFrame, qreal scale, const QPoint &origin)
{
    const QRect inside = nativeAvailable.marginsRemoved(nativeFrame);
    if (inside.isEmpty() || scale <= 0)
        return QRect();
    const QPoint topLeft(
        logicalAtOrAfter(inside.left(), origin.x(), scale), logicalAtOrAfter(inside.top(), origin.y(), scale));
    const QPoint end(logicalAtOrBefore(inside.left() + inside.width(), origin.x(), scale),
        logicalAtOrBefore(inside.top() + inside.height(), origin.y(), scale));
    const QRect room(topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y()));
    return room.isEmpty() ? QRect() : room;
}

QRect windowRoom(const QWindow &window)
{
    const QScreen *screen = window.screen();
    const QPlatformScreen *platformScreen = screen ? screen->handle() : nullptr;
    if (!platformScreen)
        return QRect();
    return roomWithinFrame(platformScreen->availableGeometry(), nativeFrame(window),
        screen->devicePixelRatio() / platformScreen->devicePixelRatio(), platformScreen->geometry().topLeft());
}

void showPlaced(QWindow &window)
{
    // The declared size and minimum, before the placement bounds them by the screen.
    const QSize preferred = window.size();
    const QSize minimum = window.minimumSize();
    // The platform window first: where the platform knows its frame before the window is shown, it is left out of
    // the area at once.
    window.create();
    const bool frameKnown = !nativeFrame(window).isNull();
    place(window, preferred, minimum, frameKnown);
    window.show();
    if (!frameKnown)
        new LateFramePlacement(window, preferred, minimum); // a child of the window: goes with it at the latest
}

} // namespace tessaron::ui
