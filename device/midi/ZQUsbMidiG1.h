#pragma once

#include "device/core/ZQDevice.h"
#include "device/midi/G1MidiDeviceDescriptor.h"
#include "device/midi/MidiPortSystem.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// An amplifier as a pair of USB MIDI ports, opened by its device id through
// the descriptor that the last probe found for it (or, failing that, the one
// remembered from an earlier probe). Once it has opened, a reopen first asks
// the device at the pair it last opened who it is (a probe request there,
// also while the amplifier is in its bootloader) and opens that pair when
// it answers with this id. Otherwise, since an amplifier that re-enumerates
// may come back at other indices, it probes for its own id, first the
// candidate outputs under its name, then those whose place in the lists
// changed, and opens what answers. When nothing answers with its id it
// opens the last pair after all, unless another id answered there: a device
// that answers with another amplifier's id is never opened.
class ZQUsbMidiG1 : public ZQDevice, public zq::MidiInputPortCallback {
public:
    explicit ZQUsbMidiG1(const char* id);
    explicit ZQUsbMidiG1(const std::uint8_t* id);
    ~ZQUsbMidiG1() override;

    // Any thread; blocks until the message thread has opened the ports, so
    // the caller must hold no lock that the message thread may wait for. A
    // reopen probes, so the caller must not be inside a probe either.
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
    // Read and written under ZQUsbMidiDeviceFinder::desc_mutex_ only.
    std::unique_ptr<_G1MidiDeviceDescriptor> descriptor;

private:
    // Open once the pair at these indices has opened before: the asking and
    // the search.
    bool reopen(int inputIndex, int outputIndex);
    // Message thread: the outputs to search for its id, apart from the
    // `asked` one: those under its name, then those whose place changed.
    std::vector<int> outputsToSearch(int asked) const;
    bool isOpen();
    bool openOnMessageThread(int inputIndex, int outputIndex);

    // Set once the pair has opened (the descriptor is set by then).
    std::atomic<bool> openedBefore{false};
    // The port lists as they were when the pair last opened; message thread.
    juce::StringArray openedInputNames;
    juce::StringArray openedOutputNames;

    // Guards the two ports: sending, closing and opening may come from
    // different threads. Never held while waiting for the message thread.
    std::mutex portMutex;
};
