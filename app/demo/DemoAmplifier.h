#pragma once

#include "simamp/SimulatedAmplifier.h"

#include <atomic>
#include <functional>

// A simulated amplifier that can be pulled out of USB in the middle of an
// MCU update: once `unplugAfterChunks` chunks are written, `unplug` is
// called, on the sending thread, and the answer to the last chunk is lost.
// Below 1: never.
class DemoAmplifier : public sim::SimulatedAmplifier {
public:
    int unplugAfterChunks = -1;
    std::function<void()> unplug;

protected:
    bool handleOther(const sim::Bytes& message, std::vector<sim::Bytes>& replies) override;

private:
    std::atomic<bool> unplugged{false};
};
