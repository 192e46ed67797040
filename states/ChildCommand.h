#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>

// A child process with standard output and error captured together.
// juce::ChildProcess reports success for a program that cannot be executed
// (the exec fails in the child), so start() checks the program first.
class ChildCommand {
public:
    bool start(const juce::StringArray& arguments);
    bool isRunning() const;
    // Waits at most `ms` (through the program's clock); true when it ended.
    bool waitForEnd(std::uint32_t ms) const;
    // Reads until the program closes its output.
    juce::String readAllOutput();
    void kill();

    // The file execvp would run for `program`, or empty when there is none.
    static juce::String resolveProgram(const juce::String& program);

private:
    juce::ChildProcess process;
    bool started = false;
};
