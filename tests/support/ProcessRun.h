#pragma once

#include <string>
#include <vector>

// Runs a program to its end with the given arguments and extra environment
// (NAME=VALUE; a bare NAME unsets it), capturing standard output and
// standard error apart.
struct ProcessResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
    std::vector<std::string> lines() const;
};

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {});
