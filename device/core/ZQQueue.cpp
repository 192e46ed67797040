#include "ZQQueue.h"

ZQQueue::~ZQQueue()
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto* message : messages)
        delete message;
    messages.clear();
}

void ZQQueue::PushBack(const std::uint8_t* data, int length)
{
    auto* message = new std::vector<std::uint8_t>(data, data + (length > 0 ? length : 0));
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (messages.size() >= kMaxMessages) {
            delete messages.front();
            messages.pop_front();
        }
        messages.push_back(message);
    }
    condition.notify_one();
}

std::size_t ZQQueue::Size()
{
    std::lock_guard<std::mutex> lock(mutex);
    return messages.size();
}
