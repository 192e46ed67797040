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

// `folder` opened inside its parent, without following a link, as the
// deletion sees them both: the parent's descriptor stays open for the
// folder's own removal. fd is -1 when either cannot be opened.
struct Opened {
    int parentFd = -1;
    int fd = -1;
    std::string name;

    explicit Opened(const juce::File& folder) : name(folder.getFileName().toStdString())
    {
        parentFd = open(folder.getParentDirectory().getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (parentFd >= 0 && !name.empty())
            fd = openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    ~Opened()
    {
        if (fd >= 0)
            close(fd);
        if (parentFd >= 0)
            close(parentFd);
    }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;

    // The folder's mount, when it is its parent's: a folder that is itself
    // a mount point belongs to what is mounted there.
    bool onParentsMount(Mount& mount) const
    {
        Mount parentMount;
        return fd >= 0 && mountOf(fd, mount) && mountOf(parentFd, parentMount) && mount == parentMount;
    }
};

} // namespace

bool isOwn(const juce::File& folder)
{
    struct stat info {};
    return lstat(folder.getFullPathName().toRawUTF8(), &info) == 0 && ownedDirectory(info);
}

bool isMountPoint(const juce::File& folder)
{
    const Opened opened(folder);
    Mount mount;
    return !opened.onParentsMount(mount);
}

bool remove(const juce::File& folder)
{
    Opened opened(folder);
    struct stat info {};
    Mount mount;
    const bool own =
        opened.fd >= 0 && fstat(opened.fd, &info) == 0 && ownedDirectory(info) && opened.onParentsMount(mount);
    const bool emptied = own && removeContents(opened.fd, mount);
    if (opened.fd >= 0) {
        close(opened.fd);
        opened.fd = -1;
    }
    // Removed by name in the parent opened above, never through a link that
    // might have been put in its place.
    return emptied && unlinkat(opened.parentFd, opened.name.c_str(), AT_REMOVEDIR) == 0;
}

} // namespace OwnFolder
