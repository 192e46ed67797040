#include "device/bootloader/BootloaderMessages.h"
#include "device/core/ZQSysEx.h"
#include "simamp/WireFormat.h"
#include "tests/support/Joined.h"
#include "tests/support/RecordingDevice.h"

#include <gtest/gtest.h>

#include <string>

using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes tagged(const std::string& tag, Bytes args = {}) { return sim::wire::bootloaderMessage(tag.c_str(), args); }

const Bytes kFrame3{0xF0, 0x01, 0x03, 0x00, 0x03, 0x11, 0xF7};
const Bytes kFrame5{0xF0, 0x01, 0x05, 0x00, 0x02, 0x11, 0xF7};
const Bytes kFrame2{0xF0, 0x01, 0x02, 0x00, 0x02, 0x11, 0xF7};

struct RouteCase {
    const char* name;
    std::vector<Bytes> deliveries;
    std::vector<int> takenSlots;                              // beyond the default slot 0
    std::vector<std::pair<int, std::vector<Bytes>>> expected; // slot -> messages, oldest first
    Bytes remaining;
};

std::vector<RouteCase> routeCases()
{
    const Bytes fwStatus = tagged("RetFwStatus", {0x01});
    return {
        {"frame to its taken slot", {kFrame3}, {3}, {{3, {kFrame3}}}, {}},
        {"frame to a free slot is dropped", {kFrame3}, {}, {{3, {}}}, {}},
        {"bad checksum is dropped", {{0xF0, 0x01, 0x03, 0x01, 0x03, 0x11, 0xF7}}, {3}, {{3, {}}}, {}},
        {"session id 64 is dropped", {{0xF0, 0x01, 0x40, 0x00, 0x03, 0x11, 0xF7}}, {}, {{0, {}}}, {}},
        {"bootloader reply goes to the default slot", {fwStatus}, {3}, {{0, {fwStatus}}, {3, {}}}, {}},
        {"tag and F7 only is a reply", {tagged("RetFwInfo")}, {}, {{0, {tagged("RetFwInfo")}}}, {}},
        {"truncated tag is not", {tagged("RetFwInf")}, {}, {{0, {}}}, {}},
        {"RetBattStatus and RetWriteFlash",
         {tagged("RetBattStatus"), tagged("RetWriteFlash", {0, 0, 0, 0, 1})},
         {},
         {{0, {tagged("RetBattStatus"), tagged("RetWriteFlash", {0, 0, 0, 0, 1})}}},
         {}},
        {"two frames in one delivery",
         {joined<std::uint8_t>({kFrame3, kFrame5})},
         {3, 5},
         {{3, {kFrame3}}, {5, {kFrame5}}},
         {}},
        {"frame across two deliveries", {{0xF0, 0x01, 0x02}, {0x00, 0x02, 0x11, 0xF7}}, {2}, {{2, {kFrame2}}}, {}},
        {"unfinished frame given up for a new F0",
         {joined<std::uint8_t>({{0xF0, 0x01, 0x02}, kFrame5})},
         {2, 5},
         {{2, {}}, {5, {kFrame5}}},
         {}},
        {"note before a frame is erased with it",
         {joined<std::uint8_t>({{0x90, 0x3C, 0x40}, kFrame3})},
         {3},
         {{3, {kFrame3}}},
         {}},
        {"a lone note stays", {{0x90, 0x3C, 0x40}}, {}, {}, {0x90, 0x3C, 0x40}},
        {"controller cut out and dropped", {{0xB0, 0x07, 0x64}, kFrame3}, {3}, {{3, {kFrame3}}}, {}},
        {"program change cut out and dropped",
         {joined<std::uint8_t>({{0xC0, 0x05}, kFrame3})},
         {3},
         {{3, {kFrame3}}},
         {}},
        {"B1 is no start byte", {{0xB1, 0x07}}, {}, {}, {0xB1, 0x07}},
        {"incomplete tail is kept",
         {joined<std::uint8_t>({kFrame3, {0xF0, 0x01}})},
         {3},
         {{3, {kFrame3}}},
         {0xF0, 0x01}},
        {"incomplete controller waits", {{0xB0, 0x07}}, {}, {}, {0xB0, 0x07}},
        {"foreign SysEx dropped", {{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}}, {}, {{0, {}}}, {}},
    };
}

class Framer : public ::testing::TestWithParam<RouteCase> {};

} // namespace

TEST_P(Framer, RoutesAndKeepsTail)
{
    const RouteCase& c = GetParam();
    RecordingDevice device;
    for (int sid = 1; sid < 64; ++sid) {
        const int got = device.AllocateSid();
        ASSERT_EQ(got, sid);
    }
    for (int sid = 1; sid < 64; ++sid)
        if (std::find(c.takenSlots.begin(), c.takenSlots.end(), sid) == c.takenSlots.end())
            device.ReleaseSid(sid);

    for (const auto& d : c.deliveries)
        device.deliver(d);

    for (const auto& [slot, messages] : c.expected)
        EXPECT_EQ(device.drainSlot(slot), messages) << "slot " << slot;
    for (int sid = 0; sid < 64; ++sid)
        EXPECT_TRUE(device.drainSlot(sid).empty()) << "unexpected message in slot " << sid;
    ASSERT_TRUE(device.receiveBuffer);
    EXPECT_EQ(*device.receiveBuffer, c.remaining);
}

INSTANTIATE_TEST_SUITE_P(Cases, Framer, ::testing::ValuesIn(routeCases()), [](const auto& paramInfo) {
    std::string name = paramInfo.param.name;
    for (auto& ch : name)
        if (!isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
});

// Every reply a bootloader session can wait for reaches the default slot,
// whichever other slots are taken.
TEST(FramerEdges, EveryBootloaderReplyReachesTheDefaultSlot)
{
    for (const char* tag : bootloader::kReplyTags) {
        RecordingDevice device;
        ASSERT_EQ(device.AllocateSid(), 1);
        const Bytes reply = tagged(tag, {0x00, 0x01});
        device.deliver(reply);
        EXPECT_EQ(device.drainSlot(0), std::vector<Bytes>{reply}) << tag;
        EXPECT_TRUE(device.drainSlot(1).empty()) << tag;
    }
}

TEST(FramerEdges, EmptyOrNullDeliveryDoesNothing)
{
    RecordingDevice device;
    device.OnReadNext(nullptr, 5);
    const std::uint8_t byte = 0xF0;
    device.OnReadNext(&byte, 0);
    device.OnReadNext(&byte, -1);
    EXPECT_FALSE(device.receiveBuffer);
}

TEST(FramerEdges, GarbageIsBounded)
{
    RecordingDevice device;
    // An F0 that never ends, fed in pieces far beyond the bound.
    device.deliver({0xF0});
    const Bytes chunk(4096, 0x11);
    for (int i = 0; i < 64; ++i)
        device.deliver(chunk);
    EXPECT_LE(device.receiveBuffer->size(), ZQDevice::kMaxReceiveBuffer);

    // Bytes with no start byte at all are bounded too.
    RecordingDevice other;
    for (int i = 0; i < 64; ++i)
        other.deliver(chunk);
    EXPECT_LE(other.receiveBuffer->size(), ZQDevice::kMaxReceiveBuffer);

    // And the device still routes a frame afterwards.
    ASSERT_EQ(device.AllocateSid(), 1);
    device.ReleaseSid(1);
    ASSERT_EQ(device.AllocateSid(), 2);
    device.deliver(kFrame2);
    EXPECT_EQ(device.drainSlot(2), std::vector<Bytes>{kFrame2});
}

TEST(FramerEdges, FragmentsOfEverySizeGiveTheSameMessages)
{
    Bytes stream;
    for (int i = 0; i < 50; ++i)
        stream.insert(stream.end(), kFrame3.begin(), kFrame3.end());
    for (std::size_t step = 1; step <= 9; ++step) {
        RecordingDevice device;
        for (int sid = 1; sid <= 3; ++sid)
            device.AllocateSid();
        for (std::size_t at = 0; at < stream.size(); at += step)
            device.deliver(Bytes(stream.data() + at, stream.data() + std::min(stream.size(), at + step)));
        EXPECT_EQ(device.drainSlot(3).size(), 50u) << step;
        EXPECT_TRUE(device.receiveBuffer->empty());
    }
}

// The framer goes on from where the last delivery left it; what it routes
// must not depend on that.
TEST(FramerEdges, ScanGoesOnAcrossDeliveries)
{
    // A long frame, one byte at a time, among noise.
    Bytes frame{0xF0, 0x01, 0x03, 0x00, 0x03, 0x11};
    for (int i = 0; i < 900; ++i)
        frame.push_back(static_cast<std::uint8_t>(i % 0x70));
    frame[3] = ZQSysEx::Checksum(frame.data() + 6, frame.size() - 6);
    frame.push_back(0xF7);
    const Bytes stream = joined<std::uint8_t>({{0x90, 0x3C}, {0xF0, 0x01}, frame, {0xB0, 0x07, 0x64}, frame});
    RecordingDevice device;
    for (int sid = 1; sid <= 3; ++sid)
        device.AllocateSid();
    for (std::uint8_t byte : stream)
        device.deliver({byte});
    EXPECT_EQ(device.drainSlot(3), (std::vector<Bytes>{frame, frame}));
    EXPECT_TRUE(device.receiveBuffer->empty());

    // A controller whose last byte is F0 takes that byte with it when it is
    // erased: the frame after it starts nowhere. In the same delivery the
    // F0 still starts it.
    const Bytes rest{0x01, 0x03, 0x00, 0x03, 0x11, 0xF7};
    RecordingDevice split;
    for (int sid = 1; sid <= 3; ++sid)
        split.AllocateSid();
    split.deliver({0xB0, 0x07, 0xF0});
    split.deliver(rest);
    EXPECT_TRUE(split.drainSlot(3).empty());
    EXPECT_EQ(*split.receiveBuffer, rest);
    split.deliver(kFrame3);
    EXPECT_EQ(split.drainSlot(3), std::vector<Bytes>{kFrame3});

    RecordingDevice whole;
    for (int sid = 1; sid <= 3; ++sid)
        whole.AllocateSid();
    whole.deliver(joined<std::uint8_t>({{0xB0, 0x07, 0xF0}, rest}));
    EXPECT_EQ(whole.drainSlot(3), std::vector<Bytes>{kFrame3});
}
