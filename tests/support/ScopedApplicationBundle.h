#pragma once

#include "device/ble/ApplicationBundle.h"

// Makes the program look as if it were another file for one test; the real
// executable comes back when this goes.
class ScopedApplicationBundle {
public:
    ScopedApplicationBundle() = default;
    explicit ScopedApplicationBundle(const juce::File& executable) { use(executable); }
    ~ScopedApplicationBundle() { ApplicationBundle::setExecutableForTests({}); }
    ScopedApplicationBundle(const ScopedApplicationBundle&) = delete;
    ScopedApplicationBundle& operator=(const ScopedApplicationBundle&) = delete;

    void use(const juce::File& executable) { ApplicationBundle::setExecutableForTests(executable); }
};
