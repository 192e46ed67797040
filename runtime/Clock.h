#pragma once

#include <chrono>
#include <cstdint>

namespace zq {

// Every fixed wait of the program goes through here. The product always runs
// at speed 1; tests and the demo may run the clock faster so that 5 s
// reconnects and 30 s time-outs take milliseconds.
class Clock {
public:
    static void sleepMs(std::uint32_t ms);

    // The real duration of a wait of `ms` product milliseconds.
    static std::chrono::microseconds duration(std::uint32_t ms);

    // Milliseconds at the clock's speed, for elapsed times that are weighed
    // against waits made here; unsigned 32-bit, so it wraps. A change of
    // speed does not make it jump.
    static std::uint32_t now();

    // Divides every wait by `factor` (1 = real time). Not thread-safe against
    // running waits; set it before anything starts.
    static void setSpeedup(std::uint32_t factor);
    static std::uint32_t speedup();
};

} // namespace zq
