#pragma once

#include <functional>

// SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1 and SIGUSR2 taken as the system's
// quit request. Their handler only notes the signal: a console flow runs on
// to its end (it quits anyway), and the window hands the request to the
// message thread, where it waits for a running worker like any other quit.
class QuitSignals {
public:
    // Replaces the signals' default actions and the framework's own SIGINT
    // handler, which stops the event loop at once, under an update too.
    static void install();
    // Message thread, with an event loop to come: `onQuit` runs there for
    // the signals that arrived before and after this call.
    static void listen(std::function<void()> onQuit);
    static void stopListening();
    // Once the flow or the window has ended nothing is at risk any more: the
    // signals end the program again, also while its exit waits for a slow
    // reader of standard output.
    static void restoreDefaults();
};
