#include "tests/support/Joined.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <thread>

#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

const std::string kDemo = KOVRA_DEMO_BINARY;
const std::string kImage = KOVRA_STANDARD_IMAGE;
const std::string kBundleResources = (fs::path(kDemo).parent_path() / "Contents" / "Resources").string();

Lines readLines(const std::string& file)
{
    Lines lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The demo binary with its waits run fast, its cache and report in a
// temporary folder of the test's own.
class ConsoleFlow : public ::testing::Test {
protected:
    TempFolder temp;

    std::vector<std::string> demoEnvironment(std::vector<std::string> env, int speedup = 10) const
    {
        env.insert(env.begin(),
                   {"KOVRA_DEMO_SPEEDUP=" + std::to_string(speedup), "KOVRA_DEMO_REPORT=" + temp.path() + "/report",
                    "XDG_CACHE_HOME=" + temp.path() + "/cache", "HOME=" + temp.path(), "KOVRA_STANDIN_DOWNLOAD_MS=50"});
        return env;
    }

    ProcessResult run(const std::vector<std::string>& args, std::vector<std::string> env = {},
                      const std::string& program = kDemo, int speedup = 10, const ProcessOptions& options = {},
                      int timeoutSeconds = 240)
    {
        ProcessResult r = runProcess(program, args, demoEnvironment(std::move(env), speedup), timeoutSeconds, options);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_EQ(r.err, "");
        return r;
    }

    Lines report() const { return readLines(temp.path() + "/report"); }
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
    const auto at = [&](Lines::const_iterator line) {
        return r.lineTimes[static_cast<std::size_t>(line - lines.begin())];
    };
    return std::chrono::duration_cast<std::chrono::milliseconds>(at(b) - at(a)).count();
}

} // namespace

TEST_F(ConsoleFlow, PathUpdatesTheAmplifier)
{
    const ProcessResult r = run({"--path", kImage});
    EXPECT_EQ(r.lines(), joined<std::string>(
                             {{"Kovra TIKO", "1 device(s) found"}, progressLines(743249), {"Firmware upgraded!"}}));
    EXPECT_EQ(report(), (Lines{"amplifier 1 messages 2909 chunks 2904 refusals 0 flash passed switches 0 1"}));
}

// A quit from the system (Ctrl-C, Ctrl-\, a closed terminal, a service stop,
// a user's kill) while the MCU is updated lets the update end: cut short, it
// would leave the amplifier in its bootloader. Sent in the switch's
// reconnect, in the middle of the flash and in the reconnect after it.
TEST_F(ConsoleFlow, PathFinishesTheUpdateThroughAQuitSignal)
{
    struct Case {
        int signal;
        std::string after;
    };
    for (const Case& c :
         {Case{SIGTERM, "1 device(s) found\n"}, Case{SIGINT, "Updating: 1%\n"}, Case{SIGHUP, "Updating: 50%\n"},
          Case{SIGQUIT, "Updating: 100%\n"}, Case{SIGUSR1, "1 device(s) found\n"}, Case{SIGUSR2, "Updating: 100%\n"}}) {
        SCOPED_TRACE(std::to_string(c.signal) + " after " + c.after);
        bool sent = false;
        ProcessOptions signalling;
        signalling.onOutput = [&](int pid, const std::string& out) {
            if (!sent && out.find(c.after) != std::string::npos)
                sent = kill(pid, c.signal) == 0;
        };
        const ProcessResult r = run({"--path", kImage}, {}, kDemo, 10, signalling);
        EXPECT_TRUE(sent);
        EXPECT_EQ(r.lines(), joined<std::string>(
                                 {{"Kovra TIKO", "1 device(s) found"}, progressLines(743249), {"Firmware upgraded!"}}));
        EXPECT_EQ(report(), (Lines{"amplifier 1 messages 2909 chunks 2904 refusals 0 flash passed switches 0 1"}));
    }
}

// The terminal that started the flow is closed in the middle of the flash:
// neither its hang-up nor the writes that fail after it cut the update short.
TEST_F(ConsoleFlow, PathFinishesTheUpdateWhenItsTerminalCloses)
{
    // Made before the fork: the child only runs the program.
    std::vector<std::string> environment = environmentWith(demoEnvironment({}));
    const std::vector<char*> envp = pointersTo(environment);
    std::vector<std::string> words{kDemo, "--path", kImage};
    const std::vector<char*> argv = pointersTo(words);

    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    // The terminal's reader, until the flash is under way.
    std::string shown;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (shown.find("Updating: 20%") == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd ready{terminal, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        char bytes[4096];
        const ssize_t n = read(terminal, bytes, sizeof bytes);
        if (n <= 0)
            break;
        shown.append(bytes, static_cast<std::size_t>(n));
    }
    EXPECT_NE(shown.find("Updating: 20%"), std::string::npos);
    close(terminal);

    int status = 0;
    for (int i = 0; i < 600 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the flow did not end";
    }
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), 0);
    EXPECT_EQ(report(), (Lines{"amplifier 1 messages 2909 chunks 2904 refusals 0 flash passed switches 0 1"}));
}

// The program stopped (Ctrl-Z) for longer than a reply wait, nine times in
// the middle of the chunks: each reply is still taken when it goes on.
TEST_F(ConsoleFlow, PathSurvivesStopsLongerThanTheReplyWait)
{
    std::size_t next = 10;
    int stops = 0;
    ProcessOptions stopping;
    stopping.onOutput = [&](int pid, const std::string& out) {
        if (next < 100 && out.find("Updating: " + std::to_string(next) + "%\n") != std::string::npos) {
            next += 10;
            // 800 ms: longer than the 600 ms the reply wait lasts at this speed.
            if (kill(pid, SIGSTOP) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(800));
                stops += kill(pid, SIGCONT) == 0 ? 1 : 0;
            }
        }
    };
    const ProcessResult r = run({"--path", kImage}, {}, kDemo, 5, stopping);
    EXPECT_EQ(stops, 9);
    EXPECT_EQ(r.lines(), joined<std::string>(
                             {{"Kovra TIKO", "1 device(s) found"}, progressLines(743249), {"Firmware upgraded!"}}));
    EXPECT_EQ(report(), (Lines{"amplifier 1 messages 2909 chunks 2904 refusals 0 flash passed switches 0 1"}));
}

// Amplifiers that break the stop-and-wait rhythm: one that answers each
// "WriteFlash" twice (the flash still ends as it should), one that stops
// answering at chunk 50 but keeps sending "RetBattStatus" faster than the
// reply wait (the step still ends, 12000 ms after the chunk). A refusal
// among doubled answers is read in the session's own test, where both copies
// are queued before the next chunk goes out: here the second copy may still
// be on its way from the MIDI thread when the queue is emptied.
TEST_F(ConsoleFlow, PathAgainstAmplifiersThatAnswerTwiceOrNeverStopTalking)
{
    struct Case {
        std::vector<std::string> knobs;
        std::size_t chunks; // progress lines before the last line
        std::string last;
        std::string report;
        long long lastAfterMs; // the last line after the one before it at least (0: not timed)
    };
    const Lines found{"Kovra TIKO", "1 device(s) found"};
    const Lines progress = progressLines(743249);
    for (const Case& c : {
             Case{{"KOVRA_DEMO_ANSWER_TWICE=1"},
                  2904,
                  "Firmware upgraded!",
                  "amplifier 1 messages 2909 chunks 2904 refusals 0 flash passed switches 0 1",
                  0},
             Case{{"KOVRA_DEMO_SILENT_FROM_CHUNK=50", "KOVRA_DEMO_BATT_STATUS_MS=1000"},
                  50,
                  "Firmware upgrade failed!",
                  "amplifier 1 messages 55 chunks 50 refusals 0 flash not-run switches 0",
                  1200},
         }) {
        SCOPED_TRACE(c.knobs.back());
        const ProcessResult r = run({"--path", kImage}, c.knobs, kDemo, 10, {}, 30);
        const Lines lines = r.lines();
        EXPECT_EQ(lines,
                  joined<std::string>(
                      {found, Lines(progress.begin(), progress.begin() + static_cast<long>(c.chunks)), {c.last}}));
        EXPECT_EQ(report(), (Lines{c.report}));
        if (c.lastAfterMs > 0 && lines.size() >= 2) {
            const auto n = r.lineTimes.size();
            const long long ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(r.lineTimes[n - 1] - r.lineTimes[n - 2]).count();
            // 12000 ms at this speed; what the printer adds is far less than the margin.
            EXPECT_GE(ms, c.lastAfterMs - 100);
            EXPECT_LT(ms, c.lastAfterMs + 1500);
        }
    }
}

TEST_F(ConsoleFlow, PathResendsARefusedChunkAndUsesTheFirstOfTwoAmplifiers)
{
    const ProcessResult r = run({"--path", kImage}, {"KOVRA_DEMO_AMPLIFIERS=2", "KOVRA_DEMO_REFUSE_CHUNK=7"});
    EXPECT_EQ(r.lines(), joined<std::string>({{"Kovra TIKO", "Kovra TIKO 2", "2 device(s) found"},
                                              progressLines(743249),
                                              {"Firmware upgraded!"}}));
    const Lines amplifiers = report();
    ASSERT_EQ(amplifiers.size(), 2u);
    EXPECT_EQ(amplifiers[0], "amplifier 1 messages 2910 chunks 2904 refusals 1 flash passed switches 0 1");
    EXPECT_EQ(amplifiers[1], "amplifier 2 messages 1 chunks 0 refusals 0 flash not-run switches");
}

// Two amplifiers; the first, restarting into its bootloader, comes back
// behind the other: the reconnect probes the port under its name and writes
// the first; the other gets nothing but the first probe's request, as when
// they come back in their order. Out of the bootloader it comes back last
// again, where the lists already say it is.
TEST_F(ConsoleFlow, PathReconnectsToTheSameAmplifierWhenThePortsComeBackInTheOtherOrder)
{
    const ProcessResult r = run({"--path", kImage}, {"KOVRA_DEMO_AMPLIFIERS=2", "KOVRA_DEMO_RETURN_LAST=1"});
    EXPECT_EQ(r.lines(), joined<std::string>({{"Kovra TIKO", "Kovra TIKO 2", "2 device(s) found"},
                                              progressLines(743249),
                                              {"Firmware upgraded!"}}));
    EXPECT_EQ(report(), (Lines{"amplifier 1 messages 2910 chunks 2904 refusals 0 flash passed switches 0 1",
                               "amplifier 2 messages 1 chunks 0 refusals 0 flash not-run switches"}));
}

TEST_F(ConsoleFlow, PathWithAMissingImageFailsAfterTheSwitch)
{
    // Also what is no image although it opens: a FIFO nobody writes (its open
    // must not block), a device that reads without end, a /proc file that
    // says 0 bytes and gives more.
    const std::string fifo = temp.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--path", temp.path() + "/absent.bin"}, std::vector<std::string>{"--path"},
          std::vector<std::string>{"--path", fifo}, std::vector<std::string>{"--path", "/dev/zero"},
          std::vector<std::string>{"--path", "/proc/self/status"}}) {
        const std::string image = args.size() > 1 ? args[1] : "";
        const ProcessResult r = run(args);
        EXPECT_EQ(r.lines(), (Lines{"Kovra TIKO", "1 device(s) found", "Firmware upgrade failed!"})) << image;
        // Probe, GetFwStatus, SetFwStatus 00, GetFwInfo: nothing written.
        EXPECT_EQ(report(), (Lines{"amplifier 1 messages 4 chunks 0 refusals 0 flash not-run switches 0"})) << image;
    }
}

// Images the session writes in no chunk, in two chunks the second of which
// holds one byte, and given by a path relative to the working directory.
TEST_F(ConsoleFlow, PathWithSmallImagesAndARelativePath)
{
    struct Case {
        const char* what;
        std::size_t size;
        bool relative;
        Lines progress;
        std::string report;
    };
    const Case cases[] = {
        {"0 bytes", 0, false, {}, "amplifier 1 messages 5 chunks 0 refusals 0 flash not-run switches 0 1"},
        {"257 bytes",
         257,
         false,
         {"Updating: 99%", "Updating: 100%"},
         "amplifier 1 messages 7 chunks 2 refusals 0 flash no-info-block switches 0 1"},
        {"relative path",
         300,
         true,
         {"Updating: 85%", "Updating: 100%"},
         "amplifier 1 messages 7 chunks 2 refusals 0 flash no-info-block switches 0 1"},
    };
    const fs::path testFolder = fs::current_path();
    for (const Case& c : cases) {
        const std::string name = std::string("images/") + c.what + ".bin";
        const fs::path image = temp.writeFile(name, std::string(c.size, '\xA5'));
        // The program starts in the temporary folder, and the path is taken from there.
        fs::current_path(temp.path());
        const ProcessResult r = run({"--path", c.relative ? name : image.string()});
        fs::current_path(testFolder);
        EXPECT_EQ(r.lines(),
                  joined<std::string>({{"Kovra TIKO", "1 device(s) found"}, c.progress, {"Firmware upgraded!"}}))
            << c.what;
        EXPECT_EQ(report(), (Lines{c.report})) << c.what;
    }
}

// Whatever becomes of standard output, the flash runs to its end and the
// program exits 0.
TEST_F(ConsoleFlow, PathFlashesWhateverBecomesOfStandardOutput)
{
    const Lines all =
        joined<std::string>({{"Kovra TIKO", "1 device(s) found"}, progressLines(743249), {"Firmware upgraded!"}});
    const Lines flashed{"amplifier 1 messages 2909 chunks 2904 refusals 0 flash passed switches 0 1"};

    // As `| head -3`: the lines after the reader went are dropped.
    ProcessOptions closing;
    closing.closeOutputAfterLines = 3;
    EXPECT_EQ(run({"--path", kImage}, {}, kDemo, 10, closing).lines(), Lines(all.begin(), all.begin() + 3));
    EXPECT_EQ(report(), flashed);

    // A reader that stalls for the whole flash and 6 s beyond: the lines wait
    // in the program, never in the flash (the report is written as the flash
    // has ended and the program is about to exit); then the program waits
    // for the reader, and every line arrives, in order.
    const auto stalledPastTheFlash = [this, flashed](std::chrono::milliseconds beyond) {
        fs::remove(temp.path() + "/report");
        return [this, flashed, beyond,
                flashedAt = std::optional<std::chrono::steady_clock::time_point>()](const ProcessResult&) mutable {
            const auto now = std::chrono::steady_clock::now();
            if (!flashedAt && report() == flashed)
                flashedAt = now;
            return flashedAt && now - *flashedAt >= beyond;
        };
    };
    ProcessOptions stalling;
    stalling.stallOutputUntil = stalledPastTheFlash(std::chrono::seconds(6));
    EXPECT_EQ(run({"--path", kImage}, {}, kDemo, 10, stalling).lines(), all);
    EXPECT_EQ(report(), flashed);

    // A stalled reader that goes away then: what it did not take is dropped,
    // and the program ends.
    ProcessOptions leaving;
    leaving.stallOutputUntil = stalledPastTheFlash(std::chrono::milliseconds(500));
    leaving.closeOutputAfterLines = 0;
    EXPECT_EQ(run({"--path", kImage}, {}, kDemo, 10, leaving).lines(), Lines());
    EXPECT_EQ(report(), flashed);

    // Started with the standard descriptors closed, the program holds them
    // open on /dev/null, so nothing it opens later (the framework's own
    // socket, a file) takes their place. Before that, while the loader maps
    // the libraries (or a sanitizer sets up), a descriptor may be one of
    // their files for a moment.
    ProcessOptions closed;
    closed.closedDescriptors = {0, 1, 2};
    ProcessResult r = run({"--path", kImage}, {}, kDemo, 10, closed);
    for (int fd : {0, 1, 2}) {
        const std::vector<std::string>& seen = r.descriptorTargets[fd];
        const auto held = std::find(seen.begin(), seen.end(), "/dev/null");
        ASSERT_NE(held, seen.end()) << fd;
        EXPECT_EQ(std::vector<std::string>(held, seen.end()), (std::vector<std::string>{"/dev/null"})) << fd;
    }
    EXPECT_EQ(report(), flashed);
}

// Once the flash has ended nothing is at risk: a quit signal while the exit
// waits for a stalled reader ends the program.
TEST_F(ConsoleFlow, QuitSignalEndsTheWaitForAStalledReaderAfterTheFlash)
{
    const Lines flashed{"amplifier 1 messages 2909 chunks 2904 refusals 0 flash passed switches 0 1"};
    std::optional<std::chrono::steady_clock::time_point> flashedAt;
    bool signalled = false;
    bool ended = false;
    ProcessOptions stalling;
    stalling.stallOutputUntil = [&](const ProcessResult& soFar) {
        const auto now = std::chrono::steady_clock::now();
        if (!flashedAt && report() == flashed)
            flashedAt = now;
        if (!flashedAt || now - *flashedAt < std::chrono::seconds(1))
            return false;
        signalled = kill(soFar.pid, SIGTERM) == 0;
        ended = processEnds(soFar.pid, 10000);
        return true;
    };
    const ProcessResult r = runProcess(kDemo, {"--path", kImage}, demoEnvironment({}), 240, stalling);
    EXPECT_FALSE(r.timedOut);
    EXPECT_TRUE(signalled);
    EXPECT_TRUE(ended) << "the exit still waits for the reader";
    EXPECT_EQ(r.exitStatus, 128 + SIGTERM);
    EXPECT_EQ(report(), flashed);
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
    for (const Case& c :
         {Case{"",
               {"Kovra TIKO", "1 device(s) found", "BT Module Factory Reset completed!",
                "MCU Factory Reset completed!"}},
          Case{"bt",
               {"Kovra TIKO", "1 device(s) found", "BT Module Factory Reset failed!", "MCU Factory Reset completed!"}},
          Case{"mcu",
               {"Kovra TIKO", "1 device(s) found", "BT Module Factory Reset completed!",
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

// The "--bt" lines up to the firmware path.
static Lines BluetoothHead()
{
    return {"Kovra TIKO", "1 device(s) found", "SetFwStatus as BT update mode completed!", "Start executing BT updater",
            "Set fw path in " + kBundleResources + "/ble_firmware.fw"};
}

TEST_F(ConsoleFlow, BluetoothUpdate)
{
    const Lines head = joined<std::string>({BluetoothHead(), {"Got fw version: 0107"}});
    const ProcessResult r = run({"--bt"}, {"KOVRA_STANDIN_PROGRESS=0,40,79,80,100,130,-5"});
    EXPECT_EQ(r.lines(),
              joined<std::string>({head,
                                   {"BT update progress 0", "BT update progress 40", "BT update progress 79",
                                    "BT update progress 80", "BT update progress 100", "BT update progress 130",
                                    "BT update progress -5", "BT firmware updated with result 0",
                                    "BT update firmware completed!", "Get result code again: 0"}}));
    EXPECT_EQ(report(), (Lines{"amplifier 1 messages 2 chunks 0 refusals 0 flash not-run switches 2"}));

    const ProcessResult failed = run({"--bt"}, {"KOVRA_STANDIN_PROGRESS=50", "KOVRA_STANDIN_DOWNLOAD_RESULT=5"});
    EXPECT_EQ(failed.lines(), joined<std::string>({head,
                                                   {"BT update progress 50", "BT firmware updated with result 5",
                                                    "BT update firmware failed with code 5"}}));
}

// A library that refuses the firmware file, finds no module, or never
// reports the download's completion.
TEST_F(ConsoleFlow, BluetoothUpdateTheLibraryCannotComplete)
{
    struct Case {
        const char* knob;
        Lines tail;
    };
    const Case cases[] = {
        // Download is then called without an accepted file and says so.
        {"KOVRA_STANDIN_REFUSE_FILE=7", {"Got fw version: -65535", "BT update firmware failed with code 2"}},
        {"KOVRA_STANDIN_NO_MODULE=1", {"Got fw version: 0107", "BT update firmware failed with code -2"}},
        // No completion event: the listener's result keeps its first value, 0.
        {"KOVRA_STANDIN_NO_COMPLETE=1",
         {"Got fw version: 0107", "BT update progress 30", "BT update progress 60", "BT update firmware completed!",
          "Get result code again: 0"}},
    };
    for (const Case& c : cases) {
        const ProcessResult r = run({"--bt"}, {c.knob, "KOVRA_STANDIN_PROGRESS=30,60"});
        EXPECT_EQ(r.lines(), joined<std::string>({BluetoothHead(), c.tail})) << c.knob;
        EXPECT_EQ(report(), (Lines{"amplifier 1 messages 2 chunks 0 refusals 0 flash not-run switches 2"})) << c.knob;
    }
}

TEST_F(ConsoleFlow, BluetoothUpdateAtTwentyTimesTheSpeed)
{
    // The library's own 3000 ms download runs as fast as the program's
    // 30000 ms wait for it.
    const ProcessResult r = run({"--bt"}, {"KOVRA_STANDIN_DOWNLOAD_MS"}, kDemo, 20);
    const Lines lines = r.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
              (Lines{"BT update firmware completed!", "Get result code again: 0"}));
}

TEST_F(ConsoleFlow, DemoRoadsOfTheDeviceFlows)
{
    struct Case {
        std::vector<std::string> args;
        std::string knob;
        Lines lines; // the first lines
        std::string last;
        std::string report;
    };
    const Lines found{"Kovra TIKO", "1 device(s) found"};
    // Pulled out once 100 chunks are written: the 100th is never acknowledged.
    const Lines progress = progressLines(743249);
    const Lines untilUnplugged = joined<std::string>({found, Lines(progress.begin(), progress.begin() + 99)});
    for (const Case& c : {
             Case{{"--bt"},
                  "KOVRA_DEMO_REFUSE_BT_MODE=1",
                  joined<std::string>({found, {"SetFwStatus as BT update mode failed!", "Start executing BT updater"}}),
                  "Get result code again: 0",
                  "amplifier 1 messages 1 chunks 0 refusals 0 flash not-run switches"},
             Case{{"--path", kImage},
                  "KOVRA_DEMO_UNPLUG_AFTER_CHUNKS=100",
                  untilUnplugged,
                  "Firmware upgrade failed!",
                  "amplifier 1 messages 104 chunks 100 refusals 0 flash not-run switches 0"},
             // The probe opens the input and the output, then the found
             // device once more; the connection cannot.
             Case{{"--reset"},
                  "KOVRA_DEMO_OPENS=4",
                  found,
                  "Cannot connect to device!",
                  "amplifier 1 messages 1 chunks 0 refusals 0 flash not-run switches"},
         }) {
        SCOPED_TRACE(c.knob);
        const Lines lines = run(c.args, {c.knob}).lines();
        ASSERT_GT(lines.size(), c.lines.size());
        EXPECT_EQ(Lines(lines.begin(), lines.begin() + static_cast<long>(c.lines.size())), c.lines);
        EXPECT_EQ(lines.back(), c.last);
        EXPECT_EQ(report(), (Lines{c.report}));
    }
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

// Instances at once on one cache folder each load a copy of their own: none
// deletes another's, and the last one leaves no folder behind.
TEST_F(ConsoleFlow, BluetoothUpdatesAtOnceEachKeepTheirLibrary)
{
    constexpr int kInstances = 24;
    std::vector<std::future<ProcessResult>> runs;
    for (int i = 0; i < kInstances; ++i)
        runs.push_back(std::async(std::launch::async, [this] { return run({"--bt"}); }));
    int completed = 0;
    for (auto& r : runs)
        completed += r.get().out.find("Get result code again: 0\n") != std::string::npos ? 1 : 0;
    EXPECT_EQ(completed, kInstances);
    EXPECT_FALSE(fs::exists(temp.path() + "/cache/KovraTikoFirmwareUpdaterDemo"));
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

TEST_F(ConsoleFlow, PythonOfTheDemoTouchesNoProgramPathOfTheMachine)
{
    // Without a command root of its own the demo makes a private one under
    // TMPDIR and removes it at exit. /usr/local/bin, where the product links
    // Python, is an empty folder of this run's own.
    const std::string tmp = temp.path() + "/tmp";
    fs::create_directories(tmp);
    const std::string listing = temp.path() + "/listing";
    const ProcessResult r = runProcess(
        "/usr/bin/unshare",
        {"-m", "/bin/sh", "-c",
         "mount -t tmpfs tmpfs /usr/local/bin 2>/dev/null || exit 77\n\"$0\" --python\nls -A /usr/local/bin > \"$1\"",
         kDemo, listing},
        {"KOVRA_DEMO_SPEEDUP=10", "KOVRA_DEMO_COMMAND_ROOT", "TMPDIR=" + tmp,
         "XDG_CACHE_HOME=" + temp.path() + "/cache", "HOME=" + temp.path()},
        240);
    if (r.exitStatus == 77 || (r.exitStatus != 0 && r.err.rfind("unshare:", 0) == 0))
        GTEST_SKIP() << "no private /usr/local/bin can be mounted here: " << r.err;
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_FALSE(r.timedOut);

    std::ifstream in(listing);
    EXPECT_TRUE(in.good()) << "the listing was not made";
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "");
    EXPECT_TRUE(fs::is_empty(tmp));

    // The default fake programs: no Python at first, an installer that puts it in place.
    const Lines lines = r.lines();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(
        Lines(lines.begin(), lines.begin() + 4),
        (Lines{"Python symbolic link created", "Python 2.7 has not been installed yet!", "Start installing Python...",
               "Will install Python package " + kBundleResources + "/python-2.7.18.pkg"}));
    EXPECT_EQ(Lines(lines.end() - 4, lines.end() - 1),
              (Lines{"installer: Package name is Python", "installer: The install was successful.", ""}));
    EXPECT_EQ(lines.back().rfind("Install python succesfully after ", 0), 0u) << lines.back();
}

// --python with fake programs under a root of the test's own.
class PythonFlow : public ConsoleFlow {
protected:
    std::string root() const { return temp.path() + "/root"; }
    std::string package() const { return kBundleResources + "/python-2.7.18.pkg"; }

    ProcessResult runPython(int speedup = 10)
    {
        return run({"--python"}, {"KOVRA_DEMO_COMMAND_ROOT=" + root()}, kDemo, speedup);
    }

    void python(const std::string& versionLine, const std::string& at = "usr/local/bin/python")
    {
        // Python 2 prints its version on standard error.
        temp.writeScript("root/" + at, "echo '" + versionLine + "' >&2");
    }
    void workingLn() { temp.writeScript("root/bin/ln", "exec /bin/ln \"$@\""); }
    void idleLn() { temp.writeScript("root/bin/ln", "exit 1"); }
    void installer(const std::string& body) { temp.writeScript("root/bin/osascript", body); }

    Lines installLines() const { return {"Start installing Python...", "Will install Python package " + package()}; }
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
    EXPECT_EQ(
        Lines(lines.begin(), lines.end() - 1),
        joined<std::string>({{"Python symbolic link created", "Python 2.7 has not been installed yet!"},
                             installLines(),
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

// The link, version and installer commands, each a fake program that writes
// the arguments it was started with, one a line, its own path first.
TEST_F(PythonFlow, CommandsGetTheirArgumentVectors)
{
    const auto recording = [this](const std::string& name) {
        return "printf '%s\\n' \"$0\" \"$@\" > '" + root() + "/" + name + ".args'\n";
    };
    temp.writeScript("root/bin/ln", recording("ln") + "exec /bin/ln \"$@\"");
    fs::create_directories(root() + "/usr/local/bin");
    // Started through the link, so it records the linked path.
    temp.writeScript("root/usr/bin/python", recording("python") + "echo 'Python 2.6.9' >&2");
    installer(recording("osascript") + "echo 'installer: The install was successful.'");

    // At the product's own speed, so that the fake installer has ended by the
    // first look 2000 ms after its start even on a busy machine.
    const Lines lines = runPython(1).lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(
        Lines(lines.begin(), lines.end() - 1),
        joined<std::string>({{"Python symbolic link created", "Start checking Python version...", "Python 2.6.9", ""},
                             installLines(),
                             {"installer: The install was successful.", ""}}));

    const auto arguments = [this](const std::string& name) { return readLines(root() + "/" + name + ".args"); };
    EXPECT_EQ(arguments("ln"),
              (Lines{root() + "/bin/ln", "-s", root() + "/usr/bin/python", root() + "/usr/local/bin/python"}));
    EXPECT_EQ(arguments("python"), (Lines{root() + "/usr/local/bin/python", "--version"}));
    EXPECT_EQ(arguments("osascript"), (Lines{root() + "/bin/osascript", "-e",
                                             "do shell script \"sudo installer -pkg '" + package()
                                                 + "' -target /\" with administrator privileges"}));
}

// At the product's own speed: a link command that does not end holds the
// flow for 3000 ms, which begins after the line that says it started.
TEST_F(PythonFlow, LinkThatDoesNotEndIsWaitedForThreeSeconds)
{
    constexpr long long kReadSlackMs = 100;
    constexpr long long kLateMs = 500;
    temp.writeScript("root/bin/ln", "exec sleep 6");
    const ProcessResult r = runPython(1);
    EXPECT_EQ(r.lines(),
              joined<std::string>({{"Python symbolic link created", "Python 2.7 has not been installed yet!"},
                                   installLines(),
                                   {"Call installer script failed!"}}));
    const long long waited = msBetween(r, "Python symbolic link created", "Python 2.7 has not been installed yet!");
    EXPECT_GE(waited, 3000 - kReadSlackMs);
    EXPECT_LT(waited, 3000 + kLateMs);
}

// Killed with what it started (osascript starts sudo and the installer).
TEST_F(PythonFlow, InstallerThatNeverEndsIsKilled)
{
    idleLn();
    installer("sleep 600 & echo $! > '" + root() + "/child.pid'; echo started; exec sleep 600");
    const ProcessResult r = runPython();
    Lines expected = joined<std::string>(
        {{"Python symbolic link created", "Python 2.7 has not been installed yet!"}, installLines()});
    for (int elapsed = 2000; elapsed <= 90000; elapsed += 2000)
        expected.push_back("Wait for installation completion after " + std::to_string(elapsed) + " ms");
    expected.insert(expected.end(), {"Timed out! Will kill the process", "started", "", "Install python failed!"});
    EXPECT_EQ(r.lines(), expected);
    const Lines child = readLines(root() + "/child.pid");
    ASSERT_EQ(child.size(), 1u);
    EXPECT_TRUE(processEnds(std::stoi(child[0])));
}

// A version command that never answers fails the check once the program's
// clock has counted 10 s (1 s here), and is killed with what it started.
TEST_F(PythonFlow, VersionThatNeverAnswersFailsTheCheck)
{
    constexpr long long kReadSlackMs = 100;
    constexpr long long kLateMs = 500;
    temp.writeScript("root/usr/local/bin/python",
                     "sleep 600 & echo $! > '" + root() + "/child.pid'; echo 'Python 2.7.18' >&2; exec sleep 600");
    const ProcessResult r = runPython();
    EXPECT_EQ(r.lines(), (Lines{"Start checking Python version...", "Check python version failed!"}));
    const long long waited = msBetween(r, "Start checking Python version...", "Check python version failed!");
    EXPECT_GE(waited, 1000 - kReadSlackMs);
    EXPECT_LT(waited, 1000 + kLateMs);
    const Lines child = readLines(root() + "/child.pid");
    ASSERT_EQ(child.size(), 1u);
    EXPECT_TRUE(processEnds(std::stoi(child[0])));
}

// Executable files without a "#!" line run with /bin/sh, as execvp runs them.
TEST_F(PythonFlow, ProgramsWithoutInterpreterLineRun)
{
    const std::string local = temp.writeFile("root/usr/local/bin/python", "echo 'Python 2.7.18' >&2\n");
    fs::permissions(local, fs::perms::owner_all);
    EXPECT_EQ(runPython().lines(),
              (Lines{"Start checking Python version...", "Python 2.7.18", "", "Python 2.7 is available"}));

    python("Python 3.11.2");
    idleLn();
    const std::string osascript =
        temp.writeFile("root/bin/osascript", "echo 'installer: The install was successful.'\n");
    fs::permissions(osascript, fs::perms::owner_all);
    const Lines lines = runPython().lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("Install python succesfully after ", 0), 0u) << lines.back();
}

TEST_F(PythonFlow, InstallerWithoutSuccessAndCommandsThatCannotStart)
{
    idleLn();
    installer("echo 'installer: Error - the package is damaged'");
    EXPECT_EQ(runPython().lines(),
              joined<std::string>({{"Python symbolic link created", "Python 2.7 has not been installed yet!"},
                                   installLines(),
                                   {"installer: Error - the package is damaged", "", "Install python failed!"}}));

    fs::remove(root() + "/bin/osascript");
    EXPECT_EQ(runPython().lines(),
              joined<std::string>({{"Python symbolic link created", "Python 2.7 has not been installed yet!"},
                                   installLines(),
                                   {"Call installer script failed!"}}));

    fs::remove(root() + "/bin/ln");
    EXPECT_EQ(runPython().lines(), (Lines{"Create symbolic link failed!"}));

    // A local python that exists but cannot run, also one whose interpreter is missing.
    temp.writeFile("root/usr/local/bin/python", "not a program");
    EXPECT_EQ(runPython().lines(), (Lines{"Check python version failed!"}));
    temp.writeScript("root/usr/local/bin/python", "");
    temp.writeFile("root/usr/local/bin/python", "#!/kovra/no/such/interpreter\n");
    EXPECT_EQ(runPython().lines(), (Lines{"Check python version failed!"}));
}
