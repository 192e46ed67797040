#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A dark rounded box with a centred text that fades in, stays for the given
// time and fades out.
class MessageToast : public juce::Component, private juce::Timer {
public:
    MessageToast();
    ~MessageToast() override;

    // Shows the box now and hides it `milliseconds` after this call.
    void show(int milliseconds);

    void paint(juce::Graphics&) override;
    void resized() override;

    juce::Label* messageLabel = nullptr; // owned

private:
    void timerCallback() override;
};
