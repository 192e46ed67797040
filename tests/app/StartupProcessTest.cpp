#include "tests/support/ProcessRun.h"

#include <gtest/gtest.h>

// The product binary, started as a user would start it.
TEST(Startup, EveryPathExitsZeroAndPrintsOneLine)
{
    struct Case {
        std::vector<std::string> args;
        std::string firstLine;
    };
    const std::string noDisplay =
        "No display available: the window cannot be opened (set DISPLAY, or use --path, --reset, --bt or --python).";
    const std::vector<Case> cases{
        {{}, noDisplay},      {{"--PATH"}, noDisplay},           {{"--path=x"}, noDisplay},
        {{"-bt"}, noDisplay}, {{"other", "--reset"}, noDisplay},
    };
    for (const Case& c : cases) {
        const ProcessResult r = runProcess(KOVRA_PRODUCT_BINARY, c.args, {"DISPLAY", "WAYLAND_DISPLAY"});
        EXPECT_EQ(r.exitStatus, 0);
        ASSERT_FALSE(r.lines().empty());
        EXPECT_EQ(r.lines().front(), c.firstLine);
    }
}

// A reader of standard output that is already gone costs the line, not the
// exit status: the window's path prints too.
TEST(Startup, ExitsZeroWhenTheReaderOfItsOutputIsGone)
{
    ProcessOptions gone;
    gone.closeOutputAfterLines = 0;
    const ProcessResult r = runProcess(KOVRA_PRODUCT_BINARY, {}, {"DISPLAY", "WAYLAND_DISPLAY"}, 60, gone);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitStatus, 0);
}
