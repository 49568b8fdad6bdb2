#include "documents/document_renderer.h"

#include "documents/document_renderer_p.h"
#include "storage/checked_save_file.h"
#include "storage/settings_keys.h"

#include <QDir>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tessaron::documents {

namespace {

DocumentRenderer::PrintDialog s_printDialogForTesting;

const QString oneNoteRefused
    = u"Печать отменена: OneNote является виртуальным принтером и не используется приложением."_s;
const QString tapeFromDriverMessage = u"Драйвер сообщает листовой формат. В свойствах принтера выберите "
                                      "установленную ленту Brother шириной 18–36 мм и длиной от 80 мм."_s;
const QString certificatePageRefused = u"Не удалось установить формат страницы сертификата"_s;

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

PrintStatus failed(QString *error, const QString &message)
{
    fail(error, message);
    return PrintStatus::Failed;
}

PrintStatus cancelled(QString *error)
{
    fail(error, DocumentRenderer::printCancelledText());
    return PrintStatus::Cancelled;
}

PrintStatus printStatus(bool printed)
{
    return printed ? PrintStatus::Printed : PrintStatus::Failed;
}

void createFolderOf(const QString &filePath)
{
    QDir().mkpath(QFileInfo(filePath).absolutePath());
}

QSize imageSize(DocumentType type, double unitsPerPoint)
{
    const QSizeF page = pageLayout(type).fullRect(QPageLayout::Point).size();
    return QSize(std::max(1, int(std::lround(page.width() * unitsPerPoint))),
        std::max(1, int(std::lround(page.height() * unitsPerPoint))));
}

bool isDefaultEntry(const QString &printerName)
{
    return printerName.isEmpty() || printerName == storage::settings::defaultPrinterName;
}

// A QPrinter given an unknown name silently stays on the default queue, and without any queue it falls back to
// PDF output: the name is looked up among the system's queues first, and only a native printer counts.
bool isNativePrinter(const QPrinter &printer)
{
    return printer.isValid() && printer.outputFormat() == QPrinter::NativeFormat;
}

bool selectPrinter(QPrinter &printer, const QString &name, QString *error)
{
    const QPrinterInfo info = isDefaultEntry(name) ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(name);
    if (info.isNull())
        return fail(error, u"Принтер не найден: %1"_s.arg(name));
    printer.setPrinterName(info.printerName());
    if (!isNativePrinter(printer))
        return fail(error, u"Принтер не найден: %1"_s.arg(name));
    return true;
}

bool isTapeOnPrinter(const QPrinter &printer)
{
    const QPageSize size = printer.pageLayout().pageSize();
    return size.isValid() && isTapeSize(size);
}

bool runPrintDialog(QPrinter &printer, const QString &title)
{
    if (s_printDialogForTesting)
        return s_printDialogForTesting(printer, title);
    QPrintDialog dialog(&printer);
    dialog.setWindowTitle(title);
    return dialog.exec() == QDialog::Accepted;
}

QPageSize paperSize(DocumentType type, const QString &paper)
{
    if (paper == u"A5")
        return QPageSize(QPageSize::A5);
    if (paper == u"A4")
        return QPageSize(QPageSize::A4);
    if (paper == u"Letter")
        return QPageSize(QPageSize::Letter);
    if (paper == u"sticker" || type == DocumentType::Sticker)
        return pageLayout(DocumentType::Sticker).pageSize();
    return QPageSize(QPageSize::A4);
}

// Draws the raster of the document onto the printer's page area and finishes the job.
bool printDocument(QPrinter &printer, DocumentType type, const QVariantMap &data, bool fit, QString *error)
{
    if (!isNativePrinter(printer))
        return fail(error, u"Принтер недоступен"_s);
    const QImage raster = printerRaster(type, data);
    if (raster.isNull())
        return fail(error, u"Не удалось подготовить изображение документа"_s);
    printer.setDocName(type == DocumentType::Sticker ? u"Наклейка"_s : u"Сертификат"_s);
    QPainter painter;
    if (!painter.begin(&printer))
        return fail(error, u"Не удалось открыть принтер: %1"_s.arg(printer.printerName()));
    const QRectF pageArea
        = printer.fullPage() ? printer.paperRect(QPrinter::DevicePixel) : printer.pageRect(QPrinter::DevicePixel);
    const QSizeF docSize = pageLayout(type).fullRect(QPageLayout::Point).size();
    const QRectF target = printTarget(pageArea.size(), docSize, std::max(1, printer.logicalDpiX()),
        std::max(1, printer.logicalDpiY()), fit || type == DocumentType::Sticker);
    painter.drawImage(target, raster);
    // A job the spooler refused leaves the printer in the error or aborted state although painting ended.
    const bool ended = painter.end();
    if (!ended || printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        return fail(error, u"Не удалось напечатать на принтере: %1"_s.arg(printer.printerName()));
    return true;
}

} // namespace

QImage previewImage(DocumentType type, const QVariantMap &data)
{
    QImage image(imageSize(type, 2), QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(5669);
    image.setDotsPerMeterY(5669);
    image.fill(Qt::white);
    QPainter painter;
    if (!painter.begin(&image))
        return {};
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(2, 2);
    drawDocument(painter, type, data);
    painter.end();
    return image;
}

QImage printerRaster(DocumentType type, const QVariantMap &data)
{
    QImage image(imageSize(type, printerRasterScale), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter;
    if (!painter.begin(&image))
        return {};
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.scale(printerRasterScale, printerRasterScale);
    drawDocument(painter, type, data);
    painter.end();
    return image;
}

bool isTapeSize(const QPageSize &size)
{
    const QSizeF mm = size.size(QPageSize::Millimeter);
    const double shorter = std::min(mm.width(), mm.height());
    const double longer = std::max(mm.width(), mm.height());
    return shorter >= 17 && shorter <= 40 && longer >= 80 && longer <= 500;
}

QString dialogChoiceError(const QString &printerName, const QPageSize &size)
{
    if (DocumentRenderer::isOneNotePrinter(printerName))
        return oneNoteRefused;
    if (!size.isValid() || !isTapeSize(size))
        return tapeFromDriverMessage;
    return {};
}

PrintStatus configurePrinter(
    QPrinter &printer, DocumentType type, const QVariantMap &options, bool *fitToPage, QString *error)
{
    const QString name = options.value(u"printerName"_s, storage::settings::defaultPrinterName).toString();
    if (DocumentRenderer::isOneNotePrinter(name))
        return failed(error, oneNoteRefused);
    if (!selectPrinter(printer, name, error))
        return PrintStatus::Failed;

    const bool sticker = type == DocumentType::Sticker;
    const QString paper = options.value(u"paper"_s, u"layout"_s).toString();
    const bool driverPaper = sticker && paper == u"driver";
    printer.setFullPage(!sticker);
    if (!driverPaper) {
        const auto orientation = options.value(u"orientation"_s).toString() == u"landscape" ? QPageLayout::Landscape
                                                                                            : QPageLayout::Portrait;
        if (!printer.setPageLayout(QPageLayout(paperSize(type, paper), orientation, QMarginsF(), QPageLayout::Point)))
            return failed(error, u"Драйвер не принял выбранный формат бумаги"_s);
    }

    printer.setCopyCount(std::clamp(options.value(u"copies"_s, 1).toInt(), 1, 99));
    printer.setColorMode(options.value(u"color"_s, true).toBool() ? QPrinter::Color : QPrinter::GrayScale);
    switch (options.value(u"duplex"_s, 0).toInt()) {
    case 1:
        printer.setDuplex(QPrinter::DuplexLongSide);
        break;
    case 2:
        printer.setDuplex(QPrinter::DuplexShortSide);
        break;
    default:
        printer.setDuplex(QPrinter::DuplexNone);
        break;
    }

    if (sticker && !driverPaper && !isTapeOnPrinter(printer))
        return failed(error,
            u"Драйвер не принял размер наклейки 100 × 18,6 мм. Выберите «Размер ленты из драйвера» или "
            "настройте формат ленты в Windows."_s);
    if (driverPaper) {
        if (!runPrintDialog(printer, u"Выбор ленты Brother и параметров печати"_s))
            return cancelled(error);
        // The dialog lets the user pick another printer, which must pass the same checks.
        const QString refusal = dialogChoiceError(printer.printerName(), printer.pageLayout().pageSize());
        if (!refusal.isEmpty())
            return failed(error, refusal);
    }
    if (fitToPage)
        *fitToPage = options.value(u"fitToPage"_s, true).toBool();
    return PrintStatus::Printed;
}

QRectF printTarget(const QSizeF &pageArea, const QSizeF &docSize, double dpiX, double dpiY, bool fit)
{
    QSizeF target(dpiX * docSize.width() / 72, dpiY * docSize.height() / 72);
    if (fit && target.width() > 0 && target.height() > 0)
        target *= std::min(pageArea.width() / target.width(), pageArea.height() / target.height());
    QRectF rect(QPointF(), target);
    rect.moveCenter(QPointF(pageArea.width() / 2, pageArea.height() / 2));
    return rect;
}

bool DocumentRenderer::writePdf(const QString &filePath, DocumentType type, const QVariantMap &data, QString *error)
{
    createFolderOf(filePath);
    const QString failure = u"Не удалось создать PDF: %1"_s.arg(filePath);
    storage::CheckedSaveFile file(filePath);
    if (!file.open())
        return fail(error, failure);
    QPdfWriter writer(file.device());
    writer.setTitle(type == DocumentType::Sticker ? u"Наклейка"_s : u"Сертификат"_s);
    writer.setCreator(u"TessaronQt"_s);
    writer.setResolution(72);
    writer.setPageLayout(pageLayout(type));
    QPainter painter;
    if (!painter.begin(&writer))
        return fail(error, failure);
    drawDocument(painter, type, data);
    // The earlier document at the path stays unless this one reached the disk whole.
    if (!painter.end() || !file.commit())
        return fail(error, file.failure(failure, u"documents"_s));
    return true;
}

bool DocumentRenderer::writePreviewImage(
    const QString &filePath, DocumentType type, const QVariantMap &data, QString *error)
{
    createFolderOf(filePath);
    const QImage image = previewImage(type, data);
    if (image.isNull())
        return fail(error, u"Не удалось создать изображение предпросмотра: %1"_s.arg(filePath));
    storage::CheckedSaveFile file(filePath);
    if (!file.open() || !image.save(file.device(), "PNG") || !file.commit())
        return fail(error, u"Не удалось сохранить изображение предпросмотра: %1"_s.arg(filePath));
    return true;
}

PrintStatus DocumentRenderer::printWithOptions(
    DocumentType type, const QVariantMap &data, const QVariantMap &options, QString *error)
{
    QPrinter printer(QPrinter::HighResolution);
    bool fit = true;
    const PrintStatus configured = configurePrinter(printer, type, options, &fit, error);
    if (configured != PrintStatus::Printed)
        return configured;
    return printStatus(printDocument(printer, type, data, fit, error));
}

PrintStatus DocumentRenderer::printWithDialog(DocumentType type, const QVariantMap &data, QString *error)
{
    QPrinter printer(QPrinter::HighResolution);
    const bool sticker = type == DocumentType::Sticker;
    printer.setFullPage(!sticker);
    if (!sticker && !printer.setPageLayout(pageLayout(type)))
        return failed(error, certificatePageRefused);
    if (!runPrintDialog(printer, sticker ? u"Печать наклейки"_s : u"Печать сертификата"_s))
        return cancelled(error);
    if (isOneNotePrinter(printer.printerName()))
        return failed(error, oneNoteRefused);
    if (sticker && !isTapeOnPrinter(printer))
        return failed(error, u"Выберите в свойствах принтера ленту шириной 18–36 мм и длиной не менее 80 мм."_s);
    return printStatus(printDocument(printer, type, data, true, error));
}

PrintStatus DocumentRenderer::print(
    DocumentType type, const QVariantMap &data, const QString &printerName, QString *error)
{
    if (isOneNotePrinter(printerName))
        return failed(error,
            u"Печать пропущена: выбран виртуальный принтер OneNote. Сформированный PDF сохранён без запуска "
            "OneNote."_s);
    QPrinter printer(QPrinter::HighResolution);
    if (!selectPrinter(printer, printerName, error))
        return PrintStatus::Failed;
    const bool sticker = type == DocumentType::Sticker;
    printer.setFullPage(!sticker);
    if (sticker && !isTapeOnPrinter(printer))
        return failed(
            error, u"В настройках драйвера принтера выберите ленту шириной 18–36 мм и длиной не менее 80 мм."_s);
    if (!sticker && !printer.setPageLayout(pageLayout(type)))
        return failed(error, certificatePageRefused);
    return printStatus(printDocument(printer, type, data, sticker, error));
}

QList<storage::CertificateField> DocumentRenderer::unfitFields(DocumentType type, const QVariantMap &data)
{
    // Only what the drawing decides counts, not pixels: the commands are recorded and dropped.
    QPicture picture;
    QPainter painter(&picture);
    QList<storage::CertificateField> unfit;
    drawDocument(painter, type, data, &unfit);
    return unfit;
}

bool DocumentRenderer::isOneNotePrinter(const QString &printerName)
{
    QString name = printerName.trimmed();
    if (isDefaultEntry(name))
        name = QPrinterInfo::defaultPrinterName();
    return name.contains(u"onenote"_s, Qt::CaseInsensitive);
}

QString DocumentRenderer::printCancelledText()
{
    return u"Печать отменена"_s;
}

void DocumentRenderer::setPrintDialogForTesting(PrintDialog dialog)
{
    s_printDialogForTesting = std::move(dialog);
}

} // namespace tessaron::documents
