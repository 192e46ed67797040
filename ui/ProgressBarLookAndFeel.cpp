#include "ui/ProgressBarLookAndFeel.h"

namespace lookandfeel {

juce::Path ProgressBarLookAndFeel::stripes(int width, int height, double progress, juce::uint32 millisecondCounter)
{
    juce::Path path;
    if (height <= 0)
        return path;

    const int period = 2 * height;
    const int phase = static_cast<int>((millisecondCounter / 15u) % static_cast<juce::uint32>(period));
    // Stripes past the bar's right end are cut off anyway; the bound keeps a
    // huge or infinite progress from looping for ever.
    const float end = juce::jmin(static_cast<float>(progress) * static_cast<float>(width) + static_cast<float>(period),
                                 static_cast<float>(width) + static_cast<float>(period));
    const float half = static_cast<float>(period / 2);
    const float bottom = static_cast<float>(height);
    for (int x = -phase; static_cast<float>(x) < end; x += period) {
        const float left = static_cast<float>(x);
        path.startNewSubPath(left, 0.0f);
        path.lineTo(left + half, 0.0f);
        path.lineTo(left, bottom);
        path.lineTo(left - half, bottom);
        path.closeSubPath();
    }
    return path;
}

void ProgressBarLookAndFeel::drawProgressBar(juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                             double progress, const juce::String& textToShow)
{
    const auto background = bar.findColour(juce::ProgressBar::backgroundColourId, false);
    const auto foreground = bar.findColour(juce::ProgressBar::foregroundColourId, false);

    // The track shows the bar's own background colour.
    const auto barHeight = static_cast<float>(bar.getHeight());
    g.setColour(background);
    g.fillRoundedRectangle(0.0f, 0.0f, static_cast<float>(bar.getWidth()), barHeight, 0.5f * barHeight);

    if (height <= 0)
        return;

    g.setColour(foreground);
    g.fillPath(stripes(width, height, progress, juce::Time::getMillisecondCounter()));

    if (textToShow.isNotEmpty()) {
        g.setColour(juce::Colour::contrasting(background, foreground));
        g.setFont(static_cast<float>(height) * 0.6f);
        g.drawText(textToShow, 0, 0, width, height, juce::Justification::centred, false);
    }
}

} // namespace lookandfeel
