#pragma once

#include <juce_core/juce_core.h>

namespace console {

// One line on standard output through zq::LinePrinter. Safe from any thread:
// the Bluetooth library prints progress from its own.
void printLine(const juce::String& text);

} // namespace console
