#pragma once

#include <juce_core/juce_core.h>

class ZQDevice;
class FirmwareUpdateSession;

namespace console {

// "--path": writes an MCU image file to the amplifier through the bootloader.
class FirmwareUpgradeTool {
public:
    explicit FirmwareUpgradeTool(const juce::File& imageFile);
    void execute() const;

    juce::File imageFile;
};

// Session callbacks: close, wait 5 s, open again; and the progress line.
bool reconnectDevice(ZQDevice* device, FirmwareUpdateSession* session, void* user);
void printUpdateProgress(ZQDevice* device, FirmwareUpdateSession* session, int percent, void* user);

} // namespace console
