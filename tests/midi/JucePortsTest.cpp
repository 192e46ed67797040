#include "device/midi/JuceMidiPortSystem.h"
#include "tests/support/ProcessRun.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

bool machineHasMidi() { return std::filesystem::exists("/dev/snd/seq"); }

} // namespace

TEST(JuceMidiPorts, NoPortsNothingOpenedAndNothingOnStandardError)
{
    if (machineHasMidi())
        GTEST_SKIP() << "this machine has a MIDI system";
    const ProcessResult run = runProcess(KOVRA_MIDI_HELPER, {"juce"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.lines(), (std::vector<std::string>{"inputs 0", "outputs 0", "input opened no", "output opened no",
                                                     "found 0", "device opened no"}));
    EXPECT_EQ(run.err, "");
}

TEST(JuceMidiPorts, AlsaWouldComplainWithoutTheHandler)
{
    if (machineHasMidi())
        GTEST_SKIP() << "this machine has a MIDI system";
    const ProcessResult run = runProcess(KOVRA_MIDI_HELPER, {"juce-raw"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_NE(run.err.find("/dev/snd/seq"), std::string::npos) << run.err;
}

TEST(DeviceManagerExit, ClosesTheDeviceWithoutSendingAnything)
{
    const ProcessResult run = runProcess(KOVRA_MIDI_HELPER, {"exit-with-device"});
    EXPECT_EQ(run.exitStatus, 0);
    // One probe frame went out, nothing more at exit, and no port is left open.
    EXPECT_EQ(run.lines(),
              (std::vector<std::string>{"Kovra TIKO", "found 1", "opened yes", "before exit: sent 1, ports open 2",
                                        "after exit: sent 1, ports open 0"}));
    EXPECT_EQ(run.err, "");
}

// The probe prints the port names through the program's printer, never
// straight onto standard output, so a stalled reader does not hold it up
// (the reader takes the output once the probe has said what it found).
TEST(DeviceManagerProbePrint, DoesNotWaitForAStalledReader)
{
    ProcessOptions stalled;
    stalled.stallOutputUntil = [](const ProcessResult& soFar) { return soFar.err.find('\n') != std::string::npos; };
    const ProcessResult run = runProcess(KOVRA_MIDI_HELPER, {"probe-with-stalled-output"}, {}, 60, stalled);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "found 1\n");
}
