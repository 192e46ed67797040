#include "ui/UrlButtonLookAndFeel.h"

#include "ui/Constant.h"

namespace lookandfeel {

void UrlButtonLookAndFeel::drawButtonBackground(juce::Graphics& g, juce::Button& button,
                                                const juce::Colour& backgroundColour, bool, bool)
{
    g.saveState();

    g.setColour(backgroundColour);
    g.fillRect(g.getClipBounds());

    // A button too narrow for the 38-pixel insets gets no underline at all.
    const int underlineWidth = button.getWidth() - 2 * underlineInset;
    if (underlineWidth > 0) {
        g.setColour(constant::SPLITTER_LINE_COLOUR);
        g.fillRect(underlineInset, button.getHeight() - 1, underlineWidth, 1);
    }

    g.restoreState();
}

} // namespace lookandfeel
