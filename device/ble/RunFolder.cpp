#include "device/ble/RunFolder.h"

#include "device/ble/OwnFolder.h"

#include <cerrno>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Held {
    std::mutex mutex;
    pid_t owner = -1; // a forked child holds nothing of its parent's
    int fd = -1;      // the run folder, open and locked
    juce::File folder;
    juce::File cache;
    int users = 0;
};

Held& held()
{
    static Held h;
    return h;
}

bool isRunFolderName(const juce::String& name) { return name.isNotEmpty() && name.containsOnly("0123456789"); }

bool ownDirectory(const struct stat& info) { return S_ISDIR(info.st_mode) && info.st_uid == geteuid(); }

// `folder` open and locked exclusively, still the folder at its path once the
// lock is had (another instance may have deleted it meanwhile); made when
// missing and `create`. -1 when it is not a real folder of this user's.
int lockFolder(const juce::File& folder, bool create)
{
    const std::string path = folder.getFullPathName().toStdString();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            if (errno != ENOENT || !create)
                return -1;
            // Made with the folders above it; it fails when another
            // instance made it meanwhile, which does as well.
            folder.createDirectory();
            continue;
        }
        struct stat opened {};
        int locked = -1;
        if (fstat(fd, &opened) == 0 && ownDirectory(opened)) {
            do
                locked = flock(fd, LOCK_EX);
            while (locked != 0 && errno == EINTR);
        }
        if (locked != 0) {
            close(fd);
            return -1;
        }
        struct stat now {};
        if (lstat(path.c_str(), &now) == 0 && now.st_dev == opened.st_dev && now.st_ino == opened.st_ino)
            return fd;
        close(fd);
    }
    return -1;
}

void removeUnusedIn(const juce::File& folder, bool everythingUnused)
{
    for (const juce::File& entry :
         folder.findChildFiles(juce::File::findFilesAndDirectories, false, "*", juce::File::FollowSymlinks::no)) {
        const std::string path = entry.getFullPathName().toStdString();
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0)
            continue;
        const bool runFolder = isRunFolderName(entry.getFileName());
        if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
            if (runFolder || everythingUnused)
                unlink(path.c_str());
        } else if (runFolder) {
            // Nobody holds it: its run has ended.
            const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                continue;
            if (flock(fd, LOCK_EX | LOCK_NB) == 0)
                OwnFolder::remove(entry);
            close(fd);
        } else if (everythingUnused) {
            OwnFolder::remove(entry);
        }
    }
}

// The cache folder goes when nothing is left in it; rmdir fails otherwise.
void removeIfEmpty(const juce::File& folder)
{
    const int fd = lockFolder(folder, false);
    if (fd < 0)
        return;
    rmdir(folder.getFullPathName().toRawUTF8());
    close(fd);
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

} // namespace

juce::File RunFolder::hold(const juce::File& cache, bool& madeNow)
{
    madeNow = false;
    Held& h = held();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (h.fd >= 0 && h.owner == getpid() && h.cache == cache && OwnFolder::isOwn(h.folder))
        return h.folder;
    drop(h);

    const int cacheFd = lockFolder(cache, true);
    if (cacheFd < 0)
        return {};
    removeUnusedIn(cache, false);
    const juce::File folder = cache.getChildFile(juce::String(static_cast<int>(getpid())));
    const std::string path = folder.getFullPathName().toStdString();
    int fd = -1;
    if (mkdir(path.c_str(), 0700) == 0) {
        fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            fd = -1;
        }
    }
    close(cacheFd);
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
    const int fd = lockFolder(folder, false);
    if (fd < 0)
        return;
    removeUnusedIn(folder, everythingUnused);
    rmdir(folder.getFullPathName().toRawUTF8());
    close(fd);
}
