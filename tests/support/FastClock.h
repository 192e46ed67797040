#pragma once

#include "runtime/Clock.h"

#include <cstdint>

// Runs the product's clock faster for one test and restores it afterwards.
class FastClock {
public:
    explicit FastClock(std::uint32_t factor) : previous(zq::Clock::speedup()) { zq::Clock::setSpeedup(factor); }
    ~FastClock() { zq::Clock::setSpeedup(previous); }

private:
    std::uint32_t previous;
};
