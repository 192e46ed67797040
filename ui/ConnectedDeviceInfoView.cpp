#include "ui/ConnectedDeviceInfoView.h"

#include "ui/Constant.h"
#include "ui/ViewWidgets.h"

namespace {

// Row order matters: the states address the rows by index.
const juce::String typeTexts[3] = {"Serial Number", "MCU Firmware Version", "BT Version"};

} // namespace

ConnectedDeviceInfoView::ConnectedDeviceInfoView()
{
    for (int i = 0; i < 3; ++i) {
        rows.push_back(std::make_unique<DeviceInfoEditView>(typeTexts[i]));
        addAndMakeVisible(rows.back().get());
        layout.setItemLayout(i, 70, 70, 70);
    }

    updateButton = viewwidgets::makeWhiteCaptionButton("Update Firmware", constant::RED_TEXT_COLOUR, buttonLookAndFeel);
    addAndMakeVisible(updateButton.get());
    cancelButton = viewwidgets::makeWhiteCaptionButton("Cancel", juce::Colour(0xff505050), buttonLookAndFeel);
    addAndMakeVisible(cancelButton.get());
}

ConnectedDeviceInfoView::~ConnectedDeviceInfoView() = default;

void ConnectedDeviceInfoView::resized()
{
    const int w = getWidth();
    const int h = getHeight();

    juce::Component* rowComponents[] = {rows[0].get(), rows[1].get(), rows[2].get()};
    layout.layOutComponents(rowComponents, 3, 0, 20, w, h / 2, true, true);

    updateButton->setBounds(40, (2 * h) / 3, w - 80, 40);
    cancelButton->setBounds(40, updateButton->getBottom() + 5, w - 80, 40);
}
