#include "app/console/DeviceFlows.h"

#include "app/console/AmplifierConnection.h"
#include "app/console/AsnycBLEEventListenerLog.h"
#include "commands/ConsoleOutput.h"
#include "device/ble/ListenerScope.h"
#include "device/ble/ZQBLE.h"
#include "device/ble/ZQBLEFirmwareUpdater.h"
#include "device/bootloader/BootloaderMessages.h"
#include "device/core/FactoryResetSession.h"
#include "runtime/Clock.h"

namespace console {

namespace {

constexpr std::uint32_t kBetweenResetsMs = 1000;
constexpr std::uint32_t kBeforeBluetoothUpdateMs = 3000;

bool factoryReset(ZQDevice* device, std::uint8_t target)
{
    FactoryResetSession reset;
    reset.timeoutMs = 3000;
    reset.resetTarget = target;
    return reset.Perform(device);
}

} // namespace

void runResetFlow()
{
    const std::shared_ptr<ZQDevice> device = openAmplifier();
    if (device == nullptr)
        return;

    printLine(factoryReset(device.get(), FactoryResetSession::kTargetBluetooth) ? "BT Module Factory Reset completed!"
                                                                                : "BT Module Factory Reset failed!");
    zq::Clock::sleepMs(kBetweenResetsMs);
    printLine(factoryReset(device.get(), FactoryResetSession::kTargetMcu) ? "MCU Factory Reset completed!"
                                                                          : "MCU Factory Reset failed!");
    closeAndDropDevice();
}

void runBluetoothFlow()
{
    const std::shared_ptr<ZQDevice> device = openAmplifier();
    if (device == nullptr)
        return;

    if (bootloader::SendSetFwStatus(device.get(), bootloader::kStatusBluetoothUpdate) == -1)
        printLine("SetFwStatus as BT update mode failed!");
    else
        printLine("SetFwStatus as BT update mode completed!");
    closeAndDropDevice();

    zq::Clock::sleepMs(kBeforeBluetoothUpdateMs);
    printLine("Start executing BT updater");

    AsnycBLEEventListenerLog listener;
    listener.mcuUpdateFollows = false;
    ZQBLE::ListenerScope events(&listener);
    {
        ZQBLEFirmwareUpdater updater(std::make_unique<ZQBLEDeviceContext>());
        const std::string firmwarePath = ZQBLE::getFirmwarePath();
        const std::string version = updater.SetFirmwarePath(firmwarePath);
        printLine("Set fw path in " + juce::String::fromUTF8(firmwarePath.c_str()));
        printLine("Got fw version: " + juce::String::fromUTF8(version.c_str()));

        const int rc = updater.UpdateFirmware();
        // A library left loaded after a time-out keeps calling back: its
        // events stop here, so the outcome is the flow's last line.
        events.end();
        if (rc == 0) {
            printLine("BT update firmware completed!");
            printLine("Get result code again: " + juce::String(listener.result.load()));
        } else {
            printLine("BT update firmware failed with code " + juce::String(rc));
        }
    }
}

} // namespace console
