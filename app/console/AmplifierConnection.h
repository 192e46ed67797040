#pragma once

#include <memory>

class ZQDevice;

namespace console {

// Probes, prints the count and opens the first amplifier into the device
// manager's slot. Returns the open device, or null after printing why not.
std::shared_ptr<ZQDevice> openAmplifier();

// Closes the device in the slot, if any, and empties the slot.
void closeAndDropDevice();

} // namespace console
