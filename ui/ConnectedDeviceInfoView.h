#pragma once

#include "ui/ConnectButtonLookAndFeel.h"
#include "ui/DeviceInfoEditView.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <vector>

// The connected page: serial number, MCU firmware version and Bluetooth
// version rows, "Update Firmware" and "Cancel". The rows' texts are also the
// update decision that the firmware-update worker reads.
class ConnectedDeviceInfoView : public juce::Component {
public:
    ConnectedDeviceInfoView();
    ~ConnectedDeviceInfoView() override;

    void resized() override;

    lookandfeel::ConnectButtonLookAndFeel buttonLookAndFeel;

    std::vector<std::unique_ptr<DeviceInfoEditView>> rows; // serial, MCU, Bluetooth
    std::unique_ptr<juce::TextButton> updateButton;
    std::unique_ptr<juce::TextButton> cancelButton;
    juce::StretchableLayoutManager layout;
};
