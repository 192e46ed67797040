#pragma once

#include "device/core/ZQDeviceSession.h"

#include <cstdint>

// Resets the Bluetooth module (target 01) or the MCU (target 00).
class FactoryResetSession : public ZQDeviceSession {
public:
    static constexpr std::uint8_t kTargetBluetooth = 0x01;
    static constexpr std::uint8_t kTargetMcu = 0x00;

    bool do_perform(ZQDevice* device, int sid) override;

    std::uint8_t resetTarget = kTargetBluetooth;
};
