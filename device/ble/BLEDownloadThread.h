#pragma once

#include "ProductionLibraryApi.h"

#include <juce_core/juce_core.h>

#include <atomic>

class ZQBLEDeviceContext;

// Runs the library's blocking Download on a thread of its own.
class BLEDownloadThread : public juce::Thread {
public:
    explicit BLEDownloadThread(ZQBLEDeviceContext* context);
    ~BLEDownloadThread() override;

    void run() override;

    // -4 until Download returns; -1 when the library has no Download.
    std::atomic<int> result{-4};
    ZQBLEDeviceContext* context;

private:
    // Taken at construction: a thread abandoned before it ran must not read
    // a context that is gone by then.
    ZQBLEDownloadFn download;
};
