#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// The reply queue of one session slot. Pushed by the receive thread, popped
// by the session that owns the slot.
class ZQQueue {
public:
    // Replies nobody reads (the default session collects every bootloader
    // message) must not pile up without end: past this many, or past
    // kMaxQueuedBytes, the oldest go.
    static constexpr std::size_t kMaxMessages = 256;
    static constexpr std::size_t kMaxQueuedBytes = 64 * 1024;
    // No reader takes more of a message than this (the command sessions'
    // buffer), so only its first bytes are kept.
    static constexpr std::size_t kMaxMessageBytes = 1024;

    ZQQueue() = default;
    ~ZQQueue();
    ZQQueue(const ZQQueue&) = delete;
    ZQQueue& operator=(const ZQQueue&) = delete;

    void PushBack(const std::uint8_t* data, int length);
    // The oldest message, now the caller's; the queue's mutex must be held
    // and the queue not empty.
    std::vector<std::uint8_t>* TakeFront();

    std::size_t Size();
    // The bytes of all the messages queued.
    std::size_t KeptBytes();

    std::mutex mutex;
    std::condition_variable condition;
    std::deque<std::vector<std::uint8_t>*> messages;

private:
    std::size_t keptBytes = 0;
};
