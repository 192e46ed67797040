#include "app/LaunchChoice.h"

#include <gtest/gtest.h>

TEST(LaunchChoice, FirstArgumentDecides)
{
    struct Case {
        std::vector<std::string> args;
        LaunchFlow flow;
        std::string imagePath;
    };
    const std::vector<Case> cases{
        {{}, LaunchFlow::Window, ""},
        {{""}, LaunchFlow::Window, ""},
        {{"--path", "fw.bin"}, LaunchFlow::Path, "fw.bin"},
        {{"--path"}, LaunchFlow::Path, ""},
        {{"--path", "a.bin", "extra"}, LaunchFlow::Path, "a.bin"},
        {{"--reset"}, LaunchFlow::Reset, ""},
        {{"--reset", "now", "please"}, LaunchFlow::Reset, ""},
        {{"--bt"}, LaunchFlow::Bluetooth, ""},
        {{"--python"}, LaunchFlow::Python, ""},
        {{"--PATH", "x"}, LaunchFlow::Window, ""},
        {{"--Reset"}, LaunchFlow::Window, ""},
        {{"--BT"}, LaunchFlow::Window, ""},
        {{"--path=x"}, LaunchFlow::Window, ""},
        {{"-path", "x"}, LaunchFlow::Window, ""},
        {{"-bt"}, LaunchFlow::Window, ""},
        {{"update", "--reset"}, LaunchFlow::Window, ""},
        {{"--python "}, LaunchFlow::Window, ""},
    };
    for (const Case& c : cases) {
        const LaunchChoice choice = chooseLaunch(c.args);
        std::string joined;
        for (const auto& a : c.args)
            joined += "[" + a + "]";
        EXPECT_EQ(choice.flow, c.flow) << joined;
        EXPECT_EQ(choice.imagePath, c.imagePath) << joined;
    }
}
