#pragma once

// Reading PDFs back with poppler (pdftotext, pdfinfo, pdftoppm from poppler-utils), and a PDF held in memory to
// draw report blocks on.

#include "documents/report_painter.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPdfWriter>
#include <QRectF>
#include <QString>
#include <QStringList>

namespace tessaron::test {

// The text poppler reads on each page, in page order.
QStringList pdfPageTexts(const QByteArray &pdf);
// The first page's lines as pdftotext -layout places them, each trimmed with its runs of blanks made one blank;
// empty lines left out.
QStringList pdfLayoutLines(const QByteArray &pdf);
// One field of pdfinfo ("Title", "Creator", "Pages"), trimmed; empty when absent.
QString pdfInfoValue(const QByteArray &pdf, const QString &field);
// A word of the first page as pdftotext -bbox reads it: its text and its box in points from the top-left corner.
struct PdfWord
{
    QString text;
    QRectF box;
};
// A page's words (from 1) in pdftotext's reading order; empty when poppler fails.
QList<PdfWord> pdfWords(const QByteArray &pdf, int page = 1);
// One page (from 1) rendered at dpi; a null image when poppler fails.
QImage pdfPageImage(const QByteArray &pdf, int page, int dpi);

// The words of a report table's page that lie in its rows, told apart from how the page looks: the rows are the
// runs of row fill down a pixel line just inside the table's left edge; a word sits in the row that holds the
// middle of its box, and stands out when its box reaches into the row's 4-point padding by more than a point
// (as the half-drawn lines of a clipped cell do) or beyond the row.
struct TableWords
{
    int inRows = 0;
    QStringList standingOut; // each "word (top–bottom in row top–bottom)"
};
TableWords tableWords(const QByteArray &pdf, int page);

// An A4 PDF in memory at 72 dpi without margins, with a report painter set up as the report writer sets it.
class PdfCanvas
{
public:
    PdfCanvas();
    documents::ReportPainter &painter() { return m_reportPainter; }
    // Ends the painter; the finished PDF.
    QByteArray finish();

private:
    QBuffer m_buffer;
    QPdfWriter m_writer;
    QPainter m_painter;
    documents::ReportPainter m_reportPainter;
};

} // namespace tessaron::test
