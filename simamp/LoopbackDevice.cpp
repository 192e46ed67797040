#include "simamp/LoopbackDevice.h"

#include "runtime/Clock.h"

namespace sim {

LoopbackDevice::LoopbackDevice(SimulatedAmplifier& amp)
    : amplifier(amp), uuid(amp.config.deviceId), delivery([this](const std::vector<std::uint8_t>& bytes) {
          if (open)
              OnReadNext(bytes.data(), static_cast<int>(bytes.size()));
      })
{
}

LoopbackDevice::~LoopbackDevice()
{
    Close();
    delivery.clear();
}

bool LoopbackDevice::Open()
{
    if (failOpen)
        return false;
    ++openCount;
    open = true;
    return true;
}

void LoopbackDevice::Close()
{
    open = false;
    delivery.clear();
}

const std::uint8_t* LoopbackDevice::GetUUID() const { return uuid.data(); }

int LoopbackDevice::Internal_Send(const std::uint8_t* data, std::size_t length)
{
    if (!open)
        return -1;
    const auto now = std::chrono::steady_clock::now();
    auto deliveries = amplifier.receive(data, length);
    const auto due = now + zq::Clock::duration(static_cast<std::uint32_t>(amplifier.replyDelayMs()));
    for (auto& bytes : deliveries)
        delivery.post(std::move(bytes), due);
    return static_cast<int>(length);
}

void LoopbackDevice::drain() { delivery.drain(); }

} // namespace sim
