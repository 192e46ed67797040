#pragma once

#include <juce_events/juce_events.h>

#include <functional>
#include <type_traits>

namespace zq {

// Runs `function` on the message thread and returns its result: at once when
// the caller is the message thread, else by blocking, without time-out, until
// the message thread has run it. The caller must hold no lock that the
// message thread may wait for.
template <typename Function>
auto onMessageThread(Function&& function) -> decltype(function())
{
    using Result = decltype(function());
    struct Call {
        static void* run(void* self)
        {
            static_cast<std::function<void()>*>(self)->operator()();
            return nullptr;
        }
    };
    if constexpr (std::is_void_v<Result>) {
        std::function<void()> call = [&function] { function(); };
        juce::MessageManager::getInstance()->callFunctionOnMessageThread(&Call::run, &call);
    } else {
        Result result{};
        std::function<void()> call = [&function, &result] { result = function(); };
        juce::MessageManager::getInstance()->callFunctionOnMessageThread(&Call::run, &call);
        return result;
    }
}

} // namespace zq
