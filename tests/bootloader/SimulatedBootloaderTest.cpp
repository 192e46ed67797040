#include "resources/BinaryData.h"
#include "simamp/SimulatedAmplifier.h"
#include "simamp/WireFormat.h"
#include "tests/bootloader/BootloaderTestSupport.h"

#include <gtest/gtest.h>

using namespace boottest;

namespace {

Bytes WriteFlash(std::uint32_t offset, const std::uint8_t* bytes, std::size_t n)
{
    const Bytes image(bytes, bytes + n);
    return WriteFlashMessage(offset, image, WrappedSum(image));
}

class Bootloader : public ::testing::Test {
protected:
    sim::SimulatedAmplifier amp;

    std::vector<Bytes> send(const Bytes& m) { return amp.receive(m.data(), m.size()); }
    // The status byte of the one "RetWriteFlash" the message gets, -1 for none.
    int write(const Bytes& m)
    {
        const std::vector<Bytes> replies = send(m);
        if (replies.empty())
            return -1;
        EXPECT_EQ(replies.size(), 1u);
        EXPECT_TRUE(Is(replies[0], "RetWriteFlash"));
        EXPECT_EQ(replies[0].size(), 20u);
        return replies[0][18];
    }
};

} // namespace

TEST_F(Bootloader, StatusSwitchesAndInformationBlock)
{
    EXPECT_EQ(send(Message("GetFwStatus")), (std::vector<Bytes>{Message("RetFwStatus", {0x01})}));
    // The application does not take "WriteFlash".
    const Bytes zeros(256, 0);
    EXPECT_EQ(write(WriteFlash(0, zeros.data(), 256)), -1);
    EXPECT_TRUE(send(Message("SetFwStatus", {0x00})).empty());
    EXPECT_TRUE(amp.bootloader.inBootloader());
    EXPECT_EQ(send(Message("GetFwStatus")), (std::vector<Bytes>{Message("RetFwStatus", {0x00})}));

    // The block: "TIKO", the MCU version 1.11.2.75 at 8, the hardware type
    // 20 at 84 (little-endian), "0107" at 88; the rest zero.
    Bytes block(92, 0);
    for (const auto& [at, bytes] : std::vector<std::pair<std::size_t, Bytes>>{
             {0, {'T', 'I', 'K', 'O'}}, {8, {1, 11, 2, 75}}, {84, {20, 0, 0, 0}}, {88, {'0', '1', '0', '7'}}})
        std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(at));
    const std::vector<Bytes> info = send(Message("GetFwInfo"));
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].size(), 1u + 9 + 106 + 1);
    EXPECT_EQ(info[0], Message("RetFwInfo", Packed(block)));

    // Nothing was written: leaving the bootloader checks nothing.
    send(Message("SetFwStatus", {0x01}));
    EXPECT_EQ(amp.bootloader.flashCheck(), sim::FlashCheck::NotRun);
    EXPECT_EQ(amp.bootloader.statusSwitches(), (Bytes{0x00, 0x01}));
}

// What the bootloader refuses, and why.
TEST_F(Bootloader, ChecksEveryWriteFlash)
{
    amp.bootloader.applicationStatus = 0;
    const Bytes data = Pattern(1024);
    Bytes badChecksum = WriteFlash(256, data.data() + 256, 256);
    badChecksum[308] ^= 0x01;
    Bytes topBit = WriteFlash(256, data.data() + 256, 256);
    topBit[100] |= 0x80;
    Bytes badOffsetByte = WriteFlash(256, data.data() + 256, 256);
    badOffsetByte[12] = 0x82;
    Bytes shortMessage = WriteFlash(256, data.data() + 256, 256);
    shortMessage.erase(shortMessage.begin() + 300, shortMessage.end() - 1);

    struct Case {
        const char* what;
        Bytes message;
        int status;
    } cases[] = {
        {"first chunk", WriteFlash(0, data.data(), 256), 1},
        {"skips a chunk", WriteFlash(512, data.data() + 512, 256), sim::kRefusedBadOffset},
        {"not on a chunk boundary", WriteFlash(300, data.data() + 300, 256), sim::kRefusedBadOffset},
        {"chunk checksum", badChecksum, sim::kRefusedBadChecksum},
        // FF + 01 wraps to 00; their exclusive-or, FE, is no checksum.
        {"exclusive-or as checksum", WriteFlashMessage(256, {0xFF, 0x01}, 0xFE), sim::kRefusedBadChecksum},
        {"8-bit data byte", topBit, sim::kRefusedBadMessage},
        {"8-bit offset byte", badOffsetByte, sim::kRefusedBadMessage},
        {"not 310 bytes", shortMessage, sim::kRefusedBadMessage},
        {"next chunk", WriteFlash(256, data.data() + 256, 256), 1},
        {"the same chunk again", WriteFlash(256, data.data() + 256, 256), 1},
        {"the one before", WriteFlash(0, data.data(), 256), 1}, // offset 0 starts over
        {"after starting over", WriteFlash(256, data.data() + 256, 256), 1},
    };
    int refused = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(write(c.message), c.status) << c.what;
        refused += c.status != 1;
    }
    EXPECT_EQ(amp.bootloader.refusals(), refused);
    EXPECT_EQ(amp.bootloader.flash(), Bytes(data.begin(), data.begin() + 512));
}

// The image's block is read by the bootloader's own layout: the sums, and
// the hardware the image is for (the GD32 image is for type 22).
TEST_F(Bootloader, FlashCheckAgainstTheImagesBlock)
{
    const auto* image = reinterpret_cast<const std::uint8_t*>(BinaryData::Checksumed_kovra_10_speaker_GD32_bin);
    const std::size_t size = BinaryData::Checksumed_kovra_10_speaker_GD32_binSize;
    struct Case {
        const char* what;
        std::size_t corruptAt; // 0: none
        std::size_t length;
        sim::FlashCheck result;
        std::int32_t hardwareType = 22; // the amplifier's
    } cases[] = {
        {"whole image", 0, size, sim::FlashCheck::Passed},
        {"a byte changed", 500000, size, sim::FlashCheck::ImageChecksum},
        {"a byte in the trailing part word", size - 1, size, sim::FlashCheck::BlockChecksum},
        {"cut short", 0, size - 4096, sim::FlashCheck::NoInfoBlock},
        {"no block", 0, 512, sim::FlashCheck::NoInfoBlock},
        {"on an amplifier of type 20", 0, size, sim::FlashCheck::OtherHardware, 20},
    };
    for (const Case& c : cases) {
        amp.config.hardwareType = c.hardwareType;
        send(Message("SetFwStatus", {0x00}));
        Bytes copy(image, image + c.length);
        if (c.corruptAt != 0)
            copy[c.corruptAt] ^= 0x40;
        for (std::size_t offset = 0; offset < copy.size(); offset += 256)
            ASSERT_EQ(write(WriteFlash(static_cast<std::uint32_t>(offset), copy.data() + offset,
                                       std::min<std::size_t>(256, copy.size() - offset))),
                      1);
        send(Message("SetFwStatus", {0x01}));
        EXPECT_EQ(amp.bootloader.flashCheck(), c.result) << c.what;
    }
}

// Which answers a knob hits: those of its own step (for "WriteFlash", of
// its chunk) and no other. One with no step hits none, so the knobs as they
// come drop or delay no answer, not even one the bootloader gives no step.
TEST(BootloaderKnobs, AnAnswerHitsOnlyItsOwnStep)
{
    using sim::BootloaderStep;
    using Answer = sim::BootloaderKnobs::Answer;
    struct Case {
        Answer answer;
        BootloaderStep step;
        int chunk;
        bool hits;
    } cases[] = {
        {Answer{}, BootloaderStep::None, 0, false},
        {Answer{}, BootloaderStep::FwStatus, 0, false},
        {Answer{}, BootloaderStep::WriteFlash, 0, false},
        {Answer{BootloaderStep::FwInfo, 0}, BootloaderStep::FwInfo, 0, true},
        {Answer{BootloaderStep::FwInfo, 0}, BootloaderStep::FwInfo, 5, true}, // the chunk is for "WriteFlash"
        {Answer{BootloaderStep::FwInfo, 0}, BootloaderStep::FwStatus, 0, false},
        {Answer{BootloaderStep::WriteFlash, 3}, BootloaderStep::WriteFlash, 3, true},
        {Answer{BootloaderStep::WriteFlash, 3}, BootloaderStep::WriteFlash, 4, false},
        {Answer{BootloaderStep::None, 0}, BootloaderStep::None, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.answer.is(c.step, c.chunk), c.hits) << static_cast<int>(c.answer.step) << "/" << c.answer.chunk
                                                        << " against " << static_cast<int>(c.step) << "/" << c.chunk;
}

// The amplifier's own wire format, against bytes worked out by hand.
TEST(SimulatedWire, PacksFramesAndChecksLikeTheAmplifier)
{
    EXPECT_EQ(sim::wire::pack({0xFF, 0x00, 0x80, 0x01, 0x02, 0x03, 0x04, 0x85}),
              (Bytes{0x05, 0x7F, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x01, 0x05}));
    const Bytes packed{0x05, 0x7F, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x01, 0x05};
    EXPECT_EQ(sim::wire::unpack(packed.data(), packed.size()), (Bytes{0xFF, 0x00, 0x80, 0x01, 0x02, 0x03, 0x04, 0x85}));
    // Nine bytes: a lone header byte at the end gives nothing.
    EXPECT_EQ(sim::wire::unpack(packed.data(), 9), (Bytes{0xFF, 0x00, 0x80, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(sim::wire::commandFrame(5, 0x03, 0x11, {0x61, 0x62, 0x63}),
              (Bytes{0xF0, 0x01, 0x05, 0x60, 0x03, 0x11, 0x00, 0x61, 0x62, 0x63, 0xF7}));
    EXPECT_TRUE(sim::wire::checksumHolds({0xF0, 0x01, 0x05, 0x00, 0x02, 0x11, 0xF7}));
    EXPECT_FALSE(sim::wire::checksumHolds({0xF0, 0x01, 0x05, 0x01, 0x02, 0x11, 0xF7}));
    const std::uint8_t groups[] = {0x00, 0x02, 0x2D, 0x00};
    EXPECT_EQ(sim::wire::offset(groups), (0x2D << 14) | (0x02 << 7));
}

// A request whose checksum is wrong gets no answer, as from the amplifier.
TEST(SimulatedWire, RequestWithAWrongChecksumIsIgnored)
{
    sim::SimulatedAmplifier amp;
    const Bytes good{0xF0, 0x01, 0x05, 0x00, 0x02, 0x11, 0xF7};
    const Bytes bad{0xF0, 0x01, 0x05, 0x01, 0x02, 0x11, 0xF7};
    EXPECT_FALSE(amp.receive(good.data(), good.size()).empty());
    EXPECT_TRUE(amp.receive(bad.data(), bad.size()).empty());
}
