#include "ui/MessageToast.h"

#include "ui/Constant.h"

namespace {

constexpr int fadeInMs = 200;
constexpr int fadeOutMs = 150;
constexpr float cornerSize = 8.0f;

juce::ComponentAnimator& animator() { return juce::Desktop::getInstance().getAnimator(); }

} // namespace

MessageToast::MessageToast()
{
    messageLabel = new juce::Label(juce::String{}, juce::String{});
    messageLabel->setFont(constant::EDIT_TEXT_FONT);
    messageLabel->setColour(juce::Label::textColourId, constant::NORMAL_TEXT_COLOUR);
    messageLabel->setJustificationType(juce::Justification::centred);
    addAndMakeVisible(messageLabel);

    setVisible(false);
    setAlpha(1.0f);
}

MessageToast::~MessageToast()
{
    delete messageLabel;
    messageLabel = nullptr;
    stopTimer();
}

void MessageToast::show(int milliseconds)
{
    stopTimer();

    // A box already fully shown only gets a new hiding time. Otherwise the
    // animator replaces whatever ran on the box, a fading snapshot included.
    if (!(isVisible() && getAlpha() == 1.0f)) {
        setAlpha(0.0f);
        setVisible(true);
        animator().animateComponent(this, getBounds(), 1.0f, fadeInMs, false, 1.0, 1.0);
    }

    startTimer(milliseconds);
}

void MessageToast::timerCallback()
{
    // The snapshot needs a box on screen to be taken from.
    if (isShowing())
        animator().animateComponent(this, getBounds(), 0.0f, fadeOutMs, true, 1.0, 1.0);

    setVisible(false);
    stopTimer();
}

void MessageToast::paint(juce::Graphics& g)
{
    g.saveState();
    g.setColour(constant::TOAST_BACKGROUND_COLOUR);
    g.fillRoundedRectangle(0.0f, 0.0f, static_cast<float>(getWidth()), static_cast<float>(getHeight()), cornerSize);
    g.restoreState();
}

void MessageToast::resized()
{
    messageLabel->setSize(getWidth(), getHeight());
    messageLabel->setTopLeftPosition(0, 0);
}
