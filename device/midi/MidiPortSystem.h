#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <memory>

namespace zq {

class MidiInputPort;

// Receives the complete messages of an input port, on the port system's
// input thread.
class MidiInputPortCallback {
public:
    virtual ~MidiInputPortCallback() = default;
    virtual void handleIncomingMidiMessage(MidiInputPort* source, const juce::MidiMessage& message) = 0;
};

// An open input port. Nothing is delivered before start() or after stop();
// stop() may be called from inside the port's own callback. Destroying the
// port closes it; no callback is running or starts once the destructor has
// returned, so it must not be destroyed from inside its own callback.
class MidiInputPort {
public:
    virtual ~MidiInputPort() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

// An open output port. Destroying it closes it.
class MidiOutputPort {
public:
    virtual ~MidiOutputPort() = default;
    // Sends at once on the calling thread. False when the port is known to
    // be dead (its device went away); a system that cannot tell says true.
    virtual bool sendMessageNow(const juce::MidiMessage& message) = 0;
};

// The MIDI system as the transport sees it: two lists of port names and
// opening by index in those lists. Every operation may be called from any
// thread.
class MidiPortSystem {
public:
    virtual ~MidiPortSystem() = default;
    virtual juce::StringArray inputNames() = 0;
    virtual juce::StringArray outputNames() = 0;
    // Null when the index names no port or the port does not open.
    virtual std::unique_ptr<MidiInputPort> openInput(int index, MidiInputPortCallback* callback) = 0;
    virtual std::unique_ptr<MidiOutputPort> openOutput(int index) = 0;
};

// The process-wide port system: the product installs the JUCE one before the
// application starts, tests and the demo a simulated one. Until something is
// installed it is a system without ports. Ports already open keep working
// with the system that opened them.
std::shared_ptr<MidiPortSystem> midiPortSystem();
void setMidiPortSystem(std::shared_ptr<MidiPortSystem> system);

} // namespace zq
