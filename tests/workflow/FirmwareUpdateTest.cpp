#include "tests/support/CapturedStdout.h"
#include "tests/support/ProcessRun.h"
#include "tests/workflow/UpdateTestFixture.h"

#include "device/ble/ZQBLE.h"
#include "device/midi/DeviceManager.h"
#include "runtime/Clock.h"
#include "states/ConnectedAppState.h"
#include "states/KovraTikoFwCheckingAppState.h"
#include "states/KovraTikoFwUpdatingAppState.h"
#include "states/TroubleshootingAppState.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <thread>

namespace {

const char* const kSerial = "KT10A2100001";
const char* const kMcuOlder = "1.10.0.1 -> 1.11.2.75";
const char* const kMcuCurrent = "1.11.2.75";
const char* const kBtOlder = "0106 -> 0107";
const char* const kBtCurrent = "0107";

std::size_t indexOf(const std::vector<double>& values, double wanted)
{
    for (std::size_t i = 0; i < values.size(); ++i)
        if (std::abs(values[i] - wanted) < 1e-6)
            return i;
    return values.size();
}

// The hardware type in the information block of the image written.
int hardwareTypeWritten(const sim::SimulatedAmplifier& amplifier)
{
    const std::vector<std::uint8_t> flash = amplifier.bootloader.flash();
    return flash.size() > 1024 + 84 ? flash[1024 + 84] : -1;
}

bool nonDecreasing(const std::vector<double>& values) { return std::is_sorted(values.begin(), values.end()); }

using FirmwareUpdate = UpdateTest;

TEST_F(FirmwareUpdate, NoMarkedRowEndsUpdatedAtOnceWithoutTouchingTheAmplifier)
{
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuCurrent, kBtCurrent);
    startUpdate();

    ASSERT_TRUE(runUntilResult());
    EXPECT_EQ(result(), std::make_pair(0, 0));
    EXPECT_EQ(toastText(), "Your firmware is up-to-date.");
    EXPECT_TRUE(amp.bootloader.statusSwitches().empty());
    EXPECT_TRUE(zq::DeviceManager::instance()->hasDevice());
}

TEST_F(FirmwareUpdate, McuOnlyWritesTheStandardImageOnTheOpenDevice)
{
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtCurrent, 20);
    startUpdate();

    ASSERT_TRUE(runUntilResult(30000));
    EXPECT_EQ(result(), std::make_pair(0, 0));
    EXPECT_EQ(toastText(), "Your firmware is up-to-date.");
    EXPECT_EQ(amp.bootloader.statusSwitches(), (std::vector<std::uint8_t>{0x00, 0x01}));
    EXPECT_EQ(amp.bootloader.flashCheck(), sim::FlashCheck::Passed);
    EXPECT_EQ(hardwareTypeWritten(amp), 20);
    // p / 100 from the first chunk on, up to the whole bar: not p / 2 + 50,
    // the MCU's half after a module's update.
    EXPECT_TRUE(nonDecreasing(bar)) << listed(bar);
    EXPECT_TRUE(holds(bar, 0.02)) << listed(bar);
    EXPECT_DOUBLE_EQ(bar.back(), 1.0);
}

// The polling may still change the state between the checking worker's end
// and its hand-over (a tick that began before the worker stopped it): the
// hand-over must then not replace that state, which may have a worker of its
// own waiting for the message thread.
TEST_F(FirmwareUpdate, HandOverOfAReplacedCheckingStateIsDropped)
{
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtCurrent);
    startUpdate();
    // The worker posts without the message thread; its hand-over waits in the queue.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (main->stateIsBusy() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_FALSE(main->stateIsBusy());
    main->changeState(std::make_unique<TroubleshootingAppState>());

    runFor(500);
    EXPECT_NE(stateAs<TroubleshootingAppState>(), nullptr);
    EXPECT_TRUE(amp.bootloader.statusSwitches().empty());
}

// A quit that waits for the check lets it end, and no update starts after it.
TEST_F(FirmwareUpdate, QuitPendingDuringTheCheckStartsNoUpdate)
{
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtCurrent);
    startUpdate();
    main->holdForQuit();

    EXPECT_TRUE(runUntil([this] { return !main->stateIsBusy(); }, 10000));
    runFor(500);
    EXPECT_NE(stateAs<KovraTikoFwCheckingAppState>(), nullptr);
    EXPECT_TRUE(amp.bootloader.statusSwitches().empty());
    EXPECT_EQ(amp.bootloader.chunksWritten(), 0);
}

TEST_F(FirmwareUpdate, GD32AmplifierGetsTheGD32Image)
{
    sim::AmplifierConfig config;
    config.hardwareType = 22;
    sim::SimulatedAmplifier& amp = plugAmplifier(config);
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtCurrent, 22);
    startUpdate();

    ASSERT_TRUE(runUntilResult(30000));
    EXPECT_EQ(result(), std::make_pair(0, 0));
    EXPECT_EQ(amp.bootloader.flashCheck(), sim::FlashCheck::Passed);
    EXPECT_EQ(hardwareTypeWritten(amp), 22);
}

TEST_F(FirmwareUpdate, BluetoothOnlyLinksPythonUpdatesTheModuleAndLeavesNoDeviceOpen)
{
    systemPythonAnswers("Python 2.7.18");
    lnWorks();
    setKnob("KOVRA_STANDIN_PROGRESS", "0,50,100");
    setKnob("KOVRA_STANDIN_DOWNLOAD_MS", "600");
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuCurrent, kBtOlder);
    startUpdate();

    ASSERT_TRUE(runUntilResult());
    EXPECT_EQ(result(), std::make_pair(0, 0));
    EXPECT_EQ(toastText(), "Your firmware is up-to-date.");
    EXPECT_EQ(amp.bootloader.statusSwitches(), std::vector<std::uint8_t>{0x02});
    EXPECT_FALSE(zq::DeviceManager::instance()->hasDevice());
    EXPECT_FALSE(pollingRuns());
    EXPECT_TRUE(holds(bar, 0.02)) << listed(bar);
    EXPECT_TRUE(holds(bar, 0.5)) << listed(bar);
    EXPECT_DOUBLE_EQ(bar.back(), 1.0);
}

TEST_F(FirmwareUpdate, BothWaitForTheAmplifierBetweenTheTwoHalvesOfTheBar)
{
    localPythonAnswers("Python 2.7.18");
    setKnob("KOVRA_STANDIN_PROGRESS", "40,79,80,81,100");
    setKnob("KOVRA_STANDIN_DOWNLOAD_MS", "1000");
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtOlder);
    startUpdate();

    ASSERT_TRUE(runUntilResult(40000, rebootAfterBluetoothUpdate(amp)));
    EXPECT_EQ(result(), std::make_pair(0, 0));
    EXPECT_EQ(amp.bootloader.flashCheck(), sim::FlashCheck::Passed);
    EXPECT_EQ(amp.bootloader.statusSwitches(), (std::vector<std::uint8_t>{0x02, 0x00, 0x01}));

    // 0.02, the library's 0..0.39 with a step back to 0.30 at 80, 0.40, a
    // hundredth per look of the wait, then the MCU from 0.50 to 1.00.
    const std::size_t at002 = indexOf(bar, 0.02), at020 = indexOf(bar, 0.20), at039 = indexOf(bar, 0.39),
                      at030 = indexOf(bar, 0.30), at040 = indexOf(bar, 0.40), at041 = indexOf(bar, 0.41),
                      at050 = indexOf(bar, 0.50);
    ASSERT_LT(at050, bar.size()) << listed(bar);
    EXPECT_LT(at002, at020) << listed(bar);
    EXPECT_LT(at020, at039) << listed(bar);
    EXPECT_LT(at039, at030) << listed(bar);
    EXPECT_LT(at030, at040) << listed(bar);
    EXPECT_LT(at040, at041) << listed(bar);
    EXPECT_LT(at041, at050) << listed(bar);
    const std::vector<double> mcuPart(bar.begin() + static_cast<long>(at050), bar.end());
    EXPECT_TRUE(nonDecreasing(mcuPart)) << listed(bar);
    EXPECT_DOUBLE_EQ(bar.back(), 1.0);
}

TEST_F(FirmwareUpdate, AmplifierThatNeverComesBackEndsWithNoDevice)
{
    localPythonAnswers("Python 2.7.18");
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtOlder);
    // Only once the amplifier is open: the probe's 1 s wait at this speed
    // would leave a loaded machine 25 ms for the reply.
    speedUp(40);
    startUpdate();

    ASSERT_TRUE(runUntilResult(20000, rebootAfterBluetoothUpdate(amp, false)));
    EXPECT_EQ(result(), std::make_pair(2, 8));
    EXPECT_EQ(toastText(), "Firmware updating failed!");
    // Ten of the 17 looks take the bar from 0.40 to 0.50; there it stays.
    ASSERT_FALSE(bar.empty());
    EXPECT_NEAR(*std::max_element(bar.begin(), bar.end()), 0.5, 1e-9) << listed(bar);
    EXPECT_FALSE(pollingRuns());
}

TEST_F(FirmwareUpdate, AmplifierBackBeforeTheWaitStartsIsFound)
{
    // Back under the same port names during the 3 s before the module's
    // update: the polling, stopped since the connection, saw nothing change.
    // At the fixture's speed: the wait finds it through the polling's probes,
    // and a reply later than a probe's second is lost for good there (the
    // names do not change again), so each needs the fixture's 200 ms.
    localPythonAnswers("Python 2.7.18");
    ports->setBluetoothUpdateMs(1000);
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtOlder);
    startUpdate();

    ASSERT_TRUE(runUntilResult(40000));
    EXPECT_EQ(result(), std::make_pair(0, 0));
    EXPECT_EQ(amp.bootloader.flashCheck(), sim::FlashCheck::Passed);
}

// Two amplifiers; the first, whose rows are shown, comes back behind the
// other after each time it leaves (its Bluetooth update, its bootloader's
// restarts). Only the first is written; the other gets probe requests alone.
class TwoAmplifiers : public UpdateTest {
protected:
    void updateTheFirst(const char* btRow)
    {
        localPythonAnswers("Python 2.7.18");
        sim::SimulatedAmplifier& first = plugAmplifier(amplifierWithId(1));
        sim::SimulatedAmplifier& other = amplifier(amplifierWithId(2));
        const auto otherPorts = ports->plugAmplifier(other, "Kovra TIKO 2");
        {
            // Each reply within its output's second, also on a loaded machine:
            // the first amplifier must be the first found.
            FastClock calm(1);
            openFirstAmplifier();
        }
        ASSERT_EQ(std::memcmp(zq::DeviceManager::instance()->currentDevice()->GetUUID(), idOf(first).data(), 8), 0);
        ports->setReturnLast(true);
        fillRows(kSerial, kMcuOlder, btRow);
        CapturedStdout out;
        startUpdate();
        const bool ended = runUntilResult(60000);
        const std::string printed = out.take();
        ASSERT_TRUE(ended);
        EXPECT_EQ(result(), std::make_pair(0, 0));
        EXPECT_EQ(first.bootloader.flashCheck(), sim::FlashCheck::Passed);
        const bool bluetooth = std::string(btRow) == kBtOlder;
        const std::vector<std::uint8_t> switches =
            bluetooth ? std::vector<std::uint8_t>{0x02, 0x00, 0x01} : std::vector<std::uint8_t>{0x00, 0x01};
        EXPECT_EQ(first.bootloader.statusSwitches(), switches);
        EXPECT_EQ(other.bootloader.chunksWritten(), 0);
        EXPECT_TRUE(other.bootloader.statusSwitches().empty());
        const std::vector<std::uint8_t> probeBytes = probeRequest();
        for (const auto& r : ports->received(otherPorts))
            EXPECT_EQ(r.bytes, probeBytes);
        EXPECT_EQ(printed.find("Found device and connected!") != std::string::npos, bluetooth);
    }
};

TEST_F(TwoAmplifiers, TheOneThatLeftForItsBluetoothUpdateIsWaitedForAndWritten) { updateTheFirst(kBtOlder); }

TEST_F(TwoAmplifiers, TheMcuUpdateReopensTheSameAmplifierAtItsNewPorts) { updateTheFirst(kBtCurrent); }

TEST_F(FirmwareUpdate, IncompleteBluetoothUpdateStillUpdatesTheMcuAndKeepsItsCode)
{
    localPythonAnswers("Python 2.7.18");
    setKnob("KOVRA_STANDIN_NEVER_ENDS", "1");
    setKnob("KOVRA_STANDIN_PROGRESS", "10");
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtOlder);
    startUpdate();

    ASSERT_TRUE(runUntilResult(40000, rebootAfterBluetoothUpdate(amp)));
    EXPECT_EQ(result(), std::make_pair(2, -4));
    EXPECT_EQ(amp.bootloader.flashCheck(), sim::FlashCheck::Passed);
}

TEST_F(FirmwareUpdate, MissingWriteAcknowledgementEndsWithTheSessionError)
{
    sim::SimulatedAmplifier& amp = plugAmplifier();
    amp.bootloader.knobs.silentFromChunk = 3;
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtCurrent);
    startUpdate();

    ASSERT_TRUE(runUntilResult(30000));
    EXPECT_EQ(result(), std::make_pair(2, 16));
    EXPECT_EQ(toastText(), "Firmware updating failed!");
}

// An exception that leaves the worker (a programming error, a transport
// that breaks) ends as a failed worker, and says what it was.
TEST_F(FirmwareUpdate, ExceptionInTheWorkerIsPrintedBeforeItsCode)
{
    struct BrokenPort : RecordingDevice {
        int Internal_Send(const std::uint8_t*, std::size_t) override
        {
            throw std::runtime_error("port fault: send refused");
        }
    };
    zq::DeviceManager::instance()->putDevice(std::make_shared<BrokenPort>());
    fillRows(kSerial, kMcuOlder, kBtCurrent);

    CapturedStdout capture;
    startUpdate();
    const bool ended = runUntilResult();
    const std::string out = capture.take();
    ASSERT_TRUE(ended);
    EXPECT_EQ(result(), std::make_pair(2, -12));
    EXPECT_NE(out.find("Firmware update stopped by an unexpected error: port fault: send refused\n"), std::string::npos)
        << out;
}

struct BluetoothFailure {
    const char* name;
    const char* knob; // null: no library in the application folder
    const char* value;
    int code;
};

class BluetoothFailureCode : public FirmwareUpdate, public testing::WithParamInterface<BluetoothFailure> {};

TEST_P(BluetoothFailureCode, EndsWithTheCodeAndLeavesTheMcuAlone)
{
    const BluetoothFailure& c = GetParam();
    if (c.knob != nullptr)
        setKnob(c.knob, c.value);
    else
        ASSERT_TRUE(bundle.getChildFile("Contents/Helpers").getChildFile(ZQBLE::libraryFileName).deleteFile());
    localPythonAnswers("Python 2.7.18");
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtOlder);
    startUpdate();

    ASSERT_TRUE(runUntilResult());
    EXPECT_EQ(result(), std::make_pair(2, c.code));
    EXPECT_EQ(toastText(), "Firmware updating failed!");
    EXPECT_EQ(amp.bootloader.statusSwitches(), std::vector<std::uint8_t>{0x02});
    EXPECT_EQ(amp.bootloader.chunksWritten(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, BluetoothFailureCode,
                         testing::Values(BluetoothFailure{"NoLibrary", nullptr, "", -3},
                                         BluetoothFailure{"FileRefused", "KOVRA_STANDIN_REFUSE_FILE", "3", -65535},
                                         BluetoothFailure{"NoModule", "KOVRA_STANDIN_NO_MODULE", "1", -2},
                                         BluetoothFailure{"DownloadFails", "KOVRA_STANDIN_DOWNLOAD_RESULT", "5", 5},
                                         BluetoothFailure{"CompletionFails", "KOVRA_STANDIN_COMPLETE_CODE", "5", 5}),
                         [](const testing::TestParamInfo<BluetoothFailure>& paramInfo) {
                             return paramInfo.param.name;
                         });

// The firmware file's version unknown: the connected page marks the
// module's row with the arrow alone, and its update ends with the code of
// what went wrong, before the MCU is touched, also when its row is marked.
struct UnknownLatestRoad {
    const char* name;
    LatestUnknown why;
    bool mcuOlder;
    int code;
};

std::ostream& operator<<(std::ostream& out, const UnknownLatestRoad& c) { return out << c.name; }

class UnknownLatestBluetoothUpdate : public FirmwareUpdate, public testing::WithParamInterface<UnknownLatestRoad> {};

TEST_P(UnknownLatestBluetoothUpdate, EndsWithItsCodeAndLeavesTheMcuAlone)
{
    const UnknownLatestRoad& c = GetParam();
    hideLatestBluetoothVersion(c.why);
    localPythonAnswers("Python 2.7.18");
    sim::AmplifierConfig config;
    config.btVersion = "0105";
    if (c.mcuOlder)
        config.mcuVersion = {1, 10, 0, 1};
    sim::SimulatedAmplifier& amp = plugAmplifier(config);
    openFirstAmplifier();
    main->changeState(std::make_unique<ConnectedAppState>());
    ASSERT_TRUE(runUntil([&] { return connectedPageShown() || result().has_value(); }));
    ASSERT_TRUE(connectedPageShown()) << "said to be up to date";
    EXPECT_EQ(main->connectedView->rows[2]->valueLabel->getText(), "0105 -> ");

    startUpdate();
    ASSERT_TRUE(runUntilResult());
    EXPECT_EQ(result(), std::make_pair(2, c.code));
    EXPECT_EQ(toastText(), "Firmware updating failed!");
    EXPECT_EQ(amp.bootloader.statusSwitches(), std::vector<std::uint8_t>{0x02});
    EXPECT_EQ(amp.bootloader.chunksWritten(), 0);
}

using Why = LatestUnknown;

INSTANTIATE_TEST_SUITE_P(
    Causes, UnknownLatestBluetoothUpdate,
    testing::Values(UnknownLatestRoad{"FileRefusedMcuOlder", Why::FileRefused, true, -65535},
                    UnknownLatestRoad{"FileRefusedMcuCurrent", Why::FileRefused, false, -65535},
                    UnknownLatestRoad{"NoLibraryMcuOlder", Why::NoLibrary, true, -3},
                    UnknownLatestRoad{"CacheFolderUnusableMcuOlder", Why::CacheFolderUnusable, true, -3},
                    UnknownLatestRoad{"CacheFolderUnusableMcuCurrent", Why::CacheFolderUnusable, false, -3}),
    [](const testing::TestParamInfo<UnknownLatestRoad>& paramInfo) { return paramInfo.param.name; });

struct PythonMissing {
    const char* name;
    const char* localVersion;  // null: no local Python
    const char* systemVersion; // null: no system Python
    bool lnExists;
    const char* printed; // a line the check prints, or null
};

class PythonCheckFails : public FirmwareUpdate, public testing::WithParamInterface<PythonMissing> {};

TEST_P(PythonCheckFails, ShowsThePythonPageAndKeepsTheState)
{
    const PythonMissing& c = GetParam();
    if (c.localVersion != nullptr)
        localPythonAnswers(c.localVersion);
    if (c.systemVersion != nullptr)
        systemPythonAnswers(c.systemVersion);
    if (c.lnExists)
        lnWorks();
    sim::SimulatedAmplifier& amp = plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuOlder, kBtOlder);

    CapturedStdout capture;
    const std::uint32_t before = zq::Clock::now();
    startUpdate();
    const bool shown =
        runSlicesUntil([this] { return stateAs<KovraTikoFwUpdatingAppState>() != nullptr && pythonPageShown(); });
    const std::uint32_t after = zq::Clock::now();
    const std::string printed = capture.take();

    ASSERT_TRUE(shown);
    EXPECT_EQ(main->badgeKind, 0);
    EXPECT_GE(main->pythonCheckTime.load(), before);
    EXPECT_LE(main->pythonCheckTime.load(), after);
    EXPECT_TRUE(amp.bootloader.statusSwitches().empty());
    EXPECT_TRUE(zq::DeviceManager::instance()->hasDevice());
    if (c.printed != nullptr) {
        EXPECT_NE(printed.find(c.printed), std::string::npos) << printed;
    }
    // Nothing more happens by itself: the page waits for the user.
    runSlicesUntil([] { return false; }, 300);
    EXPECT_NE(stateAs<KovraTikoFwUpdatingAppState>(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, PythonCheckFails,
                         testing::Values(PythonMissing{"Python3", "Python 3.11.2", nullptr, true, nullptr},
                                         PythonMissing{"SmallLetters", "python 2.7.18", nullptr, true, nullptr},
                                         PythonMissing{"NothingToLink", nullptr, nullptr, true, nullptr},
                                         PythonMissing{"LinkedPythonIsNot27", nullptr, "Python 2.6.9", true, nullptr},
                                         PythonMissing{"LnCannotStart", nullptr, "Python 2.7.18", false,
                                                       "Create symbolic link failed!"}),
                         [](const testing::TestParamInfo<PythonMissing>& paramInfo) { return paramInfo.param.name; });

// A link command that does not end holds the check for the window's 30 s,
// counted from the update's start, before which the wait cannot begin, to the
// moment the state notes the failed check.
TEST_F(FirmwareUpdate, LinkThatDoesNotEndIsWaitedForThirtySeconds)
{
    constexpr std::uint32_t kSpeedup = 10;
    constexpr std::uint32_t kWaitMs = 30000;
    constexpr std::uint32_t kLateMs = 2000 * kSpeedup;
    temp->writeScript("bin/ln", "exec sleep 20");
    plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuCurrent, kBtOlder);
    speedUp(kSpeedup);

    const std::uint32_t before = zq::Clock::now();
    startUpdate();
    ASSERT_TRUE(runSlicesUntil([this] { return pythonPageShown(); }));
    const std::uint32_t waited = main->pythonCheckTime.load() - before;
    EXPECT_GE(waited, kWaitMs);
    EXPECT_LT(waited, kWaitMs + kLateMs);
}

TEST_F(FirmwareUpdate, LocalPythonThatCannotStartIsReported)
{
    temp->writeFile("usr/local/bin/python", "not a program"); // no execute bit
    plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuCurrent, kBtOlder);

    CapturedStdout capture;
    startUpdate();
    const bool shown = runSlicesUntil([this] { return pythonPageShown(); });
    const std::string printed = capture.take();
    ASSERT_TRUE(shown);
    EXPECT_NE(printed.find("Check python version failed!"), std::string::npos) << printed;
}

// A local Python that never answers its version fails the check once the
// program's clock has counted 10 s, killed with what it started; the page
// for a missing Python follows.
TEST_F(FirmwareUpdate, VersionThatNeverAnswersFailsTheCheck)
{
    constexpr std::uint32_t kSpeedup = 10;
    constexpr std::uint32_t kLateMs = 2000 * kSpeedup;
    const std::string childPid = temp->path() + "/child.pid";
    temp->writeScript("usr/local/bin/python",
                      "sleep 600 & echo $! > '" + childPid + "'; echo 'Python 2.7.18' >&2; exec sleep 600");
    plugAmplifier();
    openFirstAmplifier();
    fillRows(kSerial, kMcuCurrent, kBtOlder);
    speedUp(kSpeedup);

    CapturedStdout capture;
    const std::uint32_t before = zq::Clock::now();
    startUpdate();
    const bool shown = runSlicesUntil([this] { return pythonPageShown(); });
    const std::string printed = capture.take();
    ASSERT_TRUE(shown);
    EXPECT_NE(printed.find("Check python version failed!"), std::string::npos) << printed;
    const std::uint32_t waited = main->pythonCheckTime.load() - before;
    EXPECT_GE(waited, 10000u);
    EXPECT_LT(waited, 10000u + kLateMs);
    std::ifstream file(childPid);
    int child = 0;
    ASSERT_TRUE(file >> child);
    EXPECT_TRUE(processEnds(child));
}

} // namespace
