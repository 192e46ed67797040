#pragma once

#include "device/ble/ProductionLibraryApi.h"
#include "device/ble/ZQBLEFirmwareUpdater.h"

#include <juce_core/juce_core.h>

#include <atomic>

class ZQBLEDeviceContext;

// Runs the library's blocking Download on a thread of its own. It is never
// stopped by force: a download that outlasts the updater's wait is left to
// finish, and its object kept for it (see ZQBLEFirmwareUpdater).
class BLEDownloadThread : public juce::Thread {
public:
    explicit BLEDownloadThread(ZQBLEDeviceContext* context);
    ~BLEDownloadThread() override;

    void run() override;

    // kErrorDownloadTimeout until Download returns; kErrorNoLibrary when the
    // library has no Download.
    std::atomic<int> result{ZQBLEFirmwareUpdater::kErrorDownloadTimeout};
    ZQBLEDeviceContext* context;

private:
    // Taken at construction: a thread abandoned before it ran must not read
    // a context that is gone by then.
    ZQBLEDownloadFn download;
};
