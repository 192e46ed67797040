#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace sim {

// Hands byte deliveries to a receiver on a thread of its own, each at its due
// time and in order, as a MIDI system's input thread would.
class DeliveryThread {
public:
    using Receiver = std::function<void(const std::vector<std::uint8_t>&)>;

    explicit DeliveryThread(Receiver receiver);
    ~DeliveryThread();

    void post(std::vector<std::uint8_t> bytes, std::chrono::steady_clock::time_point due);
    // Drops what has not been delivered yet.
    void clear();
    // Waits until nothing is pending or being delivered.
    void drain();

private:
    struct Item {
        std::vector<std::uint8_t> bytes;
        std::chrono::steady_clock::time_point due;
    };
    void run();

    Receiver receiver;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Item> items;
    bool delivering = false;
    bool stopping = false;
    std::thread thread;
};

} // namespace sim
