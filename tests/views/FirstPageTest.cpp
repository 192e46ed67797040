#include "ui/InitialDeviceInfoView.h"

#include "tests/views/ViewTest.h"
#include "ui/Constant.h"

namespace {

using Rect = juce::Rectangle<int>;

class FirstPageTest : public ViewTest {
protected:
    InitialDeviceInfoView page;
};

TEST_F(FirstPageTest, WidgetsCarryTheirTextsColoursFontsAndLooks)
{
    const juce::String title(constant::k_title), subtitle(constant::k_subtitle);
    EXPECT_EQ(page.titleLabel->getText(), title);
    expectLabel(*page.titleLabel, constant::DEFAULT_TITLE_FONT, constant::NORMAL_TEXT_COLOUR,
                juce::Justification::horizontallyCentred);

    EXPECT_EQ(page.subtitleLabel->getText(), subtitle);
    expectLabel(*page.subtitleLabel, constant::DEFAULT_TEXT_FONT, constant::LABEL_TEXT_COLOUR,
                juce::Justification::horizontallyCentred);

    expectButton(*page.actionButton, juce::String(constant::k_connectButtonText), juce::Colour(0xffe02020),
                 juce::Colour(0xffffffff), page.buttonLookAndFeel);
    expectButton(*page.learnMoreButton, "Learn more about Kovra TIKO", juce::Colour(0x00000000),
                 constant::NORMAL_TEXT_COLOUR, page.linkLookAndFeel);
    expectButton(*page.helpCenterButton, "Help Center", juce::Colour(0x00000000), constant::NORMAL_TEXT_COLOUR,
                 page.linkLookAndFeel);
    for (auto* button : {page.actionButton.get(), page.learnMoreButton.get(), page.helpCenterButton.get()})
        EXPECT_TRUE(button->getMouseCursor() == juce::MouseCursor::PointingHandCursor);
    EXPECT_TRUE(page.actionButton->isEnabled());
}

TEST_F(FirstPageTest, ChildrenInOrderWithoutTheTroubleshootingLink)
{
    const std::vector<juce::Component*> expected = {page.titleLabel.get(), page.actionButton.get(),
                                                    page.subtitleLabel.get(), page.learnMoreButton.get(),
                                                    page.helpCenterButton.get()};
    EXPECT_EQ(childrenOf(page), expected);
    for (auto* child : expected)
        EXPECT_TRUE(child->isVisible());

    EXPECT_EQ(page.troubleshootingLinkButton->getParentComponent(), nullptr);
    EXPECT_TRUE(page.troubleshootingLinkButton->getButtonText().isEmpty());
}

// The links follow the action button whatever the page's height.
TEST_F(FirstPageTest, LinksFollowTheActionButton)
{
    for (int height : {400, 487, 667}) {
        SCOPED_TRACE(height);
        page.setBounds(0, 0, 375, height);

        EXPECT_EQ(page.titleLabel->getBounds(), Rect(0, 38, 375, 80));
        EXPECT_EQ(page.subtitleLabel->getBounds(), Rect(0, 118, 375, 60));
        EXPECT_EQ(page.actionButton->getBounds(), Rect(62, 178, 251, 40));

        const auto learnMore = page.learnMoreButton->getBounds();
        EXPECT_EQ(learnMore.getPosition(), juce::Point<int>(0, 298));
        EXPECT_EQ(learnMore.getWidth(), 375);
        EXPECT_GT(learnMore.getHeight(), 0);
        EXPECT_EQ(page.helpCenterButton->getX(), 0);
        EXPECT_EQ(page.helpCenterButton->getY(), learnMore.getBottom());
        EXPECT_EQ(page.helpCenterButton->getWidth(), 375);

        EXPECT_EQ(page.troubleshootingLinkButton->getPosition(), juce::Point<int>(0, 261));
        EXPECT_EQ(page.troubleshootingLinkButton->getWidth(), 375);
    }
}

TEST_F(FirstPageTest, RefillingTheTextsMovesNothing)
{
    page.setBounds(0, 0, 375, 487);
    const auto before =
        std::vector<Rect>{page.titleLabel->getBounds(), page.subtitleLabel->getBounds(), page.actionButton->getBounds(),
                          page.learnMoreButton->getBounds(), page.helpCenterButton->getBounds()};

    page.titleLabel->setText(juce::String(constant::k_promptTitle), juce::dontSendNotification);
    page.subtitleLabel->setText(juce::String(constant::k_promptSubtitle), juce::dontSendNotification);
    page.actionButton->setButtonText(juce::String(constant::k_goBackButtonText));
    page.actionButton->setEnabled(false);

    const auto after =
        std::vector<Rect>{page.titleLabel->getBounds(), page.subtitleLabel->getBounds(), page.actionButton->getBounds(),
                          page.learnMoreButton->getBounds(), page.helpCenterButton->getBounds()};
    EXPECT_EQ(after, before);
}

} // namespace
