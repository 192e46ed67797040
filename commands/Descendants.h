#pragma once

#include <functional>

#include <sys/types.h>

// The processes that the program's child programs leave behind. A child
// leads a process group of its own, and a kill ends that group; a process
// that leaves the group (setsid, as a daemon does) outlives it. Where the
// platform lets a process adopt its descendants' orphans (Linux: the child
// subreaper), the program adopts them and ends them at its end.
namespace Descendants {

// From now on orphaned descendants become this process's children. For the
// programs, from their start: false where the platform has no such thing.
bool adopt();

// Runs `start`, which starts a process meant to outlive the program (the
// desktop's browser for a web page, through a launcher in a session of its
// own): what it starts in that session is left running at the end.
void spare(const std::function<void()>& start);

// Runs `start`, which starts a child program and gives its process id (or
// -1): until `release`, that child is its starter's to reap, never reaped
// here.
pid_t startHeld(const std::function<pid_t()>& start);
// After the starter has reaped `leader`, having killed its process group:
// waits a moment for what was in that group to be gone, and reaps the
// adopted processes that have ended.
void release(pid_t leader);

// At the program's end, once no child program is awaited any more: ends
// every adopted process and every child still running, except the spared,
// and reaps them and every child that has ended. Nothing without `adopt`.
void endAdopted();

} // namespace Descendants
