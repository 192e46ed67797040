#pragma once

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <ostream>
#include <vector>

// Readable failure messages for the values these tests compare.
namespace juce {
inline void PrintTo(const Rectangle<int>& r, std::ostream* os) { *os << r.toString(); }
inline void PrintTo(const String& s, std::ostream* os) { *os << '"' << s << '"'; }
inline void PrintTo(const Colour& c, std::ostream* os) { *os << c.toDisplayString(true); }
inline void PrintTo(const Font& f, std::ostream* os) { *os << f.toString(); }
} // namespace juce

// Screens need JUCE's GUI side but no display: they are never put on the desktop.
class ViewTest : public ::testing::Test {
protected:
    juce::ScopedJuceInitialiser_GUI gui;
};

inline std::vector<juce::Component*> childrenOf(const juce::Component& parent)
{
    std::vector<juce::Component*> children;
    for (int i = 0; i < parent.getNumChildComponents(); ++i)
        children.push_back(parent.getChildComponent(i));
    return children;
}

// Paints only the component's own paint(), not its children, into a
// transparent image of its size.
inline juce::Image paintOwnLayer(juce::Component& component)
{
    juce::Image image(juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
    juce::Graphics g(image);
    component.paint(g);
    return image;
}

inline bool isClear(const juce::Image& image, int x, int y) { return image.getPixelAt(x, y).getAlpha() == 0; }

// A pill or link button as the screens build it.
inline void expectButton(const juce::TextButton& button, const juce::String& caption, juce::Colour fill,
                         juce::Colour captionColour, const juce::LookAndFeel& look)
{
    SCOPED_TRACE(caption);
    EXPECT_EQ(button.getButtonText(), caption);
    EXPECT_EQ(button.findColour(juce::TextButton::buttonColourId), fill);
    EXPECT_EQ(button.findColour(juce::TextButton::textColourOffId), captionColour);
    EXPECT_EQ(&button.getLookAndFeel(), &look);
}

inline void expectLabel(const juce::Label& label, const juce::Font& font, juce::Colour colour,
                        juce::Justification justification)
{
    SCOPED_TRACE(label.getText());
    EXPECT_EQ(label.getFont(), font);
    EXPECT_EQ(label.findColour(juce::Label::textColourId), colour);
    EXPECT_EQ(label.getJustificationType(), justification);
}
