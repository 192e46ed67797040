#include "tests/ble/BleFixture.h"

#include "device/ble/ZQBLE.h"
#include "device/ble/ZQBLEDeviceContext.h"
#include "device/ble/ZQBLEFirmwareUpdater.h"
#include "tests/support/FastClock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

using DownloadTimeoutTest = BleFixture;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

// 30000 ms of product time take 30 ms.
constexpr std::uint32_t kSpeedup = 1000;

bool eventually(const std::function<bool()>& condition)
{
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Counts into a counter that outlives it.
class CountingListener : public ZQBLEDeviceEventListener {
public:
    explicit CountingListener(std::atomic<int>& counter) : count(counter) {}
    void OnProgress(int) override { ++count; }
    void OnComplete(int) override { ++count; }

private:
    std::atomic<int>& count;
};

TEST_F(DownloadTimeoutTest, ADownloadThatNeverEndsGivesMinusFourAndLeavesTheLibraryLoaded)
{
    // 30000 ms take 300 ms here, so that a longer wait stands out from a
    // loaded machine's delays.
    FastClock fast(100);
    setKnob("KOVRA_STANDIN_NEVER_ENDS", "1");
    setKnob("KOVRA_STANDIN_PROGRESS", "10,20");
    std::atomic<int> firstCount{0};
    auto first = std::make_unique<CountingListener>(firstCount);
    g_listener = first.get();
    auto updater = std::make_unique<ZQBLEFirmwareUpdater>(std::make_unique<ZQBLEDeviceContext>());
    ASSERT_EQ(updater->SetFirmwarePath(ZQBLE::getFirmwarePath()), "0107");

    const auto start = Clock::now();
    EXPECT_EQ(updater->UpdateFirmware(), -4);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, zq::Clock::duration(30000));
    EXPECT_LT(took, zq::Clock::duration(30000) + std::chrono::milliseconds(200));
    EXPECT_TRUE(updater->context->keepLoaded);

    // The library goes on reporting; a cleared listener is never reached
    // again and may go, while the next one is.
    const int before = firstCount.load();
    ASSERT_TRUE(eventually([&] { return firstCount.load() > before; }));
    ZQBLE::clearListener(first.get());
    first.reset();
    const int cleared = firstCount.load();
    std::atomic<int> secondCount{0};
    CountingListener second(secondCount);
    g_listener = &second;
    EXPECT_TRUE(eventually([&] { return secondCount.load() > 2; }));
    EXPECT_EQ(firstCount.load(), cleared);

    updater.reset();
    ZQBLE::clearListener(&second);
    const Lines log = calls();
    EXPECT_EQ(log.back(), "Release");
    EXPECT_EQ(std::count(log.begin(), log.end(), "Unload"), 0);
    EXPECT_FALSE(ZQBLE::cacheFolder().exists());
}

TEST_F(DownloadTimeoutTest, ADownloadThatReturnsAfterTheTimeOutHarmsNothing)
{
    FastClock fast(kSpeedup);
    setKnob("KOVRA_STANDIN_DOWNLOAD_MS", "300");
    auto updater = std::make_unique<ZQBLEFirmwareUpdater>(std::make_unique<ZQBLEDeviceContext>());
    updater->SetFirmwarePath(ZQBLE::getFirmwarePath());

    EXPECT_EQ(updater->UpdateFirmware(), -4);

    // The abandoned thread gets its result at last, into an object kept for it.
    EXPECT_TRUE(eventually([&] {
        const Lines log = calls();
        return std::find(log.begin(), log.end(), "Download returned 0") != log.end();
    }));
    updater.reset();
    const Lines log = calls();
    EXPECT_EQ(log.back(), "Release");
    EXPECT_EQ(std::count(log.begin(), log.end(), "Unload"), 0);
}

} // namespace
