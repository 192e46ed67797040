#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct ProcessResult;

// How the program's standard descriptors are served; by default both output
// pipes are read to their end.
struct ProcessOptions {
    // The reader closes its end of standard output after this many lines
    // (0: before the program starts, or with a stall, when the stall ends).
    int closeOutputAfterLines = -1;
    // When given, standard output is a pipe of one page that nobody reads
    // until this says so; it is asked every few ms, with what has come so far
    // (standard error is read meanwhile).
    std::function<bool(const ProcessResult& soFar)> stallOutputUntil;
    // Standard output is non-blocking (O_NONBLOCK on the pipe's end, as a
    // parent that shares the descriptor may set): a full pipe gives EAGAIN.
    bool nonBlockingOutput = false;
    // Descriptors among 0, 1 and 2 the program starts with closed.
    std::vector<int> closedDescriptors;
    // Called with the program's process id and its standard output so far
    // each time more of it arrives (to signal it at a given point).
    std::function<void(int pid, const std::string& out)> onOutput;
};

// Runs a program to its end with the given arguments and extra environment
// (NAME=VALUE; a bare NAME unsets it), capturing standard output and
// standard error apart, with the time each line of standard output came.
// A program still running after `timeoutSeconds` is killed.
struct ProcessResult {
    int exitStatus = -1;
    bool timedOut = false;
    int pid = -1;
    std::string out;
    std::string err;
    std::vector<std::chrono::steady_clock::time_point> lineTimes;
    // For each of the closed descriptors, what it was seen open on while the
    // program ran (its /proc link, sampled every few ms), each change once,
    // in order.
    std::map<int, std::vector<std::string>> descriptorTargets;
    std::vector<std::string> lines() const;
};

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {}, int timeoutSeconds = 300,
                         const ProcessOptions& options = {});

// This process's environment with `changes` made (NAME=VALUE sets NAME, a
// bare NAME unsets it, a later change of a name wins), for execve.
std::vector<std::string> environmentWith(const std::vector<std::string>& changes);
// The strings' characters, ending with a null pointer, as execve takes them;
// valid while `strings` is left as it is.
std::vector<char*> pointersTo(std::vector<std::string>& strings);

// Whether the process with this id has ended (gone, or a zombie) within
// `withinMs`; for processes that a program under test started and was to
// end, whose id a test learnt from a file.
bool processEnds(int pid, int withinMs = 2000);
