#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace tessaron::fuzz {

// Synthetic starting inputs for the decoder fuzzer, named for the files a corpus keeps them in.
QList<std::pair<QString, QByteArray>> syntheticSeeds();

} // namespace tessaron::fuzz
