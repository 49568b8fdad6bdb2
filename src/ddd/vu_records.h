#pragma once

// Internal to the vehicle-unit record decoders: the operations they share and the per-block decoders that
// the walk over a first-generation download calls.

#include "ddd_report.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace tessaron::ddd::vu {

// The slot text of the driver's activity changes; the activity analysis reads a download's driver slot by it.
inline constexpr QStringView driverSlotText = u"Водитель";

// A block's data without its trailing 128-byte signature (the whole data when it is 129 bytes or shorter).
qsizetype effectiveLength(const QByteArray &data);

// A 4-byte time as "dd.MM.yyyy H:mm:ss", or "01.01.0001 0:00:00" when it is outside the data or implausible.
// The big-endian reading (UTC) wins whenever its year lies in 2000..2100; the little-endian one (local time)
// only when it does not.
QString vuTimeText(const QByteArray &data, qsizetype offset);
// "dd.MM.yyyy H:mm:ss" (or with a two-digit hour) as a UTC date-time; invalid for any other text.
QDateTime parseVuDateTime(const QString &text);
// Moves earliest/latest out to the time of the text ("dd.MM.yyyy" accepted too); ignores a text that does not
// parse.
void widenDateRange(QDateTime &earliest, QDateTime &latest, const QString &text);
// The printable bytes of the 18 bytes at offset (fewer at the data's end), trimmed; " " when none.
QString vuCardNumberText(const QByteArray &data, qsizetype offset);
// A 36-byte name field at cursor (code-page byte 0x05 skipped): its text, the cursor moved past it; an empty
// text and the cursor at the data's end when the 35 characters do not fit.
QString vuNameField(const QByteArray &data, qsizetype &cursor);
void appendVuIdentificationRow(DddReport &report, const QString &description, const QString &value);

// The text every unreadable time becomes.
const QString &undefinedTimeText();
// True for a count of seconds of the years 2000..2100 (UTC).
bool isPlausibleVuSeconds(quint32 seconds);
// A count of seconds as its UTC time, "dd.MM.yyyy H:mm:ss" or "dd.MM.yyyy"; cheap enough for one call per row.
QString formatVuSeconds(quint32 seconds, bool withTime);
// The same text of a date-time as it stands (no time-zone conversion); empty when invalid.
QString formatVuDateTime(const QDateTime &dateTime, bool withTime);

// One decoder per transfer block; each reads only its block and appends to the report's datasets.
void decodeOverviewBlock(DddReport &report, const DddBlock &block);
void decodeActivityBlock(DddReport &report, const DddBlock &block);
void decodeEventsAndFaultsBlock(DddReport &report, const DddBlock &block);
void decodeDetailedSpeedBlock(DddReport &report, const DddBlock &block);
// Room in detailedSpeed and charts for the rows of every detailed-speed block of the report at once. Grown block
// by block, the chart list's last doubling held the old and the new buffer together, which set the peak memory
// of a long download.
void reserveDetailedSpeedRows(DddReport &report);
void decodeTechnicalDataBlock(DddReport &report, const DddBlock &block);

} // namespace tessaron::ddd::vu
