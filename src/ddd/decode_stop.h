#pragma once

#include <atomic>

namespace tessaron::ddd {

// The stop flag of the decode running on this thread. Decoder::decode installs its caller's flag for its
// own duration; the record decoders, the passes and the analysis ask stopRequested() between blocks and in
// their long row loops, so an abandoned decode ends within a fraction of a second without every decoder's
// signature carrying the flag.
class StopScope
{
public:
    explicit StopScope(const std::atomic<bool> *flag);
    ~StopScope();
    StopScope(const StopScope &) = delete;
    StopScope &operator=(const StopScope &) = delete;

private:
    const std::atomic<bool> *m_previous;
};

// True when the caller of the decode running on this thread has asked it to stop.
bool stopRequested();

} // namespace tessaron::ddd
