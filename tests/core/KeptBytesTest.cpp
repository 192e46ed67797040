// A device that sends large messages must not make the host hold them: what
// the device keeps stays within a few hundred KiB whatever comes in.
#include "tests/support/RecordingDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::size_t KiB = 1024;
constexpr std::size_t MiB = 1024 * KiB;

// F0, the tag, filler data bytes up to `length` in all, F7.
Bytes bootloaderReply(const char* tag, std::size_t length)
{
    Bytes m(length, 0x11);
    m.front() = 0xF0;
    std::memcpy(m.data() + 1, tag, std::strlen(tag));
    m.back() = 0xF7;
    return m;
}

// A command frame for `sid` whose checksum holds: an even number of equal
// data bytes exclusive-ors to 0.
Bytes commandFrame(std::uint8_t sid, std::size_t length)
{
    Bytes m(length, 0x22);
    m[0] = 0xF0;
    m[1] = 0x01;
    m[2] = sid;
    m[3] = 0x00;
    m[4] = 0x03;
    m[5] = 0x11;
    m.back() = 0xF7;
    if ((length - 7) % 2 != 0)
        m[6] = 0x00;
    return m;
}

// The heap bytes of the messages queued in a slot.
std::size_t queuedBytes(ZQDevice& device, int sid)
{
    ZQQueue& queue = *device.queues[static_cast<std::size_t>(sid)];
    std::lock_guard<std::mutex> lock(queue.mutex);
    std::size_t bytes = 0;
    for (const auto* message : queue.messages)
        bytes += message->capacity();
    return bytes;
}

struct FloodCase {
    const char* name;
    Bytes message;
    int count;
    int sid;           // the queue it goes to
    std::size_t piece; // delivered in pieces of this size; 0: whole
    bool kept;         // false: the message is too long and dropped
};

void PrintTo(const FloodCase& c, std::ostream* os) { *os << c.name; }

class KeptBytesTest : public ::testing::TestWithParam<FloodCase> {};

TEST_P(KeptBytesTest, DeviceHoldsAFewHundredKiBAtMost)
{
    const FloodCase& c = GetParam();
    RecordingDevice device;
    if (c.sid != 0) {
        ASSERT_EQ(device.AllocateSid(), c.sid);
    }

    for (int i = 0; i < c.count; ++i) {
        if (c.piece == 0) {
            device.deliver(c.message);
            continue;
        }
        for (std::size_t at = 0; at < c.message.size(); at += c.piece)
            device.OnReadNext(c.message.data() + at, static_cast<int>(std::min(c.piece, c.message.size() - at)));
    }

    EXPECT_LE(device.receiveBuffer->capacity(), 256 * KiB);
    EXPECT_LE(queuedBytes(device, c.sid), 64 * KiB);

    // What is kept of a long message is its first 1024 bytes, all a reader takes.
    const Bytes head(c.message.begin(), c.message.begin() + 1024);
    std::vector<std::uint8_t> buffer(4096);
    int read = 0;
    int n;
    while ((n = device.ReadNext(c.sid, buffer.data(), buffer.size(), -1)) > 0) {
        ++read;
        if (Bytes(buffer.begin(), buffer.begin() + n) != head) {
            ADD_FAILURE() << "read " << read << " gave " << n << " bytes, not the message's first 1024";
            break;
        }
    }
    if (c.kept) {
        EXPECT_GE(read, 1);
        EXPECT_LE(read, c.count);
    } else {
        EXPECT_EQ(read, 0);
    }

    // The device still routes a normal frame afterwards.
    const Bytes frame = commandFrame(static_cast<std::uint8_t>(c.sid), 7);
    device.deliver(frame);
    ASSERT_EQ(device.ReadNext(c.sid, buffer.data(), buffer.size(), -1), 7);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 7), frame);
}

INSTANTIATE_TEST_SUITE_P(
    Floods, KeptBytesTest,
    ::testing::Values(
        FloodCase{"MegabyteRepliesNobodyReads", bootloaderReply("RetBattStatus", MiB), 300, 0, 0, false},
        FloodCase{"FourMegabyteFramesToOneSession", commandFrame(1, 4 * MiB), 64, 1, 0, false},
        FloodCase{"ReplyJustOverSixtyFourKiBWhole", bootloaderReply("RetBattStatus", 65 * KiB), 1, 0, 0, false},
        FloodCase{"ReplyJustOverSixtyFourKiBInPieces", bootloaderReply("RetBattStatus", 65 * KiB), 1, 0, 4 * KiB,
                  false},
        FloodCase{"EightKiBRepliesNobodyReads", bootloaderReply("RetBattStatus", 8 * KiB), 300, 0, 0, true},
        FloodCase{"EightKiBFramesToOneSession", commandFrame(1, 8 * KiB), 300, 1, 0, true}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

} // namespace
