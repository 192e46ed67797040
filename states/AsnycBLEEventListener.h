#pragma once

#include "ZQBLEDeviceEventListener.h"

class MainComponent;

// The window's receiver of the Bluetooth-module library's progress and
// completion; called on the library's thread.
class AsnycBLEEventListener : public ZQBLEDeviceEventListener {
public:
    explicit AsnycBLEEventListener(MainComponent* mainComponent) : mainComponent(mainComponent) {}
    ~AsnycBLEEventListener() override;

    void OnProgress(int percent) override;
    void OnComplete(int code) override;

    MainComponent* mainComponent;
    bool mcuUpdateFollows = false;
    int result = 0;
};
