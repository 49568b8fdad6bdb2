#include "ddd_readers.h"

#include "byte_reader.h"
#include "checked_growth.h"

#include <QDate>
#include <QMutex>
#include <QMutexLocker>
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

// The bytes of a text field, or nothing when the range does not lie inside the data.
std::optional<QByteArrayView> fieldBytes(const QByteArray &data, qsizetype offset, qsizetype length)
{
    return ByteReader(data).bytesAt(offset, length);
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

// "dd.MM.yyyy HH:mm:ss" (hour without its leading zero unless twoDigitHour) of the UTC instant, written
// directly: QDateTime's formatting dominated decoding files with thousands of dated records. Empty exactly where
// utcOfSeconds gives nothing.
QString utcText(quint32 seconds, int minYear, bool twoDigitHour)
{
    if (seconds == 0 || seconds > LastValidSeconds)
        return {};
    constexpr qint64 UnixEpochJulianDay = 2440588;
    int year = 0;
    int month = 0;
    int day = 0;
    QDate::fromJulianDay(UnixEpochJulianDay + seconds / 86400).getDate(&year, &month, &day);
    if (year < minYear || year > MaxPlausibleYear)
        return {};
    const quint32 secondOfDay = seconds % 86400;
    const int hour = int(secondOfDay / 3600);
    const int minute = int(secondOfDay / 60 % 60);
    const int second = int(secondOfDay % 60);

    std::array<char16_t, 19> text {};
    qsizetype length = 0;
    const auto two = [&](int value) {
        text[size_t(length++)] = char16_t(u'0' + value / 10);
        text[size_t(length++)] = char16_t(u'0' + value % 10);
    };
    two(day);
    text[size_t(length++)] = u'.';
    two(month);
    text[size_t(length++)] = u'.';
    two(year / 100);
    two(year % 100);
    text[size_t(length++)] = u' ';
    if (twoDigitHour || hour >= 10)
        text[size_t(length++)] = char16_t(u'0' + hour / 10);
    text[size_t(length++)] = char16_t(u'0' + hour % 10);
    text[size_t(length++)] = u':';
    two(minute);
    text[size_t(length++)] = u':';
    two(second);
    return QString(reinterpret_cast<const QChar *>(text.data()), length);
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
    return ByteReader(data).u32BeAt(offset).value_or(0);
}

quint32 readLe32(const QByteArray &data, qsizetype offset)
{
    return ByteReader(data).u32LeAt(offset).value_or(0);
}

std::optional<quint32> readOdometerShort(QByteArrayView data, qsizetype offset)
{
    constexpr quint32 NotSet = 0xFFFFFF;
    const std::optional<quint32> value = ByteReader(data).u24BeAt(offset);
    return value == NotSet ? std::nullopt : value;
}

QString formatUnix(quint32 seconds)
{
    return utcText(seconds, MinPlausibleYear, true);
}

QString formatUnixCSharp(quint32 seconds, bool toLocal)
{
    if (!toLocal)
        return utcText(seconds, 1970, false);
    const auto utc = utcOfSeconds(seconds, 1970);
    if (!utc)
        return {};
    return utc->toLocalTime().toString(QStringLiteral("dd.MM.yyyy H:mm:ss"));
}

// Every 4-byte time of these files is stored most significant byte first, so the big-endian reading wins
// whenever it is plausible; the little-endian one (local time) only rescues a value that is not.
QString formatUnixUniversalCSharp(const QByteArray &data, qsizetype offset, const QString &format)
{
    if (!fieldBytes(data, offset, 4))
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
    const int hours = value / 60;
    if (hours >= 100)
        return QStringLiteral("%1:%2").arg(hours).arg(value % 60, 2, 10, QLatin1Char('0'));
    // The common case written directly: the analysis formats thousands of durations.
    const std::array<char16_t, 5> text {char16_t(u'0' + hours / 10), char16_t(u'0' + hours % 10), u':',
        char16_t(u'0' + value % 60 / 10), char16_t(u'0' + value % 10)};
    return QString(reinterpret_cast<const QChar *>(text.data()), qsizetype(text.size()));
}

QString readFixedText(const QByteArray &data, qsizetype offset, qsizetype length)
{
    const auto bytes = fieldBytes(data, offset, length);
    if (!bytes)
        return {};
    QString text(length, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < length; ++i) {
        const auto byte = quint8(bytes->at(i));
        out[i] = (byte == 0x00 || byte == 0x05) ? QLatin1Char(' ') : QChar(char16_t(byte));
    }
    return text.trimmed();
}

QString readCalibrationText(const QByteArray &data, qsizetype offset, qsizetype length)
{
    const auto bytes = fieldBytes(data, offset, length);
    if (length < 1 || !bytes)
        return {};
    QString text(length, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < length; ++i) {
        const auto byte = quint8(bytes->at(i));
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
    const auto bytes = fieldBytes(data, offset, length);
    if (!bytes)
        return {};
    QString text(length, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < length; ++i) {
        const auto byte = quint8(bytes->at(i));
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
    const auto bytes = fieldBytes(data, offset, length);
    if (!bytes)
        return {};
    QString text;
    reserveChecked(text, length);
    for (qsizetype i = 0; i < length; ++i) {
        const auto byte = quint8(bytes->at(i));
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
    CheckedSet<QByteArrayView> seen;
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

QString shownHexText(QByteArrayView bytes)
{
    constexpr qsizetype MaxShownBytes = 64 * 1024;
    if (bytes.size() <= MaxShownBytes)
        return hexText(bytes);
    return hexText(bytes.first(MaxShownBytes))
        + QStringLiteral(" … (показано %1 байт из %2)").arg(MaxShownBytes).arg(bytes.size());
}

QString hexText(const QByteArray &data, qsizetype offset, qsizetype length)
{
    return hexText(fieldBytes(data, offset, length).value_or(QByteArrayView()));
}

} // namespace tessaron::ddd
