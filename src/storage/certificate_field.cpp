#include "certificate_field.h"

#include <QDateTime>
#include <QTime>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

constexpr std::array<QStringView, certificateFields.size()> fieldNames = {
#define TESSARON_CERTIFICATE_FIELD_NAME(name) QStringView(u"" #name),
    TESSARON_CERTIFICATE_FIELDS(TESSARON_CERTIFICATE_FIELD_NAME)
#undef TESSARON_CERTIFICATE_FIELD_NAME
};

} // namespace

QString certificateFieldName(CertificateField field)
{
    return fieldNames[static_cast<std::size_t>(field)].toString();
}

QStringList certificateFieldNames()
{
    QStringList names;
    names.reserve(qsizetype(fieldNames.size()));
    for (const QStringView name : fieldNames)
        names.append(name.toString());
    return names;
}

QString certificateFieldText(const QVariantMap &record, CertificateField field)
{
    return record.value(certificateFieldName(field)).toString();
}

QDate certificateFieldDate(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (const QDateTime dateTime = QDateTime::fromString(trimmed, Qt::ISODateWithMs); dateTime.isValid())
        return dateTime.date();
    const qsizetype space = trimmed.indexOf(u' ');
    const QString time = space < 0 ? QString() : trimmed.mid(space + 1).trimmed();
    if (!time.isEmpty() && !QTime::fromString(time, Qt::ISODateWithMs).isValid())
        return {};
    const QString day = space < 0 ? trimmed : trimmed.left(space);
    for (const QString &form : {u"yyyy-MM-dd"_s, u"dd.MM.yyyy"_s, u"d.M.yyyy"_s}) {
        if (const QDate date = QDate::fromString(day, form); date.isValid())
            return date;
    }
    return {};
}

} // namespace tessaron::storage
