#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Runs a program to its end with the given arguments and extra environment
// (NAME=VALUE; a bare NAME unsets it), capturing standard output and
// standard error apart, with the time each line of standard output came.
// A program still running after `timeoutSeconds` is killed. `onOutput`, when
// given, is called with the program's process id and its standard output so
// far each time more of it arrives (to signal it at a given point).
struct ProcessResult {
    int exitStatus = -1;
    bool timedOut = false;
    std::string out;
    std::string err;
    std::vector<std::chrono::steady_clock::time_point> lineTimes;
    std::vector<std::string> lines() const;
};

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {}, int timeoutSeconds = 300,
                         const std::function<void(int pid, const std::string& out)>& onOutput = {});
