#pragma once

#include "ZQBLEDeviceContext.h"

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

    // The library's text for the file (its first four characters are the
    // version); "-65535" when refused; empty when no library is loaded.
    std::string SetFirmwarePath(const std::string& path);

    // 0 or the library's own code from Download; -1 no library, -2 an entry
    // point missing or no module found, -4 the download did not end within
    // 30000 ms (the library then stays loaded).
    int UpdateFirmware();

    std::unique_ptr<ZQBLEDeviceContext> context;
};
