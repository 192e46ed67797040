#pragma once

#include "AppState.h"
#include "AsnycBLEEventListener.h"

#include <functional>
#include <memory>

class FirmwareUpdateSession;
class ZQDevice;
namespace zq {
class DeviceManager;
}

// Shows the progress page and runs the update worker: the Bluetooth module
// through the bridge, then the MCU through the bootloader.
class KovraTikoFwUpdatingAppState : public AppState {
public:
    ~KovraTikoFwUpdatingAppState() override;

    void apply(MainComponent* main) const override;
    bool isBusy() const override { return running(worker); }

    mutable std::future<void> worker;
    mutable std::unique_ptr<AsnycBLEEventListener> bleListener;
};

// The device-list callback of the waits for the amplifier: probes and opens
// the first device found.
void reconnectFirstDevice(zq::DeviceManager* manager);
