#include "app/DisplayLoss.h"

// The framework's own display connection, which it shows with this switch.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>

#include <fcntl.h>
#include <unistd.h>

namespace {

void (*lossHandler)() = nullptr;
std::atomic<bool> lost{false};
// Both ends of a pipe nobody writes: its read end never becomes readable.
int quiet[2] = {-1, -1};

// Stands in for the framework's handler, which would stop the event loop.
int onConnectionLost(::Display* display)
{
    // The dead connection's descriptor stays registered with the event loop
    // and would wake it without end; the quiet pipe takes its number, which
    // the framework still unregisters and closes at the end as its own.
    dup3(quiet[0], ConnectionNumber(display), O_CLOEXEC);
    if (!lost.exchange(true))
        lossHandler();
    return 0;
}

// Where Xlib would end the program: it goes on, and every later call on this
// display returns at once.
void onConnectionLostExit(::Display*, void*) {}

} // namespace

bool DisplayLoss::happened() { return lost; }

bool DisplayLoss::survive(void (*onLoss)())
{
    JUCE_ASSERT_MESSAGE_THREAD
    auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();
    ::Display* display = windowSystem != nullptr ? windowSystem->getDisplay() : nullptr;
    if (display == nullptr || onLoss == nullptr || (quiet[0] < 0 && pipe2(quiet, O_CLOEXEC) != 0))
        return false;
    lossHandler = onLoss;
    XSetIOErrorExitHandler(display, onConnectionLostExit, nullptr);
    XSetIOErrorHandler(onConnectionLost);
    return true;
}
