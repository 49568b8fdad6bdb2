#include "documents/ddd_report_renderer.h"

#include "ddd/activity_analyzer.h"
#include "ddd/ddd_decoder.h"
#include "documents/ddd_report_renderer_p.h"
#include "qml/qml_ddd_controller.h"
#include "support/pdf_probe.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QtTest>

#include <sys/resource.h>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace tessaron::documents;
using tessaron::ddd::DddFileType;
using tessaron::ddd::DddReport;
using tessaron::test::pdfPageTexts;
using Row = QVariantMap;

Q_DECLARE_METATYPE(DddReport)

namespace {

QString drawnText(const std::function<void(ReportPainter &)> &draw)
{
    tessaron::test::PdfCanvas canvas;
    draw(canvas.painter());
    return pdfPageTexts(canvas.finish()).join(QString()).simplified();
}

QStringList labelsOf(const QList<ChartPoint> &points)
{
    QStringList labels;
    for (const ChartPoint &point : points)
        labels.append(u"%1=%2"_s.arg(point.label).arg(point.value));
    return labels;
}

// A vehicle unit with a VIN, `events` one-line event rows and one day row; no analysis.
DddReport vehicleUnit(int events)
{
    DddReport report;
    report.fileType = DddFileType::Tachograph;
    report.fileName = u"synthetic-vu.ddd"_s;
    report.vin = u"XLR0000TEST000001"_s;
    for (int i = 0; i < events; ++i) {
        report.tachoEvents.append(Row {{u"eventType"_s, u"Событие %1"_s.arg(i)}, {u"eventRecordPurpose"_s, u"п"_s},
            {u"eventBeginTime"_s, u"01.02.2026 10:00:00"_s}, {u"eventEndTime"_s, u"01.02.2026 10:05:00"_s}});
    }
    report.activityDaily.append(Row {{u"dayNo"_s, 1}});
    return report;
}

QVariantMap options(const QStringList &sections, const QStringList &graphs = {})
{
    return {{u"sections"_s, sections}, {u"graphs"_s, graphs}};
}

// The report's PDF with every section, written in a folder of its own.
QByteArray reportPdf(const DddReport &report)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(u"report.pdf"_s);
    return DddReportRenderer::writePdf(path, report) ? tessaron::test::fileBytes(path) : QByteArray();
}

void verifyTexts(const QString &text, const QStringList &present, const QStringList &absent)
{
    for (const QString &expected : present)
        QVERIFY2(text.contains(expected), qPrintable(expected));
    for (const QString &unexpected : absent)
        QVERIFY2(!text.contains(unexpected), qPrintable(unexpected));
}

} // namespace

class TestDddReportRenderer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { tessaron::test::pinTimeZoneAndClock(); }
    void cleanupTestCase() { tessaron::test::releaseTimeZoneAndClock(); }

    // The spellings of "every section" the form may send; an absent key, "All" and an empty list are read in
    // writePdf's rows.
    void includes_data()
    {
        QTest::addColumn<QVariantMap>("options");
        QTest::addRow("[all]") << options({u"all"_s});
        QTest::addRow("all as a single text") << QVariantMap {{u"sections"_s, u"all"_s}};
        QTest::addRow("the key in a value list") << QVariantMap {{u"sections"_s, QVariantList {1, u"vehicles"_s}}};
    }
    void includes()
    {
        QFETCH(QVariantMap, options);
        QVERIFY(tessaron::documents::includes(options, u"vehicles"_s));
    }

    void cellTexts()
    {
        const QVariant map
            = Row {{u"b"_s, 1}, {u"a"_s, QVariantList {u"x"_s, QVariantList {2, 3}}}, {u"c"_s, Row {{u"d"_s, 2}}}};
        QCOMPARE(scalarText(map), u"a: x, 2, 3; b: 1; c: d: 2"_s);
        QCOMPARE(scalarText(QVariant::fromValue(nullptr)), QString());

        const QVariantList rows
            = {Row {{u"z"_s, u"последний"_s}, {u"a"_s, QVariantList {1, 2}}, {u"m"_s, Row {{u"x"_s, 1}}}}, QVariant(7)};
        QCOMPARE(genericRows(rows), (QList<QStringList> {{u"a: 1, 2; m: x: 1; z: последний"_s}, {QString()}}));
        QCOMPARE(rowsFor(rows, {"a"_L1, "missing"_L1, "m"_L1, "z"_L1}),
            (QList<QStringList> {
                {u"1, 2"_s, QString(), QString(), u"последний"_s}, {QString(), QString(), QString(), QString()}}));
    }

    // Labels in UTF-16 order with "—" for a blank one; odometer points need a reading; mileage draws the report's
    // driven distances, as the page does.
    void chartPoints()
    {
        const QVariantList rows = {Row {{u"type"_s, u"а"_s}}, Row {{u"type"_s, u"b"_s}}, Row {{u"other"_s, u"B"_s}},
            Row {{u"type"_s, u"  "_s}}, Row {}, Row {{u"type"_s, u"b"_s}}};
        QCOMPARE(labelsOf(categoryCounts(rows, {"type"_L1, "other"_L1})),
            (QStringList {u"B=1"_s, u"b=2"_s, u"а=1"_s, u"—=2"_s}));

        const QVariantList days = {Row {{u"dayNo"_s, 3}, {u"odometerValueMidnight"_s, 266236}},
            Row {{u"dayNo"_s, 4}, {u"odometerValueMidnight"_s, u""_s}},
            Row {{u"dayNumber"_s, 5}, {u"odometerValue"_s, 0}}};
        QCOMPARE(labelsOf(odometerPoints(days)), (QStringList {u"3=266236"_s, u"5=0"_s}));

        const auto vehicle = [](const QString &plate, const QVariant &begin, const QVariant &end) {
            return Row {{u"vehicleRegistrationNumber1"_s, plate}, {u"vehicleOdometerBegin"_s, begin},
                {u"vehicleOdometerEnd"_s, end}};
        };
        DddReport card;
        card.vehicles = {vehicle(u"A"_s, 1000, 1150), vehicle(u"B"_s, u"НЕТ ДАННЫХ"_s, 563000),
            vehicle(u"C"_s, 900, 800), vehicle(u"D"_s, 20, 20)};
        QCOMPARE(labelsOf(mileagePoints(card)), (QStringList {u"A=150"_s, u"D=0"_s}));
        // Days: the later one gets the distance, unset readings are skipped, a reading gone backwards starts over.
        DddReport unit;
        const QList<int> readings {265563, 0, 265653, 265600, 265700};
        for (qsizetype i = 0; i < readings.size(); ++i)
            unit.dayInformation.append(Row {{u"dayNo"_s, i + 1}, {u"odometerValueMidnight"_s, readings.at(i)}});
        QCOMPARE(labelsOf(mileagePoints(unit)), (QStringList {u"3=90"_s, u"5=100"_s}));

        const QVariantList workingHours = {Row {{u"dayNumber"_s, 1}, {u"workTime"_s, u"105:30"_s}},
            Row {{u"day"_s, 2}, {u"workTime"_s, u"5:7"_s}}, Row {{u"dayNumber"_s, 3}, {u"workTime"_s, u"1234:45"_s}}};
        QCOMPARE(labelsOf(workingTimePoints(workingHours)), (QStringList {u"1=105.5"_s, u"2=0"_s, u"3=234.75"_s}));
    }

    // Averages as the PDF prints them: at most one decimal, a decimal comma, no minus on 0, no group separator.
    void decimalText()
    {
        QCOMPARE((QStringList {tessaron::documents::decimalText(23.96), tessaron::documents::decimalText(-0.04),
                     tessaron::documents::decimalText(1234.56)}),
            (QStringList {u"24"_s, u"0"_s, u"1234,6"_s}));
    }

    void speedSamples_data()
    {
        QTest::addColumn<QVariantMap>("speedRow");
        QTest::addColumn<QList<double>>("speeds");
        QTest::addRow("separated text") << Row {{u"speedValues"_s, u"12,5;30 -4 abc 80"_s}}
                                        << QList<double> {12, 5, 30, 80};
        QTest::addRow("list") << Row {{u"speedValues"_s, QVariantList {12.5, u"7,5"_s}}} << QList<double> {12.5, 7.5};
        QTest::addRow("JSON array") << Row {{u"speedValues"_s, u"[12.5, \"7,5\"]"_s}} << QList<double> {12.5, 7.5};
        QTest::addRow("empty text, per-second list")
            << Row {{u"speedValues"_s, QString()}, {u"speedsPerSecond"_s, QVariantList {3, 4}}} << QList<double> {3, 4};
        QTest::addRow("empty list, per-second text, as the page reads it")
            << Row {{u"speedValues"_s, QVariantList {}}, {u"speedsPerSecond"_s, u"5 6"_s}} << QList<double> {5, 6};
        QTest::addRow("a true, a null and a number in a list")
            << Row {{u"speedValues"_s, QVariantList {true, QVariant(), 9}}} << QList<double> {9};
    }
    void speedSamples()
    {
        QFETCH(QVariantMap, speedRow);
        QFETCH(QList<double>, speeds);
        DddReport report;
        report.detailedSpeed = {speedRow};
        QCOMPARE(tessaron::documents::speedSamples(report), speeds);
    }

    // 1,600 speeds give 800 buckets of two; one more gives buckets of three, the last of two.
    void speedBuckets()
    {
        QList<double> speeds;
        for (int i = 0; i < 1600; ++i)
            speeds.append(i % 10);
        const QList<ChartPoint> twos = tessaron::documents::speedBuckets(speeds);
        QCOMPARE(twos.size(), 800);
        QCOMPARE(labelsOf({twos.at(1)}), QStringList {u"2=2.5"_s});
        QCOMPARE(twos.at(1).minimum, 2.0);
        QCOMPARE(twos.at(1).maximum, 3.0);
        speeds.append(40);
        const QList<ChartPoint> threes = tessaron::documents::speedBuckets(speeds);
        QCOMPARE(threes.size(), 534);
        QCOMPARE(labelsOf({threes.at(1), threes.last()}), (QStringList {u"3=4"_s, u"1599=24.5"_s}));
    }

    // Each requested chart once, in the fixed order, whatever the option's order and repetitions; other spellings
    // and charts without data draw nothing.
    void requestedCharts()
    {
        DddReport report = vehicleUnit(0);
        report.analysis.insert(
            u"workingHours"_s, QVariantList {Row {{u"dayNumber"_s, 1}, {u"workTime"_s, u"08:30"_s}}});
        const QVariantMap graphs
            = options({}, {u"workingTime"_s, u"activity"_s, u"Speed"_s, u"activity"_s, u"speed"_s});
        const QString text = drawnText([&](ReportPainter &painter) { addRequestedCharts(painter, report, graphs); });
        QCOMPARE(text.count(u"Изменения активности по дням"_s), 1);
        QCOMPARE(text.count(u"Рабочее время по дням"_s), 1);
        QVERIFY(text.indexOf(u"Изменения активности по дням"_s) < text.indexOf(u"Рабочее время по дням"_s));
        QVERIFY(!text.contains(u"Детальная скорость"_s));
    }

    void analysisPages_data()
    {
        QTest::addColumn<QVariantMap>("analysis");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        const QStringList labels = {u"Анализ рабочего времени и нарушений"_s, u"Рабочее время"_s, u"Время отдыха"_s,
            u"Максимальное непрерывное вождение"_s, u"Недельное вождение"_s, u"Двухнедельное вождение"_s,
            u"Сверхурочное время"_s, u"Короткие перерывы"_s, u"Ежедневный отдых"_s, u"Оценка соответствия"_s};
        const QStringList messageTables = {u"Нарушения"_s, u"Предупреждения"_s, u"Рекомендации"_s};
        QTest::addRow("empty input") << tessaron::ddd::ActivityAnalyzer::analyze({}, {}, {})
                                     << labels + QStringList {u"00:00"_s}
                                     << messageTables + QStringList {u"Рабочие дни"_s, u"Не указано"_s};
        QTest::addRow("no compliance") << Row {{u"efficiency"_s, Row {{u"totalWorkTime"_s, u"12:00"_s}}}}
                                       << labels + QStringList {u"12:00"_s, u"Не указано"_s} << messageTables;
        const QVariantList days = {Row {{u"dayNumber"_s, u"0412"_s}, {u"workTime"_s, u"09:15"_s}}};
        const Row compliance = {{u"violations"_s, QVariantList {u"Превышено непрерывное вождение"_s}},
            {u"recommendations"_s, QStringList {u"Отдыхайте"_s}}};
        QTest::addRow("days and messages")
            << Row {{u"workingHours"_s, days}, {u"compliance"_s, compliance}}
            << QStringList {u"Рабочие дни"_s, u"0412"_s, u"09:15"_s, u"Нарушения"_s,
                   u"Превышено непрерывное вождение"_s, u"Рекомендации"_s, u"Отдыхайте"_s}
            << QStringList {u"Предупреждения"_s};
    }
    void analysisPages()
    {
        QFETCH(QVariantMap, analysis);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        verifyTexts(drawnText([&](ReportPainter &painter) { addAnalysis(painter, analysis); }), present, absent);
    }

    void writePdf_data()
    {
        QTest::addColumn<DddReport>("report");
        QTest::addColumn<QVariantMap>("options");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("documentTitle");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        const QString vehicleTitle = u"Отчёт по тахографу"_s;
        // No "sections" key: every section. Title block to 88, the two key/value blocks to 472, then 11 + 28 + 1
        // event rows over three pages.
        QTest::addRow("every vehicle-unit section")
            << vehicleUnit(40) << QVariantMap {{u"graphs"_s, QStringList()}} << 3 << vehicleTitle
            << QStringList {u"ОТЧЁТ ПО ТАХОГРАФУ synthetic-vu.ddd | 01.03.2026 12:00"_s, u"XLR0000TEST000001"_s,
                   u"Основная информация"_s, u"Статистика"_s, u"События тахографа (продолжение)"_s, u"Событие 39"_s,
                   u"Ежедневная активность"_s}
            << QStringList {u"Дни тахографа"_s, u"Анализ"_s};
        QTest::addRow("no section, the activity chart")
            << vehicleUnit(3) << options({}, {u"activity"_s}) << 1 << vehicleTitle
            << QStringList {u"Изменения активности по дням"_s}
            << QStringList {u"Основная информация"_s, u"Событие 0"_s};
        DddReport card = vehicleUnit(3);
        card.fileType = DddFileType::DriverCard;
        QTest::addRow("a card with a vehicle-unit key")
            << card << options({u"tachoEvents"_s}) << 1 << u"Отчёт по карте водителя"_s
            << QStringList {u"ОТЧЁТ ПО КАРТЕ ВОДИТЕЛЯ"_s} << QStringList {u"События"_s, u"Основная информация"_s};
        QTest::addRow("unknown file without a name")
            << DddReport() << options({u"basicInfo"_s, u"All"_s}) << 1 << vehicleTitle
            << QStringList {u"ОТЧЁТ ПО ТАХОГРАФУ сохранённый отчёт | 01.03.2026 12:00"_s, u"Следующая калибровка"_s}
            << QStringList {u"Статистика"_s};
    }
    void writePdf()
    {
        QFETCH(DddReport, report);
        QFETCH(QVariantMap, options);
        QFETCH(int, pages);
        QFETCH(QString, documentTitle);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"new/folder/report.pdf"_s);
        QString error = u"untouched"_s;
        QVERIFY(DddReportRenderer::writePdf(path, report, options, &error));
        QCOMPARE(error, u"untouched"_s);

        const QByteArray pdf = tessaron::test::fileBytes(path);
        QCOMPARE(tessaron::test::pdfInfoValue(pdf, u"Title"_s), documentTitle);
        QCOMPARE(tessaron::test::pdfInfoValue(pdf, u"Creator"_s), u"TessaronQt"_s);
        const QStringList texts = pdfPageTexts(pdf);
        QCOMPARE(texts.size(), pages);
        for (int page = 0; page < pages; ++page) {
            const QString text = texts.at(page).simplified();
            QVERIFY2(text.endsWith(u"Отчёт расшифровки .ddd Страница %1"_s.arg(page + 1)), qPrintable(text.right(60)));
        }
        verifyTexts(texts.join(QString()).simplified(), present, absent);
    }

    // Read back from the PDF: averages rounded with a comma; a per-day chart's days in the report's order (10 after
    // 9, not after 1).
    void averagesAndDayOrderReadBack()
    {
        DddReport report = vehicleUnit(0);
        report.averageSpeed = 23.383333333333333;
        report.detailedSpeed = {Row {{u"speedBlockBeginDate"_s, u"01.08.2022 10:00:00"_s},
            {u"averageSpeed"_s, 28.216666666666665}, {u"maxSpeed"_s, 90}, {u"speedsPerSecond"_s, u"28, 29"_s}}};
        report.activityDaily.clear();
        for (int day = 1; day <= 12; ++day) {
            for (int change = 0; change < day % 3 + 1; ++change)
                report.activityDaily.append(Row {{u"dayNo"_s, day}});
        }
        QTemporaryDir folder;
        const QString path = folder.filePath(u"report.pdf"_s);
        QVERIFY(
            DddReportRenderer::writePdf(path, report, options({u"statistics"_s, u"detailedSpeed"_s}, {u"activity"_s})));
        const QString text = pdfPageTexts(tessaron::test::fileBytes(path)).join(u' ').simplified();
        verifyTexts(text, {u"Средняя скорость, км/ч 23,4"_s, u"28,2"_s}, {u"23.38"_s, u"28.21"_s, u"23,38"_s});
        // The chart reads: title, value axis (down to 0), then the day labels it has room for, then "День".
        const QString chart = text.mid(text.indexOf(u"Изменения активности по дням"_s));
        const QString axisAndDays = chart.section(u"Записей"_s, 1).section(u" День"_s, 0, 0);
        const QStringList labels = axisAndDays.section(u" 0 "_s, 1).split(u' ');
        QVERIFY2(labels.size() >= 4, qPrintable(chart));
        for (qsizetype i = 1; i < labels.size(); ++i)
            QVERIFY2(labels.at(i - 1).toInt() < labels.at(i).toInt(), qPrintable(labels.join(u' ')));
        QCOMPARE(labels.last(), u"12"_s);
    }

    // A folder that cannot be made fails at the writer, with the message alone.
    void unwritableFolder()
    {
        const DddReport report = vehicleUnit(40);
        const QString unwritable = u"/proc/no-such-folder/report.pdf"_s;
        QString error;
        QVERIFY(!DddReportRenderer::writePdf(unwritable, report, &error));
        QCOMPARE(error, u"Не удалось создать PDF отчёта: "_s + unwritable);
        QVERIFY(!DddReportRenderer::writePdf(unwritable, report, nullptr));
    }

    // A write that fails part-way (here at the file size limit, as on a full disk), wherever it stops, down to the
    // report's last byte, is reported, and neither the earlier report nor a partial file is lost or left; at the
    // report's own size it is written whole.
    void failedWrites_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<bool>("fits");
        const qint64 size = reportPdf(vehicleUnit(40)).size();
        QTest::addRow("at 4 KiB") << qint64(4096) << false;
        QTest::addRow("at half the report") << size / 2 << false;
        QTest::addRow("1000 bytes short") << size - 1000 << false;
        QTest::addRow("100 bytes short") << size - 100 << false;
        QTest::addRow("one byte short") << size - 1 << false;
        QTest::addRow("at the report's size") << size << true;
    }
    void failedWrites()
    {
        QFETCH(qint64, limit);
        QFETCH(bool, fits);
        const DddReport report = vehicleUnit(40);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"report.pdf"_s);
        QVERIFY(tessaron::test::writeFile(path, "earlier report"));
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = rlim_t(limit);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        QString error;
        const bool written = DddReportRenderer::writePdf(path, report, &error);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"report.pdf"_s});
        if (fits) {
            QVERIFY2(written, qPrintable(error));
            QCOMPARE(tessaron::test::pdfInfoValue(tessaron::test::fileBytes(path), u"Pages"_s), u"3"_s);
            return;
        }
        QVERIFY(!written);
        QCOMPARE(error, u"Не удалось создать PDF отчёта: "_s + path + u" (ошибка записи)"_s);
        QCOMPARE(tessaron::test::fileBytes(path), QByteArray("earlier report"));
    }

    // The page's mileage chart (its own script over what the controller publishes) and the PDF's draw the same
    // distances of a real card and vehicle unit, and those add up to the report's total, the one stored.
    void mileageAgreesWithThePage_data() { realFiles_data(); }
    void mileageAgreesWithThePage()
    {
        QFETCH(QString, fileName);
        TESSARON_REQUIRE_SAMPLE(samplePath, fileName);
        tessaron::qml::QmlDddController controller;
        QVERIFY(controller.openFile(samplePath));
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isBusy(), 60000);
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(R"(import QtQml
import "qrc:/qt/qml/Tessaron/DddChartSeries.js" as Series
QtObject {
    function points(rows) {
        return Series.numericSeries(Series.ChartDistance, Series.StyleAuto, { distanceRows: rows }, false)
            .map(function (point) { return point.label + "=" + point.value; });
    }
})",
            QUrl());
        const std::unique_ptr<QObject> page(component.create());
        QVERIFY2(page, qPrintable(component.errorString()));
        QVariant drawn;
        QVERIFY(QMetaObject::invokeMethod(page.get(), "points", Q_RETURN_ARG(QVariant, drawn),
            Q_ARG(QVariant, QVariant(controller.drivenDistances()))));
        const QList<ChartPoint> inThePdf = mileagePoints(controller.report());
        QVERIFY(inThePdf.size() > 5);
        QCOMPARE(drawn.toStringList(), labelsOf(inThePdf));
        double sum = 0;
        for (const ChartPoint &point : inThePdf)
            sum += point.value;
        QCOMPARE(sum, double(controller.report().totalDistanceKm));
    }

    void realFiles_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addRow("driver card") << u"card-gen1-a.ddd"_s;
        QTest::addRow("vehicle unit") << u"vu-gen1-a.ddd"_s;
    }
    // Every section and chart of a real download; pages worth looking at are left as PNGs in the build folder.
    void realFiles()
    {
        QFETCH(QString, fileName);
        TESSARON_REQUIRE_SAMPLE(samplePath, fileName);
        const DddReport report = tessaron::ddd::Decoder::decodeFile(samplePath);
        const QVariantMap everything = options({u"all"_s},
            {u"activity"_s, u"speed"_s, u"mileage"_s, u"events"_s, u"faults"_s, u"odometer"_s, u"places"_s,
                u"calibration"_s, u"workingTime"_s});
        QTemporaryDir folder;
        const QString path = folder.filePath(u"report.pdf"_s);
        QVERIFY(DddReportRenderer::writePdf(path, report, everything));
        const QByteArray pdf = tessaron::test::fileBytes(path);
        const QStringList texts = pdfPageTexts(pdf);

        const bool card = report.fileType == DddFileType::DriverCard;
        const QStringList present
            = (card ? QStringList {report.driverName, report.cardNumber, u"Пробег по автомобилям"_s}
                    : QStringList {report.vin, u"Детальная скорость"_s, u"Показания одометра по дням"_s})
            + QStringList {u"Анализ рабочего времени и нарушений"_s, u"Изменения активности по дням"_s,
                u"Рабочее время по дням"_s};
        QVERIFY(!present.first().isEmpty());
        verifyTexts(texts.join(QString()).simplified(), present, {});
        // The fields the file holds only in its rows are printed, not "Не указано".
        QVERIFY(!report.dataStartDate.isEmpty());
        verifyTexts(texts.first().simplified(),
            {u"Период данных %1 - %2"_s.arg(report.dataStartDate, report.dataEndDate),
                card ? u"Компания %1"_s.arg(report.issuingAuthorityName)
                     : u"Следующая калибровка %1"_s.arg(report.nextCalibrationDate)},
            {u"Не указано"_s});

        const auto firstPageWith = [&](const QString &needle) {
            for (int page = 0; page < texts.size(); ++page) {
                if (texts.at(page).contains(needle))
                    return page + 1;
            }
            return 0;
        };
        const QString pngFolder = QCoreApplication::applicationDirPath() + u"/report-pages"_s;
        QVERIFY(QDir().mkpath(pngFolder));
        QStringList needles = {u"ОТЧЁТ"_s, u"(продолжение)"_s, u"Анализ рабочего времени"_s,
            u"Изменения активности по дням"_s, u"Пробег по автомобилям"_s, u"Рабочее время по дням"_s};
        if (!card)
            needles.append(u"Детальная скорость"_s);
        for (const QString &needle : std::as_const(needles)) {
            const int page = firstPageWith(needle);
            QVERIFY2(page > 0, qPrintable(needle));
            const QString png = u"%1/%2-page%3.png"_s.arg(pngFolder, QFileInfo(fileName).completeBaseName()).arg(page);
            QVERIFY(tessaron::test::pdfPageImage(pdf, page, 100).save(png));
        }

        // No cell of any table is cut: on every tenth page and the first of every needle, each word in a row lies
        // whole inside it (a detailed-speed row holds its minute's sixty values).
        QList<int> pages;
        for (int page = 1; page <= texts.size(); page += 10)
            pages.append(page);
        for (const QString &needle : std::as_const(needles))
            pages.append(firstPageWith(needle));
        for (int page : std::as_const(pages)) {
            const tessaron::test::TableWords words = tessaron::test::tableWords(pdf, page);
            QVERIFY2(words.standingOut.isEmpty(),
                qPrintable(u"page %1: %2"_s.arg(page).arg(words.standingOut.mid(0, 3).join(u"; "_s))));
        }
    }
};

QTEST_MAIN(TestDddReportRenderer)
#include "tst_ddd_report_renderer.moc"
