#pragma once

#include "ZQBLEDeviceEventListener.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>

class MainComponent;

// The window's receiver of the Bluetooth-module library's progress and
// completion; called on the library's thread. Build it on the message thread:
// the posted progress steps hold only a safe pointer to the window content,
// so they may still run after the listener has gone.
class AsnycBLEEventListener : public ZQBLEDeviceEventListener {
public:
    explicit AsnycBLEEventListener(MainComponent* main);
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
    juce::Component::SafePointer<MainComponent> window;
};
