#include "ddd_readers.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QTimeZone>

#include <array>
#include <atomic>
#include <cstring>
#include <optional>

namespace tessaron::ddd {

namespace {

// Pinned "now"; s_clockPinned spares the unpinned path the lock.
std::atomic_bool s_clockPinned = false;
QMutex s_clockMutex;
QDateTime s_pinnedNow;

constexpr int MinPlausibleYear = 2000;
constexpr int MaxPlausibleYear = 2100;
constexpr quint32 LastValidSeconds = 0xF0000000u;

bool isRangeInside(const QByteArray &data, qsizetype offset, qsizetype length)
{
    return offset >= 0 && length >= 0 && offset <= data.size() && length <= data.size() - offset;
}

quint8 byteAt(const QByteArray &data, qsizetype index)
{
    return static_cast<quint8>(data.constData()[index]);
}

bool isPlausibleYear(const QDateTime &dateTime)
{
    const int year = dateTime.date().year();
    return year >= MinPlausibleYear && year <= MaxPlausibleYear;
}

// The UTC instant of a stored count of seconds, or nothing for the "not set" values.
std::optional<QDateTime> utcOfSeconds(quint32 seconds, int minYear)
{
    if (seconds == 0 || seconds > LastValidSeconds)
        return std::nullopt;
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(qint64(seconds), QTimeZone::utc());
    const int year = utc.date().year();
    if (year < minYear || year > MaxPlausibleYear)
        return std::nullopt;
    return utc;
}

} // namespace

QDateTime currentDateTime()
{
    if (!s_clockPinned.load(std::memory_order_acquire))
        return QDateTime::currentDateTime();
    QMutexLocker locker(&s_clockMutex);
    return s_pinnedNow;
}

void setCurrentDateTimeForTesting(const QDateTime &now)
{
    QMutexLocker locker(&s_clockMutex);
    s_pinnedNow = now;
    s_clockPinned.store(now.isValid(), std::memory_order_release);
}

quint32 readBe32(const QByteArray &data, qsizetype offset)
{
    if (!isRangeInside(data, offset, 4))
        return 0;
    return (quint32(byteAt(data, offset)) << 24) | (quint32(byteAt(data, offset + 1)) << 16)
        | (quint32(byteAt(data, offset + 2)) << 8) | quint32(byteAt(data, offset + 3));
}

quint32 readLe32(const QByteArray &data, qsizetype offset)
{
    if (!isRangeInside(data, offset, 4))
        return 0;
    return (quint32(byteAt(data, offset + 3)) << 24) | (quint32(byteAt(data, offset + 2)) << 16)
        | (quint32(byteAt(data, offset + 1)) << 8) | quint32(byteAt(data, offset));
}

QString formatUnix(quint32 seconds)
{
    const auto utc = utcOfSeconds(seconds, MinPlausibleYear);
    return utc ? utc->toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : QString();
}

QString formatUnixCSharp(quint32 seconds, bool toLocal)
{
    const auto utc = utcOfSeconds(seconds, 1970);
    if (!utc)
        return {};
    const QDateTime shown = toLocal ? utc->toLocalTime() : *utc;
    return shown.toString(QStringLiteral("dd.MM.yyyy H:mm:ss"));
}

// Every 4-byte time of these files is stored most significant byte first, so the big-endian reading wins
// whenever it is plausible; the little-endian one (local time) only rescues a value that is not.
QString formatUnixUniversalCSharp(const QByteArray &data, qsizetype offset, const QString &format)
{
    if (!isRangeInside(data, offset, 4))
        return {};
    const QDateTime bigEndian = QDateTime::fromSecsSinceEpoch(qint64(readBe32(data, offset)), QTimeZone::utc());
    if (isPlausibleYear(bigEndian))
        return bigEndian.toString(format);
    const QDateTime littleEndian = QDateTime::fromSecsSinceEpoch(qint64(readLe32(data, offset)));
    if (isPlausibleYear(littleEndian))
        return littleEndian.toString(format);
    return {};
}

QString formatMinutes(int minutes)
{
    const int value = qMax(0, minutes);
    return QStringLiteral("%1:%2").arg(value / 60, 2, 10, QLatin1Char('0')).arg(value % 60, 2, 10, QLatin1Char('0'));
}

QString readFixedText(const QByteArray &data, qsizetype offset, qsizetype length)
{
    if (!isRangeInside(data, offset, length))
        return {};
    QString text(length, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < length; ++i) {
        const quint8 byte = byteAt(data, offset + i);
        out[i] = (byte == 0x00 || byte == 0x05) ? QLatin1Char(' ') : QChar(char16_t(byte));
    }
    return text.trimmed();
}

QString readCalibrationText(const QByteArray &data, qsizetype offset, qsizetype length)
{
    if (length < 1 || !isRangeInside(data, offset, length))
        return {};
    QString text(length, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < length; ++i) {
        const quint8 byte = byteAt(data, offset + i);
        char16_t ch = u'?';
        if (byte <= 0x20)
            ch = u' ';
        else if (byte <= 0x7F)
            ch = byte;
        else if (byte == 0xA1)
            ch = 0x0401;
        else if (byte >= 0xB0 && byte <= 0xEF)
            ch = char16_t(0x0410 + (byte - 0xB0));
        else if (byte >= 0xF0)
            ch = char16_t(0x0440 + (byte - 0xF0));
        out[i] = QChar(ch);
    }
    return text.simplified();
}

QString readWindows1251Text(const QByteArray &data, qsizetype offset, qsizetype length)
{
    if (!isRangeInside(data, offset, length))
        return {};
    QString text(length, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < length; ++i) {
        const quint8 byte = byteAt(data, offset + i);
        char16_t ch = u'?';
        if (byte == 0x00)
            ch = u' ';
        else if (byte <= 0x7F)
            ch = byte;
        else if (byte == 0xA8)
            ch = 0x0401;
        else if (byte == 0xB8)
            ch = 0x0451;
        else if (byte >= 0xC0)
            ch = char16_t(0x0410 + (byte - 0xC0));
        out[i] = QChar(ch);
    }
    return text;
}

QString readAsciiWithReplacement(const QByteArray &data, qsizetype offset, qsizetype length)
{
    if (!isRangeInside(data, offset, length))
        return {};
    QString text;
    text.reserve(length);
    for (qsizetype i = 0; i < length; ++i) {
        const quint8 byte = byteAt(data, offset + i);
        if (byte == 0x00)
            continue;
        text.append(byte >= 0x20 && byte <= 0x7E ? QChar(char16_t(byte)) : QChar(u'?'));
    }
    return text.trimmed();
}

QStringList printableStrings(const QByteArray &data)
{
    // Speeds of 32 to 126 km/h are printable bytes, so a detailed-speed block alone yields thousands of runs:
    // duplicates are found on views into the data before any text is made.
    QStringList result;
    QSet<QByteArrayView> seen;
    const char *bytes = data.constData();
    const qsizetype size = data.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= size; ++i) {
        if (i < size && quint8(bytes[i]) >= 0x20 && quint8(bytes[i]) <= 0x7E)
            continue;
        if (i - runStart >= 4) {
            qsizetype first = runStart;
            qsizetype last = i;
            while (first < last && bytes[first] == ' ')
                ++first;
            while (last > first && bytes[last - 1] == ' ')
                --last;
            const QByteArrayView text(bytes + first, last - first);
            if (!text.isEmpty() && !seen.contains(text)) {
                seen.insert(text);
                result.append(QString::fromLatin1(text));
            }
        }
        runStart = i + 1;
    }
    return result;
}

QString hexText(QByteArrayView bytes)
{
    // Both digits of a byte in one step: inventories turn whole files into hex.
    static const std::array<std::array<char16_t, 2>, 256> pairs = [] {
        constexpr char16_t digits[] = u"0123456789ABCDEF";
        std::array<std::array<char16_t, 2>, 256> table {};
        for (int byte = 0; byte < 256; ++byte)
            table[byte] = {digits[byte >> 4], digits[byte & 0x0F]};
        return table;
    }();
    QString text(bytes.size() * 2, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    const auto *in = reinterpret_cast<const quint8 *>(bytes.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        std::memcpy(out + 2 * i, pairs[in[i]].data(), sizeof(char16_t) * 2);
    }
    return text;
}

} // namespace tessaron::ddd
