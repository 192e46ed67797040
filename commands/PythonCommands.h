#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <functional>
#include <optional>

// The outside programs that make a Python 2.7 interpreter answer at the
// local Python path, as argument vectors from the command table.
namespace PythonCommands {

juce::StringArray link();
juce::StringArray version();
juce::StringArray privilegedLink();
juce::StringArray installer(const juce::String& packagePath);

// An existing entry that is not a folder.
bool isExistingFile(const juce::String& path);
// Whether the local Python path is an existing file.
bool localPythonExists();
// When the local Python is missing: starts the link command and waits at most
// `waitMs` for it to end, calling `started` in between. False, after printing
// so, when it cannot be started; whether the link was made is not looked at.
bool linkLocalPythonIfMissing(std::uint32_t waitMs, const std::function<void()>& started = {});
// The version command's whole output. Nothing, after printing so, when it
// cannot be started or has not answered within versionAnswerMs; it is then
// killed with whatever it started. `started` runs once it runs.
std::optional<juce::String> askVersion(const std::function<void()>& started = {});
// A version answer takes milliseconds, even from a cold start; ten seconds
// leave room for a loaded machine, and are as long as a quit or the close
// button, which wait for the check, are held up by one that never answers.
constexpr std::uint32_t versionAnswerMs = 10000;
bool isPython27(const juce::String& versionOutput);
// The installer succeeded when its output holds this, anywhere (the
// installer's ChildCommand watches for it).
extern const char* const installerSuccessText;

// `text` between single quotes for a POSIX shell, inner quotes escaped.
juce::String shellQuoted(const juce::String& text);
// do shell script "<command>" with administrator privileges, the command
// escaped for an AppleScript string.
juce::String administratorScript(const juce::String& shellCommand);

} // namespace PythonCommands
