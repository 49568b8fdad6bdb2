#include "decode_stop.h"

namespace tessaron::ddd {

namespace {

thread_local const std::atomic<bool> *t_stopFlag = nullptr;

} // namespace

StopScope::StopScope(const std::atomic<bool> *flag)
    : m_previous(t_stopFlag)
{
    t_stopFlag = flag;
}

StopScope::~StopScope()
{
    t_stopFlag = m_previous;
}

bool stopRequested()
{
    return t_stopFlag && t_stopFlag->load(std::memory_order_relaxed);
}

} // namespace tessaron::ddd
