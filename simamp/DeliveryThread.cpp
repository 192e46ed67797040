#include "simamp/DeliveryThread.h"

namespace sim {

DeliveryThread::DeliveryThread(Receiver r) : receiver(std::move(r)), thread([this] { run(); }) {}

DeliveryThread::~DeliveryThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
}

void DeliveryThread::post(std::vector<std::uint8_t> bytes, std::chrono::steady_clock::time_point due)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        // Keep order: nothing is delivered before what was posted earlier.
        if (!items.empty() && due < items.back().due)
            due = items.back().due;
        items.push_back({std::move(bytes), due});
    }
    wake.notify_all();
}

void DeliveryThread::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    items.clear();
}

void DeliveryThread::drain()
{
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait(lock, [this] { return items.empty() && !delivering; });
}

void DeliveryThread::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        if (items.empty()) {
            wake.wait(lock);
            continue;
        }
        const auto due = items.front().due;
        if (std::chrono::steady_clock::now() < due) {
            wake.wait_until(lock, due);
            continue;
        }
        Item item = std::move(items.front());
        items.pop_front();
        delivering = true;
        lock.unlock();
        receiver(item.bytes);
        lock.lock();
        delivering = false;
        wake.notify_all();
    }
}

} // namespace sim
