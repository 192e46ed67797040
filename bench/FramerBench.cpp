// The receive framer over 10 MiB of valid command frames, delivered in
// fragments of 1 to 64 bytes and in one delivery. The frames go round robin
// to slots 1 to 63, all taken, and are large enough that no queue reaches its
// bound within one pass: nothing is dropped, and both runs do the same
// routing and draining.
#include "device/core/MivoSeriesStackCodec.h"
#include "tests/support/RecordingDevice.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kStreamSize = 10 << 20;

struct Stream {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> fragments;
    std::size_t frames = 0;
    std::size_t mostPerSlot = 0;
};

// Payloads of 350 to 880 bytes before packing (frames of 407 to 1013 bytes),
// cut at pseudo-random sizes; the same stream every run.
const Stream& stream()
{
    static const Stream s = [] {
        Stream out;
        std::mt19937 random(2024);
        std::vector<std::size_t> perSlot(ZQDevice::kSlotCount);
        while (out.bytes.size() < kStreamSize) {
            const int sid = 1 + static_cast<int>(out.frames % (ZQDevice::kSlotCount - 1));
            zq::ByteVector payload(350 + random() % 531);
            for (auto& b : payload)
                b = static_cast<std::uint8_t>(random());
            const zq::ByteVector frame =
                zq::MivoSeriesStackCodec(static_cast<std::uint8_t>(sid), 0x03, 0x11).encode(payload);
            out.bytes.insert(out.bytes.end(), frame.begin(), frame.end());
            ++out.frames;
            ++perSlot[static_cast<std::size_t>(sid)];
        }
        out.mostPerSlot = *std::max_element(perSlot.begin(), perSlot.end());
        for (std::size_t at = 0; at < out.bytes.size();) {
            const std::size_t n = std::min<std::size_t>(1 + random() % 64, out.bytes.size() - at);
            out.fragments.push_back(n);
            at += n;
        }
        return out;
    }();
    return s;
}

class BenchDevice : public RecordingDevice {
public:
    BenchDevice()
    {
        while (AllocateSid() != -1) {
        }
    }

    std::size_t drain()
    {
        std::uint8_t buffer[1024];
        std::size_t n = 0;
        for (int sid = 1; sid < kSlotCount; ++sid)
            while (ReadNext(sid, buffer, sizeof buffer, -1) > 0)
                ++n;
        return n;
    }
};

void report(benchmark::State& state, std::size_t routed)
{
    const Stream& s = stream();
    state.SetBytesProcessed(static_cast<std::int64_t>(static_cast<std::size_t>(state.iterations()) * s.bytes.size()));
    state.counters["frames"] = static_cast<double>(s.frames);
    state.counters["deliveries"] = static_cast<double>(s.fragments.size());
    if (s.mostPerSlot > ZQQueue::kMaxMessages)
        state.SkipWithError("a queue would reach its bound");
    else if (routed != s.frames * static_cast<std::size_t>(state.iterations()))
        state.SkipWithError("frames were lost");
}

void FramerFragmented(benchmark::State& state)
{
    const Stream& s = stream();
    BenchDevice device;
    std::size_t routed = 0;
    for (auto _ : state) {
        const std::uint8_t* p = s.bytes.data();
        for (std::size_t n : s.fragments) {
            device.OnReadNext(p, static_cast<int>(n));
            p += n;
        }
        routed += device.drain();
    }
    report(state, routed);
}

void FramerOneDelivery(benchmark::State& state)
{
    const Stream& s = stream();
    BenchDevice device;
    std::size_t routed = 0;
    for (auto _ : state) {
        device.OnReadNext(s.bytes.data(), static_cast<int>(s.bytes.size()));
        routed += device.drain();
    }
    report(state, routed);
}

} // namespace

BENCHMARK(FramerFragmented)->Unit(benchmark::kMillisecond);
BENCHMARK(FramerOneDelivery)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
