#pragma once

// Internals of the certificate and sticker renderer shared by its sources and its tests: the drawing layer and
// the steps of printing. Not part of the documents API.
//
// Drawing coordinates are points (1/72 inch) from the page's top-left corner. Every output sets its painter up so
// that one unit is one point, and every text is laid out once, in points, by fitText: the PDF, the preview and
// the printer raster show the same lines at the same sizes.

#include "documents/document_renderer.h"
#include "storage/certificate_field.h"

#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QPainter;
class QPrinter;

namespace tessaron::documents {

// Units per point of the printer raster: 300 dpi.
inline constexpr double printerRasterScale = 300.0 / 72.0;

// The smallest share of its nominal size a text is shrunk to so that it fits its box: 60 % (8.5 → 5.1 points on
// the certificate, 7 → 4.2 and 5.8 → 3.48 on the sticker), still legible in print.
inline constexpr double smallestTextShare = 0.6;

// Portrait, zero margins in points: 210 × 297 mm (A4 by fuzzy matching) for a certificate and any value other
// than Sticker, a custom 100 × 18.6 mm for a sticker. Qt rounds both to whole points: 595 × 842 and 283 × 53.
QPageLayout pageLayout(DocumentType type);

// "Times New Roman" (Liberation Serif here), weight 700 or 400, at size points, fractions kept.
QFont reportFont(double size, bool bold);

// How a text is set in a box of room (points): the size it gets and its lines. The size is the largest, from
// the nominal size down to smallestTextShare of it in steps of 0.1 point, at which the text, wrapped at word
// boundaries, has every word whole on a line no wider than the room and all its lines within the room's
// height. When even the smallest size does not do, the text is set at that size and also broken inside words,
// and its lines may run below the box (isWhole false): it is never cut off. "\n" starts a new line.
struct TextFit
{
    double size = 0;
    QStringList lines;
    double height = 0;
    bool isWhole = false;
};
TextFit fitText(const QString &text, const QSizeF &room, double size, bool bold);

// Outlines the rectangle with a 0.8-wide solid black pen.
void drawBox(QPainter &painter, const QRectF &rect);
// The text fitted (fitText) into the rectangle moved in by inset left and right, drawn in the painter's pen with
// the horizontal alignment of flags; vertically at the top (or centred with Qt::AlignVCenter) of the rectangle
// moved in by 2 at top and bottom, and moved up into that margin as far as a taller text needs. False when the
// text is taller than the rectangle even at the smallest size (it is drawn all the same, running out of it); a
// word broken inside to fit the width still fits.
bool drawText(
    QPainter &painter, const QRectF &rect, const QString &text, double size, int flags, bool bold, double inset);
// Label and value, each fitted into its own part of the row, left-aligned, vertically centred: the label in
// (x + 5, y, labelWidth − 5, h), the value in (x + labelWidth + 2, y, w − labelWidth − 7, h). False when the
// value does not fit its part (see drawText).
bool drawLineValue(
    QPainter &painter, const QRectF &rect, const QString &label, const QString &value, double labelWidth, double size);
// A black band with the text in white, size 7, turned by 90° to read from bottom to top, centred. False when the
// text does not fit the band (see drawText).
bool drawVerticalLabel(QPainter &painter, const QRectF &rect, const QString &text);

// The field's text, trimmed; empty when the record lacks it.
QString value(const QVariantMap &data, storage::CertificateField field);
// A stored date as the documents print it: a text whose first word (up to a blank or a "T") is a date as
// yyyy-MM-dd, dd.MM.yyyy or d.M.yyyy reads dd.MM.yyyy, its time left out; any other text stays whole.
QString documentDate(const QString &text);
// The field's text as the documents print it: OrderDate up to its first space and the two other dates
// (TachographDateOfManufacture, TachographSettingsNextCalibr) through documentDate, any other field as value().
QString shownValue(const QVariantMap &data, storage::CertificateField field);
// shownValue of OrderDate: the calibration date.
QString orderDate(const QVariantMap &data);

// The sticker (283.56 × 52.8) and the certificate (A4), on a painter whose unit is one point. Both leave the
// painter's state as they found it. When unfit is given, it receives, in drawing order and once each, the
// fields whose value runs out of its box even at the smallest size. On the sticker several fields share
// a block: the block that does not fit names the fields without which it would, or, when no single one is to
// blame, every field of the block that holds text.
void drawSticker(QPainter &painter, const QVariantMap &data, QList<storage::CertificateField> *unfit = nullptr);
void drawCertificate(QPainter &painter, const QVariantMap &data, QList<storage::CertificateField> *unfit = nullptr);
void drawDocument(
    QPainter &painter, DocumentType type, const QVariantMap &data, QList<storage::CertificateField> *unfit = nullptr);

// The preview: twice the page's size in points, 5669 dots per metre (144 dpi). Null when the painter cannot be
// opened on it.
QImage previewImage(DocumentType type, const QVariantMap &data);
// The document at 300 dpi (its resolution left at the default), as copied onto a printer: 2479 × 3508 for a
// certificate, 1179 × 221 for a sticker. Null when the painter cannot be opened.
QImage printerRaster(DocumentType type, const QVariantMap &data);

// Whether a page of that size fits a label tape: shorter side 17–40 mm, longer side 80–500 mm, both inclusive.
bool isTapeSize(const QPageSize &size);
// What stops a sticker on the printer and page the user chose in the print dialog: the OneNote refusal, the
// sheet-paper message, or the empty text when it may print.
QString dialogChoiceError(const QString &printerName, const QPageSize &size);

// Steps of printWithOptions up to the job: selects the printer (refusing OneNote and unknown names), sets
// paper, orientation, copies, colour and duplex, checks the tape window, and for a sticker on "driver" paper
// asks the print dialog. fitToPage receives the option "fitToPage". Printed here means ready for the job (and
// fitToPage set); Failed with the message on refusal, Cancelled with printCancelledText() when the user
// cancelled the dialog.
PrintStatus configurePrinter(
    QPrinter &printer, DocumentType type, const QVariantMap &options, bool *fitToPage, QString *error);

// Where the raster of a document of docSize points lands on a printer page area (painter coordinates, origin
// at the area's top-left): its physical size at the printer's resolution, scaled to fill the area as far as
// its proportions allow when fit is set, centred on the area.
QRectF printTarget(const QSizeF &pageArea, const QSizeF &docSize, double dpiX, double dpiY, bool fit);

} // namespace tessaron::documents
