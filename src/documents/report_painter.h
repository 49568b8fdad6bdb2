#pragma once

// The page flow of the DDD PDF report: blocks drawn one below the other down A4 pages, a new page whenever the
// next block would not fit above the bottom margin. Internal to the report renderer and its tests.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class QFont;
class QPagedPaintDevice;
class QPainter;

namespace tessaron::documents {

// One bar or one point of a chart. A point without a range has minimum 0 and maximum equal to value.
struct ChartPoint
{
    QString label;
    double value = 0.0;
    double minimum = 0.0; // lower end of the range whisker (line charts)
    double maximum = 0.0; // upper end of the whisker; also the value that sets the scale
};

// All geometry is in points, the device units of a 72 dpi PDF writer; y grows downwards. The report writer
// fills the fields, then calls the block operations in report order. Each block leaves y at the first free
// position below it. section, keyValues and table leave the pen black and their last font set; chart restores
// the painter state it found.
struct ReportPainter
{
    QPainter *painter = nullptr; // not owned
    QPagedPaintDevice *device = nullptr; // not owned; newPage() at each page break
    double pageWidth = 595.0;
    double pageHeight = 842.0;
    double leftMargin = 36.0;
    double rightMargin = 36.0;
    double topMargin = 36.0;
    double bottomMargin = 38.0;
    double y = 36.0;
    int page = 1;

    double contentWidth() const { return pageWidth - leftMargin - rightMargin; }
    double contentBottom() const { return pageHeight - bottomMargin; }

    // "Arial" of that size, weight 700 when bold, else 400.
    static QFont font(double pointSize, bool bold);

    // When y + room lies below the content bottom: the footer, a new page, y at the top margin.
    void ensureRoom(double room);
    void drawFooter();
    void section(const QString &title);
    // Framed two-column rows, each as tall as its longer text; an empty value reads "Не указано".
    void keyValues(const QList<QPair<QString, QString>> &pairs);
    // Nothing at all for no rows. Equal columns, one per header (one without headers); cells beyond the headers
    // are ignored. A row is as tall as its tallest cell (at least 25), so no text is cut; a row that does not fit
    // the room left moves to the next page, continued under "<title> (продолжение)"; a row taller than a whole
    // page runs on over pages, each part holding whole lines.
    void table(const QString &title, const QStringList &headers, const QList<QStringList> &rows);
    // Nothing at all for no points. Bars (line false) or a line with range whiskers; the scale top is the
    // largest maximum (at least 1) rounded up to a multiple of 5.
    void chart(const QString &title, const QString &valueAxisTitle, const QString &categoryAxisTitle,
        const QList<ChartPoint> &points, bool line);

    // The top of the value scale for these points: 5 for none or for maxima of 1 or less.
    static double scaleTop(const QList<ChartPoint> &points);

private:
    void newPage();
    void tableHeader(const QStringList &headers, double columnWidth);
};

} // namespace tessaron::documents
