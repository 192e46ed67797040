#include "device/core/FactoryResetSession.h"
#include "device/core/GenericDeviceSession.h"
#include "simamp/LoopbackDevice.h"
#include "simamp/SimulatedAmplifier.h"
#include "tests/support/FastClock.h"
#include "tests/support/RecordingDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using Bytes = std::vector<std::uint8_t>;

namespace {

int freeSlots(ZQDevice& device)
{
    std::lock_guard<std::mutex> lock(device.slotMutex);
    int n = 0;
    for (const auto& q : device.queues)
        n += q ? 0 : 1;
    return n;
}

class AmplifierSessions : public ::testing::Test {
protected:
    FastClock fast{10};
    sim::SimulatedAmplifier amp;
    sim::LoopbackDevice device{amp};
    void SetUp() override { ASSERT_TRUE(device.Open()); }
};

} // namespace

TEST(SessionBase, NullDeviceAndFullTable)
{
    FactoryResetSession reset;
    EXPECT_FALSE(reset.Perform(nullptr));
    EXPECT_EQ(reset.error, 8);

    RecordingDevice device;
    while (device.AllocateSid() != -1) {
    }
    auto query = std::make_shared<zq::ModelNameSession>();
    EXPECT_FALSE(query->Perform(&device));
    EXPECT_EQ(query->error, 10);
    EXPECT_TRUE(device.sentMessages().empty());
}

TEST(SessionBase, ModelNameRequestBytesAndAnyReplyOnItsId)
{
    RecordingDevice device;
    for (int i = 1; i <= 4; ++i)
        device.AllocateSid();
    for (int i = 1; i <= 4; ++i)
        device.ReleaseSid(i);
    // The reply carries the serial-number operation bytes; it is taken just as well.
    std::thread replier([&] {
        while (device.sentMessages().empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        device.deliver(zq::MivoSeriesStackCodec(0x05, 0x02, 0x23).encode({'T', 'I', 0x00, 'K', 'O'}));
    });
    auto query = std::make_shared<zq::ModelNameSession>();
    EXPECT_TRUE(query->Perform(&device));
    replier.join();
    EXPECT_EQ(device.sentMessages().at(0), (Bytes{0xF0, 0x01, 0x05, 0x00, 0x02, 0x11, 0xF7}));
    EXPECT_EQ(query->reply.value, std::string("TI\0KO", 5));
    EXPECT_EQ(query->error, 0);
}

TEST_F(AmplifierSessions, ModelNameAndSerialNumber)
{
    amp.config.modelName = "Kovra TIKO";
    amp.config.serialNumber = "KT10G2400042";
    auto model = std::make_shared<zq::ModelNameSession>();
    ASSERT_TRUE(model->Perform(&device));
    EXPECT_EQ(model->reply.value, "Kovra TIKO");
    auto serial = std::make_shared<zq::SerialNumberSession>();
    ASSERT_TRUE(serial->Perform(&device));
    EXPECT_EQ(serial->reply.value, "KT10G2400042");
    EXPECT_EQ(freeSlots(device), 63);
}

TEST_F(AmplifierSessions, EmptyTextGivesEmptyString)
{
    amp.config.serialNumber.clear();
    auto serial = std::make_shared<zq::SerialNumberSession>();
    ASSERT_TRUE(serial->Perform(&device));
    EXPECT_EQ(serial->reply.value, "");
}

TEST_F(AmplifierSessions, RepliesThatSurviveNoiseAndSplitting)
{
    // These replies must arrive within the time-out, so the clock runs only
    // a little faster here: a late reply keeps 500 ms of real margin even on
    // a machine loaded by the sanitizer builds.
    FastClock gentle(2);
    struct Case {
        const char* name;
        sim::FaultKnobs faults;
    };
    sim::FaultKnobs split;
    split.splitInto = 4;
    sim::FaultKnobs noisy;
    noisy.noiseBefore = noisy.noiseBetween = true;
    sim::FaultKnobs late;
    late.replyDelayMs = 2000;
    sim::FaultKnobs all = split;
    all.noiseBefore = all.noiseBetween = true;
    for (const Case& c : {Case{"split", split}, Case{"noise", noisy}, Case{"late", late}, Case{"split+noise", all}}) {
        amp.faults = c.faults;
        auto model = std::make_shared<zq::ModelNameSession>();
        EXPECT_TRUE(model->Perform(&device)) << c.name;
        EXPECT_EQ(model->reply.value, "Kovra TIKO") << c.name;
    }
}

TEST_F(AmplifierSessions, LostRepliesTimeOutAndFreeTheSlot)
{
    struct Case {
        const char* name;
        sim::FaultKnobs faults;
    };
    sim::FaultKnobs none;
    none.noReply = true;
    sim::FaultKnobs tooLate;
    tooLate.replyDelayMs = 4000;
    sim::FaultKnobs badSum;
    badSum.wrongChecksum = true;
    sim::FaultKnobs inside;
    inside.splitInto = 2; // one note inside; two would cancel out in the XOR
    inside.noiseInside = true;
    for (const Case& c :
         {Case{"no reply", none}, Case{"too late", tooLate}, Case{"checksum", badSum}, Case{"noise inside", inside}}) {
        amp.faults = c.faults;
        auto model = std::make_shared<zq::ModelNameSession>();
        try {
            model->Perform(&device);
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Device reading timeout") << c.name;
        }
        EXPECT_EQ(freeSlots(device), 63) << c.name;
        device.drain();
    }
    // A late reply arriving after its session ended is dropped, and the next exchange works.
    amp.faults = {};
    auto model = std::make_shared<zq::ModelNameSession>();
    EXPECT_TRUE(model->Perform(&device));
}

TEST_F(AmplifierSessions, FactoryResetCodes)
{
    struct Case {
        std::uint8_t target;
        std::uint8_t replyByte;
        bool noReply;
        bool ok;
        int error;
    };
    for (const Case c : {Case{1, 0x10, false, true, 0}, Case{0, 0x10, false, true, 0}, Case{1, 0x11, false, false, 2},
                         Case{0, 0x10, true, false, 1}}) {
        amp.config.resetReplyByte = {0x10, 0x10};
        amp.config.resetReplyByte[c.target] = c.replyByte;
        amp.faults.noReply = c.noReply;
        const std::size_t before = amp.receivedCount();
        FactoryResetSession reset;
        reset.resetTarget = c.target;
        EXPECT_EQ(reset.Perform(&device), c.ok);
        EXPECT_EQ(reset.error, c.error);
        const Bytes sent = amp.receivedMessages().at(before);
        EXPECT_EQ(sent, (Bytes{0xF0, 0x01, sent[2], 0x00, 0x09, c.target, 0xF7}));
        EXPECT_EQ(freeSlots(device), 63);
    }
}
