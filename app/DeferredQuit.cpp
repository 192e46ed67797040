#include "app/DeferredQuit.h"

namespace {
// How often a pending quit looks whether the worker has ended.
constexpr int kRecheckMs = 100;
} // namespace

DeferredQuit::DeferredQuit(std::function<bool()> isBusy, std::function<void()> quit)
    : busy(std::move(isBusy)), quitNow(std::move(quit))
{
}

DeferredQuit::~DeferredQuit() { stopTimer(); }

void DeferredQuit::request()
{
    JUCE_ASSERT_MESSAGE_THREAD
    if (busy())
        startTimer(kRecheckMs);
    else
        quitNow();
}

void DeferredQuit::timerCallback()
{
    if (busy())
        return;
    stopTimer();
    quitNow();
}
