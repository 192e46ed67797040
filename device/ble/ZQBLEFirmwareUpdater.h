#pragma once

#include "device/ble/ZQBLEDeviceContext.h"

#include <memory>
#include <string>

// Drives the production library through one operation: the firmware file's
// version, then optionally the Bluetooth module's update.
class ZQBLEFirmwareUpdater {
public:
    // Initializes the library and hands it the library folder.
    explicit ZQBLEFirmwareUpdater(std::unique_ptr<ZQBLEDeviceContext>&& context);

    ZQBLEFirmwareUpdater(const ZQBLEFirmwareUpdater&) = delete;
    ZQBLEFirmwareUpdater& operator=(const ZQBLEFirmwareUpdater&) = delete;

    // SetFirmwarePath's text when the library refuses the file.
    static constexpr const char* kRefusedFile = "-65535";

    // UpdateFirmware's own codes; any other is the library's, from Download.
    static constexpr int kErrorNoLibrary = -1;       // no library loaded, or it has no Download
    static constexpr int kErrorNoModule = -2;        // an entry point missing, or no module found
    static constexpr int kErrorDownloadTimeout = -4; // Download did not end within 30000 ms

    // The library's text for the file (its first four characters are the
    // version); kRefusedFile when refused; empty when no library is loaded.
    std::string SetFirmwarePath(const std::string& path);

    // 0 or the library's own code from Download, else one of the codes above
    // (after a time-out the library stays loaded).
    int UpdateFirmware();

    std::unique_ptr<ZQBLEDeviceContext> context;
};
