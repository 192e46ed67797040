#include "device/bootloader/DownloadFirmwareVersionSession.h"
#include "simamp/LoopbackDevice.h"
#include "simamp/SimulatedAmplifier.h"
#include "tests/bootloader/BootloaderTestSupport.h"
#include "tests/support/FastClock.h"
#include "tests/support/RecordingDevice.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace boottest;
using bootloader::DownloadFirmwareVersionSession;
using bootloader::FirmwareInfo;

namespace {

Bytes InfoBytes(const FirmwareInfo& info)
{
    Bytes b(FirmwareInfo::kSize);
    info.toBytes(b.data());
    return b;
}

} // namespace

TEST(DownloadFirmwareVersion, ReadsTheAmplifiersBlockOverTheLoopback)
{
    sim::SimulatedAmplifier amp;
    amp.config.mcuVersion = {1, 10, 0, 3};
    amp.config.hardwareType = 22;
    amp.config.btVersion = "011";
    amp.faults.splitInto = 5;
    amp.faults.noiseBefore = true;
    sim::LoopbackDevice device(amp);
    ASSERT_TRUE(device.Open());

    DownloadFirmwareVersionSession session;
    ASSERT_TRUE(session.Perform(&device));
    EXPECT_EQ(amp.receivedMessages().at(0), Message("GetFwInfo"));
    EXPECT_EQ(std::string(session.info.modelTag, 4), "TIKO");
    EXPECT_EQ(Bytes(session.info.mcuVersion, session.info.mcuVersion + 4), (Bytes{1, 10, 0, 3}));
    EXPECT_EQ(session.info.hardwareType, 22);
    EXPECT_EQ(session.info.btVersionText(), "011");
}

TEST(DownloadFirmwareVersion, SkipsOtherTagsAndTakesShortAndUnterminatedPayloads)
{
    FirmwareInfo full{};
    std::memcpy(full.modelTag, "TIKO", 4);
    full.hardwareType = 20;
    std::memcpy(full.btVersion, "0107", 4);
    const Bytes fullBytes = InfoBytes(full);

    std::vector<Bytes> answer;
    RecordingDevice device([&](const Bytes&) { return answer; });
    DownloadFirmwareVersionSession session;

    answer = {Message("RetBattStatus", {0x01}), Message("RetFwStatus", {0x01}),
              Message("RetFwInfo", Packed(fullBytes))};
    ASSERT_TRUE(session.Perform(&device));
    EXPECT_EQ(InfoBytes(session.info), fullBytes);

    // A 2-byte payload unpacks into 1 byte; the rest of the block is zero, not
    // what the previous reply left behind.
    answer = {Message("RetFwInfo", {0x01, 0x05})};
    ASSERT_TRUE(session.Perform(&device));
    Bytes expected(FirmwareInfo::kSize, 0);
    expected[0] = 0x85;
    EXPECT_EQ(InfoBytes(session.info), expected);

    // No F7 within the 512-byte buffer: the payload runs to its end.
    Bytes longBlock(440);
    for (std::size_t i = 0; i < longBlock.size(); ++i)
        longBlock[i] = static_cast<std::uint8_t>(0xFF - i);
    Bytes unterminated = Message("RetFwInfo", Packed(longBlock));
    ASSERT_GT(unterminated.size(), 512u);
    answer = {unterminated};
    ASSERT_TRUE(session.Perform(&device));
    EXPECT_EQ(InfoBytes(session.info), Bytes(longBlock.begin(), longBlock.begin() + 92));
    EXPECT_EQ(bootloader::UnpackFwInfoReply(unterminated.data(), 512).hardwareType,
              FirmwareInfo::fromBytes(longBlock.data(), 92).hardwareType);
}

TEST(DownloadFirmwareVersion, Failures)
{
    FastClock fast(50);
    DownloadFirmwareVersionSession session;
    EXPECT_FALSE(session.Perform(nullptr));
    EXPECT_EQ(session.error, 8);

    RecordingDevice noDefault;
    noDefault.defaultSid = -1;
    EXPECT_FALSE(session.Perform(&noDefault));
    EXPECT_EQ(session.error, 10);
    EXPECT_TRUE(noDefault.sentMessages().empty());

    RecordingDevice full;
    while (full.AllocateSid() != -1) {
    }
    EXPECT_FALSE(session.Perform(&full));
    EXPECT_EQ(session.error, 10);

    // Only other tags, then silence: a failed wait.
    RecordingDevice silent([](const Bytes&) { return std::vector<Bytes>{Message("RetFwStatus", {0x01})}; });
    session.error = 0;
    EXPECT_FALSE(session.Perform(&silent));
    EXPECT_EQ(session.error, 14);

    RecordingDevice closed;
    closed.open = false;
    session.error = 0;
    EXPECT_FALSE(session.Perform(&closed));
    EXPECT_EQ(session.error, 14);
}
