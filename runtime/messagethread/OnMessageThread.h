#pragma once

#include <juce_events/juce_events.h>

#include <functional>
#include <type_traits>

namespace zq {

// While one lives, the message thread waits for a worker to end and serves
// no call: a worker's onMessageThread then fails at once instead of waiting
// for a thread that waits for it. Message thread only.
class MessageThreadWaits {
public:
    MessageThreadWaits();
    ~MessageThreadWaits();
    MessageThreadWaits(const MessageThreadWaits&) = delete;
    MessageThreadWaits& operator=(const MessageThreadWaits&) = delete;
};

namespace detail {
// Runs `call` on the message thread and waits until it has run; false, with
// `call` never run, once the message thread serves no more calls.
bool runOnMessageThread(const std::function<void()>& call);
} // namespace detail

// Runs `function` on the message thread and returns its result: at once when
// the caller is the message thread, else by blocking until the message
// thread has run it. Once the message thread serves no more calls (the quit
// has been sent, or it waits for a worker: MessageThreadWaits) the wait ends
// at once without running `function`, and the result is value-initialised
// (no port, false, an empty list): the caller's step fails as on any other
// failure. The caller must hold no lock that the message thread may wait for.
template <typename Function>
auto onMessageThread(Function&& function) -> decltype(function())
{
    using Result = decltype(function());
    if constexpr (std::is_void_v<Result>) {
        detail::runOnMessageThread([&function] { function(); });
    } else {
        Result result{};
        detail::runOnMessageThread([&function, &result] { result = function(); });
        return result;
    }
}

} // namespace zq
