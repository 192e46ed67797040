#include "commands/ChildCommand.h"

#include "commands/Descendants.h"
#include "runtime/Clock.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

// Where execvp finds `name`: as it is when it holds a slash, else the first
// executable regular file of that name along the search path.
std::string foundOnSearchPath(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char* variable = std::getenv("PATH");
    const std::string path = variable != nullptr ? variable : "/bin:/usr/bin";
    for (std::size_t from = 0;;) {
        const std::size_t colon = path.find(':', from);
        const std::string folder = path.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        struct stat info {};
        if (::access(candidate.c_str(), X_OK) == 0 && ::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            return candidate;
        if (colon == std::string::npos)
            return {};
        from = colon + 1;
    }
}

// posix_spawnp reports a failed exec in the child as its own error, where a
// fork and exec would only see the child exit. The child leads a process
// group of its own, so that a kill reaches whatever it started too.
pid_t spawn(const juce::StringArray& arguments, int outputFd)
{
    std::vector<std::string> words;
    for (const auto& argument : arguments)
        words.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);

    // The child starts with no signal blocked and SIGPIPE at its default,
    // whatever this process set for its own threads.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    pid_t pid = -1;
    int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    if (error == ENOEXEC) {
        // An executable file without a "#!" line: execvp hands it to the
        // shell, and so does this.
        std::string script = foundOnSearchPath(words[0]);
        if (!script.empty()) {
            std::string shell = "/bin/sh";
            std::vector<char*> shellArgv{shell.data(), script.data()};
            shellArgv.insert(shellArgv.end(), argv.begin() + 1, argv.end());
            error = posix_spawn(&pid, shell.c_str(), &actions, &attributes, shellArgv.data(), environ);
        }
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

} // namespace

struct ChildCommand::Pipe {
    explicit Pipe(std::string watched) : watchedText(std::move(watched)) {}

    // The process, used by the owner's thread only. It is reaped only once
    // its group has been killed: until then the ended leader stays a zombie,
    // which keeps its id, the group's, from going to another process.
    pid_t pid = -1;
    bool leaderEnded = false;
    bool reaped = false;

    // The output, filled by the reading thread.
    std::mutex mutex;
    std::condition_variable changed;
    std::string output;
    bool closed = false;
    const std::string watchedText;
    std::string watchedTail; // the last bytes that may begin the watched text
    bool watchedFound = false;

    bool running()
    {
        if (pid <= 0 || leaderEnded)
            return false;
        siginfo_t info{};
        const int r = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
        if ((r == 0 && info.si_pid == 0) || (r != 0 && errno == EINTR))
            return true;
        leaderEnded = true;
        return false;
    }

    // Whatever still runs in the group goes, its leader too.
    void end()
    {
        if (pid <= 0 || reaped)
            return;
        ::kill(-pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        reaped = true;
        Descendants::release(pid);
    }

    void take(const char* data, std::size_t n)
    {
        std::lock_guard<std::mutex> lock(mutex);
        output.append(data, std::min(n, kKeptOutputBytes - output.size()));
        if (watchedText.empty() || watchedFound)
            return;
        watchedTail.append(data, n);
        watchedFound = watchedTail.find(watchedText) != std::string::npos;
        const std::size_t keep = std::min(watchedTail.size(), watchedText.size() - 1);
        watchedTail.erase(0, watchedTail.size() - keep);
    }

    // Until the output is closed, or kDrainAfterEndMs after the program
    // ended; false when `giveUpAt` came first. Holds `lock` on the mutex.
    bool waitForOutput(std::unique_lock<std::mutex>& lock,
                       std::optional<std::chrono::steady_clock::time_point> giveUpAt)
    {
        std::chrono::steady_clock::time_point drainEnd{};
        while (!closed) {
            if (changed.wait_for(lock, std::chrono::milliseconds(20), [this] { return closed; }))
                break;
            const auto now = std::chrono::steady_clock::now();
            if (drainEnd == std::chrono::steady_clock::time_point{}) {
                lock.unlock();
                const bool ended = !running();
                lock.lock();
                if (ended)
                    drainEnd = now + std::chrono::milliseconds(kDrainAfterEndMs);
                else if (giveUpAt && now >= *giveUpAt)
                    return false;
            } else if (now >= drainEnd) {
                break;
            }
        }
        return true;
    }

    juce::String keptOutput() const { return juce::String::fromUTF8(output.data(), static_cast<int>(output.size())); }

    // Reads whatever has come, as it comes, until the output is closed.
    void readUntilClosed(int fd)
    {
        std::vector<char> chunk(kReadChunk);
        for (;;) {
            const ssize_t n = ::read(fd, chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            take(chunk.data(), static_cast<std::size_t>(n));
        }
        ::close(fd);
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        changed.notify_all();
    }
};

ChildCommand::ChildCommand(std::string watchedText) : pipe(std::make_shared<Pipe>(std::move(watchedText))) {}

ChildCommand::~ChildCommand()
{
    // Done with it: a program still running (a link command past its wait)
    // does not run on unwatched, and none is left a zombie.
    pipe->end();
}

bool ChildCommand::start(const juce::StringArray& arguments)
{
    if (arguments.isEmpty() || arguments[0].isEmpty() || pipe->pid > 0)
        return false;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    pipe->pid = Descendants::startHeld([&arguments, &ends] { return spawn(arguments, ends[1]); });
    ::close(ends[1]);
    if (pipe->pid <= 0) {
        ::close(ends[0]);
        return false;
    }
    std::thread([shared = pipe, fd = ends[0]] { shared->readUntilClosed(fd); }).detach();
    return true;
}

bool ChildCommand::isRunning() const { return pipe->running(); }

bool ChildCommand::waitForEnd(std::uint32_t ms) const
{
    const auto deadline = std::chrono::steady_clock::now() + zq::Clock::duration(ms);
    while (pipe->running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

juce::String ChildCommand::readAllOutput()
{
    if (pipe->pid <= 0)
        return {};
    std::unique_lock<std::mutex> lock(pipe->mutex);
    pipe->waitForOutput(lock, std::nullopt);
    return pipe->keptOutput();
}

std::optional<juce::String> ChildCommand::readAllOutputWithin(std::uint32_t ms)
{
    if (pipe->pid <= 0)
        return std::nullopt;
    std::unique_lock<std::mutex> lock(pipe->mutex);
    if (!pipe->waitForOutput(lock, std::chrono::steady_clock::now() + zq::Clock::duration(ms)))
        return std::nullopt;
    return pipe->keptOutput();
}

bool ChildCommand::foundWatchedText() const
{
    std::lock_guard<std::mutex> lock(pipe->mutex);
    return pipe->watchedFound;
}

void ChildCommand::kill()
{
    // The whole group, also once its leader has ended: an installer's own
    // children (osascript's sudo and the package installer under it) go
    // with it.
    if (pipe->pid > 0 && !pipe->reaped)
        ::kill(-pipe->pid, SIGKILL);
}
