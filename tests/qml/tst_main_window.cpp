#include "ddd_file_builder.h"
#include "qml/qml_app_controller.h"
#include "qml/qml_ddd_controller.h"
#include "qml/qml_documents_controller.h"
#include "qml/qml_engine_setup.h"
#include "qml/qml_settings_controller.h"
#include "qml/qml_worker_series.h"
#include "storage/app_paths.h"
#include "storage/calibration_repository.h"
#include "storage/settings_keys.h"
#include "storage/settings_repository.h"
#include "support/free_witness.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "ui/theme_manager.h"
#include "ui/translation_loader.h"
#include "ui/window_placement.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QScreen>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <atomic>
#include <memory>
#include <new>
#include <utility>

Q_IMPORT_QML_PLUGIN(TessaronPlugin)

using namespace Qt::StringLiterals;

namespace {

QStringList s_messages;

// The offscreen platform keeps no size hints and says so whenever the minimum of a created window changes, as the
// placement does on a screen smaller than that minimum; the other platforms take the hint.
bool isOffscreenSizeHintNotice(const QString &message)
{
    return message == u"This plugin does not support propagateSizeHints()"_s;
}

void collectMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg && !isOffscreenSizeHintNotice(message))
        s_messages.append(message);
}

// Searches the visual tree, where pages, delegates and open menus live whatever their QObject parent.
template<typename Match> QQuickItem *findItemWhere(QQuickItem *root, const Match &match)
{
    if (!root)
        return nullptr;
    if (match(root))
        return root;
    const QList<QQuickItem *> children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = findItemWhere(child, match))
            return found;
    }
    return nullptr;
}

// A vehicle unit's report with `count` one-second speeds and one activity change on each of `count` days.
tessaron::ddd::DddReport reportWithSpeedsAndDays(int count)
{
    tessaron::ddd::DddReport report;
    report.fileType = tessaron::ddd::DddFileType::Tachograph;
    report.fileName = u"vu-%1.ddd"_s.arg(count); // the page shows its sections for a report with a name
    QVariantList speeds;
    for (int second = 0; second < count; ++second)
        speeds.append(40 + second);
    report.detailedSpeed = {QVariantMap {{u"speedBlockBeginDate"_s, u"01.08.2022 10:00:00"_s},
        {u"speedValues"_s, speeds}, {u"validSpeedCount"_s, count}}};
    for (int day = 1; day <= count; ++day)
        report.activityChanges.append(
            QVariantMap {{u"day"_s, day}, {u"minutes"_s, 60}, {u"activity"_s, u"Вождение"_s}});
    return report;
}

QQuickItem *findItem(QQuickItem *root, const QString &objectName)
{
    return findItemWhere(root, [&objectName](QQuickItem *item) { return item->objectName() == objectName; });
}

// A visible item showing that text (a menu title, a menu entry).
QQuickItem *findItemWithText(QQuickItem *root, const QString &text)
{
    return findItemWhere(
        root, [&text](QQuickItem *item) { return item->isVisible() && item->property("text").toString() == text; });
}

QQuickItem *findItem(QQuickWindow *window, const QString &objectName)
{
    return findItem(window->contentItem(), objectName);
}

QQuickItem *currentPage(QQuickItem *stack)
{
    return stack->property("currentItem").value<QQuickItem *>();
}

bool clickItem(QQuickWindow *window, QQuickItem *item)
{
    if (!item || !item->isVisible() || !item->isEnabled())
        return false;
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    return true;
}

// Waits until the stack has settled on a page of that name.
bool waitForPage(QQuickItem *stack, const QString &objectName)
{
    return QTest::qWaitFor(
        [stack, &objectName] {
            QQuickItem *page = currentPage(stack);
            return page && page->objectName() == objectName && !stack->property("busy").toBool();
        },
        5000);
}

} // namespace

// The application started as the entry point starts it: theme, controller as "app", Main.qml. Any warning
// while the window loads or is used fails the test.
class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        s_messages.clear();
        m_previousHandler = qInstallMessageHandler(collectMessage);
        m_paths = std::make_unique<tessaron::test::TempAppPaths>();
        tessaron::storage::AppPaths::ensureDirectories();
        m_controller = std::make_unique<tessaron::qml::QmlAppController>();
        m_engine = std::make_unique<QQmlApplicationEngine>();
        tessaron::qml::configureEngine(*m_engine);
        m_engine->rootContext()->setContextProperty(QStringLiteral("app"), m_controller.get());
        QVERIFY(tessaron::qml::loadMainWindow(*m_engine));
    }

    void cleanup()
    {
        m_engine.reset();
        m_controller.reset();
        m_paths.reset();
        qInstallMessageHandler(m_previousHandler);
        QVERIFY2(s_messages.isEmpty(), qPrintable(s_messages.join(u'\n')));
    }

    // Each command of the menu opens its page without pausing the device watch, and the page's back command
    // returns to the menu.
    void startsOnTheMainMenuAndOpensEachPage()
    {
        QCOMPARE(m_engine->rootObjects().size(), 1);
        auto *window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constFirst());
        QVERIFY(window && window->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QQuickItem *stack = findItem(window, QStringLiteral("pageStack"));
        QVERIFY(stack);
        QVERIFY(waitForPage(stack, QStringLiteral("mainMenuPage")));
        QCOMPARE(stack->property("depth").toInt(), 1);
        QVERIFY(findItem(window, QStringLiteral("quitCommandButton")));
        QCOMPARE(findItem(window, QStringLiteral("dddCommandButton"))->property("text").toString(),
            QStringLiteral("Расшифровка .ddd"));
        QVERIFY(window->grabWindow().save(QCoreApplication::applicationDirPath() + QStringLiteral("/main_window.png")));

        for (const QString &name : {QStringLiteral("settings"), QStringLiteral("ddd")}) {
            QVERIFY(clickItem(window, findItem(window, name + QStringLiteral("CommandButton"))));
            QVERIFY(waitForPage(stack, name + QStringLiteral("Page")));
            QCOMPARE(stack->property("depth").toInt(), 2);
            QCOMPARE(m_controller->deviceMonitoringPauseCount(), 0);
            if (name == u"settings") {
                QVERIFY(window->grabWindow().save(
                    QCoreApplication::applicationDirPath() + QStringLiteral("/settings_page.png")));
                QVERIFY(findItem(currentPage(stack), QStringLiteral("settingsTabs"))->setProperty("currentIndex", 2));
                QTRY_VERIFY(findItem(currentPage(stack), QStringLiteral("logSwitch"))->isVisible());
                QVERIFY(window->grabWindow().save(
                    QCoreApplication::applicationDirPath() + QStringLiteral("/settings_page_program.png")));
            }
            QVERIFY(clickItem(window, findItem(currentPage(stack), QStringLiteral("backButton"))));
            QVERIFY(waitForPage(stack, QStringLiteral("mainMenuPage")));
            QCOMPARE(stack->property("depth").toInt(), 1);
        }
    }

    // The real window at the smallest size it allows on an ordinary screen, on a scaled laptop's (1366×768 at
    // 125 % less a task bar) and at a common one, a vehicle-unit download on the analysis; then the page in English
    // with the File menu open: the page's language, the menu's Russian.
    void dddPageInTheWindow_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addRow("1024x640") << QSize(1024, 640);
        QTest::addRow("1093x582") << QSize(1093, 582);
        QTest::addRow("1280x800") << QSize(1280, 800);
    }

    void dddPageInTheWindow()
    {
        QFETCH(QSize, size);
        TESSARON_REQUIRE_SAMPLE(path, QStringLiteral("vu-gen1-a.ddd"));
        auto *window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constFirst());
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->minimumSize(),
            tessaron::ui::minimumSizeWithin(tessaron::ui::windowRoom(*window), QSize(1024, 640)));
        window->resize(size);
        QQuickItem *stack = findItem(window, QStringLiteral("pageStack"));
        QVERIFY(waitForPage(stack, QStringLiteral("mainMenuPage")));
        QVERIFY(clickItem(window, findItem(window, QStringLiteral("dddCommandButton"))));
        QVERIFY(waitForPage(stack, QStringLiteral("dddPage")));
        auto *ddd = qobject_cast<tessaron::qml::QmlDddController *>(m_controller->ddd());
        QVERIFY(ddd->openFile(path));
        QTRY_VERIFY_WITH_TIMEOUT(!ddd->isBusy(), 60000);
        QQuickItem *page = currentPage(stack);
        const int analysis = page->property("datasets").toList().size();
        QVERIFY(QMetaObject::invokeMethod(page, "selectSection", Q_ARG(QVariant, analysis)));
        const QString prefix = QCoreApplication::applicationDirPath()
            + QStringLiteral("/main_window_ddd_%1x%2").arg(size.width()).arg(size.height());
        QVERIFY(QTest::qWaitFor([window, &prefix] { return window->grabWindow().save(prefix + u".png"); }));

        // The footer follows the window: every button inside it and wide enough for its text.
        for (const char *name : {"openButton", "processButton", "chartsButton", "clearButton"}) {
            QQuickItem *button = findItem(page, QString::fromLatin1(name));
            QVERIFY2(button->mapToScene(QPointF(button->width(), 0)).x() <= size.width(), name);
            QVERIFY2(button->mapToScene(QPointF(0, button->height())).y() <= size.height(), name);
            QVERIFY2(button->width() >= button->implicitWidth(), name);
        }

        // The page's language is the page's own: the window's menu stays Russian.
        QVERIFY(page->setProperty("english", true));
        QVERIFY(clickItem(window, findItemWithText(window->contentItem(), QStringLiteral("Файл"))));
        QTRY_VERIFY(findItemWithText(window->contentItem(), QStringLiteral("Выход")));
        QVERIFY(findItemWithText(window->contentItem(), QStringLiteral("Сервис")));
        QCOMPARE(findItem(page, QStringLiteral("backButton"))->property("text").toString(), QStringLiteral("‹ Back"));
        QTest::qWait(100);
        QVERIFY(window->grabWindow().save(prefix + u"_english_menu.png"));
        QTest::keyClick(window, Qt::Key_Escape);
        ddd->clear();
        QMetaObject::invokeMethod(stack, "clear");
    }

    // The window opens at 1280×800 or the room the screen's available area leaves beside its frame, whichever is
    // smaller, never below its minimum within that room, centred: on the offscreen platform's screen (800×600) and,
    // by the test list, on 1024×640 and 1920×1080 screens and on scaled laptop screens (1366×768 at 125 %, 1920×1080
    // at 175 %). It is never larger than the area, nor is its minimum. The picture shows the window where it lies on
    // its screen.
    void windowOpensWithinTheScreen()
    {
        auto *window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constFirst());
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QRect available = window->screen()->availableGeometry();
        const QRect inside = tessaron::ui::windowRoom(*window);
        const QRect expected = tessaron::ui::initialWindowGeometry(inside, QSize(1280, 800), QSize(1024, 640));
        QCOMPARE(window->geometry(), expected);
        QCOMPARE(window->minimumSize(), tessaron::ui::minimumSizeWithin(inside, QSize(1024, 640)));
        QVERIFY2(available.contains(window->frameGeometry()), "the whole window on the screen");

        // In the screen's own pixels, where the system scales: the window as the user sees it.
        const qreal scale = window->devicePixelRatio();
        QImage screen(window->screen()->geometry().size() * scale, QImage::Format_RGB32);
        screen.setDevicePixelRatio(scale);
        screen.fill(QColor(0x30, 0x40, 0x50));
        QImage shown = window->grabWindow();
        shown.setDevicePixelRatio(scale);
        QPainter painter(&screen);
        painter.drawImage(window->position() - window->screen()->geometry().topLeft(), shown);
        painter.end();
        QVERIFY(screen.save(QCoreApplication::applicationDirPath()
            + u"/main_window_on_screen_%1x%2.png"_s.arg(available.width()).arg(available.height())));
    }

    // The PDF export's save dialog in Russian, with a save button, starting in the documents folder it made in a
    // temporary home folder.
    void savePdfDialogSpeaksRussian()
    {
        QTemporaryDir home;
        const auto restoreHome = qScopeGuard([previous = qgetenv("HOME")] { qputenv("HOME", previous); });
        qputenv("HOME", QFile::encodeName(home.path()));
        const QString path = home.filePath(u"vu.ddd"_s);
        QVERIFY(tessaron::test::writeFile(path, tessaron::test::VuFileBuilder::typicalDownload(2, 4)));
        QQuickItem *page = showDddPage();
        QVERIFY(page);
        auto *ddd = qobject_cast<tessaron::qml::QmlDddController *>(m_controller->ddd());
        QVERIFY(ddd->openFile(path));
        QTRY_VERIFY_WITH_TIMEOUT(!ddd->isBusy(), 60000);

        auto *exporter = page->findChild<QObject *>(u"pdfExport"_s);
        QVERIFY(QMetaObject::invokeMethod(exporter, "begin"));
        auto *options = exporter->property("optionsDialog").value<QObject *>();
        QTRY_VERIFY(options->property("opened").toBool());
        QVERIFY(QMetaObject::invokeMethod(options, "proceed"));
        auto *saveDialog = exporter->findChild<QObject *>(u"pdfSaveDialog"_s);
        QTRY_VERIFY(saveDialog->property("visible").toBool());
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QVERIFY(documents.startsWith(home.path()) && QFileInfo(documents).isDir());
        // A report saved before: its size and time in Russian, as the widget dialogs write them.
        QFile earlier(documents + u"/earlier.pdf"_s);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write(QByteArray(5000, '%')) == 5000 && earlier.flush());
        QVERIFY(earlier.setFileTime(QDateTime(QDate(2026, 12, 7), QTime(8, 5)), QFileDevice::FileModificationTime));
        earlier.close();
        QCOMPARE(saveDialog->property("currentFolder").toUrl(), QUrl::fromLocalFile(documents));
        const QList<std::pair<QString, bool>> texts
            = {{u"Сохранить"_s, true}, {u"Отмена"_s, true}, {u"Имя файла"_s, true}, {u"Фильтр"_s, true},
                {u"Открыть"_s, false}, {u"File name"_s, false}, {u"Filter"_s, false}, {u"earlier.pdf"_s, true},
                {u"4,9 КБ"_s, true}, {u"07.12.2026 08:05"_s, true}, {u"4,88 KiB"_s, false}, {u"4.88 KiB"_s, false}};
        for (const auto &[text, shown] : texts)
            QTRY_VERIFY2(bool(findItemWithText(page->window()->contentItem(), text)) == shown, qPrintable(text));
        QTest::qWait(100);
        QVERIFY(
            page->window()->grabWindow().save(QCoreApplication::applicationDirPath() + u"/ddd_pdf_save_dialog.png"));
        QVERIFY(QMetaObject::invokeMethod(saveDialog, "reject"));
        ddd->clear();
    }

    void reportThePageReadIsFreedOffTheGuiThread_data()
    {
        QTest::addColumn<int>("chartType");
        QTest::addColumn<QString>("rowsProperty");
        QTest::addRow("speed chart") << 1 << u"speedRows"_s;
        QTest::addRow("activity chart") << 0 << u"activityRows"_s;
    }

    // A report the page has read, its lists held by QML's wrappers and by a chart's series too, is still freed off
    // the GUI thread once replaced: the wrappers are collected before the pool thread drops the last reference.
    void reportThePageReadIsFreedOffTheGuiThread()
    {
        QFETCH(int, chartType);
        QFETCH(QString, rowsProperty);
        QQuickItem *page = showDddPage();
        QVERIFY(page);
        auto *ddd = qobject_cast<tessaron::qml::QmlDddController *>(m_controller->ddd());
        tessaron::ddd::DddReport report;
        report.fileType = tessaron::ddd::DddFileType::Tachograph;
        std::future<std::thread::id> freed
            = tessaron::test::appendFreeWitness(chartType == 1 ? report.detailedSpeed : report.activityChanges);
        ddd->setReport(std::exchange(report, {}));
        Q_EMIT ddd->stateChanged();
        const int charts = page->property("datasets").toList().size() + 1;
        QVERIFY(QMetaObject::invokeMethod(page, "selectSection", Q_ARG(QVariant, charts)));
        QVERIFY(page->setProperty("selectedChartMetric", chartType));
        auto *chart = findItem(page, u"chart"_s);
        QTRY_VERIFY(!chart->property("seriesPending").toBool()
            && !chart->property(qPrintable(rowsProperty)).toList().isEmpty());
        ddd->clear();
        QVERIFY(tessaron::test::freedOffThisThread(freed));
    }

    // The speed buckets and the activity chart's day lanes are built by workers: every read of a row's value
    // happens on another thread than the window's, and the chart then holds every sample and every lane.
    void chartSeriesAreBuiltOffTheGuiThread()
    {
        QQuickItem *page = showDddPage();
        QVERIFY(page);
        auto *ddd = qobject_cast<tessaron::qml::QmlDddController *>(m_controller->ddd());
        QVariantList speeds {40, 50};
        const std::shared_ptr<tessaron::test::ReadThreads> reads = tessaron::test::appendReadWitness(speeds);
        QVariantList minutes;
        const std::shared_ptr<tessaron::test::ReadThreads> minuteReads = tessaron::test::appendReadWitness(minutes);
        tessaron::ddd::DddReport report;
        report.fileType = tessaron::ddd::DddFileType::Tachograph;
        report.detailedSpeed = {QVariantMap {{u"speedBlockBeginDate"_s, u"01.08.2022 10:00:00"_s},
            {u"speedValues"_s, speeds}, {u"validSpeedCount"_s, 3}}};
        report.activityChanges
            = {QVariantMap {{u"day"_s, 7}, {u"minutes"_s, minutes.constFirst()}, {u"activity"_s, u"Вождение"_s}}};
        ddd->setReport(report);
        Q_EMIT ddd->stateChanged();
        const int charts = page->property("datasets").toList().size() + 1;
        QVERIFY(QMetaObject::invokeMethod(page, "selectSection", Q_ARG(QVariant, charts)));
        auto *chart = findItem(page, u"chart"_s);
        QTRY_VERIFY(!chart->property("seriesPending").toBool() && chart->property("laneCount").toInt() == 1);
        auto *activity = chart->property("activitySeries").value<QObject *>();
        QVariantList lanes;
        QVERIFY(QMetaObject::invokeMethod(
            activity, "lanesFrom", Q_RETURN_ARG(QVariantList, lanes), Q_ARG(int, 0), Q_ARG(int, 1)));
        const QVariantList segments = lanes.constFirst().toMap().value(u"segments"_s).toList();
        QCOMPARE(segments.constFirst().toMap().value(u"start"_s).toDouble(), 1.0);
        const std::vector<std::thread::id> minuteReaders = minuteReads->snapshot();
        QVERIFY(!minuteReaders.empty());
        for (const std::thread::id reader : minuteReaders)
            QVERIFY(reader != std::this_thread::get_id());

        QVERIFY(page->setProperty("selectedChartMetric", 1));
        QTRY_VERIFY(
            !chart->property("speedSeriesPending").toBool() && chart->property("speedSampleCount").toInt() == 3);
        const QVariantList points = chart->property("speedSeries").value<QObject *>()->property("points").toList();
        QCOMPARE(points.size(), 3);
        QCOMPARE(points.constLast().toMap().value(u"value"_s).toDouble(), 1.0);
        const std::vector<std::thread::id> readers = reads->snapshot();
        QVERIFY(!readers.empty());
        for (const std::thread::id reader : readers)
            QVERIFY(reader != std::this_thread::get_id());
        // The page hands the same rows over again at every change of the controller's state: no new build.
        Q_EMIT ddd->stateChanged();
        QVERIFY(!chart->property("speedSeriesPending").toBool());
        QCOMPARE(chart->property("speedSampleCount").toInt(), 3);
        QVERIFY(page->setProperty("selectedChartMetric", 0));
        QVERIFY(!chart->property("seriesPending").toBool());
        QCOMPARE(chart->property("laneCount").toInt(), 1);
        QCOMPARE(minuteReads->snapshot().size(), minuteReaders.size());
        ddd->clear();
    }

    void chartDropsTheResultOfRowsReplaced_data()
    {
        QTest::addColumn<int>("chartType");
        QTest::addColumn<QString>("seriesProperty");
        QTest::addColumn<QString>("countProperty");
        QTest::addColumn<QString>("chartCountProperty");
        QTest::addColumn<bool>("whileTheNewBuildRuns");
        for (const bool running : {false, true}) {
            const char *when = running ? "while the new build runs" : "before the new build starts";
            QTest::addRow("speed chart, %s", when)
                << 1 << u"speedSeries"_s << u"sampleCount"_s << u"speedSampleCount"_s << running;
            QTest::addRow("activity chart, %s", when)
                << 0 << u"activitySeries"_s << u"laneCount"_s << u"laneCount"_s << running;
        }
    }

    // Another file shown just as the chart's series of the first one is handed back: the result arrives after
    // its rows were replaced, before the build of the new rows starts or while that build runs (held at its own
    // hand-back), and is dropped; the chart holds only the series of the rows shown.
    void chartDropsTheResultOfRowsReplaced()
    {
        QFETCH(int, chartType);
        QFETCH(QString, seriesProperty);
        QFETCH(QString, countProperty);
        QFETCH(QString, chartCountProperty);
        QFETCH(bool, whileTheNewBuildRuns);
        QQuickItem *page = showDddPage();
        QVERIFY(page);
        auto *ddd = qobject_cast<tessaron::qml::QmlDddController *>(m_controller->ddd());
        const auto show = [this, page, chartType](int count) { return showChart(page, chartType, count); };
        QVERIFY(show(3));
        QQuickItem *chart = findItem(page, u"chart"_s);
        auto *series = qobject_cast<tessaron::qml::QmlWorkerSeries *>(
            chart->property(qPrintable(seriesProperty)).value<QObject *>());
        QVERIFY(series);
        // A build held at its hand-back until let go, and its worker thread.
        struct Gate
        {
            QSemaphore reached;
            QSemaphore resume;
            std::atomic<QThread *> worker {nullptr};
        };
        const auto old = std::make_shared<Gate>();
        const auto wanted = std::make_shared<Gate>();
        const auto holdAt = [](const std::shared_ptr<Gate> &gate) {
            return [gate] {
                gate->worker = QThread::currentThread();
                gate->reached.release();
                gate->resume.acquire();
            };
        };
        series->setHandBackPauseForTesting(holdAt(old));
        const auto resumeAtTheEnd = qScopeGuard([series, old, wanted] {
            series->setHandBackPauseForTesting({});
            old->resume.release();
            wanted->resume.release();
        });
        QTRY_COMPARE(old->reached.available(), 1);
        series->setHandBackPauseForTesting(whileTheNewBuildRuns ? holdAt(wanted) : std::function<void()>());
        QList<int> counts;
        QObject receiver;
        connect(series, &tessaron::qml::QmlWorkerSeries::seriesChanged, &receiver,
            [series, &counts, &countProperty] { counts.append(series->property(qPrintable(countProperty)).toInt()); });
        QVERIFY(show(2));
        if (whileTheNewBuildRuns)
            QTRY_COMPARE(wanted->reached.available(), 1);
        // The old worker hands its result back before it ends, and its thread object is deleted through a later
        // event to the series: once that is gone, the result has been dealt with.
        const QPointer<QThread> oldWorker = old->worker.load();
        old->resume.release();
        if (whileTheNewBuildRuns) {
            QTRY_VERIFY(oldWorker.isNull());
            QCOMPARE(counts, QList<int>({0}));
            QVERIFY(series->isBuilding());
            wanted->resume.release();
        }
        QTRY_VERIFY(!series->isBuilding());
        QCOMPARE(counts, QList<int>({0, 2}));
        QCOMPARE(chart->property(qPrintable(chartCountProperty)).toInt(), 2);
        ddd->clear();
    }

    void chartThatRunsOutOfMemorySaysSo_data()
    {
        QTest::addColumn<int>("chartType");
        QTest::addColumn<QString>("seriesProperty");
        QTest::addColumn<QString>("chartCountProperty");
        QTest::addRow("speed chart") << 1 << u"speedSeries"_s << u"speedSampleCount"_s;
        QTest::addRow("activity chart") << 0 << u"activitySeries"_s << u"laneCount"_s;
    }

    // A build that runs out of memory on its worker hands back no series: the chart's own area says so, the page
    // around it stays; the next rows are drawn again.
    void chartThatRunsOutOfMemorySaysSo()
    {
        QFETCH(int, chartType);
        QFETCH(QString, seriesProperty);
        QFETCH(QString, chartCountProperty);
        QQuickItem *page = showDddPage();
        QVERIFY(page);
        QVERIFY(showChart(page, chartType, 3));
        QQuickItem *chart = findItem(page, u"chart"_s);
        auto *series = qobject_cast<tessaron::qml::QmlWorkerSeries *>(
            chart->property(qPrintable(seriesProperty)).value<QObject *>());
        QVERIFY(series);
        QTRY_VERIFY(!chart->property("seriesPending").toBool());
        series->setHandBackPauseForTesting([] { throw std::bad_alloc(); });
        const auto noPause = qScopeGuard([series] { series->setHandBackPauseForTesting({}); });
        QVERIFY(showChart(page, chartType, 4));
        QTRY_VERIFY(series->hasFailed() && !chart->property("seriesPending").toBool());
        QQuickItem *notice = findItem(chart, u"failureNotice"_s);
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->property("text").toString(), u"Недостаточно памяти для построения графика."_s);
        QCOMPARE(chart->property(qPrintable(chartCountProperty)).toInt(), 0);
        QVERIFY(findItem(page, u"sectionList"_s)->isVisible());
        QVERIFY(page->window()->grabWindow().save(
            u"%1/ddd_chart_out_of_memory_%2.png"_s.arg(QCoreApplication::applicationDirPath()).arg(chartType)));

        series->setHandBackPauseForTesting({});
        QVERIFY(showChart(page, chartType, 2));
        QTRY_VERIFY(!chart->property("seriesPending").toBool() && !series->hasFailed());
        QCOMPARE(chart->property(qPrintable(chartCountProperty)).toInt(), 2);
        QVERIFY(!notice->isVisible());
        qobject_cast<tessaron::qml::QmlDddController *>(m_controller->ddd())->clear();
    }

    void chartThatRanOutIsTriedAgainWhenChosenAgain_data()
    {
        QTest::addColumn<int>("chartType");
        QTest::addColumn<QString>("choice");
        for (const char *choice : {"its metric picked again", "its view picked again", "another metric and back",
                 "the charts section opened again", "the same rows given again"}) {
            QTest::addRow("speed chart, %s", choice) << 1 << QString::fromLatin1(choice);
            QTest::addRow("activity chart, %s", choice) << 0 << QString::fromLatin1(choice);
        }
    }

    // A chart whose build ran out of memory is built once more at each choice of it and at nothing else: while memory
    // stays short each choice costs one build and the failure is told again; once memory is back the chart is drawn.
    void chartThatRanOutIsTriedAgainWhenChosenAgain()
    {
        QFETCH(int, chartType);
        QFETCH(QString, choice);
        QQuickItem *page = showDddPage();
        QVERIFY(page && showChart(page, chartType, 3));
        QQuickItem *chart = findItem(page, u"chart"_s);
        auto *series = qobject_cast<tessaron::qml::QmlWorkerSeries *>(
            chart->property(chartType == 1 ? "speedSeries" : "activitySeries").value<QObject *>());
        QTRY_VERIFY(!chart->property("seriesPending").toBool());
        // Each build is counted as it hands its series back, where it runs out of memory while memory is short.
        const auto builds = std::make_shared<std::atomic_int>(0);
        const auto memoryShort = std::make_shared<std::atomic_bool>(true);
        series->setHandBackPauseForTesting([builds, memoryShort] {
            ++*builds;
            if (*memoryShort)
                throw std::bad_alloc();
        });
        const auto noPause = qScopeGuard([series] { series->setHandBackPauseForTesting({}); });
        QVERIFY(showChart(page, chartType, 4));
        QTRY_VERIFY(series->hasFailed() && !chart->property("seriesPending").toBool());
        auto *ddd = qobject_cast<tessaron::qml::QmlDddController *>(m_controller->ddd());
        const auto pick = [page](const char *box, int index) {
            return QMetaObject::invokeMethod(findItem(page, QString::fromLatin1(box)), "activated", Q_ARG(int, index));
        };
        const auto chooseAgain = [&] {
            if (choice == u"its metric picked again"_s)
                return pick("metricBox", chartType);
            if (choice == u"its view picked again"_s)
                return pick("styleBox", page->property("selectedChartStyle").toInt());
            if (choice == u"another metric and back"_s)
                return pick("metricBox", 3) && pick("metricBox", chartType);
            if (choice == u"the charts section opened again"_s)
                return clickItem(page->window(), findItem(page, u"chartsButton"_s));
            Q_EMIT ddd->stateChanged();
            return true;
        };
        // Left alone for several of the pauses before a build, the failed chart builds nothing more.
        for (int chosen = 1; chosen <= 3; ++chosen) {
            QTest::qWait(600);
            QCOMPARE(builds->load(), chosen);
            *memoryShort = chosen < 3;
            QVERIFY(chooseAgain());
            QTRY_COMPARE(builds->load(), chosen + 1);
            QTRY_VERIFY(!chart->property("seriesPending").toBool());
            QCOMPARE(series->hasFailed(), chosen < 3);
        }
        QCOMPARE(chart->property(chartType == 1 ? "speedSampleCount" : "laneCount").toInt(), 4);
        QVERIFY(!findItem(chart, u"failureNotice"_s)->isVisible());
        ddd->clear();
    }

    // With the real controller and stores, no QML warning: the screenshots of the page, the preview and the
    // print form. The first record listed was stored inside Berlin's clock change, shown like the other.
    void documentsCommandPushesItsPageWithoutPausing()
    {
        using namespace Qt::StringLiterals;
        tessaron::storage::CalibrationRepository calibrations;
        // Serial, order date, written: the later written is listed first.
        const QList<QStringList> records = {{u"0001234567"_s, u"2024-05-06 12:34:56"_s, u"2024-05-06 12:40:00"_s},
            {u"0007654321"_s, u"2024-03-31 02:30:00"_s, u"2024-05-07 09:00:00"_s}};
        for (const QStringList &record : records) {
            QVERIFY(
                calibrations.insertCalibration({{u"VuSerialNumber"_s, record.at(0)},
                    {u"WriteTimestamp"_s, record.at(2)}, {u"OrderNumber"_s, 17}, {u"CustomerName"_s, u"Иванов"_s},
                    {u"VehicleRegistrationNumber"_s, u"А123ВС77"_s}, {u"VuPartNumber"_s, u"1381"_s},
                    {u"RecordDateTime"_s, record.at(1)}, {u"NextCalibrationDate"_s, u"2026-05-06"_s},
                    {u"WVehicleCharacteristicConstant"_s, u"8000"_s}, {u"KConstantOfRecordingEquipment"_s, u"8000"_s},
                    {u"LTyreCircumference"_s, u"3250"_s}, {u"WriteResult"_s, 1}})
                > 0);
        }
        namespace keys = tessaron::storage::settings;
        QVERIFY(
            tessaron::storage::SettingsRepository().setValues({{keys::sectionWorkshop, keys::workshopMark, u"RUS 77"_s},
                {keys::sectionWorkshop, keys::workshopName, u"ООО Тахосервис"_s},
                {keys::sectionWorkshop, keys::workshopPost, u"190000"_s},
                {keys::sectionWorkshop, keys::workshopCity, u"Санкт-Петербург"_s},
                {keys::sectionWorkshop, keys::workshopStreet, u"ул. Заводская, 5"_s},
                {keys::sectionWorkshop, keys::workshopPhone, u"+7 812 000-00-00"_s}}));
        QVERIFY(m_controller->settingsController()->addMaster(u"Петров Пётр Петрович"_s));
        auto *window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constFirst());
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QQuickItem *stack = findItem(window, u"pageStack"_s);
        QVERIFY(waitForPage(stack, u"mainMenuPage"_s));
        QVERIFY(clickItem(window, findItem(window, u"documentsCommandButton"_s)));
        QVERIFY(waitForPage(stack, u"documentsPage"_s));
        QCOMPARE(m_controller->deviceMonitoringPauseCount(), 0);
        QQuickItem *page = currentPage(stack);
        QCOMPARE(page->property("controller").value<QObject *>(), m_controller->documents());

        auto *documents = m_controller->documentsController();
        QTRY_COMPARE(documents->records().size(), 2);
        QCOMPARE(documents->records().constFirst().toMap().value(u"date"_s), u"31.03.2024 02:30"_s);
        documents->select(documents->records().constFirst().toMap().value(u"id"_s).toInt());
        QCOMPARE(documents->selected().value(u"OrderMaster"_s), u"Петров Пётр Петрович"_s);
        const auto shoot = [window](const QString &name) {
            QTest::qWait(50);
            return window->grabWindow().save(QCoreApplication::applicationDirPath() + u"/documents_"_s + name);
        };
        QVERIFY(shoot(u"list.png"_s));
        QVERIFY(QMetaObject::invokeMethod(page, "openForm"));
        QVERIFY(shoot(u"form.png"_s));

        auto *preview = page->findChild<QObject *>(u"previewDialog"_s);
        auto *print = preview->findChild<QObject *>(u"printDialog"_s);
        for (const QString &kind : {u"certificate"_s, u"sticker"_s}) {
            QVERIFY(clickItem(window, findItem(page, kind + u"Button"_s)));
            QTRY_VERIFY(preview->property("opened").toBool());
            QVERIFY(shoot(u"preview_"_s + kind + u".png"_s));
            if (kind == u"sticker"_s) {
                QMetaObject::invokeMethod(print, "openFor", Q_ARG(QVariant, true));
                QTRY_VERIFY(print->property("opened").toBool());
                QVERIFY(shoot(u"print_sticker.png"_s));
                QMetaObject::invokeMethod(print, "close");
            }
            QMetaObject::invokeMethod(preview, "close");
            QTRY_VERIFY(!preview->property("visible").toBool());
        }
        QCOMPARE(documents->previewTitle(), u"Предпросмотр наклейки"_s);
        QVERIFY(documents->lastError().isEmpty());
        QVERIFY(clickItem(window, findItem(page, u"backButton"_s)));
        QVERIFY(waitForPage(stack, u"mainMenuPage"_s));
    }

private:
    // The DDD page opened from the window's menu, as a technician opens it; null when it does not open.
    QQuickItem *showDddPage()
    {
        auto *window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constFirst());
        QQuickItem *stack = QTest::qWaitForWindowExposed(window) ? findItem(window, u"pageStack"_s) : nullptr;
        const bool shown = stack && waitForPage(stack, u"mainMenuPage"_s)
            && clickItem(window, findItem(window, u"dddCommandButton"_s)) && waitForPage(stack, u"dddPage"_s);
        return shown ? currentPage(stack) : nullptr;
    }

    // Shows a report of `count` speeds and days on the page and selects the chart of that type.
    bool showChart(QQuickItem *page, int chartType, int count)
    {
        auto *ddd = qobject_cast<tessaron::qml::QmlDddController *>(m_controller->ddd());
        ddd->setReport(reportWithSpeedsAndDays(count));
        Q_EMIT ddd->stateChanged();
        const int charts = page->property("datasets").toList().size() + 1;
        return QMetaObject::invokeMethod(page, "selectSection", Q_ARG(QVariant, charts))
            && page->setProperty("selectedChartMetric", chartType);
    }

    QtMessageHandler m_previousHandler = nullptr;
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    std::unique_ptr<tessaron::qml::QmlAppController> m_controller;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
};

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral("2.5.0.192"));
    tessaron::ui::ThemeManager::apply(tessaron::ui::Theme());
    // As the entry point does: Qt's own texts in Russian.
    using tessaron::ui::TranslationLoader;
    TranslationLoader::installQtTranslations(TranslationLoader::qtTranslationsFolder(), nullptr);
    TestMainWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_main_window.moc"
