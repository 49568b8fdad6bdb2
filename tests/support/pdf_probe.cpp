#include "support/pdf_probe.h"

#include <QPageLayout>
#include <QPageSize>
#include <QProcess>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tessaron::test {

namespace {

// Runs a poppler tool with the PDF on standard input ("-"); its standard output, empty on failure.
QByteArray runPoppler(const QString &tool, QStringList arguments, const QByteArray &pdf)
{
    QProcess process;
    arguments.append(u"-"_s);
    process.start(tool, arguments);
    if (!process.waitForStarted())
        return {};
    process.write(pdf);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

} // namespace

QStringList pdfPageTexts(const QByteArray &pdf)
{
    // Input and output both "-"; pdftotext ends every page with a form feed.
    QStringList pages
        = QString::fromUtf8(runPoppler(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, u"-"_s}, pdf)).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QStringList pdfLayoutLines(const QByteArray &pdf)
{
    const QString text = QString::fromUtf8(
        runPoppler(u"pdftotext"_s, {u"-layout"_s, u"-enc"_s, u"UTF-8"_s, u"-l"_s, u"1"_s, u"-"_s}, pdf));
    QStringList lines;
    for (const QString &line : text.split(u'\n')) {
        const QString simplified = line.simplified();
        if (!simplified.isEmpty())
            lines.append(simplified);
    }
    return lines;
}

QString pdfInfoValue(const QByteArray &pdf, const QString &field)
{
    const QString info = QString::fromUtf8(runPoppler(u"pdfinfo"_s, {}, pdf));
    const QRegularExpression line(
        u"^"_s + QRegularExpression::escape(field) + u":\\s*(.*)$"_s, QRegularExpression::MultilineOption);
    return line.match(info).captured(1).trimmed();
}

QList<PdfWord> pdfWords(const QByteArray &pdf, int page)
{
    const QString number = QString::number(page);
    const QString html = QString::fromUtf8(
        runPoppler(u"pdftotext"_s, {u"-bbox"_s, u"-enc"_s, u"UTF-8"_s, u"-f"_s, number, u"-l"_s, number, u"-"_s}, pdf));
    static const QRegularExpression word(
        uR"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"_s);
    QList<PdfWord> words;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        QString text = match.captured(5);
        text.replace(u"&lt;"_s, u"<"_s).replace(u"&gt;"_s, u">"_s).replace(u"&quot;"_s, u"\""_s);
        text.replace(u"&apos;"_s, u"'"_s).replace(u"&amp;"_s, u"&"_s);
        const QPointF topLeft(match.captured(1).toDouble(), match.captured(2).toDouble());
        const QPointF bottomRight(match.captured(3).toDouble(), match.captured(4).toDouble());
        words.append({text, QRectF(topLeft, bottomRight)});
    }
    return words;
}

QImage pdfPageImage(const QByteArray &pdf, int page, int dpi)
{
    const QString number = QString::number(page);
    return QImage::fromData(
        runPoppler(u"pdftoppm"_s,
            {u"-png"_s, u"-singlefile"_s, u"-r"_s, QString::number(dpi), u"-f"_s, number, u"-l"_s, number}, pdf),
        "PNG");
}

TableWords tableWords(const QByteArray &pdf, int page)
{
    constexpr int dpi = 144;
    constexpr double scale = dpi / 72.0;
    constexpr double tableLeft = 36.0;
    constexpr double padding = 4.0;
    const QImage image = pdfPageImage(pdf, page, dpi);
    TableWords result;
    if (image.isNull())
        return result;
    const auto isRowFill = [](QColor colour) {
        const int grey = colour.red();
        return colour.green() == grey && colour.blue() == grey
            && (std::abs(grey - 0xfa) <= 2 || std::abs(grey - 0xee) <= 2);
    };
    QList<QPair<double, double>> rows;
    const int x = int((tableLeft + 2.0) * scale);
    for (int y = 0; y < image.height(); ++y) {
        if (!isRowFill(image.pixelColor(x, y)))
            continue;
        const int top = y;
        while (y < image.height() && isRowFill(image.pixelColor(x, y)))
            ++y;
        rows.append({top / scale, y / scale});
    }
    for (const PdfWord &word : pdfWords(pdf, page)) {
        const double middle = word.box.center().y();
        for (const auto &[top, bottom] : std::as_const(rows)) {
            if (middle < top || middle > bottom)
                continue;
            ++result.inRows;
            if (word.box.top() < top + padding - 1.0 || word.box.bottom() > bottom - padding + 1.0) {
                result.standingOut.append(u"%1 (%2–%3 in row %4–%5)"_s.arg(word.text)
                                              .arg(word.box.top())
                                              .arg(word.box.bottom())
                                              .arg(top)
                                              .arg(bottom));
            }
            break;
        }
    }
    return result;
}

PdfCanvas::PdfCanvas()
    : m_writer(&m_buffer)
{
    m_buffer.open(QIODevice::WriteOnly);
    m_writer.setResolution(72);
    m_writer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(), QPageLayout::Point));
    m_painter.begin(&m_writer);
    m_reportPainter.painter = &m_painter;
    m_reportPainter.device = &m_writer;
    m_reportPainter.pageWidth = m_writer.width();
    m_reportPainter.pageHeight = m_writer.height();
}

QByteArray PdfCanvas::finish()
{
    m_painter.end();
    return m_buffer.data();
}

} // namespace tessaron::test
