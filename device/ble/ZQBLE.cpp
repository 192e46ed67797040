#include "device/ble/ZQBLE.h"

#include "device/ble/ApplicationBundle.h"
#include "device/ble/OwnFolder.h"
#include "device/ble/RunFolder.h"

#include <atomic>
#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace ZQBLE {

#if defined(__APPLE__)
const char* const libraryFileName = "libProduction.dylib";
#else
const char* const libraryFileName = "libProduction.so";
#endif

namespace {

constexpr juce::int64 kStaleAfterMs = 300000;

juce::int64 systemWallClock() { return juce::Time::currentTimeMillis(); }

std::atomic<WallClock> g_wallClock{systemWallClock};

// HOME when it is an absolute path; an empty or relative one would put the
// cache at the file-system root or in the working folder, so the password
// database's home stands in. None at all: no cache, hence no library.
juce::File userHome()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && juce::File::isAbsolutePath(home))
        return juce::File(juce::String::fromUTF8(home));
    const passwd* user = getpwuid(geteuid());
    if (user != nullptr && user->pw_dir != nullptr && juce::File::isAbsolutePath(user->pw_dir))
        return juce::File(juce::String::fromUTF8(user->pw_dir));
    return {};
}

// The empty File when there is none.
juce::File cacheRoot()
{
#if !defined(__APPLE__)
    // A relative XDG_CACHE_HOME is invalid and ignored, as the XDG rules say.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && juce::File::isAbsolutePath(xdg))
        return juce::File(juce::String::fromUTF8(xdg));
#endif
    const juce::File home = userHome();
    if (home == juce::File())
        return {};
#if defined(__APPLE__)
    return home.getChildFile("Library/Caches");
#else
    return home.getChildFile(".cache");
#endif
}

juce::File inCacheRoot(const juce::String& name)
{
    const juce::File root = cacheRoot();
    return root == juce::File() ? juce::File() : root.getChildFile(name);
}

// Linux cannot set a folder's status-change time (which is what juce::File
// reports as its creation time here), so the age is taken from the
// modification time, in whole seconds as juce::File reports it.
bool isStale(const juce::File& folder)
{
    const juce::int64 changed = folder.getLastModificationTime().toMilliseconds();
    return g_wallClock.load()() - changed > kStaleAfterMs;
}

} // namespace

juce::File cacheFolder() { return inCacheRoot(ApplicationBundle::executable().getFileName()); }

juce::File staleCacheFolder() { return inCacheRoot("Kovra Tiko Firmware Updater"); }

WallClock setWallClockForTests(WallClock clock)
{
    return g_wallClock.exchange(clock != nullptr ? clock : systemWallClock);
}

std::string getBLELibraryPath()
{
    const juce::File stale = staleCacheFolder();
    if (OwnFolder::isOwn(stale) && isStale(stale))
        RunFolder::removeUnused(stale, true);

    const juce::File cache = cacheFolder();
    if (cache == juce::File())
        return {};
    bool madeNow = false;
    const juce::File run = RunFolder::hold(cache, madeNow);
    if (run == juce::File())
        return {};

    // Always a copy of the bundle's own, made into a folder of this run's:
    // one that an earlier run left behind may be another version's.
    const juce::File lib = run.getChildFile("lib");
    if (madeNow)
        ApplicationBundle::helpers().copyDirectoryTo(lib);
    else if (!OwnFolder::isOwn(lib))
        return {};

    const juce::File nested = lib.getChildFile("lib");
    if (nested.isSymbolicLink() || nested.existsAsFile())
        nested.deleteFile();
    else if (nested.isDirectory())
        OwnFolder::remove(nested);

    return lib.getFullPathName().toStdString();
}

std::string getFirmwarePath()
{
    return ApplicationBundle::resources().getChildFile("ble_firmware.fw").getFullPathName().toStdString();
}

} // namespace ZQBLE
