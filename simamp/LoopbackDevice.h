#pragma once

#include "device/core/ZQDevice.h"
#include "simamp/DeliveryThread.h"
#include "simamp/SimulatedAmplifier.h"

#include <array>
#include <atomic>

namespace sim {

// A ZQDevice joined straight to a simulated amplifier. Replies come back on
// a delivery thread after the amplifier's reply delay; nothing is delivered
// while the device is closed.
class LoopbackDevice : public ZQDevice {
public:
    explicit LoopbackDevice(SimulatedAmplifier& amplifier);
    ~LoopbackDevice() override;

    bool Open() override;
    void Close() override;
    const std::uint8_t* GetUUID() const override;
    int Internal_Send(const std::uint8_t* data, std::size_t length) override;

    // Waits until every reply already produced has been delivered.
    void drain();

    std::atomic<bool> failOpen{false};
    std::atomic<int> openCount{0};

private:
    SimulatedAmplifier& amplifier;
    std::array<std::uint8_t, 8> uuid;
    std::atomic<bool> open{false};
    DeliveryThread delivery;
};

} // namespace sim
