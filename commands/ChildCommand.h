#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A child process with standard output and error captured together, started
// from an argument vector without a shell (a bare name is looked up on the
// search path). A program that cannot be executed, also one whose exec fails
// in the child (a script whose interpreter is missing), is not started; an
// executable file without a "#!" line runs with /bin/sh, as execvp runs it.
// The child leads a process group of its own, which kill() ends whole; so
// does the destructor, and it reaps the child.
//
// The output is read on a thread of its own from the start, so a program
// that writes a lot never blocks on a full pipe while it is being watched.
// Only its first kKeptOutputBytes are kept; the rest is read and dropped.
class ChildCommand {
public:
    // `watchedText`, when given, is looked for in the whole output as it
    // passes, also beyond what is kept of it.
    explicit ChildCommand(std::string watchedText = {});
    ~ChildCommand();
    ChildCommand(const ChildCommand&) = delete;
    ChildCommand& operator=(const ChildCommand&) = delete;

    bool start(const juce::StringArray& arguments);
    bool isRunning() const;
    // Waits at most `ms` (through the program's clock); true when it ended.
    bool waitForEnd(std::uint32_t ms) const;
    // What the program wrote, up to kKeptOutputBytes, once it has closed its
    // output. A program that has ended or was killed may leave a child of its
    // own holding the output open (osascript's sudo, for one): then what came
    // within kDrainAfterEndMs of its end is all there is.
    juce::String readAllOutput();
    // As readAllOutput, giving up when the program has neither closed its
    // output nor ended within `ms` (through the program's clock): nothing then.
    std::optional<juce::String> readAllOutputWithin(std::uint32_t ms);
    // Whether the watched text came in the output read so far; after
    // readAllOutput, in all of it.
    bool foundWatchedText() const;
    void kill();

    static constexpr int kDrainAfterEndMs = 1000;
    // A version line or an installer's report is far shorter.
    static constexpr std::size_t kKeptOutputBytes = 64 * 1024;

private:
    struct Pipe;
    std::shared_ptr<Pipe> pipe; // shared with the reading thread, which may outlive us
};
