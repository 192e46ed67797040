#pragma once

#include "device/ble/ZQBLEDeviceEventListener.h"

#include <mutex>
#include <vector>

// Keeps every event it receives, from whichever thread.
class RecordingListener : public ZQBLEDeviceEventListener {
public:
    void OnProgress(int value) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        progress.push_back(value);
    }
    void OnComplete(int code) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        completions.push_back(code);
    }

    std::vector<int> progressValues() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return progress;
    }
    std::vector<int> completionCodes() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return completions;
    }

private:
    mutable std::mutex mutex;
    std::vector<int> progress;
    std::vector<int> completions;
};
