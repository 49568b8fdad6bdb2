#pragma once

#include <QVariantList>

#include <future>
#include <thread>

namespace tessaron::test {

// Appends to rows a value that tells the returned future, when its last copy goes, which thread freed it.
std::future<std::thread::id> appendFreeWitness(QVariantList &rows);

// Waits a while for the witness to be freed: true when it was, on a thread other than the caller's.
bool freedOffThisThread(std::future<std::thread::id> &freed);

} // namespace tessaron::test
