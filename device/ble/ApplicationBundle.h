#pragma once

#include <juce_core/juce_core.h>

// The application folder: on macOS the .app bundle, elsewhere the folder that
// holds the executable, beside which the build lays out Contents/Helpers and
// Contents/Resources.
class ApplicationBundle {
public:
    // The running program's real file (/proc/self/exe here: JUCE's current
    // application file is wrong after a PATH lookup).
    static juce::File executable();

    static juce::File folder();
    static juce::File contents();
    static juce::File helpers();
    static juce::File resources();
    // The Python 2.7 installer package in Resources.
    static juce::File pythonPackage();

    // Makes the program look as if it were `file`, so that tests can point
    // the bundle and the cache folder elsewhere; an empty File restores the
    // real one.
    static void setExecutableForTests(const juce::File& file);
};
