#include "device/ble/FolderLock.h"

#include "runtime/Clock.h"

#include <atomic>
#include <cerrno>

#include <sys/file.h>

namespace FolderLock {

namespace {

constexpr std::uint32_t kRetryMs = 50;

int systemFlock(int fd, int operation) { return flock(fd, operation); }

std::atomic<Function> g_function{systemFlock};

} // namespace

Outcome tryLock(int fd)
{
    const Function lock = g_function.load();
    for (;;) {
        if (lock(fd, LOCK_EX | LOCK_NB) == 0)
            return Outcome::Locked;
        if (errno == EINTR)
            continue;
        // Anything but "held by another" says that this file system gives no
        // lock: ENOLCK, ENOSYS, EOPNOTSUPP and their kin.
        return errno == EWOULDBLOCK ? Outcome::Busy : Outcome::Unsupported;
    }
}

Outcome lockWithin(int fd, std::uint32_t limitMs)
{
    const std::uint32_t start = zq::Clock::now();
    for (;;) {
        const Outcome outcome = tryLock(fd);
        if (outcome != Outcome::Busy || zq::Clock::now() - start >= limitMs)
            return outcome;
        zq::Clock::sleepMs(kRetryMs);
    }
}

Function setFunctionForTests(Function function)
{
    return g_function.exchange(function != nullptr ? function : systemFlock);
}

} // namespace FolderLock
