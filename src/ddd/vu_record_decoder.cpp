#include "ddd_decoder.h"
#include "ddd_readers.h"
#include "vu_records.h"

#include <QTimeZone>

namespace tessaron::ddd {

namespace vu {

namespace {

using namespace Qt::StringLiterals;

constexpr qsizetype SignatureLength = 128;

// Seconds of 2000-01-01 and of 2101-01-01 (UTC): a stored time is plausible between them.
constexpr quint32 FirstPlausibleSecond = 946684800u;
constexpr quint32 FirstImplausibleSecond = 4133980800u;
constexpr qint64 SecondsPerDay = 86400;
constexpr qint64 JulianDayOfEpoch = 2440588;

void putDigits(char16_t *&out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char16_t(u'0' + value % 10);
        value /= 10;
    }
    out += width;
}

bool readDigits(QStringView text, qsizetype offset, qsizetype width, int &value)
{
    value = 0;
    for (qsizetype i = offset; i < offset + width; ++i) {
        const char16_t ch = text[i].unicode();
        if (ch < u'0' || ch > u'9')
            return false;
        value = value * 10 + (ch - u'0');
    }
    return true;
}

// "dd.MM.yyyy", then optionally " H:mm:ss" or " HH:mm:ss"; invalid for any other shape.
QDateTime parseFixedShape(QStringView text, bool allowDateOnly)
{
    int day = 0, month = 0, year = 0;
    if (text.size() < 10 || text[2] != u'.' || text[5] != u'.' || !readDigits(text, 0, 2, day)
        || !readDigits(text, 3, 2, month) || !readDigits(text, 6, 4, year)) {
        return {};
    }
    const QDate date(year, month, day);
    if (!date.isValid())
        return {};
    if (text.size() == 10)
        return allowDateOnly ? QDateTime(date, QTime(0, 0), QTimeZone::utc()) : QDateTime();
    const qsizetype hourWidth = text.size() - 17;
    int hour = 0, minute = 0, second = 0;
    if ((hourWidth != 1 && hourWidth != 2) || text[10] != u' ' || text[11 + hourWidth] != u':'
        || text[14 + hourWidth] != u':' || !readDigits(text, 11, hourWidth, hour)
        || !readDigits(text, 12 + hourWidth, 2, minute) || !readDigits(text, 15 + hourWidth, 2, second)) {
        return {};
    }
    const QTime time(hour, minute, second);
    return time.isValid() ? QDateTime(date, time, QTimeZone::utc()) : QDateTime();
}

} // namespace

const QString &undefinedTimeText()
{
    static const QString text = u"01.01.0001 0:00:00"_s;
    return text;
}

namespace {

QString formatParts(QDate date, int hour, int minute, int second, bool withTime)
{
    char16_t buffer[19];
    char16_t *out = buffer;
    putDigits(out, date.day(), 2);
    *out++ = u'.';
    putDigits(out, date.month(), 2);
    *out++ = u'.';
    putDigits(out, date.year(), 4);
    if (withTime) {
        *out++ = u' ';
        putDigits(out, hour, hour < 10 ? 1 : 2);
        *out++ = u':';
        putDigits(out, minute, 2);
        *out++ = u':';
        putDigits(out, second, 2);
    }
    return QString(reinterpret_cast<const QChar *>(buffer), out - buffer);
}

} // namespace

QString formatVuDateTime(const QDateTime &dateTime, bool withTime)
{
    if (!dateTime.isValid())
        return {};
    const QDate date = dateTime.date();
    if (date.year() < 1 || date.year() > 9999)
        return dateTime.toString(withTime ? u"dd.MM.yyyy H:mm:ss"_s : u"dd.MM.yyyy"_s);
    const QTime time = dateTime.time();
    return formatParts(date, time.hour(), time.minute(), time.second(), withTime);
}

QString formatVuSeconds(quint32 seconds, bool withTime)
{
    const qint64 days = qint64(seconds) / SecondsPerDay;
    const int secondOfDay = int(qint64(seconds) - days * SecondsPerDay);
    return formatParts(QDate::fromJulianDay(JulianDayOfEpoch + days), secondOfDay / 3600, secondOfDay / 60 % 60,
        secondOfDay % 60, withTime);
}

bool isPlausibleVuSeconds(quint32 seconds)
{
    return seconds >= FirstPlausibleSecond && seconds < FirstImplausibleSecond;
}

qsizetype effectiveLength(const QByteArray &data)
{
    return data.size() > SignatureLength + 1 ? data.size() - SignatureLength : data.size();
}

// Times are stored most significant byte first: that reading wins whenever it is plausible. The little-endian
// reading in local time only rescues a value that is not, as older files written by some units need.
QString vuTimeText(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset > data.size() - 4)
        return undefinedTimeText();
    const quint32 bigEndian = readBe32(data, offset);
    if (isPlausibleVuSeconds(bigEndian))
        return formatVuSeconds(bigEndian, true);
    const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(readLe32(data, offset)));
    const int year = local.date().year();
    if (year >= 2000 && year <= 2100)
        return formatVuDateTime(local, true);
    return undefinedTimeText();
}

QDateTime parseVuDateTime(const QString &text)
{
    if (text.isEmpty())
        return {};
    const QDateTime fast = parseFixedShape(text, false);
    if (fast.isValid())
        return fast;
    for (const QString &format : {u"dd.MM.yyyy H:mm:ss"_s, u"dd.MM.yyyy HH:mm:ss"_s}) {
        const QDateTime parsed = QDateTime::fromString(text, format);
        if (parsed.isValid())
            return QDateTime(parsed.date(), parsed.time(), QTimeZone::utc());
    }
    return {};
}

void widenDateRange(QDateTime &earliest, QDateTime &latest, const QString &text)
{
    if (text.isEmpty())
        return;
    QDateTime value = parseVuDateTime(text);
    if (!value.isValid()) {
        value = parseFixedShape(text, true);
        if (!value.isValid()) {
            const QDate date = QDate::fromString(text, u"dd.MM.yyyy"_s);
            if (date.isValid())
                value = QDateTime(date, QTime(0, 0), QTimeZone::utc());
        }
    }
    if (!value.isValid())
        return;
    if (!earliest.isValid() || value < earliest)
        earliest = value;
    if (!latest.isValid() || value > latest)
        latest = value;
}

QString vuCardNumberText(const QByteArray &data, qsizetype offset)
{
    const qsizetype begin = qMax<qsizetype>(offset, 0);
    const qsizetype end = offset > data.size() - 18 ? data.size() : offset + 18;
    QString text;
    for (qsizetype i = begin; i < end; ++i) {
        const auto byte = static_cast<quint8>(data.constData()[i]);
        if (byte >= 0x20 && byte <= 0x7E)
            text.append(QChar(char16_t(byte)));
    }
    text = text.trimmed();
    return text.isEmpty() ? u" "_s : text;
}

QString vuNameField(const QByteArray &data, qsizetype &cursor)
{
    if (cursor >= 0 && cursor < data.size() && data.constData()[cursor] == 0x05)
        ++cursor;
    if (cursor < 0 || cursor > data.size() - 35) {
        cursor = data.size();
        return {};
    }
    const QString text = readCalibrationText(data, cursor, 35);
    cursor += 35;
    return text;
}

void appendVuIdentificationRow(DddReport &report, const QString &description, const QString &value)
{
    report.vuIdentification.append(QVariantMap {{u"description"_s, description}, {u"value"_s, value}});
}

void decodeOverviewBlock(DddReport &, const DddBlock &)
{ }

} // namespace vu

void Decoder::parseTachographData(DddReport &)
{ }

} // namespace tessaron::ddd
