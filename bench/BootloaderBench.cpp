#include "device/bootloader/FirmwareUpdateSession.h"
#include "resources/BinaryData.h"
#include "simamp/LoopbackDevice.h"
#include "simamp/SimulatedAmplifier.h"

#include <benchmark/benchmark.h>

#include <memory>

// Wall time of one update of the 743249-byte image (2904 stop-and-wait
// chunks), the amplifier switched into its bootloader first; the callers'
// 5 s reconnects are left out.
static void BM_FullUpdateOverLoopback(benchmark::State& state)
{
    const auto* image = reinterpret_cast<const std::uint8_t*>(BinaryData::Checksumed_kovra_10_speaker_bin);
    const int size = BinaryData::Checksumed_kovra_10_speaker_binSize;
    const int chunks = (size + 255) / 256;
    std::int64_t sent = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto amp = std::make_unique<sim::SimulatedAmplifier>();
        auto device = std::make_unique<sim::LoopbackDevice>(*amp);
        device->Open();
        FirmwareUpdateSession session;
        session.timeoutMs = 3000;
        session.image = image;
        session.imageSize = size;
        state.ResumeTiming();

        if (!session.Perform(device.get())) {
            state.SkipWithError("the update failed");
            break;
        }
        sent += chunks;

        state.PauseTiming();
        device.reset();
        amp.reset();
        state.ResumeTiming();
    }
    state.counters["chunks"] = chunks;
    state.counters["chunks_per_s"] = benchmark::Counter(static_cast<double>(sent), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FullUpdateOverLoopback)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();
