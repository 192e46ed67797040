#include "commands/ConsoleOutput.h"

#include "device/core/LinePrinter.h"

namespace console {

void printLine(const juce::String& text) { zq::LinePrinter::print(text.toStdString()); }

} // namespace console
