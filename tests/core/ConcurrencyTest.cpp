#include "tests/support/FastClock.h"
#include "tests/support/RecordingDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// Receive thread routing while session threads allocate, read and release.
TEST(DeviceConcurrency, RouterReadersAndSlotChurn)
{
    FastClock fast(100);
    RecordingDevice device;
    constexpr int kReaders = 6;
    constexpr int kRounds = 300;
    std::atomic<bool> stop{false};
    std::atomic<int> received{0};

    std::thread router([&] {
        std::uint8_t sid = 0;
        while (!stop) {
            device.deliver({0xF0, 0x01, sid, 0x00, 0x03, 0x11, 0xF7});
            device.deliver({0xF0, 'R', 'e', 't', 'F', 'w', 'S', 't', 'a', 't', 'u', 's', 0x01, 0xF7});
            sid = static_cast<std::uint8_t>((sid + 1) % 64);
        }
    });

    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&] {
            std::uint8_t buffer[64];
            for (int i = 0; i < kRounds; ++i) {
                const int sid = device.AllocateSid();
                if (sid < 0)
                    continue;
                if (device.ReadNext(sid, buffer, sizeof buffer, 50) > 0)
                    ++received;
                device.ReleaseSid(sid);
            }
        });
    }
    std::thread bootloaderReader([&] {
        std::uint8_t buffer[64];
        for (int i = 0; i < kRounds * 4; ++i)
            device.ReadNext(0, buffer, sizeof buffer, 10);
    });

    for (auto& t : readers)
        t.join();
    bootloaderReader.join();
    stop = true;
    router.join();
    EXPECT_GT(received.load(), 0);
    EXPECT_LE(device.queues[0]->Size(), ZQQueue::kMaxMessages);
}
