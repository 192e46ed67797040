#pragma once

#include <cstdint>

// flock on an open folder, for the cache folders that instances of the
// program share. Some file systems have no working flock (NFS without its
// lock daemon fails it with ENOLCK, some FUSE mounts with ENOSYS or
// EOPNOTSUPP); the callers then go on without the lock.
namespace FolderLock {

enum class Outcome {
    Locked,      // held exclusively through this descriptor
    Busy,        // held by someone else
    Unsupported, // the file system cannot lock it
};

// One try, without blocking.
Outcome tryLock(int fd);

// Tries again every 50 ms (zq::Clock) while someone else holds the lock:
// Busy once `limitMs` have passed since the first try.
Outcome lockWithin(int fd, std::uint32_t limitMs);

// What locks: flock(fd, operation) unless a test put another in its place.
using Function = int (*)(int fd, int operation);
// Puts `function` in flock's place (null: flock again); returns the one it replaced.
Function setFunctionForTests(Function function);

} // namespace FolderLock
