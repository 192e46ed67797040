// Compiled into every program and test built on the framework under the
// sanitizers, where the framework's assertions are on: an assertion that
// fails prints its place and ends the program, so that a test hitting one
// fails instead of logging a line nobody reads.
#include <juce_core/juce_core.h>

#include <cstdlib>

namespace {

class FatalAssertionLogger : public juce::Logger {
    void logMessage(const juce::String& message) override
    {
        juce::Logger::outputDebugString(message);
        if (message.startsWith("JUCE Assertion failure"))
            std::abort();
    }
};

// Never destroyed: the framework may log from its own static destructors.
const bool installed = [] {
    juce::Logger::setCurrentLogger(new FatalAssertionLogger);
    return true;
}();

} // namespace
