#pragma once

#include <juce_events/juce_events.h>

#include <memory>
#include <utility>

class MainComponent;

// The one way for a state's workers (and the library's thread) to reach the
// window: posting to it. A worker gets no window to read; what it needs of
// the window is copied into its job when the state starts it. The window owns
// its current state and destroys it, on the message thread, when it is
// replaced or when the window goes; so a function posted through a state's
// watch runs only while that state is current, and then its window, with
// everything the state was given, is there too.
class StateLifetime {
public:
    class Watch {
    public:
        // Any thread: runs `function(window)` on the message thread, unless
        // the state has gone by then.
        template <typename Function>
        void post(Function function) const
        {
            juce::MessageManager::callAsync([alive = token, shown = window, run = std::move(function)]() mutable {
                if (!alive.expired())
                    run(*shown);
            });
        }

    private:
        friend class StateLifetime;
        Watch(std::weak_ptr<const void> stateToken, MainComponent* shown) : token(std::move(stateToken)), window(shown)
        {
        }

        std::weak_ptr<const void> token;
        MainComponent* window;
    };

    // A watch on this state, which `window` shows.
    Watch watch(MainComponent* window) const { return Watch(token, window); }

private:
    std::shared_ptr<const char> token = std::make_shared<const char>('\0');
};
