#include "ChildCommand.h"

#include "Clock.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

// posix_spawnp reports a failed exec in the child as its own error, where a
// fork and exec would only see the child exit.
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
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

} // namespace

struct ChildCommand::Pipe {
    explicit Pipe(std::string watched) : watchedText(std::move(watched)) {}

    ~Pipe()
    {
        if (pid > 0 && !reaped)
            waitpid(pid, nullptr, WNOHANG);
    }

    // The process, used by the owner's thread only.
    pid_t pid = -1;
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
        if (pid <= 0 || reaped)
            return false;
        const pid_t r = waitpid(pid, nullptr, WNOHANG);
        if (r == 0)
            return true;
        if (r == pid || errno != EINTR)
            reaped = true;
        return !reaped;
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

ChildCommand::~ChildCommand() = default;

bool ChildCommand::start(const juce::StringArray& arguments)
{
    if (arguments.isEmpty() || arguments[0].isEmpty() || pipe->pid > 0)
        return false;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    pipe->pid = spawn(arguments, ends[1]);
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
    std::chrono::steady_clock::time_point drainEnd{};
    while (!pipe->closed) {
        if (pipe->changed.wait_for(lock, std::chrono::milliseconds(20), [this] { return pipe->closed; }))
            break;
        if (drainEnd == std::chrono::steady_clock::time_point{}) {
            lock.unlock();
            const bool ended = !pipe->running();
            lock.lock();
            if (ended)
                drainEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainAfterEndMs);
        } else if (std::chrono::steady_clock::now() >= drainEnd) {
            break;
        }
    }
    return juce::String::fromUTF8(pipe->output.data(), static_cast<int>(pipe->output.size()));
}

bool ChildCommand::foundWatchedText() const
{
    std::lock_guard<std::mutex> lock(pipe->mutex);
    return pipe->watchedFound;
}

void ChildCommand::kill()
{
    if (pipe->running())
        ::kill(pipe->pid, SIGKILL);
}
