#include "commands/Descendants.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How long the end waits for what it ended to be gone; SIGKILL takes
// milliseconds unless a process sits in the kernel (or is another user's,
// which a kill cannot reach).
constexpr auto kEndWait = std::chrono::seconds(2);

struct Process {
    pid_t pid;
    pid_t session;
    bool ended; // a zombie
};

std::mutex mutex;
bool adopting = false;
// Session ids (their leaders' ids) whose processes are left running.
std::set<pid_t> sparedSessions;

// This process's children, from /proc.
std::vector<Process> children()
{
    std::vector<Process> found;
    const pid_t self = getpid();
    DIR* folder = opendir("/proc");
    if (folder == nullptr)
        return found;
    while (const dirent* entry = readdir(folder)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // "pid (name) state ppid pgrp session ...": the name may hold anything.
        const std::size_t name = text.rfind(')');
        if (name == std::string::npos || name + 2 >= text.size())
            continue;
        char state = 0;
        long parent = 0;
        long group = 0;
        long session = 0;
        if (std::sscanf(text.c_str() + name + 2, "%c %ld %ld %ld", &state, &parent, &group, &session) != 4
            || parent != self)
            continue;
        found.push_back({static_cast<pid_t>(pid), static_cast<pid_t>(session), state == 'Z' || state == 'X'});
    }
    closedir(folder);
    return found;
}

bool spared(const Process& process)
{
    return sparedSessions.count(process.session) != 0 || sparedSessions.count(process.pid) != 0;
}

} // namespace

bool Descendants::adopt()
{
    std::lock_guard<std::mutex> lock(mutex);
    adopting = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    return adopting;
}

void Descendants::spare(const std::function<void()>& start)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!adopting) {
        start();
        return;
    }
    std::vector<pid_t> before;
    for (const Process& child : children())
        before.push_back(child.pid);
    start();
    // The launcher is a new child, which leads the session it made.
    for (const Process& child : children())
        if (std::find(before.begin(), before.end(), child.pid) == before.end())
            sparedSessions.insert(child.pid);
}

void Descendants::endAdopted()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!adopting)
        return;
    const auto giveUpAt = std::chrono::steady_clock::now() + kEndWait;
    std::set<pid_t> killed;
    std::set<pid_t> unreachable; // another user's (sudo's), or already gone
    for (;;) {
        bool waiting = false;
        // A process ended here hands its own children to this one: each
        // round looks again.
        for (const Process& child : children()) {
            if (child.ended) {
                waitpid(child.pid, nullptr, WNOHANG);
            } else if (!spared(child) && unreachable.count(child.pid) == 0) {
                if (killed.insert(child.pid).second && ::kill(child.pid, SIGKILL) != 0) {
                    unreachable.insert(child.pid);
                    continue;
                }
                waiting = true;
            }
        }
        if (!waiting || std::chrono::steady_clock::now() >= giveUpAt)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
