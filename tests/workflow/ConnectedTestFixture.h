#pragma once

#include "tests/support/window/WindowTestSupport.h"

#include "tests/support/FastClock.h"
#include "tests/support/ScopedApplicationBundle.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <memory>
#include <string>
#include <vector>

// The ways the firmware file's version can stay unknown.
enum class LatestUnknown { FileRefused, NoLibrary, CacheFolderUnusable };

// The window's main component over simulated MIDI ports, showing its first
// page, with the polling stopped so that each test enters the states itself.
// The product's waits run five times faster: a probe's 1 s is 200 ms, a reply
// time-out of 3000 ms is 600 ms, wide enough for replies on a loaded machine.
// The Bluetooth library and its firmware file come from an application folder
// of the test's own, and the library's cache folder lies in the test's
// temporary folder.
class ConnectedTest : public WindowTest {
protected:
    void SetUp() override;

    // Probes on the message thread and opens the first amplifier into the
    // device manager's slot, as the connect step does.
    void openFirstAmplifier();
    // Changes the state and runs the message loop until `done` holds.
    bool enterAndRunUntil(std::unique_ptr<AppState> state, const std::function<bool()>& done, int timeoutMs = 10000);

    // The version text that the stand-in library reads from the firmware file.
    void writeFirmwareVersion(const std::string& version);
    // Leaves the firmware file's version unknown to the program, for `why`.
    void hideLatestBluetoothVersion(LatestUnknown why);
    void setKnob(const char* name, const std::string& value);

    std::string row(int index) const;
    bool resultShown(int kind, int code) const;
    bool connectedPageShown() const;

    // Whether the amplifier took a command frame with these operation bytes,
    // or a bootloader message with this tag.
    static bool receivedCommand(const sim::SimulatedAmplifier& amplifier, std::uint8_t op1, std::uint8_t op2);
    static bool receivedTag(const sim::SimulatedAmplifier& amplifier, const std::string& tag);

    FastClock clock{5};
    ScopedEnvironment environment;
    ScopedApplicationBundle executable;
    std::unique_ptr<TempFolder> temp;
    juce::File bundle;
};
