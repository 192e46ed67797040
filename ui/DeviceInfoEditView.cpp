#include "DeviceInfoEditView.h"

#include "Constant.h"

DeviceInfoEditView::DeviceInfoEditView(const juce::String& type)
{
    typeLabel = std::make_unique<juce::Label>();
    typeLabel->setColour(juce::Label::textColourId, constant::LABEL_TEXT_COLOUR);
    typeLabel->setFont(constant::EDIT_LABEL_FONT);
    typeLabel->setJustificationType(juce::Justification::centred);
    addAndMakeVisible(typeLabel.get());

    valueLabel = std::make_unique<juce::Label>();
    valueLabel->setColour(juce::Label::textColourId, constant::NORMAL_TEXT_COLOUR);
    valueLabel->setFont(constant::EDIT_TEXT_FONT);
    valueLabel->setJustificationType(juce::Justification::centred);
    addAndMakeVisible(valueLabel.get());

    typeLabel->setText(type, juce::dontSendNotification);
}

DeviceInfoEditView::~DeviceInfoEditView() = default;

void DeviceInfoEditView::resized()
{
    const int w = getWidth();
    typeLabel->setBounds(0, 0, w, 19);
    valueLabel->setBounds(0, 24, w, 25);
}

void DeviceInfoEditView::paint(juce::Graphics& g)
{
    juce::Graphics::ScopedSaveState saved(g);
    g.setColour(constant::SPLITTER_LINE_COLOUR);
    g.fillRect(21, valueLabel->getBottom() + 14, getWidth() - 42, 1);
}
