#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace lookandfeel {

// A rounded track with diagonal stripes that drift with the clock.
class ProgressBarLookAndFeel : public juce::LookAndFeel_V2 {
public:
    ProgressBarLookAndFeel() = default;
    ~ProgressBarLookAndFeel() override = default;

    void drawProgressBar(juce::Graphics&, juce::ProgressBar&, int width, int height, double progress,
                         const juce::String& textToShow) override;
};

} // namespace lookandfeel
