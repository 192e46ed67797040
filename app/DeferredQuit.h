#pragma once

#include <juce_events/juce_events.h>

#include <functional>

// Quits the application (runs `quit`) once `busy` no longer holds: a worker
// that flashes the amplifier needs the message thread and the device to its
// end, and a quit under it would fail its reconnect and leave the amplifier
// in its bootloader. Message thread only.
class DeferredQuit : private juce::Timer {
public:
    DeferredQuit(std::function<bool()> isBusy, std::function<void()> quit);
    ~DeferredQuit() override;

    // Quits now when nothing is busy, else as soon as it is over.
    void request();
    bool pending() const { return isTimerRunning(); }

private:
    void timerCallback() override;

    std::function<bool()> busy;
    std::function<void()> quitNow;
};
