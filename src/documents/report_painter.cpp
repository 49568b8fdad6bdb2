#include "documents/report_painter.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QTextOption>

#include <algorithm>
#include <cmath>

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
constexpr double maximumRowHeight = 70.0;
constexpr double chartRoom = 276.0;
constexpr double plotHeight = 154.0;
constexpr int chartLabelCount = 6;

// Cells wrap at word boundaries and break a word only when it alone is wider than the cell.
QTextOption cellOption()
{
    QTextOption option(Qt::AlignLeft | Qt::AlignVCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

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
        painter->setFont(valueFont);
        const QRectF measured = painter->boundingRect(
            QRectF(leftMargin + labelColumnWidth, y, width - labelColumnWidth, 22.0), Qt::TextWordWrap, value);
        const double rowHeight = std::max(7.0 + measured.height(), 24.0);
        ensureRoom(rowHeight);

        painter->setBrush(Qt::NoBrush);
        painter->setPen(keyValueFrameColour);
        painter->drawRect(QRectF(leftMargin, y, width, rowHeight));
        painter->drawLine(
            QPointF(leftMargin + labelColumnWidth, y), QPointF(leftMargin + labelColumnWidth, y + rowHeight));
        painter->setPen(Qt::black);
        painter->setFont(labelFont);
        painter->drawText(QRectF(leftMargin + 6.0, y + 3.0, 166.0, rowHeight - 6.0), flags, label);
        painter->setFont(valueFont);
        painter->drawText(QRectF(leftMargin + 184.0, y + 3.0, width - 190.0, rowHeight - 6.0), flags, value);
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
    const QTextOption option = cellOption();
    const QRectF measureBox(0.0, 0.0, columnWidth - 10.0, maximumRowHeight);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        painter->setFont(cellFont);
        double rowHeight = minimumRowHeight;
        for (qsizetype c = 0; c < columns && c < row.size(); ++c) {
            const double needed = painter->boundingRect(measureBox, Qt::TextWordWrap, row.at(c)).height() + 8.0;
            rowHeight = std::max(rowHeight, needed);
        }
        rowHeight = std::min(rowHeight, maximumRowHeight);

        if (y + rowHeight > contentBottom()) {
            drawFooter();
            newPage();
            section(title + u" (продолжение)"_s);
            tableHeader(headers, columnWidth);
            painter->setFont(cellFont);
        }

        const QRectF rowBox(leftMargin, y, width, rowHeight);
        painter->fillRect(rowBox, r % 2 == 0 ? evenRowColour : oddRowColour);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(rowFrameColour);
        painter->drawRect(rowBox);
        painter->setPen(Qt::black);
        for (qsizetype c = 0; c < columns; ++c) {
            const double left = leftMargin + double(c) * columnWidth;
            if (c < row.size() && !row.at(c).isEmpty())
                painter->drawText(QRectF(left + 5.0, y + 4.0, columnWidth - 10.0, rowHeight - 8.0), row.at(c), option);
            if (c > 0)
                painter->drawLine(QPointF(left, y), QPointF(left, y + rowHeight));
        }
        y += rowHeight;
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
