// The drawing layer of the certificate and the sticker: every box, line and text with its place, size and font.

#include "documents/document_renderer_p.h"

#include "ddd/ddd_readers.h"

#include <QDate>
#include <QPageSize>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tessaron::documents {

using storage::CertificateField;

namespace {

constexpr int leftTop = Qt::AlignLeft | Qt::AlignTop;
constexpr int centred = Qt::AlignHCenter | Qt::AlignVCenter;

// The certificate's regular value text: left, top, inset 5, word-wrapped.
bool drawValue(QPainter &painter, const QRectF &rect, const QString &text)
{
    return drawText(painter, rect, text, 8.5, leftTop, false, 5);
}

bool drawHeading(QPainter &painter, const QRectF &rect, const QString &text, double size)
{
    return drawText(painter, rect, text, size, centred, true, 5);
}

void noteUnfit(QList<CertificateField> *unfit, const QList<CertificateField> &fields)
{
    if (!unfit)
        return;
    for (const CertificateField field : fields) {
        if (!unfit->contains(field))
            unfit->append(field);
    }
}

bool fitsHeight(const TextFit &fit, const QSizeF &room)
{
    return fit.height <= room.height() + 0.01;
}

// One line of a sticker block: its fixed words and the field whose value follows them.
struct BlockLine
{
    QString prefix;
    CertificateField field;
};

// The block's lines with these values, one a line; a line without value is left out unless keepEmpty.
QString blockText(const QList<BlockLine> &lines, const QStringList &values, bool keepEmpty)
{
    QStringList texts;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (keepEmpty || !values.at(i).isEmpty())
            texts.append(lines.at(i).prefix + values.at(i));
    }
    return texts.join(u'\n');
}

// A sticker block: left, top, inset 2. A block that does not fit blames the fields without which it would.
void drawBlock(QPainter &painter, const QRectF &rect, const QVariantMap &data, const QList<BlockLine> &lines,
    bool keepEmpty, double size, QList<CertificateField> *unfit)
{
    QStringList values;
    for (const BlockLine &line : lines)
        values.append(shownValue(data, line.field));
    if (drawText(painter, rect, blockText(lines, values, keepEmpty), size, leftTop, false, 2) || !unfit)
        return;
    const QSizeF room = rect.adjusted(2, 0, -2, 0).size();
    QList<CertificateField> filled;
    QList<CertificateField> blamed;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (values.at(i).isEmpty())
            continue;
        filled.append(lines.at(i).field);
        QStringList without = values;
        without[i].clear();
        if (fitsHeight(fitText(blockText(lines, without, keepEmpty), room, size, false), room))
            blamed.append(lines.at(i).field);
    }
    noteUnfit(unfit, blamed.isEmpty() ? filled : blamed);
}

struct RowPair
{
    QString leftLabel;
    CertificateField leftField;
    QString rightLabel;
    CertificateField rightField;
};

// Texts are laid out in units of 1/16 point, on a device of 1152 dpi where a font's point is 16 units, and drawn
// scaled back onto a painter whose unit is one point: the lines land where they were measured whatever the
// output's own resolution. At 72 dpi a 5-point font would be measured in advances hinted to whole units, up to
// a fifth too wide or narrow; at 16 units per point that error is a sixteenth of a point per letter.
constexpr double layoutUnitsPerPoint = 16;

const QPaintDevice *layoutDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        const int dotsPerMetre = int(std::lround(72 * layoutUnitsPerPoint / 0.0254));
        image.setDotsPerMeterX(dotsPerMetre);
        image.setDotsPerMeterY(dotsPerMetre);
        return image;
    }();
    return &device;
}

// Lays the text out at size in lines of width (points); its lines' total height in points, and whether every
// line is within width.
double layOut(QTextLayout &layout, double size, bool bold, double width, QTextOption::WrapMode wrap, int alignment,
    bool *withinWidth)
{
    layout.setFont(QFont(reportFont(size, bold), layoutDevice()));
    QTextOption option(Qt::Alignment(alignment & Qt::AlignHorizontal_Mask));
    option.setWrapMode(wrap);
    option.setUseDesignMetrics(true);
    layout.setTextOption(option);
    layout.clearLayout();
    const double lineWidth = width * layoutUnitsPerPoint;
    double height = 0;
    bool within = true;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(lineWidth);
        line.setPosition(QPointF(0, height));
        height += line.height();
        within = within && line.naturalTextWidth() <= lineWidth + 0.1;
    }
    layout.endLayout();
    if (withinWidth)
        *withinWidth = within;
    return height / layoutUnitsPerPoint;
}

QString layoutText(const QString &text)
{
    return QString(text).replace(u'\n', QChar::LineSeparator);
}

// Sets the layout as fitText decides; the fit's size, height and wholeness (its lines are left to the caller).
TextFit fitLayout(QTextLayout &layout, const QSizeF &room, double size, bool bold, int alignment)
{
    const double smallest = size * smallestTextShare;
    const int steps = std::max(0, int(std::floor((size - smallest) * 10 + 1e-9)));
    for (int step = 0; step <= steps + 1; ++step) {
        const double tried = step > steps ? smallest : size - step * 0.1;
        bool withinWidth = false;
        const double height = layOut(layout, tried, bold, room.width(), QTextOption::WordWrap, alignment, &withinWidth);
        if (withinWidth && height <= room.height() + 0.01)
            return {tried, {}, height, true};
    }
    const double height
        = layOut(layout, smallest, bold, room.width(), QTextOption::WrapAtWordBoundaryOrAnywhere, alignment, nullptr);
    return {smallest, {}, height, false};
}

} // namespace

QPageLayout pageLayout(DocumentType type)
{
    const QSizeF millimetres = type == DocumentType::Sticker ? QSizeF(100, 18.6) : QSizeF(210, 297);
    return QPageLayout(QPageSize(millimetres, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch),
        QPageLayout::Portrait, QMarginsF(), QPageLayout::Point);
}

QFont reportFont(double size, bool bold)
{
    QFont font(u"Times New Roman"_s);
    font.setPointSizeF(size);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    return font;
}

TextFit fitText(const QString &text, const QSizeF &room, double size, bool bold)
{
    QTextLayout layout(layoutText(text));
    TextFit fit = fitLayout(layout, room, size, bold, Qt::AlignLeft);
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        fit.lines.append(layout.text().mid(line.textStart(), line.textLength()).trimmed());
    }
    return fit;
}

void drawBox(QPainter &painter, const QRectF &rect)
{
    painter.save();
    painter.setPen(QPen(Qt::black, 0.8, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect);
    painter.restore();
}

bool drawText(
    QPainter &painter, const QRectF &rect, const QString &text, double size, int flags, bool bold, double inset)
{
    if (text.trimmed().isEmpty())
        return true;
    const QRectF room = rect.adjusted(inset, 0, -inset, 0);
    QTextLayout layout(layoutText(text));
    const TextFit fit = fitLayout(layout, room.size(), size, bold, flags);
    const double margin = std::clamp((room.height() - fit.height) / 2, 0.0, 2.0);
    const double top = (flags & Qt::AlignVCenter) ? room.center().y() - fit.height / 2 : room.top() + margin;
    painter.save();
    painter.translate(room.left(), top);
    painter.scale(1 / layoutUnitsPerPoint, 1 / layoutUnitsPerPoint);
    layout.draw(&painter, QPointF());
    painter.restore();
    // A word broken inside (a seal number without blanks) still fits; a text taller than its room does not.
    return fitsHeight(fit, room.size());
}

bool drawLineValue(
    QPainter &painter, const QRectF &rect, const QString &label, const QString &value, double labelWidth, double size)
{
    constexpr int flags = Qt::AlignLeft | Qt::AlignVCenter;
    drawText(painter, QRectF(rect.x() + 5, rect.y(), labelWidth - 5, rect.height()), label, size, flags, false, 0);
    return drawText(painter, QRectF(rect.x() + labelWidth + 2, rect.y(), rect.width() - labelWidth - 7, rect.height()),
        value, size, flags, false, 0);
}

bool drawVerticalLabel(QPainter &painter, const QRectF &rect, const QString &text)
{
    painter.save();
    painter.fillRect(rect, Qt::black);
    painter.setPen(Qt::white);
    painter.translate(rect.center());
    painter.rotate(-90);
    // Across the band the text may take two lines ("Транспортное средство" at 7 points on a 52.8-point sticker).
    const bool whole = drawText(painter, QRectF(-rect.height() / 2, -rect.width() / 2, rect.height(), rect.width()),
        text, 7, Qt::AlignHCenter | Qt::AlignVCenter, false, 0);
    painter.restore();
    return whole;
}

QString value(const QVariantMap &data, CertificateField field)
{
    return storage::certificateFieldText(data, field).trimmed();
}

QString documentDate(const QString &text)
{
    const QDate date = storage::certificateFieldDate(text);
    return date.isValid() ? date.toString(u"dd.MM.yyyy"_s) : text;
}

QString shownValue(const QVariantMap &data, CertificateField field)
{
    if (field == CertificateField::OrderDate)
        return documentDate(value(data, field).section(u' ', 0, 0));
    if (field == CertificateField::TachographDateOfManufacture
        || field == CertificateField::TachographSettingsNextCalibr)
        return documentDate(value(data, field));
    return value(data, field);
}

QString orderDate(const QVariantMap &data)
{
    return shownValue(data, CertificateField::OrderDate);
}

QString joinFilled(const QStringList &parts, const QString &separator)
{
    QStringList filled;
    for (const QString &part : parts) {
        if (!part.trimmed().isEmpty())
            filled.append(part.trimmed());
    }
    return filled.join(separator);
}

void drawSticker(QPainter &painter, const QVariantMap &data, QList<CertificateField> *unfit)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::black);
    painter.fillRect(QRectF(0, 0, 283.56, 52.8), Qt::white);
    for (const QRectF &band :
        {QRectF(0, 0, 8, 52.8), QRectF(88, 0, 16, 52.8), QRectF(218, 0, 11, 52.8), QRectF(275.5, 0, 8.06, 52.8)})
        painter.fillRect(band, Qt::black);

    if (!drawVerticalLabel(painter, QRectF(0, 0, 8, 52.8), shownValue(data, CertificateField::WorkshopStigma)))
        noteUnfit(unfit, {CertificateField::WorkshopStigma});
    // The workshop's lines that have text, each on a line of its own.
    drawBlock(painter, QRectF(8, 0, 80, 52.8), data,
        {{{}, CertificateField::WorkshopName}, {{}, CertificateField::WorkshopAddress},
            {{}, CertificateField::WorkshopPhone}},
        false, 7, unfit);
    drawVerticalLabel(painter, QRectF(88, 0, 16, 52.8), u"Транспортное средство"_s);
    drawBlock(painter, QRectF(104, 0, 114, 52.8), data,
        {{u"VIN: "_s, CertificateField::VehicleVin}, {u"VRN: "_s, CertificateField::VehicleRegNumber},
            {{}, CertificateField::TachographModel}, {u"с/н: "_s, CertificateField::TachographSerialNumber},
            {u"СКЗИ: "_s, CertificateField::TachographSkzi}},
        true, 7, unfit);
    drawVerticalLabel(painter, QRectF(218, 0, 11, 52.8), u"Параметры"_s);
    drawBlock(painter, QRectF(229, 0, 46.5, 52.8), data,
        {{u"W= "_s, CertificateField::TachographSettingsW}, {u"K= "_s, CertificateField::TachographSettingsK},
            {u"L= "_s, CertificateField::TachographSettingsL}, {u"Шины: "_s, CertificateField::VehicleTyreMarking},
            {u"дата настр.:\n"_s, CertificateField::OrderDate}},
        true, 5.8, unfit);
    painter.restore();
}

void drawCertificate(QPainter &painter, const QVariantMap &data, QList<CertificateField> *unfit)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen());

    const auto box = [&](qreal x, qreal y, qreal w, qreal h) { drawBox(painter, QRectF(x, y, w, h)); };
    const auto line = [&](qreal x1, qreal y1, qreal x2, qreal y2) { painter.drawLine(QLineF(x1, y1, x2, y2)); };
    box(42.5, 29, 510, 57);
    line(212, 29, 212, 86);
    line(397, 29, 397, 86);
    box(42.5, 125, 510, 94);
    line(42.5, 142, 552.5, 142);
    line(297, 125, 297, 219);
    line(467, 125, 467, 142);
    line(42.5, 170, 552.5, 170);
    box(42.5, 258, 510, 77);
    line(297, 258, 297, 335);
    line(42.5, 275, 552.5, 275);
    box(42.5, 374, 510, 61);
    line(42.5, 391, 552.5, 391);
    line(297, 391, 297, 435);
    box(42.5, 476, 510, 17);
    line(297, 476, 297, 493);
    box(42.5, 536, 510, 34);
    line(42.5, 553, 552.5, 553);
    line(297, 536, 297, 570);
    box(42.5, 617, 510, 51);
    line(42.5, 634, 552.5, 634);
    line(412, 771, 500, 771);

    const auto field = [&](CertificateField key) { return shownValue(data, key); };
    const auto heading
        = [&](const QRectF &rect, const QString &text, double size) { drawHeading(painter, rect, text, size); };
    const auto text = [&](const QRectF &rect, CertificateField key) {
        if (!drawValue(painter, rect, field(key)))
            noteUnfit(unfit, {key});
    };
    const auto row
        = [&](const QRectF &rect, const QString &label, CertificateField key, double labelWidth, double size) {
              if (!drawLineValue(painter, rect, label, field(key), labelWidth, size))
                  noteUnfit(unfit, {key});
          };

    drawText(painter, QRectF(212, 29, 185, 57), u"Сертификат настройки\nтахографа"_s, 15, centred, false, 5);
    row(QRectF(397, 29, 155.5, 28), u"Заказ №:"_s, CertificateField::OrderNumber, 51, 9.5);
    drawLineValue(painter, QRectF(397, 57, 155.5, 29), u"Дата:"_s,
        ddd::currentDateTime().toLocalTime().date().toString(u"dd.MM.yyyy"_s), 51, 9.5);

    heading(QRectF(42.5, 125, 254.5, 17), u"Заказчик"_s, 12);
    heading(QRectF(297, 125, 170, 17), u"Мастерская"_s, 12);
    if (!drawHeading(painter, QRectF(467, 125, 85.5, 17), field(CertificateField::WorkshopStigma), 12))
        noteUnfit(unfit, {CertificateField::WorkshopStigma});
    text(QRectF(42.5, 142, 254.5, 28), CertificateField::CustomerName);
    text(QRectF(42.5, 170, 254.5, 24), CertificateField::CustomerAddress);
    text(QRectF(42.5, 194, 254.5, 25), CertificateField::CustomerPhone);
    text(QRectF(297, 142, 255.5, 28), CertificateField::WorkshopName);
    text(QRectF(297, 170, 255.5, 24), CertificateField::WorkshopAddress);
    text(QRectF(297, 194, 255.5, 25), CertificateField::WorkshopPhone);

    heading(QRectF(42.5, 258, 254.5, 17), u"Тахограф"_s, 12);
    heading(QRectF(297, 258, 255.5, 17), u"Транспортное средство"_s, 12);
    const RowPair rows[] = {
        {u"Производитель:"_s, CertificateField::TachographManufacture, u"Рег. номер:"_s,
            CertificateField::VehicleRegNumber},
        {u"Модель:"_s, CertificateField::TachographModel, u"Марка:"_s, CertificateField::VehicleMark},
        {u"Серийный номер:"_s, CertificateField::TachographSerialNumber, u"Модель:"_s, CertificateField::VehicleModel},
        {u"Дата производства:"_s, CertificateField::TachographDateOfManufacture, u"VIN:"_s,
            CertificateField::VehicleVin},
        {u"СКЗИ:"_s, CertificateField::TachographSkzi, u"Одометр, км:"_s, CertificateField::VehicleOdometr},
    };
    qreal y = 275;
    for (const RowPair &pair : rows) {
        row(QRectF(42.5, y, 254.5, 12), pair.leftLabel, pair.leftField, 84, 8.5);
        row(QRectF(297, y, 255.5, 12), pair.rightLabel, pair.rightField, 84, 8.5);
        y += 12;
    }

    heading(QRectF(42.5, 374, 510, 17), u"Данные настройки тахографа"_s, 12);
    row(QRectF(42.5, 391, 254.5, 14), u"Дата настройки:"_s, CertificateField::OrderDate, 87, 8.5);
    row(QRectF(42.5, 405, 254.5, 14), u"W [imp/km]:"_s, CertificateField::TachographSettingsW, 87, 8.5);
    row(QRectF(42.5, 419, 254.5, 16), u"K [imp/km]:"_s, CertificateField::TachographSettingsK, 87, 8.5);
    row(QRectF(297, 391, 255.5, 14), u"Следующая настройка:"_s, CertificateField::TachographSettingsNextCalibr, 125,
        8.5);
    row(QRectF(297, 405, 255.5, 14), u"Маркировка шин:"_s, CertificateField::VehicleTyreMarking, 125, 8.5);
    row(QRectF(297, 419, 255.5, 16), u"L, мм:"_s, CertificateField::TachographSettingsL, 125, 8.5);

    heading(QRectF(42.5, 476, 254.5, 17), u"Расположение установочной таблицы:"_s, 11);
    text(QRectF(297, 476, 255.5, 17), CertificateField::SetupTable);
    heading(QRectF(42.5, 536, 254.5, 17), u"Результат инспекции:"_s, 11);
    text(QRectF(297, 536, 255.5, 17), CertificateField::Inspection);
    heading(QRectF(42.5, 553, 254.5, 17), u"Признаки манипуляции:"_s, 11);
    text(QRectF(297, 553, 255.5, 17), CertificateField::Manipulation);
    heading(QRectF(42.5, 617, 510, 17), u"Особые отметки"_s, 11);
    text(QRectF(42.5, 634, 510, 34), CertificateField::Note);

    row(QRectF(42.5, 731, 180, 18), u"Ответственный:"_s, CertificateField::OrderResponsible, 80, 8.5);
    row(QRectF(42.5, 760, 270, 18), u"Мастер:"_s, CertificateField::OrderMaster, 50, 8.5);
    drawText(painter, QRectF(360, 760, 90, 18), u"Подпись:"_s, 8.5, leftTop, false, 5);
    drawText(painter, QRectF(500, 760, 53, 18), u"М.П."_s, 8.5, Qt::AlignRight | Qt::AlignTop, false, 5);
    painter.restore();
}

void drawDocument(QPainter &painter, DocumentType type, const QVariantMap &data, QList<CertificateField> *unfit)
{
    if (type == DocumentType::Sticker)
        drawSticker(painter, data, unfit);
    else
        drawCertificate(painter, data, unfit);
}

} // namespace tessaron::documents
