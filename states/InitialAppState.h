#pragma once

#include "states/AppState.h"

namespace zq {
class DeviceManager;
}

// Connect and switch on the amplifier: closes an open device, starts the
// polling and shows the first page. Any device-list change starts connecting.
class InitialAppState : public AppState {
public:
    void apply(MainComponent* main) const override;
};

// The device-list callback of the waiting states.
void connectOnDeviceChange(MainComponent* main, zq::DeviceManager*);
