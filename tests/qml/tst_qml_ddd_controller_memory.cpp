#include "ddd_file_builder.h"
#include "qml/qml_activity_series.h"
#include "qml/qml_ddd_controller.h"
#include "qml/qml_speed_series.h"
#include "storage/app_paths.h"
#include "storage/database_catalog.h"
#include "support/pdf_probe.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QTextStream>

#include <sys/resource.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;
using tessaron::qml::QmlDddController;

namespace {

const QString s_decoded = u"Разбор завершён"_s;
const QByteArray s_earlierPdf = "the PDF exported before";

// A field of /proc/self/status ("VmSize" in bytes, "Threads" as it is); 0 when unknown.
qint64 statusField(const QByteArray &field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').constFirst().toLongLong()
                * (line.endsWith(" kB") ? 1024 : 1);
    }
    return 0;
}

// Every block the allocator can still give within the address space allowed, chained through their first bytes,
// large bites first: once they are held, only what a raised limit adds is left.
void *holdWhatIsLeft()
{
    void *chain = nullptr;
    for (std::size_t size = std::size_t(1) << 20; size >= sizeof(void *);) {
        void *block = std::malloc(size);
        if (!block) {
            size /= 2;
            continue;
        }
        *static_cast<void **>(block) = std::exchange(chain, block);
    }
    return chain;
}

void releaseHeld(void *chain)
{
    while (chain)
        std::free(std::exchange(chain, *static_cast<void **>(chain)));
}

// The controller's word on its last step: its error when the step failed, else its status.
QString outcome(const QmlDddController &controller, bool done)
{
    return done || controller.lastError().isEmpty() ? controller.statusText() : controller.lastError();
}

// What a step that failed must leave as it was: the report shown, and for a reopen the status too.
QStringList shownState(const QmlDddController &controller, const QString &step)
{
    return {step.startsWith(u"reopen"_s) ? controller.statusText() : QString(), controller.structureText(),
        QString::number(controller.blocks().size()), QString::number(controller.detailedSpeed().size())};
}

// A chart's series built from rows as the page's chart builds it: "built" with a series (countProperty above 0),
// "failed" when the build ran out of memory and left none. One that failed is chosen again, once `unlimit` has lifted
// the limit, as `again` says: "chosen again" (its metric or view picked again), "switched off and on" (another chart
// and back) or "given the same rows" (the page's state read again); the word of that build follows.
QString chartOutcome(tessaron::qml::QmlWorkerSeries &series, const QVariantList &rows, const char *countProperty,
    const QString &again, const std::function<void()> &unlimit)
{
    const auto word = [&series, countProperty] {
        if (!QTest::qWaitFor([&series] { return !series.isBuilding(); }, 600'000))
            return u"still building"_s;
        const bool empty = series.property(countProperty).toLongLong() == 0;
        if (series.hasFailed())
            return empty ? u"failed"_s : u"failed, a series left"_s;
        return empty ? u"built nothing"_s : u"built"_s;
    };
    series.setRows(rows);
    series.setActive(true);
    const QString first = word();
    if (first != u"failed"_s || again.isEmpty())
        return first;
    unlimit();
    if (again == u"chosen again"_s) {
        series.tryAgain();
    } else if (again == u"switched off and on"_s) {
        series.setActive(false);
        series.setActive(true);
    } else {
        series.setRows(rows);
    }
    return first + u", then "_s + word();
}

// The rows a chart step builds its series from, as the page gives them to the chart, joined until there are at least
// `total`: a longer download's rows, without the time its decode takes. Empty for the other steps.
QVariantList chartRows(const QmlDddController &controller, const QString &step, qsizetype total)
{
    const QVariantList daily = controller.activityDaily();
    QVariantList source;
    if (step.startsWith(u"speed chart"_s))
        source = controller.detailedSpeed();
    else if (step.startsWith(u"activity chart"_s))
        source = daily.isEmpty() ? controller.activityChanges() : daily;
    QVariantList rows;
    while (!source.isEmpty() && rows.size() < total)
        rows.append(source);
    return rows;
}

// The step, on the decoded report, under the limit. A chart step "<chart>, <again>" chooses its chart again as
// chartOutcome says.
QString stepOutcome(
    QmlDddController &controller, const QString &step, const QVariantList &rows, const std::function<void()> &unlimit)
{
    if (step == u"save"_s)
        return outcome(controller, controller.saveReport());
    if (step == u"export"_s)
        return outcome(controller, controller.exportReportPdf(qEnvironmentVariable("TESSARON_TEST_MEMORY_PDF")));
    if (step.startsWith(u"reopen"_s))
        return outcome(controller, controller.openSavedReport(1, true));
    const QString again = step.section(u", "_s, 1);
    if (step.startsWith(u"speed chart"_s)) {
        tessaron::qml::QmlSpeedSeries series;
        series.setChartWidth(1000);
        return chartOutcome(series, rows, "sampleCount", again, unlimit);
    }
    tessaron::qml::QmlActivitySeries series;
    return chartOutcome(series, rows, "laneCount", again, unlimit);
}

// Started again with TESSARON_TEST_MEMORY_FILE set, the program opens that file in the viewer's controller and, as
// TESSARON_TEST_MEMORY_STEP says, stops there ("decode"), saves the report into the installation of LOCALAPPDATA and
// TESSARON_TEST_MEMORY_PROGRAM ("save"), exports it to TESSARON_TEST_MEMORY_PDF ("export"), reopens it once saved
// with memory to spare ("reopen") or builds a chart's series of it ("speed chart", "activity chart"). From the
// start of that step its address space is held to what it then takes and TESSARON_TEST_MEMORY_ROOM bytes more; for
// "reopen rows" only once the report is read, what the heap holds free taken too, so that the page's rows have only
// that room. It prints the decode's word and the step's, a line each, once the soft limit is lifted again; a step
// that failed and changed the report shown or the status says so in its word.
int runUnderLimit()
{
    tessaron::storage::AppPaths::setProgramDirectoryForTesting(qEnvironmentVariable("TESSARON_TEST_MEMORY_PROGRAM"));
    const QString step = qEnvironmentVariable("TESSARON_TEST_MEMORY_STEP");
    rlimit unlimited {};
    getrlimit(RLIMIT_AS, &unlimited);
    const qint64 room = qEnvironmentVariable("TESSARON_TEST_MEMORY_ROOM").toLongLong();
    const auto limit = [&unlimited, room] {
        const rlimit limited {rlim_t(statusField("VmSize") + room), unlimited.rlim_max};
        setrlimit(RLIMIT_AS, &limited);
    };
    const auto unlimit = [&unlimited] { setrlimit(RLIMIT_AS, &unlimited); };
    void *held = nullptr;
    const auto limitWithNothingFree = [&unlimited, &held, room] {
        rlimit limited {rlim_t(statusField("VmSize")), unlimited.rlim_max};
        setrlimit(RLIMIT_AS, &limited);
        held = holdWhatIsLeft();
        limited.rlim_cur += rlim_t(room);
        setrlimit(RLIMIT_AS, &limited);
    };

    QmlDddController controller;
    // The archive opened and listed first, as the viewer's page does on showing: a save stores into an open database.
    controller.refreshSavedReports();
    const qint64 threads = statusField("Threads");
    if (step == u"decode"_s)
        limit();
    controller.openFile(qEnvironmentVariable("TESSARON_TEST_MEMORY_FILE"));
    // Until the decode's thread is gone too, lest its stack, unmapped later, leave the next step more room.
    const bool ended = QTest::qWaitFor(
        [&controller, threads] { return !controller.isBusy() && statusField("Threads") == threads; }, 600'000);
    const bool decoded = ended && controller.report().fileType != tessaron::ddd::DddFileType::Unknown;
    const QString decodeWord = outcome(controller, decoded);
    QString stepWord = decodeWord;
    if (decoded && step.startsWith(u"reopen"_s) && !controller.saveReport())
        stepWord = u"not stored first: "_s + outcome(controller, false);
    else if (decoded && step != u"decode"_s) {
        const QStringList before = shownState(controller, step);
        const QVariantList rows = chartRows(controller, step, qsizetype(1) << 21);
        if (step == u"reopen rows"_s)
            controller.setReadPauseForTesting(limitWithNothingFree);
        else
            limit();
        stepWord = stepOutcome(controller, step, rows, unlimit);
        releaseHeld(held);
        unlimit();
        if (!controller.lastError().isEmpty() && shownState(controller, step) != before)
            stepWord += u" (and the report shown changed)"_s;
    }
    unlimit();
    QTextStream(stdout) << decodeWord << '\n' << stepWord << '\n';
    return 0;
}

} // namespace

class TestQmlDddControllerMemory : public QObject
{
    Q_OBJECT

    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;

    QString pdfPath() const { return m_paths->filePath(u"report.pdf"_s); }

    // The program run again on the download in an installation of its own, an earlier PDF in place: the decode's
    // word and the step's, or a failure when it did not end by itself.
    QStringList runStep(const QString &download, const QString &step, qint64 room, QString *failure)
    {
        m_paths->useInstallation(u"%1-%2"_s.arg(step).arg(room));
        tessaron::test::writeFile(pdfPath(), s_earlierPdf);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TESSARON_TEST_MEMORY_FILE"_s, download);
        environment.insert(u"TESSARON_TEST_MEMORY_STEP"_s, step);
        environment.insert(u"TESSARON_TEST_MEMORY_ROOM"_s, QString::number(room));
        environment.insert(u"TESSARON_TEST_MEMORY_PROGRAM"_s, m_paths->programDirectory());
        environment.insert(u"TESSARON_TEST_MEMORY_PDF"_s, pdfPath());
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        if (!child.waitForFinished(900'000))
            child.kill();
        const QStringList words = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n');
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || words.size() < 2)
            *failure = u"%1 with %2 bytes of room did not end by itself: %3"_s.arg(step).arg(room).arg(
                QString::fromUtf8(child.readAllStandardError().right(2000)));
        return words;
    }

    // Whether the run left the report stored whole exactly when it saved it, nothing of it otherwise, and a PDF poppler
    // reads exactly when it exported one, the earlier PDF as it was otherwise.
    bool leftOnlyItsResult(bool saved, bool exported) const
    {
        const QString database = tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::Reports);
        const tessaron::test::SqliteProbe probe(database);
        const bool made = QFile::exists(database);
        const qint64 reports = made ? probe.scalar(u"SELECT COUNT(*) FROM TachographReports"_s).toLongLong() : 0;
        const qint64 rows = made ? probe.scalar(u"SELECT COUNT(*) FROM DddRows"_s).toLongLong() : 0;
        const QByteArray pdf = tessaron::test::fileBytes(pdfPath());
        return (saved ? reports == 1 && rows > 0 : reports == 0 && rows == 0)
            && (exported ? tessaron::test::pdfInfoValue(pdf, u"Pages"_s).toInt() > 0 : pdf == s_earlierPdf);
    }

private Q_SLOTS:
    void initTestCase() { m_paths = std::make_unique<tessaron::test::TempAppPaths>(); }
    void cleanupTestCase() { m_paths.reset(); }

    // With no room at all, then four times more at each try until the step gives its result, each step of the viewer
    // ends with its result or its failure, never with the program: a report is stored whole or not at all, and the
    // earlier PDF stays until a whole new one replaces it. The decode, the export and the reopen tell running out of
    // memory as such, a reopen that failed leaving the report shown before it; a save can also run SQLite out of
    // memory first, which it tells as a failed row; a reopen whose memory runs out once the report is read, while the
    // page's rows are made, too. A chart's build that runs out hands back no series, and chosen again with the limit
    // lifted it is built.
    void runningOutOfMemoryIsAMessage_data()
    {
        QTest::addColumn<QString>("download"); // a month of a vehicle unit, synthetic or real
        QTest::addColumn<int>("copies"); // joined in one file
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("success");
        QTest::addColumn<QString>("message"); // of running out of memory; empty: any failure
        const QString synthetic = u"synthetic"_s;
        const QString decodeMessage = u"Не удалось разобрать файл: недостаточно памяти"_s;
        QTest::newRow("decoding six synthetic months") << synthetic << 6 << u"decode"_s << s_decoded << decodeMessage;
        QTest::newRow("saving six synthetic months")
            << synthetic << 6 << u"save"_s << u"Отчёт сохранён в ReportsDB.db (№1)"_s << QString();
        QTest::newRow("exporting six synthetic months")
            << synthetic << 6 << u"export"_s << u"Отчёт сохранён: %1"_s.arg(pdfPath())
            << u"Не удалось создать PDF отчёта: недостаточно памяти"_s;
        QTest::newRow("reopening six synthetic months")
            << synthetic << 6 << u"reopen"_s << u"Сохранённый отчёт №1 открыт"_s
            << u"Не удалось прочитать сохранённый отчёт: недостаточно памяти"_s;
        QTest::newRow("reopening six synthetic months, memory running out once they are read")
            << synthetic << 6 << u"reopen rows"_s << u"Сохранённый отчёт №1 открыт"_s
            << u"Не удалось прочитать сохранённый отчёт: недостаточно памяти"_s;
        QTest::newRow("speed chart of six synthetic months")
            << synthetic << 6 << u"speed chart"_s << u"built"_s << u"failed"_s;
        QTest::newRow("activity chart of six synthetic months")
            << synthetic << 6 << u"activity chart"_s << u"built"_s << u"failed"_s;
        for (const char *again :
            {"speed chart, chosen again", "activity chart, switched off and on", "speed chart, given the same rows"}) {
            QTest::addRow("%s once memory is back", again)
                << synthetic << 6 << QString::fromLatin1(again) << u"built"_s << u"failed, then built"_s;
        }
        // As a workshop's joined download arrives; its save and export take minutes.
        QTest::newRow("decoding 162 real months")
            << u"vu-gen1-a.ddd"_s << 162 << u"decode"_s << s_decoded << decodeMessage;
    }
    void runningOutOfMemoryIsAMessage()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves terabytes of address space for its shadow memory: no address-space limit "
              "leaves it room to run");
#endif
        QFETCH(QString, download);
        QFETCH(int, copies);
        QFETCH(QString, step);
        QFETCH(QString, success);
        QFETCH(QString, message);
        QByteArray month = tessaron::test::VuFileBuilder::typicalDownload(31, 1440);
        if (download != u"synthetic"_s) {
            if (const QString missing = tessaron::test::missingSample(download); !missing.isEmpty())
                TESSARON_SKIP_SAMPLE(missing);
            month = tessaron::test::fileBytes(tessaron::test::samplePath(download));
        }
        const QString path = m_paths->filePath(u"download.ddd"_s);
        QVERIFY(tessaron::test::writeFile(path, month.repeated(copies)));

        // Room grows fourfold from none until the step gives its result, then once more halfway back to the last room
        // that failed.
        QList<qint64> rooms {0};
        bool succeeded = false;
        for (qsizetype i = 0; i < rooms.size(); ++i) {
            QString failure;
            const QStringList words = runStep(path, step, rooms.at(i), &failure);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            const QString said = u"with %1 bytes of room: %2, %3"_s.arg(rooms.at(i)).arg(words.at(0), words.at(1));
            QVERIFY2(words.at(0) == s_decoded || (step == u"decode"_s && words.at(0) == message), qPrintable(said));
            const bool done = words.at(1) == success;
            QVERIFY2(done || (message.isEmpty() ? !words.at(1).isEmpty() : words.at(1) == message), qPrintable(said));
            const bool stored = step.startsWith(u"reopen"_s) || (done && step == u"save"_s);
            QVERIFY2(leftOnlyItsResult(stored, done && step == u"export"_s), qPrintable(said));
            if (done && !succeeded) {
                QVERIFY2(i > 0, "even no room at all was enough");
                rooms.append((rooms.at(i - 1) + rooms.at(i)) / 2);
            } else if (!succeeded && rooms.at(i) < (qint64(4) << 30)) {
                rooms.append(std::max<qint64>(rooms.at(i) * 4, 1 << 20));
            }
            succeeded = succeeded || done;
        }
        QVERIFY2(succeeded, "four gigabytes of room were not enough");
    }
};

int main(int argc, char *argv[])
{
    // The PDF's fonts need a GUI application, in the program started again as much as in the test.
    QGuiApplication application(argc, argv);
    if (qEnvironmentVariableIsSet("TESSARON_TEST_MEMORY_FILE"))
        return runUnderLimit();
    TestQmlDddControllerMemory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qml_ddd_controller_memory.moc"
