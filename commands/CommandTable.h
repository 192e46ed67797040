#pragma once

#include <string>

// Where the outside programs of the Python check live. The product uses the
// values below; tests and the demo point them at fake programs.
struct CommandTable {
    std::string localPython = "/usr/local/bin/python";
    std::string systemPython = "/usr/bin/python";
    std::string ln = "ln";
    std::string osascript = "osascript";

    static CommandTable& current();
};
