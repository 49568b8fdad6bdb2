#include "ui/window_placement.h"

#include <QTest>

using tessaron::ui::initialWindowGeometry;

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
        QTest::addRow("below the minimum: the minimum at the top left")
            << QRect(0, 0, 800, 600) << QRect(0, 0, 1024, 640);
        QTest::addRow("second screen to the right") << QRect(1920, 0, 1600, 900) << QRect(2080, 50, 1280, 800);
        QTest::addRow("no screen: preferred at the origin") << QRect() << QRect(0, 0, 1280, 800);
    }

    void firstGeometry()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, expected);
        QCOMPARE(initialWindowGeometry(available, QSize(1280, 800), QSize(1024, 640)), expected);
    }
};

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_window_placement.moc"
