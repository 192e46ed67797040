#include "tests/support/BareXServer.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kDemo = KOVRA_DEMO_BINARY;
const std::string kXdotool = "/usr/bin/xdotool";

// An X server of this test's own, so that no other test's window lies over
// the one it clicks. Tests running side by side may pick the same display
// number: the loser's server ends at once and the next number is tried.
class XServer {
public:
    XServer()
    {
        const int first = 200 + static_cast<int>(getpid() % 500);
        for (int n = first; n < first + 20 && display.empty(); ++n)
            tryDisplay(n);
        // For the close button's request, which the window then understands.
        if (!display.empty())
            createWindowManagerAtoms(display);
    }
    ~XServer() { stop(); }

    std::string display; // empty when no server started

private:
    void tryDisplay(int n)
    {
        const std::string name = ":" + std::to_string(n);
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (access(socket.c_str(), F_OK) == 0)
            return;
        // Started without a fork of this threaded process, its output dropped.
        std::vector<std::string> words{"Xvfb", name, "-screen", "0", "800x800x24", "-nolisten", "tcp", "-noreset"};
        const std::vector<char*> argv = pointersTo(words);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int spawned = posix_spawn(&pid, "/usr/bin/Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            pid = -1;
            return;
        }
        for (int i = 0; i < 200; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return;
            }
            if (access(socket.c_str(), F_OK) == 0) {
                // The socket may be a rival's that took the number first.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (waitpid(pid, nullptr, WNOHANG) == pid)
                    pid = -1;
                else
                    display = name;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        stop();
    }

    void stop()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }

    pid_t pid = -1;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Counts the pixels of the colour (r, g, b) in an X window dump (xwd), whose
// pixels are four bytes, blue first. The dump's header is searched too, but
// holds no such triple of bytes.
int pixelsOf(const std::string& dump, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    int count = 0;
    for (std::size_t at = 0; at + 3 <= dump.size(); ++at)
        if (static_cast<std::uint8_t>(dump[at]) == b && static_cast<std::uint8_t>(dump[at + 1]) == g
            && static_cast<std::uint8_t>(dump[at + 2]) == r)
            ++count;
    return count;
}

// A road through the update: the amplifier's settings, the lines to be seen
// in this order (among others) once "Update Firmware" took, and the
// amplifier's report at the end.
struct Road {
    const char* name;
    std::vector<std::string> environment;
    std::vector<std::string> lines;
    std::string report;
    // What the two probes before the connected page print.
    std::string found = "Kovra TIKO\nKovra TIKO\n";
};

const Road kMcuRoad{"MCU",
                    {"KOVRA_DEMO_MCU_VERSION=1.10.0.0"},
                    {"Updating: 0%", "Updating: 100%"},
                    "amplifier 1 messages 2913 chunks 2904 refusals 0 flash passed switches 0 1\n"};
// Both firmwares older: the amplifier leaves USB for its Bluetooth module's
// update and is found again before the MCU's.
const Road kBothRoad{"both",
                     {"KOVRA_DEMO_MCU_VERSION=1.10.0.0", "KOVRA_DEMO_BT_VERSION=0105", "KOVRA_DEMO_PYTHON=linked"},
                     {"Found device and connected!", "Updating: 0%", "Updating: 100%"},
                     "amplifier 1 messages 2916 chunks 2904 refusals 0 flash passed switches 2 0 1\n"};

// Both, with a second amplifier plugged in: the first leaves for its module's
// update long enough for the polling to find the second alone (and leave it
// alone: the tick's probe and the callback's, a probe request each), and
// comes back behind it, found again by its id (two more); the second gets
// nothing else.
const Road kTwoAmplifiersRoad{"both, two amplifiers",
                              {"KOVRA_DEMO_MCU_VERSION=1.10.0.0", "KOVRA_DEMO_BT_VERSION=0105",
                               "KOVRA_DEMO_PYTHON=linked", "KOVRA_DEMO_AMPLIFIERS=2", "KOVRA_DEMO_RETURN_LAST=1",
                               "KOVRA_DEMO_BT_UPDATE_MS=30000"},
                              {"Found device and connected!", "Updating: 0%", "Updating: 100%"},
                              "amplifier 1 messages 2916 chunks 2904 refusals 0 flash passed switches 2 0 1\n"
                              "amplifier 2 messages 6 chunks 0 refusals 0 flash not-run switches\n",
                              "Kovra TIKO 2\nKovra TIKO\nKovra TIKO 2\n"};

// The module older, but the cache folder cannot hold the library, so the
// firmware file's version is unknown: only the MCU is updated.
const Road kUnknownLatestBluetoothRoad{"MCU beside an unknown Bluetooth version",
                                       {"KOVRA_DEMO_MCU_VERSION=1.10.0.0", "KOVRA_DEMO_BT_VERSION=0105",
                                        "KOVRA_DEMO_PYTHON=linked", "XDG_CACHE_HOME=/dev/null"},
                                       {"Updating: 0%", "Updating: 100%"},
                                       "amplifier 1 messages 2913 chunks 2904 refusals 0 flash passed switches 0 1\n"};

// The demo's window clicked the way a person would; each run in a folder of
// its own.
class DemoWindow : public ::testing::Test {
protected:
    void TearDown() override { stop(); }

    void launch(const Road& road)
    {
        ASSERT_FALSE(x.display.empty()) << "Xvfb did not start";
        stop();
        temp = std::make_unique<TempFolder>();
        out = temp->path() + "/out";
        pidFile = temp->path() + "/pid";
        from = 0;
        // A stray click on a link must not reach a real browser.
        temp->writeScript("bin/xdg-open", "exit 0\n");
        std::vector<std::string> environment{"DISPLAY=" + x.display,
                                             "KOVRA_DEMO_SPEEDUP=10",
                                             "KOVRA_DEMO_REPORT=" + temp->path() + "/report",
                                             "XDG_CACHE_HOME=" + temp->path() + "/cache",
                                             "HOME=" + temp->path(),
                                             "TMPDIR=" + temp->path(),
                                             "PATH=" + temp->path() + "/bin",
                                             "WAYLAND_DISPLAY"};
        environment.insert(environment.end(), road.environment.begin(), road.environment.end());
        demo = std::async(std::launch::async, [this, environment] {
            return runProcess("/bin/sh", {"-c", "echo $$ > \"$1\"; exec \"$0\" > \"$2\"", kDemo, pidFile, out},
                              environment, 180);
        });
    }

    // A run that a failed check left behind is killed.
    void stop()
    {
        if (demo.valid()) {
            if (demo.wait_for(std::chrono::seconds(0)) != std::future_status::ready && pid() > 0)
                kill(pid(), SIGKILL);
            demo.wait();
        }
    }

    pid_t pid() const { return static_cast<pid_t>(std::stol("0" + readFile(pidFile))); }

    // Whether `text` shows in the output after what was waited for before.
    // Whether the demo has ended is asked before the output is read: what it
    // wrote just before its end is read once more before giving up.
    bool waitForOutput(const std::string& text, int seconds)
    {
        for (int i = 0; i <= seconds * 20; ++i) {
            const bool ended = demo.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
            const std::size_t at = readFile(out).find(text, from);
            if (at != std::string::npos) {
                from = at + text.size();
                return true;
            }
            if (ended)
                break;
            demo.wait_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    ProcessResult xdotool(const std::vector<std::string>& args)
    {
        return runProcess(kXdotool, args, {"DISPLAY=" + x.display}, 30);
    }

    void clickAt(int px, int py)
    {
        EXPECT_EQ(
            xdotool({"mousemove", "--window", window, std::to_string(px), std::to_string(py), "click", "1"}).exitStatus,
            0);
    }

    // Launches the demo and waits for its window, which then shows the
    // amplifier's connected page or is about to.
    void launchAndFindWindow(const Road& road)
    {
        launch(road);
        // The polling's probe, then the connecting worker's probe print the port.
        EXPECT_TRUE(waitForOutput(road.found, 30));
        const ProcessResult search = xdotool({"search", "--sync", "--pid", std::to_string(pid())});
        ASSERT_EQ(search.exitStatus, 0);
        window = search.out.substr(0, search.out.find('\n'));
    }

    // Launches the demo, waits for the connected page and clicks "Update
    // Firmware" until the road's first line shows.
    void launchAndStartUpdate(const Road& road)
    {
        launchAndFindWindow(road);
        ASSERT_FALSE(window.empty());
        // The connected page's three queries come right after; until its
        // "Update Firmware" shows, a click there finds the busy connecting page.
        bool updating = false;
        for (int attempt = 0; attempt < 10 && !updating; ++attempt) {
            clickAt(187, 537);
            updating = waitForOutput(road.lines.front() + "\n", 5);
        }
        EXPECT_TRUE(updating) << "output so far:\n" << readFile(out);
    }

    // Whether the demo has ended within `seconds` (it is killed at the test's end).
    bool endsWithin(int seconds) { return demo.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready; }

    // Whether a file of that name shows somewhere under the run's folder
    // within `seconds`.
    bool fileShows(const std::string& name, int seconds)
    {
        for (int i = 0; i <= seconds * 20; ++i) {
            std::error_code error;
            for (auto it = std::filesystem::recursive_directory_iterator(temp->path(), error);
                 !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
                if (it->path().filename() == name)
                    return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // The demo's end, and the amplifier after the road's updates.
    void expectExitAfter(const Road& road)
    {
        const ProcessResult r = demo.get();
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_EQ(readFile(temp->path() + "/report"), road.report);
    }

    XServer x;
    std::unique_ptr<TempFolder> temp;
    std::string out;
    std::string pidFile;
    std::size_t from = 0;
    std::future<ProcessResult> demo;
    std::string window;
};

} // namespace

// A person's way through the demo: the amplifier is found, the connected
// page offers the update, "Update Firmware" runs it, the result page shows
// the success badge and "Done" quits.
TEST_F(DemoWindow, UpdateAndDoneThroughTheWindow)
{
    for (const Road* road : {&kMcuRoad, &kBothRoad, &kTwoAmplifiersRoad, &kUnknownLatestBluetoothRoad}) {
        SCOPED_TRACE(road->name);
        launchAndStartUpdate(*road);
        for (std::size_t i = 1; i < road->lines.size(); ++i)
            EXPECT_TRUE(waitForOutput(road->lines[i] + "\n", 60)) << road->lines[i];

        // The result page with the success badge: its mark's colour shows
        // nowhere else.
        int success = 0;
        const std::string dump = temp->path() + "/window.xwd";
        for (int attempt = 0; attempt < 40 && success == 0; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (xdotool({"getwindowname", window}).exitStatus != 0)
                break;
            runProcess("/usr/bin/xwd", {"-silent", "-id", window, "-out", dump}, {"DISPLAY=" + x.display}, 30);
            success = pixelsOf(readFile(dump), 0x00, 0xB2, 0x59);
        }
        EXPECT_GT(success, 0);

        // "Done" on the result page quits.
        for (int attempt = 0; attempt < 10 && demo.wait_for(std::chrono::seconds(2)) != std::future_status::ready;
             ++attempt)
            clickAt(187, 420);
        expectExitAfter(*road);
    }
}

// A quit from the system (Ctrl-C, the session's end) during the update
// waits for it: cut short, the reconnect would fail and leave the amplifier
// in its bootloader. The window then quits by itself.
TEST_F(DemoWindow, QuitSignalDuringTheUpdateLetsItEnd)
{
    struct Case {
        int signal;
        std::string after;
    };
    // At the first percent, which starting the update waits for, and in the
    // middle of the flash.
    // Also Ctrl-\, the terminal closed and a user's kill with a signal of
    // no meaning here.
    for (const Case& c : {Case{SIGTERM, ""}, Case{SIGINT, "Updating: 30%"}, Case{SIGHUP, "Updating: 60%"},
                          Case{SIGQUIT, "Updating: 90%"}, Case{SIGUSR1, "Updating: 10%"}}) {
        SCOPED_TRACE(c.signal);
        launchAndStartUpdate(kMcuRoad);
        if (!c.after.empty()) {
            ASSERT_TRUE(waitForOutput(c.after, 60));
        }
        ASSERT_EQ(kill(pid(), c.signal), 0);
        expectExitAfter(kMcuRoad);
        EXPECT_NE(readFile(out).find("Updating: 100%"), std::string::npos);
    }
}

// A quit from the system while Python is installed lets the installation
// end; the update that would follow it does not start, and the amplifier
// hears nothing more.
TEST_F(DemoWindow, QuitSignalDuringThePythonInstallationStartsNoUpdate)
{
    const Road road{"Python", {"KOVRA_DEMO_MCU_VERSION=1.10.0.0", "KOVRA_DEMO_BT_VERSION=0105"}, {}, ""};
    launchAndFindWindow(road);
    ASSERT_FALSE(window.empty());
    // "Update Firmware" shows the Python page, whose "Proceed" lies at the
    // same place and starts the installer, which marks its start.
    bool installing = false;
    for (int attempt = 0; attempt < 10 && !installing; ++attempt) {
        clickAt(187, 537);
        installing = fileShows("installer-started", 3);
    }
    ASSERT_TRUE(installing);
    ASSERT_EQ(kill(pid(), SIGTERM), 0);

    ASSERT_TRUE(endsWithin(60));
    const ProcessResult r = demo.get();
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_NE(readFile(out).find("Install python successfully\n"), std::string::npos);
    EXPECT_EQ(readFile(out).find("Updating:"), std::string::npos);
    // Probes and the connected page's queries; no switch, no chunk.
    EXPECT_EQ(readFile(temp->path() + "/report"),
              "amplifier 1 messages 5 chunks 0 refusals 0 flash not-run switches\n");
}

// The window's close button during the update is kept: the update ends,
// then the close is carried out as at any other time (the amplifier is told
// "SetFwStatus" 01 once more) and the program quits.
TEST_F(DemoWindow, CloseDuringTheUpdateIsCarriedOutOnceItHasEnded)
{
    launchAndStartUpdate(kMcuRoad);
    ASSERT_TRUE(waitForOutput("Updating: 30%", 60));
    ASSERT_TRUE(askWindowToClose(x.display, std::stoul(window)));
    EXPECT_TRUE(waitForOutput("Updating: 100%", 60));
    ASSERT_TRUE(endsWithin(30)) << "the window stayed open";
    const ProcessResult r = demo.get();
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(readFile(temp->path() + "/report"),
              "amplifier 1 messages 2914 chunks 2904 refusals 0 flash passed switches 0 1 1\n");
}

// A quit from the system during an update that then fails: the failure is
// said on standard output before the program quits, as the result page,
// closed at once, cannot say it. The quit must land before the failure: at
// the program's own speed the lost answer is waited for 3 s of the time the
// program runs, so a test that notices the 10% late (a loaded machine) still
// sends it in time.
TEST_F(DemoWindow, QuitSignalDuringAnUpdateThatFailsSaysSo)
{
    const Road road{"MCU pulled out",
                    {"KOVRA_DEMO_MCU_VERSION=1.10.0.0", "KOVRA_DEMO_UNPLUG_AFTER_CHUNKS=1000", "KOVRA_DEMO_SPEEDUP=1"},
                    {"Updating: 0%"},
                    ""};
    launchAndStartUpdate(road);
    ASSERT_TRUE(waitForOutput("Updating: 10%", 60));
    ASSERT_EQ(kill(pid(), SIGTERM), 0);
    ASSERT_TRUE(waitForOutput("Updating: 34%\nError Code: 16\n", 60));
    ASSERT_TRUE(endsWithin(30));
    const ProcessResult r = demo.get();
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(readFile(out).substr(from), "");
}

// An amplifier whose firmware information comes cut short, and a "Kovra 25"
// whose model name and serial number never come: the failed query shows on
// the result page, with the error badge, and "Update Firmware" is never
// offered, so a click where it would be starts nothing.
TEST_F(DemoWindow, FailedQueriesOfferNoUpdate)
{
    const Road cut{"information cut short", {"KOVRA_DEMO_INFO_PAYLOAD=2"}, {}, {}};
    const Road unanswered{
        "identity unanswered", {"KOVRA_DEMO_MODEL=Kovra 25", "KOVRA_DEMO_IDENTITY_REPLY_SID=63"}, {}, {}};
    for (const Road* road : {&cut, &unanswered}) {
        SCOPED_TRACE(road->name);
        launch(*road);
        EXPECT_TRUE(waitForOutput("Kovra TIKO\nKovra TIKO\n", 30));
        const ProcessResult search = xdotool({"search", "--sync", "--pid", std::to_string(pid())});
        ASSERT_EQ(search.exitStatus, 0);
        window = search.out.substr(0, search.out.find('\n'));

        // The error badge's colour shows nowhere else.
        int error = 0;
        const std::string dump = temp->path() + "/window.xwd";
        for (int attempt = 0; attempt < 60 && error == 0; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            runProcess("/usr/bin/xwd", {"-silent", "-id", window, "-out", dump}, {"DISPLAY=" + x.display}, 30);
            error = pixelsOf(readFile(dump), 0xE0, 0x20, 0x20);
        }
        EXPECT_GT(error, 0);
        for (int click = 0; click < 3; ++click) {
            clickAt(187, 537);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        ASSERT_EQ(kill(pid(), SIGTERM), 0);
        const ProcessResult r = demo.get();
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(readFile(out).find("Updating:"), std::string::npos);
        const std::string report = readFile(temp->path() + "/report");
        EXPECT_NE(report.find(" chunks 0 refusals 0 flash not-run switches\n"), std::string::npos) << report;
    }
}
