#pragma once

#include "device/midi/DeviceManagerImpl.h"

#include <mutex>
#include <vector>

namespace zq {

// What the tests read of the device manager's insides, each under the lock
// that guards it.
struct DeviceManagerInspector {
    static bool pollingOn(DeviceManager& m) { return m.impl->pollingOn(); }
    static bool timerOn(DeviceManager& m) { return m.impl->timerOn(); }

    static std::vector<DeviceId> lastUuids(DeviceManager& m)
    {
        std::lock_guard<std::mutex> lock(m.impl->stateMutex);
        return m.impl->lastUuids;
    }

    static juce::StringArray lastMidiInputNames(DeviceManager& m)
    {
        std::lock_guard<std::mutex> lock(m.impl->stateMutex);
        return m.impl->lastMidiInputNames;
    }

    static bool hasCallback(DeviceManager& m)
    {
        std::lock_guard<std::mutex> lock(m.impl->stateMutex);
        return static_cast<bool>(m.impl->onDeviceListChanged);
    }
};

} // namespace zq
