#include "Clock.h"

#include <atomic>
#include <thread>

namespace zq {

namespace {
std::atomic<std::uint32_t> g_speedup{1};
}

void Clock::sleepMs(std::uint32_t ms)
{
    if (ms != 0)
        std::this_thread::sleep_for(duration(ms));
}

std::chrono::microseconds Clock::duration(std::uint32_t ms)
{
    return std::chrono::microseconds(static_cast<std::int64_t>(ms) * 1000 / g_speedup.load());
}

void Clock::setSpeedup(std::uint32_t factor) { g_speedup.store(factor == 0 ? 1 : factor); }

std::uint32_t Clock::speedup() { return g_speedup.load(); }

} // namespace zq
