#include "ui/window_placement.h"

#include <QTest>

using tessaron::ui::initialWindowGeometry;
using tessaron::ui::minimumSizeWithin;

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
};

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_window_placement.moc"
