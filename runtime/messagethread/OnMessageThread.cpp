#include "runtime/messagethread/OnMessageThread.h"

#include <juce_events/juce_events.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace zq {

namespace {

// How often a waiting caller looks whether the quit has been sent, which
// nothing announces.
constexpr auto kQuitLook = std::chrono::milliseconds(10);

enum class CallState { Pending, Running, Done, Abandoned };

std::mutex callsLock;
std::condition_variable callsChanged;
int messageThreadWaits = 0; // MessageThreadWaits alive; under callsLock

// Under callsLock.
bool messageThreadServes()
{
    if (messageThreadWaits > 0)
        return false;
    const juce::MessageManager* messages = juce::MessageManager::getInstanceWithoutCreating();
    return messages != nullptr && !messages->hasStopMessageBeenSent();
}

} // namespace

MessageThreadWaits::MessageThreadWaits()
{
    JUCE_ASSERT_MESSAGE_THREAD
    {
        std::lock_guard<std::mutex> lock(callsLock);
        ++messageThreadWaits;
    }
    callsChanged.notify_all();
}

MessageThreadWaits::~MessageThreadWaits()
{
    std::lock_guard<std::mutex> lock(callsLock);
    --messageThreadWaits;
}

namespace detail {

bool runOnMessageThread(const std::function<void()>& call)
{
    // As the framework's own calls do, the first caller makes the message
    // thread when there is none yet.
    if (juce::MessageManager::getInstance()->isThisTheMessageThread()) {
        call();
        return true;
    }

    // The posted function may come to run after the caller has given up and
    // gone: it reaches `call` only when it starts before that.
    auto state = std::make_shared<CallState>(CallState::Pending);
    const std::function<void()>* const target = &call;
    {
        std::lock_guard<std::mutex> lock(callsLock);
        if (!messageThreadServes())
            return false;
    }
    const bool posted = juce::MessageManager::callAsync([state, target] {
        {
            std::lock_guard<std::mutex> lock(callsLock);
            if (*state != CallState::Pending)
                return;
            *state = CallState::Running;
        }
        (*target)();
        {
            std::lock_guard<std::mutex> lock(callsLock);
            *state = CallState::Done;
        }
        callsChanged.notify_all();
    });
    if (!posted)
        return false;

    std::unique_lock<std::mutex> lock(callsLock);
    for (;;) {
        if (*state == CallState::Done)
            return true;
        // A call that runs already is waited for to its end.
        if (*state == CallState::Pending && !messageThreadServes()) {
            *state = CallState::Abandoned;
            return false;
        }
        callsChanged.wait_for(lock, kQuitLook);
    }
}

} // namespace detail

} // namespace zq
