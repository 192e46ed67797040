#include "ui/ConnectButtonLookAndFeel.h"
#include "ui/Constant.h"
#include "ui/ProgressBarLookAndFeel.h"
#include "ui/UrlButtonLookAndFeel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <thread>

namespace {

juce::Image render(int width, int height, const std::function<void(juce::Graphics&)>& draw)
{
    juce::Image image{juce::Image::ARGB, width, height, true};
    juce::Graphics g{image};
    draw(g);
    return image;
}

int countPixels(const juce::Image& image, const std::function<bool(juce::Colour)>& matches, int fromX = 0, int toX = -1)
{
    if (toX < 0)
        toX = image.getWidth();
    int n = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = fromX; x < toX; ++x)
            n += matches(image.getPixelAt(x, y)) ? 1 : 0;
    return n;
}

std::string rgb(juce::Colour c)
{
    return std::to_string(c.getRed()) + "," + std::to_string(c.getGreen()) + "," + std::to_string(c.getBlue()) + "/"
           + std::to_string(c.getAlpha());
}

TEST(ButtonLooks, CaptionFontIgnoresTheButtonHeight)
{
    lookandfeel::ConnectButtonLookAndFeel pill;
    lookandfeel::UrlButtonLookAndFeel link;
    juce::TextButton button{"caption"};
    for (const int height : {0, 12, 40, 300}) {
        button.setSize(120, height);
        EXPECT_EQ(pill.getTextButtonFont(button, height), constant::DEFAULT_TEXT_FONT.get()) << height;
        EXPECT_EQ(link.getTextButtonFont(button, height), constant::DEFAULT_TEXT_FONT.get()) << height;
    }
}

struct PillCase {
    bool mouseOver;
    bool down;
    juce::Colour drawn;
};

TEST(ConnectButtonLook, DarkensOnceUnderTheMouseAndTwiceWhenHeldDown)
{
    const PillCase cases[] = {
        {false, false, juce::Colour{224, 32, 32}},
        {true, false, juce::Colour{160, 22, 22}},
        {false, true, juce::Colour{114, 15, 15}},
        {true, true, juce::Colour{114, 15, 15}}, // twice, not three times
    };
    lookandfeel::ConnectButtonLookAndFeel look;
    juce::TextButton button;
    button.setSize(100, 20);
    for (const auto& c : cases) {
        const auto image = render(100, 20, [&](juce::Graphics& g) {
            look.drawButtonBackground(g, button, juce::Colour{224, 32, 32}, c.mouseOver, c.down);
        });
        EXPECT_EQ(rgb(image.getPixelAt(50, 10)), rgb(c.drawn)) << c.mouseOver << c.down;
    }
}

TEST(ConnectButtonLook, IsAPillWithTransparentCorners)
{
    lookandfeel::ConnectButtonLookAndFeel look;
    juce::TextButton button;
    button.setSize(100, 20);
    const auto image = render(
        100, 20, [&](juce::Graphics& g) { look.drawButtonBackground(g, button, juce::Colours::white, false, false); });
    for (const auto& [x, y] : {std::pair{0, 0}, {99, 0}, {0, 19}, {99, 19}, {1, 2}})
        EXPECT_EQ(image.getPixelAt(x, y).getAlpha(), 0) << x << "," << y;
    for (const auto& [x, y] : {std::pair{10, 0}, {50, 10}, {1, 10}, {98, 10}, {89, 19}})
        EXPECT_GT(image.getPixelAt(x, y).getAlpha(), 0) << x << "," << y;
}

TEST(ConnectButtonLook, TransparentColourDrawsNothing)
{
    lookandfeel::ConnectButtonLookAndFeel look;
    juce::TextButton button;
    button.setSize(100, 20);
    const auto image = render(100, 20, [&](juce::Graphics& g) {
        look.drawButtonBackground(g, button, juce::Colours::transparentBlack, true, true);
    });
    EXPECT_EQ(countPixels(image, [](juce::Colour c) { return c.getAlpha() != 0; }), 0);
}

TEST(UrlButtonLook, FillsTheButtonAndUnderlinesItsMiddle)
{
    lookandfeel::UrlButtonLookAndFeel look;
    juce::TextButton button;
    button.setSize(200, 30);
    const juce::Colour blue{0xFF0000FF};
    const auto expectedLine = blue.overlaidWith(constant::SPLITTER_LINE_COLOUR);
    for (const auto& state : {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        const auto image = render(
            200, 30, [&](juce::Graphics& g) { look.drawButtonBackground(g, button, blue, state.first, state.second); });
        EXPECT_EQ(rgb(image.getPixelAt(100, 10)), rgb(blue));
        EXPECT_EQ(rgb(image.getPixelAt(37, 29)), rgb(blue));
        EXPECT_EQ(rgb(image.getPixelAt(162, 29)), rgb(blue));
        EXPECT_EQ(rgb(image.getPixelAt(100, 28)), rgb(blue));
        for (const int x : {38, 100, 161}) {
            // Half-transparent grey blends with what is under it.
            const auto line = image.getPixelAt(x, 29);
            EXPECT_NEAR(line.getRed(), expectedLine.getRed(), 1) << x;
            EXPECT_NEAR(line.getBlue(), expectedLine.getBlue(), 1) << x;
            EXPECT_NE(rgb(line), rgb(blue)) << x;
        }
    }
}

TEST(UrlButtonLook, TransparentFillLeavesOnlyTheUnderline)
{
    lookandfeel::UrlButtonLookAndFeel look;
    juce::TextButton button;
    button.setSize(120, 24);
    const auto image = render(120, 24, [&](juce::Graphics& g) {
        look.drawButtonBackground(g, button, juce::Colours::transparentBlack, false, false);
    });
    const auto visible = [](juce::Colour c) { return c.getAlpha() != 0; };
    EXPECT_EQ(countPixels(image, visible), 120 - 76);
    EXPECT_EQ(image.getPixelAt(38, 23).getAlpha(), 0x80);
    EXPECT_EQ(image.getPixelAt(81, 23).getAlpha(), 0x80);
}

TEST(UrlButtonLook, NarrowButtonsGetNoUnderline)
{
    lookandfeel::UrlButtonLookAndFeel look;
    juce::TextButton button;
    const auto visible = [](juce::Colour c) { return c.getAlpha() != 0; };
    for (const auto& [width, underline] : {std::pair{10, 0}, {76, 0}, {77, 1}, {78, 2}}) {
        button.setSize(width, 24);
        const auto image = render(width, 24, [&](juce::Graphics& g) {
            look.drawButtonBackground(g, button, juce::Colours::transparentBlack, false, false);
        });
        EXPECT_EQ(countPixels(image, visible), underline) << width;
    }
}

// A bar with a black track and red stripes, drawn through the look-and-feel.
class ProgressBarLook : public ::testing::Test {
protected:
    ProgressBarLook()
    {
        bar.setColour(juce::ProgressBar::backgroundColourId, juce::Colours::black);
        bar.setColour(juce::ProgressBar::foregroundColourId, constant::RED_TEXT_COLOUR);
    }

    juce::Image draw(int width, int height, double progress, const juce::String& text = {})
    {
        bar.setSize(width, height);
        return render(width, height,
                      [&](juce::Graphics& g) { look.drawProgressBar(g, bar, width, height, progress, text); });
    }

    static bool isStripe(juce::Colour c) { return c == constant::RED_TEXT_COLOUR; }

    double value = 0.0;
    juce::ProgressBar bar{value};
    lookandfeel::ProgressBarLookAndFeel look;
};

TEST_F(ProgressBarLook, ProgressZeroDrawsOnlyTheFirstStripes)
{
    // Height 10: period 20; a stripe starting below 20 reaches at most x < 30.
    const auto image = draw(200, 10, 0.0);
    EXPECT_GT(countPixels(image, isStripe, 0, 30), 0);
    EXPECT_EQ(countPixels(image, isStripe, 30), 0);
}

TEST_F(ProgressBarLook, ProgressOneCoversTheWholeBar)
{
    const auto image = draw(200, 10, 1.0);
    // Every window of one period holds stripe pixels, up to the right end.
    for (int from = 0; from + 20 <= 200; from += 20)
        EXPECT_GT(countPixels(image, isStripe, from, from + 20), 20) << from;
}

TEST_F(ProgressBarLook, NegativeProgressDrawsTheTrackAndTextButNoStripes)
{
    const auto image = draw(200, 10, -1.0, "50%");
    EXPECT_EQ(countPixels(image, isStripe), 0);
    EXPECT_EQ(rgb(image.getPixelAt(20, 5)), rgb(juce::Colours::black)); // the track
    const auto textColour = juce::Colour::contrasting(juce::Colours::black, constant::RED_TEXT_COLOUR);
    EXPECT_GT(countPixels(
                  image, [&](juce::Colour c) { return c.getAlpha() == 255 && c.getBrightness() > 0.3f; }, 80, 120),
              0)
        << rgb(textColour);
}

TEST_F(ProgressBarLook, TrackIsRoundedInTheBackgroundColour)
{
    const auto image = draw(200, 20, -1.0);
    EXPECT_EQ(image.getPixelAt(0, 0).getAlpha(), 0);
    EXPECT_EQ(image.getPixelAt(199, 19).getAlpha(), 0);
    EXPECT_EQ(rgb(image.getPixelAt(100, 10)), rgb(juce::Colours::black));
    // The corners are left to the parent, so an opaque background must not
    // make the bar opaque.
    bar.setLookAndFeel(&look);
    EXPECT_FALSE(bar.isOpaque());
    bar.setLookAndFeel(nullptr);
}

TEST_F(ProgressBarLook, FlatBarsDrawNoStripesAndTerminate)
{
    for (const int height : {0, -4})
        EXPECT_TRUE(lookandfeel::ProgressBarLookAndFeel::stripes(200, height, 0.5, 1234).isEmpty()) << height;
    EXPECT_EQ(countPixels(draw(200, 1, 1.0, "x"), isStripe), 0);
}

// Each paint shows the stripes at the phase of JUCE's millisecond counter at
// that moment: one pixel further left every 15 ms.
TEST_F(ProgressBarLook, StripesDriftWithTheMillisecondCounter)
{
    // Height 10: period 20, stripes and gaps 10 wide, slanting by one pixel
    // per row. Pixel (x, y) spans x + y to x + y + 2 across the stripes, so
    // with phase p it is all stripe when (x + y + p) mod 20 is 0 to 8 and all
    // track when it is 10 to 18.
    constexpr int height = 10;
    constexpr int period = 20;
    std::set<int> phases;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (phases.size() < 3 && std::chrono::steady_clock::now() < giveUp) {
        const juce::uint32 before = juce::Time::getMillisecondCounter();
        const auto image = draw(200, height, 1.0);
        const juce::uint32 after = juce::Time::getMillisecondCounter();
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
        if (before / 15 != after / 15)
            continue; // the phase moved during the paint
        const int phase = static_cast<int>((before / 15) % period);
        int wrong = 0;
        for (int y = 0; y < height; ++y)
            for (int x = height; x < 200 - height; ++x) { // clear of the track's rounded ends
                const int d = (x + y + phase) % period;
                const juce::Colour c = image.getPixelAt(x, y);
                if (d <= 8)
                    wrong += isStripe(c) ? 0 : 1;
                else if (d >= 10 && d <= 18)
                    wrong += c == juce::Colours::black ? 0 : 1;
            }
        EXPECT_EQ(wrong, 0) << "phase " << phase;
        if (wrong != 0)
            break;
        phases.insert(phase);
    }
    EXPECT_EQ(phases.size(), 3u); // three phases, so at least two away from 0
}

TEST_F(ProgressBarLook, HugeProgressStaysInsideTheBar)
{
    for (const double progress : {1e12, std::numeric_limits<double>::infinity()}) {
        const auto bounds = lookandfeel::ProgressBarLookAndFeel::stripes(200, 10, progress, 0).getBounds();
        EXPECT_LE(bounds.getRight(), 200.0f + 20.0f + 10.0f) << progress;
        EXPECT_GT(bounds.getRight(), 200.0f) << progress;
    }
    EXPECT_TRUE(lookandfeel::ProgressBarLookAndFeel::stripes(200, 10, std::nan(""), 0).isEmpty());
}

TEST(ProgressStripes, GeometryAtAChosenTime)
{
    using lookandfeel::ProgressBarLookAndFeel;
    // Height 5, period 10, phase 0 at t = 0: stripes start at 0, 10, 20, ...
    // while x < 0.5 * 100 + 10, the last reaching 55.
    const auto atZero = ProgressBarLookAndFeel::stripes(100, 5, 0.5, 0);
    EXPECT_EQ(atZero.getBounds(), (juce::Rectangle<float>{-5.0f, 0.0f, 60.0f, 5.0f}));
    EXPECT_TRUE(atZero.contains(2.5f, 0.5f));  // a stripe's top, right of its start
    EXPECT_FALSE(atZero.contains(7.5f, 0.5f)); // the gap
    EXPECT_TRUE(atZero.contains(-2.5f, 4.5f)); // its bottom, left of its start

    // One pixel to the left every 15 ms (now one more stripe, at 59); 150 ms
    // later the same place again.
    const auto later = ProgressBarLookAndFeel::stripes(100, 5, 0.5, 15);
    EXPECT_EQ(later.getBounds(), (juce::Rectangle<float>{-6.0f, 0.0f, 70.0f, 5.0f}));
    for (const juce::uint32 t : {0u, 7u, 1234u, 987654321u}) {
        const auto a = ProgressBarLookAndFeel::stripes(100, 5, 0.5, t);
        const auto b = ProgressBarLookAndFeel::stripes(100, 5, 0.5, t + 150);
        EXPECT_EQ(a.toString(), b.toString()) << t;
    }
}

} // namespace
