#pragma once

#include "device/midi/DeviceManager.h"
#include "states/AppState.h"
#include "states/AsnycBLEEventListener.h"
#include "states/StateLifetime.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>
#include <optional>

class FirmwareUpdateSession;
class ZQDevice;

// Shows the progress page and runs the update worker: the Bluetooth module
// through the bridge, then the MCU through the bootloader.
class KovraTikoFwUpdatingAppState : public AppState {
public:
    // Waits for the worker, then stops library events from reaching the
    // listener before it goes.
    ~KovraTikoFwUpdatingAppState() override;

    void apply(MainComponent* main) const override;
    bool isBusy() const override { return running(worker); }

    mutable std::future<void> worker;
    mutable std::unique_ptr<AsnycBLEEventListener> bleListener;

private:
    StateLifetime lifetime;
};

// The device-list callback of the waits for the amplifier: probes and opens
// the first device found.
void reconnectFirstDevice(zq::DeviceManager* manager);
// The same for the amplifier with `id` alone: probes and, when `id` is among
// those found, opens it; any other amplifier found is left alone.
void reconnectDeviceWithId(zq::DeviceManager* manager, const zq::DeviceId& id);
// The id of the device in the device manager's slot, if it holds one.
std::optional<zq::DeviceId> openAmplifierId();
// The callback of a wait for the amplifier with `id`, which takes no other
// one; without an id, of a wait for the first found.
std::function<void(zq::DeviceManager*)> reconnectCallbackFor(const std::optional<zq::DeviceId>& id);

// Queues the progress page at 0 (the Python installation's when
// `pythonMode`), with the given badge; the update's shows the amplifier.
void queueProgressPage(MainComponent* main, bool pythonMode, int badgeKind);

// One of the two compiled-in MCU images.
struct McuImage {
    const char* data;
    int size;
};

// By hardware type (20 standard, 22 GD32), else by the serial number's 7th
// character: '1' the standard image, anything else or none the GD32 one.
McuImage mcuImageFor(int hardwareType, const juce::String& serialNumber);

// Runs the version command of the local Python; false when it cannot be
// started (after printing so) or does not answer Python 2.7.
bool localPythonIs27();
