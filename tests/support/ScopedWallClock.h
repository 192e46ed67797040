#pragma once

#include "device/ble/ZQBLE.h"

#include <atomic>

// Stops the wall clock that the cache folder's five-minute rule reads at a
// given time for one test; the one it replaced comes back when this goes.
class ScopedWallClock {
public:
    explicit ScopedWallClock(juce::int64 msSince1970)
    {
        fixedMs = msSince1970;
        previous = ZQBLE::setWallClockForTests([] { return fixedMs.load(); });
    }
    ~ScopedWallClock() { ZQBLE::setWallClockForTests(previous); }
    ScopedWallClock(const ScopedWallClock&) = delete;
    ScopedWallClock& operator=(const ScopedWallClock&) = delete;

private:
    ZQBLE::WallClock previous;
    static inline std::atomic<juce::int64> fixedMs{0};
};
