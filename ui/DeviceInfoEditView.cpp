#include "ui/DeviceInfoEditView.h"

#include "ui/Constant.h"
#include "ui/ViewWidgets.h"

DeviceInfoEditView::DeviceInfoEditView(const juce::String& type)
{
    typeLabel = viewwidgets::makeLabel(type, constant::EDIT_LABEL_FONT, constant::LABEL_TEXT_COLOUR,
                                       juce::Justification::centred);
    addAndMakeVisible(typeLabel.get());
    valueLabel = viewwidgets::makeLabel({}, constant::EDIT_TEXT_FONT, constant::NORMAL_TEXT_COLOUR,
                                        juce::Justification::centred);
    addAndMakeVisible(valueLabel.get());
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
