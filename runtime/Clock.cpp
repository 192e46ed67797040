#include "runtime/Clock.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace zq {

namespace {

std::atomic<std::uint32_t> g_speedup{1};

// The counter goes on from where it was when the speed changes.
struct Counter {
    std::mutex mutex;
    std::chrono::steady_clock::time_point realBase = std::chrono::steady_clock::now();
    std::uint64_t microsecondsBase = 0;

    std::uint64_t microsecondsAt(std::chrono::steady_clock::time_point real, std::uint32_t speedup) const
    {
        const auto since = std::chrono::duration_cast<std::chrono::microseconds>(real - realBase).count();
        return microsecondsBase + static_cast<std::uint64_t>(since) * speedup;
    }
};

Counter& counter()
{
    static Counter c;
    return c;
}

} // namespace

void Clock::sleepMs(std::uint32_t ms)
{
    if (ms != 0)
        std::this_thread::sleep_for(duration(ms));
}

std::chrono::microseconds Clock::duration(std::uint32_t ms)
{
    return std::chrono::microseconds(static_cast<std::int64_t>(ms) * 1000 / g_speedup.load());
}

std::uint32_t Clock::now()
{
    Counter& c = counter();
    std::lock_guard<std::mutex> lock(c.mutex);
    return static_cast<std::uint32_t>(c.microsecondsAt(std::chrono::steady_clock::now(), g_speedup.load()) / 1000);
}

void Clock::setSpeedup(std::uint32_t factor)
{
    Counter& c = counter();
    std::lock_guard<std::mutex> lock(c.mutex);
    const auto real = std::chrono::steady_clock::now();
    c.microsecondsBase = c.microsecondsAt(real, g_speedup.load());
    c.realBase = real;
    g_speedup.store(factor == 0 ? 1 : factor);
}

std::uint32_t Clock::speedup() { return g_speedup.load(); }

} // namespace zq
