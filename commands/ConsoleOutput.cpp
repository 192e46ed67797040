#include "commands/ConsoleOutput.h"

#include "runtime/LinePrinter.h"

#include <exception>

namespace console {

void printLine(const juce::String& text) { zq::LinePrinter::print(text.toStdString()); }

void printUnexpectedError(const juce::String& step)
{
    const juce::String line = step + " stopped by an unexpected error";
    try {
        throw;
    } catch (const std::exception& e) {
        printLine(line + ": " + juce::String::fromUTF8(e.what()));
    } catch (...) {
        printLine(line);
    }
}

} // namespace console
