#include "DeferredQuit.h"

namespace {
// How often a pending quit looks whether the worker has ended.
constexpr int kRecheckMs = 100;
} // namespace

DeferredQuit::DeferredQuit(std::function<bool()> isBusy) : busy(std::move(isBusy)) {}

DeferredQuit::~DeferredQuit() { stopTimer(); }

void DeferredQuit::request()
{
    JUCE_ASSERT_MESSAGE_THREAD
    if (busy())
        startTimer(kRecheckMs);
    else
        juce::JUCEApplicationBase::quit();
}

void DeferredQuit::timerCallback()
{
    if (busy())
        return;
    stopTimer();
    juce::JUCEApplicationBase::quit();
}
