#include "ui/PythonInstallInfoView.h"

#include "tests/views/ViewTest.h"
#include "ui/Constant.h"

namespace {

using Rect = juce::Rectangle<int>;

class PythonPageTest : public ViewTest {
protected:
    PythonInstallInfoView page;
};

TEST_F(PythonPageTest, TextsDecodeTheirCurlyQuotes)
{
    EXPECT_EQ(page.titleLabel->getText(), juce::String("Additional Software Required"));

    const auto subtitle = page.subtitleLabel->getText();
    EXPECT_EQ(subtitle.length(), 192);
    EXPECT_TRUE(subtitle.contains(juce::String(juce::CharPointer_UTF8("click \xe2\x80\x98Proceed\xe2\x80\x99 and"))));
    EXPECT_TRUE(subtitle.contains(juce::String(juce::CharPointer_UTF8("we\xe2\x80\x99ll install it for you."))));
    EXPECT_TRUE(subtitle.startsWith("This updater requires Python 2 to be installed on your Mac"));
    EXPECT_EQ(subtitle.toStdString().size(), 198u);
}

TEST_F(PythonPageTest, WidgetsLook)
{
    expectLabel(*page.titleLabel, constant::DEFAULT_TITLE_FONT, constant::NORMAL_TEXT_COLOUR,
                juce::Justification::horizontallyCentred);
    expectLabel(*page.subtitleLabel, constant::DEFAULT_TEXT_FONT, constant::LABEL_TEXT_COLOUR,
                juce::Justification::horizontallyCentred);

    const juce::Colour white(0xffffffff);
    expectButton(*page.proceedButton, "Proceed", constant::RED_TEXT_COLOUR, white, page.buttonLookAndFeel);
    expectButton(*page.cancelButton, "Cancel", juce::Colour(0xff505050), white, page.buttonLookAndFeel);

    const std::vector<juce::Component*> expected = {page.titleLabel.get(), page.subtitleLabel.get(),
                                                    page.proceedButton.get(), page.cancelButton.get()};
    EXPECT_EQ(childrenOf(page), expected);
}

// The subtitle, laid out last, reaches down to a third of the page when
// that lies below its own 70 px.
TEST_F(PythonPageTest, LayoutAtTwoHeights)
{
    struct Case {
        int height;
        int subtitleHeight;
        int proceedY;
        int cancelY;
    };
    for (const auto& c : {Case{445, 70, 296, 341}, Case{667, 114, 444, 489}}) {
        SCOPED_TRACE(c.height);
        page.setBounds(0, 0, 375, c.height);
        EXPECT_EQ(page.titleLabel->getBounds(), Rect(0, 38, 375, 70));
        EXPECT_EQ(page.subtitleLabel->getBounds(), Rect(0, 108, 375, c.subtitleHeight));
        EXPECT_EQ(page.proceedButton->getBounds(), Rect(40, c.proceedY, 295, 40));
        EXPECT_EQ(page.cancelButton->getBounds(), Rect(40, c.cancelY, 295, 40));
    }
}

} // namespace
