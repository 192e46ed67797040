#include "tests/support/FastClock.h"
#include "tests/support/RecordingDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using Bytes = std::vector<std::uint8_t>;
using std::chrono::steady_clock;

TEST(SessionSlots, RoundRobinExhaustionAndReuse)
{
    RecordingDevice device;
    EXPECT_EQ(device.defaultSid, 0);
    for (int expected = 1; expected < 64; ++expected)
        ASSERT_EQ(device.AllocateSid(), expected);
    EXPECT_EQ(device.AllocateSid(), -1);
    EXPECT_EQ(device.lastSid, 63);

    device.ReleaseSid(5);
    EXPECT_EQ(device.AllocateSid(), 5);

    // A released id waits until the ids after it have had their turn.
    device.ReleaseSid(7);
    device.ReleaseSid(6);
    EXPECT_EQ(device.AllocateSid(), 6);
    EXPECT_EQ(device.AllocateSid(), 7);
}

TEST(SessionSlots, ReleasedSlotDropsItsQueueButAReaderKeepsIt)
{
    RecordingDevice device;
    const int sid = device.AllocateSid();
    std::shared_ptr<ZQQueue> held = device.queues[static_cast<std::size_t>(sid)];
    device.deliver({0xF0, 0x01, static_cast<std::uint8_t>(sid), 0x00, 0x03, 0x11, 0xF7});
    device.ReleaseSid(sid);
    EXPECT_EQ(held->Size(), 1u);
    std::uint8_t buffer[16];
    EXPECT_EQ(device.ReadNext(sid, buffer, sizeof buffer, -1), -1);
}

TEST(QueueBound, OldestRepliesGoFirst)
{
    ZQQueue queue;
    for (std::size_t i = 0; i < ZQQueue::kMaxMessages + 10; ++i) {
        const std::uint8_t byte = static_cast<std::uint8_t>(i);
        queue.PushBack(&byte, 1);
    }
    EXPECT_EQ(queue.Size(), ZQQueue::kMaxMessages);
    EXPECT_EQ(queue.messages.front()->at(0), 10);
}

TEST(ReadNext, ArgumentsAndPolling)
{
    RecordingDevice device;
    std::uint8_t buffer[64];
    EXPECT_EQ(device.ReadNext(64, buffer, sizeof buffer, -1), -1);
    EXPECT_EQ(device.ReadNext(-1, buffer, sizeof buffer, -1), -1);
    EXPECT_EQ(device.ReadNext(9, buffer, sizeof buffer, -1), -1); // free slot
    EXPECT_EQ(device.ReadNext(0, buffer, sizeof buffer, -1), -1); // empty, polling

    const Bytes reply{0xF0, 'R', 'e', 't', 'F', 'w', 'S', 't', 'a', 't', 'u', 's', 0x01, 0xF7};
    device.deliver(reply);
    EXPECT_EQ(device.ReadNext(0, nullptr, 0, 3000), 0);
    EXPECT_EQ(device.queues[0]->Size(), 1u);

    const auto begin = steady_clock::now();
    EXPECT_EQ(device.ReadNext(0, buffer, sizeof buffer, 3000), 14);
    EXPECT_LT(steady_clock::now() - begin, std::chrono::milliseconds(1000)); // far from the 3000 ms time-out
    EXPECT_EQ(Bytes(buffer, buffer + 14), reply);
}

TEST(ReadNext, NeverWritesBeyondTheBuffer)
{
    RecordingDevice device;
    Bytes longReply{0xF0, 'R', 'e', 't', 'F', 'w', 'I', 'n', 'f', 'o'};
    longReply.resize(700, 0x22);
    longReply.push_back(0xF7);
    device.deliver(longReply);
    device.deliver(longReply);

    std::uint8_t buffer[520];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(device.ReadNext(0, buffer, 512, -1), 512);
    EXPECT_EQ(Bytes(buffer, buffer + 512), Bytes(longReply.begin(), longReply.begin() + 512));
    for (int i = 512; i < 520; ++i)
        EXPECT_EQ(buffer[i], 0xEE);
    // The cut message is consumed whole; the next one is intact.
    EXPECT_EQ(device.queues[0]->Size(), 1u);
}

TEST(ReadNext, RealTimeoutOfThreeSeconds)
{
    RecordingDevice device;
    std::uint8_t buffer[16];
    const auto begin = steady_clock::now();
    EXPECT_EQ(device.ReadNext(0, buffer, sizeof buffer, 3000), -1);
    const auto waited = steady_clock::now() - begin;
    EXPECT_GE(waited, std::chrono::milliseconds(3000));
    EXPECT_LT(waited, std::chrono::milliseconds(3500));
}

TEST(ReadNext, WakesForAMessageAndZeroWaitsWithoutLimit)
{
    FastClock fast(10);
    RecordingDevice device;
    const Bytes frame{0xF0, 0x01, 0x00, 0x00, 0x03, 0x11, 0xF7};
    for (int timeout : {3000, 0}) {
        std::thread sender([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            device.deliver(frame);
        });
        std::uint8_t buffer[16];
        EXPECT_EQ(device.ReadNext(0, buffer, sizeof buffer, timeout), 7) << timeout;
        sender.join();
    }
}

// The reader's time runs out while it cannot run (the process stopped, the
// machine busy), which holding the queue's lock makes happen here: a reply
// queued meanwhile, or one that the receive thread brings right after, is
// its answer, not a time-out.
TEST(ReadNext, TimeInWhichTheReaderCouldNotRunDoesNotCount)
{
    const Bytes frame{0xF0, 0x01, 0x00, 0x00, 0x03, 0x11, 0xF7};
    for (const bool queuedMeanwhile : {true, false}) {
        RecordingDevice device;
        ZQQueue& queue = *device.queues[0];
        int read = 0;
        std::thread reader([&] {
            std::uint8_t buffer[16];
            read = device.ReadNext(0, buffer, sizeof buffer, 600);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        {
            // Held well past the reader's 600 ms.
            std::lock_guard<std::mutex> lock(queue.mutex);
            if (queuedMeanwhile)
                queue.messages.push_back(new Bytes(frame)); // no wake-up: the lock is held
            std::this_thread::sleep_for(std::chrono::milliseconds(950));
        }
        if (!queuedMeanwhile)
            device.deliver(frame);
        reader.join();
        EXPECT_EQ(read, 7) << queuedMeanwhile;
        EXPECT_TRUE(queue.messages.empty());
    }
}

// How much of such a time counts: the slice it fell in counts 200 ms,
// however long the reader could not run, and the wait then runs on for the
// rest of its 1500 ms, in full, before it times out.
TEST(ReadNext, ASliceTheReaderCouldNotEndCountsTwoHundredMilliseconds)
{
    RecordingDevice device;
    ZQQueue& queue = *device.queues[0];
    std::atomic<bool> calling{false};
    int read = 0;
    steady_clock::time_point returnedAt;
    std::thread reader([&] {
        std::uint8_t buffer[16];
        calling = true;
        read = device.ReadNext(0, buffer, sizeof buffer, 1500);
        returnedAt = steady_clock::now();
    });
    while (!calling)
        std::this_thread::yield();
    // Inside its first slice by now; its lock then held for 2000 ms, ten
    // slices' worth.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    steady_clock::time_point resumedAt;
    {
        std::lock_guard<std::mutex> lock(queue.mutex);
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        resumedAt = steady_clock::now();
    }
    reader.join();
    EXPECT_EQ(read, -1);
    const auto ranOnMs = std::chrono::duration_cast<std::chrono::milliseconds>(returnedAt - resumedAt).count();
    EXPECT_GE(ranOnMs, 1300 - 5);
    EXPECT_LT(ranOnMs, 1300 + 500);
}
