#include "device/midi/ZQUsbMidiG1.h"
#include "tests/midi/MidiTestSupport.h"
#include "tests/support/CapturedStdout.h"
#include "tests/support/DeviceManagerInspector.h"
#include "tests/support/FastClock.h"
#include "tests/support/JuceTimerSlack.h"
#include "tests/support/RecordingDevice.h"

#include <atomic>

namespace {

// A device for the slot that notes its end, seen beyond its life.
class NotingDevice : public RecordingDevice {
public:
    explicit NotingDevice(std::shared_ptr<bool> goneFlag) : gone(std::move(goneFlag)) {}
    ~NotingDevice() override { *gone = true; }

private:
    std::shared_ptr<bool> gone;
};

// The polling period and the probe's second, in real ms, at the test speed:
// 500 ms and 250 ms, so that a probe's replies come in time on a loaded
// machine.
constexpr std::uint32_t kSpeed = 4;
constexpr int kPeriodMs = 2000 / kSpeed;

class Polling : public MidiTest {
protected:
    void SetUp() override
    {
        MidiTest::SetUp();
        manager->setOnDeviceListChangedCallback([this](zq::DeviceManager* m) {
            EXPECT_EQ(m, manager);
            EXPECT_TRUE(juce::MessageManager::existsAndIsCurrentThread());
            calls.push_back(m->deviceUuids());
        });
    }

    // Polls until the callback has been called `n` times, then a few more
    // periods to see that nothing else follows.
    void pollUntilCalls(std::size_t n)
    {
        ASSERT_TRUE(runUntil([&] { return calls.size() >= n; }));
        runFor(4 * kPeriodMs);
        ASSERT_EQ(calls.size(), n);
    }

    std::vector<zq::DeviceId> lastUuids() { return zq::DeviceManagerInspector::lastUuids(*manager); }

    FastClock fast{kSpeed};
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    std::vector<std::vector<zq::DeviceId>> calls;
};

using DeviceManagerProbe = MidiTest;

} // namespace

TEST_F(Polling, FirstTickWithAnAmplifierCallsOnceAndThenStaysQuiet)
{
    auto& amp = amplifier();
    ports->plugAmplifier(amp);
    manager->startPolling();
    ASSERT_NO_FATAL_FAILURE(pollUntilCalls(1));
    EXPECT_EQ(calls[0], std::vector<zq::DeviceId>{idOf(amp)});
    EXPECT_EQ(lastUuids(), std::vector<zq::DeviceId>{idOf(amp)});
    // Unchanged names: no further probe.
    EXPECT_EQ(amp.receivedCount(), 1u);
}

TEST_F(Polling, UnpluggingReportsAnEmptyListOnce)
{
    auto& amp = amplifier();
    const auto tiko = ports->plugAmplifier(amp);
    manager->startPolling();
    ASSERT_NO_FATAL_FAILURE(pollUntilCalls(1));
    ports->unplug(tiko);
    ASSERT_NO_FATAL_FAILURE(pollUntilCalls(2));
    EXPECT_TRUE(calls[1].empty());
    EXPECT_TRUE(lastUuids().empty());
    EXPECT_TRUE(manager->deviceUuids().empty());
}

TEST_F(Polling, AKeyboardComingAndGoingCostsAProbeAndNoCall)
{
    auto& amp = amplifier();
    ports->plugAmplifier(amp);
    manager->startPolling();
    ASSERT_NO_FATAL_FAILURE(pollUntilCalls(1));

    const auto keys = ports->plugDevice("USB Keys", "USB Keys");
    EXPECT_TRUE(runUntil([&] { return amp.receivedCount() == 2; }));
    ASSERT_NO_FATAL_FAILURE(pollUntilCalls(1));
    ports->unplug(keys);
    EXPECT_TRUE(runUntil([&] { return amp.receivedCount() == 3; }));
    ASSERT_NO_FATAL_FAILURE(pollUntilCalls(1));
    EXPECT_TRUE(ports->received(keys).empty());
    EXPECT_EQ(ports->openedCount(keys), 0);
}

TEST_F(Polling, TwoAmplifiersInTheOtherOrderCallAgain)
{
    auto& first = amplifier(amplifierWithId(1));
    auto& second = amplifier(amplifierWithId(2));
    const auto a = ports->plugAmplifier(first, "Kovra TIKO");
    const auto b = ports->plugAmplifier(second, "Kovra TIKO 2");
    manager->startPolling();
    ASSERT_NO_FATAL_FAILURE(pollUntilCalls(1));
    EXPECT_EQ(calls[0], (std::vector<zq::DeviceId>{idOf(first), idOf(second)}));

    // Both replugged between two ticks, the second one first.
    ports->unplug(a);
    ports->unplug(b);
    ports->replug(b);
    ports->replug(a);
    ASSERT_NO_FATAL_FAILURE(pollUntilCalls(2));
    EXPECT_EQ(calls[1], (std::vector<zq::DeviceId>{idOf(second), idOf(first)}));
}

TEST_F(Polling, OnlyTheLastCallbackSetIsCalled)
{
    int first = 0;
    int second = 0;
    manager->setOnDeviceListChangedCallback([&](zq::DeviceManager*) { ++first; });
    manager->setOnDeviceListChangedCallback([&](zq::DeviceManager*) { ++second; });
    ports->plugAmplifier(amplifier());
    manager->startPolling();
    EXPECT_TRUE(runUntil([&] { return second == 1; }));
    runFor(3 * kPeriodMs);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST_F(Polling, WithoutACallbackTheChangeIsStillStored)
{
    manager->setOnDeviceListChangedCallback(nullptr);
    auto& amp = amplifier();
    ports->plugAmplifier(amp);
    manager->startPolling();
    EXPECT_TRUE(runUntil([&] { return !lastUuids().empty(); }));
    EXPECT_EQ(lastUuids(), std::vector<zq::DeviceId>{idOf(amp)});
}

TEST_F(Polling, NoTickOnceStopped)
{
    auto& amp = amplifier();
    manager->startPolling();
    runFor(2 * kPeriodMs);
    manager->stopPolling();
    ports->plugAmplifier(amp);
    runFor(4 * kPeriodMs);
    EXPECT_EQ(amp.receivedCount(), 0u);
    EXPECT_TRUE(calls.empty());

    // Started from a worker, as the reconnect waits do.
    std::thread([&] { manager->startPolling(); }).join();
    ASSERT_NO_FATAL_FAILURE(pollUntilCalls(1));
}

TEST_F(Polling, TheCallbackCanOpenTheFirstDevice)
{
    // What the reconnect waits install: probe, put the first id into the
    // slot, open it, drop it when that fails.
    manager->setOnDeviceListChangedCallback([](zq::DeviceManager* m) {
        if (m->probeAll() < 1)
            return;
        m->openDevice(m->deviceUuids().front());
    });
    auto& amp = amplifier();
    const auto tiko = ports->plugAmplifier(amp);
    manager->startPolling();
    ASSERT_TRUE(runUntil([&] { return manager->hasDevice(); }));
    EXPECT_EQ(ports->openCount(tiko), 2);
}

// After a tick that found an amplifier and a device put into the slot,
// everything a tick and the workflow leave goes.
TEST_F(Polling, ResetMakesTheManagerNewAgain)
{
    ports->plugAmplifier(amplifier());
    manager->startPolling();
    ASSERT_NO_FATAL_FAILURE(pollUntilCalls(1));
    auto gone = std::make_shared<bool>(false);
    manager->putDevice(std::make_unique<NotingDevice>(gone));

    manager->reset();
    EXPECT_TRUE(*gone);
    EXPECT_EQ(manager->currentDevice(), nullptr);
    EXPECT_FALSE(zq::DeviceManagerInspector::pollingOn(*manager));
    EXPECT_FALSE(zq::DeviceManagerInspector::timerOn(*manager));
    EXPECT_TRUE(manager->deviceUuids().empty());
    EXPECT_TRUE(zq::DeviceManagerInspector::lastUuids(*manager).empty());
    EXPECT_TRUE(zq::DeviceManagerInspector::lastMidiInputNames(*manager).isEmpty());
    EXPECT_FALSE(zq::DeviceManagerInspector::hasCallback(*manager));
}

TEST_F(DeviceManagerProbe, SlotQueriesSeeWhatTheSlotHolds)
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    EXPECT_FALSE(manager->hasDevice());
    EXPECT_EQ(manager->currentDevice(), nullptr);
    const auto device = std::make_shared<RecordingDevice>();
    manager->putDevice(device);
    EXPECT_TRUE(manager->hasDevice());
    EXPECT_EQ(manager->currentDevice(), device);
    manager->putDevice(nullptr);
    EXPECT_FALSE(manager->hasDevice());
    EXPECT_EQ(manager->currentDevice(), nullptr);
}

TEST_F(DeviceManagerProbe, PollingPeriodIsTwoSecondsAtProductSpeed)
{
    const auto tiko = ports->plugAmplifier(amplifier());
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    const auto start = std::chrono::steady_clock::now();
    manager->startPolling();
    ASSERT_TRUE(runUntil([&] { return !ports->received(tiko).empty(); }, 4000));
    manager->stopPolling();
    const double firstProbeMs =
        std::chrono::duration<double, std::milli>(ports->received(tiko).front().at - start).count();
    EXPECT_GE(firstProbeMs, 2000 - juceTimerSlack::earlyMs);
    EXPECT_LE(firstProbeMs, 2000 + juceTimerSlack::lateMs);
}

TEST_F(DeviceManagerProbe, PrintsTheInputNamesAndCountsTheAmplifiers)
{
    FastClock fast(20);
    ports->plugDevice("USB Keys", "");
    ports->plugAmplifier(amplifier(amplifierWithId(1)), "Kovra TIKO");
    ports->plugAmplifier(amplifier(amplifierWithId(2)), "Kovra TIKO 2");
    CapturedStdout capture;
    const int n = zq::DeviceManager::instance()->probeAll();
    EXPECT_EQ(capture.take(), "USB Keys\nKovra TIKO\nKovra TIKO 2\n");
    EXPECT_EQ(n, 2);
    const auto ids = zq::DeviceManager::instance()->deviceUuids();
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids[0], idOf(*amplifiers[0]));
    EXPECT_EQ(ids[1], idOf(*amplifiers[1]));
}

TEST_F(DeviceManagerProbe, FindingNothingGivesZero)
{
    CapturedStdout capture;
    EXPECT_EQ(zq::DeviceManager::instance()->probeAll(), 0);
    EXPECT_EQ(capture.take(), "");
    EXPECT_TRUE(zq::DeviceManager::instance()->deviceUuids().empty());
}
