#pragma once

#include "ui/FirmwareUpdateProgressView.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstddef>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

// Every fraction the progress page is set to, in order, noted inside the
// product's setProgress: two steps handled in one turn of the message loop
// are both there, which a loop that looks at the bar between turns misses.
// `onValue` runs after each is noted, still inside setProgress. Message
// thread only.
class ProgressValues : private FirmwareUpdateProgressView::Listener {
public:
    ProgressValues(FirmwareUpdateProgressView& page, std::vector<double>& into) : view(&page), values(into)
    {
        view->addListener(this);
    }
    ~ProgressValues() override
    {
        if (view != nullptr)
            view->removeListener(this);
    }
    ProgressValues(const ProgressValues&) = delete;
    ProgressValues& operator=(const ProgressValues&) = delete;

    std::function<void(double)> onValue;

private:
    void progressSet(double fraction) override
    {
        values.push_back(fraction);
        if (onValue)
            onValue(fraction);
    }

    juce::Component::SafePointer<FirmwareUpdateProgressView> view;
    std::vector<double>& values;
};

// The whole list for a failure message, a value set several times in a row
// written once with its count ("0.02 x60"): gtest's own printer stops at 32.
inline std::string listed(const std::vector<double>& values)
{
    std::ostringstream text;
    text.precision(10);
    text << values.size() << " values: {";
    for (std::size_t i = 0; i < values.size();) {
        std::size_t n = 1;
        while (i + n < values.size() && values[i + n] == values[i])
            ++n;
        text << (i == 0 ? " " : ", ") << values[i];
        if (n > 1)
            text << " x" << n;
        i += n;
    }
    text << " }";
    return text.str();
}
