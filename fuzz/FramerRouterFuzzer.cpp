// Arbitrary deliveries into a device with some slots taken, interleaved with
// reads, allocations and releases, then every queue drained.
//
// Input: one byte choosing the taken slots (slot s is taken when bit s % 8 is
// set), then records. A record whose first byte is below C0 is a delivery of
// (byte & 3F) + 1 bytes that follow. C0 to EF reads one message: the next
// byte picks the slot (-1 to 64), the record byte's low bits the capacity.
// F0 to F7 allocates a slot; F8 to FF releases the slot the next byte picks.
#include "device/bootloader/BootloaderMessages.h"
#include "device/core/ZQSysEx.h"
#include "fuzz/FuzzCheck.h"
#include "tests/support/RecordingDevice.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

class Input {
public:
    Input(const std::uint8_t* bytes, std::size_t length) : data(bytes), size(length) {}
    bool empty() const { return at >= size; }
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    std::vector<std::uint8_t> bytes(std::size_t n)
    {
        n = std::min(n, size - at);
        std::vector<std::uint8_t> out(data + at, data + at + n);
        at += n;
        return out;
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

bool startsLikeBootloaderReply(const std::uint8_t* m, int n)
{
    for (const char* tag : bootloader::kReplyTags) {
        const std::size_t compared = std::min<std::size_t>(std::strlen(tag), static_cast<std::size_t>(n - 1));
        if (std::memcmp(m + 1, tag, compared) == 0)
            return true;
    }
    return false;
}

// What any message read from `sid` must look like, cut at `capacity`.
void checkRead(const ZQDevice& device, int sid, const std::uint8_t* out, int n, std::size_t capacity,
               std::size_t fullLength)
{
    FUZZ_CHECK(fullLength >= 7); // the shortest frame; bootloader replies are longer
    FUZZ_CHECK(n >= 0 && static_cast<std::size_t>(n) == std::min(fullLength, capacity));
    if (n > 0)
        FUZZ_CHECK(out[0] == 0xF0);
    if (n < 3)
        return;
    // Byte 2 of a bootloader reply is the tag's 'e'; a frame there holds its session id.
    const bool bootloaderReply = sid == device.defaultSid && out[2] != sid;
    if (bootloaderReply) {
        FUZZ_CHECK(startsLikeBootloaderReply(out, n));
    } else {
        FUZZ_CHECK(out[2] == sid);
    }
    if (static_cast<std::size_t>(n) == fullLength) {
        FUZZ_CHECK(out[n - 1] == 0xF7);
        if (!bootloaderReply)
            FUZZ_CHECK(ZQSysEx::Checksum(out + 6, static_cast<std::size_t>(n) - 7) == out[3]);
    }
}

// The queue of slot `sid`, which is in range.
std::shared_ptr<ZQQueue>& slot(ZQDevice& device, int sid) { return device.queues[static_cast<std::size_t>(sid)]; }

std::size_t oldestLength(ZQDevice& device, int sid)
{
    auto& queue = slot(device, sid);
    std::lock_guard<std::mutex> lock(queue->mutex);
    return queue->messages.empty() ? 0 : queue->messages.front()->size();
}

// One polling read; the buffer is exactly `capacity` bytes, so the sanitizer
// sees any write past it.
int readOne(ZQDevice& device, int sid, std::size_t capacity)
{
    const bool inRange = sid >= 0 && sid < ZQDevice::kSlotCount;
    const bool queued = inRange && slot(device, sid) && slot(device, sid)->Size() > 0;
    const std::size_t fullLength = queued ? oldestLength(device, sid) : 0;
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[capacity]);
    const int n = device.ReadNext(sid, out.get(), capacity, -1);
    if (!queued) {
        FUZZ_CHECK(n == -1);
        return n;
    }
    checkRead(device, sid, out.get(), n, capacity, fullLength);
    return n;
}

void checkBounds(ZQDevice& device)
{
    if (device.receiveBuffer)
        FUZZ_CHECK(device.receiveBuffer->size() <= ZQDevice::kMaxReceiveBuffer);
    for (int sid = 0; sid < ZQDevice::kSlotCount; ++sid)
        if (slot(device, sid)) {
            FUZZ_CHECK(slot(device, sid)->Size() <= ZQQueue::kMaxMessages);
            FUZZ_CHECK(slot(device, sid)->KeptBytes() <= ZQQueue::kMaxQueuedBytes);
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    RecordingDevice device;
    const std::uint8_t taken = in.byte();
    for (int sid = 1; sid < ZQDevice::kSlotCount; ++sid)
        FUZZ_CHECK(device.AllocateSid() == sid);
    for (int sid = 1; sid < ZQDevice::kSlotCount; ++sid)
        if (!(taken >> (sid % 8) & 1))
            device.ReleaseSid(sid);

    while (!in.empty()) {
        const std::uint8_t op = in.byte();
        if (op < 0xC0) {
            device.deliver(in.bytes((op & 0x3F) + 1u));
            checkBounds(device);
        } else if (op < 0xF0) {
            const int sid = in.byte() % (ZQDevice::kSlotCount + 2) - 1;
            readOne(device, sid, op & 0x1F);
        } else if (op < 0xF8) {
            const int sid = device.AllocateSid();
            FUZZ_CHECK(sid >= -1 && sid < ZQDevice::kSlotCount);
            if (sid >= 0)
                FUZZ_CHECK(slot(device, sid) && slot(device, sid)->Size() == 0);
        } else {
            const int sid = in.byte() % ZQDevice::kSlotCount;
            if (sid != device.defaultSid)
                device.ReleaseSid(sid);
        }
    }

    // A null buffer takes nothing; then drain every queue in small pieces.
    for (int sid = 0; sid < ZQDevice::kSlotCount; ++sid) {
        if (!slot(device, sid))
            continue;
        const std::size_t before = slot(device, sid)->Size();
        FUZZ_CHECK(device.ReadNext(sid, nullptr, 16, -1) == 0);
        FUZZ_CHECK(slot(device, sid)->Size() == before);
        for (std::size_t i = 0; i < before; ++i)
            FUZZ_CHECK(readOne(device, sid, 5 + i % 11) >= 0);
        FUZZ_CHECK(readOne(device, sid, 16) == -1);
    }
    FUZZ_CHECK(device.ReadNext(64, nullptr, 0, -1) == -1);
    FUZZ_CHECK(device.ReadNext(-1, nullptr, 0, -1) == -1);
    return 0;
}
