#pragma once

#include "ZQDevice.h"

#include <mutex>
#include <vector>

// A device whose transport only records what is sent.
class RecordingDevice : public ZQDevice {
public:
    bool Open() override { return open = true; }
    void Close() override { open = false; }
    int Internal_Send(const std::uint8_t* data, std::size_t length) override
    {
        std::lock_guard<std::mutex> lock(sentMutex);
        sent.emplace_back(data, data + length);
        return open ? static_cast<int>(length) : -1;
    }
    std::vector<std::vector<std::uint8_t>> sentMessages()
    {
        std::lock_guard<std::mutex> lock(sentMutex);
        return sent;
    }

    // Delivers bytes as a receive thread would.
    void deliver(const std::vector<std::uint8_t>& bytes) { OnReadNext(bytes.data(), static_cast<int>(bytes.size())); }

    // Everything queued in a slot, oldest first, without waiting.
    std::vector<std::vector<std::uint8_t>> drainSlot(int sid)
    {
        std::vector<std::vector<std::uint8_t>> out;
        std::uint8_t buffer[1024];
        int n;
        while ((n = ReadNext(sid, buffer, sizeof buffer, -1)) > 0)
            out.emplace_back(buffer, buffer + n);
        return out;
    }

    bool open = true;

private:
    std::mutex sentMutex;
    std::vector<std::vector<std::uint8_t>> sent;
};
