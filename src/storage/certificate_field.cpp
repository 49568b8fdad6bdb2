#include "certificate_field.h"

#include "stored_date_time.h"

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
    if (const QDateTime dateTime = isoDateTime(trimmed); dateTime.isValid())
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

QString certificateText(const QString &text)
{
    const auto unfit = [&text](qsizetype i) {
        const QChar c = text.at(i);
        if (c == u'\n' || c == u'\r')
            return false;
        if (c.category() == QChar::Other_Control || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
            return true;
        if (c.isHighSurrogate())
            return i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate();
        if (c.isLowSurrogate())
            return i == 0 || !text.at(i - 1).isHighSurrogate();
        return false;
    };
    qsizetype i = 0;
    while (i < text.size() && !unfit(i))
        ++i;
    if (i == text.size())
        return text;
    QString clean = text.left(i);
    for (; i < text.size(); ++i) {
        if (!unfit(i))
            clean.append(text.at(i));
    }
    return clean;
}

QVariant certificateValue(const QVariant &value)
{
    if (value.typeId() != QMetaType::QString)
        return value;
    return certificateText(value.toString());
}

QString certificateFieldLabel(CertificateField field)
{
    switch (field) {
    case CertificateField::OrderNumber:
        return u"Номер заказа"_s;
    case CertificateField::OrderMaster:
        return u"Мастер"_s;
    case CertificateField::OrderDate:
        return u"Дата настройки"_s;
    case CertificateField::OrderResponsible:
        return u"Ответственный"_s;
    case CertificateField::CustomerName:
        return u"Имя клиента"_s;
    case CertificateField::CustomerAddress:
        return u"Адрес клиента"_s;
    case CertificateField::CustomerPhone:
        return u"Телефон клиента"_s;
    case CertificateField::VehicleMark:
        return u"Марка ТС"_s;
    case CertificateField::VehicleVin:
        return u"VIN"_s;
    case CertificateField::VehicleTyreMarking:
        return u"Маркировка шин"_s;
    case CertificateField::VehicleModel:
        return u"Модель ТС"_s;
    case CertificateField::VehicleRegNumber:
        return u"Рег. номер"_s;
    case CertificateField::VehicleOdometr:
        return u"Одометр"_s;
    case CertificateField::TachographManufacture:
        return u"Производитель тахографа"_s;
    case CertificateField::TachographSerialNumber:
        return u"Сер. номер тахографа"_s;
    case CertificateField::TachographSkzi:
        return u"СКЗИ"_s;
    case CertificateField::TachographModel:
        return u"Модель тахографа"_s;
    case CertificateField::TachographDateOfManufacture:
        return u"Дата производства тахографа"_s;
    case CertificateField::TachographSettingsW:
        return u"W"_s;
    case CertificateField::TachographSettingsK:
        return u"K"_s;
    case CertificateField::TachographSettingsL:
        return u"L"_s;
    case CertificateField::TachographSettingsNextCalibr:
        return u"Следующая настройка"_s;
    case CertificateField::Inspection:
        return u"Инспекции"_s;
    case CertificateField::Manipulation:
        return u"Манипуляции"_s;
    case CertificateField::SetupTable:
        return u"Установочная таблица"_s;
    case CertificateField::Note:
        return u"Примечания"_s;
    case CertificateField::WorkshopStigma:
        return u"Клеймо мастерской"_s;
    case CertificateField::WorkshopName:
        return u"Название мастерской"_s;
    case CertificateField::WorkshopAddress:
        return u"Адрес мастерской"_s;
    case CertificateField::WorkshopPhone:
        return u"Телефон мастерской"_s;
    }
    return {};
}

} // namespace tessaron::storage
