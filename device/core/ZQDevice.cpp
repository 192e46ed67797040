#include "device/core/ZQDevice.h"

#include "device/bootloader/BootloaderMessages.h"
#include "device/core/ZQSysEx.h"
#include "runtime/Clock.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

bool IsStartByte(std::uint8_t b) { return b == 0xB0 || b == 0xC0 || b == 0xF0; }

std::size_t FindStart(const std::vector<std::uint8_t>& buffer, std::size_t from)
{
    for (std::size_t i = from; i < buffer.size(); ++i)
        if (IsStartByte(buffer[i]))
            return i;
    return buffer.size();
}

// A timed wait runs in slices. A slice that ends far later than it should
// was time in which the process did not run (stopped, or starved), and
// neither did the thread that brings the replies: that time does not count,
// so a reply that came meanwhile is still taken.
constexpr std::chrono::microseconds kWaitSlice{100000};
constexpr std::chrono::microseconds kSliceLateness{100000};

} // namespace

ZQDevice::ZQDevice() : queues(kSlotCount), defaultSid(-1), lastSid(kSlotCount - 1) { defaultSid = AllocateSid(); }

ZQDevice::~ZQDevice()
{
    for (int sid = 0; sid < kSlotCount; ++sid)
        ReleaseSid(sid);
    receiveBuffer.reset();
}

const std::uint8_t* ZQDevice::GetUUID() const { return nullptr; }

int ZQDevice::AllocateSid()
{
    std::lock_guard<std::mutex> lock(slotMutex);
    for (int k = 0; k < kSlotCount; ++k) {
        const int sid = (lastSid + 1 + k) % kSlotCount;
        auto& queue = queues[static_cast<std::size_t>(sid)];
        if (!queue) {
            queue = std::make_shared<ZQQueue>();
            lastSid = sid;
            return sid;
        }
    }
    return -1;
}

void ZQDevice::ReleaseSid(int sid)
{
    if (sid < 0 || sid >= kSlotCount)
        return;
    std::lock_guard<std::mutex> lock(slotMutex);
    queues[static_cast<std::size_t>(sid)].reset();
}

int ZQDevice::Send(const std::uint8_t* data, int length)
{
    return Internal_Send(data, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::shared_ptr<ZQQueue> ZQDevice::QueueOf(int sid)
{
    std::lock_guard<std::mutex> lock(slotMutex);
    return queues[static_cast<std::size_t>(sid)];
}

void ZQDevice::OnReadNext(const std::uint8_t* data, int length)
{
    if (data == nullptr || length <= 0)
        return;
    // A large delivery is framed in pieces of at most the buffer's bound, so
    // the buffer never holds more than twice that, however much comes at once.
    const std::size_t total = static_cast<std::size_t>(length);
    for (std::size_t at = 0; at < total; at += kMaxReceiveBuffer)
        Frame(data + at, std::min(total - at, kMaxReceiveBuffer));
}

void ZQDevice::Frame(const std::uint8_t* data, std::size_t length)
{
    if (!receiveBuffer)
        receiveBuffer = std::make_unique<std::vector<std::uint8_t>>();
    std::vector<std::uint8_t>& buffer = *receiveBuffer;
    if (buffer.size() != scanned)
        scanned = scanStart = 0; // the buffer was changed from outside: scan it afresh
    buffer.insert(buffer.end(), data, data + length);

    std::size_t consumed = 0; // one past the last byte routed in this call
    std::size_t start = scanStart < scanned ? scanStart : FindStart(buffer, scanned);
    std::size_t searchFrom = scanned; // where the search for the F7 goes on
    while (start < buffer.size()) {
        std::size_t end = buffer.size(); // index of the message's last byte
        const std::uint8_t status = buffer[start];
        if (status == 0xB0) {
            if (start + 2 < buffer.size())
                end = start + 2;
        } else if (status == 0xC0) {
            if (start + 1 < buffer.size())
                end = start + 1;
        } else {
            for (std::size_t i = std::max(start + 1, searchFrom); i < buffer.size(); ++i) {
                if (buffer[i] == 0xF0) {
                    start = i; // an unfinished message is given up
                } else if (buffer[i] == 0xF7) {
                    end = i;
                    break;
                }
            }
        }
        if (end == buffer.size())
            break;

        // A message longer than the bound is dropped, as it is when it
        // comes in pieces (the bound then cuts its start away).
        const std::size_t messageLength = end - start + 1;
        if (messageLength <= kMaxReceiveBuffer) {
            const std::vector<std::uint8_t> message(buffer.data() + start, buffer.data() + end + 1);
            Internal_OnReadNext(message.data(), static_cast<int>(messageLength));
        }
        consumed = end + 1;
        searchFrom = 0;
        // The scan resumes at the message's last byte, which may start the
        // next one (B0 07 F0 ...).
        start = FindStart(buffer, end);
    }

    if (consumed > 0 && IsStartByte(buffer[consumed - 1])) {
        // The kept bytes were scanned with the start byte that is erased
        // now; the next delivery scans them again without it.
        scanned = scanStart = 0;
    } else {
        scanned = buffer.size() - consumed;
        scanStart = std::min(start, buffer.size()) - consumed;
    }
    if (consumed > 0)
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(consumed));

    if (buffer.size() > kMaxReceiveBuffer) {
        // Keep only the newest possible start of a message, if it fits.
        auto last = std::find_if(buffer.rbegin(), buffer.rend(), IsStartByte);
        std::size_t keepFrom =
            last == buffer.rend() ? buffer.size() : static_cast<std::size_t>(buffer.rend() - last - 1);
        if (buffer.size() - keepFrom > kMaxReceiveBuffer)
            keepFrom = buffer.size();
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(keepFrom));
        if (keepFrom > 0)
            scanned = scanStart = 0;
    }
}

void ZQDevice::Internal_OnReadNext(const std::uint8_t* message, int length)
{
    if (message == nullptr || length < 1)
        return;
    const std::size_t L = static_cast<std::size_t>(length);

    for (const char* tag : bootloader::kReplyTags) {
        const std::size_t n = std::strlen(tag);
        if (L - 1 > n && std::memcmp(message + 1, tag, n) == 0) {
            const auto slot = static_cast<std::size_t>(defaultSid);
            if (defaultSid >= 0 && queues[slot])
                queues[slot]->PushBack(message, length);
            return;
        }
    }

    if (L >= 7 && message[0] == 0xF0 && message[L - 1] == 0xF7 && ZQSysEx::Checksum(message + 6, L - 7) == message[3]) {
        const int sid = message[2];
        if (sid >= kSlotCount)
            return;
        if (auto queue = QueueOf(sid))
            queue->PushBack(message, length);
    }
}

int ZQDevice::ReadNext(int sid, std::uint8_t* out, std::size_t capacity, int timeoutMs)
{
    if (sid < 0 || sid >= kSlotCount)
        return -1;
    std::shared_ptr<ZQQueue> queue = QueueOf(sid);
    if (!queue)
        return -1;
    if (out == nullptr)
        return 0;

    std::unique_lock<std::mutex> lock(queue->mutex);
    const auto limit = std::chrono::duration_cast<std::chrono::microseconds>(
        zq::Clock::duration(static_cast<std::uint32_t>(std::max(timeoutMs, 0))));
    auto left = limit;
    while (queue->messages.empty()) {
        if (timeoutMs < 0)
            return -1;
        if (timeoutMs == 0) {
            queue->condition.wait(lock);
            continue;
        }
        if (left <= std::chrono::microseconds::zero())
            return -1;
        const auto slice = std::min<std::chrono::microseconds>(left, kWaitSlice);
        const auto begin = std::chrono::steady_clock::now();
        const bool timedOut = queue->condition.wait_for(lock, slice) == std::cv_status::timeout;
        if (!queue->messages.empty())
            break;
        if (!timedOut) {
            left = limit; // woken without a message: a full wait again
            continue;
        }
        left -= std::min<std::chrono::microseconds>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin),
            slice + kSliceLateness);
    }

    std::vector<std::uint8_t>* message = queue->TakeFront();
    const std::size_t n = std::min(message->size(), capacity);
    std::memcpy(out, message->data(), n);
    delete message;
    return static_cast<int>(n);
}
