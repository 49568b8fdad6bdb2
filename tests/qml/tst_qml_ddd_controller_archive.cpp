#include "ddd/ddd_decoder.h"
#include "ddd/ddd_repository.h"
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
using tessaron::test::SqliteProbe;

namespace {

DddReport report(DddFileType type, const QString &name)
{
    DddReport report;
    report.fileType = type;
    report.fileName = name;
    report.filePath = u"/downloads/"_s + name;
    report.sourceFingerprint = u"fingerprint of "_s + name;
    report.cardNumber = u"RUD0000012345600"_s;
    report.driverSurname = u"IVANOV"_s;
    report.vin = u"XTA21099000000001"_s;
    report.events = {QVariantMap {{u"eventType"_s, u"1"_s}}};
    return report;
}

QString reportsDatabase()
{
    return tessaron::storage::DatabaseCatalog::path(tessaron::storage::KnownDatabase::Reports);
}

QSemaphore s_decodeStarted;
QSemaphore s_decodeRelease;

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
        s_decodeStarted.acquire(s_decodeStarted.available());
        s_decodeRelease.acquire(s_decodeRelease.available());
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
        QCOMPARE(state.count(), 1);
        QCOMPARE(list.count(), 1);
        QCOMPARE(controller.savedReports().size(), 1);

        QVERIFY(!controller.saveReport());
        QCOMPARE(duplicate.count(), 1);
        QCOMPARE(duplicate.at(0).at(0).toLongLong(), 1);
        QCOMPARE(controller.statusText(), u"Этот отчёт уже сохранён (№1)"_s);
        QCOMPARE(controller.lastError(), QString());
        QCOMPARE(list.count(), 1);

        controller.setReport(report(DddFileType::Tachograph, u"vu.ddd"_s));
        QVERIFY(controller.saveReport());
        QCOMPARE(controller.statusText(), u"Отчёт сохранён в ReportsDB.db (№1)"_s);
        QCOMPARE(controller.savedReports().size(), 2);

        // Both are number 1: the kind tells them apart.
        QVERIFY(controller.openSavedReport(1, false));
        QCOMPARE(controller.fileType(), u"Карта водителя"_s);
        QCOMPARE(controller.fileName(), u"card.ddd"_s);
        QCOMPARE(controller.statusText(), u"Сохранённый отчёт №1 открыт"_s);
        QVERIFY(controller.openSavedReport(1, true));
        QCOMPARE(controller.fileType(), u"Тахограф"_s);

        state.clear();
        list.clear();
        QVERIFY(controller.deleteSavedReport(1, true));
        QCOMPARE(controller.statusText(), u"Сохранённый отчёт удалён"_s);
        QCOMPARE(controller.fileName(), u"vu.ddd"_s);
        QCOMPARE(state.count(), 1);
        QCOMPARE(list.count(), 1);
        const QVariantList left = controller.savedReports();
        QCOMPARE(left.size(), 1);
        QCOMPARE(left.at(0).toMap().value(u"reportType"_s).toString(), u"Карта водителя"_s);

        QVERIFY(!controller.openSavedReport(7, false));
        QCOMPARE(controller.lastError(), u"Сохранённый отчёт не найден"_s);
        QCOMPARE(controller.statusText(), u"Сохранённый отчёт удалён"_s);
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
        const QString before = u"Выберите файл .ddd"_s;
        const QString notGenerated = u"Отчёт не сформирован"_s;
        QTest::addRow("save without a report") << u"save"_s << false << QString() << openFirst << before;
        QTest::addRow("export without a report")
            << u"export"_s << false << u"/tmp/x.pdf"_s << openFirst << notGenerated;
        QTest::addRow("export to a blank path")
            << u"export"_s << true << u" \t "_s << u"Не задан путь для сохранения отчёта"_s << notGenerated;
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

        QmlDddController &controller = *m_controller;
        if (shown)
            controller.setReport(report(DddFileType::DriverCard, u"card.ddd"_s));
        QSignalSpy state(&controller, &QmlDddController::stateChanged);
        bool result = true;
        if (operation == u"save")
            result = controller.saveReport();
        else if (operation == u"export")
            result = controller.exportReportPdf(argument);
        else
            result = controller.exportReportPdfDocument(QUrl(argument));
        QCOMPARE(result, false);
        QCOMPARE(controller.lastError(), error);
        QCOMPARE(controller.statusText(), status);
        QCOMPARE(state.count(), 1);
    }

    void exportWritesThePdfWhereThePathSays_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("written");

        QTest::addRow("file url") << u"file:%1/Отчёт с пробелом.pdf"_s << u"Отчёт с пробелом.pdf"_s;
        QTest::addRow("escaped file url")
            << u"file:%1/%D0%BE%D1%82%D1%87%D1%91%D1%82%20%231.pdf"_s << u"отчёт #1.pdf"_s;
        QTest::addRow("no extension") << u" %1/report "_s << u"report.pdf"_s;
        QTest::addRow("upper-case extension") << u"%1/REPORT.PDF"_s << u"REPORT.PDF"_s;
        QTest::addRow("relative to the current folder") << u"relative"_s << u"relative.pdf"_s;
    }

    void exportWritesThePdfWhereThePathSays()
    {
        QFETCH(QString, argument);
        QFETCH(QString, written);

        const QString folder = m_paths->filePath(u"Папка отчётов"_s);
        QVERIFY(QDir().mkpath(folder));
        const QString previous = QDir::currentPath();
        QDir::setCurrent(folder);
        auto restore = qScopeGuard([&previous] { QDir::setCurrent(previous); });
        QmlDddController &controller = *m_controller;
        controller.setReport(report(DddFileType::DriverCard, u"card.ddd"_s));
        QSignalSpy state(&controller, &QmlDddController::stateChanged);

        const QString path = QDir(folder).filePath(written);
        QVERIFY2(controller.exportReportPdf(argument.contains(u"%1"_s) ? argument.arg(folder) : argument,
                     {{u"sections"_s, QStringList {u"basicInfo"_s}}}),
            qPrintable(controller.lastError()));
        QCOMPARE(controller.statusText(), u"Отчёт сохранён: "_s + path);
        QCOMPARE(controller.lastError(), QString());
        QCOMPARE(state.count(), 1);
        QVERIFY(tessaron::test::fileBytes(path).startsWith("%PDF"));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList {written});
    }

    void realCardExportsTheChosenContents()
    {
        TESSARON_REQUIRE_SAMPLE(sample, u"card-gen1-a.ddd"_s);
        QString error;
        m_controller->setReport(tessaron::ddd::Decoder::decodeFile(sample, &error));
        const QString folder = m_paths->filePath(u"Отчёты мастерской"_s);
        const QVariantMap options {
            {u"sections"_s, QStringList {u"basicInfo"_s}}, {u"graphs"_s, QStringList {u"activity"_s}}};
        QVERIFY2(m_controller->exportReportPdf(QUrl::fromLocalFile(folder + u"/карта 1"_s).toString(), options),
            qPrintable(m_controller->lastError()));

        const QByteArray pdf = tessaron::test::fileBytes(folder + u"/карта 1.pdf"_s);
        QVERIFY(tessaron::test::pdfInfoValue(pdf, u"Pages"_s).toInt() >= 1);
        const QString text = tessaron::test::pdfPageTexts(pdf).join(u'\n');
        QVERIFY(text.contains(u"Основная информация"_s));
        QVERIFY(text.contains(u"Изменения активности по дням"_s));
        QVERIFY2(!text.contains(u"Статистика"_s), "a section that was not chosen");
        QVERIFY2(!text.contains(u"Использованные транспортные средства"_s), "a section that was not chosen");
    }

    void exportIntoAFolderThatCannotBeMadeFails()
    {
        const QString blocker = m_paths->filePath(u"file"_s);
        QVERIFY(tessaron::test::writeFile(blocker, "not a folder"));
        QmlDddController &controller = *m_controller;
        controller.setReport(report(DddFileType::Tachograph, u"vu.ddd"_s));
        const QString path = blocker + u"/report.pdf"_s;
        QVERIFY(!controller.exportReportPdf(path, {}));
        QCOMPARE(controller.lastError(), u"Не удалось создать PDF отчёта: "_s + path);
        QCOMPARE(controller.statusText(), u"Ошибка формирования отчёта"_s);
    }

    void openingIsRefusedWhileADecodeRunsAndShowsNoDecodeWarning()
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
        QCOMPARE(controller.statusText(), u"Разбор файла .ddd..."_s);

        release.dismiss();
        s_decodeRelease.release();
        QVERIFY(QTest::qWaitFor([&controller] { return !controller.isBusy(); }, 10000));
        QCOMPARE(controller.fileName(), u"held.ddd"_s);
        QVERIFY(controller.statusWarning());
        QVERIFY(controller.openSavedReport(1, false));
        QVERIFY(!controller.statusWarning());
    }

    void aReportStoredWithoutItsFileIsFoundThroughItsReopening()
    {
        QmlDddController &controller = *m_controller;
        controller.setReport(report(DddFileType::DriverCard, u"card.ddd"_s));
        QVERIFY(controller.saveReport());
        // As stored by the older layout: header and typed rows, no meta with a fingerprint or path.
        const SqliteProbe probe(reportsDatabase());
        QVERIFY(probe.execute(u"DELETE FROM DddRows"_s));
        QVERIFY(probe.execute(u"DELETE FROM DddReportMeta"_s));

        QVERIFY(controller.openSavedReport(1, false));
        QSignalSpy duplicate(&controller, &QmlDddController::duplicateReportDetected);
        QVERIFY(!controller.saveReport());
        QCOMPARE(duplicate.count(), 1);
        QCOMPARE(duplicate.at(0).at(0).toLongLong(), 1);
        QCOMPARE(controller.statusText(), u"Этот отчёт уже сохранён (№1)"_s);

        QVERIFY(controller.deleteSavedReport(1, false));
        QVERIFY(controller.saveReport());
        QCOMPARE(controller.statusText(), u"Отчёт сохранён в ReportsDB.db (№2)"_s);
        QCOMPARE(duplicate.count(), 1);
    }

    void aFailedListingIsNotAnEmptyArchive()
    {
        QmlDddController &controller = *m_controller;
        controller.setReport(report(DddFileType::DriverCard, u"card.ddd"_s));
        QVERIFY(controller.saveReport());
        QVERIFY(SqliteProbe(reportsDatabase()).execute(u"DROP TABLE TachographReports"_s));

        QSignalSpy state(&controller, &QmlDddController::stateChanged);
        QSignalSpy list(&controller, &QmlDddController::savedReportsChanged);
        controller.refreshSavedReports();
        QVERIFY2(controller.lastError().contains(u"TachographReports"_s), qPrintable(controller.lastError()));
        QVERIFY(controller.savedReports().isEmpty());
        QCOMPARE(state.count(), 1);
        QCOMPARE(list.count(), 1);
    }

    void dataFolderIsCreatedAndHandedToTheDesktop()
    {
        tessaron::test::UrlCatcher recorder;
        QDesktopServices::setUrlHandler(u"file"_s, &recorder, "open");
        const QString folder = tessaron::storage::AppPaths::downloadDirectory();
        QVERIFY(!QFileInfo::exists(folder));
        m_controller->openDataFolder();
        QDesktopServices::unsetUrlHandler(u"file"_s);
        QCOMPARE(recorder.urls, QList<QUrl> {QUrl::fromLocalFile(folder)});
        QVERIFY(QFileInfo(folder).isDir());
    }

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    std::unique_ptr<QmlDddController> m_controller;
};

QTEST_MAIN(TestQmlDddControllerArchive)

#include "tst_qml_ddd_controller_archive.moc"
