#include "ChildCommand.h"

#include "Clock.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isExecutableFile(const juce::String& path)
{
    struct stat info {};
    return ::stat(path.toRawUTF8(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.toRawUTF8(), X_OK) == 0;
}

} // namespace

juce::String ChildCommand::resolveProgram(const juce::String& program)
{
    if (program.isEmpty())
        return {};
    if (program.containsChar('/'))
        return isExecutableFile(program) ? program : juce::String();

    const char* path = std::getenv("PATH");
    juce::StringArray folders;
    folders.addTokens(path != nullptr ? path : "/bin:/usr/bin", ":", "");
    for (auto folder : folders) {
        if (folder.isEmpty())
            folder = ".";
        const juce::String candidate = folder + "/" + program;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return {};
}

bool ChildCommand::start(const juce::StringArray& arguments)
{
    if (arguments.isEmpty() || resolveProgram(arguments[0]).isEmpty())
        return false;
    started = process.start(arguments, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr);
    return started;
}

bool ChildCommand::isRunning() const
{
    return started && process.isRunning();
}

bool ChildCommand::waitForEnd(std::uint32_t ms) const
{
    if (!started)
        return true;
    const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(zq::Clock::duration(ms)).count();
    return process.waitForProcessToFinish(static_cast<int>(real));
}

juce::String ChildCommand::readAllOutput()
{
    return started ? process.readAllProcessOutput() : juce::String();
}

void ChildCommand::kill()
{
    if (started)
        process.kill();
}
