#include "OwnFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace OwnFolder {

namespace {

bool ownedDirectory(const struct stat& info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid();
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

// Empties the folder open as `folderFd`, staying on the device `device`.
bool removeContents(int folderFd, dev_t device)
{
    bool removedAll = true;
    for (const std::string& name : entryNames(folderFd)) {
        struct stat info {};
        if (fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            removedAll = false;
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            if (info.st_dev != device) {
                removedAll = false;
                continue;
            }
            const int childFd = openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd < 0) {
                removedAll = false;
                continue;
            }
            removedAll = removeContents(childFd, device) && removedAll;
            close(childFd);
            if (unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) != 0)
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
    const bool own = fstat(fd, &info) == 0 && ownedDirectory(info);
    const bool emptied = own && removeContents(fd, info.st_dev);
    close(fd);
    // rmdir never follows a link that might have been put in its place.
    return emptied && rmdir(path.toRawUTF8()) == 0;
}

} // namespace OwnFolder
