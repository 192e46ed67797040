#include "TroubleshootingPageView.h"

#include "Constant.h"

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

std::unique_ptr<juce::Label> makeText(const std::string& text, const juce::Font& font,
                                      juce::Justification justification)
{
    auto label = std::make_unique<juce::Label>();
    label->setText(juce::String(text), juce::dontSendNotification);
    label->setFont(font);
    label->setJustificationType(justification);
    label->setColour(juce::Label::textColourId, constant::NORMAL_TEXT_COLOUR);
    return label;
}

} // namespace

TroubleshootingPageView::TroubleshootingPageView()
{
    titleLabel = makeText(k_pageTitle, constant::DEFAULT_TITLE_FONT, juce::Justification::centred);
    addAndMakeVisible(titleLabel.get());

    for (const auto& tip : k_infoList) {
        tipLabels.push_back(makeText(tip, constant::DEFAULT_TEXT_FONT, juce::Justification::left));
        addAndMakeVisible(tipLabels.back().get());
    }

    descriptionLabel = makeText(k_modeDescription, constant::DEFAULT_TEXT_FONT, juce::Justification::centred);
    addAndMakeVisible(descriptionLabel.get());

    retryButton = std::make_unique<juce::TextButton>();
    retryButton->setButtonText(juce::String(k_retryButtonText));
    retryButton->setColour(juce::TextButton::textColourOnId, juce::Colour(0xff282828));
    retryButton->setColour(juce::TextButton::buttonColourId, juce::Colour(0xffe4af09));
    retryButton->setLookAndFeel(&buttonLookAndFeel);
    addAndMakeVisible(retryButton.get());

    // Lies 1 px around the mode button, which covers all but its edge.
    frameButton = std::make_unique<juce::TextButton>();
    frameButton->setColour(juce::TextButton::buttonColourId, constant::RED_TEXT_COLOUR);
    frameButton->setColour(juce::TextButton::buttonOnColourId, constant::RED_TEXT_COLOUR);
    frameButton->setLookAndFeel(&buttonLookAndFeel);
    addAndMakeVisible(frameButton.get());

    modeButton = std::make_unique<juce::TextButton>();
    modeButton->setButtonText(juce::String(k_troubleshootingModeText));
    modeButton->setColour(juce::TextButton::buttonColourId, juce::Colour(0xff111111));
    modeButton->setColour(juce::TextButton::textColourOffId, constant::RED_TEXT_COLOUR);
    modeButton->setColour(juce::TextButton::textColourOnId, juce::Colour(0xffffffff));
    modeButton->setLookAndFeel(&buttonLookAndFeel);
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
