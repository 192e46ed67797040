#include "ConsoleOutput.h"

#include <iostream>
#include <mutex>

namespace console {

void printLine(const juce::String& text)
{
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    std::cout << text.toStdString() << std::endl;
}

} // namespace console
