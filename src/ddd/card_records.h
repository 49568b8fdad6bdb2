#pragma once

// Internal to the driver-card record decoders: the row forms and time readers they share, and one decoder per
// elementary file that the walk over a card download calls. Each decoder reads only its block's data, appends
// rows to the report and never fails: short or damaged data gives fewer rows.

#include "ddd_report.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace tessaron::ddd::card {

// {"description", "value"}.
void appendFieldRow(QVariantList &list, const QString &description, const QVariant &value);
// The whole block as one row: its number, name, length, hexadecimal bytes and the caller's texts.
void appendBlockRow(QVariantList &list, const DddBlock &block, const QString &description, const QStringList &fields);

// A card's 4-byte time (TimeReal, seconds since 1970, most significant byte first). The big-endian reading in UTC
// when its year lies in 2000..2100, else the little-endian reading in the system time zone when its year does;
// invalid otherwise or when the four bytes do not lie inside the data.
QDateTime readCardTime(const QByteArray &data, qsizetype offset);
// The date part of readCardTime.
QDate readCardDate(const QByteArray &data, qsizetype offset);
// "5 октября 1982 г.", or "Invalid date".
QString formatRussianDate(QDate date);

// Identification files.
void decodeIcc(DddReport &report, const DddBlock &block); // EF ICC, 0002
void decodeIc(DddReport &report, const DddBlock &block); // EF IC, 0005
void decodeApplicationIdentification(DddReport &report, const DddBlock &block); // 0501
void decodeDrivingLicence(DddReport &report, const DddBlock &block); // 0521
void decodeCardDownload(DddReport &report, const DddBlock &block); // 050E
void decodeIdentification(DddReport &report, const DddBlock &block); // 0520

// Day (the presence counter as a number, 0 when it is not one) and minute of each activity change row, kept
// beside the rows while they are decoded so that sorting them reads no map.
struct ActivityChangeKey
{
    int day = 0;
    int minutes = 0;
};
using ActivityChangeKeys = std::vector<ActivityChangeKey>;

// Activity file, 0504: appends rows, and one key per activityChanges row to keys.
void decodeActivities(DddReport &report, const DddBlock &block, ActivityChangeKeys &keys);
// Sorts the rows by day, then minute (stable). keys holds one entry per row; when it does not, the keys are read
// from the rows themselves.
void sortActivityChanges(QVariantList &changes, const ActivityChangeKeys &keys);

// Events, faults, vehicles, places, current usage, control activity and specific conditions.
// Events (0502) and faults (0503) share one record layout; they differ in their keys, names and which records
// count as empty.
enum class EventFile { Events, Faults };
void decodeEventRecords(DddReport &report, const DddBlock &block, EventFile file);
void decodeVehicles(DddReport &report, const DddBlock &block); // 0505
void decodePlaces(DddReport &report, const DddBlock &block); // 0506
void decodeCurrentUsage(DddReport &report, const DddBlock &block); // 0507
void decodeControlActivity(DddReport &report, const DddBlock &block); // 0508
void decodeSpecificConditions(DddReport &report, const DddBlock &block); // 0522

} // namespace tessaron::ddd::card
