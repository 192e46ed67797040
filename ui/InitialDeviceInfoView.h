#pragma once

#include "ui/ConnectButtonLookAndFeel.h"
#include "ui/UrlButtonLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The first page; also the prompt, connecting and result page. The states
// refill its title, subtitle and action caption, by which clicks are routed.
class InitialDeviceInfoView : public juce::Component {
public:
    InitialDeviceInfoView();
    ~InitialDeviceInfoView() override;

    void resized() override;

    // Declared first so that they outlive the buttons that use them.
    lookandfeel::ConnectButtonLookAndFeel buttonLookAndFeel;
    lookandfeel::UrlButtonLookAndFeel linkLookAndFeel;

    std::unique_ptr<juce::Label> titleLabel;
    std::unique_ptr<juce::TextButton> actionButton;
    std::unique_ptr<juce::Label> subtitleLabel;
    std::unique_ptr<juce::TextButton> learnMoreButton;
    std::unique_ptr<juce::TextButton> helpCenterButton;
    std::unique_ptr<juce::TextButton> troubleshootingLinkButton;
    juce::StretchableLayoutManager layout;
};
