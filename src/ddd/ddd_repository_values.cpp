#include "ddd_repository_values.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <array>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

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

// The text in one fixed date-time form (letters y M d H m s z, everything else literal) as UTC; invalid when it
// does not fit the whole text.
QDateTime parseFixedForm(QStringView text, QStringView form)
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

QDateTime parseIsoText(const QString &text, Qt::DateFormat format)
{
    // A text without an offset is taken as UTC; one that names its offset keeps it.
    const QDateTime utc = QDateTime::fromString(text + u'Z', format);
    if (utc.isValid())
        return utc;
    const QDateTime parsed = QDateTime::fromString(text, format);
    if (parsed.isValid() && parsed.timeSpec() == Qt::LocalTime)
        return QDateTime(parsed.date(), parsed.time(), QTimeZone::utc());
    return parsed;
}

} // namespace

int storedReportType(DddFileType type)
{
    return type == DddFileType::Tachograph ? 2 : 1;
}

QString metaText(const QString &member)
{
    return u"CASE json_type(Json, '$.%1') WHEN 'text' THEN json_extract(Json, '$.%1') ELSE '' END"_s.arg(member);
}

QString headerTable(DddFileType type)
{
    return type == DddFileType::Tachograph ? u"TachographReports"_s : u"DriverCardReports"_s;
}

QString lowerFirst(const QString &name)
{
    return name.isEmpty() ? name : name.front().toLower() + name.mid(1);
}

QVariant rowValue(const QVariantMap &row, const QStringList &keys)
{
    for (const QString &key : keys) {
        const auto exact = row.constFind(key);
        if (exact != row.constEnd())
            return exact.value();
        for (auto it = row.constBegin(); it != row.constEnd(); ++it) {
            if (it.key().compare(key, Qt::CaseInsensitive) == 0)
                return it.value();
        }
    }
    return {};
}

QString textValue(const QVariantMap &row, const QString &key)
{
    const QVariant value = rowValue(row, {key});
    return value.isValid() ? value.toString() : QString();
}

QByteArray compactJson(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::QVariantMap:
        return QJsonDocument(QJsonObject::fromVariantMap(value.toMap())).toJson(QJsonDocument::Compact);
    case QMetaType::QVariantList:
        return QJsonDocument(QJsonArray::fromVariantList(value.toList())).toJson(QJsonDocument::Compact);
    default:
        return QByteArrayLiteral("null");
    }
}

QString jsonText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    const int type = value.metaType().id();
    if (type == QMetaType::QVariantMap || type == QMetaType::QVariantList)
        return QString::fromUtf8(compactJson(value));
    return value.toString();
}

QVariantList rowsFor(const DddReport &report, const QString &name)
{
    const QVariantList *rows = dataset(report, name);
    return rows ? *rows : QVariantList();
}

QDateTime storedDateTime(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDateTime && value.toDateTime().isValid())
        return value.toDateTime();
    const QString text = value.toString().trimmed();
    if (text.isEmpty())
        return {};
    static constexpr std::array forms = {
        u"yyyy-MM-dd HH:mm:ss.zzz",
        u"yyyy-MM-dd HH:mm:ss",
        u"yyyy-MM-ddTHH:mm:ss.zzz",
        u"yyyy-MM-ddTHH:mm:ss",
        u"dd.MM.yyyy HH:mm:ss",
        u"dd.MM.yyyy H:mm:ss",
        u"dd.MM.yyyy HH:mm",
        u"yyyy-MM-dd",
    };
    for (const char16_t *form : forms) {
        const QDateTime parsed = parseFixedForm(text, QStringView(form));
        if (parsed.isValid())
            return parsed;
    }
    const QDateTime withMilliseconds = parseIsoText(text, Qt::ISODateWithMs);
    if (withMilliseconds.isValid())
        return withMilliseconds;
    return parseIsoText(text, Qt::ISODate);
}

} // namespace tessaron::ddd
