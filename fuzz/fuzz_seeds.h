#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace tessaron::fuzz {

// Synthetic starting inputs for the decoder fuzzer, named for the files a corpus keeps them in.
QList<std::pair<QString, QByteArray>> syntheticSeeds();

// The inputs of the block fuzzer that a whole file holds: each vehicle-unit block as stored, each card file as
// its identifier, its type byte and its content. Unsplit bytes give none.
QList<QByteArray> blockInputs(const QByteArray &file);

} // namespace tessaron::fuzz
