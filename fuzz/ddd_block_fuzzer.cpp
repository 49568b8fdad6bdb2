// libFuzzer entry point for the record decoders, one block at a time. An input that begins with the transfer
// tag byte 0x76 is a vehicle-unit block as stored (tag, records, signature); any other input is a card file:
// its 2-byte identifier, its type byte, then its content. Each goes to the record decoder of its kind and the
// analysis, skipping the whole-file steps (hash, splitting, inventories) that make whole files slow to fuzz.

#include "ddd/ddd_decoder.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

using namespace tessaron::ddd;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const bool vehicleUnit = bytes.startsWith('\x76');
    if (bytes.size() < (vehicleUnit ? 2 : 3))
        return 0;
    DddBlock block;
    block.fileNumber = QString::fromLatin1(bytes.first(2).toHex().toUpper());
    block.occurrence = 1;
    block.fileType = vehicleUnit ? 0 : quint8(bytes.at(2));
    block.data = vehicleUnit ? bytes : bytes.sliced(3);
    block.length = qint32(block.data.size());
    DddReport report;
    report.fileType = vehicleUnit ? DddFileType::Tachograph : DddFileType::DriverCard;
    report.blocks = {block};
    if (vehicleUnit)
        Decoder::parseTachographData(report);
    else
        Decoder::parseDriverCardData(report);
    Decoder::buildAnalysis(report);
    return 0;
}
