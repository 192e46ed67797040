#pragma once

#include <functional>

// SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1 and SIGUSR2 taken as the system's
// quit request. Their handler only notes the signal: a console flow runs on
// to its end (it quits anyway), and the window hands the request to the
// message thread, where it waits for a running worker like any other quit.
// A signal that the program inherited as ignored (under nohup, or SIGINT
// and SIGQUIT in a shell's background job) stays ignored throughout.
class QuitSignals {
public:
    // Replaces the signals' inherited actions and the framework's own SIGINT
    // handler, which stops the event loop at once, under an update too.
    static void install();
    // Message thread, with an event loop to come: `onQuit` runs there for
    // the signals that arrived before and after this call.
    static void listen(std::function<void()> onQuit);
    static void stopListening();
    // Any thread, also a signal handler: a quit request as by a signal.
    static void request();
    // Once the flow or the window has ended nothing is at risk any more: the
    // signals act again as when the program started (most end it), also
    // while its exit waits for a slow reader of standard output.
    static void restoreInherited();
};
