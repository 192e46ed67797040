#pragma once

#include "G1MidiDeviceDescriptor.h"
#include "MidiPortSystem.h"
#include "ZQDevice.h"

#include <array>
#include <memory>
#include <mutex>

// An amplifier as a pair of USB MIDI ports, reopened by its device id through
// the descriptor that the last probe found for it (or, failing that, the one
// remembered from an earlier probe).
class ZQUsbMidiG1 : public ZQDevice, public zq::MidiInputPortCallback {
public:
    explicit ZQUsbMidiG1(const char* id);
    explicit ZQUsbMidiG1(const std::uint8_t* id);
    ~ZQUsbMidiG1() override;

    // Any thread; blocks until the message thread has opened the ports, so
    // the caller must hold no lock that the message thread may wait for.
    bool Open() override;
    // Calling thread; sends nothing. A reader in ReadNext ends at its time-out.
    void Close() override;
    const std::uint8_t* GetUUID() const override;
    // -1 when the output is closed or its device went away.
    int Internal_Send(const std::uint8_t* data, std::size_t size) override;
    void handleIncomingMidiMessage(zq::MidiInputPort* source, const juce::MidiMessage& message) override;

    // Message thread.
    bool OpenMidi(int inputIndex, int outputIndex);

    std::array<std::uint8_t, 8> uuid;
    std::unique_ptr<zq::MidiInputPort> midiInput;
    std::unique_ptr<zq::MidiOutputPort> midiOutput;
    std::unique_ptr<_G1MidiDeviceDescriptor> descriptor;

private:
    // Guards the two ports: sending, closing and opening may come from
    // different threads. Never held while waiting for the message thread.
    std::mutex portMutex;
};
