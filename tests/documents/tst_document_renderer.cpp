#include "documents/document_renderer.h"
#include "documents/document_renderer_p.h"
#include "support/pdf_probe.h"
#include "support/print_queue.h"
#include "support/small_disk.h"
#include "support/test_files.h"
#include "support/time_zone_pin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

// Values a workshop really prints, each longer than its box holds at the box's size.
QVariantMap longRecord()
{
    return {
        {u"OrderResponsible"_s, u"Смирнова Ольга Викторовна"_s},
        {u"OrderMaster"_s, u"Кузнецов Александр Петрович"_s},
        {u"OrderDate"_s, u"2024-05-06 10:15:00"_s},
        {u"TachographSettingsNextCalibr"_s, u"2026-05-06"_s},
        {u"WorkshopStigma"_s, u"RUS 77 М-0412"_s},
        {u"CustomerName"_s,
            u"Общество с ограниченной ответственностью «Северо-Западная транспортно-логистическая компания "
            "Магистраль-Авто-Сервис»"_s},
        {u"CustomerAddress"_s,
            u"198095, Российская Федерация, г. Санкт-Петербург, вн. тер. г. муниципальный округ Нарвский округ, "
            "ул. Промышленная, д. 19, литера Р, помещение 12-Н, офис 305"_s},
        {u"CustomerPhone"_s, u"+7 (812) 555-01-23"_s},
        {u"WorkshopName"_s, u"ООО «Тахосервис-Центр»"_s},
        {u"WorkshopAddress"_s, u"125480, г. Москва, ул. Героев Панфиловцев, д. 24, стр. 2, офис 7"_s},
        {u"WorkshopPhone"_s, u"+7 (495) 123-45-67, +7 (916) 765-43-21"_s},
        // One word wider than the note's cell at 8.5 points: seal numbers written without a break.
        {u"Note"_s, QString(u"Эксплуатация только на территории РФ. Пломбы: "_s + u"RUS77M0412ПЛ"_s.repeated(10))},
        {u"VehicleVin"_s, u"XTA210930Y2766389"_s},
        {u"TachographModel"_s, u"Корвален исп. 1381.3813010-01"_s},
    };
}

// Every field as the document draws it, in points: the value's box (its text room, insets taken off) and the
// text drawn there, made of the record's values.
struct ValueBox
{
    const char *name;
    QRectF box;
    QString text;
};

QList<ValueBox> longValueBoxes(DocumentType type)
{
    const QVariantMap r = longRecord();
    const auto v = [&](const char *key) { return r.value(QString::fromLatin1(key)).toString(); };
    if (type == S)
        return {
            {"workshop block", QRectF(10, 0, 76, 52.8),
                v("WorkshopName") + u' ' + v("WorkshopAddress") + u' ' + v("WorkshopPhone")},
            {"workshop mark band", QRectF(0, 0, 8, 52.8), v("WorkshopStigma")},
            {"vehicle block", QRectF(106, 0, 110, 52.8),
                u"VIN: "_s + v("VehicleVin") + u" VRN: "_s + v("TachographModel") + u" с/н: СКЗИ:"_s},
        };
    return {
        {"responsible", QRectF(124.5, 731, 93, 18), v("OrderResponsible")},
        {"workshop mark", QRectF(472, 125, 75.5, 17), v("WorkshopStigma")},
        {"customer name", QRectF(47.5, 142, 244.5, 28), v("CustomerName")},
        {"customer address", QRectF(47.5, 170, 244.5, 24), v("CustomerAddress")},
        {"workshop address", QRectF(302, 170, 245.5, 24), v("WorkshopAddress")},
        {"workshop phone", QRectF(302, 194, 245.5, 25), v("WorkshopPhone")},
        {"note", QRectF(47.5, 634, 500, 34), v("Note")},
    };
}

// The ink's bounding box within a rectangle of the image (dark pixels only); null without ink.
QRect inkBox(const QImage &image, const QRect &area)
{
    QRect ink;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 128)
                ink |= QRect(x, y, 1, 1);
        }
    }
    return ink;
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
            u"M28 VRN: M11"_s, u"средство"_s, u"L= M20"_s, u"M29 M16"_s, u"M26"_s, u"Шины: M09"_s,
            u"с/н: M14 дата настр.:"_s, u"СКЗИ: M15 M02"_s};
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

    // A long address wraps inside its rectangle at its size (8.5 points, no longer truncated to 8); a row value
    // too long for one line at its size is drawn smaller on one line.
    void longValues()
    {
        const QString text = u"улица Длинная дом 123 корпус 4 строение 5 офис"_s;
        const QString address = text + u" 678 Промышленный район"_s;
        const QStringList lines
            = pdfLayoutLines(writtenPdf(C, {{u"CustomerAddress"_s, address}, {u"VehicleVin"_s, text}}, u"long"_s));
        const qsizetype wrapped = lines.indexOf(u"улица Длинная дом 123 корпус 4 строение 5 офис 678"_s);
        QVERIFY(wrapped > 0 && lines.at(wrapped + 1) == u"Промышленный район"_s);
        QVERIFY(lines.contains(u"Дата производства: VIN: "_s + text));
    }

    // Sizes keep their fractions: halved for a 2× preview they were truncated before (7 → 3, 5.8 → 2).
    void fontSizes_data()
    {
        QTest::addColumn<double>("size");
        QTest::addRow("sticker block, 7") << 7.0;
        QTest::addRow("sticker parameters, 5.8") << 5.8;
    }
    void fontSizes()
    {
        QFETCH(double, size);
        const QFont font = reportFont(size, true);
        QCOMPARE(font.pointSizeF(), size);
        QCOMPARE(font.weight(), QFont::Bold);
        QCOMPARE(QFontInfo(font).family(), u"Liberation Serif"_s);
    }

    // A text keeps its size while it fits, else takes the largest size, down to 60 %, at which it fits wrapped at
    // word boundaries; a word too wide even then is broken inside, every letter kept.
    void fitting()
    {
        QCOMPARE(fitText(u"Иванов"_s, QSizeF(93, 18), 8.5, false).size, 8.5);
        const TextFit name = fitText(u"Смирнова Ольга Викторовна"_s, QSizeF(93, 18), 8.5, false);
        QVERIFY2(name.isWhole && name.size >= 7.0 && name.size < 8.5, qPrintable(QString::number(name.size)));
        QCOMPARE(name.lines, (QStringList {u"Смирнова Ольга"_s, u"Викторовна"_s}));
        const QString word(60, u'Ш');
        const TextFit broken = fitText(word, QSizeF(100, 30), 8.5, false);
        QVERIFY(!broken.isWhole && broken.lines.size() > 1);
        QCOMPARE(broken.size, 8.5 * smallestTextShare);
        QCOMPARE(broken.lines.join(QString()), word);
    }

    // The long values of a real workshop, read back from the PDF: each value's words whole, in order, and inside
    // the value's box (0.5 point of tolerance for the glyph boxes poppler reports), nothing of it elsewhere.
    void longValuesWhole_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QRectF>("box");
        QTest::addColumn<QString>("text");
        for (const DocumentType type : {C, S}) {
            for (const ValueBox &value : longValueBoxes(type))
                QTest::addRow("%s, %s", qPrintable(typeName(type)), value.name) << int(type) << value.box << value.text;
        }
    }
    void longValuesWhole()
    {
        QFETCH(int, type);
        QFETCH(QRectF, box);
        QFETCH(QString, text);
        const QString name = typeName(DocumentType(type)) + u"-long"_s;
        const QString path = m_folder.filePath(name + u".pdf"_s);
        if (!QFileInfo::exists(path))
            QVERIFY(!writtenPdf(DocumentType(type), longRecord(), name).isEmpty());
        const QRectF tolerated = box.adjusted(-0.5, -0.5, 0.5, 0.5);
        QStringList found;
        for (const PdfWord &word : pdfWords(fileBytes(path))) {
            if (!box.contains(word.box.center()))
                continue;
            QVERIFY2(tolerated.contains(word.box), qPrintable(word.text));
            found.append(word.text);
        }
        QCOMPARE(found.join(u' '), text.simplified());
    }

    // A value running out of its box even at the smallest size is named, in drawing order; real long values are not.
    // A sticker block names the field without which it would fit, or, none alone to blame, every field with text.
    void unfitFields_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<QList<F>>("unfit");
        const QString words = u"Промышленная улица дом "_s;
        const QVariantMap overLong {{u"CustomerAddress"_s, words.repeated(24)},
            {u"OrderResponsible"_s, u"Ответственный "_s.repeated(14)}, {u"OrderMaster"_s, u"Мастер "_s.repeated(40)}};
        QVariantMap sticker = longRecord();
        sticker.insert(u"WorkshopStigma"_s, u"RUS 77 М-0412 "_s.repeated(5));
        sticker.insert(u"WorkshopName"_s, words.repeated(20));
        for (const char *key :
            {"VehicleVin", "VehicleRegNumber", "TachographModel", "TachographSerialNumber", "TachographSkzi"})
            sticker.insert(QString::fromLatin1(key), words.repeated(5));
        QTest::addRow("certificate, real long values") << int(C) << longRecord() << QList<F> {};
        QTest::addRow("sticker, real long values") << int(S) << longRecord() << QList<F> {};
        QTest::addRow("certificate, address, responsible, master")
            << int(C) << overLong << QList<F> {F::CustomerAddress, F::OrderResponsible, F::OrderMaster};
        QTest::addRow("sticker, mark band, workshop name, no single vehicle line to blame")
            << int(S) << sticker
            << QList<F> {F::WorkshopStigma, F::WorkshopName, F::VehicleVin, F::VehicleRegNumber, F::TachographModel,
                   F::TachographSerialNumber, F::TachographSkzi};
    }
    void unfitFields()
    {
        QFETCH(int, type);
        QFETCH(QVariantMap, record);
        QTEST(DocumentRenderer::unfitFields(DocumentType(type), record), "unfit");
    }

    // The preview and the printer raster show the PDF's lines: in every value box the ink covers the same area
    // as on the PDF drawn by poppler at the same resolution (within 2 pixels: antialiasing and hinting differ).
    void outputsAgree_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("raster");
        for (const DocumentType type : {C, S}) {
            QTest::addRow("%s preview", qPrintable(typeName(type))) << int(type) << false;
            QTest::addRow("%s printer raster", qPrintable(typeName(type))) << int(type) << true;
        }
    }
    void outputsAgree()
    {
        QFETCH(int, type);
        QFETCH(bool, raster);
        const DocumentType document = DocumentType(type);
        const QString path = m_folder.filePath(typeName(document) + u"-agree.pdf"_s);
        QVERIFY(DocumentRenderer::writePdf(path, document, longRecord()));
        const double scale = raster ? printerRasterScale : 2.0;
        const QImage pdf = pdfPageImage(fileBytes(path), 1, int(std::lround(72 * scale)));
        const QImage drawn = raster ? printerRaster(document, longRecord()) : previewImage(document, longRecord());
        QVERIFY(drawn.save(lookPath(typeName(document) + (raster ? u"-long-raster"_s : u"-long-preview"_s))));
        for (const ValueBox &value : longValueBoxes(document)) {
            // The box's inside only, clear of its frame lines.
            const QRectF inside = value.box.adjusted(0, 1, 0, -1);
            const QRect area(QPoint(int(std::ceil(inside.left() * scale)), int(std::ceil(inside.top() * scale))),
                QPoint(int(std::floor(inside.right() * scale)), int(std::floor(inside.bottom() * scale))));
            const QRect expected = inkBox(pdf, area);
            const QRect actual = inkBox(drawn, area);
            const QMargins slack(2, 2, 2, 2);
            QVERIFY2(!expected.isNull() && (expected + slack).contains(actual) && (actual + slack).contains(expected),
                value.name);
        }
    }

    // Every date reads dd.MM.yyyy; a time is left out; a text that is no date is printed as it is.
    void dates_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addRow("ISO date") << u"2024-05-06"_s << u"06.05.2024"_s;
        QTest::addRow("ISO date and time") << u"2024-05-06 10:15:00"_s << u"06.05.2024"_s;
        QTest::addRow("ISO date with T") << u"2028-12-07T00:00:00.000"_s << u"07.12.2028"_s;
        QTest::addRow("already dd.MM.yyyy") << u"07.12.2028"_s << u"07.12.2028"_s;
        QTest::addRow("short day and month") << u"7.1.2028"_s << u"07.01.2028"_s;
        QTest::addRow("impossible date stays") << u"2028-13-32"_s << u"2028-13-32"_s;
        QTest::addRow("text stays") << u"по заявке клиента"_s << u"по заявке клиента"_s;
    }
    void dates()
    {
        QFETCH(QString, stored);
        QTEST(documentDate(stored), "shown");
    }

    // Both documents print the stored ISO dates as dd.MM.yyyy.
    void datesOnDocuments()
    {
        const QVariantMap record {{u"OrderDate"_s, u"2024-05-06 10:15:00"_s},
            {u"TachographSettingsNextCalibr"_s, u"2028-12-07"_s}, {u"TachographDateOfManufacture"_s, u"2019-03-01"_s}};
        const QStringList certificate = pdfLayoutLines(writtenPdf(C, record, u"certificate-dates"_s));
        QVERIFY(certificate.contains(u"Дата производства: 01.03.2019 VIN:"_s));
        QVERIFY(certificate.contains(u"Дата настройки: 06.05.2024 Следующая настройка: 07.12.2028"_s));
        const QString sticker = pdfPageTexts(writtenPdf(S, record, u"sticker-dates"_s)).join(u' ');
        QVERIFY2(sticker.contains(u"06.05.2024"_s) && !sticker.contains(u"2024-05-06"_s), qPrintable(sticker));
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
        QCOMPARE(error, u"Не удалось создать PDF: "_s + path + u" (на диске нет места)"_s);
        QCOMPARE(fileBytes(path), earlier);
    }

    // Issued again on a disk with any room left, a document replaces the earlier one whole (poppler reads it) or
    // fails, says the disk is full and leaves the earlier one as it was, with nothing beside it.
    void pdfOnFullDisk_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<qint64>("room");
        QTest::addColumn<bool>("fits");
        for (const DocumentType type : {C, S}) {
            const qint64 size = m_pdfs[int(type)][0].size();
            for (const qint64 room : roomsToTry(size)) {
                QTest::addRow(
                    "%s of %lld bytes, %s", qPrintable(typeName(type)), size, roomName(room, size).constData())
                    << int(type) << room << (room >= size);
            }
        }
    }
    void pdfOnFullDisk()
    {
        QFETCH(int, type);
        QFETCH(qint64, room);
        QFETCH(bool, fits);
        const SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        const QString path = disk.filePath(u"document.pdf"_s);
        QVERIFY(DocumentRenderer::writePdf(path, DocumentType(type), {}));
        const QByteArray earlier = fileBytes(path);
        disk.fill(room);

        QString error;
        const bool written = DocumentRenderer::writePdf(path, DocumentType(type), markerRecord(), &error);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
            QStringList({u"document.pdf"_s, u"filler"_s}));
        if (fits) {
            QVERIFY2(written, qPrintable(error));
            QCOMPARE(pdfPageTexts(fileBytes(path)), pdfPageTexts(m_pdfs[type][0]));
            return;
        }
        QVERIFY(!written);
        QCOMPARE(error, u"Не удалось создать PDF: "_s + path + u" (на диске нет места)"_s);
        QCOMPARE(fileBytes(path), earlier);
    }

    // The print options as the printer gets them; the dialog answers "cancel" or chooses the page given. A
    // cancel is told by its status, a refusal is a failure with its message.
    void printOptions_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("options");
        QTest::addColumn<QSizeF>("dialogPage");
        QTest::addColumn<PrintStatus>("status");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("copies");
        QTest::addColumn<QSizeF>("pageMm");
        QTest::addColumn<bool>("landscape");
        const auto ok = [](const char *name, DocumentType type, const QVariantMap &options, int copies,
                            const QSizeF &pageMm, bool landscape = false, const QSizeF &dialogPage = {}) {
            QTest::newRow(name) << int(type) << options << dialogPage << PrintStatus::Printed << QString() << copies
                                << pageMm << landscape;
        };
        const auto refused = [](const char *name, DocumentType type, const QVariantMap &options, const QString &error,
                                 const QSizeF &dialogPage = {}, PrintStatus status = PrintStatus::Failed) {
            QTest::newRow(name) << int(type) << options << dialogPage << status << error << 0 << QSizeF() << false;
        };
        const QSizeF a4(210, 297);
        const QSizeF tape(29, 90);
        ok("copies 0", C, {{u"copies"_s, 0}}, 1, a4);
        ok("copies 150", C, {{u"copies"_s, 150}}, 99, a4);
        ok("Landscape", C, {{u"orientation"_s, u"Landscape"_s}}, 1, a4);
        ok("landscape", C, {{u"orientation"_s, u"landscape"_s}}, 1, a4, true);
        ok("certificate on Letter", C, {{u"paper"_s, u"Letter"_s}}, 1, QSizeF(215.9, 279.4));
        ok("sticker without paper", S, {}, 1, QSizeF(100, 18.6));
        refused("sticker on A4", S, {{u"paper"_s, u"A4"_s}}, u"Драйвер не принял размер наклейки"_s);
        refused("OneNote", C, {{u"printerName"_s, u"Send To oneNOTE 2016"_s}}, u"Печать отменена: OneNote"_s);
        refused("default entry with blanks", C, {{u"printerName"_s, u" По умолчанию "_s}},
            u"Принтер не найден:  По умолчанию "_s);
        const QVariantMap driver {{u"paper"_s, u"driver"_s}};
        refused("driver paper, cancelled", S, driver, u"Печать отменена"_s, {}, PrintStatus::Cancelled);
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
        bool fit = false;
        QTEST(configurePrinter(printer, DocumentType(type), options, &fit, &message), "status");
        QVERIFY2(error.isEmpty() ? message.isEmpty() : message.startsWith(error), qPrintable(message));
        if (!error.isEmpty())
            return;
        QVERIFY(fit);
        QTEST(printer.copyCount(), "copies");
        const QSizeF page = printer.pageLayout().pageSize().size(QPageSize::Millimeter);
        QFETCH(QSizeF, pageMm);
        QVERIFY2(std::abs(page.width() - pageMm.width()) < 0.2 && std::abs(page.height() - pageMm.height()) < 0.2,
            qPrintable(u"%1 × %2 mm"_s.arg(page.width()).arg(page.height())));
        QTEST(printer.pageLayout().orientation() == QPageLayout::Landscape, "landscape");
    }

    // The entries besides printWithOptions end in a status too: a cancelled dialog is Cancelled, an unknown
    // printer Failed.
    void printStatus()
    {
        TESSARON_REQUIRE_PRINT_QUEUE(!QPrinterInfo::defaultPrinter().isNull(), "print queue");
        DocumentRenderer::setPrintDialogForTesting([](QPrinter &, const QString &) { return false; });
        QString message;
        QCOMPARE(DocumentRenderer::printWithDialog(C, markerRecord(), &message), PrintStatus::Cancelled);
        QCOMPARE(message, DocumentRenderer::printCancelledText());
        QCOMPARE(DocumentRenderer::print(C, markerRecord(), u"NoSuchPrinter"_s, &message), PrintStatus::Failed);
        QCOMPARE(message, u"Принтер не найден: NoSuchPrinter"_s);
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
    // The certificate's frame lands where the paper and the fit put it: fitted onto Letter (wider in proportion
    // than A4) it fills the height and is centred across; at 100 % on A4 it sits at its own place.
    void printQueue_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("options");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("pageSize");
        QTest::addColumn<QRectF>("frame");
        // The outer frame of the certificate: left of the header box, right of it, top of the header box, bottom
        // of the notes box; in points of the printed page.
        const QRectF a4Frame(QPointF(42.5, 29), QPointF(552.5, 668));
        const double letterScale = 792.0 / 841.89;
        const double letterLeft = (612 - 595.28 * letterScale) / 2;
        const QRectF letterFrame(QPointF(letterLeft + 42.5 * letterScale, 29 * letterScale),
            QPointF(letterLeft + 552.5 * letterScale, 668 * letterScale));
        QTest::addRow("certificate") << 0 << QVariantMap {{u"paper"_s, u"A4"_s}, {u"fitToPage"_s, false}} << QString()
                                     << u"595 x 842 pts (A4)"_s << a4Frame;
        QTest::addRow("certificate-letter-fitted")
            << 0 << QVariantMap {{u"paper"_s, u"Letter"_s}, {u"fitToPage"_s, true}} << QString()
            << u"612 x 792 pts (letter)"_s << letterFrame;
        QTest::addRow("sticker") << 1 << QVariantMap {{u"paper"_s, u"sticker"_s}} << QString() << u"283 x 52 pts"_s
                                 << QRectF();
        QTest::addRow("unknown printer") << 0 << QVariantMap {{u"printerName"_s, u"NoSuchPrinter"_s}}
                                         << u"Принтер не найден: NoSuchPrinter"_s << QString() << QRectF();
    }
    void printQueue()
    {
        const QDir out(printOutputFolder());
        TESSARON_REQUIRE_PRINT_QUEUE(!QPrinterInfo::defaultPrinter().isNull() && out.exists(), "cups-pdf queue");
        QFETCH(int, type);
        QFETCH(QVariantMap, options);
        QFETCH(QString, error);
        QFETCH(QRectF, frame);
        const QStringList before = out.entryList({u"*.pdf"_s}, QDir::Files);
        QString message;
        // The long values, to be looked at on the printed pictures.
        QCOMPARE(DocumentRenderer::printWithOptions(DocumentType(type), longRecord(), options, &message),
            error.isEmpty() ? PrintStatus::Printed : PrintStatus::Failed);
        QCOMPARE(message, error);

        const QByteArray printed = takePrintedJob(out, before, error.isEmpty() ? 30000 : 3000);
        QCOMPARE(printed.isEmpty(), !error.isEmpty());
        if (printed.isEmpty())
            return;
        QTEST(pdfInfoValue(printed, u"Page size"_s), "pageSize");
        // The sticker at 300 dpi, to be read on the picture.
        const int dpi = type == int(S) ? 300 : 100;
        const QImage page = pdfPageImage(printed, 1, dpi);
        QVERIFY(page.save(lookPath(QString::fromLatin1(QTest::currentDataTag()) + u"-printed"_s)));
        QVERIFY(tallestInkRun(page, 0, page.width()) > 0);
        if (frame.isNull())
            return;
        // Within 1.5 points: the frame's pen and the raster's pixels.
        const QRect ink = inkBox(page, page.rect());
        const double perPoint = dpi / 72.0;
        const QRectF found(QPointF(ink.left() / perPoint, ink.top() / perPoint),
            QPointF((ink.right() + 1) / perPoint, (ink.bottom() + 1) / perPoint));
        QVERIFY2(std::abs(found.left() - frame.left()) < 1.5 && std::abs(found.right() - frame.right()) < 1.5
                && std::abs(found.top() - frame.top()) < 1.5,
            qPrintable(u"frame at %1,%2–%3"_s.arg(found.left()).arg(found.top()).arg(found.right())));
    }
};

QTEST_MAIN(TestDocumentRenderer)
#include "tst_document_renderer.moc"
