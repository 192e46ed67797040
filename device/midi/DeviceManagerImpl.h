#pragma once

#include "device/midi/DeviceManager.h"

#include <juce_events/juce_events.h>

#include <atomic>

namespace zq {

class DeviceManager::Impl : private juce::Timer {
public:
    explicit Impl(DeviceManager* owner);
    ~Impl() override;

    int probeAll();

    void startPolling();
    void stopPolling();
    // The flag and the timer, which the two above keep in step.
    bool pollingOn() const { return polling; }
    bool timerOn() const { return isTimerRunning(); }

    // Guards `device` (through DeviceManager::lockDevice).
    std::recursive_mutex deviceMutex;
    std::shared_ptr<ZQDevice> device;

    // Guards lastUuids, lastMidiInputNames and onDeviceListChanged. Never held
    // while probing or calling the callback.
    std::mutex stateMutex;
    std::vector<DeviceId> lastUuids;
    juce::StringArray lastMidiInputNames;
    std::function<void(DeviceManager*)> onDeviceListChanged;
    DeviceManager* owner;

private:
    void timerCallback() override;
    // probeAll that tells whether the probe ran (see DeviceManager::probeAll).
    bool probe(int& found);
    static juce::StringArray listInputNames();

    // Off after stopPolling, so that a tick the timer thread had already
    // handed to the message thread does nothing.
    std::atomic<bool> polling{false};
    // Makes the flag and the timer change together: a start racing a stop
    // on another thread leaves both on or both off.
    std::mutex pollingMutex;
};

} // namespace zq
