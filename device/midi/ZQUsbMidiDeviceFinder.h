#pragma once

#include "device/midi/DeviceManagerCallback.h"
#include "device/midi/G1MidiDeviceDescriptor.h"
#include "device/midi/MidiPortSystem.h"

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

// USB MIDI discovery: probes every port whose name contains "Kovra" (or else
// "G1") and keeps the amplifiers that answered and still open.
namespace ZQUsbMidiDeviceFinder {

// The probe's shared state. One rule for all of it: only this unit and
// ZQUsbMidiG1::Open touch it (tests read it as they do), each piece only
// under the lock named beside it, and none of those locks is held while
// waiting for the message thread. probe_out_ is written only by the thread
// that holds probe_mutex_; input_callback_ holds nothing.

// Held for a whole probe; probes never overlap.
extern std::mutex probe_mutex_;
// The inputs opened by the running probe, each with its index; guarded by
// probe_map_mutex_, which the reply handler holds only to look up and take
// out its source (so an input yields at most one descriptor per probe).
extern std::map<zq::MidiInputPort*, int> probe_map_;
extern std::mutex probe_map_mutex_;
// Index of the output being probed; read by the reply handler when the reply
// comes, so a reply pairs with the output probed last.
extern std::atomic<int> probe_out_;
// Guards descriptors_ and every ZQUsbMidiG1's remembered descriptor.
extern std::recursive_mutex desc_mutex_;
extern std::vector<_G1MidiDeviceDescriptor> descriptors_;
extern DeviceManagerCallback input_callback_;

// The probe request: a command frame with session id 0, operation 02 12.
extern const std::uint8_t kProbeRequest[7];

// One whole probe; blocks at least 1 s per candidate output that opens.
// Returns false, without probing, when called on the message thread while
// another thread is probing: that thread waits for the message thread, so
// waiting for it here would never end.
bool ProbeAll();

// Looks for the amplifier with `id` alone: opens every candidate input, then
// sends the probe request only on the candidate outputs among `outputs`, in
// that order, each followed by its second of replies, and stops after the
// output it answered on. The last probe's descriptors stay as they were.
// False when it did not answer or, on the message thread, while another
// thread is probing.
bool FindAgain(const std::array<std::uint8_t, 8>& id, const std::vector<int>& outputs, _G1MidiDeviceDescriptor& found);

// What the device at a pair of ports says it is, asked by AskAt.
enum class Answer {
    Own,      // it answered with the id asked for
    Another,  // it answered with another id
    Nothing,  // no answer within the probe's second, or the input did not open
    NotAsked, // on the message thread while another thread is probing
};

// Asks the device at input `inputIndex` and output `outputIndex` who it is,
// whatever their names: sends the probe request on that output alone and
// takes a reply on that input alone, waiting the probe's second at most and
// no longer than the reply takes. The replies go to the probe's listener,
// never to a device's sessions. The last probe's descriptors stay as they
// were.
Answer AskAt(int inputIndex, int outputIndex, const std::array<std::uint8_t, 8>& id);

std::vector<_G1MidiDeviceDescriptor> GetDescriptors();
// Drops the descriptors, as a probe does when it starts.
void ClearDescriptors();

// A port name that is probed.
bool IsCandidate(const juce::String& portName);

} // namespace ZQUsbMidiDeviceFinder
