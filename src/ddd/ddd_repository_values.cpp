#include "ddd_repository_values.h"

#include "storage/stored_date_time.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

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
        const QDateTime parsed = storage::dateTimeInForm(text, QStringView(form));
        if (parsed.isValid())
            return parsed;
    }
    return storage::isoDateTime(text);
}

} // namespace tessaron::ddd
