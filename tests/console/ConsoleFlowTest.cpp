#include "Joined.h"
#include "ProcessRun.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

const std::string kDemo = KOVRA_DEMO_BINARY;
const std::string kImage = KOVRA_STANDARD_IMAGE;
const std::string kBundleResources = (fs::path(kDemo).parent_path() / "Contents" / "Resources").string();

// The demo binary with its waits run fast, its cache and report in a
// temporary folder of the test's own.
class ConsoleFlow : public ::testing::Test {
protected:
    TempFolder temp;

    ProcessResult run(const std::vector<std::string>& args, std::vector<std::string> env = {},
                      const std::string& program = kDemo, int speedup = 10)
    {
        env.insert(env.begin(), {"KOVRA_DEMO_SPEEDUP=" + std::to_string(speedup),
                                 "KOVRA_DEMO_REPORT=" + temp.path() + "/report", "XDG_CACHE_HOME=" + temp.path() + "/cache",
                                 "HOME=" + temp.path(), "KOVRA_STANDIN_DOWNLOAD_MS=50"});
        ProcessResult r = runProcess(program, args, env, 240);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_EQ(r.err, "");
        return r;
    }

    Lines report() const
    {
        Lines lines;
        std::ifstream in(temp.path() + "/report");
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
};

Lines progressLines(std::size_t imageSize)
{
    Lines lines;
    for (std::size_t offset = 0; offset < imageSize;) {
        offset = std::min(offset + 256, imageSize);
        lines.push_back("Updating: " + std::to_string(std::min<std::size_t>(offset * 100 / imageSize, 100)) + "%");
    }
    return lines;
}

long long msBetween(const ProcessResult& r, const std::string& first, const std::string& second)
{
    const Lines lines = r.lines();
    const auto a = std::find(lines.begin(), lines.end(), first);
    const auto b = std::find(lines.begin(), lines.end(), second);
    if (a == lines.end() || b == lines.end())
        return -1;
    return std::chrono::duration_cast<std::chrono::milliseconds>(r.lineTimes[b - lines.begin()]
                                                                  - r.lineTimes[a - lines.begin()])
        .count();
}

} // namespace

TEST_F(ConsoleFlow, PathUpdatesTheAmplifier)
{
    const ProcessResult r = run({"--path", kImage});
    EXPECT_EQ(r.lines(), joined<std::string>({{"Kovra TIKO", "1 device(s) found"}, progressLines(743249), {"Firmware upgraded!"}}));
    EXPECT_EQ(report(), (Lines{"amplifier 1 messages 2909 chunks 2904 refusals 0 flash passed switches 0 1"}));
}

TEST_F(ConsoleFlow, PathResendsARefusedChunkAndUsesTheFirstOfTwoAmplifiers)
{
    const ProcessResult r = run({"--path", kImage}, {"KOVRA_DEMO_AMPLIFIERS=2", "KOVRA_DEMO_REFUSE_CHUNK=7"});
    EXPECT_EQ(r.lines(),
              joined<std::string>({{"Kovra TIKO", "Kovra TIKO 2", "2 device(s) found"}, progressLines(743249), {"Firmware upgraded!"}}));
    const Lines amplifiers = report();
    ASSERT_EQ(amplifiers.size(), 2u);
    EXPECT_EQ(amplifiers[0], "amplifier 1 messages 2910 chunks 2904 refusals 1 flash passed switches 0 1");
    EXPECT_EQ(amplifiers[1], "amplifier 2 messages 1 chunks 0 refusals 0 flash not-run switches");
}

TEST_F(ConsoleFlow, PathWithAMissingImageFailsAfterTheSwitch)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--path", temp.path() + "/absent.bin"},
                                                 std::vector<std::string>{"--path"}}) {
        const ProcessResult r = run(args);
        EXPECT_EQ(r.lines(), (Lines{"Kovra TIKO", "1 device(s) found", "Firmware upgrade failed!"}));
        // Probe, GetFwStatus, SetFwStatus 00, GetFwInfo: nothing written.
        EXPECT_EQ(report(), (Lines{"amplifier 1 messages 4 chunks 0 refusals 0 flash not-run switches 0"}));
    }
}

TEST_F(ConsoleFlow, DeviceFlowsWithoutAnAmplifier)
{
    for (const std::string option : {"--path", "--reset", "--bt"}) {
        const ProcessResult r = run({option, kImage}, {"KOVRA_DEMO_AMPLIFIERS=0"});
        EXPECT_EQ(r.lines(), (Lines{"No device found"})) << option;
    }
    // A keyboard's ports are listed but not probed.
    const ProcessResult r = run({"--reset"}, {"KOVRA_DEMO_AMPLIFIERS=0", "KOVRA_DEMO_KEYBOARD=1"});
    EXPECT_EQ(r.lines(), (Lines{"MIDI Keyboard", "No device found"}));
}

TEST_F(ConsoleFlow, ResetRunsBothResets)
{
    struct Case {
        const char* fail;
        Lines lines;
    };
    for (const Case& c : {Case{"", {"Kovra TIKO", "1 device(s) found", "BT Module Factory Reset completed!",
                                    "MCU Factory Reset completed!"}},
                          Case{"bt", {"Kovra TIKO", "1 device(s) found", "BT Module Factory Reset failed!",
                                      "MCU Factory Reset completed!"}},
                          Case{"mcu", {"Kovra TIKO", "1 device(s) found", "BT Module Factory Reset completed!",
                                       "MCU Factory Reset failed!"}}}) {
        const ProcessResult r = run({"--reset", "and", "more"}, {std::string("KOVRA_DEMO_RESET_FAIL=") + c.fail});
        EXPECT_EQ(r.lines(), c.lines) << c.fail;
    }
}

TEST_F(ConsoleFlow, RealTimeWaitsOfTheDeviceFlows)
{
    // At the product's own speed: 1000 ms between the resets, 3000 ms between
    // closing the amplifier and the Bluetooth updater, 5 s per reconnect. The
    // program prints the first line before its wait begins, and this process
    // times each line when it reads it, which on a loaded machine may lag the
    // write; hence the slack below each wait. Above it, the steps around the
    // wait and a loaded machine's delays.
    constexpr long long kReadSlackMs = 100;
    constexpr long long kLateMs = 500;
    struct Wait {
        const char* what;
        long long ms;
        long long measuredMs;
    };
    const ProcessResult reset = run({"--reset"}, {}, kDemo, 1);
    const ProcessResult bt = run({"--bt"}, {"KOVRA_STANDIN_DOWNLOAD_MS=100"}, kDemo, 1);
    const ProcessResult path = run({"--path", kImage}, {}, kDemo, 1);
    for (const Wait& w :
         {Wait{"between the resets", 1000,
               msBetween(reset, "BT Module Factory Reset completed!", "MCU Factory Reset completed!")},
          Wait{"before the updater", 3000,
               msBetween(bt, "SetFwStatus as BT update mode completed!", "Start executing BT updater")},
          Wait{"into the bootloader", 5000, msBetween(path, "1 device(s) found", "Updating: 0%")},
          Wait{"back to the application", 5000, msBetween(path, "Updating: 100%", "Firmware upgraded!")}}) {
        EXPECT_GE(w.measuredMs, w.ms - kReadSlackMs) << w.what;
        EXPECT_LT(w.measuredMs, w.ms + kLateMs) << w.what;
    }
}

TEST_F(ConsoleFlow, BluetoothUpdate)
{
    const std::string firmware = kBundleResources + "/ble_firmware.fw";
    const Lines head{"Kovra TIKO",
                     "1 device(s) found",
                     "SetFwStatus as BT update mode completed!",
                     "Start executing BT updater",
                     "Set fw path in " + firmware,
                     "Got fw version: 0107"};
    const ProcessResult r = run({"--bt"}, {"KOVRA_STANDIN_PROGRESS=0,40,79,80,100,130,-5"});
    EXPECT_EQ(r.lines(), joined<std::string>({head,
                                 {"BT update progress 0", "BT update progress 40", "BT update progress 79",
                                  "BT update progress 80", "BT update progress 100", "BT update progress 130",
                                  "BT update progress -5", "BT firmware updated with result 0",
                                  "BT update firmware completed!", "Get result code again: 0"}}));
    EXPECT_EQ(report(), (Lines{"amplifier 1 messages 2 chunks 0 refusals 0 flash not-run switches 2"}));

    const ProcessResult failed = run({"--bt"}, {"KOVRA_STANDIN_PROGRESS=50", "KOVRA_STANDIN_DOWNLOAD_RESULT=5"});
    EXPECT_EQ(failed.lines(), joined<std::string>({head, {"BT update progress 50", "BT firmware updated with result 5",
                                             "BT update firmware failed with code 5"}}));
}

TEST_F(ConsoleFlow, BluetoothDownloadThatNeverEnds)
{
    // The library stays loaded after the time-out; nothing it does later
    // reaches the listener the flow has destroyed.
    const ProcessResult r = run({"--bt"}, {"KOVRA_STANDIN_NEVER_ENDS=1", "KOVRA_STANDIN_PROGRESS=10,20"});
    const Lines lines = r.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "BT update firmware failed with code -4");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "BT firmware updated with result 0"), 0);
}

TEST_F(ConsoleFlow, BluetoothUpdateWithoutTheLibrary)
{
    // A copy of the program without its Contents folder has no library.
    const std::string lonely = temp.path() + "/alone/KovraTikoFirmwareUpdaterDemo";
    fs::create_directories(fs::path(lonely).parent_path());
    fs::copy_file(kDemo, lonely);
    const ProcessResult r = run({"--bt"}, {}, lonely);
    EXPECT_EQ(r.lines(), (Lines{"Kovra TIKO", "1 device(s) found", "SetFwStatus as BT update mode completed!",
                                "Start executing BT updater",
                                "Set fw path in " + temp.path() + "/alone/Contents/Resources/ble_firmware.fw",
                                "Got fw version: ", "BT update firmware failed with code -1"}));
}

// --python with fake programs under a root of the test's own.
class PythonFlow : public ConsoleFlow {
protected:
    std::string root() const { return temp.path() + "/root"; }
    std::string package() const { return kBundleResources + "/python-2.7.18.pkg"; }

    ProcessResult runPython() { return run({"--python"}, {"KOVRA_DEMO_COMMAND_ROOT=" + root()}); }

    void python(const std::string& versionLine, const std::string& at = "usr/local/bin/python")
    {
        // Python 2 prints its version on standard error.
        temp.writeScript("root/" + at, "echo '" + versionLine + "' >&2");
    }
    void workingLn() { temp.writeScript("root/bin/ln", "exec /bin/ln \"$@\""); }
    void idleLn() { temp.writeScript("root/bin/ln", "exit 1"); }
    void installer(const std::string& body) { temp.writeScript("root/bin/osascript", body); }

    Lines installLines() const
    {
        return {"Start installing Python...", "Will install Python package " + package()};
    }
};

TEST_F(PythonFlow, AlreadyAvailable)
{
    python("Python 2.7.18");
    const ProcessResult r = runPython();
    EXPECT_EQ(r.lines(), (Lines{"Start checking Python version...", "Python 2.7.18", "", "Python 2.7 is available"}));
}

TEST_F(PythonFlow, LinkedFromTheSystemPython)
{
    python("Python 2.7.16", "usr/bin/python");
    fs::create_directories(root() + "/usr/local/bin");
    workingLn();
    const ProcessResult r = runPython();
    EXPECT_EQ(r.lines(), (Lines{"Python symbolic link created", "Start checking Python version...", "Python 2.7.16", "",
                                "Python 2.7 is available"}));
    EXPECT_TRUE(fs::is_symlink(root() + "/usr/local/bin/python"));
}

TEST_F(PythonFlow, InstallsWhenMissingOrAnotherVersion)
{
    installer("echo \"installer: Package name is Python\"; echo \"installer: The install was successful.\"");
    idleLn();
    ProcessResult r = runPython();
    Lines lines = r.lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(Lines(lines.begin(), lines.end() - 1),
              joined<std::string>({{"Python symbolic link created", "Python 2.7 has not been installed yet!"}, installLines(),
                      {"installer: Package name is Python", "installer: The install was successful.", ""}}));
    EXPECT_EQ(lines.back().rfind("Install python succesfully after ", 0), 0u) << lines.back();
    EXPECT_EQ(lines.back().substr(lines.back().size() - 3), " ms");

    for (const std::string version : {"Python 3.11.2", "Python 2.6.9"}) {
        python(version);
        r = runPython();
        lines = r.lines();
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(Lines(lines.begin(), lines.begin() + 5),
                  joined<std::string>({{"Start checking Python version...", version, ""}, installLines()}));
    }
}

TEST_F(PythonFlow, InstallerThatNeverEndsIsKilled)
{
    idleLn();
    installer("echo started; exec sleep 600");
    const ProcessResult r = runPython();
    Lines expected = joined<std::string>({{"Python symbolic link created", "Python 2.7 has not been installed yet!"}, installLines()});
    for (int elapsed = 2000; elapsed <= 90000; elapsed += 2000)
        expected.push_back("Wait for installation completion after " + std::to_string(elapsed) + " ms");
    expected.insert(expected.end(), {"Timed out! Will kill the process", "started", "", "Install python failed!"});
    EXPECT_EQ(r.lines(), expected);
}

TEST_F(PythonFlow, InstallerWithoutSuccessAndCommandsThatCannotStart)
{
    idleLn();
    installer("echo 'installer: Error - the package is damaged'");
    EXPECT_EQ(runPython().lines(),
              joined<std::string>({{"Python symbolic link created", "Python 2.7 has not been installed yet!"}, installLines(),
                      {"installer: Error - the package is damaged", "", "Install python failed!"}}));

    fs::remove(root() + "/bin/osascript");
    EXPECT_EQ(runPython().lines(), joined<std::string>({{"Python symbolic link created", "Python 2.7 has not been installed yet!"},
                                           installLines(), {"Call installer script failed!"}}));

    fs::remove(root() + "/bin/ln");
    EXPECT_EQ(runPython().lines(), (Lines{"Create symbolic link failed!"}));

    // A local python that exists but cannot run.
    temp.writeFile("root/usr/local/bin/python", "not a program");
    EXPECT_EQ(runPython().lines(), (Lines{"Check python version failed!"}));
}
