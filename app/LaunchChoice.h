#pragma once

#include <string>
#include <vector>

// What the first command-line argument asks for.
enum class LaunchFlow { Window, Path, Reset, Bluetooth, Python };

struct LaunchChoice {
    LaunchFlow flow = LaunchFlow::Window;
    std::string imagePath; // the --path flow's image file; empty when missing
};

// `args` are the process arguments after the program name. Only an exact,
// case-sensitive match of the first one selects a console flow.
LaunchChoice chooseLaunch(const std::vector<std::string>& args);
