#include "ui/TroubleshootingPageView.h"

#include "ui/Constant.h"
#include "ui/ViewWidgets.h"

#include <string>
#include <vector>

namespace {

const std::string k_pageTitle = "Firmware Update Troubleshooting";
const std::vector<std::string> k_infoList = {
    "Make sure to install the ASIO driver first then try again (for Windows User).",
    "Make sure to run the firmware updater with system administrator privilege.",
    "If the computer doesn't recognize your Kovra, try unplugging and replugging the Kovra USB cable.",
    "Try another USB port, then rerun firmware updater.",
    "Try to reinstall the firmware. Click on \"Eject\" button at the end of the procedure and unplug the USB cable.",
};
const std::string k_modeDescription =
    "If all steps above can't fix your issue. You may try to reinstall the firmware in Troubleshooting Mode.";
const std::string k_retryButtonText = "Go Back & Retry";
const std::string k_troubleshootingModeText = "Reinstall in Troubleshooting Mode";

const juce::Colour bulletColour{0xff646464};

} // namespace

TroubleshootingPageView::TroubleshootingPageView()
{
    using viewwidgets::makeLabel;
    const auto text = constant::NORMAL_TEXT_COLOUR;

    titleLabel = makeLabel(juce::String(k_pageTitle), constant::DEFAULT_TITLE_FONT, text, juce::Justification::centred);
    addAndMakeVisible(titleLabel.get());

    for (const auto& tip : k_infoList) {
        tipLabels.push_back(makeLabel(juce::String(tip), constant::DEFAULT_TEXT_FONT, text, juce::Justification::left));
        addAndMakeVisible(tipLabels.back().get());
    }

    descriptionLabel =
        makeLabel(juce::String(k_modeDescription), constant::DEFAULT_TEXT_FONT, text, juce::Justification::centred);
    addAndMakeVisible(descriptionLabel.get());

    retryButton = viewwidgets::makeButton(juce::String(k_retryButtonText), juce::Colour(0xffe4af09), buttonLookAndFeel);
    retryButton->setColour(juce::TextButton::textColourOnId, juce::Colour(0xff282828));
    addAndMakeVisible(retryButton.get());

    // Lies 1 px around the mode button, which covers all but its edge.
    frameButton = viewwidgets::makeButton({}, constant::RED_TEXT_COLOUR, buttonLookAndFeel);
    frameButton->setColour(juce::TextButton::buttonOnColourId, constant::RED_TEXT_COLOUR);
    addAndMakeVisible(frameButton.get());

    modeButton =
        viewwidgets::makeButton(juce::String(k_troubleshootingModeText), juce::Colour(0xff111111), buttonLookAndFeel);
    modeButton->setColour(juce::TextButton::textColourOffId, constant::RED_TEXT_COLOUR);
    modeButton->setColour(juce::TextButton::textColourOnId, juce::Colour(0xffffffff));
    addAndMakeVisible(modeButton.get());
}

TroubleshootingPageView::~TroubleshootingPageView() = default;

void TroubleshootingPageView::resized()
{
    const int w = getWidth();
    titleLabel->setBounds(0, 10, w, 80);

    int y = titleLabel->getHeight() + 40;
    for (auto& tip : tipLabels) {
        tip->setBounds(16, y, w - 16, 40);
        y += 55;
    }

    retryButton->setBounds(0, y + 20, w, 40);
    descriptionLabel->setBounds(0, y + 100, w, 40);
    frameButton->setBounds(0, y + 150, w, 40);
    modeButton->setBounds(1, y + 151, w - 2, 38);
}

void TroubleshootingPageView::paint(juce::Graphics& g)
{
    g.setColour(bulletColour);
    for (auto& tip : tipLabels)
        g.fillEllipse(0.0f, static_cast<float>(tip->getY() + 10), 10.0f, 10.0f);

    // One crisp pixel row halfway between the retry button and the description.
    g.setColour(bulletColour);
    const int m = (retryButton->getBottom() + descriptionLabel->getY()) / 2;
    g.drawHorizontalLine(m, 0.0f, static_cast<float>(getWidth()));
}
