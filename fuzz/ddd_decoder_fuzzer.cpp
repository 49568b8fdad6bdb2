// libFuzzer entry point for the whole decoding sequence. Built with clang and -fsanitize=fuzzer it is the
// fuzzer; built with any compiler beside fuzz_replay_main.cpp it replays files through the same path.

#include "ddd/ddd_decoder.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const tessaron::ddd::DddReport report = tessaron::ddd::Decoder::decode(bytes);
    // The viewer reads these straight after decoding; they walk every block again.
    const QVariantMap summary = report.summary();
    const QVariantList rows = report.blockRows();
    if (summary.isEmpty() || rows.size() != report.blocks.size())
        __builtin_trap();
    return 0;
}
