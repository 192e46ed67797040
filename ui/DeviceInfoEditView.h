#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// One row of the connected page: a small title, a value and a thin line.
class DeviceInfoEditView : public juce::Component {
public:
    explicit DeviceInfoEditView(const juce::String& type);
    ~DeviceInfoEditView() override;

    void paint(juce::Graphics&) override;
    void resized() override;

    std::unique_ptr<juce::Label> typeLabel;
    std::unique_ptr<juce::Label> valueLabel;
};
