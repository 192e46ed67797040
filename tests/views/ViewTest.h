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

inline bool isClear(const juce::Image& image, int x, int y)
{
    return image.getPixelAt(x, y).getAlpha() == 0;
}
