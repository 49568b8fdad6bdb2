#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariantMap>

#include <array>

// The certificate field set: the 30 keys of a certificate record, in their one fixed order. The order is part
// of the XML file format, of the checksum kept in the ledger and of the certificate database's columns, so it
// never changes. A record is a QVariantMap, which sorts its keys: code that walks a record's fields walks
// certificateFieldNames() (or certificateFields), never the map's own keys.
//
// The list is written once, here; every use expands it.
#define TESSARON_CERTIFICATE_FIELDS(X)                                                                                 \
    X(OrderNumber)                                                                                                     \
    X(OrderMaster)                                                                                                     \
    X(OrderDate)                                                                                                       \
    X(OrderResponsible)                                                                                                \
    X(CustomerName)                                                                                                    \
    X(CustomerAddress)                                                                                                 \
    X(CustomerPhone)                                                                                                   \
    X(VehicleMark)                                                                                                     \
    X(VehicleVin)                                                                                                      \
    X(VehicleTyreMarking)                                                                                              \
    X(VehicleModel)                                                                                                    \
    X(VehicleRegNumber)                                                                                                \
    X(VehicleOdometr)                                                                                                  \
    X(TachographManufacture)                                                                                           \
    X(TachographSerialNumber)                                                                                          \
    X(TachographSkzi)                                                                                                  \
    X(TachographModel)                                                                                                 \
    X(TachographDateOfManufacture)                                                                                     \
    X(TachographSettingsW)                                                                                             \
    X(TachographSettingsK)                                                                                             \
    X(TachographSettingsL)                                                                                             \
    X(TachographSettingsNextCalibr)                                                                                    \
    X(Inspection)                                                                                                      \
    X(Manipulation)                                                                                                    \
    X(SetupTable)                                                                                                      \
    X(Note)                                                                                                            \
    X(WorkshopStigma)                                                                                                  \
    X(WorkshopName)                                                                                                    \
    X(WorkshopAddress)                                                                                                 \
    X(WorkshopPhone)

namespace tessaron::storage {

// One key of the certificate field set; the enumerator's value is its position in the set.
enum class CertificateField {
#define TESSARON_CERTIFICATE_FIELD_ENUMERATOR(name) name,
    TESSARON_CERTIFICATE_FIELDS(TESSARON_CERTIFICATE_FIELD_ENUMERATOR)
#undef TESSARON_CERTIFICATE_FIELD_ENUMERATOR
};

// Every field in field-set order, for loops that need the enumerators.
inline constexpr std::array certificateFields = {
#define TESSARON_CERTIFICATE_FIELD_VALUE(name) CertificateField::name,
    TESSARON_CERTIFICATE_FIELDS(TESSARON_CERTIFICATE_FIELD_VALUE)
#undef TESSARON_CERTIFICATE_FIELD_VALUE
};
static_assert(certificateFields.size() == 30, "a certificate record has exactly 30 fields");

// The field's key in a record, an XML element and a database column ("VehicleVin" for VehicleVin).
QString certificateFieldName(CertificateField field);

// The 30 keys in field-set order.
QStringList certificateFieldNames();

// The text a field's value leaves the record as (XML, checksum, drawing): the value's plain text conversion;
// the empty text when the key is absent or its value is invalid. A number stays a number in the record and
// becomes its digits here.
QString certificateFieldText(const QVariantMap &record, CertificateField field);

// The calendar day of a date field's text as records hold it or a technician types it: yyyy-MM-dd, dd.MM.yyyy or
// d.M.yyyy, optionally followed by a time (after a space or a "T", with seconds, milliseconds and a zone or not).
// Invalid when the text is none of these or names no real day; the documents then print the text as it is.
QDate certificateFieldDate(const QString &text);

// The text with every character removed that a certificate cannot carry in all its copies alike: control
// characters other than line feed and carriage return (a vertical tab pasted from another program), and what
// XML cannot hold (U+FFFE, U+FFFF, a surrogate without its pair). The PDF, the XML copy and the database row then
// hold the same text. Any other text comes back unchanged.
QString certificateText(const QString &text);
// certificateText of a value that is a text; any other value (a number, a date, null) as it is.
QVariant certificateValue(const QVariant &value);

// The field's name as the technician knows it, in Russian ("Адрес клиента" for CustomerAddress).
QString certificateFieldLabel(CertificateField field);

} // namespace tessaron::storage
