#include "ddd/ddd_decoder.h"
#include "ddd_file_builder.h"
#include "qml/qml_ddd_controller.h"
#include "storage/app_paths.h"
#include "storage/database_catalog.h"
#include "support/pdf_probe.h"
#include "support/second_copy.h"
#include "support/sqlite_probe.h"
#include "support/statement_hook.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"
#include "support/url_catcher.h"

#include <QDesktopServices>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <utility>

using namespace Qt::StringLiterals;
using tessaron::ddd::DddFileType;
using tessaron::ddd::DddReport;
using tessaron::qml::QmlDddController;

namespace {

DddReport report(DddFileType type, const QString &name)
{
    DddReport report;
    report.fileType = type;
    report.fileName = name;
    report.filePath = u"/downloads/"_s + name;
    report.sourceFingerprint = u"fingerprint of "_s + name;
    return report;
}

QString reportsFile()
{
    return tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::Reports);
}

// Runs SQL on the report database behind the controller's back.
bool alterDatabase(const QString &statement)
{
    return tessaron::test::SqliteProbe(reportsFile()).execute(statement);
}

qint64 storedCount(const QString &table)
{
    return tessaron::test::SqliteProbe(reportsFile()).scalar(u"SELECT count(*) FROM "_s + table).toLongLong();
}

QSemaphore s_decodeStarted;
QSemaphore s_decodeRelease;

// A decode of a damaged file, held until the test lets it go.
DddReport heldDecode(const QString &path, QString *, const std::atomic<bool> *)
{
    s_decodeStarted.release();
    s_decodeRelease.acquire();
    DddReport decoded = report(DddFileType::DriverCard, QFileInfo(path).fileName());
    decoded.truncatedBlock = u"0504"_s;
    return decoded;
}

} // namespace

class TestQmlDddControllerArchive : public QObject
{
    Q_OBJECT

public:
    static void initMain() { tessaron::test::SecondCopy::actIfAsked(); }

private Q_SLOTS:
    void init()
    {
        m_paths = std::make_unique<tessaron::test::TempAppPaths>();
        m_controller = std::make_unique<QmlDddController>();
    }

    void cleanup()
    {
        m_controller.reset();
        m_paths.reset();
        QmlDddController::setDecodeFunctionForTesting(nullptr);
        tessaron::test::releaseTimeZoneAndClock();
    }

    // Both kinds stored under id 1 and reopened by (id, type); a report stored the older way, without the meta
    // that ties it to its file, is still known as stored while it is shown; deleting, failing, listing.
    void archiveRoundTrip()
    {
        QmlDddController &controller = *m_controller;
        QSignalSpy state(&controller, &QmlDddController::stateChanged);
        QSignalSpy list(&controller, &QmlDddController::savedReportsChanged);
        QSignalSpy duplicate(&controller, &QmlDddController::duplicateReportDetected);
        controller.setReport(report(DddFileType::DriverCard, u"card.ddd"_s));
        QVERIFY(controller.saveReport());
        QCOMPARE(QList<qsizetype>({state.count(), list.count()}), QList<qsizetype>({1, 1}));
        QVERIFY(!controller.saveReport());
        QCOMPARE(controller.statusText(), u"Этот отчёт уже сохранён (№1)"_s);
        controller.setReport(report(DddFileType::Tachograph, u"vu.ddd"_s));
        QVERIFY(controller.saveReport());
        QCOMPARE(controller.statusText(), u"Отчёт сохранён в ReportsDB.db (№1)"_s);

        QVERIFY(alterDatabase(u"DELETE FROM DddRows"_s) && alterDatabase(u"DELETE FROM DddReportMeta"_s));
        QVERIFY(controller.openSavedReport(1, true));
        QCOMPARE(controller.fileType(), u"Тахограф"_s);
        QCOMPARE(controller.fileKind(), int(DddFileType::Tachograph));
        QVERIFY(controller.openSavedReport(1, false));
        QCOMPARE(controller.statusText(), u"Сохранённый отчёт №1 открыт"_s);
        QVERIFY(!controller.saveReport());
        QCOMPARE(duplicate.count(), 2);
        QCOMPARE(duplicate.last().at(0).toLongLong(), 1);

        state.clear();
        list.clear();
        QVERIFY(controller.deleteSavedReport(1, false));
        QCOMPARE(QList<qsizetype>({state.count(), list.count(), controller.savedReports().size()}),
            QList<qsizetype>({1, 1, 1}));
        QCOMPARE(controller.statusText(), u"Сохранённый отчёт удалён"_s);
        QVERIFY2(controller.saveReport(), "the shown report outlives its deletion and is stored anew");
        QCOMPARE(controller.statusText(), u"Отчёт сохранён в ReportsDB.db (№2)"_s);

        QVERIFY(!controller.openSavedReport(7, false));
        QCOMPARE(controller.lastError(), u"Сохранённый отчёт не найден"_s);
        QVERIFY(controller.deleteSavedReport(1, true));
        QCOMPARE(controller.lastError(), QString());

        QVERIFY(alterDatabase(u"DROP TABLE TachographReports"_s));
        list.clear();
        controller.refreshSavedReports();
        QVERIFY2(!controller.lastError().isEmpty(), "a failed listing is no empty archive");
        QVERIFY2(!controller.lastError().contains(u"TachographReports"_s), qPrintable(controller.lastError()));
        QCOMPARE(list.count(), 1);
    }

    void exportAndRefusals_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("status");

        const QString openFirst = u"Сначала откройте корректный файл .ddd"_s;
        const QString notGenerated = u"Отчёт не сформирован"_s;
        QTest::addRow("save without a report")
            << u"save"_s << false << QString() << openFirst << u"Выберите файл .ddd"_s;
        QTest::addRow("export without a report") << u"export"_s << false << u"%1/x.pdf"_s << openFirst << notGenerated;
        QTest::addRow("blank path") << u"export"_s << true << u" \t "_s << u"Не задан путь для сохранения отчёта"_s
                                    << notGenerated;
        QTest::addRow("folder that cannot be made")
            << u"export"_s << true << u"%1/file/report.pdf"_s << u"Не удалось создать PDF отчёта: %1/file/report.pdf"_s
            << u"Ошибка формирования отчёта"_s;
        QTest::addRow("file url") << u"export"_s << true << u"file:%1/Папка отчётов/Отчёт 1.pdf"_s << QString()
                                  << u"Отчёт сохранён: %1/Папка отчётов/Отчёт 1.pdf"_s;
        QTest::addRow("no extension") << u"export"_s << true << u" %1/report "_s << QString()
                                      << u"Отчёт сохранён: %1/report.pdf"_s;
        QTest::addRow("upper-case extension")
            << u"export"_s << true << u"%1/REPORT.PDF"_s << QString() << u"Отчёт сохранён: %1/REPORT.PDF"_s;
        QTest::addRow("document export") << u"document"_s << true << u"file:///tmp/x.pdf"_s
                                         << u"Сохранение через Android-документы доступно только на Android"_s
                                         << notGenerated;
    }

    void exportAndRefusals()
    {
        QFETCH(QString, operation);
        QFETCH(bool, shown);
        QFETCH(QString, argument);
        QFETCH(QString, error);
        QFETCH(QString, status);

        QVERIFY(tessaron::test::writeFile(m_paths->filePath(u"file"_s), "not a folder"));
        QmlDddController &controller = *m_controller;
        if (shown)
            controller.setReport(report(DddFileType::Tachograph, u"vu.ddd"_s));
        QSignalSpy state(&controller, &QmlDddController::stateChanged);
        const QString folder = m_paths->path();
        bool result = false;
        if (operation == u"save")
            result = controller.saveReport();
        else if (operation == u"export")
            result = controller.exportReportPdf(argument.replace(u"%1"_s, folder), {});
        else
            result = controller.exportReportPdfDocument(QUrl(argument));
        QCOMPARE(QList<QString>({controller.lastError(), controller.statusText()}),
            QList<QString>({error.replace(u"%1"_s, folder), status.replace(u"%1"_s, folder)}));
        QCOMPARE(result, error.isEmpty());
        QCOMPARE(state.count(), 1);
        QVERIFY2(!result || QFileInfo(status.section(u": "_s, 1)).size() > 0, "the PDF is where the status says");
    }

    void realCardExportsTheChosenContents()
    {
        TESSARON_REQUIRE_SAMPLE(sample, u"card-gen1-a.ddd"_s);
        m_controller->setReport(tessaron::ddd::Decoder::decodeFile(sample, nullptr));
        const QString path = m_paths->filePath(u"Отчёты мастерской/карта 1.pdf"_s);
        const QVariantMap options {
            {u"sections"_s, QStringList {u"basicInfo"_s}}, {u"graphs"_s, QStringList {u"activity"_s}}};
        QVERIFY2(m_controller->exportReportPdf(QUrl::fromLocalFile(path).toString(), options),
            qPrintable(m_controller->lastError()));

        const QByteArray pdf = tessaron::test::fileBytes(path);
        QVERIFY(tessaron::test::pdfInfoValue(pdf, u"Pages"_s).toInt() >= 1);
        const QString text = tessaron::test::pdfPageTexts(pdf).join(u'\n');
        QVERIFY(text.contains(u"Основная информация"_s) && text.contains(u"Изменения активности по дням"_s));
        QVERIFY2(!text.contains(u"Статистика"_s), "a section that was not chosen");
    }

    // A stored report opened during a decode would be replaced by its result a moment later.
    void openingIsRefusedWhileADecodeRuns()
    {
        QmlDddController &controller = *m_controller;
        controller.setReport(report(DddFileType::DriverCard, u"card.ddd"_s));
        QVERIFY(controller.saveReport());
        QmlDddController::setDecodeFunctionForTesting(heldDecode);
        const QString path = m_paths->filePath(u"held.ddd"_s);
        QVERIFY(tessaron::test::writeFile(path, "x") && controller.openFile(path));
        QVERIFY(s_decodeStarted.tryAcquire(1, 10000));
        // A failing check must not leave the decode held: the controller's destructor waits for it.
        auto release = qScopeGuard([] { s_decodeRelease.release(); });
        QSignalSpy state(&controller, &QmlDddController::stateChanged);
        QCOMPARE(controller.openSavedReport(1, false), false);
        QCOMPARE(state.count(), 0);

        release.dismiss();
        s_decodeRelease.release();
        QVERIFY(QTest::qWaitFor([&controller] { return !controller.isBusy(); }, 10000));
        QVERIFY(controller.statusWarning());
        QVERIFY(controller.openSavedReport(1, false));
        QVERIFY2(!controller.statusWarning(), "the damaged decode's colours do not stay on a stored report");
    }

    void successAfterAWarningIsToldAsSuccess_data()
    {
        QTest::addColumn<QByteArray>("download");
        QTest::addColumn<bool>("tachograph");
        QTest::addColumn<QString>("warning"); // how its decode and its reopen are told, as a warning; empty: not
        using tessaron::test::CardFileBuilder;
        using tessaron::test::VuFileBuilder;
        const QByteArray secondGeneration = VuFileBuilder::typicalDownload(1, 2)
            + VuFileBuilder().addRecordArrays(0x24, {{0x12, 64, {QByteArray(64, 4)}}}).build();
        QTest::addRow("vehicle unit with second-generation data")
            << secondGeneration << true << u"Разбор завершён: данные второго поколения не расшифрованы (блоков: 1)"_s;
        QTest::addRow("card cut inside its activity file") << CardFileBuilder::driverCardCutInActivity(
            CardFileBuilder::workingDays(3)) << false << u"Файл обрезан: блок 0504 короче заявленного"_s;
    }

    // A damaged or partly decoded download is told in the warning colours; the save, the duplicate found, the export
    // and the removal that follow it are successes and are told so. A cut report reopened is told as its decode.
    void successAfterAWarningIsToldAsSuccess()
    {
        QFETCH(QByteArray, download);
        QFETCH(bool, tachograph);
        QFETCH(QString, warning);
        QmlDddController &controller = *m_controller;
        const auto status = [&controller] { return std::pair(controller.statusText(), controller.statusWarning()); };
        const QString path = m_paths->filePath(u"download.ddd"_s);
        QVERIFY(tessaron::test::writeFile(path, download) && controller.openFile(path));
        QVERIFY(QTest::qWaitFor([&controller] { return !controller.isBusy(); }, 20000));
        QCOMPARE(status(), std::pair(warning, true));
        QVERIFY(controller.saveReport());
        QCOMPARE(status(), std::pair(u"Отчёт сохранён в ReportsDB.db (№1)"_s, false));
        QVERIFY(controller.openSavedReport(1, tachograph));
        const bool cut = !controller.report().truncatedBlock.isEmpty();
        QCOMPARE(status(), std::pair(cut ? warning : u"Сохранённый отчёт №1 открыт"_s, cut));
        QVERIFY(!controller.saveReport());
        QCOMPARE(status(), std::pair(u"Этот отчёт уже сохранён (№1)"_s, false));
        const QString pdf = m_paths->filePath(u"report.pdf"_s);
        QVERIFY(controller.openSavedReport(1, tachograph) && controller.exportReportPdf(pdf));
        QCOMPARE(status(), std::pair(u"Отчёт сохранён: %1"_s.arg(pdf), false));
        QVERIFY(controller.openSavedReport(1, tachograph) && controller.deleteSavedReport(1, tachograph));
        QCOMPARE(status(), std::pair(u"Сохранённый отчёт удалён"_s, false));
        QVERIFY(controller.lastError().isEmpty());
    }

    void reopenedAsDecodedOrNotAtAll_data()
    {
        QTest::addColumn<QByteArray>("download"); // decoded, exported and saved as report 1 of its kind
        QTest::addColumn<QString>(
            "intruder"); // what a second copy does while report 1 is read: "hold" the file, "remove"
        QTest::addColumn<QString>("atStatement"); // ... as the load's statement holding this text starts
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("warning");

        using tessaron::test::CardFileBuilder;
        const QByteArray whole = CardFileBuilder::driverCardWithActivity(CardFileBuilder::workingDays(3));
        const QByteArray cut = CardFileBuilder::driverCardCutInActivity(CardFileBuilder::workingDays(3));
        const QString truncated = u"Файл обрезан: блок 0504 короче заявленного"_s;
        QTest::addRow("whole card") << whole << QString() << QString() << QString() << u"Сохранённый отчёт №1 открыт"_s
                                    << false;
        QTest::addRow("card cut inside its activity file")
            << cut << QString() << QString() << QString() << truncated << true;
        QTest::addRow("report removed by another copy while it is read")
            << cut << u"remove"_s << u"FROM DddSections"_s << QString() << truncated << true;
        QTest::addRow("file held by another program past the wait")
            << whole << u"hold"_s << u"FROM DriverCardReports"_s
            << u"Не удалось прочитать сохранённый отчёт: базу отчётов держит другая программа дольше 5 с"_s
            << u"Выберите файл .ddd"_s << false;
    }

    // A stored report reopens as its download was decoded (a cut one told as cut, in the status and in the PDF), read
    // whole whatever another program does meanwhile, or not at all: a load that failed shows nothing and offers
    // nothing to save.
    void reopenedAsDecodedOrNotAtAll()
    {
        QFETCH(QByteArray, download);
        QFETCH(QString, intruder);
        QFETCH(QString, atStatement);
        QFETCH(QString, error);
        QFETCH(QString, status);
        QFETCH(bool, warning);
        tessaron::test::pinTimeZoneAndClock(); // one "now" in both PDFs
        QmlDddController &controller = *m_controller;
        const QString path = m_paths->filePath(u"download.ddd"_s);
        QVERIFY(tessaron::test::writeFile(path, download) && controller.openFile(path));
        QVERIFY(QTest::qWaitFor([&controller] { return !controller.isBusy(); }, 20000));
        const QList<QVariant> decoded {controller.statusText(), controller.statusWarning()};
        const QString decodedPdf = m_paths->filePath(u"decoded.pdf"_s);
        QVERIFY(controller.exportReportPdf(decodedPdf));
        QVERIFY(controller.saveReport());
        QCOMPARE(controller.statusText(), u"Отчёт сохранён в ReportsDB.db (№1)"_s);
        const qint64 storedRows = storedCount(u"DddRows"_s);
        controller.clear();

        std::unique_ptr<tessaron::test::SecondCopy> copy;
        bool opened = false;
        {
            const tessaron::test::StatementHook hook(u"TessaronDdd_"_s, [&](const QString &statement) {
                if (!intruder.isEmpty() && !copy && statement.contains(atStatement))
                    copy = intruder == u"hold"_s
                        ? tessaron::test::SecondCopy::holdFile(reportsFile(), std::chrono::milliseconds(300))
                        : tessaron::test::SecondCopy::removeReport(reportsFile(), 1, DddFileType::DriverCard);
            });
            QVERIFY(hook.isHooked());
            opened = controller.openSavedReport(1, false);
        }
        QCOMPARE(copy == nullptr, intruder.isEmpty());
        QCOMPARE(QList<QVariant>({opened, controller.lastError(), controller.statusText(), controller.statusWarning()}),
            QList<QVariant>({error.isEmpty(), error, status, warning}));
        if (!error.isEmpty()) {
            QCOMPARE(copy->said(), u"held"_s);
            copy->finish();
            QCOMPARE(controller.fileKind(), 0);
            QVERIFY(controller.blocks().isEmpty());
            QVERIFY(!controller.saveReport());
            QCOMPARE(controller.lastError(), u"Сначала откройте корректный файл .ddd"_s);
            QCOMPARE(storedCount(u"DriverCardReports"_s), 1);
            return;
        }
        if (warning)
            QCOMPARE(decoded, QList<QVariant>({status, warning}));
        const QString reopenedPdf = m_paths->filePath(u"reopened.pdf"_s);
        QVERIFY(controller.exportReportPdf(reopenedPdf));
        const QStringList pages = tessaron::test::pdfPageTexts(tessaron::test::fileBytes(reopenedPdf));
        QCOMPARE(pages, tessaron::test::pdfPageTexts(tessaron::test::fileBytes(decodedPdf)));
        QCOMPARE(pages.value(0).contains(u"Файл обрезан"_s), warning);
        if (warning)
            QVERIFY2(pages.value(0).contains(status), qPrintable(pages.value(0)));

        if (intruder == u"remove"_s) {
            QCOMPARE(QList<QString>({copy->said(), copy->finish()}), QList<QString>({u"committing"_s, u"removed"_s}));
            // What was shown is the whole report, which "Сохранить" stores again.
            QVERIFY(controller.saveReport());
            QCOMPARE(controller.statusText(), u"Отчёт сохранён в ReportsDB.db (№2)"_s);
            QCOMPARE(storedCount(u"DddRows"_s), storedRows);
            QCOMPARE(
                tessaron::test::SqliteProbe(reportsFile())
                    .scalar(u"SELECT json_extract(Json, '$.truncatedBlock') FROM DddReportMeta WHERE ReportId = 2"_s)
                    .toString(),
                u"0504"_s);
        }
    }

    void dataFolderIsCreatedAndHandedToTheDesktop()
    {
        tessaron::test::UrlCatcher desktop;
        QDesktopServices::setUrlHandler(u"file"_s, &desktop, "open");
        m_controller->openDataFolder();
        QDesktopServices::unsetUrlHandler(u"file"_s);
        const QString folder = tessaron::storage::AppPaths::downloadDirectory();
        QCOMPARE(desktop.urls, QList<QUrl> {QUrl::fromLocalFile(folder)});
        QVERIFY(QFileInfo(folder).isDir());
    }

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    std::unique_ptr<QmlDddController> m_controller;
};

QTEST_MAIN(TestQmlDddControllerArchive)

#include "tst_qml_ddd_controller_archive.moc"
