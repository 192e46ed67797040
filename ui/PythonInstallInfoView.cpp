#include "PythonInstallInfoView.h"

#include "Constant.h"

#include <string>

namespace {

const std::string k_pythonInstallTitle = "Additional Software Required";
// UTF-8: curly quotes around Proceed and in "we'll".
const std::string k_pythonInstallSubtitle =
    "This updater requires Python 2 to be installed on your Mac in order to proceed with the Kovra TIKO "
    "firmware update. You may install it manually or click \xe2\x80\x98Proceed\xe2\x80\x99 and "
    "we\xe2\x80\x99ll install it for you.";

} // namespace

PythonInstallInfoView::PythonInstallInfoView()
{
    titleLabel = std::make_unique<juce::Label>();
    titleLabel->setFont(constant::DEFAULT_TITLE_FONT);
    titleLabel->setText(juce::String(k_pythonInstallTitle), juce::dontSendNotification);
    titleLabel->setJustificationType(juce::Justification::horizontallyCentred);
    titleLabel->setColour(juce::Label::textColourId, constant::NORMAL_TEXT_COLOUR);
    addAndMakeVisible(titleLabel.get());
    layout.setItemLayout(0, 70, 70, 70);

    subtitleLabel = std::make_unique<juce::Label>();
    subtitleLabel->setFont(constant::DEFAULT_TEXT_FONT);
    subtitleLabel->setText(juce::String(k_pythonInstallSubtitle), juce::dontSendNotification);
    subtitleLabel->setColour(juce::Label::textColourId, constant::LABEL_TEXT_COLOUR);
    subtitleLabel->setJustificationType(juce::Justification::horizontallyCentred);
    addAndMakeVisible(subtitleLabel.get());
    layout.setItemLayout(1, 70, 70, 70);

    proceedButton = std::make_unique<juce::TextButton>();
    proceedButton->setButtonText("Proceed");
    proceedButton->setColour(juce::TextButton::buttonColourId, constant::RED_TEXT_COLOUR);
    proceedButton->setColour(juce::TextButton::textColourOffId, juce::Colour(0xffffffff));
    proceedButton->setLookAndFeel(&buttonLookAndFeel);
    addAndMakeVisible(proceedButton.get());

    cancelButton = std::make_unique<juce::TextButton>();
    cancelButton->setButtonText("Cancel");
    cancelButton->setColour(juce::TextButton::buttonColourId, juce::Colour(0xff505050));
    cancelButton->setColour(juce::TextButton::textColourOffId, juce::Colour(0xffffffff));
    cancelButton->setLookAndFeel(&buttonLookAndFeel);
    addAndMakeVisible(cancelButton.get());
}

PythonInstallInfoView::~PythonInstallInfoView() = default;

void PythonInstallInfoView::resized()
{
    const int w = getWidth();
    const int h = getHeight();

    juce::Component* texts[] = {titleLabel.get(), subtitleLabel.get()};
    layout.layOutComponents(texts, 2, 0, 38, w, h / 3, true, true);

    proceedButton->setBounds(40, (2 * h) / 3, w - 80, 40);
    cancelButton->setBounds(40, proceedButton->getBottom() + 5, w - 80, 40);
}
