#include "app/console/AmplifierConnection.h"

#include "commands/ConsoleOutput.h"
#include "device/midi/DeviceManager.h"

namespace console {

std::shared_ptr<ZQDevice> openAmplifier()
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
    std::shared_ptr<ZQDevice> device = ids.empty() ? nullptr : manager->openDevice(ids.front());
    if (device == nullptr)
        printLine("Cannot connect to device!");
    return device;
}

void closeAndDropDevice() { zq::DeviceManager::instance()->closeDevice(); }

} // namespace console
