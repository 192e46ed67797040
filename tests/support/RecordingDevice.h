#pragma once

#include "device/core/ZQDevice.h"

#include <functional>
#include <mutex>
#include <vector>

// A device whose transport records what is sent and, when given a handler,
// answers each sent message at once, on the sender's thread, with the
// deliveries the handler returns. A send while closed, or one the `failSend`
// predicate picks, returns -1 and reaches nobody.
class RecordingDevice : public ZQDevice {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Handler = std::function<std::vector<Bytes>(const Bytes& sent)>;

    explicit RecordingDevice(Handler h = {}) : handler(std::move(h)) {}

    bool Open() override { return open = true; }
    void Close() override { open = false; }
    int Internal_Send(const std::uint8_t* data, std::size_t length) override
    {
        const Bytes message(data, data + length);
        {
            std::lock_guard<std::mutex> lock(sentMutex);
            sent.push_back(message);
        }
        if (!open || (failSend && failSend(message)))
            return -1;
        if (handler)
            for (const Bytes& delivery : handler(message))
                deliver(delivery);
        return static_cast<int>(length);
    }
    std::vector<Bytes> sentMessages()
    {
        std::lock_guard<std::mutex> lock(sentMutex);
        return sent;
    }

    // Delivers bytes as a receive thread would.
    void deliver(const Bytes& bytes) { OnReadNext(bytes.data(), static_cast<int>(bytes.size())); }

    // Everything queued in a slot, oldest first, without waiting.
    std::vector<Bytes> drainSlot(int sid)
    {
        std::vector<Bytes> out;
        std::uint8_t buffer[1024];
        int n;
        while ((n = ReadNext(sid, buffer, sizeof buffer, -1)) > 0)
            out.emplace_back(buffer, buffer + n);
        return out;
    }

    Handler handler;
    std::function<bool(const Bytes&)> failSend;
    bool open = true;

private:
    std::mutex sentMutex;
    std::vector<Bytes> sent;
};
