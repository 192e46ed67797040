#pragma once

#include <juce_core/juce_core.h>

#include <string>

// Where the Bluetooth-module production library and its firmware are found.
namespace ZQBLE {

// The library's file name on this platform.
extern const char* const libraryFileName;

// The per-user cache folder: $XDG_CACHE_HOME (else ~/.cache), or
// ~/Library/Caches on macOS, followed by the executable's name. The home is
// $HOME when absolute, else the password database's; the empty File when
// neither gives one.
juce::File cacheFolder();

// The cache folder of the application's own name, deleted when it has been
// left behind for more than five minutes.
juce::File staleCacheFolder();

// The wall clock, in ms since 1970, that the five minutes are counted on:
// juce::Time's unless a test fixed it (null: juce::Time's again). Returns
// the one it replaced.
using WallClock = juce::int64 (*)();
WallClock setWallClockForTests(WallClock clock);

// Prepares <cache>/<host>-<process id>/lib, a fresh copy of the bundle's
// Helpers folder in this run's locked folder (RunFolder), and returns its full path;
// an empty text when the cache folder is not a real folder of this user's or
// this run's folder cannot be made.
std::string getBLELibraryPath();

// <bundle>/Contents/Resources/ble_firmware.fw; the file is not checked.
std::string getFirmwarePath();

} // namespace ZQBLE
