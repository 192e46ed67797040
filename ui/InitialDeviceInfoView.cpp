#include "ui/InitialDeviceInfoView.h"

#include "ui/Constant.h"
#include "ui/ViewWidgets.h"

InitialDeviceInfoView::InitialDeviceInfoView()
{
    titleLabel = viewwidgets::makeLabel(juce::String(constant::k_title), constant::DEFAULT_TITLE_FONT,
                                        constant::NORMAL_TEXT_COLOUR, juce::Justification::horizontallyCentred);

    actionButton = viewwidgets::makeWhiteCaptionButton(juce::String(constant::k_connectButtonText),
                                                       juce::Colour(0xffe02020), buttonLookAndFeel);
    actionButton->setMouseCursor(juce::MouseCursor::PointingHandCursor);

    subtitleLabel = viewwidgets::makeLabel(juce::String(constant::k_subtitle), constant::DEFAULT_TEXT_FONT,
                                           constant::LABEL_TEXT_COLOUR, juce::Justification::horizontallyCentred);

    // Built, laid out and routed, but deliberately not added: the page offers
    // no way into the troubleshooting page.
    troubleshootingLinkButton = std::make_unique<juce::TextButton>();

    learnMoreButton = viewwidgets::makeButton("Learn more about Kovra TIKO", juce::Colour(0x00000000), linkLookAndFeel);
    helpCenterButton = viewwidgets::makeButton("Help Center", juce::Colour(0x00000000), linkLookAndFeel);
    for (auto* link : {learnMoreButton.get(), helpCenterButton.get()}) {
        link->setColour(juce::TextButton::textColourOffId, constant::NORMAL_TEXT_COLOUR);
        link->setMouseCursor(juce::MouseCursor::PointingHandCursor);
    }

    addAndMakeVisible(titleLabel.get());
    addAndMakeVisible(actionButton.get());
    addAndMakeVisible(subtitleLabel.get());
    addAndMakeVisible(learnMoreButton.get());
    addAndMakeVisible(helpCenterButton.get());
}

InitialDeviceInfoView::~InitialDeviceInfoView() = default;

void InitialDeviceInfoView::resized()
{
    const int w = getWidth();
    const int h = getHeight();

    titleLabel->setSize(w, 80);
    subtitleLabel->setSize(w, 80);
    actionButton->setBounds(62, actionButton->getY(), w - 124, actionButton->getHeight());

    juce::StretchableLayoutManager across;
    across.setItemLayout(0, w, w, w);
    juce::Component* title[] = {titleLabel.get()};
    across.layOutComponents(title, 1, 0, 0, w, 80, false, true);

    layout.setItemLayout(0, 0, 80, 80);
    layout.setItemLayout(1, 40, 60, 60);
    layout.setItemLayout(2, 40, 40, 40);
    juce::Component* texts[] = {titleLabel.get(), subtitleLabel.get(), actionButton.get()};
    layout.layOutComponents(texts, 3, 0, 38, w, 180, true, false);

    troubleshootingLinkButton->setSize(w, helpCenterButton->getHeight());
    learnMoreButton->setSize(w, helpCenterButton->getHeight());
    helpCenterButton->setSize(w, helpCenterButton->getHeight());

    // The links reuse the three items above, refitted into the space below.
    const int b = actionButton->getBottom();
    juce::Component* hidden[] = {troubleshootingLinkButton.get()};
    layout.layOutComponents(hidden, 1, 0, b + 43, w, h - b - 76, true, false);
    juce::Component* links[] = {learnMoreButton.get(), helpCenterButton.get()};
    layout.layOutComponents(links, 2, 0, b + 80, w, h - b - 76, true, false);
}
