#include "app/console/FirmwareUpgradeTool.h"

#include "app/console/AmplifierConnection.h"
#include "commands/ConsoleOutput.h"
#include "device/bootloader/FirmwareUpdateSession.h"
#include "device/core/ZQDevice.h"
#include "runtime/Clock.h"

namespace console {

namespace {
constexpr std::uint32_t kReconnectWaitMs = 5000;
}

bool reconnectDevice(ZQDevice* device, FirmwareUpdateSession*, void*)
{
    device->Close();
    zq::Clock::sleepMs(kReconnectWaitMs);
    return device->Open();
}

void printUpdateProgress(ZQDevice*, FirmwareUpdateSession*, int percent, void*)
{
    printLine("Updating: " + juce::String(percent) + "%");
}

FirmwareUpgradeTool::FirmwareUpgradeTool(const juce::File& file) : imageFile(file) {}

void FirmwareUpgradeTool::execute() const
{
    const std::shared_ptr<ZQDevice> device = openAmplifier();
    if (device == nullptr)
        return;

    FirmwareUpdateSession session;
    session.timeoutMs = 3000;
    session.firmwarePath = imageFile.getFullPathName().toStdString();
    session.loadFromFile = true;
    session.image = nullptr;
    session.settleDelayMs = 0;
    session.chunkDelayMs = 0;
    session.progressCallback = printUpdateProgress;
    session.progressUserData = nullptr;
    session.enterBootloaderCallback = reconnectDevice;
    session.doneCallback = reconnectDevice;
    session.callbackUserData = nullptr;

    printLine(session.Perform(device.get()) ? "Firmware upgraded!" : "Firmware upgrade failed!");
    closeAndDropDevice();
}

} // namespace console
