#pragma once

#include <juce_core/juce_core.h>

namespace console {

// One line on standard output through zq::LinePrinter. Safe from any thread:
// the Bluetooth library prints progress from its own.
void printLine(const juce::String& text);

// Inside a catch block: "<step> stopped by an unexpected error", with the
// exception's what() after a colon when it is a std::exception.
void printUnexpectedError(const juce::String& step);

} // namespace console
