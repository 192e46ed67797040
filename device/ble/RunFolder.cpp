#include "device/ble/RunFolder.h"

#include "device/ble/FolderLock.h"
#include "device/ble/OwnFolder.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long the cache folder's lock is waited for before going on without it:
// an instance that holds it longer is stopped (Ctrl-Z) or hung, and in the
// window the wait blocks the message thread.
constexpr std::uint32_t kCacheLockWaitMs = 2000;
// How long this run's new folder's lock is waited for while another instance
// looks whether the folder's run has ended.
constexpr std::uint32_t kRunLockWaitMs = 200;

struct Held {
    std::mutex mutex;
    pid_t owner = -1; // a forked child holds nothing of its parent's
    int fd = -1;      // the run folder, open (and locked where the file system can)
    juce::File folder;
    juce::File cache;
    int users = 0;
};

Held& held()
{
    static Held h;
    return h;
}

std::string thisHost()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    std::string host = name;
    for (char& c : host)
        if (c == '/')
            c = '_';
    return host;
}

// "<host>-<process id>": a host sees only its own processes, so it judges
// only the run folders that bear its name.
juce::String runFolderName(pid_t pid) { return juce::String(thisHost()) + "-" + juce::String(static_cast<int>(pid)); }

enum class RunName {
    NotOne,    // another entry
    ThisHosts, // a run folder of this host's, of process `pid`
    Elsewhere, // a run folder of another host's, or one not named by host
};

RunName classify(const juce::String& name, pid_t& pid)
{
    const int dash = name.lastIndexOfChar('-');
    const juce::String number = dash >= 0 ? name.substring(dash + 1) : name;
    if (number.isEmpty() || number.length() > 9 || !number.containsOnly("0123456789"))
        return RunName::NotOne;
    if (dash <= 0 || name.substring(0, dash).toStdString() != thisHost())
        return RunName::Elsewhere;
    pid = static_cast<pid_t>(number.getIntValue());
    return RunName::ThisHosts;
}

bool processRuns(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

bool ownDirectory(const struct stat& info) { return S_ISDIR(info.st_mode) && info.st_uid == geteuid(); }

// A folder open for its lock, and whether it is locked: where the lock cannot
// be had (no flock on that file system, or someone kept it past the wait),
// the caller goes on without it.
struct OpenFolder {
    int fd = -1;
    FolderLock::Outcome lock = FolderLock::Outcome::Unsupported;
};

// `folder` open and locked, waiting `waitMs` at most for the lock, and still
// the folder at its path once the lock is had (another instance may have
// deleted it meanwhile); made when missing and `create`. fd -1 when it is not
// a real folder of this user's.
OpenFolder openFolder(const juce::File& folder, bool create, std::uint32_t waitMs)
{
    const std::string path = folder.getFullPathName().toStdString();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            if (errno != ENOENT || !create)
                return {};
            // Made with the folders above it; it fails when another
            // instance made it meanwhile, which does as well.
            folder.createDirectory();
            continue;
        }
        struct stat opened {};
        if (fstat(fd, &opened) != 0 || !ownDirectory(opened)) {
            close(fd);
            return {};
        }
        const FolderLock::Outcome lock = FolderLock::lockWithin(fd, waitMs);
        // One wait in all: a folder replaced meanwhile is only tried again.
        if (lock == FolderLock::Outcome::Busy)
            waitMs = 0;
        struct stat now {};
        if (lstat(path.c_str(), &now) == 0 && now.st_dev == opened.st_dev && now.st_ino == opened.st_ino)
            return {fd, lock};
        close(fd);
    }
    return {};
}

// Deletes the run folder `entry` of process `pid` of this host when its run
// has ended. Its lock tells where the file system has one, and is held while
// the folder goes; its process tells in any case, also for an instance that
// goes on without the cache folder's lock and has made its folder but not
// locked it yet.
void removeIfEnded(const juce::File& entry, pid_t pid)
{
    const int fd = open(entry.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    // A folder of this very process that it does not hold is left by an
    // earlier process that had the same id.
    if (FolderLock::tryLock(fd) != FolderLock::Outcome::Busy && (pid == getpid() || !processRuns(pid)))
        OwnFolder::remove(entry);
    close(fd);
}

// Deletes in `folder` this host's run folders whose run has ended and, when
// `everythingUnused`, whatever is not a run folder (left by older versions of
// the program); never `keep`, this process's own, nor another host's.
void removeUnusedIn(const juce::File& folder, bool everythingUnused, const juce::File& keep)
{
    for (const juce::File& entry :
         folder.findChildFiles(juce::File::findFilesAndDirectories, false, "*", juce::File::FollowSymlinks::no)) {
        if (entry == keep)
            continue;
        const std::string path = entry.getFullPathName().toStdString();
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0)
            continue;
        pid_t pid = 0;
        const RunName run = classify(entry.getFileName(), pid);
        if (run == RunName::Elsewhere)
            continue;
        if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
            if (run == RunName::ThisHosts || everythingUnused)
                unlink(path.c_str());
        } else if (run == RunName::ThisHosts) {
            removeIfEnded(entry, pid);
        } else if (everythingUnused) {
            OwnFolder::remove(entry);
        }
    }
}

// The cache folder goes when nothing is left in it (rmdir fails otherwise),
// unless another instance holds its lock, about to make its folder there.
void removeIfEmpty(const juce::File& folder)
{
    const OpenFolder opened = openFolder(folder, false, 0);
    if (opened.fd < 0)
        return;
    if (opened.lock != FolderLock::Outcome::Busy)
        rmdir(folder.getFullPathName().toRawUTF8());
    close(opened.fd);
}

void drop(Held& h)
{
    if (h.fd < 0)
        return;
    if (h.owner == getpid()) {
        OwnFolder::remove(h.folder);
        close(h.fd);
        removeIfEmpty(h.cache);
    } else {
        close(h.fd); // the parent's, which stays locked by the parent
    }
    h.fd = -1;
    h.folder = juce::File();
    h.cache = juce::File();
}

// Makes and opens this run's folder, locked where the file system can lock
// it. An instance that checks whether the folder's run has ended holds its
// lock for a moment; the run then goes on without it, its process id telling
// that it runs. -1 when the folder cannot be made; errno ENOENT when the
// cache folder went meanwhile.
int makeRunFolder(const juce::File& folder)
{
    const std::string path = folder.getFullPathName().toStdString();
    if (mkdir(path.c_str(), 0700) != 0)
        return -1;
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        FolderLock::lockWithin(fd, kRunLockWaitMs);
    return fd;
}

} // namespace

juce::File RunFolder::hold(const juce::File& cache, bool& madeNow)
{
    madeNow = false;
    Held& h = held();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (h.fd >= 0 && h.owner == getpid() && h.cache == cache && OwnFolder::isOwn(h.folder))
        return h.folder;
    drop(h);

    const juce::File folder = cache.getChildFile(runFolderName(getpid()));
    int fd = -1;
    std::uint32_t waitMs = kCacheLockWaitMs;
    // Without the cache folder's lock, an instance that ends may remove the
    // cache folder, then empty, between its opening here and the making of
    // this run's folder in it: it is made again.
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        const OpenFolder opened = openFolder(cache, true, waitMs);
        if (opened.fd < 0)
            return {};
        if (opened.lock == FolderLock::Outcome::Busy)
            waitMs = 0;
        removeUnusedIn(cache, false, {});
        fd = makeRunFolder(folder);
        const bool cacheWent = fd < 0 && errno == ENOENT;
        close(opened.fd);
        if (!cacheWent)
            break;
    }
    if (fd < 0)
        return {};

    h.owner = getpid();
    h.fd = fd;
    h.folder = folder;
    h.cache = cache;
    madeNow = true;
    return folder;
}

void RunFolder::acquire()
{
    Held& h = held();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (h.owner != getpid()) {
        drop(h);
        h.users = 0;
        h.owner = getpid();
    }
    ++h.users;
}

void RunFolder::release()
{
    Held& h = held();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (h.users > 0)
        --h.users;
    if (h.users == 0)
        drop(h);
}

void RunFolder::removeUnused(const juce::File& folder, bool everythingUnused)
{
    // Whatever is mounted there is not the program's to empty.
    if (OwnFolder::isMountPoint(folder))
        return;
    // Another instance at work in it: left for a later run.
    const OpenFolder opened = openFolder(folder, false, 0);
    if (opened.fd < 0)
        return;
    if (opened.lock != FolderLock::Outcome::Busy) {
        Held& h = held();
        std::lock_guard<std::mutex> lock(h.mutex);
        removeUnusedIn(folder, everythingUnused, h.owner == getpid() ? h.folder : juce::File());
        rmdir(folder.getFullPathName().toRawUTF8());
    }
    close(opened.fd);
}
