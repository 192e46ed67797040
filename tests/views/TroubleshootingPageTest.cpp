#include "ui/TroubleshootingPageView.h"

#include "tests/views/ViewTest.h"
#include "ui/Constant.h"

namespace {

using Rect = juce::Rectangle<int>;

const juce::Colour greyMark{0xff646464};

class TroubleshootingPageTest : public ViewTest {
protected:
    TroubleshootingPageTest() { page.setSize(375, 627); }
    TroubleshootingPageView page;
};

TEST_F(TroubleshootingPageTest, TextsInOrder)
{
    EXPECT_EQ(page.titleLabel->getText(), juce::String("Firmware Update Troubleshooting"));
    const char* tips[] = {
        "Make sure to install the ASIO driver first then try again (for Windows User).",
        "Make sure to run the firmware updater with system administrator privilege.",
        "If the computer doesn't recognize your Kovra, try unplugging and replugging the Kovra USB cable.",
        "Try another USB port, then rerun firmware updater.",
        "Try to reinstall the firmware. Click on \"Eject\" button at the end of the procedure and unplug the USB "
        "cable.",
    };
    ASSERT_EQ(page.tipLabels.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(page.tipLabels[i]->getText(), juce::String(tips[i])) << i;
    EXPECT_EQ(page.descriptionLabel->getText(),
              juce::String("If all steps above can't fix your issue. You may try to reinstall the firmware in "
                           "Troubleshooting Mode."));
    EXPECT_EQ(page.retryButton->getButtonText(), juce::String("Go Back & Retry"));
    EXPECT_TRUE(page.frameButton->getButtonText().isEmpty());
    EXPECT_EQ(page.modeButton->getButtonText(), juce::String("Reinstall in Troubleshooting Mode"));
}

TEST_F(TroubleshootingPageTest, WidgetsLook)
{
    const auto text = constant::NORMAL_TEXT_COLOUR;
    expectLabel(*page.titleLabel, constant::DEFAULT_TITLE_FONT, text, juce::Justification::centred);
    for (auto& tip : page.tipLabels)
        expectLabel(*tip, constant::DEFAULT_TEXT_FONT, text, juce::Justification::left);
    expectLabel(*page.descriptionLabel, constant::DEFAULT_TEXT_FONT, text, juce::Justification::centred);

    using TB = juce::TextButton;
    EXPECT_EQ(page.retryButton->findColour(TB::buttonColourId), juce::Colour(0xffe4af09));
    EXPECT_EQ(page.retryButton->findColour(TB::textColourOnId), juce::Colour(0xff282828));
    EXPECT_EQ(page.frameButton->findColour(TB::buttonColourId), constant::RED_TEXT_COLOUR);
    EXPECT_EQ(page.frameButton->findColour(TB::buttonOnColourId), constant::RED_TEXT_COLOUR);
    EXPECT_EQ(page.modeButton->findColour(TB::buttonColourId), juce::Colour(0xff111111));
    EXPECT_EQ(page.modeButton->findColour(TB::textColourOffId), constant::RED_TEXT_COLOUR);
    EXPECT_EQ(page.modeButton->findColour(TB::textColourOnId), juce::Colour(0xffffffff));
    for (auto* button : {page.retryButton.get(), page.frameButton.get(), page.modeButton.get()})
        EXPECT_EQ(&button->getLookAndFeel(), &page.buttonLookAndFeel);
}

TEST_F(TroubleshootingPageTest, PositionsWithFiveTips)
{
    const int tipYs[] = {120, 175, 230, 285, 340};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(page.tipLabels[i]->getBounds(), Rect(16, tipYs[i], 359, 40)) << i;
    EXPECT_EQ(page.titleLabel->getBounds(), Rect(0, 10, 375, 80));
    EXPECT_EQ(page.retryButton->getBounds(), Rect(0, 415, 375, 40));
    EXPECT_EQ(page.descriptionLabel->getBounds(), Rect(0, 495, 375, 40));
    EXPECT_EQ(page.frameButton->getBounds(), Rect(0, 545, 375, 40));
    EXPECT_EQ(page.modeButton->getBounds(), Rect(1, 546, 373, 38));

    // Only the width moves anything.
    page.setSize(300, 400);
    EXPECT_EQ(page.tipLabels[4]->getBounds(), Rect(16, 340, 284, 40));
    EXPECT_EQ(page.modeButton->getBounds(), Rect(1, 546, 298, 38));
}

// The mode button lies above its frame, and the frame's 1-px edge answers
// to nobody.
TEST_F(TroubleshootingPageTest, FrameLiesUnderTheModeButton)
{
    const std::vector<juce::Component*> tail = {page.retryButton.get(), page.frameButton.get(), page.modeButton.get()};
    const auto children = childrenOf(page);
    ASSERT_EQ(children.size(), 10u);
    EXPECT_EQ(children[0], page.titleLabel.get());
    EXPECT_EQ(children[6], page.descriptionLabel.get());
    EXPECT_EQ(std::vector<juce::Component*>(children.begin() + 7, children.end()), tail);

    page.setVisible(true); // hit-testing skips hidden components
    EXPECT_EQ(page.getComponentAt(187, 565), page.modeButton.get());
    EXPECT_EQ(page.getComponentAt(0, 565), page.frameButton.get());
    EXPECT_EQ(page.getComponentAt(187, 545), page.frameButton.get());
    EXPECT_FALSE(page.frameButton->onClick);
}

TEST_F(TroubleshootingPageTest, BulletsAndSeparatorPainted)
{
    const auto image = paintOwnLayer(page);
    for (int tipY : {120, 175, 230, 285, 340}) {
        SCOPED_TRACE(tipY);
        // A 10-px disc left of the tip, from 10 px below the tip's top.
        EXPECT_EQ(image.getPixelAt(5, tipY + 15), greyMark);
        EXPECT_TRUE(isClear(image, 5, tipY + 8));
        EXPECT_TRUE(isClear(image, 5, tipY + 22));
        EXPECT_TRUE(isClear(image, 12, tipY + 15));
    }

    for (int x : {0, 187, 374})
        EXPECT_EQ(image.getPixelAt(x, 475), greyMark) << x;
    EXPECT_TRUE(isClear(image, 187, 474));
    EXPECT_TRUE(isClear(image, 187, 476));
}

} // namespace
