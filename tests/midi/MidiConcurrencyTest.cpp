#include "device/core/GenericDeviceSession.h"
#include "device/midi/ZQUsbMidiG1.h"
#include "runtime/messagethread/OnMessageThread.h"
#include "tests/midi/MidiTestSupport.h"
#include "tests/support/CapturedStdout.h"
#include "tests/support/DeviceManagerInspector.h"
#include "tests/support/FastClock.h"

#include <atomic>
#include <optional>

namespace {

using MidiConcurrency = MidiTest;

// Runs the message loop until every worker has ended; false when they have
// not within `timeoutMs`.
bool runUntilJoined(std::vector<std::thread>& workers, std::atomic<int>& running, int timeoutMs)
{
    const bool done = [&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (running > 0) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            juce::MessageManager::getInstance()->runDispatchLoopUntil(2);
        }
        return true;
    }();
    if (done)
        for (auto& w : workers)
            w.join();
    else
        for (auto& w : workers)
            w.detach();
    return done;
}

} // namespace

// The connecting worker's road, again and again, while the polling ticks
// fast on the message thread and is stopped just before each probe: a tick
// already handed to the message thread must not wait for the worker's probe.
TEST_F(MidiConcurrency, WorkerProbesWhileThePollingIsStoppedWithoutDeadlock)
{
    FastClock fast(100);
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    auto& amp = amplifier();
    ports->plugAmplifier(amp);
    const auto keys = ports->plugDevice("USB Keys", "");
    std::atomic<int> ticksCalled{0};
    manager->setOnDeviceListChangedCallback([&](zq::DeviceManager*) { ++ticksCalled; });

    std::atomic<int> running{2};
    std::atomic<int> opened{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    // Port names keep changing, so that ticks keep probing.
    workers.emplace_back([&] {
        while (!stop) {
            ports->unplug(keys);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ports->replug(keys);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        --running;
    });
    workers.emplace_back([&] {
        for (int round = 0; round < 40; ++round) {
            manager->startPolling();
            std::this_thread::sleep_for(std::chrono::milliseconds(round % 7));
            manager->stopPolling();
            if (manager->probeAll() < 1)
                continue;
            const auto device = std::make_shared<ZQUsbMidiG1>(manager->deviceUuids().front().data());
            manager->putDevice(device);
            if (device->Open()) {
                ++opened;
                auto session = std::make_shared<zq::ModelNameSession>();
                try {
                    session->Perform(device.get());
                } catch (const std::runtime_error&) {
                    // A time-out: the reply may have been lost to the port churn.
                }
            }
            manager->closeDevice();
        }
        stop = true;
        --running;
    });
    CapturedStdout capture;
    const bool finished = runUntilJoined(workers, running, 60000);
    capture.take();
    ASSERT_TRUE(finished) << "the worker and the message thread wait for each other";
    EXPECT_GT(opened, 0);
}

// The slot and the callback touched from workers and from the message
// thread's ticks at once, each under its guard.
TEST_F(MidiConcurrency, SlotAndCallbackFromSeveralThreads)
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    auto& amp = amplifier();
    const auto tiko = ports->plugAmplifier(amp);
    {
        FastClock calm(20);
        ASSERT_EQ(probe().size(), 1u);
    }
    FastClock fast(400);
    const zq::DeviceId id = idOf(amp);

    std::atomic<int> calls{0};
    std::atomic<int> running{4};
    std::vector<std::thread> workers;
    // Ticks: the port list changes until the others are done, the callback
    // fills the slot.
    workers.emplace_back([&] {
        while (running > 1) {
            ports->unplug(tiko);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ports->replug(tiko);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        --running;
    });
    // Workers replace the callback.
    workers.emplace_back([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (int i = 0; i < 200 || (calls < 3 && std::chrono::steady_clock::now() < end); ++i) {
            manager->setOnDeviceListChangedCallback([&, i](zq::DeviceManager* m) {
                ++calls;
                if (i % 2 == 0) {
                    m->openDevice(id);
                } else {
                    m->putDevice(std::make_shared<ZQUsbMidiG1>(id.data()));
                }
            });
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        --running;
    });
    // Workers read, send on and drop the device.
    for (int w = 0; w < 2; ++w) {
        workers.emplace_back([&] {
            const auto request = modelRequest();
            for (int i = 0; i < 300; ++i) {
                if (const auto device = manager->currentDevice()) {
                    device->Send(request.data(), static_cast<int>(request.size()));
                    if (i % 10 == 0)
                        manager->closeDevice();
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            --running;
        });
    }
    manager->startPolling();
    CapturedStdout capture;
    const bool finished = runUntilJoined(workers, running, 60000);
    capture.take();
    manager->stopPolling();
    ASSERT_TRUE(finished);
    EXPECT_GT(calls, 0);
}

// A start on a worker racing a stop on the message thread, again and again:
// the polling flag and its timer end up both on or both off.
TEST_F(MidiConcurrency, StartAndStopPollingRacingKeepTheTimerInStep)
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    std::atomic<int> round{-1};
    std::atomic<int> started{-1};
    constexpr int kRounds = 200000;
    // A different head start each round, for one side or the other, sweeps
    // the two calls across each other.
    const auto headStart = [](int i) { return i % 128 - 64; };
    std::thread worker([&] {
        for (int i = 0; i < kRounds; ++i) {
            // Spins to start at once, yielding now and then for a busy machine.
            for (int n = 1; round < i; ++n)
                if (n % 1024 == 0)
                    std::this_thread::yield();
            for (volatile int spin = 0; spin < headStart(i) * -1; ++spin) {
            }
            manager->startPolling();
            started = i;
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        round = i;
        for (volatile int spin = 0; spin < headStart(i); ++spin) {
        }
        manager->stopPolling();
        while (started < i)
            std::this_thread::yield();
        const bool pollingOn = zq::DeviceManagerInspector::pollingOn(*manager);
        const bool timerOn = zq::DeviceManagerInspector::timerOn(*manager);
        EXPECT_EQ(pollingOn, timerOn) << "round " << i;
        if (pollingOn != timerOn)
            break;
        manager->stopPolling();
    }
    round = kRounds;
    worker.join();
}

// A worker talks to the amplifier as soon as its ports show up, while the
// test's thread is still plugging it in (the demo plugs from a thread of its
// own): what the switch into the bootloader calls must be in place by then.
TEST_F(MidiConcurrency, AmplifierPluggedWhileAWorkerWaitsForItsPorts)
{
    auto& amp = amplifier();
    const std::vector<std::uint8_t> toBootloader{0xF0, 'S', 'e', 't', 'F', 'w',  'S',
                                                 't',  'a', 't', 'u', 's', 0x00, 0xF7};
    std::atomic<bool> sent{false};
    std::thread worker([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (ports->outputNames().isEmpty() && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
        if (auto output = ports->openOutput(0))
            sent =
                output->sendMessageNow(juce::MidiMessage(toBootloader.data(), static_cast<int>(toBootloader.size())));
    });
    ports->plugAmplifier(amp);
    worker.join();
    EXPECT_TRUE(sent);
    // The switch took the ports away, as a real amplifier restarts its USB.
    EXPECT_TRUE(ports->outputNames().isEmpty());
}

// Sends from several threads while the amplifier keeps re-enumerating and
// replies are delivered to open ports.
TEST_F(MidiConcurrency, SendsWhileTheAmplifierReEnumerates)
{
    ports->setReenumerationDelayMs(200);
    auto& amp = amplifier();
    ports->plugAmplifier(amp);
    {
        FastClock calm(20);
        ASSERT_EQ(probe().size(), 1u);
    }
    FastClock fast(400);
    const zq::DeviceId id = idOf(amp);

    std::atomic<int> running{3};
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w) {
        workers.emplace_back([&, w] {
            ZQUsbMidiG1 device(id.data());
            const std::vector<std::uint8_t> status{0xF0, 'S', 'e', 't', 'F', 'w',  'S',
                                                   't',  'a', 't', 'u', 's', 0x00, 0xF7};
            const auto request = modelRequest();
            for (int i = 0; i < 60; ++i) {
                if (device.Open()) {
                    device.Send(request.data(), static_cast<int>(request.size()));
                    if (w == 0 && i % 5 == 0)
                        device.Send(status.data(), static_cast<int>(status.size()));
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                device.Close();
            }
            --running;
        });
    }
    ASSERT_TRUE(runUntilJoined(workers, running, 60000));
}

// Polling left on while a worker probes (the workflow stops it first; a tick
// that was already on its way behaves the same): the tick skips its probe
// instead of waiting for the worker, which waits for the message thread, and
// a later tick catches up.
TEST_F(MidiConcurrency, TickDuringAWorkerProbeSkipsInsteadOfWaiting)
{
    FastClock fast(20);
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    auto& amp = amplifier();
    ports->plugAmplifier(amp);
    // Silent candidates make the worker's probe last several periods.
    for (int i = 0; i < 6; ++i)
        ports->plugDevice("", "Kovra Silent " + std::to_string(i));
    std::vector<std::vector<zq::DeviceId>> calls;
    manager->setOnDeviceListChangedCallback([&](zq::DeviceManager* m) { calls.push_back(m->deviceUuids()); });

    CapturedStdout capture;
    auto worker = std::async(std::launch::async, [] { return ZQUsbMidiDeviceFinder::ProbeAll(); });
    manager->startPolling();
    const bool finished =
        runUntil([&] { return worker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20000);
    ASSERT_TRUE(finished);
    EXPECT_TRUE(worker.get());
    EXPECT_TRUE(runUntil([&] { return !calls.empty(); }));
    manager->stopPolling();
    capture.take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::vector<zq::DeviceId>{idOf(amp)});
}

// A worker's call to the message thread while that thread waits for a worker
// (from before the call, or from while the call waits) or once the quit has
// been sent: the call fails at once with an empty result, and its function
// never runs, not even when the loop runs again afterwards.
TEST_F(MidiConcurrency, CallsToTheMessageThreadFailOnceItServesNoMore)
{
    enum class Stop { WaitsBefore, WaitsDuring, QuitSent };
    // The quit last: the loop stops for good once it arrives.
    for (const Stop stop : {Stop::WaitsBefore, Stop::WaitsDuring, Stop::QuitSent}) {
        SCOPED_TRACE(static_cast<int>(stop));
        std::atomic<bool> ran{false};
        std::atomic<bool> calling{false};
        std::optional<zq::MessageThreadWaits> waits;
        if (stop == Stop::WaitsBefore)
            waits.emplace();
        if (stop == Stop::QuitSent)
            juce::MessageManager::getInstance()->stopDispatchLoop();
        auto call = std::async(std::launch::async, [&] {
            calling = true;
            return zq::onMessageThread([&] {
                ran = true;
                return 7;
            });
        });
        if (stop == Stop::WaitsDuring) {
            while (!calling)
                std::this_thread::yield();
            // Still waiting: the loop has not run.
            EXPECT_EQ(call.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
            waits.emplace();
        }
        ASSERT_EQ(call.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_EQ(call.get(), 0);
        waits.reset();
        runFor(50);
        EXPECT_FALSE(ran);
    }
}

// Served, the call runs on the message thread and gives its result.
TEST_F(MidiConcurrency, CallToTheMessageThreadRunsThereAndReturnsItsResult)
{
    const std::thread::id messageThread = std::this_thread::get_id();
    std::thread::id ranOn;
    const int result = onWorker([&] {
        return zq::onMessageThread([&] {
            ranOn = std::this_thread::get_id();
            return 7;
        });
    });
    EXPECT_EQ(result, 7);
    EXPECT_EQ(ranOn, messageThread);
}

namespace {

// A device on the simulated ports that notes when it is destroyed.
class NotingG1 : public ZQUsbMidiG1 {
public:
    NotingG1(const zq::DeviceId& id, std::atomic<bool>& goneFlag) : ZQUsbMidiG1(id.data()), gone(goneFlag) {}
    // Closed first: replies must stop reaching it before it stops being a NotingG1.
    ~NotingG1() override
    {
        Close();
        gone = true;
    }

private:
    std::atomic<bool>& gone;
};

} // namespace

// A worker runs on the device it took from the slot while the slot is emptied
// in each way there is: the device lives on until the worker lets it go.
TEST_F(MidiConcurrency, EmptyingTheSlotLeavesAWorkersDeviceAlive)
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    auto& amp = amplifier();
    ports->plugAmplifier(amp);
    const zq::DeviceId id = idOf(amp);
    struct Case {
        const char* what;
        std::function<void()> empty;
    };
    // reset last: it drops the descriptors that the others open by.
    const Case cases[] = {
        {"closeDevice", [&] { manager->closeDevice(); }},
        {"openDevice", [&] { manager->openDevice(id); }},
        {"the slot reset", [&] { manager->putDevice(nullptr); }},
        {"reset", [&] { manager->reset(); }},
    };
    {
        FastClock calm(2);
        ASSERT_EQ(probe().size(), 1u);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::atomic<bool> gone{false};
        {
            const auto device = std::make_shared<NotingG1>(id, gone);
            manager->putDevice(device);
            ASSERT_TRUE(device->Open());
        }

        std::atomic<bool> holding{false};
        std::atomic<bool> emptied{false};
        std::atomic<bool> aliveInUse{false};
        std::atomic<bool> sameId{false};
        std::atomic<int> running{1};
        std::vector<std::thread> workers;
        workers.emplace_back([&] {
            std::shared_ptr<ZQDevice> device = manager->currentDevice();
            holding = true;
            while (!emptied)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            // Still the same object, usable (a closed one fails its sends).
            const auto request = modelRequest();
            device->Send(request.data(), static_cast<int>(request.size()));
            std::uint8_t buffer[64];
            device->ReadNext(device->defaultSid, buffer, sizeof buffer, -1);
            sameId = std::memcmp(device->GetUUID(), id.data(), id.size()) == 0;
            aliveInUse = !gone;
            device.reset();
            --running;
        });
        ASSERT_TRUE(runUntil([&] { return holding.load(); }));
        c.empty();
        EXPECT_FALSE(gone) << "destroyed while a worker holds it";
        emptied = true;
        ASSERT_TRUE(runUntilJoined(workers, running, 10000));
        EXPECT_TRUE(aliveInUse);
        EXPECT_TRUE(sameId);
        EXPECT_TRUE(gone) << "kept after its last holder let go";
        manager->closeDevice();
    }
}
