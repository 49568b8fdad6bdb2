#include "documents/document_renderer.h"
#include "documents/document_renderer_p.h"
#include "support/small_disk.h"
#include "support/test_files.h"
#include "support/time_zone_pin.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;
using namespace tessaron::documents;
using tessaron::storage::CertificateField;
using tessaron::storage::certificateFieldNames;

namespace {

struct Word
{
    QString text;
    QRectF box;
};

QByteArray popplerOutput(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    process.waitForFinished(60000);
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 ? process.readAllStandardOutput()
                                                                                   : QByteArray();
}

// Every word poppler reads on the first page with its box in points.
QList<Word> pdfWords(const QString &pdfPath)
{
    static const QRegularExpression word(
        uR"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"_s);
    QList<Word> words;
    const QString html = QString::fromUtf8(popplerOutput(u"pdftotext"_s, {u"-bbox"_s, pdfPath, u"-"_s}));
    for (const QRegularExpressionMatch &m : word.globalMatch(html))
        words.append({m.captured(5),
            QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    return words;
}

QString pdfInfo(const QString &pdfPath, const QString &field)
{
    const QString info = QString::fromUtf8(popplerOutput(u"pdfinfo"_s, {pdfPath}));
    return QRegularExpression(u"^"_s + field + u":\\s*(.*)$"_s, QRegularExpression::MultilineOption)
        .match(info)
        .captured(1)
        .trimmed();
}

QImage pdfPage(const QString &pdfPath)
{
    return QImage::fromData(popplerOutput(u"pdftoppm"_s, {u"-png"_s, u"-r"_s, u"100"_s, u"-singlefile"_s, pdfPath}));
}

// Pictures left in the build folder to look at.
QString lookFolder()
{
    const QString folder = QCoreApplication::applicationDirPath() + u"/document-pages"_s;
    QDir().mkpath(folder);
    return folder + u'/';
}

// Each field holds its own marker: M00 … M29 in field-set order; the order date carries a time to drop.
QVariantMap markerRecord()
{
    QVariantMap record;
    const QStringList names = certificateFieldNames();
    for (int i = 0; i < names.size(); ++i)
        record.insert(names[i], u" M%1 "_s.arg(i, 2, 10, QChar(u'0')));
    record.insert(u"OrderDate"_s, u"M02 10:15"_s);
    return record;
}

QString marker(CertificateField field)
{
    return u"M%1"_s.arg(int(field), 2, 10, QChar(u'0'));
}

bool printerRequired()
{
    return qEnvironmentVariableIntValue("TESSARON_REQUIRE_PRINTER") == 1;
}

// The folder cups-pdf writes jobs to, from its configuration; empty without one.
QString printOutputFolder()
{
    const QString config = QString::fromUtf8(tessaron::test::fileBytes(u"/etc/cups/cups-pdf.conf"_s));
    return QRegularExpression(u"^Out\\s+(\\S+)\\s*$"_s, QRegularExpression::MultilineOption)
        .match(config)
        .captured(1)
        .replace(u"${HOME}"_s, QDir::homePath());
}

QStringList pdfFilesIn(const QString &folder)
{
    return QDir(folder).entryList({u"*.pdf"_s}, QDir::Files);
}

// The longest run of rows holding dark pixels inside a column range: the height of a text line's ink.
int tallestInkRun(const QImage &image, int left, int right)
{
    int tallest = 0;
    int run = 0;
    for (int y = 0; y < image.height(); ++y) {
        bool ink = false;
        for (int x = left; x < right && !ink; ++x)
            ink = qGray(image.pixel(x, y)) < 128;
        run = ink ? run + 1 : 0;
        tallest = std::max(tallest, run);
    }
    return tallest;
}

bool hasInk(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                return true;
    return false;
}

} // namespace

#define TESSARON_REQUIRE_PRINT_QUEUE()                                                                                 \
    if (QPrinterInfo::defaultPrinter().isNull()) {                                                                     \
        if (printerRequired())                                                                                         \
            QFAIL("no print queue, although TESSARON_REQUIRE_PRINTER=1 (scripts/start-print-queue makes one)");        \
        QSKIP("no print queue on this machine: scripts/start-print-queue makes one");                                  \
    }

class TestDocumentRenderer : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QList<Word> m_words[2];
    QList<Word> m_emptyWords[2];

    QString writePdf(DocumentType type, const QVariantMap &record, const QString &name)
    {
        const QString path = m_folder.filePath(name);
        QString error;
        if (!DocumentRenderer::writePdf(path, type, record, &error))
            qWarning() << error;
        pdfPage(path).save(lookFolder() + name + u".png"_s);
        return path;
    }

private slots:
    void initTestCase()
    {
        tessaron::test::pinTimeZoneAndClock();
        for (const DocumentType type : {DocumentType::Certificate, DocumentType::Sticker}) {
            const QString name = type == DocumentType::Sticker ? u"sticker"_s : u"certificate"_s;
            m_words[int(type)] = pdfWords(writePdf(type, markerRecord(), name + u".pdf"_s));
            m_emptyWords[int(type)] = pdfWords(writePdf(type, {}, name + u"-empty.pdf"_s));
        }
    }
    void cleanupTestCase() { tessaron::test::releaseTimeZoneAndClock(); }
    void cleanup() { DocumentRenderer::setPrintDialogForTesting({}); }

    // Each field's marker, and the fixed words, inside the rectangle of its place on the page; for a label/value
    // row the value's part of it (right of the label column).
    void layout_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QRectF>("rect");
        const auto add = [](DocumentType type, const QString &word, QRectF rect, qreal labelColumn = 0) {
            QTest::addRow("%s %s", type == DocumentType::Sticker ? "sticker" : "certificate", qPrintable(word))
                << int(type) << word << rect.adjusted(labelColumn, 0, 0, 0);
        };
        using F = CertificateField;
        constexpr auto C = DocumentType::Certificate;
        constexpr auto S = DocumentType::Sticker;
        add(C, marker(F::OrderNumber), {397, 29, 155.5, 28}, 51);
        add(C, u"01.03.2026"_s, {397, 57, 155.5, 29}, 51);
        add(C, marker(F::WorkshopStigma), {467, 125, 85.5, 17});
        add(C, marker(F::CustomerName), {42.5, 142, 254.5, 28});
        add(C, marker(F::CustomerAddress), {42.5, 170, 254.5, 24});
        add(C, marker(F::CustomerPhone), {42.5, 194, 254.5, 25});
        add(C, marker(F::WorkshopName), {297, 142, 255.5, 28});
        add(C, marker(F::WorkshopAddress), {297, 170, 255.5, 24});
        add(C, marker(F::WorkshopPhone), {297, 194, 255.5, 25});
        const F left[] = {F::TachographManufacture, F::TachographModel, F::TachographSerialNumber,
            F::TachographDateOfManufacture, F::TachographSkzi};
        const F right[] = {F::VehicleRegNumber, F::VehicleMark, F::VehicleModel, F::VehicleVin, F::VehicleOdometr};
        for (int i = 0; i < 5; ++i) {
            add(C, marker(left[i]), {42.5, 275.0 + 12 * i, 254.5, 12}, 84);
            add(C, marker(right[i]), {297, 275.0 + 12 * i, 255.5, 12}, 84);
        }
        add(C, marker(F::OrderDate), {42.5, 391, 254.5, 14}, 87);
        add(C, marker(F::TachographSettingsW), {42.5, 405, 254.5, 14}, 87);
        add(C, marker(F::TachographSettingsK), {42.5, 419, 254.5, 16}, 87);
        add(C, marker(F::TachographSettingsNextCalibr), {297, 391, 255.5, 14}, 125);
        add(C, marker(F::VehicleTyreMarking), {297, 405, 255.5, 14}, 125);
        add(C, marker(F::TachographSettingsL), {297, 419, 255.5, 16}, 125);
        add(C, marker(F::SetupTable), {297, 476, 255.5, 17});
        add(C, marker(F::Inspection), {297, 536, 255.5, 17});
        add(C, marker(F::Manipulation), {297, 553, 255.5, 17});
        add(C, marker(F::Note), {42.5, 634, 510, 34});
        add(C, marker(F::OrderResponsible), {42.5, 731, 180, 18}, 80);
        add(C, marker(F::OrderMaster), {42.5, 760, 270, 18}, 50);
        add(C, u"тахографа"_s, {212, 29, 185, 57});
        add(C, u"Заказчик"_s, {42.5, 125, 254.5, 17});
        add(C, u"Мастерская"_s, {297, 125, 170, 17});
        add(C, u"Одометр,"_s, {297, 323, 84, 12});
        add(C, u"установочной"_s, {42.5, 476, 254.5, 17});
        add(C, u"отметки"_s, {42.5, 617, 510, 17});
        add(C, u"Подпись:"_s, {360, 760, 90, 18});
        add(C, u"М.П."_s, {500, 760, 53, 18});

        add(S, marker(F::WorkshopStigma), {0, 0, 8, 52.8});
        for (const F field : {F::WorkshopName, F::WorkshopAddress, F::WorkshopPhone})
            add(S, marker(field), {8, 0, 80, 52.8});
        for (const F field :
            {F::VehicleVin, F::VehicleRegNumber, F::TachographModel, F::TachographSerialNumber, F::TachographSkzi})
            add(S, marker(field), {104, 0, 114, 52.8});
        for (const F field : {F::TachographSettingsW, F::TachographSettingsK, F::TachographSettingsL,
                 F::VehicleTyreMarking, F::OrderDate})
            add(S, marker(field), {229, 0, 46.5, 52.8});
        add(S, u"Транспортное"_s, {88, 0, 16, 52.8});
        add(S, u"средство"_s, {88, 0, 16, 52.8});
        add(S, u"VIN:"_s, {104, 0, 114, 52.8});
        add(S, u"СКЗИ:"_s, {104, 0, 114, 52.8});
        add(S, u"Параметры"_s, {218, 0, 11, 52.8});
        add(S, u"W="_s, {229, 0, 46.5, 52.8});
        add(S, u"настр.:"_s, {229, 0, 46.5, 52.8});
    }
    void layout()
    {
        QFETCH(int, type);
        QFETCH(QString, word);
        QFETCH(QRectF, rect);
        QStringList seen;
        for (const Word &found : std::as_const(m_words[type])) {
            if (found.text != word)
                continue;
            if (rect.adjusted(-0.5, -0.5, 0.5, 0.5).contains(found.box))
                return;
            seen.append(QDebug::toString(found.box));
        }
        QFAIL(qPrintable(u"not inside %1; found at: %2"_s.arg(QDebug::toString(rect), seen.join(u", "))));
    }

    // Without data only frames and fixed words appear: the marker documents less their markers; the time of
    // the order date is never shown.
    void emptyRecordShowsOnlyFixedWords()
    {
        for (const int type : {0, 1}) {
            QStringList fixed;
            for (const Word &word : std::as_const(m_words[type]))
                if (!QRegularExpression(u"^M\\d\\d$"_s).match(word.text).hasMatch())
                    fixed.append(word.text);
            QStringList empty;
            for (const Word &word : std::as_const(m_emptyWords[type]))
                empty.append(word.text);
            empty.sort();
            fixed.sort();
            QCOMPARE(empty, fixed);
            QVERIFY(!fixed.contains(u"10:15"_s));
        }
    }

    // A long address wraps inside its rectangle; a long row value stays on one line.
    void longValues_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("wraps");
        QTest::addRow("address") << u"CustomerAddress"_s << QRectF(42.5, 170, 254.5, 24)
                                 << u"улица Длинная дом 123 корпус 4 строение 5 офис 678 Промышленный район"_s << true;
        QTest::addRow("row value") << u"VehicleVin"_s << QRectF(297 + 84, 311, 300, 12)
                                   << u"улица Длинная дом 123 корпус 4 строение 5 офис"_s << false;
    }
    void longValues()
    {
        QFETCH(QString, field);
        QFETCH(QRectF, rect);
        QFETCH(QString, text);
        QFETCH(bool, wraps);
        const QList<Word> words = pdfWords(writePdf(DocumentType::Certificate, {{field, text}}, field + u".pdf"_s));
        QSet<int> lines;
        for (const QString &part : text.split(u' ')) {
            const auto found = std::find_if(words.begin(), words.end(), [&](const Word &w) { return w.text == part; });
            QVERIFY2(
                found != words.end() && rect.adjusted(-0.5, -0.5, 0.5, 0.5).contains(found->box), qPrintable(part));
            lines.insert(qRound(found->box.top()));
        }
        QCOMPARE(lines.size() > 1, wraps);
    }

    // In point mode a painter scaled up divides the size (then truncated); in pixel mode the size is rounded.
    void fontSizes_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("pointSized");
        QTest::addColumn<double>("size");
        QTest::addColumn<int>("pointSize");
        QTest::addColumn<int>("pixelSize");
        QTest::addRow("preview, 8.5") << 2.0 << true << 8.5 << 4 << -1;
        QTest::addRow("pdf, 8.5") << 1.0 << true << 8.5 << 8 << -1;
        QTest::addRow("raster, 8.5") << printerRasterScale << false << 8.5 << -1 << 9;
        QTest::addRow("raster, 5.8") << printerRasterScale << false << 5.8 << -1 << 6;
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
        QTEST(font.pointSize(), "pointSize");
        QTEST(font.pixelSize(), "pixelSize");
        QCOMPARE(font.weight(), QFont::Bold);
        QCOMPARE(QFontInfo(font).family(), u"Liberation Serif"_s);
    }

    // Preview and printer raster sizes; the preview file says 144 dpi.
    void images_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QSize>("preview");
        QTest::addColumn<QSize>("raster");
        QTest::addRow("certificate") << 0 << QSize(1190, 1684) << QSize(2479, 3508);
        QTest::addRow("sticker") << 1 << QSize(566, 106) << QSize(1179, 221);
    }
    void images()
    {
        QFETCH(int, type);
        const QString name = type ? u"sticker"_s : u"certificate"_s;
        const QString path = m_folder.filePath(u"previews/"_s + name + u".png"_s);
        QVERIFY(DocumentRenderer::writePreviewImage(path, DocumentType(type), markerRecord(), nullptr));
        const QImage preview(path);
        QTEST(preview.size(), "preview");
        QCOMPARE(preview.dotsPerMeterX(), 5669);
        QVERIFY(preview.save(lookFolder() + name + u"-preview.png"_s));
        const QImage raster = printerRaster(DocumentType(type), markerRecord());
        QTEST(raster.size(), "raster");
        QVERIFY(raster.save(lookFolder() + name + u"-raster.png"_s));
    }

    // On the printer raster the vehicle block's text has the size of the workshop block's (both 7).
    void stickerRasterTextSizes()
    {
        const QImage raster = printerRaster(DocumentType::Sticker, markerRecord());
        const auto columns = [](double from, double to) {
            return std::pair(int((from + 3) * printerRasterScale), int((to - 3) * printerRasterScale));
        };
        const auto [workshopLeft, workshopRight] = columns(8, 88);
        const auto [vehicleLeft, vehicleRight] = columns(104, 218);
        const int workshop = tallestInkRun(raster, workshopLeft, workshopRight);
        const int vehicle = tallestInkRun(raster, vehicleLeft, vehicleRight);
        QVERIFY2(workshop > 15 && std::abs(vehicle - workshop) <= workshop / 5,
            qPrintable(u"workshop %1 px, vehicle %2 px"_s.arg(workshop).arg(vehicle)));
    }

    void pdfFiles_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("pageSize");
        QTest::addColumn<QString>("title");
        QTest::addRow("certificate") << 0 << u"595 x 842 pts (A4)"_s << u"Сертификат"_s;
        QTest::addRow("sticker") << 1 << u"283 x 53 pts"_s << u"Наклейка"_s;
    }
    void pdfFiles()
    {
        QFETCH(int, type);
        const QString path = m_folder.filePath(u"pdf/%1.pdf"_s.arg(type));
        QVERIFY(DocumentRenderer::writePdf(path, DocumentType(type), markerRecord(), nullptr));
        QTEST(pdfInfo(path, u"Page size"_s), "pageSize");
        QTEST(pdfInfo(path, u"Title"_s), "title");
        QCOMPARE(pdfInfo(path, u"Creator"_s), u"TessaronQt"_s);
    }

    // A folder that cannot be made fails at the writer; a failed write keeps the earlier file whole.
    void pdfFailures()
    {
        const QString blocker = m_folder.filePath(u"plain-file"_s);
        QVERIFY(tessaron::test::writeFile(blocker, "x"));
        const QString unreachable = blocker + u"/sub/c.pdf"_s;
        QString error;
        QVERIFY(!DocumentRenderer::writePdf(unreachable, DocumentType::Certificate, {}, &error));
        QCOMPARE(error, u"Не удалось создать PDF: "_s + unreachable);

        tessaron::test::SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        const QString path = disk.filePath(u"c.pdf"_s);
        QVERIFY(DocumentRenderer::writePdf(path, DocumentType::Certificate, {}, nullptr));
        const QByteArray earlier = tessaron::test::fileBytes(path);
        disk.fill();
        error.clear();
        QVERIFY(!DocumentRenderer::writePdf(path, DocumentType::Certificate, markerRecord(), &error));
        QCOMPARE(error, u"Не удалось создать PDF: "_s + path);
        QCOMPARE(tessaron::test::fileBytes(path), earlier);
    }

    // The print options as the printer gets them; the dialog is answered here ("cancel", or a page to choose).
    void printOptions_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("options");
        QTest::addColumn<QString>("dialogAnswer");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("copies");
        QTest::addColumn<QSizeF>("paperMm");
        QTest::addColumn<int>("orientation");
        const QSizeF a4(210, 297);
        const QSizeF tape(100, 18.6);
        const int portrait = QPageLayout::Portrait;
        QTest::addRow("copies 0") << 0 << QVariantMap {{u"copies"_s, 0}} << QString() << QString() << 1 << a4
                                  << portrait;
        QTest::addRow("copies 150") << 0 << QVariantMap {{u"copies"_s, 150}} << QString() << QString() << 99 << a4
                                    << portrait;
        QTest::addRow("Landscape") << 0 << QVariantMap {{u"orientation"_s, u"Landscape"_s}} << QString() << QString()
                                   << 1 << a4 << portrait;
        QTest::addRow("landscape") << 0 << QVariantMap {{u"orientation"_s, u"landscape"_s}} << QString() << QString()
                                   << 1 << a4 << int(QPageLayout::Landscape);
        QTest::addRow("sticker without paper") << 1 << QVariantMap() << QString() << QString() << 1 << tape << portrait;
        QTest::addRow("sticker on A4")
            << 1 << QVariantMap {{u"paper"_s, u"A4"_s}} << QString()
            << u"Драйвер не принял размер наклейки 100 × 18,6 мм. Выберите «Размер ленты из драйвера» или "
               "настройте формат ленты в Windows."_s
            << 0 << QSizeF() << 0;
        QTest::addRow("OneNote") << 0 << QVariantMap {{u"printerName"_s, u"Send To oneNOTE 2016"_s}} << QString()
                                 << u"Печать отменена: OneNote является виртуальным принтером и не используется "
                                    "приложением."_s
                                 << 0 << QSizeF() << 0;
        QTest::addRow("default entry with blanks")
            << 0 << QVariantMap {{u"printerName"_s, u" По умолчанию "_s}} << QString()
            << u"Принтер не найден:  По умолчанию "_s << 0 << QSizeF() << 0;
        QTest::addRow("unknown printer") << 0 << QVariantMap {{u"printerName"_s, u"NoSuchPrinter"_s}} << QString()
                                         << u"Принтер не найден: NoSuchPrinter"_s << 0 << QSizeF() << 0;
        const QVariantMap driver {{u"paper"_s, u"driver"_s}};
        QTest::addRow("driver paper, cancelled")
            << 1 << driver << u"cancel"_s << u"Печать отменена"_s << 0 << QSizeF() << 0;
        QTest::addRow("driver paper, sheet chosen")
            << 1 << driver << u"A4"_s
            << u"Драйвер сообщает листовой формат. В свойствах принтера выберите установленную ленту Brother "
               "шириной 18–36 мм и длиной от 80 мм."_s
            << 0 << QSizeF() << 0;
        QTest::addRow("driver paper, tape chosen")
            << 1 << driver << u"tape"_s << QString() << 1 << QSizeF(29, 90) << portrait;
    }
    void printOptions()
    {
        TESSARON_REQUIRE_PRINT_QUEUE();
        QFETCH(int, type);
        QFETCH(QVariantMap, options);
        QFETCH(QString, dialogAnswer);
        QFETCH(QString, error);
        DocumentRenderer::setPrintDialogForTesting([&](QPrinter &printer, const QString &title) {
            if (title != u"Выбор ленты Brother и параметров печати")
                return false;
            const QSizeF size = dialogAnswer == u"A4" ? QSizeF(210, 297) : QSizeF(29, 90);
            printer.setPageSize(QPageSize(size, QPageSize::Millimeter));
            return dialogAnswer != u"cancel";
        });
        QPrinter printer(QPrinter::HighResolution);
        QString message;
        const bool configured = configurePrinter(printer, DocumentType(type), options, nullptr, &message);
        QCOMPARE(message, error);
        QCOMPARE(configured, error.isEmpty());
        if (!configured)
            return;
        QTEST(printer.copyCount(), "copies");
        QTEST(int(printer.pageLayout().orientation()), "orientation");
        QTEST(printer.pageLayout().pageSize().size(QPageSize::Millimeter), "paperMm");
    }

    // The printer may be changed in the dialog: OneNote is refused there too, as is sheet paper.
    void dialogChoice_data()
    {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QSizeF>("paperMm");
        QTest::addColumn<bool>("refused");
        QTest::addRow("OneNote on tape") << u"OneNote (Desktop)"_s << QSizeF(29, 90) << true;
        QTest::addRow("tape 17 x 80") << u"QL-800"_s << QSizeF(17, 80) << false;
        QTest::addRow("tape 40 x 500") << u"QL-800"_s << QSizeF(500, 40) << false;
        QTest::addRow("too narrow") << u"QL-800"_s << QSizeF(16.9, 100) << true;
        QTest::addRow("too long") << u"QL-800"_s << QSizeF(36, 501) << true;
    }
    void dialogChoice()
    {
        QFETCH(QString, printer);
        QFETCH(QSizeF, paperMm);
        QTEST(!dialogChoiceError(printer, QPageSize(paperMm, QPageSize::Millimeter)).isEmpty(), "refused");
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
        TESSARON_REQUIRE_PRINT_QUEUE();
        const QString out = printOutputFolder();
        if (!QFileInfo(out).isDir()) {
            if (printerRequired())
                QFAIL("no cups-pdf output folder, although TESSARON_REQUIRE_PRINTER=1");
            QSKIP("no cups-pdf output folder (Out in /etc/cups/cups-pdf.conf)");
        }
        QFETCH(int, type);
        QFETCH(QVariantMap, options);
        QFETCH(QString, error);
        const QStringList before = pdfFilesIn(out);
        QString message;
        QCOMPARE(
            DocumentRenderer::printWithOptions(DocumentType(type), markerRecord(), options, &message), error.isEmpty());
        QCOMPARE(message, error);

        // cups-pdf writes the file under a temporary name first; it is done once poppler reads a page size.
        QString printed;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < (error.isEmpty() ? 30000 : 3000)) {
            for (const QString &name : pdfFilesIn(out))
                if (!before.contains(name) && !pdfInfo(out + u'/' + name, u"Page size"_s).isEmpty())
                    printed = out + u'/' + name;
            if (!printed.isEmpty())
                break;
            QThread::msleep(200);
        }
        QCOMPARE(printed.isEmpty(), !error.isEmpty());
        if (printed.isEmpty())
            return;
        QTEST(pdfInfo(printed, u"Page size"_s), "pageSize");
        const QImage page = pdfPage(printed);
        QVERIFY(page.save(lookFolder() + QString::fromLatin1(QTest::currentDataTag()) + u"-printed.png"_s));
        QVERIFY(hasInk(page));
    }
};

QTEST_MAIN(TestDocumentRenderer)
#include "tst_document_renderer.moc"
