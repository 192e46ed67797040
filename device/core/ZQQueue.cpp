#include "device/core/ZQQueue.h"

#include <algorithm>

ZQQueue::~ZQQueue()
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto* message : messages)
        delete message;
    messages.clear();
}

void ZQQueue::PushBack(const std::uint8_t* data, int length)
{
    const std::size_t kept = std::min<std::size_t>(length > 0 ? static_cast<std::size_t>(length) : 0, kMaxMessageBytes);
    auto* message = new std::vector<std::uint8_t>(data, data + kept);
    {
        std::lock_guard<std::mutex> lock(mutex);
        while (!messages.empty() && (messages.size() >= kMaxMessages || keptBytes + kept > kMaxQueuedBytes))
            delete TakeFront();
        messages.push_back(message);
        keptBytes += kept;
    }
    condition.notify_one();
}

std::vector<std::uint8_t>* ZQQueue::TakeFront()
{
    std::vector<std::uint8_t>* message = messages.front();
    messages.pop_front();
    keptBytes -= message->size();
    return message;
}

std::size_t ZQQueue::Size()
{
    std::lock_guard<std::mutex> lock(mutex);
    return messages.size();
}

std::size_t ZQQueue::KeptBytes()
{
    std::lock_guard<std::mutex> lock(mutex);
    return keptBytes;
}
