#pragma once

#include "device/ble/ProductionLibraryApi.h"

#include <memory>

// The production library loaded for one operation. Destroying the context
// releases and unloads the library (unless `keepLoaded`) and deletes this
// run's folder in the per-user cache folder (the cache folder too once
// nothing else is in it).
class ZQBLEDeviceContext {
public:
    // The entry points, each null when the library lacks it.
    struct Functions {
        ZQBLEInitializeFn Initialize = nullptr;
        ZQBLESetLibPathFn SetLibPath = nullptr;
        ZQBLERefreshDeviceFn RefreshDevice = nullptr;
        ZQBLESetFirmwareFileFn SetFirmwareFile = nullptr;
        ZQBLESetConfigurationFn SetConfiguration = nullptr;
        ZQBLEGetConfigurationFn GetConfiguration = nullptr;
        ZQBLEDownloadFn Download = nullptr;
        ZQBLEReleaseFn Release = nullptr;
    };

    // Copies the library into the cache folder and loads it; `lib` stays
    // null when that does not work.
    ZQBLEDeviceContext();
    ~ZQBLEDeviceContext();

    ZQBLEDeviceContext(const ZQBLEDeviceContext&) = delete;
    ZQBLEDeviceContext& operator=(const ZQBLEDeviceContext&) = delete;

    void* lib = nullptr;
    std::unique_ptr<Functions> functions;
    // Set when the library's code may still run after the operation.
    bool keepLoaded = false;
};
