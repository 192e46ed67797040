#include "ui/PythonInstallInfoView.h"

#include "ui/Constant.h"
#include "ui/ViewWidgets.h"

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
    titleLabel = viewwidgets::makeLabel(juce::String(k_pythonInstallTitle), constant::DEFAULT_TITLE_FONT,
                                        constant::NORMAL_TEXT_COLOUR, juce::Justification::horizontallyCentred);
    addAndMakeVisible(titleLabel.get());
    layout.setItemLayout(0, 70, 70, 70);

    subtitleLabel = viewwidgets::makeLabel(juce::String(k_pythonInstallSubtitle), constant::DEFAULT_TEXT_FONT,
                                           constant::LABEL_TEXT_COLOUR, juce::Justification::horizontallyCentred);
    addAndMakeVisible(subtitleLabel.get());
    layout.setItemLayout(1, 70, 70, 70);

    proceedButton = viewwidgets::makeWhiteCaptionButton("Proceed", constant::RED_TEXT_COLOUR, buttonLookAndFeel);
    addAndMakeVisible(proceedButton.get());
    cancelButton = viewwidgets::makeWhiteCaptionButton("Cancel", juce::Colour(0xff505050), buttonLookAndFeel);
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
