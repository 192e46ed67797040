#pragma once

// How far from its interval a JUCE timer may fire on a loaded machine. Early:
// JUCE's timer thread charges a timer started while the thread naps with the
// part of the nap already gone (a nap lasts up to 100 ms, longer when the
// thread is woken late). Late: however long a busy machine keeps the timer
// thread or the message thread from running.
namespace juceTimerSlack {
constexpr double earlyMs = 150;
constexpr double lateMs = 500;
} // namespace juceTimerSlack
