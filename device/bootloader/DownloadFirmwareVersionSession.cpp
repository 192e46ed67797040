#include "DownloadFirmwareVersionSession.h"

#include "ZQDevice.h"
#include "ZQSysEx.h"

#include <algorithm>
#include <vector>

namespace bootloader {

FirmwareInfo UnpackFwInfoReply(const std::uint8_t* reply, std::size_t length)
{
    if (length <= kFwInfoPayloadIndex)
        return FirmwareInfo::fromBytes(nullptr, 0);
    const std::uint8_t* payload = reply + kFwInfoPayloadIndex;
    const std::uint8_t* end = std::find(payload, reply + length, 0xF7);
    const std::vector<std::uint8_t> block = ZQSysEx::Unpack(payload, static_cast<std::size_t>(end - payload));
    return FirmwareInfo::fromBytes(block.data(), block.size());
}

bool DownloadFirmwareVersionSession::do_perform(ZQDevice* device, int)
{
    if (device == nullptr) {
        error = kErrorNoDevice;
        return false;
    }
    const int sid = device->defaultSid;
    if (sid == -1) {
        error = kErrorNoSessionId;
        return false;
    }
    if (device->Send(request, static_cast<int>(BuildRequest(request, kGetFwInfo))) < 0) {
        error = kErrorFwInfo;
        return false;
    }
    const int n = WaitForReply(device, sid, reply, sizeof reply, kRetFwInfo, 0);
    if (n < 1) {
        error = kErrorFwInfo;
        return false;
    }
    info = UnpackFwInfoReply(reply, static_cast<std::size_t>(n));
    return true;
}

} // namespace bootloader
