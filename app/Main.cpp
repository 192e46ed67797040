#include "app/NimbalFwUpgradeLauncherApplication.h"
#include "device/midi/JuceMidiPortSystem.h"

namespace {
// The product talks to the real MIDI system, from before the application starts.
[[maybe_unused]] const bool juceMidiPortsInstalled = (zq::installJuceMidiPorts(), true);
} // namespace

START_JUCE_APPLICATION(NimbalFwUpgradeLauncherApplication)
