#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <memory>

// A child process with standard output and error captured together.
// juce::ChildProcess reports success for a program that cannot be executed
// (the exec fails in the child), so start() checks the program first.
//
// The output is read on a thread of its own from the start, so a program
// that writes a lot never blocks on a full pipe while it is being watched.
class ChildCommand {
public:
    ChildCommand();
    ~ChildCommand();

    bool start(const juce::StringArray& arguments);
    bool isRunning() const;
    // Waits at most `ms` (through the program's clock); true when it ended.
    bool waitForEnd(std::uint32_t ms) const;
    // Everything the program wrote, once it has closed its output. A program
    // that has ended or was killed may leave a child of its own holding the
    // output open (osascript's sudo, for one): then what came within
    // kDrainAfterEndMs of its end is all there is.
    juce::String readAllOutput();
    void kill();

    static constexpr int kDrainAfterEndMs = 1000;

    // The file execvp would run for `program`, or empty when there is none.
    static juce::String resolveProgram(const juce::String& program);

private:
    struct Pipe;
    std::shared_ptr<Pipe> pipe; // shared with the reading thread, which may outlive us
    bool started = false;
};
