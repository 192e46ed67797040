// Runs the MIDI pieces in a process of their own, for what a test can only
// see from outside: standard error, and what happens at process exit.
#include "device/midi/DeviceManager.h"
#include "device/midi/JuceMidiPortSystem.h"
#include "device/midi/ZQUsbMidiDeviceFinder.h"
#include "device/midi/ZQUsbMidiG1.h"
#include "runtime/Clock.h"
#include "runtime/LinePrinter.h"
#include "simamp/ports/SimulatedMidiPorts.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_events/juce_events.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include <poll.h>

namespace {

// Through the program's own printer, so that the probe's lines keep their place.
void say(const std::string& line) { zq::LinePrinter::print(line); }

std::string yesNo(bool b) { return b ? "yes" : "no"; }

class Nothing : public zq::MidiInputPortCallback {
public:
    void handleIncomingMidiMessage(zq::MidiInputPort*, const juce::MidiMessage&) override {}
};

// The product's port system on this machine.
int juceSystem()
{
    juce::ScopedJuceInitialiser_GUI juce;
    zq::installJuceMidiPorts();
    auto ports = zq::midiPortSystem();
    say("inputs " + std::to_string(ports->inputNames().size()));
    say("outputs " + std::to_string(ports->outputNames().size()));
    Nothing nothing;
    say("input opened " + yesNo(ports->openInput(0, &nothing) != nullptr));
    say("output opened " + yesNo(ports->openOutput(0) != nullptr));
    say("found " + std::to_string(zq::DeviceManager::instance()->probeAll()));
    const zq::DeviceId id{1, 2, 3, 4, 5, 6, 7, 8};
    ZQUsbMidiG1 device(id.data());
    say("device opened " + yesNo(device.OpenMidi(0, 0)));
    return 0;
}

// JUCE's own listing, for comparison: what ALSA prints without our handler.
int juceRaw()
{
    juce::ScopedJuceInitialiser_GUI juce;
    say("inputs " + std::to_string(juce::MidiInput::getAvailableDevices().size()));
    return 0;
}

// Leaves an open device in the manager's slot when main returns.
std::shared_ptr<sim::SimulatedMidiPorts>* g_ports;
sim::SimulatedAmplifier* g_amplifier;

void afterTheManager()
{
    say("after exit: sent " + std::to_string(g_amplifier->receivedCount()) + ", ports open "
        + std::to_string((*g_ports)->openCount()));
}

int exitWithDevice()
{
    // Built before the manager, so they are still there after it went.
    static sim::SimulatedAmplifier amplifier;
    static auto ports = std::make_shared<sim::SimulatedMidiPorts>();
    g_ports = &ports;
    g_amplifier = &amplifier;
    std::atexit(afterTheManager);

    zq::Clock::setSpeedup(100);
    juce::ScopedJuceInitialiser_GUI juce;
    zq::setMidiPortSystem(ports);
    ports->plugAmplifier(amplifier);
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    say("found " + std::to_string(manager->probeAll()));
    const auto device = std::make_shared<ZQUsbMidiG1>(manager->deviceUuids().front().data());
    manager->putDevice(device);
    say("opened " + yesNo(device->Open()));
    manager->startPolling();
    say("before exit: sent " + std::to_string(amplifier.receivedCount()) + ", ports open "
        + std::to_string(ports->openCount()));
    return 0;
}

// Probes an amplifier while the reader of standard output has stalled with
// the pipe full: the probe's print of the port name must not wait for it.
int probeWithStalledOutput()
{
    static sim::SimulatedAmplifier amplifier;
    zq::Clock::setSpeedup(100);
    juce::ScopedJuceInitialiser_GUI juce;
    auto ports = std::make_shared<sim::SimulatedMidiPorts>();
    zq::setMidiPortSystem(ports);
    ports->plugAmplifier(amplifier);
    for (int i = 0; i < 1000; ++i)
        say(std::string(99, 'x'));
    for (pollfd out{1, POLLOUT, 0}; poll(&out, 1, 0) == 1 && (out.revents & POLLOUT);)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int found = zq::DeviceManager::instance()->probeAll();
    std::cerr << "found " << found << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "juce")
        return juceSystem();
    if (mode == "juce-raw")
        return juceRaw();
    if (mode == "exit-with-device")
        return exitWithDevice();
    if (mode == "probe-with-stalled-output")
        return probeWithStalledOutput();
    std::cerr << "usage: midi_helper juce|juce-raw|exit-with-device|probe-with-stalled-output" << std::endl;
    return 2;
}
