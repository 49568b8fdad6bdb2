#pragma once

// Display names of the coded bytes of tachograph records, shared by the vehicle-unit and the driver-card
// decoders. Every function is total: a code outside its table gives the table's fallback text, most often
// the code as two hexadecimal digits in a template, the whole text then upper-cased ("0X4F").

#include <QString>

namespace tessaron::ddd {

// EquipmentType of a card: "Driver Card", … ; "Unknown type" above 5.
QString cardTypeName(quint8 code);

// EventFaultType of an event, Russian; the manufacturer range 0x80..0xFF and unknown codes in templates.
QString eventName(quint8 code);
// EventFaultType of an event, English ("General event - Card conflict"); "Reserved for future use" when unknown.
QString eventNameEnglish(quint8 code);
// English twin of a vehicle unit's event type: only seven codes are named, the rest "Reserved for future use".
QString vuEventTypeEnglish(quint8 code);

// EventFaultType of a fault, Russian.
QString faultName(quint8 code);
// English twin of a vehicle unit's fault type.
QString vuFaultTypeEnglish(quint8 code);

// EventFaultRecordPurpose, Russian.
QString recordPurposeName(quint8 code);
// English twin of a vehicle unit event's record purpose; the fallback keeps its hex digits in lower case.
QString vuEventPurposeEnglish(quint8 code);
// English twin of a vehicle unit fault's record purpose.
QString vuFaultPurposeEnglish(quint8 code);

// NationNumeric, Russian; a nation without a Russian name prints as its code ("0X0F").
QString countryName(quint8 code);

// SpecificConditionType, Russian.
QString specificConditionName(quint8 code);

// CalibrationPurpose of a vehicle unit's calibration record, in both languages.
struct CalibrationPurposeNames
{
    QString russian;
    QString english;
};
CalibrationPurposeNames calibrationPurposeName(quint8 code);

} // namespace tessaron::ddd
