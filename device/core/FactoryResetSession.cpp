#include "device/core/FactoryResetSession.h"

#include "device/core/ZQDevice.h"

#include <array>

bool FactoryResetSession::do_perform(ZQDevice* device, int sid)
{
    const std::uint8_t frame[7] = {0xF0, 0x01, static_cast<std::uint8_t>(sid), 0x00, 0x09, resetTarget, 0xF7};
    device->Send(frame, sizeof frame);

    std::array<std::uint8_t, 1024> reply{};
    const int n = device->ReadNext(sid, reply.data(), reply.size(), timeoutMs);
    if (n <= 0) {
        error = kErrorNoReply;
        return false;
    }
    if (reply[4] != 0x10) {
        error = kErrorRefused;
        return false;
    }
    return true;
}
