#pragma once

#include "ZQDevice.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// A device whose transport answers each sent message at once, on the
// sender's thread, with the deliveries its handler returns. A send the
// `failSend` predicate picks returns -1 and reaches nobody.
class AnsweringDevice : public ZQDevice {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Handler = std::function<std::vector<Bytes>(const Bytes& sent)>;

    explicit AnsweringDevice(Handler h = {}) : handler(std::move(h)) {}

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
                OnReadNext(delivery.data(), static_cast<int>(delivery.size()));
        return static_cast<int>(length);
    }

    std::vector<Bytes> sentMessages()
    {
        std::lock_guard<std::mutex> lock(sentMutex);
        return sent;
    }

    Handler handler;
    std::function<bool(const Bytes&)> failSend;
    bool open = true;

private:
    std::mutex sentMutex;
    std::vector<Bytes> sent;
};
