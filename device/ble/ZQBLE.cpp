#include "ZQBLE.h"

#include "ApplicationBundle.h"
#include "OwnFolder.h"

#include <cstdlib>

namespace ZQBLE {

#if defined(__APPLE__)
const char* const libraryFileName = "libProduction.dylib";
#else
const char* const libraryFileName = "libProduction.so";
#endif

namespace {

constexpr juce::int64 kStaleAfterMs = 300000;

juce::File cacheRoot()
{
    const juce::File home = juce::File::getSpecialLocation(juce::File::userHomeDirectory);
#if defined(__APPLE__)
    return home.getChildFile("Library/Caches");
#else
    // A relative XDG_CACHE_HOME is invalid and ignored, as the XDG rules say.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && juce::File::isAbsolutePath(xdg))
        return juce::File(juce::String::fromUTF8(xdg));
    return home.getChildFile(".cache");
#endif
}

// Linux cannot set a folder's status-change time (which is what juce::File
// reports as its creation time here), so the age is taken from the
// modification time, in whole seconds as juce::File reports it.
bool isStale(const juce::File& folder)
{
    const juce::int64 changed = folder.getLastModificationTime().toMilliseconds();
    return juce::Time::currentTimeMillis() - changed > kStaleAfterMs;
}

bool isPresent(const juce::File& file)
{
    return file.exists() || file.isSymbolicLink();
}

} // namespace

juce::File cacheFolder()
{
    return cacheRoot().getChildFile(ApplicationBundle::executable().getFileName());
}

juce::File staleCacheFolder()
{
    return cacheRoot().getChildFile("Kovra Tiko Firmware Updater");
}

std::string getBLELibraryPath()
{
    const juce::File stale = staleCacheFolder();
    if (OwnFolder::isOwn(stale) && isStale(stale))
        OwnFolder::remove(stale);

    const juce::File cache = cacheFolder();
    if (!isPresent(cache))
        cache.createDirectory();
    if (!OwnFolder::isOwn(cache))
        return {};

    const juce::File lib = cache.getChildFile("lib");
    if (!isPresent(lib))
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
