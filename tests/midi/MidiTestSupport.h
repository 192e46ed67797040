#pragma once

#include "device/midi/DeviceManager.h"
#include "device/midi/ZQUsbMidiDeviceFinder.h"
#include "simamp/ports/SimulatedMidiPorts.h"
#include "tests/support/ScopedMidiPortSystem.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

// A fresh JUCE message loop on the test's thread, simulated MIDI ports as the
// process-wide port system, and a device manager and finder without what
// earlier tests left in them.
class MidiTest : public ::testing::Test {
protected:
    void SetUp() override { zq::DeviceManager::instance()->reset(); }
    void TearDown() override { zq::DeviceManager::instance()->reset(); }

    // Runs the message loop until `done` holds or `timeoutMs` real ms passed.
    static bool runUntil(const std::function<bool()>& done, int timeoutMs = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            juce::MessageManager::getInstance()->runDispatchLoopUntil(2);
        }
        return true;
    }

    static void runFor(int ms) { juce::MessageManager::getInstance()->runDispatchLoopUntil(ms); }

    // Runs `work` on a worker thread while this thread runs the message loop.
    template <typename Work>
    static auto onWorker(Work work) -> decltype(work())
    {
        auto task = std::async(std::launch::async, std::move(work));
        runUntil([&] { return task.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 60000);
        return task.get();
    }

    static std::vector<_G1MidiDeviceDescriptor> probe()
    {
        EXPECT_TRUE(ZQUsbMidiDeviceFinder::ProbeAll());
        return ZQUsbMidiDeviceFinder::GetDescriptors();
    }

    // An amplifier that outlives the ports it is plugged into.
    template <typename Amplifier = sim::SimulatedAmplifier, typename... Args>
    Amplifier& amplifier(Args&&... args)
    {
        auto owned = std::make_unique<Amplifier>(std::forward<Args>(args)...);
        Amplifier& made = *owned;
        amplifiers.push_back(std::move(owned));
        return made;
    }

    juce::ScopedJuceInitialiser_GUI juce;
    std::vector<std::unique_ptr<sim::SimulatedAmplifier>> amplifiers;
    std::shared_ptr<sim::SimulatedMidiPorts> ports = std::make_shared<sim::SimulatedMidiPorts>();
    ScopedMidiPortSystem portSystem{ports};
};

inline sim::AmplifierConfig amplifierWithId(std::uint8_t last)
{
    sim::AmplifierConfig config;
    config.deviceId[7] = last;
    return config;
}

inline zq::DeviceId idOf(const sim::SimulatedAmplifier& amplifier) { return amplifier.config.deviceId; }

inline std::vector<std::uint8_t> probeRequest()
{
    return {std::begin(ZQUsbMidiDeviceFinder::kProbeRequest), std::end(ZQUsbMidiDeviceFinder::kProbeRequest)};
}

// The model-name request of session 0.
inline std::vector<std::uint8_t> modelRequest() { return {0xF0, 0x01, 0x00, 0x00, 0x02, 0x11, 0xF7}; }

inline int probesReceived(const sim::SimulatedMidiPorts& ports, sim::SimulatedMidiPorts::Device device)
{
    int n = 0;
    for (const auto& r : ports.received(device))
        if (r.bytes == probeRequest())
            ++n;
    return n;
}
