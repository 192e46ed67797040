#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace lookandfeel {

// Every caption drawn through the system's button looks uses the default
// text font, whatever the button's height.
class NimbalGenericButtonLookAndFeel : public juce::LookAndFeel_V3 {
public:
    NimbalGenericButtonLookAndFeel() = default;
    ~NimbalGenericButtonLookAndFeel() override = default;

    juce::Font getTextButtonFont(juce::TextButton&, int buttonHeight) override;
};

} // namespace lookandfeel
