#include "documents/report_painter.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace tessaron::documents {

namespace {

const QColor footerColour {0x77, 0x77, 0x77};
const QColor sectionBandColour {0xe5, 0xe5, 0xe5};
const QColor keyValueFrameColour {0x88, 0x88, 0x88};
const QColor headerBandColour {0x4d, 0x4d, 0x4d};
const QColor evenRowColour {0xfa, 0xfa, 0xfa};
const QColor oddRowColour {0xee, 0xee, 0xee};
const QColor rowFrameColour {0xb0, 0xb0, 0xb0};
const QColor gridColour {0xd8, 0xd8, 0xd8};
const QColor axisTextColour {0x55, 0x55, 0x55};
const QColor barColour {0x31, 0x89, 0xc9};
const QColor whiskerColour {0x79, 0xad, 0xd6};
const QColor lineColour {0x18, 0x77, 0xc9};

constexpr double sectionRoom = 32.0;
constexpr double sectionBandHeight = 22.0;
constexpr double sectionAdvance = 28.0;
constexpr double labelColumnWidth = 178.0;
constexpr double tableRoom = 90.0;
constexpr double headerBandHeight = 28.0;
constexpr double minimumRowHeight = 25.0;
constexpr double cellPadding = 4.0;
constexpr double chartRoom = 276.0;
constexpr double plotHeight = 154.0;
constexpr int chartLabelCount = 6;

// A cell's text broken into lines at the cell's width, wrapping at word boundaries and breaking a word only
// when it alone is wider than the cell. The same lines are measured and drawn, so a row made as tall as its
// lines holds them whole.
class CellLines
{
public:
    CellLines(const QString &text, const QFont &font, QPaintDevice *device, double width)
        : m_layout(std::make_unique<QTextLayout>(text, font, device))
    {
        QTextOption option(Qt::AlignLeft);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        m_layout->setTextOption(option);
        m_layout->beginLayout();
        double height = 0.0;
        for (QTextLine line = m_layout->createLine(); line.isValid(); line = m_layout->createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0.0, height));
            height += line.height();
            m_bottoms.push_back(height);
        }
        m_layout->endLayout();
    }

    int count() const { return int(m_bottoms.size()); }
    double height() const { return m_bottoms.empty() ? 0.0 : m_bottoms.back(); }
    // Height of the lines [first, end).
    double height(int first, int end) const
    {
        return end <= first ? 0.0 : m_bottoms[size_t(end - 1)] - (first > 0 ? m_bottoms[size_t(first - 1)] : 0.0);
    }
    // The end of the run of lines from first whose height is at most room.
    int fittingEnd(int first, double room) const
    {
        int end = first;
        while (end < count() && height(first, end + 1) <= room)
            ++end;
        return end;
    }
    // Draws the lines [first, end) with the top of the first at top.
    void draw(QPainter *painter, double left, double top, int first, int end) const
    {
        const double shift = top - (first > 0 ? m_bottoms[size_t(first - 1)] : 0.0);
        for (int i = first; i < end; ++i)
            m_layout->lineAt(i).draw(painter, QPointF(left, shift));
    }

private:
    std::unique_ptr<QTextLayout> m_layout;
    std::vector<double> m_bottoms;
};

} // namespace

QFont ReportPainter::font(double pointSize, bool bold)
{
    QFont font(u"Arial"_s);
    font.setPointSizeF(pointSize);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

void ReportPainter::ensureRoom(double room)
{
    if (y + room > contentBottom()) {
        drawFooter();
        newPage();
    }
}

void ReportPainter::newPage()
{
    device->newPage();
    ++page;
    y = topMargin;
}

void ReportPainter::drawFooter()
{
    const QRectF box(leftMargin, pageHeight - 25.0, contentWidth(), 12.0);
    painter->setPen(footerColour);
    painter->setFont(font(7, false));
    painter->drawText(box, Qt::AlignLeft, u"Отчёт расшифровки .ddd"_s);
    painter->drawText(box, Qt::AlignRight, u"Страница %1"_s.arg(page));
    painter->setPen(Qt::black);
}

void ReportPainter::section(const QString &title)
{
    ensureRoom(sectionRoom);
    const double bandWidth = pageWidth - 2.0 * leftMargin;
    painter->fillRect(QRectF(leftMargin, y, bandWidth, sectionBandHeight), sectionBandColour);
    painter->setPen(Qt::black);
    painter->setFont(font(11, true));
    painter->drawText(QRectF(leftMargin + 7.0, y, bandWidth - 14.0, sectionBandHeight),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);
    y += sectionAdvance;
}

void ReportPainter::keyValues(const QList<QPair<QString, QString>> &pairs)
{
    const double width = contentWidth();
    const QFont labelFont = font(9, true);
    const QFont valueFont = font(9, false);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
    for (const auto &[label, pairValue] : pairs) {
        const QString value = pairValue.isEmpty() ? u"Не указано"_s : pairValue;
        // Measured at the widths they are drawn at, so neither text is ever cut.
        const QRectF labelBox(leftMargin + 6.0, 0.0, 166.0, 22.0);
        const QRectF valueBox(leftMargin + 184.0, 0.0, width - 190.0, 22.0);
        painter->setFont(labelFont);
        const double labelHeight = painter->boundingRect(labelBox, flags, label).height();
        painter->setFont(valueFont);
        const double valueHeight = painter->boundingRect(valueBox, flags, value).height();
        const double rowHeight = std::max(7.0 + std::max(labelHeight, valueHeight), 24.0);
        ensureRoom(rowHeight);

        painter->setBrush(Qt::NoBrush);
        painter->setPen(keyValueFrameColour);
        painter->drawRect(QRectF(leftMargin, y, width, rowHeight));
        painter->drawLine(
            QPointF(leftMargin + labelColumnWidth, y), QPointF(leftMargin + labelColumnWidth, y + rowHeight));
        painter->setPen(Qt::black);
        painter->setFont(labelFont);
        painter->drawText(QRectF(labelBox.left(), y + 3.0, labelBox.width(), rowHeight - 6.0), flags, label);
        painter->setFont(valueFont);
        painter->drawText(QRectF(valueBox.left(), y + 3.0, valueBox.width(), rowHeight - 6.0), flags, value);
        y += rowHeight;
    }
    y += 8.0;
}

void ReportPainter::tableHeader(const QStringList &headers, double columnWidth)
{
    painter->fillRect(QRectF(leftMargin, y, contentWidth(), headerBandHeight), headerBandColour);
    painter->setPen(Qt::white);
    painter->setFont(font(8, true));
    for (qsizetype i = 0; i < headers.size(); ++i) {
        painter->drawText(QRectF(leftMargin + double(i) * columnWidth + 4.0, y + 3.0, columnWidth - 8.0, 22.0),
            Qt::AlignCenter | Qt::TextWordWrap, headers.at(i));
    }
    y += headerBandHeight;
}

void ReportPainter::table(const QString &title, const QStringList &headers, const QList<QStringList> &rows)
{
    if (rows.isEmpty())
        return;
    const qsizetype columns = std::max<qsizetype>(headers.size(), 1);
    const double width = contentWidth();
    const double columnWidth = width / double(columns);
    ensureRoom(tableRoom);
    section(title);
    tableHeader(headers, columnWidth);

    const QFont cellFont = font(8, false);
    const double textWidth = columnWidth - 10.0;
    // The room a row has on a page of its own, below the repeated heading and header band.
    const double pageRoom = contentBottom() - topMargin - sectionAdvance - headerBandHeight;
    const auto continueOnNextPage = [&] {
        drawFooter();
        newPage();
        section(title + u" (продолжение)"_s);
        tableHeader(headers, columnWidth);
    };
    const auto drawRowBox = [&](qsizetype r, double height) {
        const QRectF rowBox(leftMargin, y, width, height);
        painter->fillRect(rowBox, r % 2 == 0 ? evenRowColour : oddRowColour);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(rowFrameColour);
        painter->drawRect(rowBox);
        for (qsizetype c = 1; c < columns; ++c) {
            const double left = leftMargin + double(c) * columnWidth;
            painter->drawLine(QPointF(left, y), QPointF(left, y + height));
        }
        painter->setPen(Qt::black);
        painter->setFont(cellFont);
    };
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        std::vector<CellLines> cells;
        double textHeight = 0.0;
        for (qsizetype c = 0; c < columns; ++c) {
            cells.emplace_back(c < row.size() ? row.at(c) : QString(), cellFont, painter->device(), textWidth);
            textHeight = std::max(textHeight, cells.back().height());
        }
        const double rowHeight = std::max(minimumRowHeight, textHeight + 2.0 * cellPadding);

        if (rowHeight <= pageRoom) {
            if (y + rowHeight > contentBottom())
                continueOnNextPage();
            drawRowBox(r, rowHeight);
            for (qsizetype c = 0; c < columns; ++c) {
                const CellLines &cell = cells[size_t(c)];
                const double top = y + cellPadding + (rowHeight - 2.0 * cellPadding - cell.height()) / 2.0;
                cell.draw(painter, leftMargin + double(c) * columnWidth + 5.0, top, 0, cell.count());
            }
            y += rowHeight;
            continue;
        }

        // Taller than a page: the row runs on over pages, each part holding whole lines of its cells.
        std::vector<int> next(cells.size(), 0);
        const auto linesLeft = [&] {
            for (size_t c = 0; c < cells.size(); ++c) {
                if (next[c] < cells[c].count())
                    return true;
            }
            return false;
        };
        if (y + minimumRowHeight > contentBottom())
            continueOnNextPage();
        while (linesLeft()) {
            const double room = contentBottom() - y - 2.0 * cellPadding;
            std::vector<int> ends(cells.size());
            double partHeight = 0.0;
            bool progress = false;
            for (size_t c = 0; c < cells.size(); ++c) {
                ends[c] = cells[c].fittingEnd(next[c], room);
                progress = progress || ends[c] > next[c];
                partHeight = std::max(partHeight, cells[c].height(next[c], ends[c]));
            }
            if (!progress && y > topMargin + sectionAdvance + headerBandHeight) {
                continueOnNextPage();
                continue;
            }
            // A single line taller than a whole page (a font no report uses) is drawn rather than lost.
            for (size_t c = 0; !progress && c < cells.size(); ++c) {
                if (next[c] < cells[c].count()) {
                    ends[c] = next[c] + 1;
                    partHeight = std::max(partHeight, cells[c].height(next[c], ends[c]));
                }
            }
            const double boxHeight = std::max(minimumRowHeight, partHeight + 2.0 * cellPadding);
            drawRowBox(r, std::min(boxHeight, contentBottom() - y));
            for (size_t c = 0; c < cells.size(); ++c) {
                cells[c].draw(painter, leftMargin + double(c) * columnWidth + 5.0, y + cellPadding, next[c], ends[c]);
                next[c] = ends[c];
            }
            y += std::min(boxHeight, contentBottom() - y);
            if (linesLeft())
                continueOnNextPage();
        }
    }
    y += 10.0;
}

double ReportPainter::scaleTop(const QList<ChartPoint> &points)
{
    double largest = 1.0;
    for (const ChartPoint &point : points)
        largest = std::max(largest, point.maximum);
    return std::ceil(largest / 5.0) * 5.0;
}

void ReportPainter::chart(const QString &title, const QString &valueAxisTitle, const QString &categoryAxisTitle,
    const QList<ChartPoint> &points, bool line)
{
    if (points.isEmpty())
        return;
    ensureRoom(chartRoom);
    section(title);

    const double plotTop = y + 4.0;
    const double baseline = plotTop + plotHeight;
    const double plotLeft = leftMargin + 42.0;
    const double plotWidth = contentWidth() - 50.0;
    const double plotRight = plotLeft + plotWidth;
    const double top = scaleTop(points);
    const auto heightOf = [top](double value) {
        const double ratio = value / top;
        return ratio > 1.0 ? plotHeight : ratio > 0.0 ? ratio * plotHeight : 0.0;
    };
    const qsizetype n = points.size();

    painter->save();
    painter->setFont(font(7, false));
    for (int i = 0; i <= 4; ++i) {
        const double gridY = baseline - double(i) * plotHeight * 0.25;
        painter->setPen(gridColour);
        painter->drawLine(QPointF(plotLeft, gridY), QPointF(plotRight, gridY));
        painter->setPen(axisTextColour);
        painter->drawText(QRectF(leftMargin, gridY - 6.0, 36.0, 12.0), Qt::AlignRight | Qt::AlignVCenter,
            QString::number(double(i) * top * 0.25, 'f', 0));
    }

    const double step = plotWidth / double(std::max<qsizetype>(n - 1, 1));
    if (!line) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(barColour);
        const double slot = plotWidth / double(n);
        const double barWidth = std::max(slot * 0.68, 1.0);
        for (qsizetype i = 0; i < n; ++i) {
            const double height = heightOf(points.at(i).value);
            painter->drawRect(
                QRectF(plotLeft + double(i) * slot + (slot - barWidth) / 2.0, baseline - height, barWidth, height));
        }
    } else {
        painter->setPen(QPen(whiskerColour, 1.0));
        QPainterPath path;
        for (qsizetype i = 0; i < n; ++i) {
            const ChartPoint &point = points.at(i);
            const double x = plotLeft + double(i) * step;
            painter->drawLine(
                QPointF(x, baseline - heightOf(point.minimum)), QPointF(x, baseline - heightOf(point.maximum)));
            const QPointF at(x, baseline - heightOf(point.value));
            if (i == 0)
                path.moveTo(at);
            else
                path.lineTo(at);
        }
        painter->strokePath(path, QPen(lineColour, 1.7));
    }

    painter->setPen(axisTextColour);
    const QFontMetricsF labelMetrics(font(6, false), painter->device());
    const qsizetype labels = std::min<qsizetype>(n, chartLabelCount);
    for (qsizetype j = 0; j < labels; ++j) {
        const qsizetype index = labels == 1 ? 0 : qsizetype(std::lround(double(j * (n - 1)) / double(labels - 1)));
        const double x = std::max(std::min(double(index) * step + plotLeft - 30.0, plotRight - 60.0), plotLeft);
        // Cut to fit at 6 points but drawn at 7, a cut label is a little wider than its box: let it overhang
        // rather than lose its first and last letters.
        painter->drawText(QRectF(x, baseline + 3.0, 60.0, 18.0), Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip,
            labelMetrics.elidedText(points.at(index).label, Qt::ElideRight, 58.0));
    }

    painter->setFont(font(7, true));
    painter->save();
    painter->translate(leftMargin + 9.0, plotTop + plotHeight / 2.0);
    painter->rotate(-90.0);
    painter->drawText(QRectF(-plotHeight / 2.0, -8.0, plotHeight, 16.0), Qt::AlignCenter, valueAxisTitle);
    painter->restore();

    painter->setFont(font(7, false));
    painter->drawText(QRectF(plotLeft, baseline + 21.0, plotWidth, 14.0), Qt::AlignCenter, categoryAxisTitle);
    painter->restore();
    y += 226.0;
}

} // namespace tessaron::documents
