#include "InitialDeviceInfoView.h"

#include "Constant.h"

InitialDeviceInfoView::InitialDeviceInfoView()
{
    titleLabel = std::make_unique<juce::Label>();
    titleLabel->setText(juce::String(constant::k_title), juce::dontSendNotification);
    titleLabel->setFont(constant::DEFAULT_TITLE_FONT);
    titleLabel->setColour(juce::Label::textColourId, constant::NORMAL_TEXT_COLOUR);
    titleLabel->setJustificationType(juce::Justification::horizontallyCentred);

    actionButton = std::make_unique<juce::TextButton>();
    actionButton->setButtonText(juce::String(constant::k_connectButtonText));
    actionButton->setColour(juce::TextButton::textColourOffId, juce::Colour(0xffffffff));
    actionButton->setColour(juce::TextButton::buttonColourId, juce::Colour(0xffe02020));
    actionButton->setLookAndFeel(&buttonLookAndFeel);
    actionButton->setMouseCursor(juce::MouseCursor::PointingHandCursor);

    subtitleLabel = std::make_unique<juce::Label>();
    subtitleLabel->setText(juce::String(constant::k_subtitle), juce::dontSendNotification);
    subtitleLabel->setFont(constant::DEFAULT_TEXT_FONT);
    subtitleLabel->setColour(juce::Label::textColourId, constant::LABEL_TEXT_COLOUR);
    subtitleLabel->setJustificationType(juce::Justification::horizontallyCentred);

    // Built, laid out and routed, but deliberately not added: the page offers
    // no way into the troubleshooting page.
    troubleshootingLinkButton = std::make_unique<juce::TextButton>();

    learnMoreButton = std::make_unique<juce::TextButton>();
    learnMoreButton->setButtonText("Learn more about Kovra TIKO");
    helpCenterButton = std::make_unique<juce::TextButton>();
    helpCenterButton->setButtonText("Help Center");
    for (auto* link : {learnMoreButton.get(), helpCenterButton.get()}) {
        link->setColour(juce::TextButton::textColourOffId, constant::NORMAL_TEXT_COLOUR);
        link->setColour(juce::TextButton::buttonColourId, juce::Colour(0x00000000));
        link->setLookAndFeel(&linkLookAndFeel);
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
