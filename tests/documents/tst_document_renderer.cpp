#include "documents/document_renderer.h"
#include "documents/document_renderer_p.h"
#include "support/pdf_probe.h"
#include "support/print_queue.h"
#include "support/small_disk.h"
#include "support/test_files.h"
#include "support/time_zone_pin.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace tessaron::documents;
using namespace tessaron::test;
using F = tessaron::storage::CertificateField;

namespace {

constexpr auto C = DocumentType::Certificate;
constexpr auto S = DocumentType::Sticker;

QString typeName(DocumentType type)
{
    return type == S ? u"sticker"_s : u"certificate"_s;
}

// Pictures left in the build folder to look at.
QString lookPath(const QString &name)
{
    const QString folder = QCoreApplication::applicationDirPath() + u"/document-pages/"_s;
    QDir().mkpath(folder);
    return folder + name + u".png"_s;
}

QString marker(F field)
{
    return u"M%1"_s.arg(int(field), 2, 10, QChar(u'0'));
}

// Each field holds its own marker, with blanks around it; the order date carries a time that is never shown.
QVariantMap markerRecord()
{
    QVariantMap record;
    for (const F field : tessaron::storage::certificateFields)
        record.insert(tessaron::storage::certificateFieldName(field), QString(u" "_s + marker(field) + u" "_s));
    record.insert(u"OrderDate"_s, u"M02 10:15"_s);
    return record;
}

// The longest run of rows holding dark pixels within a column range: the height of a text line's ink.
int tallestInkRun(const QImage &image, int left, int right)
{
    int tallest = 0;
    for (int y = 0, run = 0; y < image.height(); ++y) {
        bool ink = false;
        for (int x = left; x < right && !ink; ++x)
            ink = qGray(image.pixel(x, y)) < 128;
        run = ink ? run + 1 : 0;
        tallest = std::max(tallest, run);
    }
    return tallest;
}

} // namespace

class TestDocumentRenderer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QByteArray m_pdfs[2][2]; // by type, then with markers (0) or without data (1)

    // Writes the PDF, leaves a picture of it to look at and gives its bytes.
    QByteArray writtenPdf(DocumentType type, const QVariantMap &record, const QString &name)
    {
        const QString path = m_folder.filePath(name + u".pdf"_s);
        if (!DocumentRenderer::writePdf(path, type, record))
            return {};
        pdfPageImage(fileBytes(path), 1, 100).save(lookPath(name));
        return fileBytes(path);
    }

private slots:
    void initTestCase()
    {
        pinTimeZoneAndClock();
        for (const DocumentType type : {C, S}) {
            m_pdfs[int(type)][0] = writtenPdf(type, markerRecord(), typeName(type));
            m_pdfs[int(type)][1] = writtenPdf(type, {}, typeName(type) + u"-empty"_s);
        }
    }
    void cleanupTestCase() { releaseTimeZoneAndClock(); }
    void cleanup() { DocumentRenderer::setPrintDialogForTesting({}); }

    // The page as pdftotext lays it out (blanks collapsed), M<nn> standing for field nn: each value beside its
    // label, in its column and block. "Дата:" is today (pinned), the calibration date the order date's date part.
    // Without data only the frames and fixed words remain.
    void layout_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QStringList>("lines");
        const QStringList certificate {u"Заказ №: M00"_s, u"Сертификат настройки"_s, u"тахографа Дата: 01.03.2026"_s,
            u"Заказчик Мастерская M26"_s, u"M04 M27"_s, u"M05 M28"_s, u"M06 M29"_s, u"Тахограф Транспортное средство"_s,
            u"Производитель: M13 Рег. номер: M11"_s, u"Модель: M16 Марка: M07"_s, u"Серийный номер: M14 Модель: M10"_s,
            u"Дата производства: M17 VIN: M08"_s, u"СКЗИ: M15 Одометр, км: M12"_s, u"Данные настройки тахографа"_s,
            u"Дата настройки: M02 Следующая настройка: M21"_s, u"W [imp/km]: M18 Маркировка шин: M09"_s,
            u"K [imp/km]: M19 L, мм: M20"_s, u"Расположение установочной таблицы: M24"_s, u"Результат инспекции: M22"_s,
            u"Признаки манипуляции: M23"_s, u"Особые отметки"_s, u"M25"_s, u"Ответственный: M03"_s,
            u"Мастер: M01 Подпись: М.П."_s};
        const QStringList sticker {u"M27 VIN: M08 W= M18"_s, u"Транспортное"_s, u"K= M19"_s, u"Параметры"_s,
            u"M28 VRN: M11"_s, u"средство"_s, u"L= M20"_s, u"M26"_s, u"M29 M16 Шины: M09"_s, u"дата настр.:"_s,
            u"с/н: M14 M02"_s, u"СКЗИ: M15"_s};
        for (const DocumentType type : {C, S}) {
            const QStringList lines = type == C ? certificate : sticker;
            QStringList fixed;
            for (const QString &line : lines) {
                const QString rest = QString(line).remove(QRegularExpression(u" ?M\\d\\d"_s)).trimmed();
                if (!rest.isEmpty())
                    fixed.append(rest);
            }
            QTest::addRow("%s", qPrintable(typeName(type))) << int(type) << false << lines;
            QTest::addRow("%s without data", qPrintable(typeName(type))) << int(type) << true << fixed;
        }
    }
    void layout()
    {
        QFETCH(int, type);
        QFETCH(bool, empty);
        QTEST(pdfLayoutLines(m_pdfs[type][empty ? 1 : 0]), "lines");
    }

    // A long address wraps inside its rectangle; a long row value stays on one line.
    void longValues()
    {
        const QString text = u"улица Длинная дом 123 корпус 4 строение 5 офис"_s;
        const QString address = text + u" 678 Промышленный район"_s;
        const QStringList lines
            = pdfLayoutLines(writtenPdf(C, {{u"CustomerAddress"_s, address}, {u"VehicleVin"_s, text}}, u"long"_s));
        const qsizetype wrapped = lines.indexOf(u"улица Длинная дом 123 корпус 4 строение 5 офис 678 Промышленный"_s);
        QVERIFY(wrapped > 0 && lines.at(wrapped + 1) == u"район"_s);
        QVERIFY(lines.contains(u"Дата производства: VIN: "_s + text));
    }

    // In point mode a painter scaled up divides the size (then truncated); in pixel mode the size is rounded.
    void fontSizes_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("pointSized");
        QTest::addColumn<double>("size");
        QTest::addColumn<int>("expected");
        QTest::addRow("preview, 8.5 points") << 2.0 << true << 8.5 << 4;
        QTest::addRow("pdf, 8.5 points") << 1.0 << true << 8.5 << 8;
        QTest::addRow("raster, 8.5 pixels") << printerRasterScale << false << 8.5 << 9;
    }
    void fontSizes()
    {
        QFETCH(double, scale);
        QFETCH(bool, pointSized);
        QFETCH(double, size);
        QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        painter.scale(scale, scale);
        const QFont font = effectiveFont(painter, size, true, pointSized);
        QTEST(pointSized ? font.pointSize() : font.pixelSize(), "expected");
        QCOMPARE(QFontInfo(font).family(), u"Liberation Serif"_s);
    }

    // The PDF's page and description, the preview (144 dpi) and the printer raster; on the sticker's raster the
    // vehicle block's text has the size of the workshop block's.
    void outputs_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("pageSize");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QSize>("preview");
        QTest::addColumn<QSize>("raster");
        QTest::addRow("certificate") << 0 << u"595 x 842 pts (A4)"_s << u"Сертификат"_s << QSize(1190, 1684)
                                     << QSize(2479, 3508);
        QTest::addRow("sticker") << 1 << u"283 x 53 pts"_s << u"Наклейка"_s << QSize(566, 106) << QSize(1179, 221);
    }
    void outputs()
    {
        QFETCH(int, type);
        const QString name = typeName(DocumentType(type));
        const QString pdf = m_folder.filePath(name + u".pdf"_s);
        QTEST(pdfInfoValue(fileBytes(pdf), u"Page size"_s), "pageSize");
        QTEST(pdfInfoValue(fileBytes(pdf), u"Title"_s), "title");
        QCOMPARE(pdfInfoValue(fileBytes(pdf), u"Creator"_s), u"TessaronQt"_s);

        const QString path = m_folder.filePath(u"previews/"_s + name + u".png"_s);
        QVERIFY(DocumentRenderer::writePreviewImage(path, DocumentType(type), markerRecord()));
        const QImage preview(path);
        QTEST(preview.size(), "preview");
        QCOMPARE(preview.dotsPerMeterX(), 5669);
        QVERIFY(preview.save(lookPath(name + u"-preview"_s)));
        const QImage raster = printerRaster(DocumentType(type), markerRecord());
        QTEST(raster.size(), "raster");
        QVERIFY(raster.save(lookPath(name + u"-raster"_s)));
        if (type == int(S)) {
            const auto inkIn = [&](double from, double to) {
                return tallestInkRun(raster, int((from + 3) * printerRasterScale), int((to - 3) * printerRasterScale));
            };
            const int workshop = inkIn(8, 88);
            const int vehicle = inkIn(104, 218);
            QVERIFY2(workshop > 15 && std::abs(vehicle - workshop) <= workshop / 5,
                qPrintable(u"workshop %1 px, vehicle %2 px"_s.arg(workshop).arg(vehicle)));
        }
    }

    // A folder that cannot be made fails at the writer; a failed write keeps the earlier file whole.
    void pdfFailures()
    {
        QVERIFY(writeFile(m_folder.filePath(u"plain-file"_s), "x"));
        const QString unreachable = m_folder.filePath(u"plain-file/sub/c.pdf"_s);
        QString error;
        QVERIFY(!DocumentRenderer::writePdf(unreachable, C, {}, &error));
        QCOMPARE(error, u"Не удалось создать PDF: "_s + unreachable);

        SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        const QString path = disk.filePath(u"c.pdf"_s);
        QVERIFY(DocumentRenderer::writePdf(path, C, {}));
        const QByteArray earlier = fileBytes(path);
        disk.fill();
        QVERIFY(!DocumentRenderer::writePdf(path, C, markerRecord(), &error));
        QCOMPARE(error, u"Не удалось создать PDF: "_s + path);
        QCOMPARE(fileBytes(path), earlier);
    }

    // The print options as the printer gets them; the dialog answers "cancel" or chooses the page given.
    void printOptions_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("options");
        QTest::addColumn<QSizeF>("dialogPage");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("copies");
        QTest::addColumn<QSizeF>("pageMm");
        QTest::addColumn<bool>("landscape");
        const auto ok = [](const char *name, DocumentType type, const QVariantMap &options, int copies,
                            const QSizeF &pageMm, bool landscape = false, const QSizeF &dialogPage = {}) {
            QTest::newRow(name) << int(type) << options << dialogPage << QString() << copies << pageMm << landscape;
        };
        const auto refused = [](const char *name, DocumentType type, const QVariantMap &options, const QString &error,
                                 const QSizeF &dialogPage = {}) {
            QTest::newRow(name) << int(type) << options << dialogPage << error << 0 << QSizeF() << false;
        };
        const QSizeF a4(210, 297);
        const QSizeF tape(29, 90);
        ok("copies 0", C, {{u"copies"_s, 0}}, 1, a4);
        ok("copies 150", C, {{u"copies"_s, 150}}, 99, a4);
        ok("Landscape", C, {{u"orientation"_s, u"Landscape"_s}}, 1, a4);
        ok("landscape", C, {{u"orientation"_s, u"landscape"_s}}, 1, a4, true);
        ok("sticker without paper", S, {}, 1, QSizeF(100, 18.6));
        refused("sticker on A4", S, {{u"paper"_s, u"A4"_s}}, u"Драйвер не принял размер наклейки"_s);
        refused("OneNote", C, {{u"printerName"_s, u"Send To oneNOTE 2016"_s}}, u"Печать отменена: OneNote"_s);
        refused("default entry with blanks", C, {{u"printerName"_s, u" По умолчанию "_s}},
            u"Принтер не найден:  По умолчанию "_s);
        const QVariantMap driver {{u"paper"_s, u"driver"_s}};
        refused("driver paper, cancelled", S, driver, u"Печать отменена"_s);
        refused("driver paper, sheet chosen", S, driver, u"Драйвер сообщает листовой формат."_s, a4);
        ok("driver paper, tape chosen", S, driver, 1, tape, false, tape);
    }
    void printOptions()
    {
        TESSARON_REQUIRE_PRINT_QUEUE(!QPrinterInfo::defaultPrinter().isNull(), "print queue");
        QFETCH(int, type);
        QFETCH(QVariantMap, options);
        QFETCH(QSizeF, dialogPage);
        QFETCH(QString, error);
        DocumentRenderer::setPrintDialogForTesting([&](QPrinter &printer, const QString &) {
            return !dialogPage.isEmpty() && printer.setPageSize(QPageSize(dialogPage, QPageSize::Millimeter));
        });
        QPrinter printer(QPrinter::HighResolution);
        QString message;
        QCOMPARE(configurePrinter(printer, DocumentType(type), options, nullptr, &message), error.isEmpty());
        QVERIFY2(error.isEmpty() ? message.isEmpty() : message.startsWith(error), qPrintable(message));
        if (!error.isEmpty())
            return;
        QTEST(printer.copyCount(), "copies");
        QTEST(printer.pageLayout().pageSize().size(QPageSize::Millimeter), "pageMm");
        QTEST(printer.pageLayout().orientation() == QPageLayout::Landscape, "landscape");
    }

    // The dialog may switch to another printer: OneNote is refused there too, as is a page off the tape window.
    void dialogChoice()
    {
        const auto size
            = [](double width, double height) { return QPageSize(QSizeF(width, height), QPageSize::Millimeter); };
        QVERIFY(dialogChoiceError(u"OneNote (Desktop)"_s, size(29, 90)).startsWith(u"Печать отменена: OneNote"_s));
        QVERIFY(dialogChoiceError(u"QL-800"_s, size(17, 80)).isEmpty());
        QVERIFY(dialogChoiceError(u"QL-800"_s, size(500, 40)).isEmpty());
        QVERIFY(dialogChoiceError(u"QL-800"_s, size(16.9, 100)).startsWith(u"Драйвер сообщает листовой формат."_s));
    }

    // Jobs through the real queue: cups-pdf writes each as a PDF, read back here; an unknown printer gets none.
    void printQueue_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("options");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("pageSize");
        QTest::addRow("certificate") << 0 << QVariantMap {{u"paper"_s, u"A4"_s}, {u"fitToPage"_s, false}} << QString()
                                     << u"595 x 842 pts (A4)"_s;
        QTest::addRow("sticker") << 1 << QVariantMap {{u"paper"_s, u"sticker"_s}} << QString() << u"283 x 52 pts"_s;
        QTest::addRow("unknown printer") << 0 << QVariantMap {{u"printerName"_s, u"NoSuchPrinter"_s}}
                                         << u"Принтер не найден: NoSuchPrinter"_s << QString();
    }
    void printQueue()
    {
        const QDir out(printOutputFolder());
        TESSARON_REQUIRE_PRINT_QUEUE(!QPrinterInfo::defaultPrinter().isNull() && out.exists(), "cups-pdf queue");
        QFETCH(int, type);
        QFETCH(QVariantMap, options);
        QFETCH(QString, error);
        const QStringList before = out.entryList({u"*.pdf"_s}, QDir::Files);
        QString message;
        QCOMPARE(
            DocumentRenderer::printWithOptions(DocumentType(type), markerRecord(), options, &message), error.isEmpty());
        QCOMPARE(message, error);

        const QByteArray printed = takePrintedJob(out, before, error.isEmpty() ? 30000 : 3000);
        QCOMPARE(printed.isEmpty(), !error.isEmpty());
        if (printed.isEmpty())
            return;
        QTEST(pdfInfoValue(printed, u"Page size"_s), "pageSize");
        const QImage page = pdfPageImage(printed, 1, 100);
        QVERIFY(page.save(lookPath(QString::fromLatin1(QTest::currentDataTag()) + u"-printed"_s)));
        QVERIFY(tallestInkRun(page, 0, page.width()) > 0);
    }
};

QTEST_MAIN(TestDocumentRenderer)
#include "tst_document_renderer.moc"
