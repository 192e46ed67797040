#pragma once

#include "device/ble/ZQBLEDeviceEventListener.h"
#include "states/StateLifetime.h"

#include <atomic>

class MainComponent;

// The window's receiver of the Bluetooth-module library's progress and
// completion; called on the library's thread. Its progress steps reach the
// window through the watch of the state that owns it.
class AsnycBLEEventListener : public ZQBLEDeviceEventListener {
public:
    AsnycBLEEventListener(MainComponent* main, StateLifetime::Watch ownerState);
    ~AsnycBLEEventListener() override;

    void OnProgress(int percent) override;
    void OnComplete(int code) override;

    MainComponent* mainComponent;
    // Set before the listener is handed to the library, read on its thread.
    bool mcuUpdateFollows = false;
    // Written on the library's thread; a library left loaded after a time-out
    // may still write it while the worker reads it.
    std::atomic<int> result{0};

private:
    StateLifetime::Watch state;
};
