#include "ChildCommand.h"

#include "Clock.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isExecutableFile(const juce::String& path)
{
    struct stat info {};
    return ::stat(path.toRawUTF8(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.toRawUTF8(), X_OK) == 0;
}

} // namespace

struct ChildCommand::Pipe {
    juce::ChildProcess process;
    std::mutex mutex;
    std::condition_variable changed;
    std::string output;
    bool closed = false;

    // One byte at a time: a larger fread waits to fill its buffer, and what it
    // holds would be lost if the output is never closed.
    void readUntilClosed()
    {
        char byte = 0;
        while (process.readProcessOutput(&byte, 1) == 1) {
            std::lock_guard<std::mutex> lock(mutex);
            output += byte;
        }
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        changed.notify_all();
    }
};

ChildCommand::ChildCommand() : pipe(std::make_shared<Pipe>()) {}

ChildCommand::~ChildCommand() = default;

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
    started = pipe->process.start(arguments, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr);
    if (started)
        std::thread([shared = pipe] { shared->readUntilClosed(); }).detach();
    return started;
}

bool ChildCommand::isRunning() const
{
    return started && pipe->process.isRunning();
}

bool ChildCommand::waitForEnd(std::uint32_t ms) const
{
    if (!started)
        return true;
    const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(zq::Clock::duration(ms)).count();
    return pipe->process.waitForProcessToFinish(static_cast<int>(real));
}

juce::String ChildCommand::readAllOutput()
{
    if (!started)
        return {};
    std::unique_lock<std::mutex> lock(pipe->mutex);
    std::chrono::steady_clock::time_point drainEnd{};
    while (!pipe->closed) {
        if (pipe->changed.wait_for(lock, std::chrono::milliseconds(20), [this] { return pipe->closed; }))
            break;
        if (drainEnd == std::chrono::steady_clock::time_point{}) {
            lock.unlock();
            const bool ended = !pipe->process.isRunning();
            lock.lock();
            if (ended)
                drainEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainAfterEndMs);
        } else if (std::chrono::steady_clock::now() >= drainEnd) {
            break;
        }
    }
    return juce::String::fromUTF8(pipe->output.data(), static_cast<int>(pipe->output.size()));
}

void ChildCommand::kill()
{
    if (started)
        pipe->process.kill();
}
