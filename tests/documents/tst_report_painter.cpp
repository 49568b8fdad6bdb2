#include "documents/report_painter.h"
#include "support/pdf_probe.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using tessaron::documents::ChartPoint;
using tessaron::documents::ReportPainter;
using tessaron::test::PdfCanvas;
using tessaron::test::pdfPageTexts;

namespace {

QList<ChartPoint> bars(const QList<double> &values)
{
    QList<ChartPoint> points;
    for (double value : values)
        points.append({u"L%1"_s.arg(points.size()), value, 0.0, value});
    return points;
}

} // namespace

class TestReportPainter : public QObject
{
    Q_OBJECT

private slots:
    // Content bottom 804: a heading needs 32, a chart 276, a table 90; a block that does not fit first puts the
    // footer on the old page.
    void pageBreak_data()
    {
        QTest::addColumn<QString>("block");
        QTest::addColumn<double>("startY");
        QTest::addColumn<int>("page");
        QTest::addColumn<double>("endY");
        QTest::addRow("heading at 772 stays") << u"section"_s << 772.0 << 1 << 800.0;
        QTest::addRow("heading at 773 moves") << u"section"_s << 773.0 << 2 << 64.0;
        QTest::addRow("chart at 528 stays") << u"chart"_s << 528.0 << 1 << 782.0;
        QTest::addRow("chart at 529 moves") << u"chart"_s << 529.0 << 2 << 290.0;
        QTest::addRow("table at 714 stays") << u"table"_s << 714.0 << 1 << 805.0;
        QTest::addRow("table at 715 moves") << u"table"_s << 715.0 << 2 << 127.0;
    }

    void pageBreak()
    {
        QFETCH(QString, block);
        QFETCH(double, startY);
        QFETCH(int, page);
        QFETCH(double, endY);
        PdfCanvas canvas;
        ReportPainter &painter = canvas.painter();
        painter.y = startY;
        if (block == u"section"_s)
            painter.section(u"Заголовок"_s);
        else if (block == u"chart"_s)
            painter.chart(u"Заголовок"_s, u"Ось"_s, u"День"_s, bars({3}), false);
        else
            painter.table(u"Заголовок"_s, {u"А"_s}, {{u"ячейка"_s}});
        QCOMPARE(painter.page, page);
        QCOMPARE(painter.y, endY);
        painter.drawFooter();
        const QStringList pages = pdfPageTexts(canvas.finish());
        QCOMPARE(pages.size(), page);
        QVERIFY(pages.first().contains(u"Отчёт расшифровки .ddd"_s));
        QVERIFY(pages.first().contains(u"Страница 1"_s));
        QVERIFY(pages.last().contains(u"Заголовок"_s));
    }

    // Title 28, header band 28, rows, then 10: a row is at least 25 high and as tall as its tallest cell; cells
    // beyond the headers are ignored.
    void tableRowHeights_data()
    {
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<double>("rowHeight");
        const QString longText = QStringList(200, u"слово"_s).join(u' ');
        QTest::addRow("one short line") << QStringList {u"А"_s, u"Б"_s} << QStringList {u"а"_s, u"б"_s} << 25.0;
        QTest::addRow("tall cell grows to hold its ten lines")
            << QStringList {u"А"_s} << QStringList {longText} << 98.0;
        QTest::addRow("surplus cell ignored") << QStringList {u"А"_s} << QStringList {u"а"_s, longText} << 25.0;
        QTest::addRow("no headers: one full-width column") << QStringList {} << QStringList {QString(60, u'ж')} << 25.0;
    }

    void tableRowHeights()
    {
        QFETCH(QStringList, headers);
        QFETCH(QStringList, row);
        QFETCH(double, rowHeight);
        PdfCanvas canvas;
        canvas.painter().table(u"Таблица"_s, headers, {row});
        QCOMPARE(canvas.painter().y, 36.0 + 28.0 + 28.0 + rowHeight + 10.0);
    }

    // What poppler reads of the drawn PDF: every word of the cells is there once, inside its row and clear of
    // the row's padding, on every page; a row taller than a page runs on over pages.
    void tableTextStaysInsideItsRows_data()
    {
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<int>("words"); // -1: words broken inside are counted as poppler splits them
        QTest::addColumn<int>("pages");
        QStringList speeds;
        for (int second = 0; second < 60; ++second)
            speeds.append(QString::number(60 + second % 40));
        QList<QStringList> minutes;
        for (int minute = 0; minute < 40; ++minute)
            minutes.append(QStringList {u"01.08.2022 10:%1:00"_s.arg(minute, 2, 10, QLatin1Char('0')), u"79,5"_s,
                u"99"_s, speeds.join(u", "_s)});
        QTest::addRow("minutes of one-second speeds")
            << QStringList {u"Начало блока"_s, u"Средняя"_s, u"Максимальная"_s, u"Значения"_s} << minutes << 40 * 64
            << 4;
        QTest::addRow("words longer than their cell")
            << QStringList {u"А"_s, u"Б"_s} << QList<QStringList> {{QString(300, u'ж'), QString(90, u'ю')}} << -1 << 1;
        QStringList many;
        for (int word = 0; word < 4000; ++word)
            many.append(u"слово%1"_s.arg(word));
        QTest::addRow("a row taller than a page")
            << QStringList {u"Данные"_s} << QList<QStringList> {{u"перед"_s}, {many.join(u' ')}, {u"после"_s}} << 4002
            << 5;
    }

    void tableTextStaysInsideItsRows()
    {
        QFETCH(QStringList, headers);
        QFETCH(QList<QStringList>, rows);
        QFETCH(int, words);
        QFETCH(int, pages);
        PdfCanvas canvas;
        canvas.painter().table(u"Таблица"_s, headers, rows);
        QCOMPARE(canvas.painter().page, pages);
        canvas.painter().drawFooter();
        const QByteArray pdf = canvas.finish();
        int inRows = 0;
        for (int page = 1; page <= pages; ++page) {
            const tessaron::test::TableWords found = tessaron::test::tableWords(pdf, page);
            QVERIFY2(found.standingOut.isEmpty(), qPrintable(found.standingOut.mid(0, 5).join(u"; "_s)));
            inRows += found.inRows;
        }
        if (words >= 0)
            QCOMPARE(inRows, words);
        else
            QVERIFY(inRows > 0);
    }

    void tableContinuesWithHeaderAndShading()
    {
        PdfCanvas canvas;
        ReportPainter &painter = canvas.painter();
        painter.y = 11.0; // 29 rows of 25 fit on the first page, so the second page starts with the odd row 29
        QList<QStringList> rows;
        for (int i = 0; i < 40; ++i)
            rows.append({u"строка %1"_s.arg(i), u"б"_s, u"лишнее"_s});
        painter.table(u"Журнал"_s, {u"Номер"_s, u"Буква"_s}, rows);
        QCOMPARE(painter.page, 2);
        QCOMPARE(painter.y, 36.0 + 28.0 + 28.0 + 11 * 25.0 + 10.0);
        painter.drawFooter();
        const QByteArray pdf = canvas.finish();

        const QStringList pages = pdfPageTexts(pdf);
        QCOMPARE(pages.size(), 2);
        QVERIFY(pages.at(0).contains(u"Страница 1"_s));
        QVERIFY(pages.at(1).contains(u"Журнал (продолжение)"_s));
        QVERIFY(pages.at(1).contains(u"Буква"_s));
        QVERIFY(pages.at(1).contains(u"строка 29"_s));
        QVERIFY(!pages.at(1).contains(u"строка 28"_s));
        QVERIFY(!pages.at(0).contains(u"лишнее"_s) && !pages.at(1).contains(u"лишнее"_s));

        // Sampled beside the text of the second column: first row of the new page, then its second row.
        const QImage image = tessaron::test::pdfPageImage(pdf, 2, 72);
        QCOMPARE(image.pixelColor(540, 36 + 56 + 12), QColor(0xee, 0xee, 0xee));
        QCOMPARE(image.pixelColor(540, 36 + 56 + 25 + 12), QColor(0xfa, 0xfa, 0xfa));
        QCOMPARE(image.pixelColor(540, 36 + 28 + 14), QColor(0x4d, 0x4d, 0x4d));
    }

    void keyValuesAndEmptyBlocks()
    {
        PdfCanvas canvas;
        ReportPainter &painter = canvas.painter();
        painter.table(u"Пустая таблица"_s, {u"А"_s}, {});
        painter.chart(u"Пустой график"_s, u"Ось"_s, u"День"_s, {}, true);
        QCOMPARE(painter.y, 36.0);
        painter.keyValues({{u"Имя"_s, u"Иван"_s}, {u"Компания"_s, QString()}});
        QCOMPARE(painter.y, 36.0 + 24.0 + 24.0 + 8.0);
        painter.keyValues({});
        QCOMPARE(painter.y, 36.0 + 56.0 + 8.0);
        const QString text = pdfPageTexts(canvas.finish()).join(QString());
        QVERIFY(text.contains(u"Не указано"_s));
        QVERIFY(!text.contains(u"Пустая"_s) && !text.contains(u"Пустой"_s));
    }

    // Seven points in line form: six labels, the first and the last among them (index 3 is skipped).
    void chartLabels()
    {
        PdfCanvas canvas;
        canvas.painter().chart(u"Линия"_s, u"Ось значений"_s, u"Ось категорий"_s, bars({1, 2, 3, 4, 5, 6, 7}), true);
        const QString text = pdfPageTexts(canvas.finish()).join(QString());
        for (const QString &label : {u"L0"_s, u"L1"_s, u"L2"_s, u"L4"_s, u"L5"_s, u"L6"_s})
            QVERIFY2(text.contains(label), qPrintable(label));
        QVERIFY(!text.contains(u"L3"_s));
        QVERIFY(text.contains(u"Ось значений"_s) && text.contains(u"Ось категорий"_s));
    }

    // The largest maximum, at least 1, rounded up to a multiple of 5.
    void scaleTop()
    {
        QCOMPARE(ReportPainter::scaleTop(bars({1})), 5.0);
        QCOMPARE(ReportPainter::scaleTop(bars({3, 12})), 15.0);
        QCOMPARE(ReportPainter::scaleTop(bars({20})), 20.0);
        QCOMPARE(ReportPainter::scaleTop(bars({0, -4})), 5.0);
    }
};

QTEST_MAIN(TestReportPainter)
#include "tst_report_painter.moc"
