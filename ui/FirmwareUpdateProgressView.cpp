#include "ui/FirmwareUpdateProgressView.h"

#include "ui/Constant.h"
#include "ui/ViewWidgets.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// Both end with a blank, so the percentage follows after exactly one.
const std::string k_progressTitle = "Updating Firmware... ";
const std::string k_pythonProgressTitle = "Installing Python... ";

juce::String titleFor(bool pythonMode, double fraction)
{
    const long percent = std::lrint(fraction * 100.0);
    return juce::String(pythonMode ? k_pythonProgressTitle : k_progressTitle) + juce::String(percent) + "%";
}

} // namespace

FirmwareUpdateProgressView::FirmwareUpdateProgressView()
{
    progress = 0.0;
    pythonMode = false;
    sharedProgress.store(0.0);

    titleLabel = viewwidgets::makeLabel(titleFor(false, 0.0), constant::DEFAULT_TITLE_FONT, juce::Colour(0xffffffff),
                                        juce::Justification::centred);
    addAndMakeVisible(titleLabel.get());

    warningLabel = viewwidgets::makeLabel(
        "Please do not disconnect the USB cable, and do not turn off the Kovra TIKO or your PC/Mac.",
        constant::DEFAULT_TEXT_FONT, juce::Colour(0xff646464), juce::Justification::centred);
    addAndMakeVisible(warningLabel.get());

    progressBar = std::make_unique<juce::ProgressBar>(progress);
    progressBar->setColour(juce::ProgressBar::backgroundColourId, juce::Colour(0xff646464));
    progressBar->setColour(juce::ProgressBar::foregroundColourId, constant::RED_TEXT_COLOUR);
    progressBar->setLookAndFeel(&progressBarLookAndFeel);
    addChildComponent(progressBar.get());
    progressBar->setVisible(isVisible());
}

FirmwareUpdateProgressView::~FirmwareUpdateProgressView() = default;

void FirmwareUpdateProgressView::resized()
{
    const int w = getWidth();
    titleLabel->setBounds(40, 40, w - 80, 40);
    progressBar->setBounds(40, titleLabel->getBottom() + 40, w - 80, 5);
    warningLabel->setBounds(40, progressBar->getBottom() + 40, w - 80, 40);
}

void FirmwareUpdateProgressView::visibilityChanged() { progressBar->setVisible(isVisible()); }

void FirmwareUpdateProgressView::setProgress(double fraction)
{
    JUCE_ASSERT_MESSAGE_THREAD
    progress = fraction;
    sharedProgress.store(fraction);
    titleLabel->setText(titleFor(pythonMode, fraction), juce::dontSendNotification);
    resized();
    // A copy: a listener may remove itself when it is told.
    for (Listener* listener : std::vector<Listener*>(listeners))
        listener->progressSet(fraction);
}

void FirmwareUpdateProgressView::addListener(Listener* listener)
{
    JUCE_ASSERT_MESSAGE_THREAD
    listeners.push_back(listener);
}

void FirmwareUpdateProgressView::removeListener(Listener* listener)
{
    JUCE_ASSERT_MESSAGE_THREAD
    listeners.erase(std::remove(listeners.begin(), listeners.end(), listener), listeners.end());
}
