#include "ui/window_placement.h"

#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::ui::initialWindowGeometry;
using tessaron::ui::minimumSizeWithin;
using tessaron::ui::roomWithinFrame;

namespace {

// The main window's declared size and minimum.
const QSize preferredSize(1280, 800);
const QSize minimumSize(1024, 640);

// A window's device pixels as Qt maps its logical geometry on a screen at origin: position and size each scaled
// and rounded.
QRect toDevice(const QRect &logical, qreal scale, const QPoint &origin)
{
    return QRect((logical.topLeft() - origin) * scale + origin, logical.size() * scale);
}

QString rectText(const QRect &rect)
{
    return u"%1x%2%3%4%5%6"_s.arg(rect.width())
        .arg(rect.height())
        .arg(rect.x() < 0 ? u""_s : u"+"_s)
        .arg(rect.x())
        .arg(rect.y() < 0 ? u""_s : u"+"_s)
        .arg(rect.y());
}

} // namespace

// The main window's first size and place on screens from a small laptop's to a second monitor's.
class TestWindowPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstGeometry_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("expected");
        QTest::addRow("large screen: preferred size, centred") << QRect(0, 0, 1920, 1040) << QRect(320, 120, 1280, 800);
        QTest::addRow("1024x640 screen: its whole area") << QRect(0, 0, 1024, 640) << QRect(0, 0, 1024, 640);
        QTest::addRow("task bar above: lower than preferred") << QRect(0, 40, 1366, 728) << QRect(43, 40, 1280, 728);
        QTest::addRow("smaller than the minimum: its whole area") << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600);
        QTest::addRow("1366x768 at 125 %%, task bar below: its whole area")
            << QRect(0, 0, 1093, 576) << QRect(0, 0, 1093, 576);
        QTest::addRow("1366x768 at 125 %%, right of a screen, task bar above")
            << QRect(1920, 38, 1093, 576) << QRect(1920, 38, 1093, 576);
        QTest::addRow("1920x1080 at 175 %%: its whole area") << QRect(0, 0, 1097, 617) << QRect(0, 0, 1097, 617);
        QTest::addRow("1920x1080 at 175 %%, task bar below: its whole area")
            << QRect(0, 0, 1097, 590) << QRect(0, 0, 1097, 590);
        QTest::addRow("1920x1080 at 150 %%: wide enough, lower than preferred")
            << QRect(0, 0, 1280, 688) << QRect(0, 0, 1280, 688);
        QTest::addRow("second screen to the right") << QRect(1920, 0, 1600, 900) << QRect(2080, 50, 1280, 800);
        QTest::addRow("no screen: preferred at the origin") << QRect() << QRect(0, 0, 1280, 800);
    }

    void firstGeometry()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, expected);
        const QRect geometry = initialWindowGeometry(available, QSize(1280, 800), QSize(1024, 640));
        QCOMPARE(geometry, expected);
        if (!available.isEmpty())
            QVERIFY(available.contains(geometry));
    }

    void minimumOnTheScreen_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("expected");
        QTest::addRow("large screen: the window's own") << QRect(0, 0, 1920, 1040) << QSize(1024, 640);
        QTest::addRow("exactly the minimum") << QRect(0, 0, 1024, 640) << QSize(1024, 640);
        QTest::addRow("1366x768 at 125 %%: lower") << QRect(1920, 38, 1093, 576) << QSize(1024, 576);
        QTest::addRow("1920x1080 at 175 %%: lower") << QRect(0, 0, 1097, 617) << QSize(1024, 617);
        QTest::addRow("narrow and low: the whole area") << QRect(0, 0, 800, 600) << QSize(800, 600);
        QTest::addRow("no screen: the window's own") << QRect() << QSize(1024, 640);
    }

    void minimumOnTheScreen()
    {
        QFETCH(QRect, available);
        QFETCH(QSize, expected);
        QCOMPARE(minimumSizeWithin(available, QSize(1024, 640)), expected);
    }

    void roomBesideTheFrame_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPoint>("origin");
        QTest::addColumn<QRect>("expected");
        const QMargins openbox(1, 20, 1, 5);
        QTest::addRow("1920x1080, no frame: the whole screen")
            << QRect(0, 0, 1920, 1080) << QMargins() << 1.0 << QPoint() << QRect(0, 0, 1920, 1080);
        QTest::addRow("1280x720, openbox's frame")
            << QRect(0, 0, 1280, 720) << openbox << 1.0 << QPoint() << QRect(1, 20, 1278, 695);
        QTest::addRow("1366x768 at 125 %%, openbox's frame")
            << QRect(0, 0, 1366, 768) << openbox << 1.25 << QPoint() << QRect(1, 16, 1090, 594);
        QTest::addRow("1920x1080 at 175 %%, openbox's frame")
            << QRect(0, 0, 1920, 1080) << openbox << 1.75 << QPoint() << QRect(1, 12, 1095, 602);
        QTest::addRow("1366x768 at 150 %%, no frame: 910 wide, not 911")
            << QRect(0, 0, 1366, 768) << QMargins() << 1.5 << QPoint() << QRect(0, 0, 910, 511);
        QTest::addRow("1024x768 at 150 %%, no frame: 682 wide, not 683")
            << QRect(0, 0, 1024, 768) << QMargins() << 1.5 << QPoint() << QRect(0, 0, 682, 511);
        QTest::addRow("1366x768 at 125 %%, task bar above")
            << QRect(0, 40, 1366, 728) << QMargins() << 1.25 << QPoint() << QRect(0, 32, 1092, 582);
        QTest::addRow("1366x768 at 150 %% right of a screen, openbox's frame")
            << QRect(1920, 0, 1366, 768) << openbox << 1.5 << QPoint(1920, 0) << QRect(1921, 14, 908, 494);
        QTest::addRow("a frame wider than the screen: none")
            << QRect(0, 0, 100, 100) << QMargins(60, 0, 60, 0) << 1.0 << QPoint() << QRect();
        QTest::addRow("no screen: none") << QRect() << QMargins() << 1.0 << QPoint() << QRect();
    }

    // The room left beside the frame, in logical pixels. A window anywhere in it, mapped to device pixels as Qt maps
    // it, with its frame around it, lies within the area: the main window placed in it, and windows of the widest
    // sizes (where two roundings can reach a pixel past the area) at every position the room leaves them.
    void roomBesideTheFrame()
    {
        QFETCH(QRect, available);
        QFETCH(QMargins, frame);
        QFETCH(double, scale);
        QFETCH(QPoint, origin);
        QFETCH(QRect, expected);
        const QRect room = roomWithinFrame(available, frame, scale, origin);
        QCOMPARE(room, expected);
        if (room.isEmpty())
            return;
        QList<QRect> windows {initialWindowGeometry(room, preferredSize, minimumSize)};
        for (int less = 0; less < 4; ++less) {
            for (int offset = 0; offset <= less; ++offset) {
                windows.append(QRect(room.x() + offset, room.y(), room.width() - less, room.height()));
                windows.append(QRect(room.x(), room.y() + offset, room.width(), room.height() - less));
            }
        }
        for (const QRect &window : std::as_const(windows)) {
            const QRect device = toDevice(window, scale, origin).marginsAdded(frame);
            QVERIFY2(available.contains(device),
                qPrintable(u"window "_s + rectText(window) + u", with its frame "_s + rectText(device)));
        }
    }
};

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_window_placement.moc"
