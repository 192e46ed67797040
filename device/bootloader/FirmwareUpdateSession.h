#pragma once

#include "device/bootloader/BootloaderMessages.h"
#include "device/core/ZQDeviceSession.h"

#include <cstdint>
#include <string>

// Writes an MCU image through the bootloader: "GetFwStatus", the switch into
// the bootloader when the amplifier runs its application, "GetFwInfo", one
// acknowledged "WriteFlash" per 256-byte chunk (one resend of a refused
// chunk), and "SetFwStatus" 01 at the end. Perform blocks; the callbacks run
// on its thread.
class FirmwareUpdateSession : public ZQDeviceSession {
public:
    using ProgressCallback = void (*)(ZQDevice* device, FirmwareUpdateSession* session, int percent, void* user);
    using StepCallback = bool (*)(ZQDevice* device, FirmwareUpdateSession* session, void* user);

    static constexpr int kErrorFwStatus = 11;        // "GetFwStatus" not sent or not answered
    static constexpr int kErrorSetFwStatus = 12;     // "SetFwStatus" 00 or 01 not sent
    static constexpr int kErrorEnterBootloader = 13; // enterBootloaderCallback returned false
    static constexpr int kErrorFwInfo = 14;          // "GetFwInfo" not sent or not answered
    static constexpr int kErrorImageFile =
        15; // the image is no regular file, does not open, or reads other than its size
    static constexpr int kErrorWriteFlash = 16; // a chunk not sent, not acknowledged, or refused twice
    // The image cannot be sent as it stands: 2^28 bytes or more (its offsets
    // would wrap), a negative size, or no bytes behind a positive size. A
    // caller's image is refused before anything is sent, a file's once its
    // length is known; in both cases before the first "WriteFlash".
    static constexpr int kErrorImageUnsendable = 17;

    bool Perform(ZQDevice* device) override;
    bool do_perform(ZQDevice*, int) override { return true; }

    std::string firmwarePath;
    std::uint8_t request[bootloader::kBufferSize] = {};
    std::uint8_t reply[bootloader::kBufferSize] = {};
    ProgressCallback progressCallback = nullptr;
    void* progressUserData = nullptr;
    // Set by the caller, or allocated by the session from firmwarePath (then
    // freed by the session before Perform returns, and reset to null).
    const std::uint8_t* image = nullptr;
    int imageSize = 0;
    bool loadFromFile = false;
    std::uint32_t settleDelayMs = 0;
    std::uint32_t chunkDelayMs = 0;
    StepCallback enterBootloaderCallback = nullptr;
    void* callbackUserData = nullptr;
    StepCallback doneCallback = nullptr;

private:
    class LoadedImage;

    bool fail(int code);
    int loadImage(LoadedImage& loaded);
    bool sendRequest(ZQDevice* device, std::size_t length);
    bool writeChunk(ZQDevice* device, int sid, std::uint32_t offset, std::size_t& taken);
    bool awaitWriteStatus(ZQDevice* device, int sid);
    // Drops the replies queued before a "WriteFlash" is sent.
    void dropQueued(ZQDevice* device, int sid);
};
