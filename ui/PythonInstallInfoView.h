#pragma once

#include "ui/ConnectButtonLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The Python page: why Python 2 is needed, "Proceed" and "Cancel".
class PythonInstallInfoView : public juce::Component {
public:
    PythonInstallInfoView();
    ~PythonInstallInfoView() override;

    void resized() override;

    lookandfeel::ConnectButtonLookAndFeel buttonLookAndFeel;

    std::unique_ptr<juce::Label> titleLabel;
    std::unique_ptr<juce::Label> subtitleLabel;
    std::unique_ptr<juce::TextButton> proceedButton;
    std::unique_ptr<juce::TextButton> cancelButton;
    juce::StretchableLayoutManager layout;
};
