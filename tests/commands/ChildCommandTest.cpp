#include "commands/ChildCommand.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace

// Far more than a pipe holds: the program would stall half-way if nobody
// read while it ran.
TEST(ChildCommand, ProgramThatWritesALotEndsWhileWatched)
{
    TempFolder temp;
    const std::string script =
        temp.writeScript("bin/chatty", "i=0; while [ $i -lt 4000 ]; do echo 'installer: line of progress output'; "
                                       "i=$((i+1)); done; echo 'The install was successful.'");
    ChildCommand chatty("successful");
    ASSERT_TRUE(chatty.start({juce::String(script)}));
    EXPECT_TRUE(chatty.waitForEnd(20000));
    std::string written;
    for (int i = 0; i < 4000; ++i)
        written += "installer: line of progress output\n";
    written += "The install was successful.\n";
    EXPECT_EQ(chatty.readAllOutput().toStdString(), written.substr(0, 64 * 1024));
    EXPECT_TRUE(chatty.foundWatchedText());
}

// A killed program whose own child left its process group and keeps the
// output open: what it wrote before the kill still arrives, and the read does
// not wait for that child.
TEST(ChildCommand, KilledProgramWhoseChildHoldsTheOutput)
{
    TempFolder temp;
    const std::string script =
        temp.writeScript("bin/stubborn", "echo 'installer: started'; setsid sleep 8 & while true; do sleep 0.05; done");
    ChildCommand stubborn;
    ASSERT_TRUE(stubborn.start({juce::String(script)}));
    EXPECT_FALSE(stubborn.waitForEnd(300));
    stubborn.kill();
    EXPECT_TRUE(stubborn.waitForEnd(5000));

    const auto start = Clock::now();
    EXPECT_EQ(stubborn.readAllOutput(), "installer: started\n");
    EXPECT_LT(msSince(start), ChildCommand::kDrainAfterEndMs + 2000);
}

// The kill reaches what the program started, as osascript starts sudo and
// the installer: nothing of it is left, nor holds the output open.
TEST(ChildCommand, KillEndsWhatTheProgramStarted)
{
    TempFolder temp;
    const std::string pidFile = temp.path() + "/child.pid";
    const std::string script = temp.writeScript("bin/installer", "sleep 600 & echo $! > '" + pidFile
                                                                     + "'; echo 'installer: started'; exec sleep 600");
    ChildCommand installer;
    ASSERT_TRUE(installer.start({juce::String(script)}));
    EXPECT_FALSE(installer.waitForEnd(300));
    installer.kill();
    EXPECT_TRUE(installer.waitForEnd(5000));

    const auto start = Clock::now();
    EXPECT_EQ(installer.readAllOutput(), "installer: started\n");
    EXPECT_LT(msSince(start), ChildCommand::kDrainAfterEndMs / 2);
    std::ifstream file(pidFile);
    int child = 0;
    ASSERT_TRUE(file >> child);
    EXPECT_TRUE(processEnds(child));
}

namespace {

// Whether `pid`, once a child of this process, has been reaped: waitpid no
// longer knows it.
bool reaped(int pid) { return waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD; }

// The process id a script wrote to `path`, once it has.
int pidIn(const std::string& path)
{
    for (int i = 0; i < 500; ++i) {
        std::ifstream file(path);
        int pid = 0;
        if (file >> pid && pid > 0)
            return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

} // namespace

// A command the program is done with (a link command past its wait) goes
// with its object: its program and what runs in its group end, and the
// program is reaped, whether it still ran or had ended by itself and left
// a child running in its group.
TEST(ChildCommand, DestroyingItEndsItsGroupAndReapsIt)
{
    struct Case {
        const char* what;
        std::string tail;
    };
    for (const Case& c : {Case{"still running", "exec sleep 600"}, Case{"ended by itself", "exit 0"}}) {
        SCOPED_TRACE(c.what);
        TempFolder temp;
        const std::string script =
            temp.writeScript("bin/program", "sleep 600 & echo $! > '" + temp.path() + "/member'; echo $$ > '"
                                                + temp.path() + "/leader'; " + c.tail);
        int leader = -1;
        int member = -1;
        {
            ChildCommand command;
            ASSERT_TRUE(command.start({juce::String(script)}));
            leader = pidIn(temp.path() + "/leader");
            member = pidIn(temp.path() + "/member");
            ASSERT_GT(leader, 0);
            ASSERT_GT(member, 0);
            EXPECT_FALSE(processEnds(member, 100));
        }
        EXPECT_TRUE(reaped(leader));
        EXPECT_TRUE(processEnds(member));
    }
}

// kill() reaches the group also once its leader has ended: what the leader
// left running there ends.
TEST(ChildCommand, KillReachesTheGroupOfALeaderThatHasEnded)
{
    TempFolder temp;
    const std::string script =
        temp.writeScript("bin/starter", "sleep 600 > /dev/null 2>&1 & echo $! > '" + temp.path() + "/member'");
    ChildCommand starter;
    ASSERT_TRUE(starter.start({juce::String(script)}));
    EXPECT_TRUE(starter.waitForEnd(5000));
    EXPECT_FALSE(starter.isRunning());
    const int member = pidIn(temp.path() + "/member");
    ASSERT_GT(member, 0);
    EXPECT_FALSE(processEnds(member, 100));
    starter.kill();
    EXPECT_TRUE(processEnds(member));
}

// A read with a limit gives up on a program that neither ends nor closes its
// output, at its limit; one that answers is read as without a limit.
TEST(ChildCommand, ReadWithALimit)
{
    constexpr long long kLateMs = 500;
    TempFolder temp;
    ChildCommand silent;
    ASSERT_TRUE(silent.start({juce::String(temp.writeScript("bin/silent", "echo 'Python 2.7.18'; exec sleep 600"))}));
    const auto start = Clock::now();
    EXPECT_EQ(silent.readAllOutputWithin(300), std::nullopt);
    EXPECT_GE(msSince(start), 300);
    EXPECT_LT(msSince(start), 300 + kLateMs);
    EXPECT_TRUE(silent.isRunning());
    silent.kill();

    ChildCommand answering;
    ASSERT_TRUE(answering.start({juce::String(temp.writeScript("bin/answering", "echo 'Python 2.7.18' >&2"))}));
    EXPECT_EQ(answering.readAllOutputWithin(10000), std::optional<juce::String>("Python 2.7.18\n"));

    ChildCommand notStarted;
    EXPECT_EQ(notStarted.readAllOutputWithin(10), std::nullopt);
}

// An executable file without a "#!" line runs with /bin/sh, as execvp runs
// it: named by its path or found on the search path, with its arguments.
TEST(ChildCommand, ExecutableWithoutInterpreterLineRunsWithTheShell)
{
    TempFolder temp;
    const std::string script = temp.writeFile("bin/plain-script", "echo \"$0:$1:$2\"\n");
    fs::permissions(script, fs::perms::owner_all);
    ScopedEnvironment environment;
    environment.set("PATH", temp.path() + "/nothing-here:" + temp.path() + "/bin:/usr/bin:/bin");
    struct Case {
        const char* what;
        juce::String program;
    };
    for (const Case& c : {Case{"by its path", juce::String(script)}, Case{"on the search path", "plain-script"}}) {
        ChildCommand plain;
        ASSERT_TRUE(plain.start({c.program, "one", "two words"})) << c.what;
        EXPECT_EQ(plain.readAllOutput().toStdString(), script + ":one:two words\n") << c.what;
        EXPECT_TRUE(plain.waitForEnd(20000)) << c.what;
    }
}

namespace {

// `n` bytes of "x" from a pipe, as fast as the shell can make them.
std::string filler(std::size_t n) { return "head -c " + std::to_string(n) + " /dev/zero | tr '\\0' x; "; }

struct OutputCase {
    const char* name;
    std::string body;
    std::string watched;
    std::string head;   // what the kept output begins with
    std::size_t length; // of the kept output
    bool found;
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

class KeptOutput : public ::testing::TestWithParam<OutputCase> {};

} // namespace

// Only the first 64 KiB of the output are kept, yet the watched text is found
// anywhere in it, also split between two reads.
TEST_P(KeptOutput, FirstBytesAndTheWatchedText)
{
    const OutputCase& c = GetParam();
    TempFolder temp;
    ChildCommand child(c.watched);
    ASSERT_TRUE(child.start({juce::String(temp.writeScript("bin/talker", c.body))}));
    const std::string output = child.readAllOutput().toStdString();
    EXPECT_EQ(output.size(), c.length);
    EXPECT_EQ(output.substr(0, c.head.size()), c.head);
    EXPECT_EQ(child.foundWatchedText(), c.found);
    EXPECT_TRUE(child.waitForEnd(20000));
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, KeptOutput,
    ::testing::Values(OutputCase{"VersionThenTwentyMegabytes", "echo 'Python 2.7.18'; " + filler(20 << 20), "",
                                 "Python 2.7.18\n", 64 * 1024, false},
                      OutputCase{"SuccessAfterTwentyMegabytes", filler(20 << 20) + "echo 'The install was successful.'",
                                 "successful", "xxxx", 64 * 1024, true},
                      OutputCase{"SuccessSplitBeyondTheKeptBytes",
                                 filler(100 * 1024) + "printf succ; sleep 0.3; printf essful", "successful", "xxxx",
                                 64 * 1024, true},
                      OutputCase{"ShortSuccess", "echo 'installer: The install was successful.'", "successful",
                                 "installer: The install was successful.\n", 39, true},
                      OutputCase{"CaseCounts", "echo 'installer: Successful? no'", "successful",
                                 "installer: Successful? no\n", 26, false}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });
