#include "runtime/Clock.h"
#include "tests/support/FastClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

// The counter runs at the clock's speed, and goes on where it was when the
// speed changes.
TEST(Clock, NowCountsAtTheClocksSpeedWithoutJumps)
{
    using std::chrono::milliseconds;
    constexpr std::uint32_t kLateMs = 300; // a loaded machine's oversleep, in real time
    auto fast = std::make_unique<FastClock>(10);
    const std::uint32_t start = zq::Clock::now();
    std::this_thread::sleep_for(milliseconds(100));
    const std::uint32_t fastEnd = zq::Clock::now();
    EXPECT_GE(fastEnd - start, 1000u);
    EXPECT_LT(fastEnd - start, 1000u + 10 * kLateMs);

    fast.reset();
    const std::uint32_t slowStart = zq::Clock::now();
    EXPECT_LT(slowStart - fastEnd, kLateMs);
    std::this_thread::sleep_for(milliseconds(100));
    const std::uint32_t slowEnd = zq::Clock::now();
    EXPECT_GE(slowEnd - slowStart, 100u);
    EXPECT_LT(slowEnd - slowStart, 100u + kLateMs);
}
