#include "AmplifierConnection.h"

#include "ConsoleOutput.h"
#include "DeviceManager.h"
#include "ZQUsbMidiG1.h"

namespace console {

ZQDevice* openAmplifier()
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    const int found = manager->probeAll();
    if (found == 0) {
        printLine("No device found");
        return nullptr;
    }
    printLine(juce::String(found) + " device(s) found");

    // The count and the id list come from the same probe; should they ever
    // disagree, there is nothing to open.
    const std::vector<zq::DeviceId> ids = manager->deviceUuids();
    ZQDevice* device = nullptr;
    if (!ids.empty()) {
        auto lock = manager->lockDevice();
        manager->device().reset(new ZQUsbMidiG1(ids.front().data()));
        device = manager->device().get();
    }
    if (device != nullptr && !device->Open()) {
        auto lock = manager->lockDevice();
        manager->device().reset();
        device = nullptr;
    }
    if (device == nullptr)
        printLine("Cannot connect to device!");
    return device;
}

void closeAndDropDevice()
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    auto lock = manager->lockDevice();
    if (auto& device = manager->device()) {
        device->Close();
        device.reset();
    }
}

} // namespace console
