#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The labels and buttons the screens build, each set up in one call.
namespace viewwidgets {

inline std::unique_ptr<juce::Label> makeLabel(const juce::String& text, const juce::Font& font, juce::Colour colour,
                                              juce::Justification justification)
{
    auto label = std::make_unique<juce::Label>();
    label->setText(text, juce::dontSendNotification);
    label->setFont(font);
    label->setColour(juce::Label::textColourId, colour);
    label->setJustificationType(justification);
    return label;
}

// The caption colours are left to the caller: some buttons keep the
// look-and-feel's default.
inline std::unique_ptr<juce::TextButton> makeButton(const juce::String& caption, juce::Colour fill,
                                                    juce::LookAndFeel& look)
{
    auto button = std::make_unique<juce::TextButton>();
    button->setButtonText(caption);
    button->setColour(juce::TextButton::buttonColourId, fill);
    button->setLookAndFeel(&look);
    return button;
}

// A pill with a white caption, as the red action and grey cancel buttons are.
inline std::unique_ptr<juce::TextButton> makeWhiteCaptionButton(const juce::String& caption, juce::Colour fill,
                                                                juce::LookAndFeel& look)
{
    auto button = makeButton(caption, fill, look);
    button->setColour(juce::TextButton::textColourOffId, juce::Colour(0xffffffff));
    return button;
}

} // namespace viewwidgets
