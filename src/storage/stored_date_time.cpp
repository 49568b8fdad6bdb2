#include "stored_date_time.h"

#include <QTimeZone>

namespace tessaron::storage {

namespace {

// Reads digits for a run of one format letter: exactly as many as the run is long, or one or two for a single
// "H". Returns -1 when the text does not have them.
int readNumber(QStringView text, qsizetype &position, qsizetype runLength)
{
    const qsizetype least = runLength == 1 ? 1 : runLength;
    const qsizetype most = runLength == 1 ? 2 : runLength;
    int value = 0;
    qsizetype digits = 0;
    while (digits < most && position < text.size() && text.at(position).isDigit()) {
        value = value * 10 + text.at(position).digitValue();
        ++position;
        ++digits;
    }
    return digits >= least ? value : -1;
}

} // namespace

QDateTime dateTimeInForm(QStringView text, QStringView form)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    qsizetype position = 0;
    for (qsizetype i = 0; i < form.size();) {
        const QChar letter = form.at(i);
        qsizetype run = 1;
        while (i + run < form.size() && form.at(i + run) == letter)
            ++run;
        i += run;
        int *field = nullptr;
        switch (letter.unicode()) {
        case u'y':
            field = &year;
            break;
        case u'M':
            field = &month;
            break;
        case u'd':
            field = &day;
            break;
        case u'H':
            field = &hour;
            break;
        case u'm':
            field = &minute;
            break;
        case u's':
            field = &second;
            break;
        case u'z':
            field = &millisecond;
            break;
        default:
            for (qsizetype k = 0; k < run; ++k, ++position) {
                if (position >= text.size() || text.at(position) != letter)
                    return {};
            }
            continue;
        }
        *field = readNumber(text, position, run);
        if (*field < 0)
            return {};
    }
    if (position != text.size())
        return {};
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, millisecond);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, QTimeZone::utc());
}

QDateTime isoDateTime(const QString &text)
{
    // With a "Z" added Qt reads the same fields as UTC instead of local time; a text that names its own offset
    // refuses the "Z" and is read as it is.
    if (const QDateTime utc = QDateTime::fromString(text + u'Z', Qt::ISODateWithMs); utc.isValid())
        return utc;
    if (text.size() == 10) {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        return day.isValid() ? QDateTime(day, QTime(0, 0), QTimeZone::utc()) : QDateTime();
    }
    const QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (parsed.isValid() && parsed.timeSpec() == Qt::LocalTime)
        return QDateTime(parsed.date(), parsed.time(), QTimeZone::utc());
    return parsed;
}

} // namespace tessaron::storage
