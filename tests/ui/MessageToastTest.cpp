#include "tests/support/BareXServer.h"
#include "tests/support/JuceTimerSlack.h"
#include "tests/support/VisibilityTimes.h"
#include "ui/Constant.h"
#include "ui/MessageToast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Watches a linear fade through its alpha, looked at after every turn of the
// message loop. The animator steps the fade at times of its own and sets the
// alpha to the share of the fade's length that its own millisecond count says
// has passed since the fade began; a step seen between two looks therefore
// bounds that length from both sides, however late the steps or the looks
// come on a loaded machine. The fade began between `earliest` and `latest`.
class FadeWatch {
public:
    FadeWatch(std::function<float()> alphaOf, float fromAlpha, float toAlpha, Clock::time_point fadeEarliest,
              Clock::time_point fadeLatest)
        : lastStepAfter(Clock::now()), alpha(std::move(alphaOf)), from(fromAlpha), to(toAlpha), earliest(fadeEarliest),
          latest(fadeLatest), last(this->alpha()), lastLook(lastStepAfter)
    {
    }

    // Runs the message loop until `done` holds or the time is up.
    bool runUntil(const std::function<bool()>& done, int timeoutMs)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (Clock::now() > end)
                return false;
            juce::MessageManager::getInstance()->runDispatchLoopUntil(1);
            look();
        }
        return true;
    }

    double atLeastMs = 0;
    double atMostMs = std::numeric_limits<double>::infinity();
    // The latest step seen ran after this.
    Clock::time_point lastStepAfter;

private:
    void look()
    {
        const auto now = Clock::now();
        const float value = alpha();
        if (value != last) {
            // Alpha is kept in steps of 1/255, the animator's count in whole ms.
            const double share = (value - from) / (to - from);
            const double shareError = 1.0 / 255 / std::abs(to - from);
            const double elapsedAtLeast = msBetween(latest, lastLook) - 1;
            const double elapsedAtMost = msBetween(earliest, now) + 1;
            if (share + shareError < 1)
                atLeastMs = std::max(atLeastMs, elapsedAtLeast / (share + shareError));
            if (share - shareError > 0)
                atMostMs = std::min(atMostMs, elapsedAtMost / (share - shareError));
            lastStepAfter = lastLook;
            last = value;
        }
        lastLook = now;
    }

    std::function<float()> alpha;
    float from;
    float to;
    Clock::time_point earliest;
    Clock::time_point latest;
    float last;
    Clock::time_point lastLook;
};

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

    void TearDown() override { juce::Desktop::getInstance().getAnimator().cancelAllAnimations(false); }

    void putOnScreen()
    {
        window.addToDesktop(0);
        window.setVisible(true);
        ASSERT_TRUE(waitFor([&] { return window.isShowing(); }, 3000));
    }

    // Shows the box for `ms`, noting when the call began and returned.
    void show(int ms)
    {
        shownFrom = Clock::now();
        toast.show(ms);
        shownTo = Clock::now();
    }

    // The time from the last show to the box's last hiding, as far as the
    // two can be told apart.
    double hiddenAfterAtLeastMs() const { return msBetween(shownTo, times.hidden.back()); }
    double hiddenAfterAtMostMs() const { return msBetween(shownFrom, times.hidden.back()); }
    void expectHiddenAfter(int ms) const
    {
        ASSERT_FALSE(times.hidden.empty());
        EXPECT_GE(hiddenAfterAtMostMs(), ms - juceTimerSlack::earlyMs);
        EXPECT_LE(hiddenAfterAtLeastMs(), ms + juceTimerSlack::lateMs);
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

    static void runFor(int ms)
    {
        waitFor([] { return false; }, ms);
    }

    // The fading snapshot is the window's other child.
    int snapshots() const { return window.getNumChildComponents() - 1; }
    float snapshotAlpha() const
    {
        for (int i = 0; i < window.getNumChildComponents(); ++i)
            if (window.getChildComponent(i) != &toast)
                return window.getChildComponent(i)->getAlpha();
        return 0.0f;
    }

    bool animating() { return juce::Desktop::getInstance().getAnimator().isAnimating(&toast); }

    // Before JUCE's initialiser, which reads the atoms once.
    const bool haveDisplay = prepareBareXServer();
    juce::ScopedJuceInitialiser_GUI gui;
    juce::Component window;
    MessageToast toast;
    VisibilityTimes times{toast};
    Clock::time_point shownFrom;
    Clock::time_point shownTo;
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
    show(1500);

    // Fading in.
    EXPECT_TRUE(toast.isVisible());
    EXPECT_LT(toast.getAlpha(), 1.0f);
    EXPECT_TRUE(animating());

    // Shown: fully opaque after 200 ms.
    FadeWatch fadeIn([&] { return toast.getAlpha(); }, 0.0f, 1.0f, shownFrom, shownTo);
    ASSERT_TRUE(fadeIn.runUntil([&] { return toast.getAlpha() == 1.0f && !animating(); }, 1200));
    EXPECT_LE(fadeIn.atLeastMs, 200);
    EXPECT_GE(fadeIn.atMostMs, 200);
    EXPECT_TRUE(toast.isVisible());

    // Fading out: the box hides at once and a snapshot of it fades.
    ASSERT_TRUE(waitFor([&] { return !toast.isVisible(); }, 5000));
    ASSERT_EQ(times.hidden.size(), 1u);
    expectHiddenAfter(1500);
    EXPECT_EQ(snapshots(), 1);
    EXPECT_EQ(toast.getAlpha(), 1.0f);

    // Hidden after 150 ms: the snapshot gone, the box at alpha 0.
    FadeWatch fadeOut([&] { return snapshotAlpha(); }, 1.0f, 0.0f, times.hidden.back(), Clock::now());
    ASSERT_TRUE(fadeOut.runUntil([&] { return snapshots() == 0; }, 3000));
    EXPECT_LE(fadeOut.atLeastMs, 150);
    EXPECT_GE(fadeOut.atMostMs, 150);
    EXPECT_FALSE(toast.isVisible());
    EXPECT_EQ(toast.getAlpha(), 0.0f);
}

TEST_F(MessageToastTest, TheLaterShowAloneDecidesTheHidingTime)
{
    putOnScreen();
    // Longer first, shorter second: hides at the shorter time.
    show(8000);
    show(400);
    ASSERT_TRUE(waitFor([&] { return !toast.isVisible(); }, 6000));
    expectHiddenAfter(400);
    ASSERT_TRUE(waitFor([&] { return snapshots() == 0; }, 3000));

    // Shorter first, longer second: still shown past the first time.
    show(300);
    show(2000);
    runFor(1000);
    EXPECT_TRUE(toast.isVisible());
    ASSERT_TRUE(waitFor([&] { return !toast.isVisible(); }, 6000));
    expectHiddenAfter(2000);
}

TEST_F(MessageToastTest, ShowWhileShownOnlyMovesTheHidingTime)
{
    putOnScreen();
    show(1000);
    ASSERT_TRUE(waitFor([&] { return toast.getAlpha() == 1.0f && !animating(); }, 900));

    runFor(500);
    toast.messageLabel->setText("changed", juce::dontSendNotification);
    show(1500);
    EXPECT_EQ(toast.getAlpha(), 1.0f); // no new fade
    EXPECT_FALSE(animating());
    EXPECT_EQ(toast.messageLabel->getText(), "changed");

    ASSERT_TRUE(waitFor([&] { return !toast.isVisible(); }, 8000));
    ASSERT_EQ(times.hidden.size(), 1u);
    expectHiddenAfter(1500);
}

TEST_F(MessageToastTest, ShowWhileFadingInRestartsTheFade)
{
    putOnScreen();
    show(3000);
    FadeWatch first([&] { return toast.getAlpha(); }, 0.0f, 1.0f, shownFrom, shownTo);
    ASSERT_TRUE(first.runUntil([&] { return toast.getAlpha() > 0.0f; }, 1000));
    if (toast.getAlpha() == 1.0f)
        GTEST_SKIP() << "the loop missed the whole fade";
    show(3000);
    EXPECT_EQ(toast.getAlpha(), 0.0f);
    EXPECT_TRUE(animating());
    // The running animator counts the new fade from its last step.
    FadeWatch again([&] { return toast.getAlpha(); }, 0.0f, 1.0f, first.lastStepAfter, shownTo);
    ASSERT_TRUE(again.runUntil([&] { return toast.getAlpha() == 1.0f; }, 2000));
    EXPECT_LE(again.atLeastMs, 200);
    EXPECT_GE(again.atMostMs, 200);
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
