#include "tests/support/BareXServer.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    XServer() { start(); }
    ~XServer() { stop(); }

    void start()
    {
        display.clear();
        const int first = 200 + static_cast<int>(getpid() % 500);
        for (int n = first; n < first + 20 && display.empty(); ++n)
            tryDisplay(n);
        // For the close button's request, which the window then understands.
        if (!display.empty())
            createWindowManagerAtoms(display);
    }

    // Ends the server, as at a logout, and waits for it.
    void stop()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }

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
                // The socket may be a rival's that took the number first
                // (also one started as this test ended a server of its
                // own): the lock file, made before the socket, names the
                // server that holds the number.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (waitpid(pid, nullptr, WNOHANG) == pid)
                    pid = -1;
                else if (lockHolder(n) == pid)
                    display = name;
                else
                    stop();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        stop();
    }

    static pid_t lockHolder(int n)
    {
        std::ifstream lock("/tmp/.X" + std::to_string(n) + "-lock");
        long holder = -1;
        return lock >> holder ? static_cast<pid_t>(holder) : -1;
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

// The reports count, among the messages, a probe request in each of the MCU
// update's two reconnects: each reopen asks the device at the amplifier's
// ports who it is.
const Road kMcuRoad{"MCU",
                    {"KOVRA_DEMO_MCU_VERSION=1.10.0.0"},
                    {"Updating: 0%", "Updating: 100%"},
                    "amplifier 1 messages 2915 chunks 2904 refusals 0 flash passed switches 0 1\n"};
// Both firmwares older: the amplifier leaves USB for its Bluetooth module's
// update and is found again before the MCU's.
const Road kBothRoad{"both",
                     {"KOVRA_DEMO_MCU_VERSION=1.10.0.0", "KOVRA_DEMO_BT_VERSION=0105", "KOVRA_DEMO_PYTHON=linked"},
                     {"Found device and connected!", "Updating: 0%", "Updating: 100%"},
                     "amplifier 1 messages 2918 chunks 2904 refusals 0 flash passed switches 2 0 1\n"};

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
                              "amplifier 1 messages 2918 chunks 2904 refusals 0 flash passed switches 2 0 1\n"
                              "amplifier 2 messages 6 chunks 0 refusals 0 flash not-run switches\n",
                              "Kovra TIKO 2\nKovra TIKO\nKovra TIKO 2\n"};

// The demo's window clicked the way a person would; each run in a folder of
// its own.
class DemoWindow : public ::testing::Test {
protected:
    void TearDown() override { stop(); }

    // `ignored`: the shell's names of signals the demo is started with
    // ignored ("HUP INT"), as under nohup.
    void launch(const Road& road, const std::string& ignored = "")
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
                                             "KOVRA_STANDIN_CALL_LOG=" + temp->path() + "/calls",
                                             "HOME=" + temp->path(),
                                             "TMPDIR=" + temp->path(),
                                             "PATH=" + temp->path() + "/bin",
                                             "WAYLAND_DISPLAY"};
        // A road's own value replaces the one above.
        for (const std::string& setting : road.environment) {
            const std::string name = setting.substr(0, setting.find('='));
            environment.erase(
                std::remove_if(environment.begin(), environment.end(),
                               [&name](const std::string& e) { return e.substr(0, e.find('=')) == name; }),
                environment.end());
            environment.push_back(setting);
        }
        const std::string script =
            (ignored.empty() ? "" : "trap '' " + ignored + "; ") + "echo $$ > \"$1\"; exec \"$0\" > \"$2\"";
        demo = std::async(std::launch::async, [this, environment, script] {
            return runProcess("/bin/sh", {"-c", script, kDemo, pidFile, out}, environment, 180);
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
            // Ended before this look, the demo has written all it will: its
            // last line may have come only just before its end.
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
        const ProcessResult click =
            xdotool({"mousemove", "--window", window, std::to_string(px), std::to_string(py), "click", "1"});
        EXPECT_EQ(click.exitStatus, 0) << click.err;
    }

    // Launches the demo and waits for its window, which then shows the
    // amplifier's connected page or is about to.
    void launchAndFindWindow(const Road& road, const std::string& ignored = "")
    {
        launch(road, ignored);
        // The polling's probe, then the connecting worker's probe print the port.
        EXPECT_TRUE(waitForOutput(road.found, 30));
        // A road that prints nothing first: the shell may not have said its id yet.
        for (int i = 0; i < 600 && pid() <= 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        findWindow();
    }

    // The demo's shown window. Right after the start the framework may still
    // build it anew (a search that meets the old one as it goes fails).
    void findWindow()
    {
        ProcessResult search;
        for (int attempt = 0; attempt < 10 && search.exitStatus != 0; ++attempt)
            search = xdotool({"search", "--sync", "--onlyvisible", "--pid", std::to_string(pid())});
        ASSERT_EQ(search.exitStatus, 0) << search.err;
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

    // Whether the file `path` exists within `seconds`.
    static bool waitForFile(const std::string& path, int seconds)
    {
        for (int i = 0; i <= seconds * 20; ++i) {
            if (access(path.c_str(), F_OK) == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // Launches the demo (Python missing), then clicks "Update Firmware", which
    // shows the Python page, and its "Proceed", at the same place, until the
    // installer marks its start.
    void launchAndStartPythonInstallation(const Road& road)
    {
        launchAndFindWindow(road);
        ASSERT_FALSE(window.empty());
        bool installing = false;
        for (int attempt = 0; attempt < 10 && !installing; ++attempt) {
            clickAt(187, 537);
            installing = fileShows("installer-started", 3);
        }
        ASSERT_TRUE(installing);
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

    // How many pixels of the colour (r, g, b) the window shows, asked every
    // 250 ms until some do, at most `attempts` times, or the window is gone.
    int pixelsShown(std::uint8_t r, std::uint8_t g, std::uint8_t b, int attempts)
    {
        int shown = 0;
        const std::string dump = temp->path() + "/window.xwd";
        for (int attempt = 0; attempt < attempts && shown == 0; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (xdotool({"getwindowname", window}).exitStatus != 0)
                break;
            runProcess("/usr/bin/xwd", {"-silent", "-id", window, "-out", dump}, {"DISPLAY=" + x.display}, 30);
            shown = pixelsOf(readFile(dump), r, g, b);
        }
        return shown;
    }

    // Whether the file at `path` holds `text` within `seconds`.
    bool fileHolds(const std::string& path, const std::string& text, int seconds)
    {
        for (int i = 0; i <= seconds * 50; ++i) {
            if (readFile(path).find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // The demo's end, and the amplifier after the road's updates.
    void expectExitAfter(const Road& road)
    {
        const ProcessResult r = demo.get();
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
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
    for (const Road* road : {&kMcuRoad, &kBothRoad, &kTwoAmplifiersRoad}) {
        SCOPED_TRACE(road->name);
        launchAndStartUpdate(*road);
        for (std::size_t i = 1; i < road->lines.size(); ++i)
            EXPECT_TRUE(waitForOutput(road->lines[i] + "\n", 60)) << road->lines[i];

        // The result page with the success badge: its mark's colour shows
        // nowhere else.
        EXPECT_GT(pixelsShown(0x00, 0xB2, 0x59, 40), 0);

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
    ASSERT_NO_FATAL_FAILURE(launchAndStartPythonInstallation(road));
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
              "amplifier 1 messages 2916 chunks 2904 refusals 0 flash passed switches 0 1 1\n");
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
        EXPECT_GT(pixelsShown(0xE0, 0x20, 0x20, 60), 0);
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

// An amplifier with the latest firmware, or newer: the window reads its
// versions from the amplifier's information block and says it is up to
// date, with the success badge, and tells it "SetFwStatus" 01; nothing is
// offered, so a click where "Update Firmware" would be starts nothing, and
// "Done" quits.
TEST_F(DemoWindow, UpToDateAmplifierIsOfferedNoUpdate)
{
    // Probes, the three queries and the switch.
    const std::string report = "amplifier 1 messages 6 chunks 0 refusals 0 flash not-run switches 1\n";
    const Road latest{"latest", {}, {}, report};
    const Road newer{"newer", {"KOVRA_DEMO_MCU_VERSION=1.11.3.0", "KOVRA_DEMO_BT_VERSION=0108"}, {}, report};
    for (const Road* road : {&latest, &newer}) {
        SCOPED_TRACE(road->name);
        launchAndFindWindow(*road);
        ASSERT_FALSE(window.empty());
        ASSERT_GT(pixelsShown(0x00, 0xB2, 0x59, 60), 0);
        for (int click = 0; click < 3; ++click) {
            clickAt(187, 537);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        for (int attempt = 0; attempt < 10 && !endsWithin(2); ++attempt)
            clickAt(187, 420);
        ASSERT_TRUE(endsWithin(0)) << "\"Done\" did not quit";
        expectExitAfter(*road);
        EXPECT_EQ(readFile(out).find("Updating:"), std::string::npos);
    }
}

// The firmware file's version cannot be read (the cache folder unusable, the
// file refused): the window must not call the amplifier up to date, which
// would also send "SetFwStatus" 01. It offers the update, which fails with
// that cause's code before the MCU is touched. The code shows on the result
// page; a quit sent during the update makes the program print it too. The
// Python check waits for the test, which sends the quit meanwhile, and the
// waits run at their real length, so the update outlasts the quit's arrival.
TEST_F(DemoWindow, UnknownLatestBluetoothVersionOffersTheUpdateThatFailsWithItsCode)
{
    struct Case {
        const char* name;
        std::vector<std::string> environment;
        std::string title;
    };
    const Case cases[] = {
        {"cache folder unusable, MCU current", {"XDG_CACHE_HOME=/dev/null"}, "Error Code: -3"},
        {"file refused, MCU older",
         {"KOVRA_STANDIN_REFUSE_FILE=3", "KOVRA_DEMO_MCU_VERSION=1.10.0.0"},
         "Error Code: -65535"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder commands;
        const std::string asked = commands.path() + "/version-asked";
        const std::string released = commands.path() + "/released";
        commands.writeScript("usr/local/bin/python", ": > '" + asked + "'\nwhile [ ! -e '" + released
                                                         + "' ]; do /bin/sleep 0.02; done\necho 'Python 2.7.18' >&2");
        Road road{c.name,
                  {"KOVRA_DEMO_SPEEDUP=1", "KOVRA_DEMO_BT_VERSION=0105", "KOVRA_DEMO_COMMAND_ROOT=" + commands.path()},
                  {},
                  ""};
        road.environment.insert(road.environment.end(), c.environment.begin(), c.environment.end());
        launchAndFindWindow(road);
        ASSERT_FALSE(window.empty());

        // "Update Firmware" is offered: its click starts the update's Python check.
        bool updating = false;
        for (int attempt = 0; attempt < 10 && !updating; ++attempt) {
            clickAt(187, 537);
            updating = waitForFile(asked, 5);
        }
        ASSERT_TRUE(updating) << readFile(out);
        ASSERT_EQ(kill(pid(), SIGTERM), 0);
        std::ofstream(released).close();

        EXPECT_TRUE(waitForOutput(c.title + "\n", 60)) << readFile(out);
        ASSERT_TRUE(endsWithin(60));
        const ProcessResult r = demo.get();
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_EQ(readFile(out).find("Updating:"), std::string::npos);
        // The probes, the connected page's three queries and "SetFwStatus"
        // 02; no chunk, and no 01 for an up-to-date page.
        EXPECT_EQ(readFile(temp->path() + "/report"),
                  "amplifier 1 messages 6 chunks 0 refusals 0 flash not-run switches 2\n");
    }
}

// Started with a quit signal ignored (under nohup, SIGINT and SIGQUIT in a
// shell's background job), the window leaves it ignored: it changes
// nothing, and SIGTERM still quits.
TEST_F(DemoWindow, SignalsIgnoredAtTheStartStayIgnored)
{
    // The first page, with no amplifier to come meanwhile.
    const Road waiting{"first page", {"KOVRA_DEMO_PLUG_AFTER_MS=600000"}, {}, "", ""};
    struct Case {
        int signal;
        std::string name;
    };
    for (const Case& c : {Case{SIGHUP, "HUP"}, Case{SIGINT, "INT"}, Case{SIGQUIT, "QUIT"}}) {
        SCOPED_TRACE(c.name);
        launchAndFindWindow(waiting, c.name);
        ASSERT_FALSE(window.empty());
        ASSERT_EQ(kill(pid(), c.signal), 0);
        EXPECT_FALSE(endsWithin(3)) << "the ignored signal quit";
        ASSERT_EQ(kill(pid(), SIGTERM), 0);
        ASSERT_TRUE(endsWithin(30));
        EXPECT_EQ(demo.get().exitStatus, 0);
    }
}

// The display's server ending (a logout, a crashed server) is taken as a
// hang-up: the step under way, the MCU's flash or the module's download,
// runs to its end without the window (the library's download is released),
// then the program exits with 0; on the first page it exits at once.
TEST_F(DemoWindow, DisplayServerEndingLetsTheRunningStepEnd)
{
    struct Case {
        Road road;
        std::string endAfterOutput; // the server ends once this is printed
        std::string endAfterCall;   // ... or once the library got this call
        std::vector<std::string> linesAfter;
    };
    // At a fifth of the speed the flash takes seconds; the download 2 s.
    Road mcu = kMcuRoad;
    mcu.environment.push_back("KOVRA_DEMO_SPEEDUP=2");
    Road both = kBothRoad;
    both.environment.push_back("KOVRA_STANDIN_DOWNLOAD_MS=20000");
    const Road waiting{"first page",
                       {"KOVRA_DEMO_PLUG_AFTER_MS=600000"},
                       {},
                       "amplifier 1 messages 0 chunks 0 refusals 0 flash not-run switches\n",
                       ""};
    for (const Case& c :
         {Case{mcu, "Updating: 10%\n", "", {"Updating: 100%"}},
          Case{both, "", "Download\n", {"Found device and connected!", "Updating: 0%", "Updating: 100%"}},
          Case{waiting, "", "", {}}}) {
        SCOPED_TRACE(c.road.name);
        if (x.display.empty())
            x.start();
        launchAndFindWindow(c.road);
        ASSERT_FALSE(window.empty());
        const std::string calls = temp->path() + "/calls";
        if (!c.road.lines.empty()) {
            bool updating = false;
            for (int attempt = 0; attempt < 10 && !updating; ++attempt) {
                clickAt(187, 537);
                updating = c.endAfterCall.empty() ? waitForOutput(c.road.lines.front() + "\n", 5)
                                                  : fileHolds(calls, c.endAfterCall, 5);
            }
            ASSERT_TRUE(updating);
            if (!c.endAfterOutput.empty()) {
                ASSERT_TRUE(waitForOutput(c.endAfterOutput, 60));
            }
        }
        x.stop();
        x.display.clear();
        for (const std::string& line : c.linesAfter)
            EXPECT_TRUE(waitForOutput(line + "\n", 90)) << line;
        ASSERT_TRUE(endsWithin(60));
        expectExitAfter(c.road);
        if (!c.endAfterCall.empty()) {
            EXPECT_NE(readFile(calls).find("Download\nDownload returned 0\nRelease\nUnload\n"), std::string::npos)
                << readFile(calls);
        }
    }
}

// A web page opens in the desktop's browser, which outlives the program
// (here a stand-in that stays, started by the launcher the link runs).
TEST_F(DemoWindow, TheBrowserThatALinkOpensOutlivesTheProgram)
{
    const Road waiting{"first page", {"KOVRA_DEMO_PLUG_AFTER_MS=600000"}, {}, "", ""};
    launchAndFindWindow(waiting);
    ASSERT_FALSE(window.empty());
    const std::string browserPids = temp->path() + "/browser.pids";
    // Its output elsewhere: this test reads the program's to its end.
    temp->writeScript("bin/xdg-open", "/bin/sleep 600 >/dev/null 2>&1 & echo $! >> '" + browserPids + "'\n");
    // "Learn more about Kovra TIKO" on the first page, until the window, as
    // it is then, takes the click.
    bool opened = false;
    for (int attempt = 0; attempt < 10 && !opened; ++attempt) {
        findWindow();
        clickAt(187, 537);
        opened = fileHolds(browserPids, "\n", 2);
    }
    ASSERT_TRUE(opened);
    ASSERT_EQ(kill(pid(), SIGTERM), 0);
    ASSERT_TRUE(endsWithin(30));
    EXPECT_EQ(demo.get().exitStatus, 0);
    std::istringstream pids(readFile(browserPids));
    for (int browser = 0; pids >> browser;) {
        EXPECT_FALSE(processEnds(browser, 1000)) << "the browser ended with the program";
        kill(browser, SIGKILL);
    }
}

// Two amplifiers; the first, whose rows the connected page shows, leaves USB
// while Python is installed and comes back listed after the second, with
// ports that open for the polling's probes alone. The wait after the
// installation takes no other amplifier: it ends without one ("Error Code:
// -15", as with the first alone), and neither amplifier is written.
TEST_F(DemoWindow, TheWaitAfterThePythonInstallationTakesNoOtherAmplifier)
{
    const Road road{"Python, two amplifiers",
                    {"KOVRA_DEMO_AMPLIFIERS=2", "KOVRA_DEMO_RETURN_LAST=1", "KOVRA_DEMO_BT_VERSION=0105",
                     "KOVRA_DEMO_MCU_VERSION=1.10.0.0", "KOVRA_DEMO_BUSY_RETURN=1"},
                    {},
                    "",
                    "Kovra TIKO 2\nKovra TIKO\nKovra TIKO 2\n"};
    ASSERT_NO_FATAL_FAILURE(launchAndStartPythonInstallation(road));
    EXPECT_TRUE(waitForOutput("Install python successfully\n", 60));
    // The result page's error badge.
    EXPECT_GT(pixelsShown(0xE0, 0x20, 0x20, 120), 0);
    ASSERT_EQ(kill(pid(), SIGTERM), 0);

    ASSERT_TRUE(endsWithin(60));
    const ProcessResult r = demo.get();
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(readFile(out).find("Updating:"), std::string::npos);
    EXPECT_EQ(readFile(out).find("Found device and connected!"), std::string::npos);
    // Probed and asked for their identity, nothing more.
    std::istringstream report(readFile(temp->path() + "/report"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(report, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string head = "amplifier " + std::to_string(i + 1) + " messages ";
        const std::string tail = " chunks 0 refusals 0 flash not-run switches";
        EXPECT_EQ(lines[i].rfind(head, 0), 0u) << lines[i];
        EXPECT_TRUE(lines[i].size() > tail.size() && lines[i].substr(lines[i].size() - tail.size()) == tail)
            << lines[i];
    }
}
