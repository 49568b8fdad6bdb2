#include "ddd/ddd_decoder.h"
#include "qml/qml_ddd_controller.h"
#include "storage/app_paths.h"
#include "storage/database_catalog.h"
#include "support/pdf_probe.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "support/url_catcher.h"

#include <QDesktopServices>
#include <QDir>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <memory>

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
    report.cardNumber = u"RUD0000012345600"_s;
    return report;
}

// Runs SQL on the report database behind the controller's back.
bool alterDatabase(const QString &statement)
{
    return tessaron::test::SqliteProbe(
        tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::Reports))
        .execute(statement);
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
    }

    void savesListsReopensAndDeletesBothKinds()
    {
        QmlDddController &controller = *m_controller;
        QSignalSpy state(&controller, &QmlDddController::stateChanged);
        QSignalSpy list(&controller, &QmlDddController::savedReportsChanged);
        QSignalSpy duplicate(&controller, &QmlDddController::duplicateReportDetected);
        controller.setReport(report(DddFileType::DriverCard, u"card.ddd"_s));
        QVERIFY(controller.saveReport());
        QCOMPARE(controller.statusText(), u"Отчёт сохранён в ReportsDB.db (№1)"_s);
        QCOMPARE(QList<qsizetype>({state.count(), list.count()}), QList<qsizetype>({1, 1}));
        QVERIFY(!controller.saveReport());
        QCOMPARE(duplicate.count(), 1);
        QCOMPARE(duplicate.at(0).at(0).toLongLong(), 1);
        QCOMPARE(controller.statusText(), u"Этот отчёт уже сохранён (№1)"_s);

        controller.setReport(report(DddFileType::Tachograph, u"vu.ddd"_s));
        QVERIFY(controller.saveReport());
        QCOMPARE(controller.statusText(), u"Отчёт сохранён в ReportsDB.db (№1)"_s);
        QCOMPARE(controller.savedReports().size(), 2);
        QVERIFY(controller.openSavedReport(1, false));
        QCOMPARE(controller.statusText(), u"Сохранённый отчёт №1 открыт"_s);
        QVERIFY(controller.openSavedReport(1, true));
        QCOMPARE(controller.fileType(), u"Тахограф"_s);

        state.clear();
        list.clear();
        QVERIFY(controller.deleteSavedReport(1, true));
        QCOMPARE(controller.statusText(), u"Сохранённый отчёт удалён"_s);
        QCOMPARE(controller.fileName(), u"vu.ddd"_s);
        QCOMPARE(QList<qsizetype>({state.count(), list.count()}), QList<qsizetype>({1, 1}));
        QCOMPARE(controller.savedReports().size(), 1);

        QVERIFY(!controller.openSavedReport(7, false));
        QCOMPARE(controller.lastError(), u"Сохранённый отчёт не найден"_s);
        QCOMPARE(controller.fileName(), u"vu.ddd"_s);
        // A success clears the failure before it, which the status bar would show over it.
        QVERIFY(controller.deleteSavedReport(1, false));
        QCOMPARE(controller.lastError(), QString());
        QVERIFY(controller.savedReports().isEmpty());
    }

    void refusals_data()
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
        QTest::addRow("export without a report") << u"export"_s << false << u"x.pdf"_s << openFirst << notGenerated;
        QTest::addRow("export to a blank path")
            << u"export"_s << true << u" \t "_s << u"Не задан путь для сохранения отчёта"_s << notGenerated;
        QTest::addRow("export into a folder that cannot be made")
            << u"export"_s << true << u"%1/file/report.pdf"_s << u"Не удалось создать PDF отчёта: %1/file/report.pdf"_s
            << u"Ошибка формирования отчёта"_s;
        QTest::addRow("document export without a report")
            << u"document"_s << false << QString() << openFirst << notGenerated;
        QTest::addRow("document export") << u"document"_s << true << u"file:///tmp/x.pdf"_s
                                         << u"Сохранение через Android-документы доступно только на Android"_s
                                         << notGenerated;
    }

    void refusals()
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
        bool result = true;
        if (operation == u"save")
            result = controller.saveReport();
        else if (operation == u"export")
            result = controller.exportReportPdf(argument.replace(u"%1"_s, m_paths->path()));
        else
            result = controller.exportReportPdfDocument(QUrl(argument));
        QCOMPARE(result, false);
        QCOMPARE(controller.lastError(), error.replace(u"%1"_s, m_paths->path()));
        QCOMPARE(controller.statusText(), status);
        QCOMPARE(state.count(), 1);
    }

    void exportWritesWhereThePathSays_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("written");

        QTest::addRow("file url") << u"file:%1/Отчёт с пробелом.pdf"_s << u"Отчёт с пробелом.pdf"_s;
        QTest::addRow("no extension") << u" %1/report "_s << u"report.pdf"_s;
        QTest::addRow("upper-case extension") << u"%1/REPORT.PDF"_s << u"REPORT.PDF"_s;
    }

    void exportWritesWhereThePathSays()
    {
        QFETCH(QString, argument);
        QFETCH(QString, written);

        const QString folder = m_paths->filePath(u"Папка отчётов"_s);
        m_controller->setReport(report(DddFileType::DriverCard, u"card.ddd"_s));

        QVERIFY2(m_controller->exportReportPdf(argument.replace(u"%1"_s, folder), {}),
            qPrintable(m_controller->lastError()));
        QCOMPARE(m_controller->statusText(), u"Отчёт сохранён: "_s + QDir(folder).filePath(written));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList {written});
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
        QVERIFY(text.contains(u"Основная информация"_s));
        QVERIFY(text.contains(u"Изменения активности по дням"_s));
        QVERIFY2(!text.contains(u"Статистика"_s), "a section that was not chosen");
    }

    void openingIsRefusedWhileADecodeRuns()
    {
        QmlDddController &controller = *m_controller;
        controller.setReport(report(DddFileType::DriverCard, u"card.ddd"_s));
        QVERIFY(controller.saveReport());
        QmlDddController::setDecodeFunctionForTesting(heldDecode);
        const QString path = m_paths->filePath(u"held.ddd"_s);
        QVERIFY(tessaron::test::writeFile(path, "x"));
        QVERIFY(controller.openFile(path));
        QVERIFY(s_decodeStarted.tryAcquire(1, 10000));
        // A failing check must not leave the decode held: the controller's destructor waits for it.
        auto release = qScopeGuard([] { s_decodeRelease.release(); });
        QSignalSpy state(&controller, &QmlDddController::stateChanged);
        QCOMPARE(controller.openSavedReport(1, false), false);
        QCOMPARE(state.count(), 0);
        QCOMPARE(controller.fileName(), QString());

        release.dismiss();
        s_decodeRelease.release();
        QVERIFY(QTest::qWaitFor([&controller] { return !controller.isBusy(); }, 10000));
        QVERIFY(controller.statusWarning());
        QVERIFY(controller.openSavedReport(1, false));
        QVERIFY2(!controller.statusWarning(), "the damaged decode's colours do not stay on a stored report");
    }

    void aReportStoredWithoutItsFileIsFoundThroughItsReopening()
    {
        QmlDddController &controller = *m_controller;
        controller.setReport(report(DddFileType::DriverCard, u"card.ddd"_s));
        QVERIFY(controller.saveReport());
        // As the older layout stored it: header and typed rows, no meta with a fingerprint or path.
        QVERIFY(alterDatabase(u"DELETE FROM DddRows"_s));
        QVERIFY(alterDatabase(u"DELETE FROM DddReportMeta"_s));

        QVERIFY(controller.openSavedReport(1, false));
        QSignalSpy duplicate(&controller, &QmlDddController::duplicateReportDetected);
        QVERIFY(!controller.saveReport());
        QCOMPARE(duplicate.count(), 1);
        QCOMPARE(controller.statusText(), u"Этот отчёт уже сохранён (№1)"_s);
        QVERIFY(controller.deleteSavedReport(1, false));
        QVERIFY(controller.saveReport());
        QCOMPARE(controller.statusText(), u"Отчёт сохранён в ReportsDB.db (№2)"_s);
    }

    void aFailedListingIsNotAnEmptyArchive()
    {
        m_controller->setReport(report(DddFileType::DriverCard, u"card.ddd"_s));
        QVERIFY(m_controller->saveReport());
        QVERIFY(alterDatabase(u"DROP TABLE TachographReports"_s));
        QSignalSpy state(m_controller.get(), &QmlDddController::stateChanged);
        QSignalSpy list(m_controller.get(), &QmlDddController::savedReportsChanged);
        m_controller->refreshSavedReports();
        QVERIFY2(m_controller->lastError().contains(u"TachographReports"_s), qPrintable(m_controller->lastError()));
        QCOMPARE(QList<qsizetype>({state.count(), list.count()}), QList<qsizetype>({1, 1}));
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
