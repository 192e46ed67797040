#include "device/bootloader/FirmwareUpdateSession.h"
#include "resources/BinaryData.h"
#include "simamp/LoopbackDevice.h"
#include "simamp/SimulatedAmplifier.h"
#include "tests/bootloader/BootloaderTestSupport.h"
#include "tests/support/FastClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace boottest;
using sim::BootloaderStep;

namespace {

// The loopback, with sends that fail on demand.
class FlakyLoopback : public sim::LoopbackDevice {
public:
    using sim::LoopbackDevice::LoopbackDevice;
    int Internal_Send(const std::uint8_t* data, std::size_t length) override
    {
        if (failWhen && failWhen(Bytes(data, data + length)))
            return -1;
        return sim::LoopbackDevice::Internal_Send(data, length);
    }
    std::function<bool(const Bytes&)> failWhen;
};

struct Recorded {
    std::vector<int> progress;
    int enters = 0;
    int dones = 0;
    bool enterResult = true;
    std::uint32_t reconnectMs = 5000;
};

void Progress(ZQDevice*, FirmwareUpdateSession*, int percent, void* user)
{
    static_cast<Recorded*>(user)->progress.push_back(percent);
}

// The callers' reconnect: close, 5 s, open (the matrix leaves out the 5 s).
bool Reconnect(ZQDevice* device, FirmwareUpdateSession*, void* user)
{
    auto* r = static_cast<Recorded*>(user);
    ++(r->progress.empty() ? r->enters : r->dones);
    device->Close();
    zq::Clock::sleepMs(r->reconnectMs);
    return device->Open() && r->enterResult;
}

enum class Fault {
    None,
    NoAnswer,
    RefusedOnce,
    RefusedTwice,
    StrayTags,
    LateWithin,
    LateBeyond,
    SilentFromHere,
    SendFails,
    CallbackFails,
};

struct Row {
    const char* step; // "GetFwStatus", "SetFwStatus 00", "GetFwInfo", "WriteFlash", "SetFwStatus 01"
    Fault fault;
    int error;         // 0: success
    int progressCalls; // before the end
};

std::ostream& operator<<(std::ostream& os, const Row& r)
{
    return os << r.step << " fault " << static_cast<int>(r.fault);
}

constexpr int kFaultChunk = 1; // of three

const Row kMatrix[] = {
    {"GetFwStatus", Fault::None, 0, 3},
    {"GetFwStatus", Fault::NoAnswer, 11, 0},
    {"GetFwStatus", Fault::StrayTags, 0, 3},
    {"GetFwStatus", Fault::LateWithin, 0, 3},
    {"GetFwStatus", Fault::LateBeyond, 11, 0},
    {"GetFwStatus", Fault::SendFails, 11, 0},
    {"SetFwStatus 00", Fault::SendFails, 12, 0},
    {"SetFwStatus 00", Fault::CallbackFails, 13, 0},
    {"GetFwInfo", Fault::NoAnswer, 14, 0},
    {"GetFwInfo", Fault::StrayTags, 0, 3},
    {"GetFwInfo", Fault::LateWithin, 0, 3},
    {"GetFwInfo", Fault::LateBeyond, 14, 0},
    {"GetFwInfo", Fault::SendFails, 14, 0},
    {"WriteFlash", Fault::NoAnswer, 16, kFaultChunk},
    {"WriteFlash", Fault::RefusedOnce, 0, 3},
    {"WriteFlash", Fault::RefusedTwice, 16, kFaultChunk},
    {"WriteFlash", Fault::StrayTags, 0, 3},
    {"WriteFlash", Fault::LateWithin, 0, 3},
    {"WriteFlash", Fault::LateBeyond, 16, kFaultChunk},
    {"WriteFlash", Fault::SilentFromHere, 16, kFaultChunk},
    {"WriteFlash", Fault::SendFails, 16, kFaultChunk},
    {"SetFwStatus 01", Fault::SendFails, 12, 3},
};

class FaultMatrix : public ::testing::TestWithParam<Row> {};

BootloaderStep StepOf(const std::string& step)
{
    return step == "GetFwStatus" ? BootloaderStep::FwStatus
           : step == "GetFwInfo" ? BootloaderStep::FwInfo
                                 : BootloaderStep::WriteFlash;
}

} // namespace

// Each step against each fault: the exact code, the calls made, and no wait
// beyond its time-out.
TEST_P(FaultMatrix, EndsWithItsCode)
{
    const Row& row = GetParam();
    // Gentle enough that "late but within the time-out" keeps 300 ms of real
    // margin on a machine loaded by the sanitizer builds.
    FastClock fast(5);
    sim::SimulatedAmplifier amp;
    FlakyLoopback device(amp);
    ASSERT_TRUE(device.Open());
    auto& knobs = amp.bootloader.knobs;
    const sim::BootloaderKnobs::Answer target{StepOf(row.step), kFaultChunk};
    switch (row.fault) {
    case Fault::None: break;
    case Fault::NoAnswer: knobs.drop = target; break;
    case Fault::RefusedOnce:
    case Fault::RefusedTwice:
        knobs.refuseChunk = kFaultChunk;
        knobs.refuseTimes = row.fault == Fault::RefusedOnce ? 1 : 2;
        break;
    case Fault::StrayTags:
        knobs.stray = target;
        knobs.strayFwInfo = knobs.strayBattStatus = true;
        break;
    case Fault::LateWithin:
    case Fault::LateBeyond:
        knobs.late = target;
        knobs.lateMs = row.fault == Fault::LateWithin ? 1500 : 4500;
        break;
    case Fault::SilentFromHere: knobs.silentFromChunk = kFaultChunk; break;
    case Fault::SendFails: {
        const std::string step = row.step;
        int writes = 0;
        device.failWhen = [step, writes](const Bytes& m) mutable {
            if (step == "WriteFlash")
                return Is(m, "WriteFlash") && writes++ == kFaultChunk;
            return Tags({m}).front() == step;
        };
        break;
    }
    case Fault::CallbackFails: break;
    }

    const Bytes image = Pattern(3 * 256 - 17);
    Recorded recorded;
    recorded.enterResult = row.fault != Fault::CallbackFails;
    recorded.reconnectMs = 0;
    FirmwareUpdateSession session;
    session.image = image.data();
    session.imageSize = static_cast<int>(image.size());
    session.progressCallback = Progress;
    session.progressUserData = &recorded;
    session.enterBootloaderCallback = Reconnect;
    session.doneCallback = Reconnect;
    session.callbackUserData = &recorded;

    const auto begin = std::chrono::steady_clock::now();
    const bool ok = session.Perform(&device);
    const auto elapsed = std::chrono::steady_clock::now() - begin;

    EXPECT_EQ(ok, row.error == 0);
    EXPECT_EQ(session.error, row.error);
    EXPECT_EQ(static_cast<int>(recorded.progress.size()), row.progressCalls);
    EXPECT_EQ(recorded.dones, row.error == 0 ? 1 : 0);
    const std::vector<Bytes> writes = Only(amp.receivedMessages(), "WriteFlash");
    if (row.fault == Fault::RefusedOnce || row.fault == Fault::RefusedTwice) {
        EXPECT_EQ(writes.size(), row.error == 0 ? 4u : 3u); // one resend, not more
    }
    if (row.error == 0) {
        EXPECT_EQ(amp.bootloader.flash().size(), 3u * 256);
        EXPECT_LT(elapsed, zq::Clock::duration(3000)); // no wait ran out
    }
    const bool timedOut =
        row.fault == Fault::NoAnswer || row.fault == Fault::LateBeyond || row.fault == Fault::SilentFromHere;
    if (timedOut) {
        EXPECT_GE(elapsed, zq::Clock::duration(3000));
        EXPECT_LT(elapsed, zq::Clock::duration(2 * 3000)); // one wait only
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, FaultMatrix, ::testing::ValuesIn(kMatrix));

// The standard image, whole, into the amplifier's flash.
TEST(FullUpdate, StandardImageLandsByteForByte)
{
    FastClock fast(20);
    sim::SimulatedAmplifier amp;
    sim::LoopbackDevice device(amp);
    ASSERT_TRUE(device.Open());
    amp.bootloader.knobs.stray = {BootloaderStep::WriteFlash, 1500};
    amp.bootloader.knobs.strayBattStatus = true;
    amp.bootloader.knobs.refuseChunk = 2903;
    amp.bootloader.knobs.refuseTimes = 1;

    const auto* image = reinterpret_cast<const std::uint8_t*>(BinaryData::Checksumed_kovra_10_speaker_bin);
    const auto size = static_cast<std::size_t>(BinaryData::Checksumed_kovra_10_speaker_binSize);
    Recorded recorded;
    FirmwareUpdateSession session;
    session.timeoutMs = 3000;
    session.image = image;
    session.imageSize = BinaryData::Checksumed_kovra_10_speaker_binSize;
    session.progressCallback = Progress;
    session.progressUserData = &recorded;
    session.enterBootloaderCallback = Reconnect;
    session.doneCallback = Reconnect;
    session.callbackUserData = &recorded;
    ASSERT_TRUE(session.Perform(&device)) << session.error;

    const Bytes flash = amp.bootloader.flash();
    ASSERT_EQ(flash.size(), 2904u * 256);
    EXPECT_TRUE(std::equal(image, image + size, flash.begin()));
    EXPECT_EQ(Bytes(flash.begin() + size, flash.end()), Bytes(2904 * 256 - size, 0));
    EXPECT_EQ(amp.bootloader.flashCheck(), sim::FlashCheck::Passed);
    EXPECT_EQ(amp.bootloader.chunksWritten(), 2904);
    EXPECT_EQ(amp.bootloader.statusSwitches(), (Bytes{0x00, 0x01}));
    EXPECT_FALSE(amp.bootloader.inBootloader());
    EXPECT_EQ(recorded.enters, 1);
    EXPECT_EQ(recorded.dones, 1);
    EXPECT_EQ(device.openCount.load(), 3);
    ASSERT_EQ(recorded.progress.size(), 2904u);
    EXPECT_TRUE(std::is_sorted(recorded.progress.begin(), recorded.progress.end()));
    EXPECT_EQ(recorded.progress.back(), 100);

    const std::vector<Bytes> writes = Only(amp.receivedMessages(), "WriteFlash");
    ASSERT_EQ(writes.size(), 2905u); // the last chunk once more after its refusal
    for (const Bytes& w : writes)
        ASSERT_EQ(w.size(), 310u);
}
