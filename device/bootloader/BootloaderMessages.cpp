#include "device/bootloader/BootloaderMessages.h"

#include "device/core/ZQDevice.h"
#include "runtime/Clock.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace bootloader {

namespace {

// Real time as product milliseconds (the clock may run faster), rounded up,
// so that a wait of that many milliseconds lasts at least as long.
std::int64_t ProductMsAtLeast(std::chrono::steady_clock::duration real)
{
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(real).count();
    return (us * zq::Clock::speedup() + 999) / 1000;
}

} // namespace

std::size_t BuildRequest(std::uint8_t* out, const char* tag)
{
    const std::size_t n = std::strlen(tag);
    out[0] = 0xF0;
    std::memcpy(out + 1, tag, n);
    out[n + 1] = 0xF7;
    return n + 2;
}

bool HasTag(const std::uint8_t* message, std::size_t length, const char* tag)
{
    const std::size_t n = std::strlen(tag);
    return length > n && std::memcmp(message + 1, tag, n) == 0;
}

void EncodeOffset(std::uint32_t offset, std::uint8_t* out)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>((offset >> (7 * i)) & 0x7F);
}

std::int64_t DecodeOffset(const std::uint8_t* in)
{
    std::int64_t offset = 0;
    for (int i = 0; i < 4; ++i) {
        if (in[i] & 0x80)
            return -1;
        offset |= static_cast<std::int64_t>(in[i]) << (7 * i);
    }
    return offset;
}

std::uint8_t ChunkChecksum(const std::uint8_t* bytes, std::size_t length)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    return sum;
}

int WaitForReply(ZQDevice* device, int sid, std::uint8_t* reply, std::size_t capacity, Reply expected,
                 std::size_t readIndex)
{
    const char* tag = TagOf(expected);
    // One deadline for the whole wait: each message of another tag costs the
    // time it took, however short, so a talker of any speed ends the step.
    auto deadline = std::chrono::steady_clock::now() + zq::Clock::duration(kReplyLimitMs);
    for (;;) {
        const auto begin = std::chrono::steady_clock::now();
        const auto left = deadline - begin;
        const int waitMs = left >= zq::Clock::duration(kReplyWaitMs)
                               ? kReplyWaitMs
                               : static_cast<int>(std::max<std::int64_t>(1, ProductMsAtLeast(left)));
        const int n = device->ReadNext(sid, reply, capacity, waitMs);
        if (n < 1)
            return -1;
        const auto length = static_cast<std::size_t>(n);
        // A reply too short to hold the byte the caller reads is not its
        // answer: a missing status must not read as whatever the buffer held.
        if (HasTag(reply, length, tag) && (readIndex == 0 || readIndex + 1 < length))
            return n;
        // A wait that the process spent stopped counts no more than its own
        // length: what it lasted beyond that moves the deadline on.
        const auto end = std::chrono::steady_clock::now();
        const auto overrun = end - begin - zq::Clock::duration(static_cast<std::uint32_t>(waitMs));
        if (overrun > std::chrono::steady_clock::duration::zero())
            deadline += overrun;
        if (end >= deadline)
            return -1;
    }
}

int SendSetFwStatus(ZQDevice* device, std::uint8_t status)
{
    if (device == nullptr)
        return -1;
    std::uint8_t message[kSetFwStatusLength];
    BuildRequest(message, kSetFwStatus);
    message[kFwStatusIndex] = status;
    message[kFwStatusIndex + 1] = 0xF7;
    return device->Send(message, static_cast<int>(sizeof message));
}

} // namespace bootloader
