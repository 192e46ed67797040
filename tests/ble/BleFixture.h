#pragma once

#include "tests/ble/RecordingListener.h"
#include "tests/support/ScopedApplicationBundle.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

// A run folder's name on this host: "<host>-<process id>".
juce::String runFolderName(long pid);
// This run's copy of the Helpers folder: <cache>/<host>-<pid>/lib.
juce::File runLib();

// Each test gets its own home, cache root and application folder in a
// temporary folder, never the real ~/.cache; the stand-in library's knobs are
// cleared, and its calls are logged to a file of the test's own.
class BleFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Puts `library` into the application folder's Helpers as the
    // production library.
    void useLibrary(const char* library);
    // Names the program, and so its cache folder.
    void nameExecutable(const juce::String& name);
    void setKnob(const char* name, const std::string& value);

    // The stand-in's call log, one call per entry.
    std::vector<std::string> calls() const;
    // The folder's modification time moved `seconds` into the past.
    static void age(const juce::File& folder, int seconds);
    // The folder's modification time set to `secondsSince1970`.
    static void setModified(const juce::File& folder, std::time_t secondsSince1970);
    // A folder beside the cache with a file in it, for what must survive.
    juce::File makeOutsideFolder();
    static bool holdsKeepFile(const juce::File& folder);

    ScopedEnvironment environment;
    ScopedApplicationBundle executable;
    juce::File root, home, cacheRoot, bundle;
    RecordingListener listener;

private:
    std::unique_ptr<TempFolder> temp;
};
