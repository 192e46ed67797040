#include "ProcessRun.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include <fcntl.h>
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
        pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl("/usr/bin/Xvfb", "Xvfb", name.c_str(), "-screen", "0", "800x800x24", "-nolisten", "tcp",
                  "-noreset", static_cast<char*>(nullptr));
            _exit(127);
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

struct Road {
    const char* name;
    std::vector<std::string> environment;
    std::vector<std::string> lines; // to be seen in this order, among others
    std::string report;
};

} // namespace

// A person's way through the demo: the amplifier is found, the connected
// page offers the update, "Update Firmware" runs it, the result page shows
// the success badge and "Done" quits. With both firmwares older the
// amplifier leaves USB for its Bluetooth module's update and is found again
// before the MCU's.
TEST(DemoWindow, UpdateAndDoneThroughTheWindow)
{
    const std::vector<Road> roads{
        {"MCU", {"KOVRA_DEMO_MCU_VERSION=1.10.0.0"}, {"Updating: 0%", "Updating: 100%"},
         "amplifier 1 messages 2913 chunks 2904 refusals 0 flash passed switches 0 1\n"},
        {"both",
         {"KOVRA_DEMO_MCU_VERSION=1.10.0.0", "KOVRA_DEMO_BT_VERSION=0105", "KOVRA_DEMO_PYTHON=linked"},
         {"Found device and connected!", "Updating: 0%", "Updating: 100%"},
         "amplifier 1 messages 2916 chunks 2904 refusals 0 flash passed switches 2 0 1\n"},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        XServer x;
        ASSERT_FALSE(x.display.empty()) << "Xvfb did not start";
        TempFolder temp;
        const std::string out = temp.path() + "/out";
        const std::string pidFile = temp.path() + "/pid";
        // A stray click on a link must not reach a real browser.
        temp.writeScript("bin/xdg-open", "exit 0\n");

        std::vector<std::string> environment{"DISPLAY=" + x.display,
                                             "KOVRA_DEMO_SPEEDUP=10",
                                             "KOVRA_DEMO_REPORT=" + temp.path() + "/report",
                                             "XDG_CACHE_HOME=" + temp.path() + "/cache",
                                             "HOME=" + temp.path(),
                                             "TMPDIR=" + temp.path(),
                                             "PATH=" + temp.path() + "/bin",
                                             "WAYLAND_DISPLAY"};
        environment.insert(environment.end(), road.environment.begin(), road.environment.end());
        auto demo = std::async(std::launch::async, [&] {
            return runProcess("/bin/sh", {"-c", "echo $$ > \"$1\"; exec \"$0\" > \"$2\"", kDemo, pidFile, out},
                              environment, 180);
        });
        // Whether `text` shows in the output after `from`; `from` moves past it.
        std::size_t from = 0;
        auto waitForOutput = [&](const std::string& text, int seconds) {
            for (int i = 0; i <= seconds * 20; ++i) {
                const std::size_t at = readFile(out).find(text, from);
                if (at != std::string::npos) {
                    from = at + text.size();
                    return true;
                }
                if (demo.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready && i > 0)
                    break;
            }
            return false;
        };
        auto xdotool = [&](const std::vector<std::string>& args) {
            return runProcess(kXdotool, args, {"DISPLAY=" + x.display}, 30);
        };
        auto clickAt = [&](const std::string& window, int px, int py) {
            EXPECT_EQ(xdotool({"mousemove", "--window", window, std::to_string(px), std::to_string(py), "click", "1"}).exitStatus, 0);
        };

        // The polling's probe, then the connecting worker's probe print the port.
        EXPECT_TRUE(waitForOutput("Kovra TIKO\nKovra TIKO\n", 30));
        const ProcessResult search =
            xdotool({"search", "--sync", "--pid", readFile(pidFile).substr(0, readFile(pidFile).find('\n'))});
        ASSERT_EQ(search.exitStatus, 0);
        const std::string window = search.out.substr(0, search.out.find('\n'));
        // The connected page's three queries come right after; until its
        // "Update Firmware" shows, a click there finds the busy connecting
        // page. A click that took shows the road's first line.
        bool updating = false;
        for (int attempt = 0; attempt < 10 && !updating; ++attempt) {
            clickAt(window, 187, 537);
            updating = waitForOutput(road.lines.front() + "\n", 5);
        }
        EXPECT_TRUE(updating);
        for (std::size_t i = 1; i < road.lines.size(); ++i)
            EXPECT_TRUE(waitForOutput(road.lines[i] + "\n", 60)) << road.lines[i];

        // The result page with the success badge: its mark's colour shows
        // nowhere else.
        int success = 0;
        const std::string dump = temp.path() + "/window.xwd";
        for (int attempt = 0; attempt < 40 && success == 0; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (xdotool({"getwindowname", window}).exitStatus != 0)
                break;
            runProcess("/usr/bin/xwd", {"-silent", "-id", window, "-out", dump}, {"DISPLAY=" + x.display}, 30);
            success = pixelsOf(readFile(dump), 0x00, 0xB2, 0x59);
        }
        EXPECT_GT(success, 0);

        // "Done" on the result page quits.
        for (int attempt = 0; attempt < 10 && demo.wait_for(std::chrono::seconds(2)) != std::future_status::ready; ++attempt)
            clickAt(window, 187, 420);

        const ProcessResult r = demo.get();
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_EQ(readFile(temp.path() + "/report"), road.report);
    }
}
