#include "certificate_field.h"

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

} // namespace tessaron::storage
