#pragma once

#include "ui/ConnectButtonLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <vector>

// Tips, "Go Back & Retry", and a red-framed button that reinstalls in
// troubleshooting mode.
class TroubleshootingPageView : public juce::Component {
public:
    TroubleshootingPageView();
    ~TroubleshootingPageView() override;

    void paint(juce::Graphics&) override;
    void resized() override;

    lookandfeel::ConnectButtonLookAndFeel buttonLookAndFeel;

    std::unique_ptr<juce::Label> titleLabel;
    std::vector<std::unique_ptr<juce::Label>> tipLabels;
    std::unique_ptr<juce::Label> descriptionLabel;
    std::unique_ptr<juce::TextButton> retryButton;
    std::unique_ptr<juce::TextButton> frameButton; // the red frame; no listener
    std::unique_ptr<juce::TextButton> modeButton;
};
