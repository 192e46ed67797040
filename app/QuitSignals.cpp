#include "app/QuitSignals.h"

#include <juce_events/juce_events.h>

#include <cerrno>
#include <csignal>
#include <cstddef>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Every signal whose default action would end the program and that a
// terminal (Ctrl-C, Ctrl-\, its closing), a service manager or a user's kill
// sends: the default would cut a flash short and leave the amplifier in its
// bootloader, and a core dump on SIGQUIT is not worth that. SIGUSR1 and
// SIGUSR2 mean nothing else here, so they end the program as by default,
// only after the step. Ctrl-Z only stops the program; SIGPIPE is ignored.
constexpr int kQuitSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2};

constexpr std::size_t kSignalCount = sizeof kQuitSignals / sizeof kQuitSignals[0];

// Written by the handler, read on the message thread.
int signalPipe[2] = {-1, -1};
// Whether the read end is registered with the message loop.
bool listening = false;

// The actions the program was started with, taken while it loads: the
// framework sets a SIGINT handler of its own before the application starts.
struct InheritedActions {
    InheritedActions()
    {
        for (std::size_t i = 0; i < kSignalCount; ++i)
            sigaction(kQuitSignals[i], nullptr, &actions[i]);
    }
    struct sigaction actions[kSignalCount] {};
};

const InheritedActions& inherited()
{
    static const InheritedActions atLoad;
    return atLoad;
}

[[maybe_unused]] const bool inheritedTaken = (inherited(), true);

bool inheritedIgnored(std::size_t i) { return inherited().actions[i].sa_handler == SIG_IGN; }

void noteSignal(int) { QuitSignals::request(); }

} // namespace

void QuitSignals::request()
{
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a request.
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void QuitSignals::install()
{
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    // The flows' reads and waits go on undisturbed.
    action.sa_flags = SA_RESTART;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (std::size_t i = 0; i < kSignalCount; ++i)
        sigaction(kQuitSignals[i], inheritedIgnored(i) ? &ignore : &action, nullptr);
}

void QuitSignals::listen(std::function<void()> onQuit)
{
    JUCE_ASSERT_MESSAGE_THREAD
    if (signalPipe[0] < 0 || listening)
        return;
    listening = true;
    juce::LinuxEventLoop::registerFdCallback(signalPipe[0], [onQuit = std::move(onQuit)](int fd) {
        char bytes[64];
        while (read(fd, bytes, sizeof bytes) > 0) {
        }
        onQuit();
    });
}

void QuitSignals::restoreInherited()
{
    for (std::size_t i = 0; i < kSignalCount; ++i)
        sigaction(kQuitSignals[i], &inherited().actions[i], nullptr);
}

void QuitSignals::stopListening()
{
    JUCE_ASSERT_MESSAGE_THREAD
    // The console flows never listen.
    if (listening)
        juce::LinuxEventLoop::unregisterFdCallback(signalPipe[0]);
    listening = false;
}
