#include "device/ble/ListenerScope.h"
#include "tests/ble/RecordingListener.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

class DeviceCallbackTest : public ::testing::Test {
protected:
    void TearDown() override { ZQBLE::clearListener(&listener); }
    RecordingListener listener;
};

struct EventCase {
    const char* name;
    int event;
    int value;
    std::vector<int> progress;
    std::vector<int> completions;
};

class EventTest : public DeviceCallbackTest, public ::testing::WithParamInterface<EventCase> {};

TEST_P(EventTest, ReachesTheCurrentListener)
{
    const EventCase& c = GetParam();
    g_listener = &listener;
    int value = c.value;

    EXPECT_EQ(DeviceCallback(c.event, &value, nullptr), 0);

    EXPECT_EQ(listener.progressValues(), c.progress);
    EXPECT_EQ(listener.completionCodes(), c.completions);
}

INSTANTIATE_TEST_SUITE_P(Events, EventTest,
                         ::testing::Values(EventCase{"Progress40", 1, 40, {40}, {}},
                                           EventCase{"Completion0", 6, 0, {}, {0}},
                                           EventCase{"CompletionMinus3", 6, -3, {}, {-3}},
                                           EventCase{"Event3Ignored", 3, 7, {}, {}},
                                           EventCase{"Event0Ignored", 0, 7, {}, {}}),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(DeviceCallbackTest, WithoutListenerOrDataNothingHappens)
{
    int value = 40;
    EXPECT_EQ(DeviceCallback(1, &value, nullptr), 0);
    g_listener = &listener;
    EXPECT_EQ(DeviceCallback(1, nullptr, nullptr), 0);
    EXPECT_TRUE(listener.progressValues().empty());
}

TEST_F(DeviceCallbackTest, ADestroyedListenerIsNoLongerCurrent)
{
    auto other = std::make_unique<RecordingListener>();
    g_listener = other.get();
    other.reset();
    EXPECT_EQ(g_listener.load(), nullptr);
}

TEST_F(DeviceCallbackTest, AScopeMakesItsListenerCurrentUntilItEnds)
{
    int value = 40;
    {
        ZQBLE::ListenerScope scope(&listener);
        EXPECT_EQ(g_listener.load(), &listener);
        DeviceCallback(1, &value, nullptr);
    }
    EXPECT_EQ(g_listener.load(), nullptr);
    DeviceCallback(1, &value, nullptr);
    EXPECT_EQ(listener.progressValues(), std::vector<int>{40});
}

TEST_F(DeviceCallbackTest, AScopeEndedEarlyLeavesALaterListenerCurrent)
{
    RecordingListener later;
    {
        ZQBLE::ListenerScope scope(&listener);
        scope.end();
        EXPECT_EQ(g_listener.load(), nullptr);
        g_listener = &later;
    }
    EXPECT_EQ(g_listener.load(), &later);
    ZQBLE::clearListener(&later);
}

// Blocks in OnProgress until told to go on.
class BlockingListener : public ZQBLEDeviceEventListener {
public:
    void OnProgress(int) override
    {
        inside = true;
        while (!proceed)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void OnComplete(int) override {}
    std::atomic<bool> inside{false};
    std::atomic<bool> proceed{false};
};

TEST(DeviceCallbackClearTest, ClearingWaitsForTheEventInProgress)
{
    BlockingListener blocking;
    g_listener = &blocking;
    std::thread library([] {
        int value = 1;
        DeviceCallback(1, &value, nullptr);
    });
    while (!blocking.inside)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    std::atomic<bool> cleared{false};
    std::thread owner([&] {
        ZQBLE::clearListener(&blocking);
        cleared = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(g_listener.load(), nullptr);
    EXPECT_FALSE(cleared);

    blocking.proceed = true;
    owner.join();
    library.join();
    EXPECT_TRUE(cleared);
}

class SelfClearingListener : public ZQBLEDeviceEventListener {
public:
    void OnProgress(int) override { ZQBLE::clearListener(this); }
    void OnComplete(int) override {}
};

TEST(DeviceCallbackClearTest, AListenerMayClearItselfFromAnEvent)
{
    SelfClearingListener self;
    g_listener = &self;
    int value = 1;
    EXPECT_EQ(DeviceCallback(1, &value, nullptr), 0);
    EXPECT_EQ(g_listener.load(), nullptr);
}

// Checks in every call that it has not been destroyed yet.
class GuardedListener : public ZQBLEDeviceEventListener {
public:
    ~GuardedListener() override { alive = false; }
    void OnProgress(int) override
    {
        EXPECT_TRUE(alive.load());
        ++calls;
    }
    void OnComplete(int) override { OnProgress(0); }
    std::atomic<bool> alive{true};
    std::atomic<int> calls{0};
};

// Library threads call back all the time while listeners come and go.
TEST(DeviceCallbackConcurrencyTest, NoEventReachesAClearedListener)
{
    std::atomic<bool> stop{false};
    std::vector<std::thread> library;
    for (int t = 0; t < 3; ++t) {
        library.emplace_back([&stop, t] {
            int value = t;
            while (!stop)
                DeviceCallback(t == 0 ? 6 : 1, &value, nullptr);
        });
    }

    int reached = 0;
    for (int round = 0; round < 200; ++round) {
        auto guarded = std::make_unique<GuardedListener>();
        g_listener = guarded.get();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        ZQBLE::clearListener(guarded.get());
        reached += guarded->calls.load() > 0 ? 1 : 0;
    }
    stop = true;
    for (auto& thread : library)
        thread.join();
    EXPECT_GT(reached, 0);
}

TEST(BluetoothProgressPercent, FirstHalfWhenTheMcuFollows)
{
    struct Case {
        int p;
        bool mcuFollows;
        int percent;
    };
    const Case cases[] = {
        {0, true, 0},   {1, true, 0},    {79, true, 39},  {80, true, 30}, {81, true, 30},    {100, true, 40},
        {-5, true, -2}, {150, true, 65}, {80, false, 80}, {0, false, 0},  {100, false, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.p << (c.mcuFollows ? " with MCU" : " alone"));
        EXPECT_EQ(ZQBLE::progressPercent(c.p, c.mcuFollows), c.percent);
    }
}

} // namespace
