// libFuzzer entry point for the file splitter alone: detection, splitting and the record groups of every
// block. The blocks must account for every byte of the input, and no group may reach outside its block.

#include "ddd/ddd_file_splitter.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

using namespace tessaron::ddd;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const DddFileType type = FileSplitter::detect(bytes);
    QString truncatedBlock;
    qsizetype covered = 0;
    for (const DddBlock &block : FileSplitter::split(bytes, type, &truncatedBlock)) {
        const bool cardFile = type == DddFileType::DriverCard && block.fileNumber != QLatin1StringView("RAW");
        covered += block.data.size() + (cardFile ? 5 : 0); // a card file's header is not part of its data
        for (const RecordGroup &group : FileSplitter::recordGroups(block)) {
            if (group.offset < 0 || group.length < 0 || group.length > block.data.size() - group.offset)
                __builtin_trap();
        }
    }
    if (covered != bytes.size())
        __builtin_trap();
    return 0;
}
