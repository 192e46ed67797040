#include "ui/FirmwareUpdateProgressView.h"

#include "tests/support/window/ProgressValues.h"
#include "tests/views/ViewTest.h"
#include "ui/Constant.h"

namespace {

using Rect = juce::Rectangle<int>;

class ProgressPageTest : public ViewTest {
protected:
    FirmwareUpdateProgressView page;
};

TEST_F(ProgressPageTest, StartsAtZeroWithTheFirmwareTitle)
{
    EXPECT_EQ(page.titleLabel->getText(), juce::String("Updating Firmware... 0%"));
    EXPECT_EQ(page.progress, 0.0);
    EXPECT_EQ(page.progressNow(), 0.0);
    EXPECT_FALSE(page.pythonMode);
}

TEST_F(ProgressPageTest, WidgetsLook)
{
    expectLabel(*page.titleLabel, constant::DEFAULT_TITLE_FONT, juce::Colour(0xffffffff), juce::Justification::centred);

    EXPECT_EQ(page.warningLabel->getText(), juce::String("Please do not disconnect the USB cable, and do not turn "
                                                         "off the Kovra TIKO or your PC/Mac."));
    expectLabel(*page.warningLabel, constant::DEFAULT_TEXT_FONT, juce::Colour(0xff646464),
                juce::Justification::centred);

    EXPECT_EQ(page.progressBar->findColour(juce::ProgressBar::backgroundColourId), juce::Colour(0xff646464));
    EXPECT_EQ(page.progressBar->findColour(juce::ProgressBar::foregroundColourId), constant::RED_TEXT_COLOUR);
    EXPECT_EQ(&page.progressBar->getLookAndFeel(), &page.progressBarLookAndFeel);

    const std::vector<juce::Component*> expected = {page.titleLabel.get(), page.warningLabel.get(),
                                                    page.progressBar.get()};
    EXPECT_EQ(childrenOf(page), expected);
}

// Halfway cases round to the even neighbour.
TEST_F(ProgressPageTest, TitleShowsTheRoundedPercentage)
{
    struct Case {
        double fraction;
        const char* title;
    };
    const Case cases[] = {
        {0.125, "Updating Firmware... 12%"}, {0.375, "Updating Firmware... 38%"}, {1.0, "Updating Firmware... 100%"},
        {0.02, "Updating Firmware... 2%"},   {0.404, "Updating Firmware... 40%"}, {0.0, "Updating Firmware... 0%"},
    };
    page.setSize(375, 400);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fraction);
        page.setProgress(c.fraction);
        EXPECT_EQ(page.titleLabel->getText(), juce::String(c.title));
        EXPECT_EQ(page.progress, c.fraction);
        EXPECT_EQ(page.progressNow(), c.fraction);
    }
}

TEST_F(ProgressPageTest, PythonTitleOnlyFromTheNextSetProgress)
{
    page.setProgress(0.3);
    page.pythonMode = true;
    EXPECT_EQ(page.titleLabel->getText(), juce::String("Updating Firmware... 30%"));

    page.setProgress(0.0);
    EXPECT_EQ(page.titleLabel->getText(), juce::String("Installing Python... 0%"));
    page.setProgress(0.5);
    EXPECT_EQ(page.titleLabel->getText(), juce::String("Installing Python... 50%"));

    page.pythonMode = false;
    page.setProgress(0.5);
    EXPECT_EQ(page.titleLabel->getText(), juce::String("Updating Firmware... 50%"));
}

// The bar is 5 px high, 40 px below the title and 40 px above the warning.
TEST_F(ProgressPageTest, BarSitsBetweenTitleAndWarningAtEverySize)
{
    for (const auto& size : {juce::Point<int>(375, 627), juce::Point<int>(200, 100), juce::Point<int>(900, 1000)}) {
        SCOPED_TRACE(size.toString());
        page.setSize(size.x, size.y);
        const int inner = size.x - 80;
        EXPECT_EQ(page.titleLabel->getBounds(), Rect(40, 40, inner, 40));
        EXPECT_EQ(page.progressBar->getBounds(), Rect(40, 120, inner, 5));
        EXPECT_EQ(page.warningLabel->getBounds(), Rect(40, 165, inner, 40));
    }
}

// Every fraction set reaches a listener, in order, repeats and steps back
// included, from inside setProgress: the page has taken it by then. One that
// is gone hears nothing more.
TEST_F(ProgressPageTest, ListenersHearEveryFractionSet)
{
    std::vector<double> heard;
    std::vector<juce::String> titles;
    std::vector<double> fractions;
    for (int i = 0; i <= 40; ++i)
        fractions.push_back(i / 40.0);
    fractions.push_back(0.3);
    fractions.push_back(0.3);
    {
        ProgressValues values(page, heard);
        values.onValue = [&](double) { titles.push_back(page.titleLabel->getText()); };
        for (double f : fractions)
            page.setProgress(f);
    }
    page.setProgress(0.9);

    EXPECT_EQ(heard, fractions);
    ASSERT_EQ(titles.size(), fractions.size());
    EXPECT_EQ(titles[20], juce::String("Updating Firmware... 50%"));
    EXPECT_EQ(titles.back(), juce::String("Updating Firmware... 30%"));
    // The list in a failure message is whole, past gtest's 32 entries.
    const std::string text = listed(heard);
    EXPECT_NE(text.find("43 values: { 0, 0.025, "), std::string::npos) << text;
    EXPECT_NE(text.find(", 0.975, 1, 0.3 x2 }"), std::string::npos) << text;
}

// Records the value the bar was last drawn at.
class RecordingBarLook : public juce::LookAndFeel_V2 {
public:
    void drawProgressBar(juce::Graphics&, juce::ProgressBar&, int, int, double progress, const juce::String&) override
    {
        drawnAt = progress;
    }
    double drawnAt = -1.0;
};

double drawnValue(juce::ProgressBar& bar, RecordingBarLook& look)
{
    juce::Image image(juce::Image::ARGB, bar.getWidth(), bar.getHeight(), true);
    juce::Graphics g(image);
    bar.paintEntireComponent(g, true);
    return look.drawnAt;
}

// The framework's bar catches up with its value on a 30 ms timer of its own.
// The page starts hidden and stays hidden most of the program's life: there
// the timer must rest (no wake-ups), and once the page shows the bar follows.
TEST_F(ProgressPageTest, BarFollowsItsValueOnlyWhileThePageIsVisible)
{
    RecordingBarLook look;
    page.progressBar->setLookAndFeel(&look);
    page.setSize(375, 400);
    auto drawnAtHalfWithin = [&](int ms) {
        const auto end = juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(ms);
        while (drawnValue(*page.progressBar, look) != 0.5 && juce::Time::getMillisecondCounter() < end)
            juce::MessageManager::getInstance()->runDispatchLoopUntil(5);
        return drawnValue(*page.progressBar, look) == 0.5;
    };

    page.setProgress(0.5);
    // A running timer would have moved the bar within its first 30 ms tick.
    juce::MessageManager::getInstance()->runDispatchLoopUntil(500);
    EXPECT_EQ(drawnValue(*page.progressBar, look), 0.0);

    page.setVisible(true);
    EXPECT_TRUE(drawnAtHalfWithin(10000));

    page.setVisible(false);
    page.setProgress(0.0);
    juce::MessageManager::getInstance()->runDispatchLoopUntil(500);
    EXPECT_EQ(drawnValue(*page.progressBar, look), 0.5);
    page.progressBar->setLookAndFeel(&page.progressBarLookAndFeel);
}

} // namespace
