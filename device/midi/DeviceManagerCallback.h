#pragma once

#include "device/midi/MidiPortSystem.h"

// The probe's listener on every input that a probe opens: turns each valid
// probe reply into a descriptor. MIDI thread.
class DeviceManagerCallback : public zq::MidiInputPortCallback {
public:
    void handleIncomingMidiMessage(zq::MidiInputPort* source, const juce::MidiMessage& message) override;
};
