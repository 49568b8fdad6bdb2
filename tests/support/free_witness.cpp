#include "free_witness.h"

#include <QMetaType>
#include <QTest>

#include <chrono>
#include <memory>

namespace tessaron::test {

std::future<std::thread::id> appendFreeWitness(QVariantList &rows)
{
    // Shared with the deleter, so a witness freed after its test ended still has somewhere to tell it.
    auto freedOn = std::make_shared<std::promise<std::thread::id>>();
    rows.append(QVariant::fromValue(std::shared_ptr<int>(new int(0), [freedOn](const int *value) {
        delete value;
        freedOn->set_value(std::this_thread::get_id());
    })));
    return freedOn->get_future();
}

namespace {

struct ReadWitness
{
    std::shared_ptr<ReadThreads> threads;

    void record() const
    {
        const std::lock_guard lock(threads->mutex);
        threads->ids.push_back(std::this_thread::get_id());
    }
};

} // namespace

std::shared_ptr<ReadThreads> appendReadWitness(QVariantList &values)
{
    static const bool registered = [] {
        QMetaType::registerConverter<ReadWitness, QString>([](const ReadWitness &witness) {
            witness.record();
            return QStringLiteral("1");
        });
        return QMetaType::registerConverter<ReadWitness, double>([](const ReadWitness &witness) {
            witness.record();
            return 1.0;
        });
    }();
    Q_UNUSED(registered);
    auto threads = std::make_shared<ReadThreads>();
    values.append(QVariant::fromValue(ReadWitness {threads}));
    return threads;
}

bool freedOffThisThread(std::future<std::thread::id> &freed)
{
    return QTest::qWaitFor([&freed] { return freed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; })
        && freed.get() != std::this_thread::get_id();
}

} // namespace tessaron::test
