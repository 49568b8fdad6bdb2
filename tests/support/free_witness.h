#pragma once

#include <QVariantList>

#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tessaron::test {

// Appends to rows a value that tells the returned future, when its last copy goes, which thread freed it.
std::future<std::thread::id> appendFreeWitness(QVariantList &rows);

// Waits a while for the witness to be freed: true when it was, on a thread other than the caller's.
bool freedOffThisThread(std::future<std::thread::id> &freed);

// The threads that have read a read witness, in the order of the reads.
struct ReadThreads
{
    std::mutex mutex;
    std::vector<std::thread::id> ids;

    std::vector<std::thread::id> snapshot()
    {
        const std::lock_guard lock(mutex);
        return ids;
    }
};

// Appends to values a value that reads as the number 1, as a text or as a double; every such read adds its
// thread to the returned list.
std::shared_ptr<ReadThreads> appendReadWitness(QVariantList &values);

} // namespace tessaron::test
