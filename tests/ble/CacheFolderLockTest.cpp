#include "tests/ble/BleFixture.h"
#include "tests/support/ScopedFolderLock.h"

#include "device/ble/ZQBLE.h"
#include "device/ble/ZQBLEDeviceContext.h"
#include "device/ble/ZQBLEFirmwareUpdater.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Every lock the program asks for, in flock's place: when its answer came, on
// which folder, and what it was.
struct LockCall {
    Clock::time_point at;
    std::string path;
    int result;
    int error;
};

std::mutex g_callsMutex;
std::condition_variable g_callMade;
std::vector<LockCall> g_calls;
// Non-zero: every lock fails with this error, as on a file system without
// working flock.
std::atomic<int> g_failWith{0};

std::string pathOf(int fd)
{
    char target[4096];
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

int recordingFlock(int fd, int operation)
{
    int result = -1;
    int error = g_failWith.load();
    if (error == 0) {
        result = flock(fd, operation);
        error = result == 0 ? 0 : errno;
    }
    const Clock::time_point at = Clock::now();
    {
        std::lock_guard<std::mutex> lock(g_callsMutex);
        g_calls.push_back({at, pathOf(fd), result, error});
    }
    g_callMade.notify_all();
    errno = error;
    return result;
}

std::vector<LockCall> callsOn(const juce::File& folder)
{
    std::lock_guard<std::mutex> lock(g_callsMutex);
    std::vector<LockCall> on;
    for (const LockCall& call : g_calls)
        if (call.path == folder.getFullPathName().toStdString())
            on.push_back(call);
    return on;
}

long long msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

class CacheFolderLock : public BleFixture {
protected:
    void SetUp() override
    {
        BleFixture::SetUp();
        g_failWith = 0;
        std::lock_guard<std::mutex> lock(g_callsMutex);
        g_calls.clear();
    }

    void TearDown() override
    {
        g_failWith = 0;
        BleFixture::TearDown();
    }

    // The cache folder, made and locked through a descriptor of the test's own.
    int holdCacheFolder()
    {
        const juce::File cache = ZQBLE::cacheFolder();
        EXPECT_TRUE(cache.createDirectory());
        const int fd = open(cache.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
        return fd;
    }

    ScopedFolderLock recording{recordingFlock};
};

struct Unlockable {
    const char* name;
    int error;
};

std::ostream& operator<<(std::ostream& out, const Unlockable& c) { return out << c.name; }

class WithoutWorkingFlock : public CacheFolderLock, public ::testing::WithParamInterface<Unlockable> {};

// NFS without its lock daemon, some FUSE mounts: the update goes on without
// the locks, and the run cleans up after itself as anywhere else.
TEST_P(WithoutWorkingFlock, TheLibraryLoadsAndUpdatesAndItsFolderGoes)
{
    g_failWith = GetParam().error;
    {
        ZQBLEFirmwareUpdater updater(std::make_unique<ZQBLEDeviceContext>());
        ASSERT_NE(updater.context->lib, nullptr);
        EXPECT_TRUE(runLib().getChildFile(ZQBLE::libraryFileName).existsAsFile());
        EXPECT_EQ(updater.SetFirmwarePath(ZQBLE::getFirmwarePath()), "0107");
        EXPECT_EQ(updater.UpdateFirmware(), 0);
    }
    EXPECT_FALSE(callsOn(ZQBLE::cacheFolder()).empty()) << "the locks were not asked for";
    EXPECT_FALSE(ZQBLE::cacheFolder().exists());
    const std::vector<std::string> log = calls();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()), (std::vector<std::string>{"Release", "Unload"}));
}

INSTANTIATE_TEST_SUITE_P(Errors, WithoutWorkingFlock,
                         ::testing::Values(Unlockable{"ENOLCK", ENOLCK}, Unlockable{"ENOSYS", ENOSYS},
                                           Unlockable{"EOPNOTSUPP", EOPNOTSUPP}),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

// Another instance that keeps the cache folder's lock (stopped with Ctrl-Z,
// say) holds a run up for 2000 ms at most, counted from the first try; then
// the run goes on without the lock. A lock let go within that time is taken.
TEST_F(CacheFolderLock, AHeldCacheFolderIsWaitedForTwoSecondsAtMost)
{
    const int holder = holdCacheFolder();
    const juce::File cache = ZQBLE::cacheFolder();
    {
        // A run that waited without a limit is let through after 10 s, to
        // fail on its wait's length rather than hang.
        std::mutex rescueMutex;
        std::condition_variable rescueEnds;
        bool built = false;
        std::thread rescue([&] {
            std::unique_lock<std::mutex> lock(rescueMutex);
            if (!rescueEnds.wait_for(lock, std::chrono::seconds(10), [&] { return built; }))
                flock(holder, LOCK_UN);
        });
        ZQBLEDeviceContext context;
        const Clock::time_point builtAt = Clock::now();
        {
            std::lock_guard<std::mutex> lock(rescueMutex);
            built = true;
        }
        rescueEnds.notify_all();
        rescue.join();
        flock(holder, LOCK_EX | LOCK_NB);
        ASSERT_NE(context.lib, nullptr);

        std::vector<LockCall> tries;
        for (const LockCall& call : callsOn(cache))
            if (call.at < builtAt)
                tries.push_back(call);
        ASSERT_GE(tries.size(), 2u);
        for (const LockCall& t : tries)
            EXPECT_EQ(t.error, EWOULDBLOCK) << msBetween(tries.front().at, t.at) << " ms";
        const long long waited = msBetween(tries.front().at, tries.back().at);
        EXPECT_GE(waited, 1990);
        EXPECT_LE(waited, 3000);
    }

    {
        std::lock_guard<std::mutex> lock(g_callsMutex);
        g_calls.clear();
    }
    constexpr int kLetGoAfterMs = 800;
    const std::string cachePath = cache.getFullPathName().toStdString();
    std::thread letGo([&] {
        std::unique_lock<std::mutex> lock(g_callsMutex);
        auto onCache = g_calls.end();
        g_callMade.wait(lock, [&] {
            onCache = std::find_if(g_calls.begin(), g_calls.end(),
                                   [&](const LockCall& call) { return call.path == cachePath; });
            return onCache != g_calls.end();
        });
        const Clock::time_point first = onCache->at;
        lock.unlock();
        std::this_thread::sleep_until(first + std::chrono::milliseconds(kLetGoAfterMs));
        flock(holder, LOCK_UN);
    });
    {
        ZQBLEDeviceContext context;
        letGo.join();
        EXPECT_NE(context.lib, nullptr);
        const std::vector<LockCall> tries = callsOn(cache);
        ASSERT_FALSE(tries.empty());
        std::size_t taken = 0;
        while (taken < tries.size() && tries[taken].result != 0)
            ++taken;
        ASSERT_LT(taken, tries.size()) << "never taken";
        const long long after = msBetween(tries.front().at, tries[taken].at);
        EXPECT_GE(after, kLetGoAfterMs);
        EXPECT_LT(after, 2000);
    }
    close(holder);
}

// What a run finds in the cache folder: it deletes only the run folders of
// its own host whose run has ended, whether or not the file system can lock
// them. Another host's processes and locks cannot be seen from here.
TEST_F(CacheFolderLock, OnlyThisHostsEndedRunsAreDeleted)
{
    struct Left {
        const char* what;
        juce::String name;
        bool goesWithFlock;
        bool goesWithoutFlock;
        bool locked = false; // held by the test
    };
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const Left entries[] = {
        {"this host's ended run", runFolderName(99999999), true, true},
        // Its process runs, but holds no lock (it goes on without it).
        {"this host's run still going", runFolderName(static_cast<long>(getppid())), false, false},
        {"this host's run under a lock", runFolderName(99999998), false, true, true},
        {"another host's run", "other-host.example-99999999", false, false},
        {"a host whose name begins with this one's", juce::String(host) + ".example-99999999", false, false},
        {"a run folder named without its host", "99999999", false, false},
    };
    for (const int error : {0, ENOLCK}) {
        SCOPED_TRACE(error == 0 ? "with flock" : "without flock");
        g_failWith = 0;
        std::vector<int> locks;
        for (const Left& e : entries) {
            const juce::File folder = ZQBLE::cacheFolder().getChildFile(e.name);
            ASSERT_TRUE(folder.getChildFile("lib/marker").create());
            if (e.locked) {
                locks.push_back(open(folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                ASSERT_EQ(flock(locks.back(), LOCK_EX | LOCK_NB), 0);
            }
        }
        g_failWith = error;
        {
            ZQBLEDeviceContext context;
            EXPECT_NE(context.lib, nullptr);
            for (const Left& e : entries) {
                const bool goes = error == 0 ? e.goesWithFlock : e.goesWithoutFlock;
                EXPECT_EQ(!ZQBLE::cacheFolder().getChildFile(e.name).getChildFile("lib/marker").exists(), goes)
                    << e.what;
            }
        }
        for (const int fd : locks)
            close(fd);
        ZQBLE::cacheFolder().deleteRecursively();
    }
}

// A folder of this run's own name can only be left by an earlier process
// that had the same id: it is replaced by a fresh one.
TEST_F(CacheFolderLock, ThisProcessesNameLeftByAnEarlierProcessIsReplaced)
{
    for (const int error : {0, ENOLCK}) {
        g_failWith = error;
        const juce::File left = runLib().getChildFile("marker");
        ASSERT_TRUE(left.create());
        ZQBLEDeviceContext context;
        EXPECT_NE(context.lib, nullptr) << error;
        EXPECT_FALSE(left.exists()) << error;
    }
}

} // namespace
