#include "device/ble/OwnFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace OwnFolder {

namespace {

bool ownedDirectory(const struct stat& info) { return S_ISDIR(info.st_mode) && info.st_uid == geteuid(); }

// Which mount a folder belongs to. A bind mount of the same file system has
// the same device number, so the kernel's mount id is needed to tell it
// apart; without one (kernels before 5.8) the device number is all there is.
struct Mount {
    dev_t device = 0;
    bool hasId = false;
    std::uint64_t id = 0;

    bool operator==(const Mount& other) const
    {
        return device == other.device && (!hasId || !other.hasId || id == other.id);
    }
};

bool mountOf(int fd, Mount& mount)
{
#if defined(STATX_MNT_ID)
    struct statx extended {};
    if (statx(fd, "", AT_EMPTY_PATH | AT_NO_AUTOMOUNT, STATX_MNT_ID, &extended) == 0) {
        mount.device = makedev(extended.stx_dev_major, extended.stx_dev_minor);
        mount.hasId = (extended.stx_mask & STATX_MNT_ID) != 0;
        mount.id = extended.stx_mnt_id;
        return true;
    }
#endif
    struct stat info {};
    if (fstat(fd, &info) != 0)
        return false;
    mount.device = info.st_dev;
    return true;
}

std::vector<std::string> entryNames(int folderFd)
{
    std::vector<std::string> names;
    const int listFd = dup(folderFd);
    if (listFd < 0)
        return names;
    DIR* dir = fdopendir(listFd);
    if (dir == nullptr) {
        close(listFd);
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

// Empties the folder open as `folderFd`, staying on its mount `mount`: a
// folder mounted inside (another file system, or a bind mount) is left whole.
bool removeContents(int folderFd, const Mount& mount)
{
    bool removedAll = true;
    for (const std::string& name : entryNames(folderFd)) {
        struct stat info {};
        if (fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            removedAll = false;
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            const int childFd = openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd < 0) {
                removedAll = false;
                continue;
            }
            // The folder as opened is the one looked at, whatever was put in
            // its place since.
            Mount childMount;
            const bool sameMount = mountOf(childFd, childMount) && childMount == mount;
            removedAll = sameMount && removeContents(childFd, mount) && removedAll;
            close(childFd);
            if (!sameMount || unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) != 0)
                removedAll = false;
        } else if (unlinkat(folderFd, name.c_str(), 0) != 0) {
            removedAll = false;
        }
    }
    return removedAll;
}

} // namespace

bool isOwn(const juce::File& folder)
{
    struct stat info {};
    return lstat(folder.getFullPathName().toRawUTF8(), &info) == 0 && ownedDirectory(info);
}

bool remove(const juce::File& folder)
{
    const juce::String path = folder.getFullPathName();
    const int fd = open(path.toRawUTF8(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    Mount mount;
    const bool own = fstat(fd, &info) == 0 && ownedDirectory(info) && mountOf(fd, mount);
    const bool emptied = own && removeContents(fd, mount);
    close(fd);
    // rmdir never follows a link that might have been put in its place.
    return emptied && rmdir(path.toRawUTF8()) == 0;
}

} // namespace OwnFolder
