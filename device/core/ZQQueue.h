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
    // message) must not pile up without end: past this many the oldest go.
    static constexpr std::size_t kMaxMessages = 256;

    ZQQueue() = default;
    ~ZQQueue();
    ZQQueue(const ZQQueue&) = delete;
    ZQQueue& operator=(const ZQQueue&) = delete;

    void PushBack(const std::uint8_t* data, int length);

    std::size_t Size();

    std::mutex mutex;
    std::condition_variable condition;
    std::deque<std::vector<std::uint8_t>*> messages;
};
