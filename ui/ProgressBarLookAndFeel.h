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

    // The stripes of a bar `width` x `height` at `progress`, as drawn when the
    // millisecond counter reads `millisecondCounter`: one parallelogram per
    // period of 2 x height, shifted left by one pixel every 15 ms. Empty for a
    // height of 0 or less.
    static juce::Path stripes(int width, int height, double progress, juce::uint32 millisecondCounter);
};

} // namespace lookandfeel
