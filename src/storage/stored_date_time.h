#pragma once

// Dates and times as stored texts write them. Qt reads a text that names no offset in local time, where a time
// inside a daylight-saving gap does not exist; these read the fields as written, so the same text gives the same
// date and time in every zone.

#include <QDateTime>
#include <QString>
#include <QStringView>

namespace tessaron::storage {

// The text in one fixed form (letters y M d H m s z, every other character literal; a single "H" takes one or
// two digits, any other run exactly as many as it is long) as the UTC date-time of those fields. Invalid when
// the form does not cover the whole text or its fields name no real day or time.
QDateTime dateTimeInForm(QStringView text, QStringView form);

// An ISO 8601 text as Qt's ISO reading takes it (a date alone, or a date and a time after "T" or a space, with or
// without milliseconds) as the date and time it writes: UTC unless it names its own offset, which it keeps.
// Invalid when it is no such text.
QDateTime isoDateTime(const QString &text);

} // namespace tessaron::storage
