#include "runtime/messagethread/OnMessageThread.h"
#include "tests/support/window/WindowTestSupport.h"

#include <condition_variable>
#include <thread>

namespace {

using EventQueue = WindowTest;

// Hands a turn back and forth between two threads.
class Turns {
public:
    void waitFor(int turn)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return current == turn; });
    }
    void pass(int turn)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            current = turn;
        }
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    int current = 0;
};

// A state whose worker needs the message thread once before it ends, as a
// probe or a device's Open does.
class MessageThreadWorkerState : public AppState {
public:
    explicit MessageThreadWorkerState(std::atomic<bool>& ranFlag) : ran(ranFlag) {}
    ~MessageThreadWorkerState() override
    {
        if (worker.valid())
            worker.wait();
    }
    void apply(MainComponent*) const override
    {
        worker = std::async(std::launch::async, [this] { zq::onMessageThread([this] { ran = true; }); });
    }
    bool isBusy() const override { return running(worker); }

    std::atomic<bool>& ran;
    mutable std::future<void> worker;
};

} // namespace

TEST_F(EventQueue, FirstScreenWaitsForTheFirstTurnOfTheLoop)
{
    {
        std::lock_guard<std::mutex> lock(main->eventQueueLock);
        EXPECT_EQ(main->eventQueue.size(), 1u);
    }
    // The initial state's update would set these; they are still as built.
    main->badgeKind = 3;
    main->initialView->actionButton->setEnabled(false);
    runFor(20);
    EXPECT_EQ(main->badgeKind, 0);
    EXPECT_TRUE(main->initialView->actionButton->isEnabled());
    std::lock_guard<std::mutex> lock(main->eventQueueLock);
    EXPECT_TRUE(main->eventQueue.empty());
}

TEST_F(EventQueue, TwoThreadsRunInTheOrderTheirAppendsTookTheLock)
{
    showQueued();
    std::vector<std::string> ran; // only touched by the message thread
    Turns turns;
    constexpr int kRounds = 50;
    auto pusher = [&](const std::string& name, int myTurn, int nextTurn) {
        for (int i = 0; i < kRounds; ++i) {
            turns.waitFor(myTurn);
            main->pushAsyncEvent([&ran, tag = name + std::to_string(i)] { ran.push_back(tag); });
            main->triggerAsyncUpdate();
            turns.pass(nextTurn);
        }
    };
    std::thread a(pusher, "a", 0, 1);
    std::thread b(pusher, "b", 1, 0);
    EXPECT_TRUE(runUntil([&] { return ran.size() == 2 * kRounds; }));
    a.join();
    b.join();
    std::vector<std::string> expected;
    for (int i = 0; i < kRounds; ++i)
        for (const char* name : {"a", "b"})
            expected.push_back(name + std::to_string(i));
    EXPECT_EQ(ran, expected);
}

TEST_F(EventQueue, FreeRunningPushersKeepEachThreadsOrderWhileTheLoopDrains)
{
    showQueued();
    std::vector<std::pair<int, int>> ran;
    constexpr int kEach = 2000;
    auto pusher = [&](int thread) {
        for (int i = 0; i < kEach; ++i) {
            main->pushAsyncEvent([&ran, thread, i] { ran.emplace_back(thread, i); });
            main->triggerAsyncUpdate();
        }
    };
    std::thread a(pusher, 0);
    std::thread b(pusher, 1);
    EXPECT_TRUE(runUntil([&] { return ran.size() == 2 * kEach; }, 20000));
    a.join();
    b.join();
    int next[2] = {0, 0};
    for (const auto& [thread, i] : ran)
        ASSERT_EQ(i, next[thread]++);
}

// A push made while a drain runs waits for the whole drain and runs later.
TEST_F(EventQueue, APushDuringADrainWaitsForItsEnd)
{
    showQueued();
    std::atomic<bool> firstFinished{false};
    std::atomic<bool> pushedAfterFirst{false};
    std::atomic<bool> secondRan{false};
    std::promise<void> draining;
    std::thread worker;
    main->pushAsyncEvent([&] {
        worker = std::thread([&] {
            draining.get_future().wait();
            main->pushAsyncEvent([&] { secondRan = true; });
            pushedAfterFirst = firstFinished.load();
            main->triggerAsyncUpdate();
        });
        draining.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        firstFinished = true;
    });
    main->triggerAsyncUpdate();
    EXPECT_TRUE(runUntil([&] { return secondRan.load(); }));
    worker.join();
    EXPECT_TRUE(pushedAfterFirst);
}

TEST_F(EventQueue, PendingFunctionsAreDroppedWithTheComponent)
{
    bool ran = false;
    main->pushAsyncEvent([&] { ran = true; });
    main->triggerAsyncUpdate();
    main.reset();
    runFor(20);
    EXPECT_FALSE(ran);
}

// Going away with such a worker running waits for the worker alone: its
// call to the message thread fails instead of waiting for good, and is not
// run later either.
TEST_F(EventQueue, DestroyingTheComponentFailsTheCallOfAWorkerWaitingForTheMessageThread)
{
    std::atomic<bool> ran{false};
    main->changeState(std::make_unique<MessageThreadWorkerState>(ran));
    main.reset();
    runFor(50);
    EXPECT_FALSE(ran);
}
