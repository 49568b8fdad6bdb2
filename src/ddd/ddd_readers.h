#pragma once

// Byte, text and time readers shared by every record decoder of a DDD file. Each is safe on any offset and
// length: a range that does not lie inside the data gives the documented empty result and reads nothing.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace tessaron::ddd {

// "Now" for every rule that compares a time with the present. Tests pin it; by default it is the system clock.
QDateTime currentDateTime();
// Pins "now" (an invalid date-time returns to the system clock). Not meant to change while files decode.
void setCurrentDateTimeForTesting(const QDateTime &now);

// Callers test that offset + 4 lies inside the data first.
quint32 readBe32(const QByteArray &data, qsizetype offset);
quint32 readLe32(const QByteArray &data, qsizetype offset);

QString formatUnix(quint32 seconds);
QString formatUnixCSharp(quint32 seconds, bool toLocal);
QString formatUnixUniversalCSharp(const QByteArray &data, qsizetype offset, const QString &format);
QString formatMinutes(int minutes);

QString readFixedText(const QByteArray &data, qsizetype offset, qsizetype length);
QString readCalibrationText(const QByteArray &data, qsizetype offset, qsizetype length);
QString readWindows1251Text(const QByteArray &data, qsizetype offset, qsizetype length);
QString readAsciiWithReplacement(const QByteArray &data, qsizetype offset, qsizetype length);
QStringList printableStrings(const QByteArray &data);

// Upper-case hexadecimal, two digits a byte, no separators (the "hexData" and "hex" row values).
QString hexText(QByteArrayView bytes);

} // namespace tessaron::ddd
