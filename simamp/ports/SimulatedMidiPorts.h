#pragma once

#include "device/midi/MidiPortSystem.h"
#include "simamp/SimulatedAmplifier.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// A MIDI system of simulated devices that are plugged in and taken away
// while the program runs: amplifiers (one input and one output port named
// like a real one) and other devices such as a keyboard.
//
// The port lists behave like ALSA's: each plugged device holds the lowest
// free place (like a sound card number) and the lists are ordered by place,
// so a device that comes back while nothing else changed gets its old
// indices, and one that comes back after another device took its place gets
// new ones (setReturnLast puts each one that comes back last). Ports opened before a device went away are dead for
// good: they send nothing (sendMessageNow says false) and receive nothing; a device that comes back has new ports,
// which must be opened again.
//
// Messages from a device reach the open input ports on a thread of the
// device's own, complete messages only (SysEx once its F7 has come). An
// amplifier that takes "SetFwStatus" 00 or 01 re-enumerates: its ports go
// at once and come back after the re-enumeration delay. One that takes
// "SetFwStatus" 02 goes the same way and comes back, under the same names,
// once its Bluetooth module's update and restart are over.
class SimulatedMidiPorts : public zq::MidiPortSystem {
public:
    using Device = int;

    struct Received {
        Bytes bytes;
        std::chrono::steady_clock::time_point at;
    };

    SimulatedMidiPorts();
    // Takes every device away; ports still open elsewhere are dead.
    ~SimulatedMidiPorts() override;
    SimulatedMidiPorts(const SimulatedMidiPorts&) = delete;
    SimulatedMidiPorts& operator=(const SimulatedMidiPorts&) = delete;

    // The amplifier must outlive this system. Its replies come after the
    // delay it gives for them (replyDelayMs()).
    Device plugAmplifier(SimulatedAmplifier& amplifier, const std::string& portName = "Kovra TIKO");
    // The same amplifier wired up but not plugged in: replug, or a swap
    // (swapOnReturn), plugs it in.
    Device addAmplifierAway(SimulatedAmplifier& amplifier, const std::string& portName = "Kovra TIKO");
    // A device that answers nothing; an empty name means no such port.
    Device plugDevice(const std::string& inputName, const std::string& outputName);

    void unplug(Device device);
    // Brings an unplugged device back with new ports.
    void replug(Device device);
    bool isPlugged(Device device) const;
    // From now on the device's ports open `opens` more times in all (inputs
    // and outputs, also after it comes back); later opens fail, as those of
    // ports that another program holds. Below 0: no limit, as at first.
    void limitOpens(Device device, int opens);

    // The device sends `bytes` on its input port (a key played, a stray reply).
    void play(Device device, const Bytes& bytes);
    // Waits until what the device has sent so far is delivered.
    void drain(Device device);

    // What reached the device through its output ports, oldest first.
    std::vector<Received> received(Device device) const;
    // Ports of the device opened so far, and those open now (dead ones too).
    int openedCount(Device device) const;
    int openCount(Device device) const;
    // The same over all devices.
    int openedCount() const;
    int openCount() const;

    // While the amplifier is in its bootloader, the ports it comes back with
    // are both named `name` (empty: as at plugging), as a bootloader that
    // enumerates under a USB name of its own.
    void setBootloaderName(Device amplifier, const std::string& name);
    // `device` is pulled out for good whenever the amplifier re-enumerates
    // (into its bootloader or out of it), as when the user unplugs another
    // device meanwhile.
    void leaveWith(Device device, Device amplifier);
    // The next time the amplifier restarts into its bootloader ("SetFwStatus"
    // 00) it does not come back: after the re-enumeration delay `standIn`
    // (added away) is plugged in instead, at the lowest free place, which is
    // the one it left. Another amplifier under the same names, as when the
    // user swaps amplifiers while one restarts.
    void swapOnReturn(Device amplifier, Device standIn);

    // How long a re-enumerating amplifier stays away, in product ms (run
    // through zq::Clock). 1500 at first.
    void setReenumerationDelayMs(int ms);
    // How long an amplifier in Bluetooth update mode stays away, in product
    // ms: the program's 3000 ms before the module's update, the stand-in
    // library's 3000 ms download and the restarts of the module and of the
    // amplifier; it comes back after the program has started looking for
    // it again. 10000 at first.
    void setBluetoothUpdateMs(int ms);

    // From now on a device that comes back (re-enumerated, back from its
    // Bluetooth update or replugged) takes the place after every device
    // plugged in, as on a system that numbers each arrival anew: with two
    // amplifiers the lists then name them in the other order. Off at first.
    void setReturnLast(bool last);

    juce::StringArray inputNames() override;
    juce::StringArray outputNames() override;
    std::unique_ptr<zq::MidiInputPort> openInput(int index, zq::MidiInputPortCallback* callback) override;
    std::unique_ptr<zq::MidiOutputPort> openOutput(int index) override;

    struct Core;

private:
    Device addAmplifier(SimulatedAmplifier& amplifier, const std::string& portName, bool plugIn);

    std::shared_ptr<Core> core;
};

} // namespace sim
