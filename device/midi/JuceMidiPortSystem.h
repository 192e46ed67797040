#pragma once

#include "device/midi/MidiPortSystem.h"

#include <memory>

namespace zq {

// The product's port system: JUCE's MidiInput and MidiOutput. An index is the
// index in getAvailableDevices(); the port is opened by that entry's
// identifier. Building one silences ALSA's error printing for the process
// (it writes "open /dev/snd/seq failed" on standard error at every listing on
// machines without MIDI).
class JuceMidiPortSystem : public MidiPortSystem {
public:
    JuceMidiPortSystem();

    juce::StringArray inputNames() override;
    juce::StringArray outputNames() override;
    std::unique_ptr<MidiInputPort> openInput(int index, MidiInputPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput(int index) override;

    struct Shared;

private:
    std::shared_ptr<Shared> shared;
};

// Installs a JuceMidiPortSystem as the process-wide port system.
void installJuceMidiPorts();

} // namespace zq
