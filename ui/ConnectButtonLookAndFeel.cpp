#include "ui/ConnectButtonLookAndFeel.h"

namespace lookandfeel {

void ConnectButtonLookAndFeel::drawButtonBackground(juce::Graphics& g, juce::Button& button,
                                                    const juce::Colour& backgroundColour, bool isMouseOverButton,
                                                    bool isButtonDown)
{
    g.saveState();

    // Held down wins over mouse-over; each step is JUCE's darker(0.4f), which
    // truncates every channel.
    auto colour = backgroundColour;
    if (isButtonDown)
        colour = colour.darker(0.4f).darker(0.4f);
    else if (isMouseOverButton)
        colour = colour.darker(0.4f);

    const auto height = static_cast<float>(button.getHeight());
    g.setColour(colour);
    g.fillRoundedRectangle(0.0f, 0.0f, static_cast<float>(button.getWidth()), height, 0.5f * height);

    g.restoreState();
}

} // namespace lookandfeel
