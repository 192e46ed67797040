#include "device/bootloader/FirmwareUpdateSession.h"
#include "simamp/DeliveryThread.h"
#include "simamp/SimulatedAmplifier.h"
#include "tests/bootloader/BootloaderTestSupport.h"
#include "tests/support/FastClock.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/stat.h>

using namespace boottest;
namespace fs = std::filesystem;

namespace {

struct Calls {
    std::vector<int> progress;
    std::vector<std::string> events; // "enter", "done", with the tags sent before
    bool enterResult = true;
};

void Progress(ZQDevice*, FirmwareUpdateSession*, int percent, void* user)
{
    static_cast<Calls*>(user)->progress.push_back(percent);
}

bool Enter(ZQDevice*, FirmwareUpdateSession*, void* user)
{
    auto* calls = static_cast<Calls*>(user);
    calls->events.push_back("enter");
    return calls->enterResult;
}

bool Done(ZQDevice*, FirmwareUpdateSession* session, void* user)
{
    // The session's own image buffer is gone by now.
    static_cast<Calls*>(user)->events.push_back(session->loadFromFile && session->image ? "done with image" : "done");
    return false; // ignored
}

// A session wired to the recorder of its callbacks.
struct Update {
    FirmwareUpdateSession session;
    Calls calls;
    explicit Update(const Bytes* image = nullptr)
    {
        session.timeoutMs = 3000;
        session.progressCallback = Progress;
        session.progressUserData = &calls;
        session.enterBootloaderCallback = Enter;
        session.doneCallback = Done;
        session.callbackUserData = &calls;
        if (image != nullptr) {
            session.image = image->data();
            session.imageSize = static_cast<int>(image->size());
        }
    }
};

// The simulated amplifier behind a transport that answers at once.
class SyncAmplifier : public ::testing::Test {
protected:
    sim::SimulatedAmplifier amp;
    RecordingDevice device{[this](const Bytes& sent) { return amp.receive(sent.data(), sent.size()); }};
};

} // namespace

TEST(BootloaderMessages, SetFwStatusIsFourteenRawBytes)
{
    RecordingDevice device;
    EXPECT_EQ(bootloader::SendSetFwStatus(&device, 0x02), 14);
    EXPECT_EQ(device.sentMessages().at(0), Message("SetFwStatus", {0x02}));
    device.open = false;
    EXPECT_EQ(bootloader::SendSetFwStatus(&device, 0x01), -1);
    EXPECT_EQ(bootloader::SendSetFwStatus(nullptr, 0x01), -1);
}

TEST(BootloaderMessages, OffsetsInFourSevenBitBytes)
{
    std::uint8_t bytes[4];
    bootloader::EncodeOffset(300032, bytes);
    EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{0x00, 0x28, 0x12, 0x00}));
    bootloader::EncodeOffset(bootloader::kMaxImageBytes - 256, bytes);
    EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{0x00, 0x7E, 0x7F, 0x7F}));
    EXPECT_EQ(bootloader::DecodeOffset(bytes), bootloader::kMaxImageBytes - 256);
    bytes[2] = 0x80;
    EXPECT_EQ(bootloader::DecodeOffset(bytes), -1);
}

TEST(FirmwareUpdateBasics, NoDeviceAndNoDefaultSession)
{
    Update u;
    EXPECT_FALSE(u.session.Perform(nullptr));
    EXPECT_EQ(u.session.error, 8);

    RecordingDevice device;
    device.defaultSid = -1;
    EXPECT_FALSE(u.session.Perform(&device));
    EXPECT_EQ(u.session.error, 10);
    EXPECT_TRUE(device.sentMessages().empty());
}

TEST_F(SyncAmplifier, StatusOneSwitchesThenCallsBackAndWrites)
{
    const Bytes image = Pattern(600);
    Update u(&image);
    ASSERT_TRUE(u.session.Perform(&device)) << u.session.error;
    EXPECT_EQ(Tags(device.sentMessages()),
              (std::vector<std::string>{"GetFwStatus", "SetFwStatus 00", "GetFwInfo", "WriteFlash", "WriteFlash",
                                        "WriteFlash", "SetFwStatus 01"}));
    EXPECT_EQ(device.sentMessages()[0], Message("GetFwStatus"));
    EXPECT_EQ(device.sentMessages()[2], Message("GetFwInfo"));
    EXPECT_EQ(u.calls.events, (std::vector<std::string>{"enter", "done"}));
    EXPECT_EQ(u.calls.progress, (std::vector<int>{42, 85, 100}));
    EXPECT_EQ(amp.bootloader.statusSwitches(), (Bytes{0x00, 0x01}));
    EXPECT_EQ(u.session.error, 0);
    EXPECT_EQ(u.session.image, image.data()); // a caller's image stays the caller's
}

TEST_F(SyncAmplifier, StatusZeroSkipsTheSwitchAndTheFirstCallback)
{
    amp.bootloader.applicationStatus = 0;
    const Bytes image = Pattern(10);
    Update u(&image);
    ASSERT_TRUE(u.session.Perform(&device));
    EXPECT_EQ(Tags(device.sentMessages()),
              (std::vector<std::string>{"GetFwStatus", "GetFwInfo", "WriteFlash", "SetFwStatus 01"}));
    EXPECT_EQ(u.calls.events, (std::vector<std::string>{"done"}));
}

TEST_F(SyncAmplifier, EnterCallbackRefusingFailsWith13)
{
    const Bytes image = Pattern(10);
    Update u(&image);
    u.calls.enterResult = false;
    EXPECT_FALSE(u.session.Perform(&device));
    EXPECT_EQ(u.session.error, 13);
    EXPECT_EQ(Tags(device.sentMessages()), (std::vector<std::string>{"GetFwStatus", "SetFwStatus 00"}));
}

TEST_F(SyncAmplifier, Image257IsTwoChunksWithPaddingAndChecksum)
{
    const Bytes image = Pattern(257);
    Update u(&image);
    ASSERT_TRUE(u.session.Perform(&device));
    const std::vector<Bytes> writes = Only(device.sentMessages(), "WriteFlash");
    ASSERT_EQ(writes.size(), 2u);
    for (const Bytes& w : writes) {
        EXPECT_EQ(w.size(), 310u);
        EXPECT_EQ(w.back(), 0xF7);
        for (std::size_t i = 1; i + 1 < w.size(); ++i)
            ASSERT_LT(w[i], 0x80) << i;
    }
    EXPECT_EQ(Bytes(writes[0].begin() + 11, writes[0].begin() + 15), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(Bytes(writes[1].begin() + 11, writes[1].begin() + 15), (Bytes{0x00, 0x02, 0x00, 0x00}));
    Bytes second(257, 0);
    second[0] = image[256];
    second[256] = image[256];
    EXPECT_EQ(Chunk(writes[1]), second);
    const Bytes first = Chunk(writes[0]);
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 256), Bytes(image.begin(), image.begin() + 256));
    EXPECT_EQ(first[256], WrappedSum(Bytes(image.begin(), image.begin() + 256)));
    EXPECT_EQ(u.calls.progress, (std::vector<int>{99, 100}));
}

// Every message byte for byte, over chunks whose wrap-around sum and
// exclusive-or differ, most of them carrying past 255.
TEST(FirmwareUpdateChunks, WriteFlashBytesAndChecksums)
{
    Bytes counting(256);
    for (int i = 0; i < 256; ++i)
        counting[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    struct Case {
        const char* what;
        Bytes bytes;           // the chunk's image bytes
        std::uint8_t checksum; // their 8-bit wrap-around sum
    };
    const std::vector<Case> cases = {
        {"00 to FF: sum 7F80, exclusive-or 00", counting, 0x80},
        {"FF, 01: sum 100, exclusive-or FE", {0xFF, 0x01}, 0x00},
        {"03, 01: no carry, exclusive-or 02", {0x03, 0x01}, 0x04},
        {"last chunk F0, 20, 05: sum 115, exclusive-or D5", {0xF0, 0x20, 0x05}, 0x15},
    };
    Bytes image;
    for (const Case& c : cases) {
        image.insert(image.end(), c.bytes.begin(), c.bytes.end());
        if (&c != &cases.back())
            image.resize(image.size() + 256 - c.bytes.size(), 0);
    }
    ASSERT_EQ(image.size(), 771u);

    RecordingDevice device([](const Bytes& sent) -> std::vector<Bytes> {
        if (Is(sent, "GetFwStatus"))
            return {Message("RetFwStatus", {0x00})};
        if (Is(sent, "GetFwInfo"))
            return {Message("RetFwInfo")};
        if (Is(sent, "WriteFlash"))
            return {Message("RetWriteFlash", {0x00, 0x00, 0x00, 0x00, 0x01})};
        return {};
    });
    Update u(&image);
    ASSERT_TRUE(u.session.Perform(&device)) << u.session.error;

    const std::vector<Bytes> sent = device.sentMessages();
    ASSERT_EQ(sent.size(), 2 + cases.size() + 1);
    EXPECT_EQ(sent.front(), (Bytes{0xF0, 'G', 'e', 't', 'F', 'w', 'S', 't', 'a', 't', 'u', 's', 0xF7}));
    EXPECT_EQ(sent[1], (Bytes{0xF0, 'G', 'e', 't', 'F', 'w', 'I', 'n', 'f', 'o', 0xF7}));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Bytes expected =
            WriteFlashMessage(static_cast<std::uint32_t>(256 * i), cases[i].bytes, cases[i].checksum);
        ASSERT_EQ(expected.size(), 310u);
        EXPECT_EQ(sent[2 + i], expected) << cases[i].what;
    }
    EXPECT_EQ(sent.back(), (Bytes{0xF0, 'S', 'e', 't', 'F', 'w', 'S', 't', 'a', 't', 'u', 's', 0x01, 0xF7}));
}

TEST_F(SyncAmplifier, EmptyImageWritesNothingAndSucceeds)
{
    Update u;
    ASSERT_TRUE(u.session.Perform(&device));
    EXPECT_EQ(Tags(device.sentMessages()),
              (std::vector<std::string>{"GetFwStatus", "SetFwStatus 00", "GetFwInfo", "SetFwStatus 01"}));
    EXPECT_TRUE(u.calls.progress.empty());
    EXPECT_EQ(u.calls.events, (std::vector<std::string>{"enter", "done"}));
}

// Three settle pauses, and a chunk pause before every send and resend.
TEST_F(SyncAmplifier, PausesRunThroughTheClock)
{
    FastClock fast(20);
    amp.bootloader.knobs.refuseChunk = 1;
    amp.bootloader.knobs.refuseTimes = 1;
    const Bytes image = Pattern(300);
    Update u(&image);
    u.session.settleDelayMs = 1000;
    u.session.chunkDelayMs = 200;
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(u.session.Perform(&device));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, zq::Clock::duration(3 * 1000 + 3 * 200));
    EXPECT_EQ(Only(device.sentMessages(), "WriteFlash").size(), 3u);
}

TEST_F(SyncAmplifier, ChunkAt300032CarriesItsOffsetBytes)
{
    const Bytes image = Pattern(300033);
    Update u(&image);
    ASSERT_TRUE(u.session.Perform(&device));
    const std::vector<Bytes> writes = Only(device.sentMessages(), "WriteFlash");
    ASSERT_EQ(writes.size(), 1173u);
    EXPECT_EQ(Bytes(writes.back().begin() + 11, writes.back().begin() + 15), (Bytes{0x00, 0x28, 0x12, 0x00}));
    const Bytes flash = amp.bootloader.flash();
    EXPECT_EQ(Bytes(flash.data(), flash.data() + image.size()), image);
    // Progress is monotonic and ends at 100, with no call before the first chunk.
    ASSERT_EQ(u.calls.progress.size(), writes.size());
    EXPECT_TRUE(std::is_sorted(u.calls.progress.begin(), u.calls.progress.end()));
    EXPECT_EQ(u.calls.progress.front(), 0);
    EXPECT_EQ(u.calls.progress.back(), 100);
}

// Images the session refuses before any "WriteFlash": the code it reports
// and what it sends first.
TEST_F(SyncAmplifier, UnsendableCallerImagesAreRefusedBeforeAnythingIsSent)
{
    const Bytes some = Pattern(300);
    struct Case {
        const std::uint8_t* image;
        int size;
    } cases[] = {
        {some.data(), 1 << 28},
        {some.data(), 0x7FFFFFFF},
        {some.data(), -1},
        {nullptr, 5},
    };
    for (const Case& c : cases) {
        Update u;
        u.session.image = c.image;
        u.session.imageSize = c.size;
        EXPECT_FALSE(u.session.Perform(&device)) << c.size;
        EXPECT_EQ(u.session.error, FirmwareUpdateSession::kErrorImageUnsendable) << c.size;
    }
    EXPECT_TRUE(device.sentMessages().empty());

    // One byte less is sent: chunk 1 goes out (and, unanswered here, times out).
    FastClock fast(100);
    amp.bootloader.knobs.silentFromChunk = 1;
    const Bytes two(512, 0x11);
    Update u;
    u.session.image = two.data();
    u.session.imageSize = (1 << 28) - 1;
    EXPECT_FALSE(u.session.Perform(&device));
    EXPECT_EQ(u.session.error, 16);
    EXPECT_EQ(Only(device.sentMessages(), "WriteFlash").size(), 2u);
}

TEST_F(SyncAmplifier, ImageFromFile)
{
    TempFolder dir;
    const Bytes image = Pattern(700);
    const fs::path file = fs::path(dir.path()) / "image.bin";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));

    Update u;
    u.session.firmwarePath = file.string();
    u.session.loadFromFile = true;
    ASSERT_TRUE(u.session.Perform(&device)) << u.session.error;
    EXPECT_EQ(u.session.imageSize, 700);
    EXPECT_EQ(u.session.image, nullptr); // freed before the done callback
    EXPECT_EQ(u.calls.events, (std::vector<std::string>{"enter", "done"}));
    const Bytes flash = amp.bootloader.flash();
    ASSERT_EQ(flash.size(), 768u);
    EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 700), image);
    EXPECT_EQ(Bytes(flash.begin() + 700, flash.end()), Bytes(68, 0));
}

// A file that does not open, is no regular file, reads other than its size or
// is too large fails after the amplifier was switched and asked for its
// block, and no byte of it is sent.
TEST_F(SyncAmplifier, FilesThatCannotBeSent)
{
    TempFolder temp;
    const fs::path dir = temp.path();
    const fs::path big = dir / "big.bin";
    {
        std::ofstream(big, std::ios::binary);
    }
    fs::resize_file(big, std::uintmax_t(1) << 28); // sparse
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        fs::path path;
        int error;
    } cases[] = {
        {dir / "missing.bin", 15},
        {dir, 15},         // a directory opens, but does not read
        {fifo, 15},        // no writer: opening it for reading would block
        {"/dev/zero", 15}, // devices read without end
        {"/dev/urandom", 15},
        {"/proc/self/status", 15}, // a regular file of size 0 that gives data
        {big, FirmwareUpdateSession::kErrorImageUnsendable},
    };
    for (const Case& c : cases) {
        Update u;
        u.session.firmwarePath = c.path.string();
        u.session.loadFromFile = true;
        const std::size_t before = device.sentMessages().size();
        EXPECT_FALSE(u.session.Perform(&device)) << c.path;
        EXPECT_EQ(u.session.error, c.error) << c.path;
        EXPECT_EQ(u.session.image, nullptr);
        const std::vector<Bytes> sent = device.sentMessages();
        EXPECT_EQ(Tags(std::vector<Bytes>(sent.begin() + static_cast<std::ptrdiff_t>(before), sent.end())),
                  (std::vector<std::string>{"GetFwStatus", "SetFwStatus 00", "GetFwInfo"}))
            << c.path;
        EXPECT_EQ(u.calls.events, (std::vector<std::string>{"enter"}));
        amp.bootloader.setFwStatus(0x01); // back to the application for the next case
    }
}

// Replies too short to hold the byte a step reads are not its answer.
TEST(FirmwareUpdateReplies, TooShortToHoldTheStatusIsNotTheAnswer)
{
    FastClock fast(50);
    const Bytes image = Pattern(10);
    RecordingDevice device([](const Bytes& sent) -> std::vector<Bytes> {
        if (Is(sent, "GetFwStatus"))
            return {Message("RetFwStatus"), Message("RetFwStatus", {0x00})};
        if (Is(sent, "GetFwInfo"))
            return {Message("RetFwInfo")};
        if (Is(sent, "WriteFlash"))
            return {Message("RetWriteFlash", {0, 0, 0, 0})}; // no status byte
        return {};
    });
    Update u(&image);
    EXPECT_FALSE(u.session.Perform(&device));
    EXPECT_EQ(u.session.error, 16);
    // The 13-byte "RetFwStatus" was passed over (no switch); the status-less
    // "RetWriteFlash" was not read as a refusal: no resend, a time-out.
    EXPECT_EQ(Tags(device.sentMessages()), (std::vector<std::string>{"GetFwStatus", "GetFwInfo", "WriteFlash"}));
}

// Every message of another tag restarts the 3000 ms wait.
TEST(FirmwareUpdateReplies, EachDroppedMessageRestartsTheWait)
{
    // A clock only a little faster, so the 1000 ms margins stay wide under
    // the sanitizers' load.
    FastClock fast(4);
    struct Case {
        int strayAtMs;
        int answerAtMs;
        bool succeeds;
    } cases[] = {{2000, 4000, true}, {2000, 6000, false}};
    for (const Case& c : cases) {
        std::unique_ptr<sim::DeliveryThread> delivery;
        RecordingDevice device;
        delivery = std::make_unique<sim::DeliveryThread>(
            [&device](const Bytes& b) { device.OnReadNext(b.data(), static_cast<int>(b.size())); });
        device.handler = [&](const Bytes& sent) -> std::vector<Bytes> {
            const auto now = std::chrono::steady_clock::now();
            if (Is(sent, "GetFwStatus")) {
                delivery->post(Message("RetBattStatus", {0x00, 0x50}),
                               now + zq::Clock::duration(static_cast<std::uint32_t>(c.strayAtMs)));
                delivery->post(Message("RetFwStatus", {0x00}),
                               now + zq::Clock::duration(static_cast<std::uint32_t>(c.answerAtMs)));
            } else if (Is(sent, "GetFwInfo")) {
                delivery->post(Message("RetFwInfo"), now); // one receive thread for all
            }
            return {};
        };
        Update u;
        EXPECT_EQ(u.session.Perform(&device), c.succeeds) << c.answerAtMs;
        EXPECT_EQ(u.session.error, c.succeeds ? 0 : 11) << c.answerAtMs;
        delivery.reset();
    }
}

// An amplifier that stops answering one request but keeps sending
// "RetBattStatus", more often than the reply wait: each one restarts the
// wait, but the step ends with its own code after 12000 ms in all.
TEST(FirmwareUpdateReplies, OtherMessagesHoldAStepNoLongerThanTwelveSeconds)
{
    // A clock only a little faster, so that the 3000 ms wait (750 ms here)
    // outlasts a late stray under the sanitizers' load.
    FastClock fast(4);
    const Bytes image = Pattern(300); // two chunks
    struct Case {
        const char* silentAt;
        int error;
        std::size_t sent; // messages sent when the step ends
    } cases[] = {{"GetFwStatus", 11, 1}, {"GetFwInfo", 14, 2}, {"WriteFlash", 16, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.silentAt);
        RecordingDevice device;
        auto delivery = std::make_unique<sim::DeliveryThread>(
            [&device](const Bytes& b) { device.OnReadNext(b.data(), static_cast<int>(b.size())); });
        std::chrono::steady_clock::time_point silentSince;
        int chunks = 0;
        device.handler = [&](const Bytes& sent) -> std::vector<Bytes> {
            const auto now = std::chrono::steady_clock::now();
            const bool secondChunk = Is(sent, "WriteFlash") && ++chunks == 2;
            if (Is(sent, c.silentAt) && (!Is(sent, "WriteFlash") || secondChunk)) {
                silentSince = now;
                for (std::uint32_t ms = 1000; ms <= 40000; ms += 1000)
                    delivery->post(Message("RetBattStatus", {0x00, 0x50}), now + zq::Clock::duration(ms));
            } else if (Is(sent, "GetFwStatus")) {
                delivery->post(Message("RetFwStatus", {0x00}), now);
            } else if (Is(sent, "GetFwInfo")) {
                delivery->post(Message("RetFwInfo"), now);
            } else if (Is(sent, "WriteFlash")) {
                delivery->post(Message("RetWriteFlash", {0, 0, 0, 0, 0x01}), now);
            }
            return {};
        };
        Update u(&image);
        EXPECT_FALSE(u.session.Perform(&device));
        const auto heldMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - silentSince)
                .count();
        EXPECT_EQ(u.session.error, c.error);
        EXPECT_EQ(device.sentMessages().size(), c.sent);
        // 12000 ms at this speed is 3000 ms.
        EXPECT_GE(heldMs, 2950);
        EXPECT_LT(heldMs, 4500);
        delivery.reset();
    }
}

// An amplifier that answers "GetFwStatus" with nothing but "RetBattStatus",
// as fast as a MIDI link carries them or a little slower: each message costs
// the time it took, however short, so the step ends with its own code once
// 12000 ms have gone since its wait began, not later, nor sooner.
TEST(FirmwareUpdateReplies, TalkersOfAnySpeedHoldAStepTwelveSecondsInAll)
{
    // A clock only a little faster, so that the margin above the cap stays
    // wide under the sanitizers' load.
    constexpr std::uint32_t kSpeed = 2;
    FastClock fast(kSpeed);
    struct Case {
        const char* what;
        std::chrono::microseconds every; // product time
    } cases[] = {{"every 500 us", std::chrono::microseconds(500)}, {"every 2 ms", std::chrono::milliseconds(2)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingDevice device;
        std::uint32_t askedAt = 0; // product ms, when the request went out
        std::atomic<bool> stop{false};
        std::vector<std::chrono::steady_clock::time_point> talked; // each message's delivery
        std::thread talker;
        device.handler = [&](const Bytes& sent) -> std::vector<Bytes> {
            if (!Is(sent, "GetFwStatus"))
                return {};
            askedAt = zq::Clock::now();
            talker = std::thread([&] {
                // Twice the cap, so that a step the talk holds for good
                // still ends, after the last message's reply wait.
                const auto until = std::chrono::steady_clock::now() + zq::Clock::duration(2 * 12000);
                for (auto next = std::chrono::steady_clock::now(); !stop && next < until;) {
                    next += c.every / kSpeed;
                    std::this_thread::sleep_until(next);
                    device.deliver(Message("RetBattStatus", {0x00, 0x50}));
                    talked.push_back(std::chrono::steady_clock::now());
                }
            });
            return {};
        };
        Update u;
        EXPECT_FALSE(u.session.Perform(&device));
        const std::uint32_t heldMs = zq::Clock::now() - askedAt;
        const auto endedAt = std::chrono::steady_clock::now();
        stop = true;
        if (talker.joinable())
            talker.join();
        EXPECT_EQ(u.session.error, 11);
        EXPECT_EQ(Tags(device.sentMessages()), (std::vector<std::string>{"GetFwStatus"}));
        EXPECT_GE(heldMs, 12000u);
        EXPECT_LT(heldMs, 14000u);
        // The talk went on through the whole step, with no pause as long as
        // a reply wait, so the step ended on the cap and not on that wait.
        ASSERT_FALSE(talked.empty());
        const auto productMs = [](std::chrono::steady_clock::duration d) {
            return std::chrono::duration_cast<std::chrono::microseconds>(d).count() * kSpeed / 1000;
        };
        EXPECT_LT(productMs(endedAt - talked.back()), 100);
        std::chrono::steady_clock::duration longestPause{};
        for (std::size_t i = 1; i < talked.size() && talked[i] <= endedAt; ++i)
            longestPause = std::max(longestPause, talked[i] - talked[i - 1]);
        EXPECT_LT(productMs(longestPause), 3000);
    }
}

// An amplifier that answers each "WriteFlash" twice: the second answer is
// no answer to the next chunk, so a refusal of the last one is still read.
TEST_F(SyncAmplifier, AnswersThatComeTwiceDoNotRunOneBehind)
{
    const Bytes image = Pattern(3 * 256 - 17);
    amp.bootloader.knobs.answerWritesTwice = true;
    for (const bool refuseLast : {false, true}) {
        SCOPED_TRACE(refuseLast);
        amp.bootloader.knobs.refuseChunk = refuseLast ? 2 : -1;
        amp.bootloader.knobs.refuseTimes = 2;
        const std::size_t writesBefore = Only(device.sentMessages(), "WriteFlash").size();
        const int writtenBefore = amp.bootloader.chunksWritten();
        Update u(&image);
        EXPECT_EQ(u.session.Perform(&device), !refuseLast);
        EXPECT_EQ(u.session.error, refuseLast ? 16 : 0);
        EXPECT_EQ(amp.bootloader.chunksWritten() - writtenBefore, refuseLast ? 2 : 3);
        // 256 and 512 of 751 bytes, then all of them.
        EXPECT_EQ(u.calls.progress, refuseLast ? (std::vector<int>{34, 68}) : (std::vector<int>{34, 68, 100}));
        // The refused chunk once more, not another.
        EXPECT_EQ(Only(device.sentMessages(), "WriteFlash").size() - writesBefore, refuseLast ? 4u : 3u);
        amp.bootloader.setFwStatus(0x01); // back to the application for the next case
    }
}
