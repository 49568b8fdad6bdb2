// The DDD page's charts: tessaron_chart_bench FILE...
// Opens each vehicle-unit download on the DDD page (real QML offscreen, the real controller), shows the charts (the
// activity chart first, until its day lanes are drawn, and 1.5 s beyond), has the lanes made again while they are
// shown, chooses the speed chart, then each other chart in turn. A 16 ms
// timer runs on the GUI thread meanwhile; its longest gap is the longest the window could not answer. Measured from
// choosing the chart until the chart holds every sample of the file, and 300 ms beyond for its drawing; once per file,
// as a chart chosen again draws from its cache. Large files: the synthetic month joined N times, written by
// tessaron_bench --copies N --write-synthetic-month PATH.

#include "bench_timing.h"
#include "qml/qml_ddd_controller.h"
#include "qml/qml_engine_setup.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlPropertyMap>
#include <QQuickItem>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

Q_IMPORT_QML_PLUGIN(TessaronPlugin)

using namespace Qt::StringLiterals;

namespace {

using namespace tessaron;

// Spins the event loop until done() or the time is up; false when the time ran out.
bool spinUntil(const std::function<bool()> &done, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QGuiApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void spinFor(int milliseconds)
{
    spinUntil([] { return false; }, milliseconds);
}

// The longest interval between two timeouts of a 16 ms timer on this thread while it runs.
class GapRecorder
{
public:
    GapRecorder()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(16);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, double(m_clock.nsecsElapsed()) / 1e6);
            m_clock.restart();
        });
        m_clock.start();
        m_timer.start();
    }
    double longest() const { return std::max(m_longest, double(m_clock.nsecsElapsed()) / 1e6); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_longest = 0.0;
};

const QByteArray pageScene = R"(
import QtQuick
import QtQuick.Controls
import Tessaron

ApplicationWindow {
    property alias page: dddPage
    width: 1280
    height: 800
    visible: true

    DddPage {
        id: dddPage
        anchors.fill: parent
    }
}
)";

qint64 declaredSamples(const ddd::DddReport &report)
{
    qint64 samples = 0;
    for (const QVariant &row : report.detailedSpeed)
        samples += row.toMap().value(u"validSpeedCount"_s).toLongLong();
    return samples;
}

int benchFile(const QString &path)
{
    qml::QmlDddController controller;
    QQmlPropertyMap app;
    app.insert(u"ddd"_s, QVariant::fromValue(static_cast<QObject *>(&controller)));
    QQmlEngine engine;
    qml::configureEngine(engine);
    engine.rootContext()->setContextProperty(u"app"_s, &app);
    QQmlComponent component(&engine);
    component.setData(pageScene, QUrl(u"qrc:/bench/SpeedChart.qml"_s));
    std::unique_ptr<QObject> window(component.isReady() ? component.create() : nullptr);
    if (!window) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        return 1;
    }
    auto *page = window->property("page").value<QQuickItem *>();
    auto *chart = page->findChild<QQuickItem *>(u"chart"_s);

    QElapsedTimer decoding;
    decoding.start();
    if (!controller.openFile(path) || !spinUntil([&] { return !controller.isBusy(); }, 600000)
        || controller.report().detailedSpeed.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(controller.lastError()));
        return 1;
    }
    const double decoded = double(decoding.elapsed());
    const qint64 samples = declaredSamples(controller.report());
    spinFor(1500);

    double sectionGap = 0.0;
    double lanesDrawn = 0.0;
    {
        const GapRecorder gaps;
        QElapsedTimer shown;
        shown.start();
        const int charts = page->property("datasets").toList().size() + 1;
        QMetaObject::invokeMethod(page, "selectSection", Q_ARG(QVariant, charts));
        if (!spinUntil(
                [&] { return !chart->property("seriesPending").toBool() && chart->property("laneCount").toInt() > 0; },
                600000)) {
            std::fprintf(stderr, "%s: the activity chart never drew its lanes\n", qPrintable(path));
            return 1;
        }
        lanesDrawn = double(shown.nsecsElapsed()) / 1e6;
        spinFor(1500);
        sectionGap = gaps.longest();
    }
    const int lanes = chart->property("laneCount").toInt();

    // The lanes are made as soon as the rows come, so the section above found them made: here they are made
    // again while the chart is shown, as when another file's rows come.
    double remadeGap = 0.0;
    double remade = 0.0;
    {
        QObject *activity = chart->property("activitySeries").value<QObject *>();
        const QVariantList rows = activity->property("rows").toList();
        const GapRecorder gaps;
        QElapsedTimer given;
        given.start();
        activity->setProperty("rows", QVariantList());
        activity->setProperty("rows", rows);
        if (!spinUntil(
                [&] { return !chart->property("seriesPending").toBool() && chart->property("laneCount") == lanes; },
                600000)) {
            std::fprintf(stderr, "%s: the activity chart never drew its lanes again\n", qPrintable(path));
            return 1;
        }
        remade = double(given.nsecsElapsed()) / 1e6;
        spinFor(300);
        remadeGap = gaps.longest();
    }

    const GapRecorder gaps;
    QElapsedTimer chosen;
    chosen.start();
    page->setProperty("selectedChartMetric", 1);
    const bool held = spinUntil(
        [&] {
            return !chart->property("speedSeriesPending").toBool()
                && chart->property("speedSampleCount").toLongLong() == samples;
        },
        600000);
    const double ready = double(chosen.nsecsElapsed()) / 1e6;
    spinFor(300);
    const double longestGap = gaps.longest();
    if (!held) {
        std::fprintf(
            stderr, "%s: the chart never held its %lld samples\n", qPrintable(path), static_cast<long long>(samples));
        return 1;
    }
    // The other charts, each chosen in turn; their series are still made in JavaScript from their own lists.
    double otherGap = 0.0;
    int otherChart = 0;
    for (int metric = 2; metric <= 8; ++metric) {
        const GapRecorder otherGaps;
        page->setProperty("selectedChartMetric", metric);
        spinFor(300);
        if (otherGaps.longest() > otherGap) {
            otherGap = otherGaps.longest();
            otherChart = metric;
        }
    }
    std::printf("speed chart %-28s %9lld bytes  %9lld samples  decoded in %8.0f ms\n",
        qPrintable(QFileInfo(path).fileName()), static_cast<long long>(QFileInfo(path).size()),
        static_cast<long long>(samples), decoded);
    std::printf("  charts section shown: longest gap of a 16 ms timer %8.1f ms; %d day lanes held after %8.1f ms\n",
        sectionGap, lanes, lanesDrawn);
    std::printf("  day lanes made again: longest gap of a 16 ms timer %8.1f ms; every lane held after %8.1f ms\n",
        remadeGap, remade);
    std::printf("  speed chart chosen:   longest gap of a 16 ms timer %8.1f ms; every sample held after %8.1f ms\n",
        longestGap, ready);
    std::printf("  other charts chosen:  longest gap of a 16 ms timer %8.1f ms (chart %d)\n", otherGap, otherChart);
    std::printf("  peak resident memory of the process so far %ld KB\n", bench::peakResidentKilobytes());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList files = application.arguments().mid(1);
    if (files.isEmpty() || files.constFirst().startsWith(u"--"_s)) {
        std::fprintf(stderr, "usage: tessaron_chart_bench FILE...\n");
        return 2;
    }
    for (const QString &path : files) {
        if (const int result = benchFile(path))
            return result;
    }
    return 0;
}
