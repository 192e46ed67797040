#include "tests/support/window/WindowTestSupport.h"

namespace {

using Layout = WindowTest;

struct SizeCase {
    int w, h;
    juce::Rectangle<int> picture, screen;
};

void showOnly(MainComponent& main, const std::vector<juce::Component*>& visible)
{
    for (juce::Component* view : {static_cast<juce::Component*>(main.initialView.get()),
                                  static_cast<juce::Component*>(main.connectedView.get()),
                                  static_cast<juce::Component*>(main.troubleshootingView.get()),
                                  static_cast<juce::Component*>(main.progressView.get()),
                                  static_cast<juce::Component*>(main.pythonInfoView.get())})
        view->setVisible(std::find(visible.begin(), visible.end(), view) != visible.end());
}

} // namespace

TEST_F(Layout, ChildrenInTheirOrderAndVisibility)
{
    const std::vector<std::pair<juce::Component*, bool>> expected = {
        {main->deviceImageButton.get(), true},
        {main->statusBadgeButton.get(), false},
        {main->initialView.get(), true},
        {main->connectedView.get(), false},
        {main->troubleshootingView.get(), false},
        {main->pythonInfoView.get(), false},
        {main->progressView.get(), false},
        {main->toast.get(), false},
        {main->troubleshootingBanner.get(), false},
    };
    ASSERT_EQ(main->getNumChildComponents(), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(main->getChildComponent(static_cast<int>(i)), expected[i].first);
        EXPECT_EQ(expected[i].first->isVisible(), expected[i].second);
    }
    EXPECT_EQ(main->getWidth(), 375);
    EXPECT_EQ(main->getHeight(), 667);
    EXPECT_EQ(main->troubleshootingBanner->getText(), "Troubleshooting Mode");
    EXPECT_EQ(main->statusBadgeButton->getWidth(), 48);
    EXPECT_EQ(main->statusBadgeButton->getHeight(), 48);
    EXPECT_EQ(main->deviceImage.getWidth(), 342);
}

// The picture gets the first layout item (at most 500) from y 40; the screen
// follows it down to the bottom. Without the picture the screen starts at 20.
TEST_F(Layout, PictureAndScreenAtEverySize)
{
    const std::vector<SizeCase> cases = {
        {375, 667, {75, 40, 225, 182}, {0, 222, 375, 445}},
        {500, 900, {75, 40, 350, 196}, {0, 236, 500, 664}},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        for (juce::Component* screen : {static_cast<juce::Component*>(main->initialView.get()),
                                        static_cast<juce::Component*>(main->connectedView.get()),
                                        static_cast<juce::Component*>(main->progressView.get()),
                                        static_cast<juce::Component*>(main->pythonInfoView.get())}) {
            showOnly(*main, {screen});
            main->setSize(c.w, c.h);
            main->resized();
            EXPECT_TRUE(main->deviceImageButton->isVisible());
            EXPECT_EQ(main->deviceImageButton->getBounds(), c.picture);
            EXPECT_EQ(screen->getBounds(), c.screen);
        }
    }
}

TEST_F(Layout, TroubleshootingPageHidesThePicture)
{
    for (auto visible : {std::vector<juce::Component*>{main->troubleshootingView.get()},
                         std::vector<juce::Component*>{main->initialView.get(), main->troubleshootingView.get()}}) {
        showOnly(*main, visible);
        main->resized();
        EXPECT_FALSE(main->deviceImageButton->isVisible());
        EXPECT_EQ(visible.front()->getBounds(), juce::Rectangle<int>(50, 20, 275, 647));
        // The badge still follows the hidden picture's corner.
        EXPECT_EQ(main->statusBadgeButton->getPosition(), juce::Point<int>(240, 172));
    }
}

TEST_F(Layout, BadgeSitsAtThePictureCornerByKind)
{
    const std::vector<std::pair<int, bool>> kinds = {{1, true}, {2, true}, {3, true}, {0, false}};
    for (const auto& [kind, shown] : kinds) {
        SCOPED_TRACE(kind);
        main->badgeKind = kind;
        main->resized();
        EXPECT_EQ(main->statusBadgeButton->isVisible(), shown);
        const auto picture = main->deviceImageButton->getBounds();
        EXPECT_EQ(main->statusBadgeButton->getBounds(),
                  juce::Rectangle<int>(picture.getRight() - 60, picture.getBottom() - 50, 48, 48));
    }
}

TEST_F(Layout, ToastKeepsItsPlaceAtEveryHeight)
{
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{375, 667}, {375, 400}, {600, 1000}}) {
        main->setSize(w, h);
        EXPECT_EQ(main->toast->getBounds(), juce::Rectangle<int>(32, 550, w - 64, 60));
    }
}

TEST_F(Layout, BannerShowsOnlyAfterTheFlagAndALayout)
{
    main->showTroubleshootingBanner = true;
    EXPECT_FALSE(main->troubleshootingBanner->isVisible());
    main->resized();
    EXPECT_TRUE(main->troubleshootingBanner->isVisible());
    EXPECT_EQ(main->troubleshootingBanner->getBounds(), juce::Rectangle<int>(0, 0, 375, 40));
    main->showTroubleshootingBanner = false;
    main->resized();
    EXPECT_FALSE(main->troubleshootingBanner->isVisible());
}

TEST_F(Layout, BackgroundIsARadialGradientMadeAtTheFirstPaint)
{
    const juce::Image first = main->createComponentSnapshot(main->getLocalBounds(), false);
    EXPECT_EQ(first.getPixelAt(0, 0), juce::Colour(0xff3c3c3c));
    // Past the gradient's radius the outer colour holds.
    EXPECT_EQ(first.getPixelAt(374, 666), juce::Colour(0xff171717));
    // Made once: a larger component keeps the first size's gradient.
    main->setSize(750, 1334);
    const juce::Image second = main->createComponentSnapshot({0, 0, 375, 667}, false);
    EXPECT_EQ(second.getPixelAt(20, 100), first.getPixelAt(20, 100));
}
