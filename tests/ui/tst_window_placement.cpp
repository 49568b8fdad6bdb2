#include "support/window_manager_display.h"
#include "ui/window_placement.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QWindow>

#include <cstdlib>

using namespace Qt::StringLiterals;
using tessaron::test::WindowManagerDisplay;
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

// The window's part of the window manager test, in a process of its own on the test's display: a window of the main
// window's declared size and minimum, shown by showPlaced. Says its X11 id, then stays until the test ends it.
int showPlacedWindow()
{
    int argc = 1;
    char name[] = "placed_window";
    char *argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);
    QWindow window;
    window.resize(preferredSize);
    window.setMinimumSize(minimumSize);
    tessaron::ui::showPlaced(window);
    QTextStream(stdout) << u"0x"_s << QString::number(window.winId(), 16) << Qt::endl;
    return application.exec();
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

QString describe(const std::optional<WindowManagerDisplay::Window> &window)
{
    if (!window)
        return u"not seen"_s;
    const QMargins &frame = window->frame;
    return u"window %1, frame %2, %3, %4, %5, with its frame %6%7"_s.arg(rectText(window->client))
        .arg(frame.left())
        .arg(frame.right())
        .arg(frame.top())
        .arg(frame.bottom())
        .arg(rectText(window->withFrame()), window->maximised ? u", maximised"_s : QString());
}

} // namespace

// The main window's first size and place on screens from a small laptop's to a second monitor's.
class TestWindowPlacement : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        if (qEnvironmentVariableIntValue("TESSARON_TEST_PLACED_WINDOW") == 1)
            std::exit(showPlacedWindow());
    }

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

    void frameOnTheScreenUnderAWindowManager_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<double>("scale");
        QTest::addRow("1366x768 at 125 %%") << QSize(1366, 768) << 1.25;
        QTest::addRow("1920x1080 at 175 %%") << QSize(1920, 1080) << 1.75;
        QTest::addRow("1280x720") << QSize(1280, 720) << 1.0;
        QTest::addRow("1366x768 at 150 %%: an odd width") << QSize(1366, 768) << 1.5;
        QTest::addRow("1920x1080: preferred size, centred") << QSize(1920, 1080) << 1.0;
    }

    // The window shown as the main window is shown, under openbox on a private X display (QT_SCALE_FACTOR as the
    // system's scaling): once the frame is told, the window with its frame lies within the work area, where the
    // placement puts it; maximised, it fills the area and no more; moved by the technician, it stays where it was
    // put, through maximising and restoring.
    void frameOnTheScreenUnderAWindowManager()
    {
        QFETCH(QSize, screen);
        QFETCH(double, scale);
        TESSARON_REQUIRE_WINDOW_MANAGER();
        const WindowManagerDisplay display(screen);
        QVERIFY2(display.error().isEmpty(), qPrintable(display.error()));
        const QRect area = display.workArea();

        QProcess shown;
        QProcessEnvironment environment = display.environment();
        environment.insert(u"QT_SCALE_FACTOR"_s, QString::number(scale));
        environment.insert(u"TESSARON_TEST_PLACED_WINDOW"_s, u"1"_s);
        shown.setProcessEnvironment(environment);
        shown.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        shown.start(QCoreApplication::applicationFilePath());
        const auto endShown = qScopeGuard([&shown] {
            shown.terminate();
            shown.waitForFinished(5000);
        });
        QTRY_VERIFY_WITH_TIMEOUT(shown.canReadLine() || shown.state() == QProcess::NotRunning, 20000);
        const QString id = QString::fromLatin1(shown.readLine()).trimmed();
        QVERIFY2(!id.isEmpty(), "the window's process said nothing");

        std::optional<WindowManagerDisplay::Window> seen;
        const auto placedAt = [&] {
            const QRect room = roomWithinFrame(area, seen->frame, scale, QPoint());
            return toDevice(initialWindowGeometry(room, preferredSize, minimumSize), scale, QPoint());
        };
        QTRY_VERIFY2_WITH_TIMEOUT((seen = display.window(id)) && !seen->frame.isNull() && seen->client == placedAt(),
            qPrintable(describe(seen)), 10000);
        QVERIFY2(area.contains(seen->withFrame()), qPrintable(describe(seen)));

        // The technician moves it, partly off the screen.
        const QRect placed = seen->client;
        QVERIFY(
            display.wmctrl({u"-i"_s, u"-r"_s, id, u"-e"_s, u"0,%1,%2,-1,-1"_s.arg(area.x() + 40).arg(area.y() + 30)}));
        QTRY_VERIFY2_WITH_TIMEOUT((seen = display.window(id)) && seen->client.topLeft() != placed.topLeft(),
            qPrintable(describe(seen)), 10000);
        const QRect moved = seen->client;

        const QStringList maximise {u"-i"_s, u"-r"_s, id, u"-b"_s, u"add,maximized_vert,maximized_horz"_s};
        QVERIFY(display.wmctrl(maximise));
        QTRY_VERIFY2_WITH_TIMEOUT((seen = display.window(id)) && seen->maximised && seen->withFrame() == area,
            qPrintable(describe(seen)), 10000);

        QVERIFY(display.wmctrl({u"-i"_s, u"-r"_s, id, u"-b"_s, u"remove,maximized_vert,maximized_horz"_s}));
        QTRY_VERIFY2_WITH_TIMEOUT((seen = display.window(id)) && !seen->maximised && seen->client == moved,
            qPrintable(describe(seen)), 10000);
        QCOMPARE(seen->client.size(), placed.size());
    }
};

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_window_placement.moc"
