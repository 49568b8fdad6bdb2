#include "documents/ddd_report_renderer.h"

#include "ddd/activity_analyzer.h"
#include "ddd/ddd_decoder.h"
#include "documents/ddd_report_renderer_p.h"
#include "support/pdf_probe.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"

#include <QtTest>

#include <sys/resource.h>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace tessaron::documents;
using tessaron::ddd::DddFileType;
using tessaron::ddd::DddReport;
using tessaron::test::pdfPageTexts;

Q_DECLARE_METATYPE(DddReport)

class TestDddReportRenderer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { tessaron::test::pinTimeZoneAndClock(); }
    void cleanupTestCase() { tessaron::test::releaseTimeZoneAndClock(); }
    void includes_data();
    void includes();
    void scalarText_data();
    void scalarText();
    void tableCells();
    void numericValue_data();
    void numericValue();
    void categoryCounts();
    void speedSamples_data();
    void speedSamples();
    void speedBuckets();
    void workingTime_data();
    void workingTime();
    void mileageAndOdometer();
    void requestedCharts();
    void analysisPages_data();
    void analysisPages();
    void writePdf_data();
    void writePdf();
    void failedWritesKeepTheEarlierFile();
    void realFiles_data();
    void realFiles();
};

namespace {

QVariantMap row(std::initializer_list<std::pair<QString, QVariant>> entries)
{
    QVariantMap map;
    for (const auto &[key, value] : entries)
        map.insert(key, value);
    return map;
}

QString drawnText(const std::function<void(ReportPainter &)> &draw)
{
    tessaron::test::PdfCanvas canvas;
    draw(canvas.painter());
    return pdfPageTexts(canvas.finish()).join(QString()).simplified();
}

// A vehicle unit with identity texts and `events` one-line event rows; no analysis.
DddReport vehicleUnit(int events)
{
    DddReport report;
    report.fileType = DddFileType::Tachograph;
    report.fileName = u"synthetic-vu.ddd"_s;
    report.vin = u"XLR0000TEST000001"_s;
    for (int i = 0; i < events; ++i) {
        report.tachoEvents.append(row({{u"eventType"_s, u"Событие %1"_s.arg(i)}, {u"eventRecordPurpose"_s, u"п"_s},
            {u"eventBeginTime"_s, u"01.02.2026 10:00:00"_s}, {u"eventEndTime"_s, u"01.02.2026 10:05:00"_s}}));
    }
    report.activityDaily.append(row({{u"dayNo"_s, 1}}));
    return report;
}

QVariantMap options(const QStringList &sections, const QStringList &graphs = {})
{
    return {{u"sections"_s, sections}, {u"graphs"_s, graphs}};
}

} // namespace

void TestDddReportRenderer::includes_data()
{
    QTest::addColumn<QVariantMap>("options");
    QTest::addColumn<bool>("included");
    QTest::addRow("no options") << QVariantMap() << true;
    QTest::addRow("no sections key") << QVariantMap {{u"graphs"_s, QStringList {u"speed"_s}}} << true;
    QTest::addRow("[all]") << options({u"all"_s}) << true;
    QTest::addRow("all as a single text") << QVariantMap {{u"sections"_s, u"all"_s}} << true;
    QTest::addRow("the key in a value list") << QVariantMap {{u"sections"_s, QVariantList {1, u"vehicles"_s}}} << true;
    QTest::addRow("All") << options({u"All"_s}) << false;
    QTest::addRow("[] with a chart") << options({}, {u"activity"_s}) << false;
    QTest::addRow("another key") << options({u"events"_s}) << false;
}

void TestDddReportRenderer::includes()
{
    QFETCH(QVariantMap, options);
    QFETCH(bool, included);
    QCOMPARE(tessaron::documents::includes(options, u"vehicles"_s), included);
}

void TestDddReportRenderer::scalarText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::addRow("none") << QVariant() << QString();
    QTest::addRow("null") << QVariant::fromValue(nullptr) << QString();
    QTest::addRow("number") << QVariant(12.5) << u"12.5"_s;
    QTest::addRow("list") << QVariant(QVariantList {1, u"а"_s, QVariantList {2, 3}}) << u"1, а, 2, 3"_s;
    QTest::addRow("map in key order") << QVariant(
        row({{u"b"_s, 1}, {u"a"_s, QVariantList {u"x"_s, u"y"_s}}, {u"c"_s, row({{u"d"_s, 2}})}}))
                                      << u"a: x, y; b: 1; c: d: 2"_s;
}

void TestDddReportRenderer::scalarText()
{
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QCOMPARE(tessaron::documents::scalarText(value), text);
    QCOMPARE(mapText({{u"k"_s, value}}, u"k"_s), text);
}

void TestDddReportRenderer::tableCells()
{
    const QVariantList rows = {
        row({{u"z"_s, u"последний"_s}, {u"a"_s, QVariantList {1, 2}}, {u"m"_s, row({{u"x"_s, 1}})}}),
        QVariant(7),
    };
    QCOMPARE(genericRows(rows), (QList<QStringList> {{u"a: 1, 2; m: x: 1; z: последний"_s}, {QString()}}));
    QCOMPARE(rowsFor(rows, {"a"_L1, "missing"_L1, "m"_L1, "z"_L1}),
        (QList<QStringList> {
            {u"1, 2"_s, QString(), QString(), u"последний"_s}, {QString(), QString(), QString(), QString()}}));
}

void TestDddReportRenderer::numericValue_data()
{
    QTest::addColumn<QVariantMap>("entries");
    QTest::addColumn<double>("number");
    QTest::addRow("decimal comma") << row({{u"a"_s, u" 12,5 "_s}}) << 12.5;
    QTest::addRow("first key not a number") << row({{u"a"_s, u"НЕТ ДАННЫХ"_s}, {u"b"_s, 7}}) << 7.0;
    QTest::addRow("infinite") << row({{u"a"_s, u"inf"_s}}) << -1.0;
    QTest::addRow("no key") << row({{u"c"_s, 3}}) << -1.0;
}

void TestDddReportRenderer::numericValue()
{
    QFETCH(QVariantMap, entries);
    QFETCH(double, number);
    QCOMPARE(tessaron::documents::numericValue(entries, {"a"_L1, "b"_L1}, -1.0), number);
}

void TestDddReportRenderer::categoryCounts()
{
    const QVariantList rows = {row({{u"type"_s, u"а"_s}}), row({{u"type"_s, u"b"_s}}), row({{u"other"_s, u"B"_s}}),
        row({{u"type"_s, u"  "_s}}), row({}), row({{u"type"_s, u"b"_s}})};
    QStringList labels;
    QList<double> counts;
    for (const ChartPoint &point : tessaron::documents::categoryCounts(rows, {"type"_L1, "other"_L1})) {
        labels.append(point.label);
        counts.append(point.value);
        QCOMPARE(point.maximum, point.value);
    }
    QCOMPARE(labels, (QStringList {u"B"_s, u"b"_s, u"а"_s, u"—"_s}));
    QCOMPARE(counts, (QList<double> {1, 2, 1, 2}));
}

void TestDddReportRenderer::speedSamples_data()
{
    QTest::addColumn<QVariantMap>("speedRow");
    QTest::addColumn<QList<double>>("speeds");
    QTest::addRow("separated text") << row({{u"speedValues"_s, u"12,5;30 -4 abc 80"_s}})
                                    << QList<double> {12, 5, 30, 80};
    QTest::addRow("list") << row({{u"speedValues"_s, QVariantList {12.5, u"7,5"_s}}}) << QList<double> {12.5, 7.5};
    QTest::addRow("JSON array") << row({{u"speedValues"_s, u"[12.5, \"7,5\"]"_s}}) << QList<double> {12.5, 7.5};
    QTest::addRow("empty text, per-second list")
        << row({{u"speedValues"_s, QString()}, {u"speedsPerSecond"_s, QVariantList {3, 4}}}) << QList<double> {3, 4};
}

void TestDddReportRenderer::speedSamples()
{
    QFETCH(QVariantMap, speedRow);
    QFETCH(QList<double>, speeds);
    DddReport report;
    report.detailedSpeed = {speedRow};
    QCOMPARE(tessaron::documents::speedSamples(report), speeds);
}

void TestDddReportRenderer::speedBuckets()
{
    QList<double> speeds;
    for (int i = 0; i < 1600; ++i)
        speeds.append(i % 10);
    const QList<ChartPoint> twos = tessaron::documents::speedBuckets(speeds);
    QCOMPARE(twos.size(), 800);
    QCOMPARE(twos.at(1).label, u"2"_s);
    QCOMPARE(twos.at(1).value, 2.5);
    QCOMPARE(twos.at(1).minimum, 2.0);
    QCOMPARE(twos.at(1).maximum, 3.0);

    speeds.append(40);
    const QList<ChartPoint> threes = tessaron::documents::speedBuckets(speeds);
    QCOMPARE(threes.size(), 534);
    QCOMPARE(threes.at(1).label, u"3"_s);
    QCOMPARE(threes.last().label, u"1599"_s);
    QCOMPARE(threes.last().value, (9.0 + 40.0) / 2.0);
    QVERIFY(tessaron::documents::speedBuckets({}).isEmpty());
}

void TestDddReportRenderer::workingTime_data()
{
    QTest::addColumn<QString>("workTime");
    QTest::addColumn<double>("hours");
    QTest::addRow("105:30") << u"105:30"_s << 105.5;
    QTest::addRow("one minute digit") << u"5:7"_s << 0.0;
    QTest::addRow("four hour digits") << u"1234:56"_s << 234.0 + 56.0 / 60.0;
}

void TestDddReportRenderer::workingTime()
{
    QFETCH(QString, workTime);
    QFETCH(double, hours);
    const QList<ChartPoint> points = workingTimePoints({row({{u"dayNumber"_s, u"0412"_s}, {u"workTime"_s, workTime}})});
    QCOMPARE(points.size(), 1);
    QCOMPARE(points.first().label, u"0412"_s);
    QCOMPARE(points.first().value, hours);
}

void TestDddReportRenderer::mileageAndOdometer()
{
    const QVariantList vehicles = {
        row({{u"vehicleRegistrationNumber1"_s, u"A"_s}, {u"vehicleOdometerBegin"_s, 1000},
            {u"vehicleOdometerEnd"_s, 1150}}),
        row({{u"vehicleRegistrationNumber1"_s, u"B"_s}, {u"vehicleOdometerBegin"_s, u"НЕТ ДАННЫХ"_s},
            {u"vehicleOdometerEnd"_s, 563000}}),
        row({{u"vehicleRegistrationNumber1"_s, u"C"_s}, {u"vehicleOdometerBegin"_s, 900},
            {u"vehicleOdometerEnd"_s, 800}}),
        row({{u"vehicleRegistrationNumber"_s, u"D"_s}, {u"odometerBegin"_s, u"10,5"_s}, {u"odometerEnd"_s, 20}}),
    };
    const QList<ChartPoint> mileage = mileagePoints(vehicles);
    QCOMPARE(mileage.size(), 2);
    QCOMPARE(mileage.at(0).label, u"A"_s);
    QCOMPARE(mileage.at(0).value, 150.0);
    QCOMPARE(mileage.at(1).label, u"D"_s);
    QCOMPARE(mileage.at(1).value, 9.5);

    const QList<ChartPoint> odometer = odometerPoints({row({{u"dayNo"_s, 3}, {u"odometerValueMidnight"_s, 266236}}),
        row({{u"dayNo"_s, 4}, {u"odometerValueMidnight"_s, u""_s}}),
        row({{u"dayNumber"_s, 5}, {u"odometerValue"_s, 0}})});
    QCOMPARE(odometer.size(), 2);
    QCOMPARE(odometer.at(0).label, u"3"_s);
    QCOMPARE(odometer.at(0).minimum, 266236.0);
    QCOMPARE(odometer.at(1).label, u"5"_s);
}

// Each requested chart once, in the fixed order, whatever the option's order and repetitions; other spellings
// and charts without data draw nothing.
void TestDddReportRenderer::requestedCharts()
{
    DddReport report = vehicleUnit(0);
    report.analysis.insert(u"workingHours"_s, QVariantList {row({{u"dayNumber"_s, 1}, {u"workTime"_s, u"08:30"_s}})});
    const QVariantMap graphs = options({}, {u"workingTime"_s, u"activity"_s, u"Speed"_s, u"activity"_s, u"speed"_s});
    const QString text = drawnText([&](ReportPainter &painter) { addRequestedCharts(painter, report, graphs); });
    QCOMPARE(text.count(u"Изменения активности по дням"_s), 1);
    QCOMPARE(text.count(u"Рабочее время по дням"_s), 1);
    QVERIFY(text.indexOf(u"Изменения активности по дням"_s) < text.indexOf(u"Рабочее время по дням"_s));
    QVERIFY(!text.contains(u"Детальная скорость"_s));
}

void TestDddReportRenderer::analysisPages_data()
{
    QTest::addColumn<QVariantMap>("analysis");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    const QStringList labels = {u"Анализ рабочего времени и нарушений"_s, u"Рабочее время"_s, u"Время отдыха"_s,
        u"Максимальное непрерывное вождение"_s, u"Недельное вождение"_s, u"Двухнедельное вождение"_s,
        u"Сверхурочное время"_s, u"Короткие перерывы"_s, u"Ежедневный отдых"_s, u"Оценка соответствия"_s};
    const QStringList messageTables = {u"Нарушения"_s, u"Предупреждения"_s, u"Рекомендации"_s};
    QTest::addRow("empty input") << tessaron::ddd::ActivityAnalyzer::analyze({}, {}, {})
                                 << labels + QStringList {u"00:00"_s} << messageTables + QStringList {u"Рабочие дни"_s};
    QTest::addRow("no compliance") << row({{u"efficiency"_s, row({{u"totalWorkTime"_s, u"12:00"_s}})}})
                                   << labels + QStringList {u"12:00"_s, u"Не указано"_s} << messageTables;
    QTest::addRow("days and messages") << row(
        {{u"workingHours"_s, QVariantList {row({{u"dayNumber"_s, u"0412"_s}, {u"workTime"_s, u"09:15"_s}})}},
            {u"compliance"_s,
                row({{u"violations"_s, QVariantList {u"Превышено непрерывное вождение"_s}},
                    {u"recommendations"_s, QStringList {u"Отдыхайте"_s}}})}})
                                       << QStringList {u"Рабочие дни"_s, u"0412"_s, u"09:15"_s, u"Нарушения"_s,
                                              u"Превышено непрерывное вождение"_s, u"Рекомендации"_s, u"Отдыхайте"_s}
                                       << QStringList {u"Предупреждения"_s};
    QTest::addRow("no analysis") << QVariantMap() << QStringList() << labels;
}

void TestDddReportRenderer::analysisPages()
{
    QFETCH(QVariantMap, analysis);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const QString text = drawnText([&](ReportPainter &painter) { addAnalysis(painter, analysis); });
    for (const QString &expected : present)
        QVERIFY2(text.contains(expected), qPrintable(expected));
    for (const QString &unexpected : absent)
        QVERIFY2(!text.contains(unexpected), qPrintable(unexpected));
}

void TestDddReportRenderer::writePdf_data()
{
    QTest::addColumn<DddReport>("report");
    QTest::addColumn<QVariantMap>("options");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("documentTitle");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    const QString vehicleTitle = u"Отчёт по тахографу"_s;

    // Title block to 88, the two key/value blocks to 472, then 11 + 28 + 1 event rows over three pages.
    QTest::addRow("every vehicle-unit section")
        << vehicleUnit(40) << QVariantMap() << 3 << vehicleTitle
        << QStringList {u"ОТЧЁТ ПО ТАХОГРАФУ"_s, u"synthetic-vu.ddd | 01.03.2026 12:00"_s, u"XLR0000TEST000001"_s,
               u"Основная информация"_s, u"Статистика"_s, u"События тахографа (продолжение)"_s, u"Событие 39"_s,
               u"Ежедневная активность"_s}
        << QStringList {u"Дни тахографа"_s, u"Анализ"_s};
    QTest::addRow("no section, the activity chart")
        << vehicleUnit(3) << options({}, {u"activity"_s}) << 1 << vehicleTitle
        << QStringList {u"Изменения активности по дням"_s} << QStringList {u"Основная информация"_s, u"Событие 0"_s};
    DddReport card = vehicleUnit(3);
    card.fileType = DddFileType::DriverCard;
    QTest::addRow("a card with a vehicle-unit key")
        << card << options({u"tachoEvents"_s}) << 1 << u"Отчёт по карте водителя"_s
        << QStringList {u"ОТЧЁТ ПО КАРТЕ ВОДИТЕЛЯ"_s} << QStringList {u"События"_s, u"Основная информация"_s};
    DddReport unknown;
    QTest::addRow("unknown file without a name")
        << unknown << options({u"basicInfo"_s, u"All"_s}) << 1 << vehicleTitle
        << QStringList {u"ОТЧЁТ ПО ТАХОГРАФУ"_s, u"сохранённый отчёт | 01.03.2026 12:00"_s, u"Следующая калибровка"_s}
        << QStringList {u"Статистика"_s};
}

void TestDddReportRenderer::writePdf()
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

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QCOMPARE(tessaron::test::pdfInfoValue(pdf, u"Title"_s), documentTitle);
    QCOMPARE(tessaron::test::pdfInfoValue(pdf, u"Creator"_s), u"TessaronQt"_s);
    const QStringList texts = pdfPageTexts(pdf);
    QCOMPARE(texts.size(), pages);
    for (int page = 0; page < pages; ++page) {
        const QString text = texts.at(page).trimmed();
        QVERIFY2(text.endsWith(u"Отчёт расшифровки .ddd\n\nСтраница %1"_s.arg(page + 1)), qPrintable(text.right(60)));
    }
    const QString all = texts.join(QString()).simplified();
    for (const QString &expected : present)
        QVERIFY2(all.contains(expected), qPrintable(expected));
    for (const QString &unexpected : absent)
        QVERIFY2(!all.contains(unexpected), qPrintable(unexpected));
}

// A write that fails part-way (here the file size limit, as a full disk would) is reported, and neither the
// earlier report nor a partial file remains in its place.
void TestDddReportRenderer::failedWritesKeepTheEarlierFile()
{
    const DddReport report = vehicleUnit(40);
    QString error;
    QVERIFY(!DddReportRenderer::writePdf(u"/proc/no-such-folder/report.pdf"_s, report, &error));
    QCOMPARE(error, u"Не удалось создать PDF отчёта: /proc/no-such-folder/report.pdf"_s);
    QVERIFY(!DddReportRenderer::writePdf(u"/proc/no-such-folder/report.pdf"_s, report, nullptr));

    QTemporaryDir folder;
    const QString path = folder.filePath(u"report.pdf"_s);
    QFile earlier(path);
    QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier report") > 0);
    earlier.close();

    rlimit saved {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = DddReportRenderer::writePdf(path, report, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!written);
    QCOMPARE(error, u"Не удалось создать PDF отчёта: %1"_s.arg(path));
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), QByteArray("earlier report"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"report.pdf"_s});
}

void TestDddReportRenderer::realFiles_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addRow("driver card") << u"card-gen1-a.ddd"_s;
    QTest::addRow("vehicle unit") << u"vu-gen1-a.ddd"_s;
}

// Every section and chart of a real download; pages worth looking at are left as PNGs in the build folder.
void TestDddReportRenderer::realFiles()
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
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    const QStringList texts = pdfPageTexts(pdf);
    const QString all = texts.join(QString());

    const bool card = report.fileType == DddFileType::DriverCard;
    const QStringList identity = card ? QStringList {report.driverName, report.cardNumber} : QStringList {report.vin};
    const QStringList charts = card
        ? QStringList {u"Изменения активности по дням"_s, u"Пробег по автомобилям"_s, u"Рабочее время по дням"_s}
        : QStringList {u"Детальная скорость"_s, u"Показания одометра по дням"_s, u"Рабочее время по дням"_s};
    for (const QString &expected : identity + charts + QStringList {u"Анализ рабочего времени и нарушений"_s}) {
        QVERIFY(!expected.isEmpty());
        QVERIFY2(all.contains(expected), qPrintable(expected));
    }

    const auto firstPageWith = [&](const QString &needle) {
        for (int page = 0; page < texts.size(); ++page) {
            if (texts.at(page).contains(needle))
                return page + 1;
        }
        return 0;
    };
    const QList<std::pair<QString, int>> looks = {{u"first"_s, 1}, {u"continued"_s, firstPageWith(u"(продолжение)"_s)},
        {u"analysis"_s, firstPageWith(u"Анализ рабочего времени и нарушений"_s)},
        {u"charts"_s, firstPageWith(u"Рабочее время по дням"_s)}};
    const QString pngFolder = QCoreApplication::applicationDirPath() + u"/report-pages"_s;
    QVERIFY(QDir().mkpath(pngFolder));
    for (const auto &[name, page] : looks) {
        QVERIFY2(page > 0, qPrintable(name));
        const QString png
            = u"%1/%2-%3-page%4.png"_s.arg(pngFolder, QFileInfo(fileName).completeBaseName(), name).arg(page);
        QVERIFY(tessaron::test::writePdfPagePng(pdf, page, png));
    }
}

QTEST_MAIN(TestDddReportRenderer)
#include "tst_ddd_report_renderer.moc"
