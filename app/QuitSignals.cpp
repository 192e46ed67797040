#include "app/QuitSignals.h"

#include <juce_events/juce_events.h>

#include <cerrno>
#include <csignal>

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

// Written by the handler, read on the message thread.
int signalPipe[2] = {-1, -1};
// Whether the read end is registered with the message loop.
bool listening = false;

void noteSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a request.
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

void QuitSignals::install()
{
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    // The flows' reads and waits go on undisturbed.
    action.sa_flags = SA_RESTART;
    for (const int signal : kQuitSignals)
        sigaction(signal, &action, nullptr);
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

void QuitSignals::restoreDefaults()
{
    for (const int signal : kQuitSignals)
        std::signal(signal, SIG_DFL);
}

void QuitSignals::stopListening()
{
    JUCE_ASSERT_MESSAGE_THREAD
    // The console flows never listen.
    if (listening)
        juce::LinuxEventLoop::unregisterFdCallback(signalPipe[0]);
    listening = false;
}
