#pragma once

// Byte, text and time readers shared by every record decoder of a DDD file. Each is safe on any offset and
// length: a range that does not lie inside the data gives the documented empty result and reads nothing.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace tessaron::ddd {

// "Now" for every rule that compares a time with the present. Tests pin it; by default it is the system clock.
QDateTime currentDateTime();
// Pins "now" (an invalid date-time returns to the system clock). Not meant to change while files decode.
void setCurrentDateTimeForTesting(const QDateTime &now);

// The 32-bit value of the four bytes at offset; 0 when they do not lie inside the data.
quint32 readBe32(const QByteArray &data, qsizetype offset);
quint32 readLe32(const QByteArray &data, qsizetype offset);
// OdometerShort, whole kilometres in three big-endian bytes: the one reading of an odometer for every record.
// Nothing when the bytes do not lie inside the data or are FF FF FF, which the data dictionary reserves for an
// odometer not set (never 16,777,215 km).
std::optional<quint32> readOdometerShort(QByteArrayView data, qsizetype offset);

// "dd.MM.yyyy HH:mm:ss" of the UTC instant; empty for 0, above 0xF0000000 or a year outside 2000..2100.
QString formatUnix(quint32 seconds);
// "dd.MM.yyyy H:mm:ss", local when toLocal; empty for 0, above 0xF0000000 or a UTC year outside 1970..2100.
QString formatUnixCSharp(quint32 seconds, bool toLocal);
// The four bytes at offset as a time written with format: big-endian in UTC when its year lies in 2000..2100,
// else little-endian in the system time zone when that one's year does; empty otherwise or out of the data.
QString formatUnixUniversalCSharp(const QByteArray &data, qsizetype offset, const QString &format);
// "hh:mm", each part at least two digits, hours not wrapped; a negative count reads as 0.
QString formatMinutes(int minutes);

// Each text reader gives an empty text when the range does not lie inside the data.

// Latin-1 with 0x00 and 0x05 as spaces, trimmed.
QString readFixedText(const QByteArray &data, qsizetype offset, qsizetype length);
// The workshop code page: 0xA1 Ё, 0xB0..0xEF А..я, 0xF0..0xFF р..я, other high bytes "?"; simplified.
QString readCalibrationText(const QByteArray &data, qsizetype offset, qsizetype length);
// Windows-1251 letters (Ё, ё, А..я), 0x00 a space, other high bytes "?"; not trimmed.
QString readWindows1251Text(const QByteArray &data, qsizetype offset, qsizetype length);
// Printable ASCII, 0x00 dropped, every other byte "?"; trimmed.
QString readAsciiWithReplacement(const QByteArray &data, qsizetype offset, qsizetype length);
// Every distinct non-blank run of four or more printable ASCII bytes, trimmed, in order of first appearance.
QStringList printableStrings(const QByteArray &data);

// Upper-case hexadecimal, two digits a byte, no separators (the "hexData" and "hex" row values).
QString hexText(QByteArrayView bytes);
// The same of the length bytes at offset; empty when they do not lie inside the data.
QString hexText(const QByteArray &data, qsizetype offset, qsizetype length);

// hexText of at most the first 64 KiB, then a note of the whole length: the viewer's hex of a block or section,
// which must not outgrow the file however large a block is.
QString shownHexText(QByteArrayView bytes);

} // namespace tessaron::ddd
