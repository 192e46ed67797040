#include "BareXServer.h"
#include "Constant.h"
#include "MessageToast.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

// JUCE's timers count whole milliseconds of their own counter.
constexpr long long slackMs = 20;

// A window on the X display with the toast over its lower part, as the main
// component places it, and a real message loop.
class MessageToastTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(haveDisplay) << "these tests need an X display (DISPLAY)";
        ASSERT_NE(juce::Desktop::getInstance().getDisplays().getPrimaryDisplay(), nullptr);
        window.setBounds(0, 0, 375, 667);
        window.addChildComponent(toast);
        toast.setBounds(40, 500, 295, 60);
    }

    void TearDown() override
    {
        juce::Desktop::getInstance().getAnimator().cancelAllAnimations(false);
    }

    void putOnScreen()
    {
        window.addToDesktop(0);
        window.setVisible(true);
        ASSERT_TRUE(waitFor([&] { return window.isShowing(); }, 3000));
    }

    // Runs the message loop until the condition holds or the time is up.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (Clock::now() > end)
                return false;
            juce::MessageManager::getInstance()->runDispatchLoopUntil(5);
        }
        return true;
    }

    static void runFor(int ms) { waitFor([] { return false; }, ms); }

    static long long msSince(Clock::time_point start)
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    }

    // The fading snapshot is the window's other child.
    int snapshots() const { return window.getNumChildComponents() - 1; }

    bool animating() { return juce::Desktop::getInstance().getAnimator().isAnimating(&toast); }

    // Before JUCE's initialiser, which reads the atoms once.
    const bool haveDisplay = prepareBareXServer();
    juce::ScopedJuceInitialiser_GUI gui;
    juce::Component window;
    MessageToast toast;
};

TEST_F(MessageToastTest, StartsHiddenAndOpaqueWithItsLabel)
{
    EXPECT_FALSE(toast.isVisible());
    EXPECT_EQ(toast.getAlpha(), 1.0f);
    ASSERT_NE(toast.messageLabel, nullptr);
    EXPECT_EQ(toast.messageLabel->getParentComponent(), &toast);
    EXPECT_TRUE(toast.messageLabel->isVisible());
    EXPECT_TRUE(toast.messageLabel->getText().isEmpty());
    EXPECT_TRUE(toast.messageLabel->getName().isEmpty());
    EXPECT_EQ(toast.messageLabel->getFont(), constant::EDIT_TEXT_FONT.get());
    EXPECT_EQ(toast.messageLabel->findColour(juce::Label::textColourId), constant::NORMAL_TEXT_COLOUR);
    EXPECT_EQ(toast.messageLabel->getJustificationType().getFlags(), 36);
    EXPECT_FALSE(toast.messageLabel->isColourSpecified(juce::Label::backgroundColourId));
    // The label covers the whole box.
    EXPECT_EQ(toast.messageLabel->getBounds(), toast.getLocalBounds());
}

TEST_F(MessageToastTest, PaintsADarkRoundedBox)
{
    juce::Image image{juce::Image::ARGB, toast.getWidth(), toast.getHeight(), true};
    {
        juce::Graphics g{image};
        toast.paint(g);
    }
    EXPECT_EQ(image.getPixelAt(0, 0).getAlpha(), 0);
    EXPECT_EQ(image.getPixelAt(toast.getWidth() - 1, toast.getHeight() - 1).getAlpha(), 0);
    EXPECT_EQ(image.getPixelAt(toast.getWidth() / 2, toast.getHeight() / 2), constant::TOAST_BACKGROUND_COLOUR);
    EXPECT_EQ(image.getPixelAt(8, 0), constant::TOAST_BACKGROUND_COLOUR);
}

TEST_F(MessageToastTest, OneDisplayFadesInStaysAndFadesOut)
{
    putOnScreen();
    toast.messageLabel->setText("hello", juce::dontSendNotification);
    const auto start = Clock::now();
    toast.show(1500);

    // Fading in.
    EXPECT_TRUE(toast.isVisible());
    EXPECT_LT(toast.getAlpha(), 1.0f);
    EXPECT_TRUE(animating());

    // Shown: fully opaque after 200 ms, well before the hiding time.
    ASSERT_TRUE(waitFor([&] { return toast.getAlpha() == 1.0f && !animating(); }, 1200));
    EXPECT_GE(msSince(start), 150);
    EXPECT_TRUE(toast.isVisible());

    // Fading out: the box hides at once and a snapshot of it fades.
    ASSERT_TRUE(waitFor([&] { return !toast.isVisible(); }, 5000));
    EXPECT_GE(msSince(start), 1500 - slackMs);
    EXPECT_EQ(snapshots(), 1);
    EXPECT_EQ(toast.getAlpha(), 1.0f);

    // Hidden: the snapshot gone, the box at alpha 0.
    ASSERT_TRUE(waitFor([&] { return snapshots() == 0; }, 3000));
    EXPECT_FALSE(toast.isVisible());
    EXPECT_EQ(toast.getAlpha(), 0.0f);
}

TEST_F(MessageToastTest, TheLaterShowAloneDecidesTheHidingTime)
{
    putOnScreen();
    // Longer first, shorter second: hides at the shorter time.
    auto start = Clock::now();
    toast.show(8000);
    toast.show(400);
    ASSERT_TRUE(waitFor([&] { return !toast.isVisible(); }, 6000));
    EXPECT_GE(msSince(start), 400 - slackMs);
    EXPECT_LT(msSince(start), 6000);
    ASSERT_TRUE(waitFor([&] { return snapshots() == 0; }, 3000));

    // Shorter first, longer second: still shown past the first time.
    start = Clock::now();
    toast.show(300);
    toast.show(2000);
    runFor(1000);
    EXPECT_TRUE(toast.isVisible());
    ASSERT_TRUE(waitFor([&] { return !toast.isVisible(); }, 6000));
    EXPECT_GE(msSince(start), 2000 - slackMs);
}

TEST_F(MessageToastTest, ShowWhileShownOnlyMovesTheHidingTime)
{
    putOnScreen();
    toast.show(1000);
    ASSERT_TRUE(waitFor([&] { return toast.getAlpha() == 1.0f && !animating(); }, 900));

    runFor(500);
    const auto start = Clock::now();
    toast.messageLabel->setText("changed", juce::dontSendNotification);
    toast.show(1500);
    EXPECT_EQ(toast.getAlpha(), 1.0f); // no new fade
    EXPECT_FALSE(animating());
    EXPECT_EQ(toast.messageLabel->getText(), "changed");

    ASSERT_TRUE(waitFor([&] { return !toast.isVisible(); }, 8000));
    EXPECT_GE(msSince(start), 1500 - slackMs);
}

TEST_F(MessageToastTest, ShowWhileFadingInRestartsTheFade)
{
    putOnScreen();
    toast.show(3000);
    ASSERT_TRUE(waitFor([&] { return toast.getAlpha() > 0.0f; }, 1000));
    if (toast.getAlpha() == 1.0f)
        GTEST_SKIP() << "the loop missed the whole fade";
    const auto start = Clock::now();
    toast.show(3000);
    EXPECT_EQ(toast.getAlpha(), 0.0f);
    EXPECT_TRUE(animating());
    ASSERT_TRUE(waitFor([&] { return toast.getAlpha() == 1.0f; }, 2000));
    EXPECT_GE(msSince(start), 150);
}

TEST_F(MessageToastTest, ShowWhileFadingOutDropsTheSnapshotAndFadesIn)
{
    putOnScreen();
    toast.show(300);
    ASSERT_TRUE(waitFor([&] { return !toast.isVisible(); }, 5000));
    ASSERT_EQ(snapshots(), 1);

    toast.show(3000);
    EXPECT_EQ(snapshots(), 0);
    EXPECT_TRUE(toast.isVisible());
    EXPECT_EQ(toast.getAlpha(), 0.0f);
    ASSERT_TRUE(waitFor([&] { return toast.getAlpha() == 1.0f; }, 2000));
    EXPECT_TRUE(toast.isVisible());
}

TEST_F(MessageToastTest, NotOnScreenHidesWithoutAFade)
{
    // The window never reaches the desktop, so the box never shows on screen.
    toast.show(300);
    ASSERT_TRUE(waitFor([&] { return toast.getAlpha() == 1.0f && !animating(); }, 3000));
    ASSERT_TRUE(waitFor([&] { return !toast.isVisible(); }, 5000));
    EXPECT_EQ(snapshots(), 0);
    EXPECT_FALSE(animating());
    EXPECT_EQ(toast.getAlpha(), 1.0f);
}

TEST_F(MessageToastTest, DestroyedWhileItsSnapshotFades)
{
    putOnScreen();
    auto own = std::make_unique<MessageToast>();
    window.addChildComponent(*own);
    own->setBounds(10, 10, 100, 40);
    own->show(200);
    ASSERT_TRUE(waitFor([&] { return !own->isVisible(); }, 5000));
    own.reset();
    runFor(300);
    EXPECT_EQ(window.getNumChildComponents(), 1); // the snapshot was cleaned up
}

} // namespace
