#include "ChildCommand.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>

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
    ChildCommand chatty;
    ASSERT_TRUE(chatty.start({juce::String(script)}));
    EXPECT_TRUE(chatty.waitForEnd(20000));
    const juce::String output = chatty.readAllOutput();
    EXPECT_EQ(output.length(), 4000 * 35 + 28);
    EXPECT_TRUE(output.endsWith("The install was successful.\n"));
}

// A killed program whose own child keeps the output open: what it wrote
// before the kill still arrives, and the read does not wait for that child.
TEST(ChildCommand, KilledProgramWhoseChildHoldsTheOutput)
{
    TempFolder temp;
    const std::string script =
        temp.writeScript("bin/stubborn", "echo 'installer: started'; sleep 8 & while true; do sleep 0.05; done");
    ChildCommand stubborn;
    ASSERT_TRUE(stubborn.start({juce::String(script)}));
    EXPECT_FALSE(stubborn.waitForEnd(300));
    stubborn.kill();
    EXPECT_TRUE(stubborn.waitForEnd(5000));

    const auto start = Clock::now();
    EXPECT_EQ(stubborn.readAllOutput(), "installer: started\n");
    EXPECT_LT(msSince(start), ChildCommand::kDrainAfterEndMs + 2000);
}
