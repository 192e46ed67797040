#include "tests/workflow/UpdateTestFixture.h"

#include "device/midi/DeviceManager.h"
#include "runtime/Clock.h"
#include "states/KovraTikoFwUpdatingAppState.h"
#include "states/PythonInstallingAppState.h"
#include "tests/support/DeviceManagerInspector.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <future>
#include <optional>
#include <thread>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The update has found Python missing and shows the Python page; the test
// then sets up what the installation finds and presses "Proceed".
class PythonInstallation : public UpdateTest {
protected:
    void SetUp() override
    {
        UpdateTest::SetUp();
        if (HasFatalFailure())
            return;
        lnMakesNothing();
        amp = &plugAmplifier();
        openFirstAmplifier();
        fillRows("KT10A2100001", "1.11.2.75", "0106 -> 0107");
        startUpdate();
        ASSERT_TRUE(runSlicesUntil([this] { return pythonPageShown(); }));
        bar.clear();
    }

    void proceed() { main->buttonClicked(main->pythonInfoView->proceedButton.get()); }

    void dropDevice() { zq::DeviceManager::instance()->closeDevice(); }

    // The update that the installation starts again shows the Python page
    // once more when the fake installer left no Python behind.
    bool updateStartedAgain() const { return stateAs<KovraTikoFwUpdatingAppState>() != nullptr && pythonPageShown(); }

    // The installer is let end once the bar is set to `fraction`, as it is set.
    void releaseAt(double fraction)
    {
        barValues->onValue = [this, fraction, released = false](double value) mutable {
            if (!released && value >= fraction - 1e-9) {
                release();
                released = true;
            }
        };
    }

    double highestBeforeTheEnd() const
    {
        double top = 0;
        for (double v : bar)
            if (v < 1.0)
                top = std::max(top, v);
        return top;
    }

    sim::SimulatedAmplifier* amp = nullptr;
};

TEST_F(PythonInstallation, PrivilegedLinkToA27SystemPythonRestartsTheUpdate)
{
    systemPythonAnswers("Python 2.7.18");
    osascript("echo 'installer must not run'; exit 1");
    proceed();

    ASSERT_TRUE(runUntilResult());
    // The new update found Python and went through the Bluetooth update.
    EXPECT_EQ(result(), std::make_pair(0, 0));
    EXPECT_EQ(amp->bootloader.statusSwitches(), std::vector<std::uint8_t>{0x02});
    EXPECT_TRUE(juce::File(localPython()).isSymbolicLink());
}

// A quit that comes while Python is installed lets the installation end; the
// update that would follow does not start, and the amplifier hears nothing.
TEST_F(PythonInstallation, QuitPendingDuringTheInstallationStartsNoUpdate)
{
    systemPythonAnswers("Python 2.7.18");
    osascript("echo 'installer must not run'; exit 1");
    proceed();
    main->holdForQuit();

    EXPECT_TRUE(runUntil([this] { return !main->stateIsBusy(); }, 20000));
    runFor(1000);
    EXPECT_NE(stateAs<PythonInstallingAppState>(), nullptr);
    EXPECT_TRUE(juce::File(localPython()).isSymbolicLink());
    EXPECT_TRUE(amp->bootloader.statusSwitches().empty());
}

TEST_F(PythonInstallation, InstallerThatSucceedsAdvancesTheBarOncePerLookWhileItRuns)
{
    osascript(waitForRelease() + "; echo 'installer: The install was successful.'");
    // No amplifier and little time left: one look of the wait follows, then
    // the end.
    dropDevice();
    main->pythonCheckTime = zq::Clock::now() - 63000;
    proceed();

    // Let it run through four looks, then let it end before the sixth.
    releaseAt(4 * 0.023);
    ASSERT_TRUE(runUntilResult(20000));
    EXPECT_EQ(result(), std::make_pair(2, -15));
    EXPECT_TRUE(holds(bar, 5 * 0.023)) << listed(bar);
    EXPECT_FALSE(holds(bar, 6 * 0.023)) << listed(bar);
}

// The time since the update found Python missing is counted on the clock
// that times the installer's looks: 32 looks and the first 2 s are 66 s, past
// the window of 65 s, so one look of 4 s follows, which takes the bar from the
// installer's last step straight to 0.99, whatever the clock's speed.
TEST_F(PythonInstallation, InstallerLooksCountTowardsTheAmplifierWindow)
{
    osascript(waitForRelease() + "; echo 'installer: The install was successful.'");
    dropDevice();
    speedUp(50);
    proceed();

    // Released well before the 44th look, from which the bar is held at 0.99.
    releaseAt(32 * 0.023);
    ASSERT_TRUE(runUntilResult(20000));
    EXPECT_EQ(result(), std::make_pair(2, -15));
    ASSERT_TRUE(holds(bar, 32 * 0.023)) << listed(bar);
    for (double v : bar) {
        if (v < 0.99 - 1e-9) {
            EXPECT_NEAR(v / 0.023, std::round(v / 0.023), 1e-6) << listed(bar);
        }
    }
}

// Two amplifiers; the first, whose rows the update shows, leaves USB while
// the installer runs and comes back listed after the second. The wait takes
// the first back, by its id, and the update starts again on it; the second
// is only probed.
TEST_F(PythonInstallation, TheAmplifierThatLeftIsTakenBackNotAnother)
{
    sim::SimulatedAmplifier& other = amplifier(amplifierWithId(2));
    const auto otherPorts = ports->plugAmplifier(other, "Kovra TIKO 2");
    ports->setReturnLast(true);
    osascript(waitForRelease() + "; echo 'installer: The install was successful.'");
    proceed();

    // What the polling saw last; each tick is done with its callback when
    // the loop gets here again.
    const auto seen = [] { return zq::DeviceManagerInspector::lastMidiInputNames(*zq::DeviceManager::instance()); };
    const juce::StringArray both{"Kovra TIKO", "Kovra TIKO 2"};
    const juce::StringArray secondAlone{"Kovra TIKO 2"};
    const juce::StringArray firstBehind{"Kovra TIKO 2", "Kovra TIKO"};
    int step = 0;
    ASSERT_TRUE(runSlicesUntil([this] { return updateStartedAgain(); }, 40000,
                               [&] {
                                   if (step == 0 && seen() == both) {
                                       ports->unplug(plugged);
                                       ++step;
                                   } else if (step == 1 && seen() == secondAlone) {
                                       ports->replug(plugged);
                                       ++step;
                                   } else if (step == 2 && seen() == firstBehind) {
                                       release();
                                       ++step;
                                   }
                               }));
    EXPECT_EQ(step, 3);
    const std::shared_ptr<ZQDevice> device = zq::DeviceManager::instance()->currentDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(std::memcmp(device->GetUUID(), idOf(*amp).data(), 8), 0);
    for (const auto& r : ports->received(otherPorts))
        EXPECT_EQ(r.bytes, probeRequest());
}

struct InstallerOutcome {
    const char* name;
    const char* body; // null: osascript cannot be started
    std::uint32_t speedup;
    int code; // 0: the update starts again
    double highestBar;
};

class InstallerEnds : public PythonInstallation, public testing::WithParamInterface<InstallerOutcome> {};

TEST_P(InstallerEnds, WithItsCode)
{
    const InstallerOutcome& c = GetParam();
    if (c.body != nullptr)
        osascript(c.body);
    speedUp(c.speedup);
    proceed();

    if (c.code == 0) {
        ASSERT_TRUE(runSlicesUntil([this] { return updateStartedAgain(); }, 20000));
    } else {
        ASSERT_TRUE(runUntilResult(20000));
        EXPECT_EQ(result(), std::make_pair(2, c.code));
        EXPECT_DOUBLE_EQ(main->progressView->progress, 1.0);
    }
    EXPECT_NEAR(highestBeforeTheEnd(), c.highestBar, 1e-9) << listed(bar);
    EXPECT_FALSE(pollingRuns());
}

// Past the limit: 75 looks, the bar held at 0.99 from the 44th on.
INSTANTIATE_TEST_SUITE_P(
    Cases, InstallerEnds,
    testing::Values(InstallerOutcome{"CannotStart", nullptr, 10, -13, 0.0},
                    InstallerOutcome{"NoSuccessWord", "echo 'installer: failed'", 10, -14, 0.0},
                    InstallerOutcome{"KilledAtTheLimit", "exec sleep 600", 100, -11, 0.99},
                    InstallerOutcome{"KilledAfterSayingSuccessful", "echo successful; exec sleep 600", 100, 0, 0.99}),
    [](const testing::TestParamInfo<InstallerOutcome>& paramInfo) { return paramInfo.param.name; });

// When the process whose id a fake program wrote to `pidFile` ended, as the
// kernel reports it (a pidfd turns readable); none within `timeout`.
std::optional<std::chrono::steady_clock::time_point> endOfProcess(const std::string& pidFile,
                                                                  std::chrono::milliseconds timeout)
{
    const auto giveUp = std::chrono::steady_clock::now() + timeout;
    pid_t pid = 0;
    while (pid <= 0) {
        if (std::chrono::steady_clock::now() > giveUp)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::ifstream(pidFile) >> pid;
    }
    const int process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (process < 0)
        return std::nullopt;
    pollfd ready{process, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
    const int n = poll(&ready, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
    const auto at = std::chrono::steady_clock::now();
    close(process);
    return n == 1 ? std::optional(at) : std::nullopt;
}

// The installer still running at the limit is killed 152 s after it started
// (2 s, then 75 looks of 2 s), counted from before "Proceed", so never less.
TEST_F(PythonInstallation, InstallerIsKilledAtItsLimit)
{
    constexpr std::uint32_t kSpeedup = 10;
    constexpr double kLateMs = 1500;
    const std::string pidFile = temp->path() + "/installer.pid";
    osascript("echo $$ > '" + pidFile + ".new' && mv '" + pidFile + ".new' '" + pidFile + "'; exec sleep 600");
    speedUp(kSpeedup);

    auto ended = std::async(std::launch::async, [&] { return endOfProcess(pidFile, std::chrono::seconds(60)); });
    const auto start = std::chrono::steady_clock::now();
    proceed();
    const bool shown = runUntilResult(60000);
    const std::optional<std::chrono::steady_clock::time_point> end = ended.get();
    ASSERT_TRUE(shown);
    EXPECT_EQ(result(), std::make_pair(2, -11));
    ASSERT_TRUE(end.has_value());
    const double tookMs = std::chrono::duration<double, std::milli>(*end - start).count();
    const double limitMs = std::chrono::duration<double, std::milli>(zq::Clock::duration(152000)).count();
    EXPECT_GE(tookMs, limitMs);
    EXPECT_LT(tookMs, limitMs + kLateMs);
}

struct WaitCase {
    const char* name;
    std::uint32_t elapsedMs; // since the update found Python missing
    std::uint32_t speedup;
    int looks;        // at least this many 4-s looks
    double firstStep; // the bar after the first look, 0 when it is the last
};

class NoAmplifierAfterInstalling : public PythonInstallation, public testing::WithParamInterface<WaitCase> {};

// What the flow takes beyond its looks on a loaded machine.
constexpr double kBeyondTheLooksMs = 700;

TEST_P(NoAmplifierAfterInstalling, WaitsItsBudgetThenFails)
{
    const WaitCase& c = GetParam();
    systemPythonAnswers("Python 2.7.18");
    osascript("exit 1");
    dropDevice();
    speedUp(c.speedup);
    main->pythonCheckTime = zq::Clock::now() - c.elapsedMs;
    const auto start = std::chrono::steady_clock::now();
    proceed();

    ASSERT_TRUE(runUntilResult(20000));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result(), std::make_pair(2, -15));
    EXPECT_DOUBLE_EQ(main->progressView->progress, 1.0);
    const double tookMs = std::chrono::duration<double, std::milli>(took).count();
    const double looksMs = c.looks * std::chrono::duration<double, std::milli>(zq::Clock::duration(4000)).count();
    EXPECT_GE(tookMs, looksMs);
    EXPECT_LT(tookMs, looksMs + kBeyondTheLooksMs);
    if (c.firstStep > 0) {
        // The first look's step; the last ones are held at 0.99.
        ASSERT_GE(bar.size(), 3u) << listed(bar);
        EXPECT_NEAR(bar[1], c.firstStep, 1e-6) << listed(bar);
        EXPECT_TRUE(holds(bar, 0.99)) << listed(bar);
    }
}

// 9.5 s: 55.5 s left, a 13th of the bar per look, 14 looks; 62 s: 3 s left,
// no whole look, so one look to 0.99; 70 s: past the window, one look to
// 0.99. The link and the version check come first, on the same clock: each
// case holds while they take less than 3 s at its speed. A look takes 400 ms
// and 1000 ms, so that one look more stands out.
INSTANTIATE_TEST_SUITE_P(Cases, NoAmplifierAfterInstalling,
                         testing::Values(WaitCase{"NineAndAHalfSeconds", 9500, 10, 14, 1.0f / 13.0f},
                                         WaitCase{"SixtyTwoSeconds", 62000, 4, 1, 0},
                                         WaitCase{"SeventySeconds", 70000, 4, 1, 0}),
                         [](const testing::TestParamInfo<WaitCase>& paramInfo) { return paramInfo.param.name; });

} // namespace
