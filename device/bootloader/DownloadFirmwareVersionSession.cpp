#include "device/bootloader/DownloadFirmwareVersionSession.h"

#include "device/core/ZQDevice.h"
#include "device/core/ZQSysEx.h"

#include <algorithm>
#include <vector>

namespace bootloader {

FirmwareInfo UnpackFwInfoReply(const std::uint8_t* reply, std::size_t length, std::size_t* filled)
{
    std::vector<std::uint8_t> block;
    if (length > kFwInfoPayloadIndex) {
        const std::uint8_t* payload = reply + kFwInfoPayloadIndex;
        const std::uint8_t* end = std::find(payload, reply + length, 0xF7);
        block = ZQSysEx::Unpack(payload, static_cast<std::size_t>(end - payload));
    }
    if (filled != nullptr)
        *filled = std::min(block.size(), FirmwareInfo::kSize);
    return FirmwareInfo::fromBytes(block.data(), block.size());
}

bool DownloadFirmwareVersionSession::do_perform(ZQDevice* device, int)
{
    infoLength = 0;
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
    const int n = WaitForReply(device, sid, reply, sizeof reply, Reply::FwInfo, 0);
    if (n < 1) {
        error = kErrorFwInfo;
        return false;
    }
    info = UnpackFwInfoReply(reply, static_cast<std::size_t>(n), &infoLength);
    return true;
}

} // namespace bootloader
