#include "ui/NimbalGenericButtonLookAndFeel.h"

#include "ui/Constant.h"

namespace lookandfeel {

juce::Font NimbalGenericButtonLookAndFeel::getTextButtonFont(juce::TextButton&, int)
{
    return constant::DEFAULT_TEXT_FONT;
}

} // namespace lookandfeel
