#pragma once

#include "ui/NimbalGenericButtonLookAndFeel.h"

namespace lookandfeel {

// A pill that darkens under the mouse and more when held down.
class ConnectButtonLookAndFeel : public NimbalGenericButtonLookAndFeel {
public:
    ConnectButtonLookAndFeel() = default;
    ~ConnectButtonLookAndFeel() override = default;

    void drawButtonBackground(juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                              bool isMouseOverButton, bool isButtonDown) override;
};

} // namespace lookandfeel
