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

// How long a release waits for the killed group's processes to be gone.
constexpr auto kGroupEndWait = std::chrono::seconds(1);

struct Process {
    pid_t pid;
    pid_t parent;
    pid_t group;
    pid_t session;
    bool ended; // a zombie
};

std::mutex mutex;
bool adopting = false;
// Session ids (their leaders' ids) whose processes are left running.
std::set<pid_t> sparedSessions;
// Child programs whose starters reap them.
std::set<pid_t> held;

// Every process, from /proc.
std::vector<Process> processes()
{
    std::vector<Process> found;
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
        if (std::sscanf(text.c_str() + name + 2, "%c %ld %ld %ld", &state, &parent, &group, &session) != 4)
            continue;
        found.push_back({static_cast<pid_t>(pid), static_cast<pid_t>(parent), static_cast<pid_t>(group),
                         static_cast<pid_t>(session), state == 'Z' || state == 'X'});
    }
    closedir(folder);
    return found;
}

// This process's children.
std::vector<Process> children()
{
    std::vector<Process> found = processes();
    const pid_t self = getpid();
    found.erase(std::remove_if(found.begin(), found.end(), [self](const Process& p) { return p.parent != self; }),
                found.end());
    return found;
}

// The ended children that nobody else reaps.
void reapEnded()
{
    for (const Process& child : children())
        if (child.ended && held.count(child.pid) == 0)
            waitpid(child.pid, nullptr, WNOHANG);
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

pid_t Descendants::startHeld(const std::function<pid_t()>& start)
{
    // Under the lock: no reaping here can take the child before it is held.
    std::lock_guard<std::mutex> lock(mutex);
    const pid_t pid = start();
    if (pid > 0)
        held.insert(pid);
    return pid;
}

void Descendants::release(pid_t leader)
{
    std::unique_lock<std::mutex> lock(mutex);
    held.erase(leader);
    if (!adopting)
        return;
    // The group's processes come here as they end (their parents end too).
    lock.unlock();
    const auto giveUpAt = std::chrono::steady_clock::now() + kGroupEndWait;
    for (;;) {
        const std::vector<Process> all = processes();
        const bool running =
            std::any_of(all.begin(), all.end(), [leader](const Process& p) { return p.group == leader && !p.ended; });
        if (!running || std::chrono::steady_clock::now() >= giveUpAt)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    lock.lock();
    reapEnded();
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
                if (held.count(child.pid) == 0)
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
