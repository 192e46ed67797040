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
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// The download returns at last, while the context still lives or after it
// has gone (its Release ends the stand-in's download): the abandoned thread
// writes its result into an object kept for it and touches nothing else.
TEST_F(DownloadTimeoutTest, ADownloadThatReturnsAfterTheTimeOutHarmsNothing)
{
    for (const bool contextFirst : {false, true}) {
        SCOPED_TRACE(contextFirst ? "the context goes first" : "the download returns first");
        FastClock fast(kSpeedup);
        setKnob("KOVRA_STANDIN_DOWNLOAD_MS", "300");
        auto updater = std::make_unique<ZQBLEFirmwareUpdater>(std::make_unique<ZQBLEDeviceContext>());
        updater->SetFirmwarePath(ZQBLE::getFirmwarePath());

        EXPECT_EQ(updater->UpdateFirmware(), -4);

        if (contextFirst)
            updater.reset();
        EXPECT_TRUE(eventually([&] {
            const Lines log = calls();
            return std::find(log.begin(), log.end(), "Download returned 0") != log.end();
        }));
        updater.reset();
        const Lines log = calls();
        EXPECT_EQ(std::count(log.begin(), log.end(), "Release"), 1);
        EXPECT_EQ(std::count(log.begin(), log.end(), "Unload"), 0);
        root.getChildFile("calls.log").deleteFile();
    }
}

// Counts the "tick"s it is given and keeps every other message (a failed
// assertion of the framework among them), which it also prints.
class CountingLogger : public juce::Logger {
public:
    CountingLogger() : previous(juce::Logger::getCurrentLogger()) { juce::Logger::setCurrentLogger(this); }
    ~CountingLogger() override { juce::Logger::setCurrentLogger(previous); }
    CountingLogger(const CountingLogger&) = delete;
    CountingLogger& operator=(const CountingLogger&) = delete;

    std::atomic<long> ticks{0};
    std::vector<std::string> others;

private:
    void logMessage(const juce::String& message) override
    {
        if (message == "tick") {
            ++ticks;
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            others.push_back(message.toStdString());
        }
        juce::Logger::outputDebugString(message);
    }

    juce::Logger* previous;
    std::mutex mutex;
};

// The time-out touches nobody's logger: every message that another thread
// logs meanwhile reaches the logger that the program was given, and the wait's
// end logs nothing itself (no report of a thread killed by force, no failed
// assertion), so nothing reaches standard error either.
TEST_F(DownloadTimeoutTest, TheTimeOutLeavesTheProcesssLoggerAlone)
{
    FastClock fast(100);
    setKnob("KOVRA_STANDIN_NEVER_ENDS", "1");
    auto updater = std::make_unique<ZQBLEFirmwareUpdater>(std::make_unique<ZQBLEDeviceContext>());
    ASSERT_EQ(updater->SetFirmwarePath(ZQBLE::getFirmwarePath()), "0107");
    CountingLogger logger;
    std::atomic<bool> done{false};
    long logged = 0;
    std::thread other([&] {
        while (!done) {
            juce::Logger::writeToLog("tick");
            ++logged;
        }
    });

    const int code = updater->UpdateFirmware();
    done = true;
    other.join();

    EXPECT_EQ(code, -4);
    EXPECT_TRUE(updater->context->keepLoaded);
    EXPECT_GT(logged, 0);
    EXPECT_EQ(logger.ticks.load(), logged) << "messages logged meanwhile went elsewhere";
    EXPECT_TRUE(logger.others.empty()) << logger.others.front();
    EXPECT_EQ(juce::Logger::getCurrentLogger(), &logger);
    updater.reset();
}

} // namespace
