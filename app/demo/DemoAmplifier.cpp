#include "app/demo/DemoAmplifier.h"

bool DemoAmplifier::handleOther(const sim::Bytes& message, std::vector<sim::Bytes>& replies)
{
    const bool handled = sim::SimulatedAmplifier::handleOther(message, replies);
    if (unplugAfterChunks > 0 && bootloader.chunksWritten() >= unplugAfterChunks && unplug && !unplugged.exchange(true))
        unplug();
    return handled;
}
