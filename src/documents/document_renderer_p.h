#pragma once

// Internals of the certificate and sticker renderer shared by its sources and its tests: the drawing layer and
// the steps of printing. Not part of the documents API.
//
// Drawing coordinates are points (1/72 inch) from the page's top-left corner. pointSized says how text sizes
// are applied: true sets them as font point sizes (PDF and preview), false as pixel sizes in the painter's units
// (the printer raster, whose resolution is not that of the page).

#include "documents/document_renderer.h"
#include "storage/certificate_field.h"

#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <QVariantMap>

class QPainter;
class QPrinter;

namespace tessaron::documents {

// Units per point of the printer raster: 300 dpi.
inline constexpr double printerRasterScale = 300.0 / 72.0;

// Portrait, zero margins in points: 210 × 297 mm (A4 by fuzzy matching) for a certificate and any value other
// than Sticker, a custom 100 × 18.6 mm for a sticker. Qt rounds both to whole points: 595 × 842 and 283 × 53.
QPageLayout pageLayout(DocumentType type);

// "Times New Roman" (Liberation Serif here), weight 700 or 400. The point size is size truncated (at least 1);
// with pixelSized the pixel size is size rounded half away from zero (at least 1) instead.
QFont reportFont(double size, bool bold, bool pixelSized);
// The font a text of nominal size gets on this painter: in point mode a painter scaled up by s (the preview)
// divides the size by s, so the text keeps its nominal size on the page.
QFont effectiveFont(const QPainter &painter, double size, bool bold, bool pointSized);

// Outlines the rectangle with a 0.8-wide solid black pen.
void drawBox(QPainter &painter, const QRectF &rect);
// Word-wrapped black text inside the rectangle, moved in by inset left and right and by 2 at top and bottom.
void drawText(QPainter &painter, const QRectF &rect, const QString &text, double size, int flags, bool bold,
    double inset, bool pointSized);
// Label and value on one line each (never wrapped), left-aligned, vertically centred: the label in
// (x + 5, y + 2, labelWidth − 5, h − 4), the value in (x + labelWidth + 2, y + 2, w − labelWidth − 7, h − 4).
void drawLineValue(QPainter &painter, const QRectF &rect, const QString &label, const QString &value, double labelWidth,
    double size, bool pointSized);
// A black band with the text in white, size 7, turned by 90° to read from bottom to top, centred.
void drawVerticalLabel(QPainter &painter, const QRectF &rect, const QString &text, bool pointSized);

// The field's text, trimmed; empty when the record lacks it.
QString value(const QVariantMap &data, storage::CertificateField field);
// OrderDate up to its first space: the date part of a stored date and time, a text without a space whole.
QString orderDate(const QVariantMap &data);

// The sticker (283.56 × 52.8) and the certificate (A4). Both leave the painter's state as they found it.
void drawSticker(QPainter &painter, const QVariantMap &data, bool pointSized);
void drawCertificate(QPainter &painter, const QVariantMap &data, bool pointSized);
void drawDocument(QPainter &painter, DocumentType type, const QVariantMap &data, bool pointSized);

// The preview: twice the page's size in points, 5669 dots per metre, text in point sizes. Null when the
// painter cannot be opened on it.
QImage previewImage(DocumentType type, const QVariantMap &data);
// The document at 300 dpi with pixel-sized text (its resolution left at the default), as copied onto a
// printer: 2479 × 3508 for a certificate, 1179 × 221 for a sticker. Null when the painter cannot be opened.
QImage printerRaster(DocumentType type, const QVariantMap &data);

// Whether a page of that size fits a label tape: shorter side 17–40 mm, longer side 80–500 mm, both inclusive.
bool isTapeSize(const QPageSize &size);
// What stops a sticker on the printer and page the user chose in the print dialog: the OneNote refusal, the
// sheet-paper message, or the empty text when it may print.
QString dialogChoiceError(const QString &printerName, const QPageSize &size);

// Steps of printWithOptions up to the job: selects the printer (refusing OneNote and unknown names), sets
// paper, orientation, copies, colour and duplex, checks the tape window, and for a sticker on "driver" paper
// asks the print dialog. fitToPage receives the option "fitToPage". False with the message on refusal.
bool configurePrinter(
    QPrinter &printer, DocumentType type, const QVariantMap &options, bool *fitToPage, QString *error);

// Where the raster of a document of docSize points lands on a printer page area (painter coordinates, origin
// at the area's top-left): its physical size at the printer's resolution, scaled to fill the area as far as
// its proportions allow when fit is set, centred on the area.
QRectF printTarget(const QSizeF &pageArea, const QSizeF &docSize, double dpiX, double dpiY, bool fit);

} // namespace tessaron::documents
