#pragma once

// Value helpers of the report database, shared by its save, load and listing code.

#include "ddd_report.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

namespace tessaron::ddd {

// The ReportType the generic tables store: 2 for a tachograph report, 1 for every other type.
int storedReportType(DddFileType type);
// The header table of a report type: TachographReports for a tachograph report, DriverCardReports otherwise.
QString headerTable(DddFileType type);

// The SQL expression that reads a member of a report's meta object (column Json of DddReportMeta) as text when it
// is a JSON string, else as the empty text: what the archive's duplicate rule compares.
QString metaText(const QString &member);

// The name with its first letter in lower case: a column's twin key ("EventType" -> "eventType").
QString lowerFirst(const QString &name);

// The value of the first wanted key the row holds: the exact key, even when its value is empty, else the first
// entry in ascending key order whose key equals it ignoring case. Invalid (bound as NULL) when none matches.
QVariant rowValue(const QVariantMap &row, const QStringList &keys);
// rowValue of one key as text; a null text (bound as NULL) when the key is missing.
QString textValue(const QVariantMap &row, const QString &key);

// A list or map as compact JSON, members in ascending key order, non-ASCII text as UTF-8 characters; "null"
// for anything else.
QByteArray compactJson(const QVariant &value);
// A list or map as compact JSON text, a null text for an invalid or null value, else the value's text.
QString jsonText(const QVariant &value);

// A copy of the report's dataset of that name; empty for a name that is not one of the 38.
QVariantList rowsFor(const DddReport &report, const QString &name);

// A stored report date as UTC: a date-time value as it is, else the text in the first form that fits of
// "yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", the same with "T", "dd.MM.yyyy HH:mm:ss",
// "dd.MM.yyyy H:mm:ss", "dd.MM.yyyy HH:mm", "yyyy-MM-dd", then ISO 8601 (UTC unless it names an offset).
// Date and time are read apart, so a time in a local daylight-saving gap stays valid. Invalid when none fits.
QDateTime storedDateTime(const QVariant &value);

} // namespace tessaron::ddd
