#pragma once

// Internal to the vehicle-unit record decoders: the operations they share and the per-block decoders that
// the walk over a first-generation download calls.

#include "ddd_report.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace tessaron::ddd::vu {

// A block's data without its trailing 128-byte signature (the whole data when it is 129 bytes or shorter).
qsizetype effectiveLength(const QByteArray &data);

// A 4-byte time as "dd.MM.yyyy H:mm:ss", or "01.01.0001 0:00:00" when it is outside the data or implausible.
QString vuTimeText(const QByteArray &data, qsizetype offset);
QDateTime parseVuDateTime(const QString &text);
void widenDateRange(QDateTime &earliest, QDateTime &latest, const QString &text);
QString vuCardNumberText(const QByteArray &data, qsizetype offset);
QString vuNameField(const QByteArray &data, qsizetype &cursor);
void appendVuIdentificationRow(DddReport &report, const QString &description, const QString &value);

// One decoder per transfer block; each reads only its block and appends to the report's datasets.
void decodeOverviewBlock(DddReport &report, const DddBlock &block);
void decodeActivityBlock(DddReport &report, const DddBlock &block);
void decodeEventsAndFaultsBlock(DddReport &report, const DddBlock &block);
void decodeDetailedSpeedBlock(DddReport &report, const DddBlock &block);
void decodeTechnicalDataBlock(DddReport &report, const DddBlock &block);

} // namespace tessaron::ddd::vu
