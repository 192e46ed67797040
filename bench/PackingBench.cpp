// 7-bit packing and unpacking of 1 MiB next to a memcpy of the same bytes;
// all three report bytes per second of 8-bit data.
#include "device/core/ZQSysEx.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kSize = 1 << 20;

const std::vector<std::uint8_t>& data()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> out(kSize);
        std::mt19937 random(42);
        for (auto& b : out)
            b = static_cast<std::uint8_t>(random());
        return out;
    }();
    return bytes;
}

void Memcpy(benchmark::State& state)
{
    const auto& in = data();
    std::vector<std::uint8_t> out(kSize);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), kSize);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(static_cast<std::size_t>(state.iterations()) * kSize));
}

void Pack(benchmark::State& state)
{
    const auto& in = data();
    std::vector<std::uint8_t> out(ZQSysEx::PackedSize(kSize));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZQSysEx::SetupMidiDataFromGeneralData(out.data(), in.data(), kSize));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(static_cast<std::size_t>(state.iterations()) * kSize));
}

void Unpack(benchmark::State& state)
{
    const auto& in = data();
    std::vector<std::uint8_t> packed(ZQSysEx::PackedSize(kSize));
    ZQSysEx::SetupMidiDataFromGeneralData(packed.data(), in.data(), kSize);
    for (auto _ : state) {
        const std::vector<std::uint8_t> out = ZQSysEx::Unpack(packed.data(), packed.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(static_cast<std::size_t>(state.iterations()) * kSize));
}

} // namespace

BENCHMARK(Memcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(Pack)->Unit(benchmark::kMicrosecond);
BENCHMARK(Unpack)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
