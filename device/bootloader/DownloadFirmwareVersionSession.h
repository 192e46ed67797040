#pragma once

#include "device/bootloader/BootloaderMessages.h"
#include "device/bootloader/FirmwareInfo.h"
#include "device/core/ZQDeviceSession.h"

#include <cstddef>
#include <cstdint>

namespace bootloader {

// The firmware information block from a "RetFwInfo" reply of `length` bytes:
// the payload runs from index 10 to the first F7 (or the reply's end) and is
// 7-bit unpacked; a block the payload does not fill is zero in the rest.
// `filled`, when given, gets how many bytes of the block the payload gave.
FirmwareInfo UnpackFwInfoReply(const std::uint8_t* reply, std::size_t length, std::size_t* filled = nullptr);

// Reads the firmware information block ("GetFwInfo"). The session id that
// Perform takes is not used: bootloader replies reach the default session.
class DownloadFirmwareVersionSession : public ZQDeviceSession {
public:
    // Errors beside the base's 8 and 10: "GetFwInfo" not sent or not answered.
    static constexpr int kErrorFwInfo = 14;

    bool do_perform(ZQDevice* device, int sid) override;

    std::uint8_t request[kBufferSize] = {};
    std::uint8_t reply[kBufferSize] = {};
    FirmwareInfo info{}; // valid only after Perform returned true
    // How much of `info` the reply gave (FirmwareInfo::kSize at most); the
    // rest is zero, not the amplifier's.
    std::size_t infoLength = 0;
};

} // namespace bootloader
