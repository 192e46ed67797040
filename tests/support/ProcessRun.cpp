#include "tests/support/ProcessRun.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

std::vector<std::string> ProcessResult::lines() const
{
    std::vector<std::string> result;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
        result.push_back(line);
    return result;
}

namespace {

constexpr int kSampleMs = 5;

std::string linkTarget(const std::string& link)
{
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// Only once the program runs: before its exec the child still holds this
// process's descriptors.
void sampleDescriptors(pid_t pid, const std::string& program, const std::vector<int>& fds, ProcessResult& result)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    if (linkTarget(proc + "/exe") != program)
        return;
    for (int fd : fds) {
        const std::string target = linkTarget(proc + "/fd/" + std::to_string(fd));
        std::vector<std::string>& seen = result.descriptorTargets[fd];
        if (!target.empty() && (seen.empty() || seen.back() != target))
            seen.push_back(target);
    }
}

bool closedInChild(const ProcessOptions& options, int fd)
{
    return std::find(options.closedDescriptors.begin(), options.closedDescriptors.end(), fd)
           != options.closedDescriptors.end();
}

} // namespace

std::vector<std::string> environmentWith(const std::vector<std::string>& changes)
{
    std::vector<std::string> result;
    for (char** variable = environ; *variable != nullptr; ++variable)
        result.emplace_back(*variable);
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('='));
        result.erase(
            std::remove_if(result.begin(), result.end(),
                           [&](const std::string& v) { return v.compare(0, name.size() + 1, name + "=") == 0; }),
            result.end());
        if (name.size() < change.size())
            result.push_back(change);
    }
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, int timeoutSeconds, const ProcessOptions& options)
{
    int outPipe[2];
    int errPipe[2];
    // Close-on-exec: a program that another thread starts meanwhile must not
    // hold these open, which would keep this reader from its end of file.
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        return {};
    bool stalled = static_cast<bool>(options.stallOutputUntil);
    if (stalled)
        fcntl(outPipe[0], F_SETPIPE_SZ, 4096);
    if (options.nonBlockingOutput)
        fcntl(outPipe[1], F_SETFL, fcntl(outPipe[1], F_GETFL) | O_NONBLOCK);

    // Made before the fork: other threads of this process may hold the
    // allocator's or the environment's lock at that moment, and the child
    // would wait for them for good. Between fork and exec it makes only
    // async-signal-safe calls.
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> variables = environmentWith(environment);
    const std::vector<char*> argv = pointersTo(words);
    const std::vector<char*> envp = pointersTo(variables);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        close(outPipe[1]);
        close(errPipe[1]);
        for (int fd : options.closedDescriptors)
            close(fd);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    ProcessResult result;
    result.pid = pid;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    if (closedInChild(options, 2)) {
        close(errPipe[0]);
        fds[1].fd = -1;
        --open;
    }
    if (options.closeOutputAfterLines == 0 && !stalled) {
        close(outPipe[0]);
        fds[0].fd = -1;
        --open;
    }
    // Left unread while stalled: poll skips a negative descriptor.
    if (stalled)
        fds[0].fd = -outPipe[0] - 1;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    const bool sampling = !options.closedDescriptors.empty();
    char* resolved = realpath(program.c_str(), nullptr);
    const std::string running = resolved != nullptr ? resolved : program;
    std::free(resolved);
    int status = 0;
    bool ended = false;
    while (open > 0 || (sampling && !ended)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (sampling) {
            sampleDescriptors(pid, running, options.closedDescriptors, result);
            ended = waitpid(pid, &status, WNOHANG) == pid;
        }
        const int wait = sampling || stalled ? std::min<int>(kSampleMs, static_cast<int>(left.count()))
                                             : static_cast<int>(left.count());
        if (poll(fds, 2, wait) < 0)
            break;
        if (stalled && options.stallOutputUntil(result)) {
            stalled = false;
            fds[0].fd = -fds[0].fd - 1;
            if (options.closeOutputAfterLines == 0) {
                close(fds[0].fd);
                fds[0].fd = -1;
                --open;
            }
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            if (i == 1) {
                result.err.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            for (ssize_t k = 0; k < n; ++k) {
                result.out.push_back(buffer[k]);
                if (buffer[k] != '\n')
                    continue;
                result.lineTimes.push_back(std::chrono::steady_clock::now());
                if (static_cast<int>(result.lineTimes.size()) == options.closeOutputAfterLines) {
                    close(fds[0].fd);
                    fds[0].fd = -1;
                    --open;
                    break;
                }
            }
            if (options.onOutput)
                options.onOutput(pid, result.out);
        }
    }
    if (stalled)
        fds[0].fd = -fds[0].fd - 1;
    for (const auto& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    if (!ended)
        waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

bool processEnds(int pid, int withinMs)
{
    if (pid <= 0)
        return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(withinMs);
    for (;;) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        if (text.empty())
            return true;
        // The state follows the name, which is in parentheses.
        const auto name = text.rfind(')');
        if (name != std::string::npos && name + 2 < text.size() && (text[name + 2] == 'Z' || text[name + 2] == 'X'))
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
