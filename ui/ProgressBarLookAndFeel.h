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
    // The track's rounded ends leave the corners uncovered, so the bar never
    // claims to be opaque, whatever its background colour: an opaque bar
    // would keep its parent from painting those corners.
    bool isProgressBarOpaque(juce::ProgressBar&) override { return false; }

    // The stripes of a bar `width` x `height` at `progress`, as drawn when the
    // millisecond counter reads `millisecondCounter`: one parallelogram per
    // period of 2 x height, shifted left by one pixel every 15 ms. Empty for a
    // height of 0 or less.
    static juce::Path stripes(int width, int height, double progress, juce::uint32 millisecondCounter);
};

} // namespace lookandfeel
