#pragma once

#include "device/midi/MidiPortSystem.h"

#include <memory>
#include <utility>

// Installs a MIDI port system for one test; the one it replaced comes back
// when this goes.
class ScopedMidiPortSystem {
public:
    explicit ScopedMidiPortSystem(std::shared_ptr<zq::MidiPortSystem> system) : previous(zq::midiPortSystem())
    {
        zq::setMidiPortSystem(std::move(system));
    }
    ~ScopedMidiPortSystem() { zq::setMidiPortSystem(std::move(previous)); }
    ScopedMidiPortSystem(const ScopedMidiPortSystem&) = delete;
    ScopedMidiPortSystem& operator=(const ScopedMidiPortSystem&) = delete;

private:
    std::shared_ptr<zq::MidiPortSystem> previous;
};
