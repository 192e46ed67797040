#pragma once

#include "ui/ProgressBarLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <memory>
#include <vector>

// The progress page of the firmware update and of the Python installation.
class FirmwareUpdateProgressView : public juce::Component {
public:
    FirmwareUpdateProgressView();
    ~FirmwareUpdateProgressView() override;

    void resized() override;
    // The bar is visible only while the page is: the framework's bar runs a
    // 30 ms timer whenever its own visible flag is set, and the page spends
    // most of the program's life hidden.
    void visibilityChanged() override;

    // Message thread: stores the fraction and rewrites the title.
    void setProgress(double fraction);
    // The fraction last set, readable from any thread.
    double progressNow() const { return sharedProgress.load(); }

    // Told of each fraction set, inside setProgress once the page took it:
    // the bar follows on a timer of its own and draws only some of them.
    // Message thread only.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void progressSet(double fraction) = 0;
    };
    void addListener(Listener* listener);
    void removeListener(Listener* listener);

    lookandfeel::ProgressBarLookAndFeel progressBarLookAndFeel;

    double progress = 0.0; // bound to the bar; written only by setProgress
    bool pythonMode = false;
    std::unique_ptr<juce::Label> titleLabel;
    std::unique_ptr<juce::Label> warningLabel;
    std::unique_ptr<juce::ProgressBar> progressBar;

private:
    std::atomic<double> sharedProgress{0.0};
    std::vector<Listener*> listeners;
};
