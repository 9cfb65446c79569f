#include "link_clock.h"

#include <atomic>
#include <ctime>

namespace link_clock {
namespace {

int64_t monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::atomic<Source> current{monotonicMs};

} // namespace

int64_t nowMs()
{
    return current.load(std::memory_order_relaxed)();
}

void setSource(Source source)
{
    current.store(source ? source : monotonicMs, std::memory_order_relaxed);
}

} // namespace link_clock
