#pragma once

#include "ddd_report.h"

#include <QByteArray>

// The decoder's own passes over a report whose blocks are split and whose records are decoded. None of them
// invents data: each fills only what it really finds in the blocks.
namespace tessaron::ddd::passes {

// asn1Fields rows for every block (or certificate record) that is well-formed BER; asn1Version and
// asn1Identity.version from a certificate profile identifier found there.
void runAsn1Pass(DddReport &report);

// printableStrings of the file, and vin, cardNumber and registrationNumber where they are still empty and a
// pattern that noise cannot match holds them.
void extractMetadata(DddReport &report, const QByteArray &bytes);

// The three description/value rows of a vehicle unit's identification, from the report's current values.
void replaceVehicleIdentification(DddReport &report);

// "sections": one row per block; "tachoChildSections": one row per record group of a vehicle-unit block.
void buildSectionInventories(DddReport &report);

// A readable outline of the blocks and their record groups.
void writeStructureText(DddReport &report);

} // namespace tessaron::ddd::passes
