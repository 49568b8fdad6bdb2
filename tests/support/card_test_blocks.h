#pragma once

// Driver-card elementary files as decoded blocks, for tests of the card record decoders.

#include "ddd/ddd_report.h"

#include <QByteArray>
#include <QList>

namespace tessaron::test {

// One elementary file's block: its number ("0520"), its data and its type (0 data, 1 signature).
ddd::DddBlock cardBlock(const char *fileNumber, const QByteArray &data, int fileType = 0);

// A driver-card report of those blocks, decoded.
ddd::DddReport decodeCardBlocks(const QList<ddd::DddBlock> &blocks);

} // namespace tessaron::test
