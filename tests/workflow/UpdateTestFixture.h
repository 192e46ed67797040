#pragma once

#include "tests/workflow/ConnectedTestFixture.h"

#include "tests/support/FastClock.h"
#include "tests/support/ScopedCommandTable.h"
#include "tests/support/window/ProgressValues.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The connected page filled as the connected state leaves it, ready for
// "Update Firmware". The Python programs are fakes in the test's temporary
// folder; every value the bar is set to is noted in `bar`.
class UpdateTest : public ConnectedTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the product's clock faster than the fixture's five; call it while
    // nothing waits.
    void speedUp(std::uint32_t factor);

    sim::SimulatedAmplifier& plugAmplifier(sim::AmplifierConfig config = {});
    void fillRows(const std::string& serial, const std::string& mcu, const std::string& bt, int hardwareType = 20);
    // What "Update Firmware" does: the checking state.
    void startUpdate();
    std::string toastText() const;

    // The fake programs. The local and system Python answer `versionLine`
    // (on standard error, as Python 2 does); ln and the privileged link
    // really link them.
    std::string localPython() const;
    std::string systemPython() const;
    void localPythonAnswers(const std::string& versionLine);
    void systemPythonAnswers(const std::string& versionLine);
    void lnWorks();
    void lnMakesNothing();
    // osascript: links for "sudo ln", runs `installerBody` for "installer".
    void osascript(const std::string& installerBody);
    // Shell words that wait until release() has been called.
    std::string waitForRelease() const;
    void release() const;

    // Runs the message loop until `done`; `onSlice` runs between turns.
    bool runSlicesUntil(const std::function<bool()>& done, int timeoutMs = 20000,
                        const std::function<void()>& onSlice = {});
    bool runUntilResult(int timeoutMs = 20000, const std::function<void()>& onSlice = {});
    std::optional<std::pair<int, int>> result() const; // kind, code
    bool pythonPageShown() const;

    static bool tookStatus(const sim::SimulatedAmplifier& amplifier, std::uint8_t status);
    // The amplifier reboots after its Bluetooth update: gone on "SetFwStatus"
    // 02, back once a probe has seen it gone (never when `comesBack` is
    // false). Hand it to runSlicesUntil as `onSlice`.
    std::function<void()> rebootAfterBluetoothUpdate(const sim::SimulatedAmplifier& amplifier, bool comesBack = true);

    // Whether the device polling still probes a port list that changed:
    // plugs a silent device for five polling periods.
    bool pollingRuns();

    std::vector<double> bar; // every value the bar was set to, in order
    std::unique_ptr<ProgressValues> barValues;
    sim::SimulatedMidiPorts::Device plugged = -1;

private:
    static bool pollingSawNoPorts();

    bool wentAway = false;
    std::unique_ptr<FastClock> fasterClock;
    ScopedCommandTable commands;
};

// Whether `values` holds `wanted` (within float rounding).
bool holds(const std::vector<double>& values, double wanted);
