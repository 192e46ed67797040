#pragma once

#include "device/ble/ZQBLEDeviceEventListener.h"

#include <atomic>

namespace console {

// Prints the Bluetooth library's events as they come, on its thread.
class AsnycBLEEventListenerLog : public ZQBLEDeviceEventListener {
public:
    void OnProgress(int value) override;
    void OnComplete(int code) override;

    bool mcuUpdateFollows = false;
    // No completion event leaves it at 0, the library's success code, since
    // the flow only prints it after the update returned 0.
    std::atomic<int> result{0};
};

} // namespace console
