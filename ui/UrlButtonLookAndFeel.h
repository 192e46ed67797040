#pragma once

#include "ui/NimbalGenericButtonLookAndFeel.h"

namespace lookandfeel {

// A flat link with a short underline.
class UrlButtonLookAndFeel : public NimbalGenericButtonLookAndFeel {
public:
    UrlButtonLookAndFeel() = default;
    ~UrlButtonLookAndFeel() override = default;

    void drawButtonBackground(juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                              bool isMouseOverButton, bool isButtonDown) override;

    // The underline stops this many pixels short of either end.
    static constexpr int underlineInset = 38;
};

} // namespace lookandfeel
